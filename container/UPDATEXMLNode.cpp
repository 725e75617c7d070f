// Nodes as plain values: their copying and release without recursion, and the
// reading of their attributes.
#include "container/UPDATEXMLNode.h"

#include <utility>

UPDATEXMLNode::UPDATEXMLNode(const UPDATEXMLNode& other)
    : m_Tag(other.m_Tag), m_Attributes(other.m_Attributes), m_Text(other.m_Text)
{
    // Each copied node is given copies of its children's own members; the
    // pairs still to be given their children wait on a list.
    std::vector<std::pair<const UPDATEXMLNode*, UPDATEXMLNode*>> pending;
    pending.emplace_back(&other, this);
    while (!pending.empty()) {
        const UPDATEXMLNode* source = pending.back().first;
        UPDATEXMLNode* target = pending.back().second;
        pending.pop_back();
        // Reserved first, so the addresses taken below stay valid.
        target->m_Children.reserve(source->m_Children.size());
        for (const UPDATEXMLNode& child : source->m_Children) {
            target->m_Children.emplace_back();
            UPDATEXMLNode& copy = target->m_Children.back();
            copy.m_Tag = child.m_Tag;
            copy.m_Attributes = child.m_Attributes;
            copy.m_Text = child.m_Text;
            if (!child.m_Children.empty())
                pending.emplace_back(&child, &copy);
        }
    }
}

UPDATEXMLNode& UPDATEXMLNode::operator=(const UPDATEXMLNode& other)
{
    if (this != &other) {
        UPDATEXMLNode copy(other);
        *this = std::move(copy);
    }
    return *this;
}

UPDATEXMLNode::~UPDATEXMLNode()
{
    if (m_Children.empty())
        return;
    // The descendants are moved into one list and released from its end;
    // each node taken from it hands its own children to the list first.
    std::vector<UPDATEXMLNode> pending = std::move(m_Children);
    while (!pending.empty()) {
        std::vector<UPDATEXMLNode> children = std::move(pending.back().m_Children);
        pending.pop_back();
        for (UPDATEXMLNode& child : children)
            pending.push_back(std::move(child));
    }
}

void UPDATEXMLNode::ReadAttributes(std::initializer_list<AttributeField> fields) const
{
    for (const UPDATEXMLAttribute& attribute : m_Attributes) {
        for (const AttributeField& field : fields) {
            if (attribute.m_Name == field.name)
                *field.value = attribute.m_Value;
        }
    }
}
