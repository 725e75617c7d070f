// One XML document: the whole file read into memory, parsed on request with
// expat, bound at run time from "libexpat.dll". Parse collects the subtrees
// of the elements whose path equals a tag path ("update%device"), down to a
// depth limit. Every failure is an UPDATEXMLParserException thrown by
// pointer. expat's UTF-8 reaches the system as Windows-1252.
#pragma once

#include <vector>

#include "container/UPDATEXMLNode.h"
#include "container/UPDATEXMLParserException.h"
#include "platform/base/WinTypes.h"
#include "platform/strings/CString.h"

class UPDATEXMLParser {
public:
    // The six expat functions the layer uses, with expat's own signatures.
    typedef struct XML_ParserStruct* XML_Parser;
    typedef void (*XML_StartElementHandler)(void* userData, const char* name, const char** atts);
    typedef void (*XML_EndElementHandler)(void* userData, const char* name);
    typedef void (*XML_CharacterDataHandler)(void* userData, const char* s, int len);
    typedef XML_Parser (*PFN_XML_ParserCreate)(const char* encoding);
    typedef void (*PFN_XML_SetElementHandler)(XML_Parser parser, XML_StartElementHandler start,
                                              XML_EndElementHandler end);
    typedef void (*PFN_XML_SetCharacterDataHandler)(XML_Parser parser, XML_CharacterDataHandler handler);
    typedef void (*PFN_XML_SetUserData)(XML_Parser parser, void* userData);
    typedef int (*PFN_XML_Parse)(XML_Parser parser, const char* s, int len, int isFinal);
    typedef void (*PFN_XML_ParserFree)(XML_Parser parser);

    enum { DLL_FOLDER_SIZE = 260 };

    // Sets the folder from which the library is loaded; null clears it. A
    // folder that does not fit (260 characters or more) clears it too, so
    // the library is never loaded from a cut-off path.
    static int SetDllFolder(const char* folder);

    explicit UPDATEXMLParser(const char* fileName);
    ~UPDATEXMLParser();

    int Load(const char* fileName);
    int LoadFile();
    void FreeBuffer();
    void LoadExpat();
    std::vector<UPDATEXMLNode>& Parse(const char* tag, int withText, int maxDepth);
    std::vector<UPDATEXMLNode>& GetRoots();

    static void OnStartElement(void* userData, const char* name, const char** atts);
    static void OnEndElement(void* userData, const char* name);
    static void OnCharacterData(void* userData, const char* text, int length);

    char* m_pBuffer;
    DWORD m_BufferLength;
    CString m_FilterPath;
    CString m_CurrentPath;
    CString m_FileName;
    int m_Depth;
    int m_MaxDepth;
    std::vector<UPDATEXMLNode> m_Roots;

    static int m_InstanceCount;
    static HMODULE m_hExpat;
    static char m_DllFolder[DLL_FOLDER_SIZE];
    static PFN_XML_ParserCreate m_pXML_ParserCreate;
    static PFN_XML_SetElementHandler m_pXML_SetElementHandler;
    static PFN_XML_SetCharacterDataHandler m_pXML_SetCharacterDataHandler;
    static PFN_XML_SetUserData m_pXML_SetUserData;
    static PFN_XML_Parse m_pXML_Parse;
    static PFN_XML_ParserFree m_pXML_ParserFree;

private:
    UPDATEXMLParser(const UPDATEXMLParser&) = delete;
    UPDATEXMLParser& operator=(const UPDATEXMLParser&) = delete;

    std::vector<UPDATEXMLNode>* ReceivingList(int steps);
    void Append(int steps, const UPDATEXMLNode& node);

    // The receiving list of each open level, from the roots down; kept so
    // that finding a level's list costs the same at any depth.
    std::vector<std::vector<UPDATEXMLNode>*> m_Lists;
};
