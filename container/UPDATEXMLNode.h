// One element of a parsed document: its name, its attributes in document
// order, its text (only when asked for) and its child elements. A node is a
// plain value: copying it copies the whole subtree.
#pragma once

#include <initializer_list>
#include <vector>

#include "container/UPDATEXMLAttribute.h"
#include "platform/strings/CString.h"

class UPDATEXMLNode {
public:
    // Where the value of an attribute of the given name goes.
    struct AttributeField {
        const char* name;
        CString* value;
    };

    // Copying and releasing walk the subtree without recursion, so a tree
    // of any depth can be copied and can go.
    UPDATEXMLNode() = default;
    UPDATEXMLNode(const UPDATEXMLNode& other);
    UPDATEXMLNode(UPDATEXMLNode&&) noexcept = default;
    UPDATEXMLNode& operator=(const UPDATEXMLNode& other);
    UPDATEXMLNode& operator=(UPDATEXMLNode&&) noexcept = default;
    ~UPDATEXMLNode();

    // Assigns, in document order, the value of every attribute whose name
    // equals a field's name to that field; a field whose attribute the
    // element lacks keeps what it held. This is how the readers fill their
    // records under construction.
    void ReadAttributes(std::initializer_list<AttributeField> fields) const;

    CString m_Tag;
    std::vector<UPDATEXMLAttribute> m_Attributes;
    CString m_Text;
    std::vector<UPDATEXMLNode> m_Children;
};
