// The one failure of the XML layer and of its readers. It is created with new
// and thrown as a pointer; whoever catches it owns it and deletes it.
#pragma once

class UPDATEXMLParserException {
public:
    explicit UPDATEXMLParserException(const char* message) : m_Message(message) {}
    virtual ~UPDATEXMLParserException() {}

    // One of the layer's constant texts; not owned.
    const char* m_Message;
};
