// The port's I/O: CreateFileA on a COM name, the line settings, and the
// overlapped reads and writes that a thread of each port completes.
#include "platform/serial/Serial.h"

#include "platform/base/DebugChannel.h"
#include "platform/base/FatalEnd.h"
#include "platform/threads/Threads.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// OVERLAPPED::Internal holds 0 for success, STATUS_PENDING while the
// operation runs, and this tag with the Win32 error code for a failure.
const ULONG_PTR kErrorStatusTag = 0xC0000000u;

ULONG_PTR StatusFromError(DWORD error)
{
    return error == 0 ? 0 : (kErrorStatusTag | error);
}

DWORD ErrorFromStatus(ULONG_PTR status)
{
    return status == 0 ? 0 : static_cast<DWORD>(status & ~kErrorStatusTag);
}

// Writes an operation's result into its OVERLAPPED. The fields are only
// touched with KernelLock() held, so GetOverlappedResult on another thread
// reads them safely.
void StoreResult(LPOVERLAPPED ov, ULONG_PTR status, DWORD bytes)
{
    std::lock_guard<std::mutex> lock(zq::KernelLock());
    ov->Internal = status;
    ov->InternalHigh = bytes;
}

// The descriptors of the ports open exclusively. A tty's exclusive mode
// outlives its last close, the program's end included, so on a fatal end
// (a signal, the display's loss, ExitProcess) it is cleared for each, or
// the next start could not open the port as an ordinary user. The table
// holds each descriptor plus one, since zero marks a free slot.
zq::SignalSafeSet<int, 32> s_exclusivePorts;

void GiveBackExclusivePorts()
{
    s_exclusivePorts.ForEach([](int slot) { ioctl(slot - 1, TIOCNXCL); });
}

void HoldExclusive(int fd)
{
    static const bool ready = zq::AtFatalEnd(GiveBackExclusivePorts);
    (void)ready;
    s_exclusivePorts.Add(fd + 1);
}

// Before the descriptor is closed: its number may be reused after.
void ReleaseExclusive(int fd)
{
    s_exclusivePorts.Remove(fd + 1);
}

struct Operation {
    bool active = false;
    BYTE* buffer = nullptr;
    DWORD count = 0;
    DWORD done = 0;
    LPOVERLAPPED overlapped = nullptr;
    HANDLE event = nullptr;
    Clock::time_point lastByte;
    bool hasDeadline = false;
    Clock::time_point deadline;
    // A write whose bytes are all with the driver waits for them to leave;
    // the output queue is looked at again at this time.
    Clock::time_point drainCheck;
};

class SerialPort : public zq::KernelObject {
public:
    SerialPort(int fd, int wakeFd, std::string device);
    ~SerialPort() override;

    void OnCloseHandle() override;

    BOOL Read(LPVOID buffer, DWORD count, LPDWORD bytesRead, LPOVERLAPPED ov);
    BOOL Write(LPCVOID buffer, DWORD count, LPDWORD bytesWritten, LPOVERLAPPED ov);
    BOOL Purge(DWORD flags);
    BOOL GetState(LPDCB dcb);
    BOOL SetState(const DCB& dcb);
    BOOL SetTimeouts(const COMMTIMEOUTS& timeouts);
    BOOL Escape(DWORD function);
    void Start() { m_worker = std::thread(&SerialPort::Run, this); }

private:
    // Both called with m_mutex held.
    void Complete(Operation& op, DWORD error);
    void Wake();
    // The port's thread: waits on the device and the wake-up, then moves
    // the operations on, until the port closes.
    void Run();
    // With m_mutex held: which of the device's events the operations wait
    // for, and the time the first of them must be looked at again
    // (Clock::time_point::max() for none).
    short WantedEvents() const;
    Clock::time_point NextLook() const;
    // Waits without the lock for the device's events or a wake-up, until
    // the time given; false when the wait itself failed.
    bool WaitForDevice(short wanted, Clock::time_point until, short* events);
    // With m_mutex held: moves the read and the write on after a wait, on
    // the device's events, and completes them when they are done, the line
    // is gone or their time is up.
    void AdvanceRead(short events);
    void AdvanceWrite(short events);
    bool ReadAvailable();  // with m_mutex held; false when the line is gone
    bool WriteAvailable(DWORD* error);
    bool LineGone();
    // With m_mutex held. The bytes that the device has not sent yet. Since a
    // write completes only once its bytes have left, they all belong to the
    // write in progress.
    DWORD QueuedOutput();
    // With m_mutex held: whether the write in progress has handed over all
    // its bytes and the device has sent them; when not, sets the time of the
    // next look.
    bool WriteDrained(Clock::time_point now);
    // With m_mutex held: discards what the write in progress left in the
    // output queue and takes it off the write's count.
    void DiscardQueuedOutput();
    // With m_mutex held: the write's time is up; it ends short, as a
    // serial driver's write does, with the bytes that have left.
    void EndWriteShort();
    // With m_mutex held: checks a new operation and starts it, or fails.
    bool Begin(Operation& op, BYTE* buffer, DWORD count, LPOVERLAPPED ov);
    // With m_mutex held: an operation that failed before any byte moved.
    BOOL FailAtStart(Operation& op, LPOVERLAPPED ov, DWORD error);
    // With m_mutex held: leaves a started operation to the worker.
    BOOL Pending();

