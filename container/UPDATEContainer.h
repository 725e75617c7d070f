// What the chosen update container offers, as its XML description gives it.
#pragma once

#include <vector>

#include "container/UPDATERecords.h"

class UPDATEContainer {
public:
    // True when every file of every vd_data library named "vds" is present
    // in the folder. The file name is used as a search pattern.
    bool CheckVdsFiles(CString folder) const;

    // The one rule for a file name of the description, used by the
    // container check and by the update session: true when the name can
    // name a file inside the description's folder. Refused are the empty
    // name, an absolute name (a leading backslash or slash), a drive or a
    // stream (any ':'), any ".." component, and a name that ends in a
    // separator or in "." and so names a folder. A refused name counts as
    // a missing file, so a container cannot have the session send an
    // arbitrary file of the PC.
    static bool IsNameInsideFolder(const CString& name);

    CString version;
    std::vector<UPDATEDevice> devices;
    std::vector<UPDATEFile> common;
    std::vector<UPDATELang> langs;
    std::vector<UPDATEVdData> vd_data;
};
