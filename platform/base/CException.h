// The framework's exception base. Framework exceptions are created with new
// and thrown as pointers; whoever catches one owns it and calls Delete.
#pragma once

#include "platform/base/WinTypes.h"

class CException {
public:
    CException() = default;
    CException(const CException&) = default;
    CException& operator=(const CException&) = default;
    virtual ~CException() = default;

    void Delete() { delete this; }
};