    const int m_fd;
    const int m_wakeFd;
    const std::string m_device;
    std::mutex m_mutex;
    std::thread m_worker;
    bool m_closing = false;
    DCB m_dcb{};
    COMMTIMEOUTS m_timeouts{};
    Operation m_read;
    Operation m_write;
};

struct SpeedEntry {
    DWORD rate;
    speed_t code;
};

const SpeedEntry kSpeeds[] = {
    {110, B110},       {300, B300},         {600, B600},         {1200, B1200},       {2400, B2400},
    {4800, B4800},     {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200}, {230400, B230400},   {460800, B460800},   {500000, B500000},   {576000, B576000},
    {921600, B921600}, {1000000, B1000000}, {1500000, B1500000}, {2000000, B2000000},
};

bool SpeedCode(DWORD rate, speed_t* code)
{
    for (const auto& entry : kSpeeds) {
        if (entry.rate == rate) {
            *code = entry.code;
            return true;
        }
    }
    return false;
}

DWORD SpeedRate(speed_t code)
{
    for (const auto& entry : kSpeeds) {
        if (entry.code == code)
            return entry.rate;
    }
    return CBR_9600;
}

// A modem-control or flow request that the device does not know is no error:
// a pseudo-terminal or an adapter without modem lines refuses it this way.
bool IsMissingLineError(int err)
{
    return err == ENOTTY || err == EINVAL || err == ENOSYS || err == EOPNOTSUPP;
}

bool ModemLine(int fd, const std::string& device, int line, bool on)
{
    if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0)
        return true;
    if (IsMissingLineError(errno))
        return true;
    const int err = errno;
    zq::DebugFailure(zq::DebugArea::Serial, on ? "ioctl(TIOCMBIS)" : "ioctl(TIOCMBIC)", device.c_str(), err);
    errno = err;
    return false;
}

// The character format of a DCB in a termios: data bits, parity and its
// check, stop bits. False for a value that the DCB does not define.
bool CharacterFormatFromDcb(const DCB& dcb, termios* t)
{
    switch (dcb.ByteSize) {
    case 5:
        t->c_cflag |= CS5;
        break;
    case 6:
        t->c_cflag |= CS6;
        break;
    case 7:
        t->c_cflag |= CS7;
        break;
    case 8:
        t->c_cflag |= CS8;
        break;
    default:
        return false;
    }
    switch (dcb.Parity) {
    case NOPARITY:
        break;
    case ODDPARITY:
        t->c_cflag |= PARENB | PARODD;
        break;
    case EVENPARITY:
        t->c_cflag |= PARENB;
        break;
    case MARKPARITY:
        t->c_cflag |= PARENB | PARODD | CMSPAR;
        break;
    case SPACEPARITY:
        t->c_cflag |= PARENB | CMSPAR;
        break;
    default:
        return false;
    }
    if (dcb.Parity != NOPARITY && dcb.fParity)
        t->c_iflag |= INPCK;
    switch (dcb.StopBits) {
    case ONESTOPBIT:
        break;
    case ONE5STOPBITS:  // Linux UARTs send 1.5 stop bits for "two" at 5 data bits
    case TWOSTOPBITS:
        t->c_cflag |= CSTOPB;
        break;
    default:
        return false;
    }
    return true;
}

// The flow control of a DCB in a termios: CTS/RTS by hardware, XON/XOFF
// with their characters. False when XON and XOFF are one character.
bool FlowControlFromDcb(const DCB& dcb, termios* t)
{
    if (dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE)
        t->c_cflag |= CRTSCTS;
    if (dcb.fOutX || dcb.fInX) {
        if (dcb.XonChar == dcb.XoffChar)
            return false;
        if (dcb.fOutX)
            t->c_iflag |= IXON;
        if (dcb.fInX)
            t->c_iflag |= IXOFF;
    }
    t->c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    t->c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    return true;
}

// A DCB translated into the termios of a raw line that the port's poll
// loop reads without blocking. False for a DCB that Windows refuses with
// ERROR_INVALID_PARAMETER; the termios is half-made then.
bool TermiosFromDcb(const DCB& dcb, termios* t)
{
    cfmakeraw(t);
    // HUPCL: the modem lines drop when the port is closed, as on Windows.
    t->c_cflag |= CREAD | CLOCAL | HUPCL;
    t->c_cflag &= ~(CRTSCTS | CSTOPB | PARENB | PARODD | CMSPAR | CSIZE);
    t->c_iflag &= ~(INPCK | IXON | IXOFF | IXANY);
    speed_t speed;
    if (!SpeedCode(dcb.BaudRate, &speed))
        return false;
    cfsetispeed(t, speed);
    cfsetospeed(t, speed);
    if (!CharacterFormatFromDcb(dcb, t) || !FlowControlFromDcb(dcb, t))
        return false;
    t->c_cc[VMIN] = 0;
    t->c_cc[VTIME] = 0;
    return true;
}

