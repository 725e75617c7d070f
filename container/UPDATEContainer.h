// What the chosen update container offers, as its XML description gives it.
#pragma once

#include <vector>

#include "container/UPDATERecords.h"

class UPDATEContainer {
public:
    // True when every file of every vd_data library named "vds" is present
    // in the folder. The file name is used as a search pattern.
    bool CheckVdsFiles(CString folder) const;

    // True when a file name of the description names a file inside the
    // description's folder: not absolute (no drive, no leading backslash or
    // slash) and not climbing out with "..". Any other name counts as a
    // missing file, so a container cannot have the update session send an
    // arbitrary file of the PC.
    static bool IsNameInsideFolder(const CString& name);

    CString version;
    std::vector<UPDATEDevice> devices;
    std::vector<UPDATEFile> common;
    std::vector<UPDATELang> langs;
    std::vector<UPDATEVdData> vd_data;
};
