// The pseudo-terminal of the car kit's line: raw mode, split and paced writes,
// reads, and the wait for the PC's hang-up.
#include "Line.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace carkit {

namespace {

void MakeRaw(int fd)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return;
    cfmakeraw(&t);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, B115200);
    cfsetospeed(&t, B115200);
    tcsetattr(fd, TCSANOW, &t);
}

// Pieces of a write as the options cut it.
std::vector<Bytes> Pieces(const Bytes& bytes, size_t chunk, bool splitEscape)
{
    std::vector<Bytes> pieces(1);
    for (uint8_t b : bytes) {
        if (chunk > 0 && pieces.back().size() >= chunk)
            pieces.emplace_back();
        pieces.back().push_back(b);
        if (splitEscape && b == 0x1B)
            pieces.emplace_back();
    }
    if (pieces.back().empty())
        pieces.pop_back();
    return pieces;
}

}  // namespace

bool Line::Open(std::string* error)
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        *error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    // A new pty echoes and edits lines: make both ends raw before anything
    // passes.
    MakeRaw(m_master);
    char name[128];
    if (ptsname_r(m_master, name, sizeof name) != 0) {
        *error = "cannot name the pseudo-terminal";
        return false;
    }
    m_slavePath = name;
    m_slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave >= 0)
        MakeRaw(m_slave);
    int flags = fcntl(m_master, F_GETFL);
    fcntl(m_master, F_SETFL, flags | O_NONBLOCK);
    m_rxClock = Clock::now();
    m_txFree = Clock::now();
    return true;
}

void Line::Close()
{
    if (m_slave >= 0)
        close(m_slave);
    if (m_master >= 0)
        close(m_master);
    m_slave = m_master = -1;
}

bool Line::WaitForHangUp(int timeoutMs)
{
    if (m_master < 0)
        return true;
    // The master reports a hang-up only once no slave is open, the kit's
    // own one included.
    if (m_slave >= 0) {
        close(m_slave);
        m_slave = -1;
    }
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0 || *m_stop)
            return false;
        pollfd p{m_master, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0)
            continue;
        if (p.revents & POLLHUP)
            return true;
        uint8_t buffer[4096];
        ssize_t n = read(m_master, buffer, sizeof buffer);
        if (n < 0 && errno == EIO)
            return true;
    }
}

Line::Clock::duration Line::ByteTime(size_t bytes) const
{
    if (m_options.baud == 0)
        return Clock::duration::zero();
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::nanoseconds(static_cast<long long>(bytes) * 10 * 1000000000LL / m_options.baud));
}

bool Line::WriteAll(const uint8_t* data, size_t size)
{
    while (size > 0) {
        if (m_master < 0 || *m_stop)
            return false;
        ssize_t n = write(m_master, data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            // The PC does not read: wait, but stay stoppable.
            pollfd p{m_master, POLLOUT, 0};
            poll(&p, 1, 100);
            continue;
        }
        return false;
    }
    return true;
}

bool Line::Write(const Bytes& bytes)
{
    const std::vector<Bytes> pieces = Pieces(bytes, m_options.chunk, m_options.splitEscape);
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0 && (m_options.chunk > 0 || m_options.splitEscape))
            std::this_thread::sleep_for(std::chrono::milliseconds(m_options.chunkPauseMs));
        const Bytes& piece = pieces[i];
        if (m_options.baud == 0) {
            if (!WriteAll(piece.data(), piece.size()))
                return false;
            continue;
        }
        // Paced: small slices, each sent when the line is free for it.
        for (size_t at = 0; at < piece.size(); at += 16) {
            const size_t n = std::min<size_t>(16, piece.size() - at);
            std::this_thread::sleep_until(m_txFree);
            if (!WriteAll(piece.data() + at, n))
                return false;
            m_txFree = std::max(m_txFree, Clock::now() - ByteTime(16)) + ByteTime(n);
        }
    }
    return true;
}

long Line::Read(uint8_t* buffer, size_t size, int timeoutMs)
{
    if (m_master < 0)
        return -1;
    if (m_options.baud != 0) {
        // A line delivers at most one byte per byte time; what the PC wrote
        // beyond that waits in the pty, so its writes slow down to the line.
        const Clock::time_point now = Clock::now();
        const Clock::duration burst = ByteTime(64);
        if (now - m_rxClock > burst)
            m_rxClock = now - burst;
        // Bytes are taken 16 at a time at least, so pacing costs few calls.
        const Clock::duration byteTime = ByteTime(1);
        const size_t allowed = static_cast<size_t>((now - m_rxClock) / byteTime);
        if (allowed < 16) {
            std::this_thread::sleep_for(std::min<Clock::duration>(byteTime * static_cast<long>(16 - allowed),
                                                                  std::chrono::milliseconds(timeoutMs)));
            return 0;
        }
        size = std::min(size, allowed);
    }
    pollfd p{m_master, POLLIN, 0};
    int ready = poll(&p, 1, timeoutMs);
    if (ready <= 0)
        return 0;
    ssize_t n = read(m_master, buffer, size);
    if (n > 0) {
        if (m_options.baud != 0)
            m_rxClock += ByteTime(1) * n;
        return n;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return 0;
    // EIO: no slave is open. The simulator keeps one, so this is rare; wait.
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return 0;
}

}  // namespace carkit