SerialPort::SerialPort(int fd, int wakeFd, std::string device) : m_fd(fd), m_wakeFd(wakeFd), m_device(std::move(device))
{
    // The DCB starts as the device's current settings.
    termios t{};
    if (tcgetattr(m_fd, &t) != 0)
        zq::DebugFailure(zq::DebugArea::Serial, "tcgetattr", m_device.c_str(), errno);
    m_dcb.DCBlength = sizeof(DCB);
    m_dcb.BaudRate = SpeedRate(cfgetospeed(&t));
    m_dcb.fBinary = TRUE;
    m_dcb.fParity = (t.c_iflag & INPCK) ? TRUE : FALSE;
    m_dcb.fOutxCtsFlow = (t.c_cflag & CRTSCTS) ? TRUE : FALSE;
    m_dcb.fDtrControl = DTR_CONTROL_ENABLE;
    m_dcb.fOutX = (t.c_iflag & IXON) ? TRUE : FALSE;
    m_dcb.fInX = (t.c_iflag & IXOFF) ? TRUE : FALSE;
    m_dcb.fRtsControl = (t.c_cflag & CRTSCTS) ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    m_dcb.XonLim = 2048;
    m_dcb.XoffLim = 512;
    switch (t.c_cflag & CSIZE) {
    case CS5:
        m_dcb.ByteSize = 5;
        break;
    case CS6:
        m_dcb.ByteSize = 6;
        break;
    case CS7:
        m_dcb.ByteSize = 7;
        break;
    default:
        m_dcb.ByteSize = 8;
        break;
    }
    if (!(t.c_cflag & PARENB))
        m_dcb.Parity = NOPARITY;
    else if (t.c_cflag & CMSPAR)
        m_dcb.Parity = (t.c_cflag & PARODD) ? MARKPARITY : SPACEPARITY;
    else
        m_dcb.Parity = (t.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
    m_dcb.StopBits = (t.c_cflag & CSTOPB) ? TWOSTOPBITS : ONESTOPBIT;
    m_dcb.XonChar = static_cast<char>(t.c_cc[VSTART]);
    m_dcb.XoffChar = static_cast<char>(t.c_cc[VSTOP]);
}

SerialPort::~SerialPort()
{
    // Only reached after OnCloseHandle, which ends the worker.
    if (m_worker.joinable())
        m_worker.detach();
}

void SerialPort::OnCloseHandle()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closing = true;
        if (m_read.active)
            Complete(m_read, ERROR_OPERATION_ABORTED);
        if (m_write.active) {
            // Only the write in progress loses bytes; those of completed
            // writes have left already, and the close waits for the last
            // of them on real hardware.
            DiscardQueuedOutput();
            Complete(m_write, ERROR_OPERATION_ABORTED);
        }
        Wake();
    }
    if (m_worker.joinable())
        m_worker.join();
    // The exclusive mode of a tty outlives its last close, so it is cleared
    // before the descriptor goes; the lock goes with the descriptor.
    ReleaseExclusive(m_fd);
    if (ioctl(m_fd, TIOCNXCL) != 0)
        zq::DebugFailure(zq::DebugArea::Serial, "ioctl(TIOCNXCL)", m_device.c_str(), errno);
    flock(m_fd, LOCK_UN);
    if (close(m_fd) != 0)
        zq::DebugFailure(zq::DebugArea::Serial, "close", m_device.c_str(), errno);
    close(m_wakeFd);
}

void SerialPort::Complete(Operation& op, DWORD error)
{
    LPOVERLAPPED ov = op.overlapped;
    HANDLE event = op.event;
    DWORD bytes = op.done;
    op = Operation();
    StoreResult(ov, StatusFromError(error), bytes);
    if (event)
        SetEvent(event);
    // GetOverlappedResult may wait on the OVERLAPPED itself.
    zq::NotifyKernelWaiters();
}

void SerialPort::Wake()
{
    uint64_t one = 1;
    ssize_t ignored = write(m_wakeFd, &one, sizeof one);
    (void)ignored;
}

