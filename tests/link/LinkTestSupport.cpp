#include "LinkTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "platform/registry/Registry.h"
#include "platform/serial/Serial.h"

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
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        ADD_FAILURE() << "no pseudo-terminal";
        return;
    }
    char name[128];
    if (ptsname_r(m_master, name, sizeof(name)) == 0)
        m_slave = name;
    termios t{};
    tcgetattr(m_master, &t);
    cfmakeraw(&t);
    tcsetattr(m_master, TCSANOW, &t);
}

PtyLine::~PtyLine()
{
    Unplug();
}

void PtyLine::Unplug()
{
    if (m_master >= 0)
        close(m_master);
    m_master = -1;
}

void PtyLine::Send(const Bytes& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(m_master, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            ADD_FAILURE() << "write to the line failed";
            return;
        }
        done += static_cast<size_t>(n);
    }
    tcdrain(m_master);
}

Bytes PtyLine::Receive(size_t count, int milliseconds)
{
    Bytes got;
    while (got.size() < count) {
        pollfd p{m_master, POLLIN, 0};
        if (poll(&p, 1, milliseconds) <= 0)
            break;
        BYTE buffer[4096];
        ssize_t n = read(m_master, buffer, std::min(sizeof(buffer), count - got.size()));
        if (n <= 0)
            break;
        got.insert(got.end(), buffer, buffer + n);
    }
    return got;
}

Bytes PtyLine::ReceiveUntilQuiet(int quietMilliseconds)
{
    Bytes got;
    for (;;) {
        pollfd p{m_master, POLLIN, 0};
        if (poll(&p, 1, quietMilliseconds) <= 0)
            break;
        BYTE buffer[4096];
        ssize_t n = read(m_master, buffer, sizeof(buffer));
        if (n <= 0)
            break;
        got.insert(got.end(), buffer, buffer + n);
    }
    return got;
}

bool PtyLine::ReceiveFrame(Frame& frame, int milliseconds)
{
    for (;;) {
        // Unstuff from the first start byte on; complete once the length
        // says so.
        size_t start = 0;
        while (start < m_pending.size() && m_pending[start] != 0x1C)
            ++start;
        Bytes plain;
        size_t pos = start + 1;
        for (; pos < m_pending.size(); ++pos) {
            BYTE b = m_pending[pos];
            if (b == 0x1C)
                break;
            if (b == 0x1B) {
                if (pos + 1 >= m_pending.size())
                    break;
                plain.push_back(m_pending[++pos] == 0x00 ? 0x1B : 0x1C);
            } else {
                plain.push_back(b);
            }
            if (plain.size() >= 3 && plain.size() == 4u + (plain[1] | plain[2] << 8)) {
                frame.type = plain[0];
                frame.payload.assign(plain.begin() + 3, plain.end() - 1);
                m_pending.erase(m_pending.begin(), m_pending.begin() + pos + 1);
                return true;
            }
        }
        pollfd p{m_master, POLLIN, 0};
        if (m_master < 0 || poll(&p, 1, milliseconds) <= 0)
            return false;
        BYTE buffer[4096];
        ssize_t n = read(m_master, buffer, sizeof(buffer));
        if (n <= 0)
            return false;
        m_pending.insert(m_pending.end(), buffer, buffer + n);
    }
}

static HKEY OpenSettings()
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\ZQUpdateManager\\Settings", 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
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
    Bytes frame = {0x1C, type, static_cast<BYTE>(payload.size() & 0xFF),
                   static_cast<BYTE>(payload.size() >> 8)};
    frame.insert(frame.end(), payload.begin(), payload.end());
    BYTE check = 0;
    for (BYTE b : frame)
        check ^= b;
    frame.push_back(check);
    Bytes wire = {frame[0]};
    for (size_t i = 1; i < frame.size(); ++i) {
        if (frame[i] == 0x1B || frame[i] == 0x1C) {
            wire.push_back(0x1B);
            wire.push_back(frame[i] == 0x1B ? 0x00 : 0x01);
        } else {
            wire.push_back(frame[i]);
        }
    }
    return wire;
}

}  // namespace zqtest
