// The XML document: loading the file and expat, and parsing it into the
// subtrees of the elements on a tag path.
#include "container/UPDATEXMLParser.h"

#include <climits>
#include <cstring>
#include <new>

#include "platform/files/Files.h"
#include "platform/modules/Modules.h"
#include "platform/strings/Codepage.h"

namespace {

const char kErrNullFileName[] = "NULL file name pointer";
const char kErrOpenFile[] = "Error while opening XML file";
const char kErrLoadDll[] = "Cannot load XML expat dll library.";
const char kErrParserCreate[] = "Cannot find XML_ParserCreate function.";
const char kErrParserFree[] = "Cannot find XML_ParserFree function.";
const char kErrSetElementHandler[] = "Cannot find XML_SetElementHandler function.";
const char kErrSetCharacterDataHandler[] = "Cannot find XML_SetCharacterDataHandler function.";
const char kErrSetUserData[] = "Cannot find XML_SetUserData function.";
const char kErrParse[] = "Cannot find XML_Parse function.";
const char kErrNullTag[] = "NULL pointer to tag name.";
const char kErrEmptyTag[] = "Empty tag name.";
const char kErrNotLoaded[] = "XML file not loaded.";

const char kPathSeparator = '%';

// expat hands over UTF-8; the system's strings are Windows-1252. Characters
// that the code page lacks become '?'. Plain ASCII, by far the usual case,
// is taken as it is.
CString ToSystemText(const char* utf8, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        if (static_cast<unsigned char>(utf8[i]) >= 0x80)
            return CString(zq::Utf8ToCp1252(std::string(utf8, length)));
    }
    return CString(std::string(utf8, length));
}

CString ToSystemText(const char* utf8)
{
    return ToSystemText(utf8, strlen(utf8));
}