bool SerialPort::LineGone()
{
    pollfd p{m_fd, POLLIN, 0};
    if (poll(&p, 1, 0) < 0)
        return false;
    // A hung-up tty reports POLLIN as well and reads as end of file.
    return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

bool SerialPort::ReadAvailable()
{
    while (m_read.done < m_read.count) {
        ssize_t n = read(m_fd, m_read.buffer + m_read.done, m_read.count - m_read.done);
        if (n > 0) {
            m_read.done += static_cast<DWORD>(n);
            m_read.lastByte = Clock::now();
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return true;
        // A read of 0 is "no data" on a raw tty (VMIN 0) and end of file on
        // one whose other side has gone; EIO is the other side gone too.
        if (n == 0 && !LineGone())
            return true;
        if (n < 0)
            zq::DebugFailure(zq::DebugArea::Serial, "read", m_device.c_str(), errno);
        return false;
    }
    return true;
}

bool SerialPort::WriteAvailable(DWORD* error)
{
    while (m_write.done < m_write.count) {
        ssize_t n = write(m_fd, m_write.buffer + m_write.done, m_write.count - m_write.done);
        if (n > 0) {
            m_write.done += static_cast<DWORD>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return true;
        const int err = n < 0 ? errno : 0;
        if (n < 0)
            zq::DebugFailure(zq::DebugArea::Serial, "write", m_device.c_str(), err);
        *error = (n < 0 && err != EIO) ? Win32ErrorFromErrno(err) : ERROR_DEVICE_NOT_CONNECTED;
        return false;
    }
    return true;
}

DWORD SerialPort::QueuedOutput()
{
    int queued = 0;
    if (ioctl(m_fd, TIOCOUTQ, &queued) != 0) {
        // A device that cannot tell counts as drained, as a pty always is.
        zq::DebugFailure(zq::DebugArea::Serial, "ioctl(TIOCOUTQ)", m_device.c_str(), errno);
        return 0;
    }
    return queued > 0 ? static_cast<DWORD>(queued) : 0;
}

bool SerialPort::WriteDrained(Clock::time_point now)
{
    if (m_write.done < m_write.count)
        return false;
    const DWORD queued = QueuedOutput();
    if (queued == 0)
        return true;
    // Look again about when the queue should be empty at the line's speed.
    const unsigned bits = 1u + m_dcb.ByteSize + (m_dcb.Parity != NOPARITY ? 1u : 0u) +
                          (m_dcb.StopBits == ONESTOPBIT ? 1u : 2u);
    const uint64_t rate = m_dcb.BaudRate != 0 ? m_dcb.BaudRate : CBR_9600;
    const uint64_t micros = static_cast<uint64_t>(queued) * bits * 1000000u / rate;
    m_write.drainCheck = now + std::chrono::microseconds(std::min<uint64_t>(std::max<uint64_t>(micros, 500), 50000));
    return false;
}

void SerialPort::DiscardQueuedOutput()
{
    const DWORD queued = QueuedOutput();
    if (queued == 0)
        return;
    if (tcflush(m_fd, TCOFLUSH) != 0) {
        zq::DebugFailure(zq::DebugArea::Serial, "tcflush", m_device.c_str(), errno);
        return;
    }
    m_write.done -= std::min(queued, m_write.done);
}

void SerialPort::EndWriteShort()
{
    DiscardQueuedOutput();
    Complete(m_write, 0);
}

short SerialPort::WantedEvents() const
{
    // The device is only polled while an operation waits on it: a line that
    // has gone reports POLLHUP on every poll. A write that waits for its
    // bytes to leave looks at the queue by time.
    const bool writing = m_write.active && m_write.done < m_write.count;
    return static_cast<short>((m_read.active ? POLLIN : 0) | (writing ? POLLOUT : 0));
}

Clock::time_point SerialPort::NextLook() const
{
    Clock::time_point until = Clock::time_point::max();
    if (m_read.active) {
        if (m_read.hasDeadline)
            until = std::min(until, m_read.deadline);
        if (m_read.done > 0 && m_timeouts.ReadIntervalTimeout != 0)
            until = std::min(until, m_read.lastByte + std::chrono::milliseconds(m_timeouts.ReadIntervalTimeout));
    }
    if (m_write.active && m_write.hasDeadline)
        until = std::min(until, m_write.deadline);
    if (m_write.active && m_write.done >= m_write.count)
        until = std::min(until, m_write.drainCheck);
    return until;
}

bool SerialPort::WaitForDevice(short wanted, Clock::time_point until, short* events)
{
    pollfd fds[2] = {{m_wakeFd, POLLIN, 0}, {wanted != 0 ? m_fd : -1, wanted, 0}};
    timespec timeout{};
    const bool hasTimeout = until != Clock::time_point::max();
    if (hasTimeout) {
        auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(until - Clock::now()).count();
        if (left < 0)
            left = 0;
        timeout.tv_sec = static_cast<time_t>(left / 1000000000);
        timeout.tv_nsec = static_cast<long>(left % 1000000000);
    }
    int ready = ppoll(fds, 2, hasTimeout ? &timeout : nullptr, nullptr);
    if (ready < 0 && errno != EINTR) {
        zq::DebugFailure(zq::DebugArea::Serial, "ppoll", m_device.c_str(), errno);
        return false;
    }
    if (fds[0].revents & POLLIN) {
        uint64_t count;
        ssize_t ignored = read(m_wakeFd, &count, sizeof count);
        (void)ignored;
    }
    *events = fds[1].fd >= 0 ? fds[1].revents : 0;
    return true;
}

void SerialPort::AdvanceRead(short events)
{
    bool alive = true;
    if (events & (POLLIN | POLLHUP | POLLERR))
        alive = ReadAvailable();
    const Clock::time_point now = Clock::now();
    if (!alive)
        Complete(m_read, m_read.done > 0 ? 0 : ERROR_DEVICE_NOT_CONNECTED);
    else if (m_read.done == m_read.count)
        Complete(m_read, 0);
    else if (m_read.done > 0 && m_timeouts.ReadIntervalTimeout != 0 &&
             now >= m_read.lastByte + std::chrono::milliseconds(m_timeouts.ReadIntervalTimeout))
        Complete(m_read, 0);
    else if (m_read.hasDeadline && now >= m_read.deadline)
        Complete(m_read, 0);  // a total time-out ends the read with what it has
}

void SerialPort::AdvanceWrite(short events)
{
    DWORD error = 0;
    bool alive = true;
    if (m_write.done < m_write.count && (events & (POLLOUT | POLLHUP | POLLERR)))
        alive = WriteAvailable(&error);
    const Clock::time_point now = Clock::now();
    if (!alive)
        Complete(m_write, error);
    else if (WriteDrained(now))
        Complete(m_write, 0);
    else if (m_write.hasDeadline && now >= m_write.deadline)
        EndWriteShort();
}

void SerialPort::Run()
{
    for (;;) {
        short wanted;
        Clock::time_point until;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_closing)
                return;
            wanted = WantedEvents();
            until = NextLook();
        }
        short events = 0;
        if (!WaitForDevice(wanted, until, &events))
            continue;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closing)
            return;
        if (m_read.active)
            AdvanceRead(events);
        if (m_write.active)
            AdvanceWrite(events);
    }
}

