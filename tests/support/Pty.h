// A pseudo-terminal, raw from the start, that stands for a serial line: the
// port under test opens the slave, the test (or the fuzzer) plays the far
// side on the master.
//
// Header only and free of GoogleTest, like the other host helpers: a pty
// that cannot be made leaves Slave() empty, and the test says so.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <string>

namespace zqtest {

class Pty {
public:
    // The flags go to posix_openpt beside O_RDWR, O_NOCTTY and O_CLOEXEC
    // (O_NONBLOCK for a side that must never wait).
    explicit Pty(int flags = 0) : m_master(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | flags))
    {
        char name[128];
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0 ||
            ptsname_r(m_master, name, sizeof name) != 0) {
            CloseMaster();
            return;
        }
        m_slave = name;
        termios t{};
        tcgetattr(m_master, &t);
        cfmakeraw(&t);
        tcsetattr(m_master, TCSANOW, &t);
    }
    ~Pty() { CloseMaster(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    int Master() const { return m_master; }
    // The slave's path; "" when no pty could be made.
    const std::string& Slave() const { return m_slave; }

    // The far side goes away: the master is closed, the slave hangs up.
    void CloseMaster()
    {
        if (m_master >= 0)
            close(m_master);
        m_master = -1;
    }

    // Writes all the bytes and waits until the slave side has them; false
    // when the line takes no more.
    bool Send(const void* data, size_t size) const
    {
        const char* at = static_cast<const char*>(data);
        while (size > 0) {
            const ssize_t n = write(m_master, at, size);
            if (n <= 0)
                return false;
            at += n;
            size -= static_cast<size_t>(n);
        }
        tcdrain(m_master);
        return true;
    }
    bool Send(const std::string& bytes) const { return Send(bytes.data(), bytes.size()); }

    // At most `most` bytes of what has arrived, once something arrives
    // within the time; "" when nothing did or the line is gone.
    std::string ReadSome(size_t most, int milliseconds) const
    {
        pollfd p{m_master, POLLIN, 0};
        if (m_master < 0 || poll(&p, 1, milliseconds) <= 0)
            return "";
        char buffer[65536];
        const ssize_t n = read(m_master, buffer, std::min(sizeof buffer, most));
        return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : "";
    }
    // What arrives until `count` bytes have come or none came for the time.
    std::string Receive(size_t count, int milliseconds = 5000) const
    {
        std::string got;
        while (got.size() < count) {
            const std::string more = ReadSome(count - got.size(), milliseconds);
            if (more.empty())
                break;
            got += more;
        }
        return got;
    }
    // Everything that arrives until the line stays quiet for the time.
    std::string ReceiveUntilQuiet(int quietMilliseconds) const { return Receive(std::string::npos, quietMilliseconds); }

private:
    int m_master;
    std::string m_slave;
};

}  // namespace zqtest
