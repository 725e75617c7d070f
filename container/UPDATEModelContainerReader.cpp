// The container description reader: the container's XML description into
// the container part of the model, and the rule by which it is accepted.
#include <vector>

#include "container/GlobalFolders.h"
#include "container/UPDATEModel.h"
#include "container/UPDATEXMLParser.h"

namespace {

// The attributes of a "file" element; those it lacks keep what the record
// under construction held.
void ReadFileAttributes(const UPDATEXMLNode& node, UPDATEFile& file)
{
    node.ReadAttributes({{"name", &file.name}, {"size", &file.size}, {"md5", &file.md5}, {"variant", &file.variant}});
}

}  // namespace

int UPDATEModel::ParseResourceXml(CString path)
{
    return ParseContainerXml(path) ? 1 : 0;
}

bool UPDATEModel::ParseContainerXml(CString path)
{
    ClearContainer();
    bool result = false;
    try {
        UPDATEXMLParser::SetDllFolder(GetProgramFolder());
        UPDATEXMLParser document(path);
        std::vector<UPDATEXMLNode>& roots = document.Parse("update", 0, 10);
        if (roots.empty())
            throw new UPDATEXMLParserException("tag not found.");
        for (const UPDATEXMLNode& root : document.GetRoots()) {
            if (root.m_Tag != "update")
                continue;
            root.ReadAttributes({{"version", &m_Container.version}});
            // The last child decides: a description is accepted only when its
            // last child element is a "files" element that qualifies.
            for (const UPDATEXMLNode& child : root.m_Children) {
                ReadContainerDevice(child);
                result = ReadFiles(child);
            }
        }
    } catch (UPDATEXMLParserException* e) {
        delete e;
        return false;
    }
    return result;
}

void UPDATEModel::ReadContainerDevice(const UPDATEXMLNode& node)
{
    if (node.m_Tag != "device")
        return;
    UPDATEDevice device;
    UPDATEStringPair board;
    node.ReadAttributes(
        {{"name", &device.name}, {"variant", &device.variant}, {"id", &device.id}, {"disp_name", &device.disp_name}});
    for (const UPDATEXMLNode& hardware : node.m_Children) {
        if (hardware.m_Tag != "hardware")
            continue;
        for (const UPDATEXMLNode& boardNode : hardware.m_Children) {
            if (boardNode.m_Tag != "board")
                continue;
            boardNode.ReadAttributes({{"pcb", &board.first}, {"revision", &board.second}});
            device.boards.push_back(board);
        }
    }
    m_Container.devices.push_back(device);
}

bool UPDATEModel::ReadFiles(const UPDATEXMLNode& node)
{
    if (node.m_Tag != "files" || node.m_Children.empty())
        return false;
    bool result = false;
    for (const UPDATEXMLNode& child : node.m_Children) {
        if (child.m_Tag == "common")
            result = ReadCommonFiles(child);
        else if (child.m_Tag == "langs")
            result = ReadLangs(child);
        else if (child.m_Tag == "vd_data")
            result = ReadVdData(child);
    }
    return result;
}

bool UPDATEModel::ReadCommonFiles(const UPDATEXMLNode& node)
{
    if (node.m_Tag != "common" || node.m_Children.empty())
        return false;
    bool result = false;
    UPDATEFile file;
    for (const UPDATEXMLNode& child : node.m_Children) {
        if (child.m_Tag != "file")
            continue;
        ReadFileAttributes(child, file);
        m_Container.common.push_back(file);
        result = true;
    }
    return result;
}

bool UPDATEModel::ReadLangs(const UPDATEXMLNode& node)
{
    if (node.m_Tag != "langs" || node.m_Children.empty())
        return false;
    bool result = false;
    UPDATELang lang;
    UPDATEFile file;
    UPDATEStringPair requirement;
    for (const UPDATEXMLNode& langNode : node.m_Children) {
        if (langNode.m_Tag != "lang")
            continue;
        langNode.ReadAttributes({{"name", &lang.name}});
        lang.files.clear();
        lang.requires.clear();
        for (const UPDATEXMLNode& child : langNode.m_Children) {
            if (child.m_Tag == "file") {
                ReadFileAttributes(child, file);
                lang.files.push_back(file);
            } else if (child.m_Tag == "requires") {
                child.ReadAttributes({{"name", &requirement.first}, {"version", &requirement.second}});
                lang.requires.push_back(requirement);
                result = true;
            }
        }
        m_Container.langs.push_back(lang);
    }
    return result;
}

bool UPDATEModel::ReadVdData(const UPDATEXMLNode& node)
{
    if (node.m_Tag != "vd_data" || node.m_Children.empty())
        return false;
    bool result = false;
    UPDATEVdData entry;
    UPDATELibrary library;
    UPDATEFile file;
    for (const UPDATEXMLNode& langNode : node.m_Children) {
        if (langNode.m_Tag != "lang")
            continue;
        entry.libs.clear();
        langNode.ReadAttributes({{"name", &entry.name}});
        for (const UPDATEXMLNode& libNode : langNode.m_Children) {
            if (libNode.m_Tag != "lib")
                continue;
            library.files.clear();
            libNode.ReadAttributes({{"name", &library.name}, {"version", &library.version}});
            for (const UPDATEXMLNode& fileNode : libNode.m_Children) {
                if (fileNode.m_Tag != "file")
                    continue;
                ReadFileAttributes(fileNode, file);
                library.files.push_back(file);
                result = true;
            }
            entry.libs.push_back(library);
        }
        m_Container.vd_data.push_back(entry);
    }
    return result;
}