bool SerialPort::Begin(Operation& op, BYTE* buffer, DWORD count, LPOVERLAPPED ov)
{
    if (m_closing) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (op.active || (buffer == nullptr && count > 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (ov->hEvent)
        ResetEvent(ov->hEvent);
    StoreResult(ov, STATUS_PENDING, 0);

    op.active = true;
    op.buffer = buffer;
    op.count = count;
    op.done = 0;
    op.overlapped = ov;
    op.event = ov->hEvent;
    return true;
}

BOOL SerialPort::FailAtStart(Operation& op, LPOVERLAPPED ov, DWORD error)
{
    op = Operation();
    StoreResult(ov, StatusFromError(error), 0);
    SetLastError(error);
    return FALSE;
}

BOOL SerialPort::Pending()
{
    Wake();
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
}

BOOL SerialPort::Read(LPVOID buffer, DWORD count, LPDWORD bytesRead, LPOVERLAPPED ov)
{
    if (bytesRead)
        *bytesRead = 0;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!Begin(m_read, static_cast<BYTE*>(buffer), count, ov))
        return FALSE;
    const COMMTIMEOUTS& t = m_timeouts;
    const bool returnAtOnce = t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
                              t.ReadTotalTimeoutConstant == 0;
    const uint64_t total = static_cast<uint64_t>(t.ReadTotalTimeoutMultiplier) * count + t.ReadTotalTimeoutConstant;
    m_read.hasDeadline = total != 0 && t.ReadIntervalTimeout != MAXDWORD;
    m_read.deadline = Clock::now() + std::chrono::milliseconds(total);

    if (!ReadAvailable() && m_read.done == 0) {
        // The line has gone: the read fails at once and signals nothing.
        return FailAtStart(m_read, ov, ERROR_DEVICE_NOT_CONNECTED);
    }
    if (m_read.done == count || returnAtOnce) {
        DWORD done = m_read.done;
        Complete(m_read, 0);
        if (bytesRead)
            *bytesRead = done;
        return TRUE;
    }
    return Pending();
}

BOOL SerialPort::Write(LPCVOID buffer, DWORD count, LPDWORD bytesWritten, LPOVERLAPPED ov)
{
    if (bytesWritten)
        *bytesWritten = 0;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!Begin(m_write, static_cast<BYTE*>(const_cast<void*>(buffer)), count, ov))
        return FALSE;
    const uint64_t total = static_cast<uint64_t>(m_timeouts.WriteTotalTimeoutMultiplier) * count +
                           m_timeouts.WriteTotalTimeoutConstant;
    m_write.hasDeadline = total != 0;
    m_write.deadline = Clock::now() + std::chrono::milliseconds(total);

    DWORD error = 0;
    if (!WriteAvailable(&error) && m_write.done == 0)
        return FailAtStart(m_write, ov, error);
    m_write.drainCheck = Clock::now();
    if (WriteDrained(Clock::now())) {
        Complete(m_write, 0);
        if (bytesWritten)
            *bytesWritten = count;
        return TRUE;
    }
    return Pending();
}

