// One attribute of an element, as expat delivers it.
#pragma once

#include "platform/strings/CString.h"

class UPDATEXMLAttribute {
public:
    CString m_Name;
    CString m_Value;
};
