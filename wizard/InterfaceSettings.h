// The settings of the link: for now the list of the machine's serial ports
// and the per-user value "PortNumber" that carries the chosen COM port to
// the connect worker.
#pragma once

#include <vector>

#include "wizard/ComPortName.h"

class InterfaceSettings {
public:
    // Refills m_comPorts from HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM.
    void EnumerateComPorts();
    // The number after "COM" in "PortNumber", or 0 when none is usable.
    int ReadPortNumber();
    // Stores the text unchanged as "PortNumber"; 1 when stored, else 0.
    int WritePortNumber(const char* portText);

    std::vector<ComPortName> m_comPorts;
};