BOOL SerialPort::Purge(DWORD flags)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closing) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if ((flags & PURGE_RXABORT) && m_read.active)
        Complete(m_read, ERROR_OPERATION_ABORTED);
    // A completed write has left the PC, as on Windows, so the output side
    // only ever discards bytes of the write in progress. tcflush on a pty
    // would also drop bytes of completed writes that the other side has not
    // read yet; the output queue of a pty always reads empty, so nothing is
    // flushed there.
    if ((flags & (PURGE_TXABORT | PURGE_TXCLEAR)) && m_write.active) {
        DiscardQueuedOutput();
        if (flags & PURGE_TXABORT)
            Complete(m_write, ERROR_OPERATION_ABORTED);
    }
    if ((flags & PURGE_RXCLEAR) && tcflush(m_fd, TCIFLUSH) != 0)
        zq::DebugFailure(zq::DebugArea::Serial, "tcflush", m_device.c_str(), errno);
    Wake();
    return TRUE;
}

BOOL SerialPort::GetState(LPDCB dcb)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    *dcb = m_dcb;
    dcb->DCBlength = sizeof(DCB);
    return TRUE;
}

BOOL SerialPort::SetState(const DCB& dcb)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    termios t{};
    if (tcgetattr(m_fd, &t) != 0) {
        const int err = errno;
        zq::DebugFailure(zq::DebugArea::Serial, "tcgetattr", m_device.c_str(), err);
        SetLastError(Win32ErrorFromErrno(err));
        return FALSE;
    }
    if (!TermiosFromDcb(dcb, &t)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (tcsetattr(m_fd, TCSANOW, &t) != 0) {
        const int err = errno;
        zq::DebugFailure(zq::DebugArea::Serial, "tcsetattr", m_device.c_str(), err);
        SetLastError(Win32ErrorFromErrno(err));
        return FALSE;
    }
    if (dcb.fDtrControl == DTR_CONTROL_DISABLE || dcb.fDtrControl == DTR_CONTROL_ENABLE)
        ModemLine(m_fd, m_device, TIOCM_DTR, dcb.fDtrControl == DTR_CONTROL_ENABLE);
    if (dcb.fRtsControl == RTS_CONTROL_DISABLE || dcb.fRtsControl == RTS_CONTROL_ENABLE)
        ModemLine(m_fd, m_device, TIOCM_RTS, dcb.fRtsControl == RTS_CONTROL_ENABLE);
    m_dcb = dcb;
    m_dcb.DCBlength = sizeof(DCB);
    return TRUE;
}

BOOL SerialPort::SetTimeouts(const COMMTIMEOUTS& timeouts)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (timeouts.ReadIntervalTimeout == MAXDWORD && timeouts.ReadTotalTimeoutConstant == MAXDWORD) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    m_timeouts = timeouts;
    return TRUE;
}

