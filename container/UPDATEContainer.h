// What the chosen update container offers, as its XML description gives it.
#pragma once

#include <vector>

#include "container/UPDATERecords.h"

class UPDATEContainer {
public:
    // True when every file of every vd_data library named "vds" is present
    // in the folder. The file name is used as a search pattern.
    bool CheckVdsFiles(CString folder) const;

    CString version;
    std::vector<UPDATEDevice> devices;
    std::vector<UPDATEFile> common;
    std::vector<UPDATELang> langs;
    std::vector<UPDATEVdData> vd_data;
};
