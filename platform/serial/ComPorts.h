// COM names and the Linux devices behind them.
//
// COM n names a Linux device: the per-user link
// $XDG_CONFIG_HOME/zqupdatemanager/dosdevices/comN (~/.config/... when
// XDG_CONFIG_HOME is not set) when it exists, else the fixed default
// (COM1-32 /dev/ttyS0-31, COM33-64 /dev/ttyUSB0-31, COM65-96 /dev/ttyACM0-31,
// COM97-128 /dev/rfcomm0-31). A link, even a broken one, replaces the
// default of its port.
//
// HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM lists the ports that can
// be opened once InstallSerialCommProvider has handed the list to the
// registry; the program does so at start-up.
#pragma once

#include "platform/registry/Registry.h"

#include <string>

namespace zq {

// The port number of "\\.\COMn" or "COMn" (letters in any case), or -1 for
// any other name and for numbers above 255.
int ParseComPortName(const char* name);

// The Linux device that COM n names ("" for a number outside 1 to 128 with
// no link), and whether a per-user link named it.
std::string ComPortDevice(int portNumber, bool* fromLink = nullptr);

// The folder of the per-user COM links, from the current environment.
std::string DosDevicesFolder();

// The ports that can be opened, by COM number: links whose target is a
// terminal device (the resolved target names it), and the default devices
// that exist and have hardware behind them. This is what SERIALCOMM holds.
SerialCommList ListSerialPorts();

// Makes ListSerialPorts the registry's source of SERIALCOMM.
void InstallSerialCommProvider();

}  // namespace zq
