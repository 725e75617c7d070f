// The value records of the update model. Every field keeps the attribute
// text of the XML it was read from, unconverted; every list keeps the order
// in which its entries were appended. Records are plain values: appending one
// to a list stores a copy.
#pragma once

#include <vector>

#include "platform/strings/CString.h"

// Two strings: a board (first = pcb, second = revision) or a requirement
// (first = library name, second = required version).
struct UPDATEStringPair {
    CString first;
    CString second;
};

// One file of the container. Only the name is used after reading.
struct UPDATEFile {
    CString name;
    CString size;
    CString md5;
    CString variant;
};

// One library installed on a device, within one of its languages.
struct UPDATEDeviceLib {
    CString name;
    CString version;
};

// One language installed on a device.
struct UPDATEDeviceLang {
    CString name;
    CString removable;
    std::vector<UPDATEDeviceLib> libs;
};

// One device of the product or of the container. software and langs are
// filled for product devices only.
struct UPDATEDevice {
    CString name;
    CString variant;
    CString id;
    CString disp_name;
    CString software;
    std::vector<UPDATEStringPair> boards;
    std::vector<UPDATEDeviceLang> langs;
};

// One deliverable library version of the container's vd_data.
struct UPDATELibrary {
    CString name;
    CString version;
    std::vector<UPDATEFile> files;
};

// One language package of the container.
struct UPDATELang {
    CString name;
    std::vector<UPDATEFile> files;
    std::vector<UPDATEStringPair> requires;
};

// The deliverable libraries for one language.
struct UPDATEVdData {
    CString name;
    std::vector<UPDATELibrary> libs;
};

// What the connected device reports about itself (product.xml).
struct UPDATEProduct {
    CString name;
    CString variant;
    std::vector<UPDATEDevice> devices;
};
