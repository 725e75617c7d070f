// One entry of the COM-port list: the first 10 bytes of a port's name,
// padded with NUL bytes. A name of 10 or more characters fills the field
// without a terminator.
#pragma once

struct ComPortName {
    char name[10];
};
