// One element of a parsed document: its name, its attributes in document
// order, its text (only when asked for) and its child elements. A node is a
// plain value: copying it copies the whole subtree.
#pragma once

#include <vector>

#include "container/UPDATEXMLAttribute.h"
#include "platform/strings/CString.h"

class UPDATEXMLNode {
public:
    CString m_Tag;
    std::vector<UPDATEXMLAttribute> m_Attributes;
    CString m_Text;
    std::vector<UPDATEXMLNode> m_Children;
};
