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
            root.ReadAttributes({{"name", &m_Product.name}, {"variant", &m_Product.variant}});
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

    node.ReadAttributes(
        {{"name", &device.name}, {"variant", &device.variant}, {"id", &device.id}, {"disp_name", &device.disp_name}});

    for (const UPDATEXMLNode& child : node.m_Children) {
        if (child.m_Tag == "software") {
            child.ReadAttributes({{"version", &device.software}});
        } else if (child.m_Tag == "hardware") {
            child.ReadAttributes({{"pcb", &board.first}, {"revision", &board.second}});
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
                    langNode.ReadAttributes({{"name", &lang.name}, {"removable", &lang.removable}});
                    for (const UPDATEXMLNode& libNode : langNode.m_Children) {
                        if (libNode.m_Tag != "lib")
                            continue;
                        libNode.ReadAttributes({{"name", &lib.name}, {"version", &lib.version}});
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
