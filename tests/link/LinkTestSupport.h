// Helpers of the link tests: a per-process configuration folder (registry
// and COM links), a pseudo-terminal that stands for the car kit's line, and
// the stored "PortNumber".
#pragma once

#include <string>
#include <vector>

#include "platform/base/WinTypes.h"
#include "tests/support/Pty.h"
#include "tests/support/TempFolder.h"

namespace zqtest {

using Bytes = std::vector<BYTE>;

// A temporary folder made the per-user configuration folder for the test's
// life; removed again at the end.
class ConfigFolder {
public:
    ConfigFolder();
    const std::string& Path() const { return m_home.Linux(); }
    // Links COM<number> to the device.
    void LinkCom(int number, const std::string& device);

private:
    zqtest::ScopedXdgConfigHome m_home;
};

// The car kit's line: a pseudo-terminal; the test plays the car kit on the
// master side, the port under test opens the slave. A line that cannot be
// made or written fails the test.
class PtyLine {
public:
    PtyLine();
    const std::string& Slave() const { return m_pty.Slave(); }
    void Send(const Bytes& bytes);
    // What arrives until count bytes have come or none came for the time.
    Bytes Receive(size_t count, int milliseconds = 5000);
    // Everything that arrives until the line stays quiet for the time.
    Bytes ReceiveUntilQuiet(int quietMilliseconds);
    // The car kit goes away: its side of the line is closed.
    void Unplug() { m_pty.CloseMaster(); }

private:
    zqtest::Pty m_pty;
};

// Links COM<number> to the device in the current per-user folder.
void LinkCom(int number, const std::string& device);

// Stores the text as the per-user "PortNumber" (REG_SZ, with its NUL unless
// told otherwise).
void StorePortNumber(const std::string& text, bool withNul = true);

// The frame with the payload, stuffed as it goes on the wire: built by the
// car-kit simulator's own framing, not by the frame layer under test.
Bytes WireFrame(BYTE type, const Bytes& payload);

}  // namespace zqtest