// A library function as its own type. The detour through void (*)() is the
// generic function pointer type that converts to any other without warning.
template <typename Function>
Function ProcAs(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace

int UPDATEXMLParser::m_InstanceCount = 0;
HMODULE UPDATEXMLParser::m_hExpat = nullptr;
char UPDATEXMLParser::m_DllFolder[UPDATEXMLParser::DLL_FOLDER_SIZE] = {0};
UPDATEXMLParser::PFN_XML_ParserCreate UPDATEXMLParser::m_pXML_ParserCreate = nullptr;
UPDATEXMLParser::PFN_XML_SetElementHandler UPDATEXMLParser::m_pXML_SetElementHandler = nullptr;
UPDATEXMLParser::PFN_XML_SetCharacterDataHandler UPDATEXMLParser::m_pXML_SetCharacterDataHandler = nullptr;
UPDATEXMLParser::PFN_XML_SetUserData UPDATEXMLParser::m_pXML_SetUserData = nullptr;
UPDATEXMLParser::PFN_XML_Parse UPDATEXMLParser::m_pXML_Parse = nullptr;
UPDATEXMLParser::PFN_XML_ParserFree UPDATEXMLParser::m_pXML_ParserFree = nullptr;

int UPDATEXMLParser::SetDllFolder(const char* folder)
{
    memset(m_DllFolder, 0, sizeof(m_DllFolder));
    if (folder != nullptr && strlen(folder) < sizeof(m_DllFolder))
        strcpy(m_DllFolder, folder);
    return 1;
}

UPDATEXMLParser::UPDATEXMLParser(const char* fileName)
    : m_pBuffer(nullptr), m_BufferLength(0), m_Depth(-1), m_MaxDepth(-1)
{
    ++m_InstanceCount;
    try {
        Load(fileName);
        if (m_hExpat == nullptr)
            LoadExpat();
    } catch (...) {
        // No destructor runs for a failed construction: undo the count and
        // free the buffer here.
        FreeBuffer();
        --m_InstanceCount;
        throw;
    }
}

UPDATEXMLParser::~UPDATEXMLParser()
{
    m_Roots.clear();
    FreeBuffer();
    if (m_InstanceCount > 0)
        --m_InstanceCount;
    if (m_InstanceCount < 1 && m_hExpat != nullptr) {
        FreeLibrary(m_hExpat);
        m_hExpat = nullptr;
    }
}

int UPDATEXMLParser::Load(const char* fileName)
{
    if (fileName == nullptr)
        throw new UPDATEXMLParserException(kErrNullFileName);
    m_FileName = fileName;
    return LoadFile();
}

int UPDATEXMLParser::LoadFile()
{
    FreeBuffer();
    bool allocated = true;
    try {
        CFile file(m_FileName, CFile::modeRead);
        m_BufferLength = static_cast<DWORD>(file.GetLength());
        m_pBuffer = new (std::nothrow) char[m_BufferLength]();
        if (m_pBuffer != nullptr)
            file.Read(m_pBuffer, m_BufferLength);
        else
            allocated = false;
        file.Close();
    } catch (CFileException* e) {
        e->Delete();
        FreeBuffer();
        throw new UPDATEXMLParserException(kErrOpenFile);
    }
    // A buffer that cannot be allocated counts as a file error too.
    if (!allocated)
        throw new UPDATEXMLParserException(kErrOpenFile);
    return 1;
}

void UPDATEXMLParser::FreeBuffer()
{
    delete[] m_pBuffer;
    m_pBuffer = nullptr;
}

void UPDATEXMLParser::LoadExpat()
{
    CString path;
    path.Format("%s\\%s", m_DllFolder, "libexpat.dll");
    HMODULE module = LoadLibraryA(path);
    if (module == nullptr)
        throw new UPDATEXMLParserException(kErrLoadDll);

    // Each lookup is stored at once; the first one missing ends the load.
    const char* missing = nullptr;
    if ((m_pXML_ParserCreate = ProcAs<PFN_XML_ParserCreate>(module, "XML_ParserCreate")) == nullptr)
        missing = kErrParserCreate;
    else if ((m_pXML_ParserFree = ProcAs<PFN_XML_ParserFree>(module, "XML_ParserFree")) == nullptr)
        missing = kErrParserFree;
    else if ((m_pXML_SetElementHandler = ProcAs<PFN_XML_SetElementHandler>(module, "XML_SetElementHandler")) == nullptr)
        missing = kErrSetElementHandler;
    else if ((m_pXML_SetCharacterDataHandler = ProcAs<PFN_XML_SetCharacterDataHandler>(
                  module, "XML_SetCharacterDataHandler")) == nullptr)
        missing = kErrSetCharacterDataHandler;
    else if ((m_pXML_SetUserData = ProcAs<PFN_XML_SetUserData>(module, "XML_SetUserData")) == nullptr)
        missing = kErrSetUserData;
    else if ((m_pXML_Parse = ProcAs<PFN_XML_Parse>(module, "XML_Parse")) == nullptr)
        missing = kErrParse;

    if (missing != nullptr) {
        // Released again, so the next document tries anew.
        FreeLibrary(module);
        throw new UPDATEXMLParserException(missing);
    }
    m_hExpat = module;
}

std::vector<UPDATEXMLNode>& UPDATEXMLParser::Parse(const char* tag, int withText, int maxDepth)
{
    m_Roots.clear();
    m_Lists.clear();
    m_CurrentPath.Empty();
    if (tag == nullptr)
        throw new UPDATEXMLParserException(kErrNullTag);
    if (*tag == '\0')
        throw new UPDATEXMLParserException(kErrEmptyTag);
    if (m_pBuffer == nullptr)
        throw new UPDATEXMLParserException(kErrNotLoaded);

    m_FilterPath = tag;
    m_Depth = -1;
    m_MaxDepth = maxDepth;

    // Without a parser (no memory) nothing is collected: the document then
    // yields no elements, which its reader reports as a failure.
    XML_Parser parser = m_pXML_ParserCreate(nullptr);
    if (parser == nullptr)
        return m_Roots;
    m_pXML_SetElementHandler(parser, OnStartElement, OnEndElement);
    m_pXML_SetCharacterDataHandler(parser, withText != 0 ? OnCharacterData : nullptr);
    m_pXML_SetUserData(parser, this);
    // expat takes the length as an int; a buffer beyond that is parsed as far
    // as an int reaches. A document that is not well-formed is no error: the
    // roots hold what was collected before expat stopped.
    int length = m_BufferLength > static_cast<DWORD>(INT_MAX) ? INT_MAX : static_cast<int>(m_BufferLength);
    m_pXML_Parse(parser, m_pBuffer, length, 1);
    m_pXML_ParserFree(parser);
    return m_Roots;
}

std::vector<UPDATEXMLNode>& UPDATEXMLParser::GetRoots()
{
    return m_Roots;
}

std::vector<UPDATEXMLNode>* UPDATEXMLParser::ReceivingList(int steps)
{
    // Each step moves to the children of the last node stored at that level,
    // the innermost open stored element; an empty list stays the current
    // one. The lists of the open levels are kept, so a step is taken only
    // once per level and the cost does not grow with the depth.
    if (steps < 0)
        steps = 0;
    if (m_Lists.empty())
        m_Lists.push_back(&m_Roots);
    while (static_cast<int>(m_Lists.size()) <= steps) {
        std::vector<UPDATEXMLNode>* list = m_Lists.back();
        m_Lists.push_back(list->empty() ? list : &list->back().m_Children);
    }
    return m_Lists[static_cast<size_t>(steps)];
}

void UPDATEXMLParser::Append(int steps, const UPDATEXMLNode& node)
{
    std::vector<UPDATEXMLNode>* list = ReceivingList(steps);
    list->push_back(node);
    // The levels below now lead into the new node (and the list may have
    // moved its nodes), so they are found anew. A level that shared this
    // list, while it was empty, is found anew too.
    size_t keep = static_cast<size_t>(steps);
    while (keep > 0 && m_Lists[keep - 1] == list)
        --keep;
    m_Lists.resize(keep + 1);
}

void UPDATEXMLParser::OnStartElement(void* userData, const char* name, const char** atts)
{
    if (userData == nullptr || name == nullptr || atts == nullptr)
        return;
    UPDATEXMLParser* doc = static_cast<UPDATEXMLParser*>(userData);

    const CString tag = ToSystemText(name);
    if (!doc->m_CurrentPath.IsEmpty())
        doc->m_CurrentPath += kPathSeparator;
    doc->m_CurrentPath += tag;

    if (doc->m_CurrentPath != doc->m_FilterPath) {
        if (doc->m_Depth < 0)
            return;
        if (doc->m_Depth > 0 && doc->m_MaxDepth >= 0 && doc->m_Depth > doc->m_MaxDepth) {
            // Too deep: counted, so the end handler stays balanced, but not stored.
            ++doc->m_Depth;
            return;
        }
    } else if (doc->m_Depth < 0) {
        doc->m_Depth = 0;
    }

    UPDATEXMLNode node;
    node.m_Tag = tag;
    for (const char** att = atts; att[0] != nullptr; att += 2) {
        UPDATEXMLAttribute attribute;
        attribute.m_Name = ToSystemText(att[0]);
        attribute.m_Value = att[1] != nullptr ? ToSystemText(att[1]) : CString();
        node.m_Attributes.push_back(attribute);
        if (att[1] == nullptr)
            break;
    }
    doc->Append(doc->m_Depth, node);
    ++doc->m_Depth;
}

void UPDATEXMLParser::OnEndElement(void* userData, const char* name)
{
    if (userData == nullptr || name == nullptr)
        return;
    UPDATEXMLParser* doc = static_cast<UPDATEXMLParser*>(userData);
    if (doc->m_Depth > 0)
        --doc->m_Depth;
    // Cut in place: the search runs back from the end over the last name
    // only, and nothing before the cut is copied, whatever the depth.
    int cut = doc->m_CurrentPath.ReverseFind(kPathSeparator);
    if (cut >= 0)
        doc->m_CurrentPath.Delete(cut, doc->m_CurrentPath.GetLength() - cut);
    else
        doc->m_CurrentPath.Empty();
}

void UPDATEXMLParser::OnCharacterData(void* userData, const char* text, int length)
{
    if (userData == nullptr || text == nullptr || length <= 0)
        return;
    UPDATEXMLParser* doc = static_cast<UPDATEXMLParser*>(userData);
    if (doc->m_CurrentPath != doc->m_FilterPath) {
        if (doc->m_Depth < 0)
            return;
        if (doc->m_MaxDepth >= 0 && doc->m_Depth - 1 > doc->m_MaxDepth)
            return;  // the innermost open element was not stored
    }

    // A lone line feed or carriage return is stored as one line feed. A
    // piece for which there is no memory is dropped: no exception may pass
    // through expat.
    try {
        CString piece;
        if (length == 1 && (text[0] == '\n' || text[0] == '\r'))
            piece = '\n';
        else
            piece = ToSystemText(text, static_cast<size_t>(length));
        std::vector<UPDATEXMLNode>* list = doc->ReceivingList(doc->m_Depth - 1);
        if (!list->empty())
            list->back().m_Text += piece;
    } catch (const std::bad_alloc&) {
    }
}