BOOL SerialPort::Escape(DWORD function)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto LineCall = [this](int status, const char* call) {
        if (status == 0 || IsMissingLineError(errno))
            return true;
        const int err = errno;
        zq::DebugFailure(zq::DebugArea::Serial, call, m_device.c_str(), err);
        errno = err;
        return false;
    };
    bool ok = true;
    switch (function) {
    case SETDTR:
        ok = ModemLine(m_fd, m_device, TIOCM_DTR, true);
        break;
    case CLRDTR:
        ok = ModemLine(m_fd, m_device, TIOCM_DTR, false);
        break;
    case SETRTS:
        ok = ModemLine(m_fd, m_device, TIOCM_RTS, true);
        break;
    case CLRRTS:
        ok = ModemLine(m_fd, m_device, TIOCM_RTS, false);
        break;
    case SETBREAK:
        ok = LineCall(ioctl(m_fd, TIOCSBRK), "ioctl(TIOCSBRK)");
        break;
    case CLRBREAK:
        ok = LineCall(ioctl(m_fd, TIOCCBRK), "ioctl(TIOCCBRK)");
        break;
    case SETXOFF:
        ok = LineCall(tcflow(m_fd, TCOOFF), "tcflow");
        break;
    case SETXON:
        ok = LineCall(tcflow(m_fd, TCOON), "tcflow");
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!ok) {
        SetLastError(Win32ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

std::shared_ptr<SerialPort> LookupPort(HANDLE h)
{
    return zq::LookupHandleOrFail<SerialPort>(h);
}

// A port call that takes the caller's structure: the handle is checked
// first, then the pointer.
template <class T, class Call>
BOOL CallWithPointer(HANDLE h, T* pointer, Call call)
{
    auto port = LookupPort(h);
    if (!port)
        return FALSE;
    if (!pointer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return call(*port, pointer);
}

// Synchronous I/O on a port: an overlapped operation that is waited for.
template <class Start>
BOOL WaitedIo(HANDLE h, LPDWORD transferred, Start start)
{
    OVERLAPPED ov{};
    if (start(&ov))
        return TRUE;
    if (GetLastError() != ERROR_IO_PENDING)
        return FALSE;
    return GetOverlappedResult(h, &ov, transferred, TRUE);
}

// The device as the user knows it: a per-user link with its target.
std::string DeviceText(const std::string& device, bool fromLink)
{
    if (!fromLink)
        return device;
    char target[PATH_MAX];
    const ssize_t n = readlink(device.c_str(), target, sizeof target - 1);
    if (n <= 0)
        return device;
    return device + " -> " + std::string(target, static_cast<size_t>(n));
}

bool InGroup(gid_t gid)
{
    if (getegid() == gid)
        return true;
    const int count = getgroups(0, nullptr);
    if (count <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    const int got = getgroups(count, groups.data());
    return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

// For a device that refuses this user: the group that may use it, which on
// Linux is how serial devices are given to users.
std::string GroupHint(const std::string& device)
{
    char resolved[PATH_MAX];
    const std::string path = realpath(device.c_str(), resolved) ? std::string(resolved) : device;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return std::string();
    std::string name = std::to_string(st.st_gid);
    group entry{};
    group* found = nullptr;
    std::vector<char> buffer(16384);
    if (getgrgid_r(st.st_gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr)
        name = found->gr_name;
    std::string hint = "; " + path + " belongs to group " + name;
    if (!InGroup(st.st_gid))
        hint += ", which this user is not in";
    return hint;
}

// Another program holds the port. An ordinary user meets the holder's
// exclusive mode at open() (EBUSY); root passes that and meets its lock. The
// user reads the same reason either way, whoever runs the program.
const char kInUse[] = "in use by another program";

// A COM port that does not open says why, whatever ZQDEBUG says: one line
// with the port, the device and the reason.
HANDLE OpenFailed(int number, const std::string& device, bool fromLink, const std::string& reason, DWORD error)
{
    if (device.empty())
        zq::ReportFailure(zq::DebugArea::Serial, "cannot open COM%d: %s", number, reason.c_str());
    else
        zq::ReportFailure(zq::DebugArea::Serial, "cannot open COM%d (%s): %s", number,
                          DeviceText(device, fromLink).c_str(), reason.c_str());
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

// What a COM port's opening has taken so far, for giving it back when a
// later step fails.
struct PortOpening {
    int number;
    std::string device;
    bool fromLink;
    int fd = -1;
    bool exclusive = false;  // TIOCEXCL was asked for
};

// A step of the opening failed: the failed call goes to the debug channel,
// the device is given back (its exclusive mode first), and the user reads
// why.
HANDLE GiveUpOpening(const PortOpening& opening, const char* call, const char* subject, int err,
                     const std::string& reason, DWORD error)
{
    zq::DebugFailure(zq::DebugArea::Serial, call, subject, err);
    if (opening.exclusive) {
        ReleaseExclusive(opening.fd);
        ioctl(opening.fd, TIOCNXCL);
    }
    if (opening.fd >= 0)
        close(opening.fd);
    return OpenFailed(opening.number, opening.device, opening.fromLink, reason, error);
}

// Why open() refused the device, in the user's words.
std::string OpenErrorReason(int err, const std::string& device)
{
    std::string reason = err == EBUSY ? kInUse : std::strerror(err);
    if (err == EACCES || err == EPERM)
        reason += GroupHint(device);
    return reason;
}

// The port object on the opened device, with its wake-up descriptor and
// its thread: the handle, or INVALID_HANDLE_VALUE with the device given back.
HANDLE StartPort(const PortOpening& opening)
{
    int wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0) {
        const int err = errno;
        return GiveUpOpening(opening, "eventfd", nullptr, err, std::strerror(err), Win32ErrorFromErrno(err));
    }
    auto port = std::make_shared<SerialPort>(opening.fd, wakeFd, opening.device);
    try {
        port->Start();
    } catch (const std::system_error& e) {
        port->OnCloseHandle();
        return OpenFailed(opening.number, opening.device, opening.fromLink,
                          std::string("no thread for the port: ") + e.what(), ERROR_NOT_ENOUGH_MEMORY);
    }
    return zq::RegisterHandle(port);
}

}  // namespace

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode, LPSECURITY_ATTRIBUTES,
                   DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE)
{
    // Files other than COM ports are not opened here.
    const int number = zq::ParseComPortName(lpFileName);
    if (number < 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    bool fromLink = false;
    const std::string device = zq::ComPortDevice(number, &fromLink);
    if (device.empty()) {
        return OpenFailed(number, device, false,
                          "no device; link " + zq::DosDevicesFolder() + "/com" + std::to_string(number) + " to one",
                          ERROR_FILE_NOT_FOUND);
    }
    // A COM port is opened for both directions, exclusively, as it exists.
    if (dwCreationDisposition != OPEN_EXISTING || dwShareMode != 0 ||
        (dwDesiredAccess & (GENERIC_READ | GENERIC_WRITE)) != (GENERIC_READ | GENERIC_WRITE)) {
        return OpenFailed(number, device, fromLink, "a COM port opens only for reading and writing, unshared",
                          ERROR_INVALID_PARAMETER);
    }
    (void)dwFlagsAndAttributes;  // the port object works overlapped either way

    PortOpening opening{number, device, fromLink};
    opening.fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (opening.fd < 0) {
        const int err = errno;
        // EIO: the driver has no hardware behind the node.
        return GiveUpOpening(opening, "open", device.c_str(), err, OpenErrorReason(err, device),
                             err == EBUSY ? ERROR_ACCESS_DENIED
                             : err == EIO ? ERROR_FILE_NOT_FOUND
                                          : Win32ErrorFromErrno(err));
    }
    termios t{};
    if (tcgetattr(opening.fd, &t) != 0) {
        const int err = errno;
        return GiveUpOpening(opening, "tcgetattr", device.c_str(), err,
                             std::string("not a serial device: ") + std::strerror(err), ERROR_FILE_NOT_FOUND);
    }
    if (flock(opening.fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        return GiveUpOpening(opening, "flock", device.c_str(), err, kInUse, ERROR_ACCESS_DENIED);
    }
    // Keeps out openers that do not use flock (root is not kept out).
    HoldExclusive(opening.fd);
    if (ioctl(opening.fd, TIOCEXCL) != 0)
        zq::DebugFailure(zq::DebugArea::Serial, "ioctl(TIOCEXCL)", device.c_str(), errno);
    opening.exclusive = true;

    return StartPort(opening);
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
              LPOVERLAPPED lpOverlapped)
{
    auto port = LookupPort(hFile);
    if (!port)
        return FALSE;
    if (lpOverlapped)
        return port->Read(lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead, lpOverlapped);
    return WaitedIo(hFile, lpNumberOfBytesRead, [&](LPOVERLAPPED ov) {
        return port->Read(lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead, ov);
    });
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
               LPOVERLAPPED lpOverlapped)
{
    auto port = LookupPort(hFile);
    if (!port)
        return FALSE;
    if (lpOverlapped)
        return port->Write(lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten, lpOverlapped);
    return WaitedIo(hFile, lpNumberOfBytesWritten, [&](LPOVERLAPPED ov) {
        return port->Write(lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten, ov);
    });
}

BOOL GetOverlappedResult(HANDLE, LPOVERLAPPED lpOverlapped, LPDWORD lpNumberOfBytesTransferred, BOOL bWait)
{
    if (!lpOverlapped) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ULONG_PTR status;
    DWORD bytes;
    {
        std::unique_lock<std::mutex> lock(zq::KernelLock());
        if (bWait) {
            // Closing the port completes every operation, so this ends.
            zq::KernelCondition().wait(lock, [&] { return lpOverlapped->Internal != STATUS_PENDING; });
        }
        status = lpOverlapped->Internal;
        bytes = static_cast<DWORD>(lpOverlapped->InternalHigh);
    }
    if (status == STATUS_PENDING) {
        SetLastError(ERROR_IO_INCOMPLETE);
        return FALSE;
    }
    if (lpNumberOfBytesTransferred)
        *lpNumberOfBytesTransferred = bytes;
    if (status != 0) {
        SetLastError(ErrorFromStatus(status));
        return FALSE;
    }
    return TRUE;
}

BOOL GetCommState(HANDLE hFile, LPDCB lpDCB)
{
    return CallWithPointer(hFile, lpDCB, [](SerialPort& port, LPDCB p) { return port.GetState(p); });
}

BOOL SetCommState(HANDLE hFile, LPDCB lpDCB)
{
    return CallWithPointer(hFile, lpDCB, [](SerialPort& port, LPDCB p) { return port.SetState(*p); });
}

BOOL SetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts)
{
    return CallWithPointer(hFile, lpCommTimeouts,
                           [](SerialPort& port, LPCOMMTIMEOUTS p) { return port.SetTimeouts(*p); });
}

BOOL SetupComm(HANDLE hFile, DWORD, DWORD)
{
    return LookupPort(hFile) ? TRUE : FALSE;
}

BOOL SetCommMask(HANDLE hFile, DWORD)
{
    return LookupPort(hFile) ? TRUE : FALSE;
}

BOOL PurgeComm(HANDLE hFile, DWORD dwFlags)
{
    auto port = LookupPort(hFile);
    return port ? port->Purge(dwFlags) : FALSE;
}

BOOL EscapeCommFunction(HANDLE hFile, DWORD dwFunc)
{
    auto port = LookupPort(hFile);
    return port ? port->Escape(dwFunc) : FALSE;
}
