// The description of one update: what the connected device reports about
// itself, what the chosen container offers, and the ordered list of files to
// send. There is one instance in the process, g_UpdateModel.
#pragma once

#include <vector>

#include "container/UPDATEContainer.h"
#include "container/UPDATERecords.h"
#include "platform/strings/CString.h"

class LanguageTexts;
class UPDATEXMLNode;

class UPDATEModel {
public:
    // Clearing.
    void ClearProduct();
    void ClearContainer();
    int Reset();  // always 1

    // Device description reader (product.xml in the work folder).
    bool ReadProductXml();
    bool ReadProductDevice(const UPDATEXMLNode& node);

    // Container description reader.
    int ParseResourceXml(CString path);
    bool ParseContainerXml(CString path);
    void ReadContainerDevice(const UPDATEXMLNode& node);
    bool ReadFiles(const UPDATEXMLNode& node);
    bool ReadCommonFiles(const UPDATEXMLNode& node);
    bool ReadLangs(const UPDATEXMLNode& node);
    bool ReadVdData(const UPDATEXMLNode& node);

    // Container check and file selection.
    bool CheckContainerFiles(CString path);
    int GetFileList(int force, LanguageTexts texts);
    int SelectUpdateFiles(bool force, LanguageTexts& texts);
    bool DeviceExistsInContainer(const UPDATEDevice& device) const;
    bool IsHardwareSupported(const UPDATEDevice& device) const;
    bool IsUpdateNeeded(bool force, const UPDATEDevice& device) const;
    void AddLangFiles(const UPDATEDeviceLang& lang);
    void CheckRequires(const UPDATEDeviceLang& lang, const UPDATELang& package);
    void AddVdDataFiles(CString language, CString library, CString version);
    bool GetDisplayName(const UPDATEDevice& device, CString& displayName) const;

    UPDATEProduct m_Product;
    UPDATEContainer m_Container;
    std::vector<CString> m_FileList;
};

extern UPDATEModel g_UpdateModel;
