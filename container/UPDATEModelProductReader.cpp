// The device description reader: product.xml, as the car kit describes
// itself, into the product part of the model.
#include <vector>

#include "container/GlobalFolders.h"
#include "container/UPDATEModel.h"
#include "container/UPDATEXMLParser.h"

bool UPDATEModel::ReadProductXml()
{
    bool result = false;
    ClearProduct();
    try {
        UPDATEXMLParser::SetDllFolder(GetProgramFolder());
        CString path = g_WorkFolder + "\\product.xml";
        UPDATEXMLParser document(path);
        std::vector<UPDATEXMLNode>& roots = document.Parse("product", 0, 10);
        if (roots.empty())
            throw new UPDATEXMLParserException("tag not found.");
        for (const UPDATEXMLNode& root : document.GetRoots()) {
            if (root.m_Tag != "product")
                continue;
            for (const UPDATEXMLAttribute& attribute : root.m_Attributes) {
                if (attribute.m_Name == "name")
                    m_Product.name = attribute.m_Value;
                else if (attribute.m_Name == "variant")
                    m_Product.variant = attribute.m_Value;
            }
            for (const UPDATEXMLNode& devices : root.m_Children) {
                if (devices.m_Tag != "devices")
                    continue;
                for (const UPDATEXMLNode& device : devices.m_Children)
                    result = ReadProductDevice(device);
            }
        }
    } catch (UPDATEXMLParserException* e) {
        delete e;
        result = false;
    }
    return result;
}

bool UPDATEModel::ReadProductDevice(const UPDATEXMLNode& node)
{
    // Records under construction: reused for every element of their kind in
    // this device, so an attribute that a later element lacks keeps the value
    // of the one before.
    UPDATEDevice device;
    UPDATEStringPair board;
    UPDATEDeviceLang lang;
    UPDATEDeviceLib lib;
    bool result = false;

    if (node.m_Tag != "device")
        return false;

    for (const UPDATEXMLAttribute& attribute : node.m_Attributes) {
        if (attribute.m_Name == "name")
            device.name = attribute.m_Value;
        else if (attribute.m_Name == "variant")
            device.variant = attribute.m_Value;
        else if (attribute.m_Name == "id")
            device.id = attribute.m_Value;
        else if (attribute.m_Name == "disp_name")
            device.disp_name = attribute.m_Value;
    }

    for (const UPDATEXMLNode& child : node.m_Children) {
        if (child.m_Tag == "software") {
            for (const UPDATEXMLAttribute& attribute : child.m_Attributes) {
                if (attribute.m_Name == "version")
                    device.software = attribute.m_Value;
            }
        } else if (child.m_Tag == "hardware") {
            for (const UPDATEXMLAttribute& attribute : child.m_Attributes) {
                if (attribute.m_Name == "pcb")
                    board.first = attribute.m_Value;
                else if (attribute.m_Name == "revision")
                    board.second = attribute.m_Value;
            }
            device.boards.push_back(board);
            result = true;
        } else if (child.m_Tag == "extended") {
            result = false;
            for (const UPDATEXMLNode& langs : child.m_Children) {
                if (langs.m_Tag != "langs")
                    continue;
                for (const UPDATEXMLNode& langNode : langs.m_Children) {
                    if (langNode.m_Tag != "lang")
                        continue;
                    lang.libs.clear();
                    for (const UPDATEXMLAttribute& attribute : langNode.m_Attributes) {
                        if (attribute.m_Name == "name")
                            lang.name = attribute.m_Value;
                        else if (attribute.m_Name == "removable")
                            lang.removable = attribute.m_Value;
                    }
                    for (const UPDATEXMLNode& libNode : langNode.m_Children) {
                        if (libNode.m_Tag != "lib")
                            continue;
                        for (const UPDATEXMLAttribute& attribute : libNode.m_Attributes) {
                            if (attribute.m_Name == "name")
                                lib.name = attribute.m_Value;
                            else if (attribute.m_Name == "version")
                                lib.version = attribute.m_Value;
                        }
                        lang.libs.push_back(lib);
                    }
                    device.langs.push_back(lang);
                    result = true;
                }
            }
        }
    }

    m_Product.devices.push_back(device);
    return result;
}
