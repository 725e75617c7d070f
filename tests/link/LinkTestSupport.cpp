// The link tests' configuration folder, COM links, pseudo-terminal line and
// stored port number.
#include "LinkTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include <unistd.h>

#include "platform/registry/Registry.h"
#include "platform/serial/Serial.h"
#include "tools/carkit-sim/Wire.h"

namespace zqtest {

ConfigFolder::ConfigFolder()
{
    std::string dosdevices = zq::DosDevicesFolder();
    if (system(("mkdir -p '" + dosdevices + "'").c_str()) != 0)
        ADD_FAILURE() << "no dosdevices folder";
}

void ConfigFolder::LinkCom(int number, const std::string& device)
{
    zqtest::LinkCom(number, device);
}

void LinkCom(int number, const std::string& device)
{
    std::string link = zq::DosDevicesFolder() + "/com" + std::to_string(number);
    unlink(link.c_str());
    if (symlink(device.c_str(), link.c_str()) != 0)
        ADD_FAILURE() << "cannot link " << link;
}

PtyLine::PtyLine()
{
    if (m_pty.Slave().empty())
        ADD_FAILURE() << "no pseudo-terminal";
}

void PtyLine::Send(const Bytes& bytes)
{
    if (!m_pty.Send(bytes.data(), bytes.size()))
        ADD_FAILURE() << "write to the line failed";
}

Bytes PtyLine::Receive(size_t count, int milliseconds)
{
    const std::string got = m_pty.Receive(count, milliseconds);
    return Bytes(got.begin(), got.end());
}

Bytes PtyLine::ReceiveUntilQuiet(int quietMilliseconds)
{
    const std::string got = m_pty.ReceiveUntilQuiet(quietMilliseconds);
    return Bytes(got.begin(), got.end());
}

static HKEY OpenSettings()
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\ZQUpdateManager\\Settings", 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        ADD_FAILURE() << "no settings key";
    return key;
}

void StorePortNumber(const std::string& text, bool withNul)
{
    HKEY key = OpenSettings();
    RegSetValueExA(key, "PortNumber", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + (withNul ? 1 : 0)));
    RegCloseKey(key);
}

Bytes WireFrame(BYTE type, const Bytes& payload)
{
    return carkit::Stuff(carkit::BuildFrame(type, payload));
}

}  // namespace zqtest
