#include "platform/serial/Serial.h"

#include "platform/paths/UserFolders.h"
#include "platform/registry/Registry.h"
#include "platform/threads/Threads.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// OVERLAPPED::Internal holds 0 for success, STATUS_PENDING while the
// operation runs, and this tag with the Win32 error code for a failure.
const ULONG_PTR kErrorStatusTag = 0xC0000000u;

ULONG_PTR StatusFromError(DWORD error) { return error == 0 ? 0 : (kErrorStatusTag | error); }

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
    BOOL GetTimeouts(LPCOMMTIMEOUTS timeouts);
    BOOL SetTimeouts(const COMMTIMEOUTS& timeouts);
    BOOL SetMask(DWORD mask);
    BOOL GetMask(LPDWORD mask);
    BOOL Escape(DWORD function);
    void Start() { m_worker = std::thread(&SerialPort::Run, this); }

private:
    // Both called with m_mutex held.
    void Complete(Operation& op, DWORD error);
    void Wake();
    void Run();
    bool ReadAvailable(); // with m_mutex held; false when the line is gone
    bool WriteAvailable(DWORD* error);
    bool LineGone();
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
    DWORD m_mask = 0;
    Operation m_read;
    Operation m_write;
};

struct SpeedEntry {
    DWORD rate;
    speed_t code;
};

const SpeedEntry kSpeeds[] = {
    {110, B110},       {300, B300},         {600, B600},         {1200, B1200},
    {2400, B2400},     {4800, B4800},       {9600, B9600},       {19200, B19200},
    {38400, B38400},   {57600, B57600},     {115200, B115200},   {230400, B230400},
    {460800, B460800}, {500000, B500000},   {576000, B576000},   {921600, B921600},
    {1000000, B1000000}, {1500000, B1500000}, {2000000, B2000000},
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
bool IsMissingLineError(int err) { return err == ENOTTY || err == EINVAL || err == ENOSYS || err == EOPNOTSUPP; }

bool ModemLine(int fd, int line, bool on)
{
    if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0)
        return true;
    return IsMissingLineError(errno);
}

SerialPort::SerialPort(int fd, int wakeFd, std::string device)
    : m_fd(fd), m_wakeFd(wakeFd), m_device(std::move(device))
{
    // The DCB starts as the device's current settings.
    termios t{};
    tcgetattr(m_fd, &t);
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
    case CS5: m_dcb.ByteSize = 5; break;
    case CS6: m_dcb.ByteSize = 6; break;
    case CS7: m_dcb.ByteSize = 7; break;
    default: m_dcb.ByteSize = 8; break;
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
        if (m_write.active)
            Complete(m_write, ERROR_OPERATION_ABORTED);
        Wake();
    }
    if (m_worker.joinable())
        m_worker.join();
    // The exclusive mode of a tty outlives its last close, so it is cleared
    // before the descriptor goes; the lock goes with the descriptor.
    ioctl(m_fd, TIOCNXCL);
    flock(m_fd, LOCK_UN);
    close(m_fd);
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
        *error = (n < 0 && errno != EIO) ? Win32ErrorFromErrno(errno) : ERROR_DEVICE_NOT_CONNECTED;
        return false;
    }
    return true;
}

void SerialPort::Run()
{
    for (;;) {
        pollfd fds[2] = {{m_wakeFd, POLLIN, 0}, {-1, 0, 0}};
        timespec timeout{};
        bool hasTimeout = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_closing)
                return;
            // The device is only polled while an operation waits on it: a
            // line that has gone reports POLLHUP on every poll.
            if (m_read.active || m_write.active) {
                fds[1].fd = m_fd;
                fds[1].events = static_cast<short>((m_read.active ? POLLIN : 0) | (m_write.active ? POLLOUT : 0));
            }
            Clock::time_point until = Clock::time_point::max();
            if (m_read.active) {
                if (m_read.hasDeadline)
                    until = std::min(until, m_read.deadline);
                if (m_read.done > 0 && m_timeouts.ReadIntervalTimeout != 0)
                    until = std::min(until, m_read.lastByte + std::chrono::milliseconds(m_timeouts.ReadIntervalTimeout));
            }
            if (m_write.active && m_write.hasDeadline)
                until = std::min(until, m_write.deadline);
            if (until != Clock::time_point::max()) {
                auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(until - Clock::now()).count();
                if (left < 0)
                    left = 0;
                timeout.tv_sec = static_cast<time_t>(left / 1000000000);
                timeout.tv_nsec = static_cast<long>(left % 1000000000);
                hasTimeout = true;
            }
        }

        int ready = ppoll(fds, 2, hasTimeout ? &timeout : nullptr, nullptr);
        if (ready < 0 && errno != EINTR)
            continue;
        if (fds[0].revents & POLLIN) {
            uint64_t count;
            ssize_t ignored = read(m_wakeFd, &count, sizeof count);
            (void)ignored;
        }

        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closing)
            return;
        const short events = fds[1].fd >= 0 ? fds[1].revents : 0;
        if (m_read.active) {
            bool alive = true;
            if (events & (POLLIN | POLLHUP | POLLERR))
                alive = ReadAvailable();
            const Clock::time_point now = Clock::now();
            if (!alive)
                Complete(m_read, m_read.done > 0 ? 0 : ERROR_DEVICE_NOT_CONNECTED);
            else if (m_read.done == m_read.count)
                Complete(m_read, 0);
            else if (m_read.done > 0 && m_timeouts.ReadIntervalTimeout != 0
                     && now >= m_read.lastByte + std::chrono::milliseconds(m_timeouts.ReadIntervalTimeout))
                Complete(m_read, 0);
            else if (m_read.hasDeadline && now >= m_read.deadline)
                Complete(m_read, 0); // a total time-out ends the read with what it has
        }
        if (m_write.active) {
            DWORD error = 0;
            bool alive = true;
            if (events & (POLLOUT | POLLHUP | POLLERR))
                alive = WriteAvailable(&error);
            if (!alive)
                Complete(m_write, error);
            else if (m_write.done == m_write.count)
                Complete(m_write, 0);
            else if (m_write.hasDeadline && Clock::now() >= m_write.deadline)
                Complete(m_write, 0); // as a serial driver: the write ends short
        }
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
    const bool returnAtOnce = t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0
        && t.ReadTotalTimeoutConstant == 0;
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
    const uint64_t total =
        static_cast<uint64_t>(m_timeouts.WriteTotalTimeoutMultiplier) * count + m_timeouts.WriteTotalTimeoutConstant;
    m_write.hasDeadline = total != 0;
    m_write.deadline = Clock::now() + std::chrono::milliseconds(total);

    DWORD error = 0;
    if (!WriteAvailable(&error) && m_write.done == 0)
        return FailAtStart(m_write, ov, error);
    if (m_write.done == count) {
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
    if ((flags & PURGE_TXABORT) && m_write.active)
        Complete(m_write, ERROR_OPERATION_ABORTED);
    if (flags & (PURGE_RXCLEAR | PURGE_TXCLEAR)) {
        int queue = (flags & PURGE_RXCLEAR) && (flags & PURGE_TXCLEAR) ? TCIOFLUSH
            : (flags & PURGE_RXCLEAR)                                   ? TCIFLUSH
                                                                        : TCOFLUSH;
        tcflush(m_fd, queue);
    }
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
        SetLastError(Win32ErrorFromErrno(errno));
        return FALSE;
    }
    cfmakeraw(&t);
    // HUPCL: the modem lines drop when the port is closed, as on Windows.
    t.c_cflag |= CREAD | CLOCAL | HUPCL;
    t.c_cflag &= ~(CRTSCTS | CSTOPB | PARENB | PARODD | CMSPAR | CSIZE);
    t.c_iflag &= ~(INPCK | IXON | IXOFF | IXANY);
    speed_t speed;
    if (!SpeedCode(dcb.BaudRate, &speed)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    switch (dcb.ByteSize) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    case 8: t.c_cflag |= CS8; break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return FALSE;
    }
    switch (dcb.Parity) {
    case NOPARITY: break;
    case ODDPARITY: t.c_cflag |= PARENB | PARODD; break;
    case EVENPARITY: t.c_cflag |= PARENB; break;
    case MARKPARITY: t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case SPACEPARITY: t.c_cflag |= PARENB | CMSPAR; break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return FALSE;
    }
    if (dcb.Parity != NOPARITY && dcb.fParity)
        t.c_iflag |= INPCK;
    switch (dcb.StopBits) {
    case ONESTOPBIT: break;
    case ONE5STOPBITS: // Linux UARTs send 1.5 stop bits for "two" at 5 data bits
    case TWOSTOPBITS: t.c_cflag |= CSTOPB; break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return FALSE;
    }
    if (dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE)
        t.c_cflag |= CRTSCTS;
    if (dcb.fOutX || dcb.fInX) {
        if (dcb.XonChar == dcb.XoffChar) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        if (dcb.fOutX)
            t.c_iflag |= IXON;
        if (dcb.fInX)
            t.c_iflag |= IXOFF;
    }
    t.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (tcsetattr(m_fd, TCSANOW, &t) != 0) {
        SetLastError(Win32ErrorFromErrno(errno));
        return FALSE;
    }
    if (dcb.fDtrControl == DTR_CONTROL_DISABLE || dcb.fDtrControl == DTR_CONTROL_ENABLE)
        ModemLine(m_fd, TIOCM_DTR, dcb.fDtrControl == DTR_CONTROL_ENABLE);
    if (dcb.fRtsControl == RTS_CONTROL_DISABLE || dcb.fRtsControl == RTS_CONTROL_ENABLE)
        ModemLine(m_fd, TIOCM_RTS, dcb.fRtsControl == RTS_CONTROL_ENABLE);
    m_dcb = dcb;
    m_dcb.DCBlength = sizeof(DCB);
    return TRUE;
}

BOOL SerialPort::GetTimeouts(LPCOMMTIMEOUTS timeouts)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    *timeouts = m_timeouts;
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

BOOL SerialPort::SetMask(DWORD mask)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_mask = mask;
    return TRUE;
}

BOOL SerialPort::GetMask(LPDWORD mask)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    *mask = m_mask;
    return TRUE;
}

BOOL SerialPort::Escape(DWORD function)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    bool ok = true;
    switch (function) {
    case SETDTR: ok = ModemLine(m_fd, TIOCM_DTR, true); break;
    case CLRDTR: ok = ModemLine(m_fd, TIOCM_DTR, false); break;
    case SETRTS: ok = ModemLine(m_fd, TIOCM_RTS, true); break;
    case CLRRTS: ok = ModemLine(m_fd, TIOCM_RTS, false); break;
    case SETBREAK: ok = ioctl(m_fd, TIOCSBRK) == 0 || IsMissingLineError(errno); break;
    case CLRBREAK: ok = ioctl(m_fd, TIOCCBRK) == 0 || IsMissingLineError(errno); break;
    case SETXOFF: ok = tcflow(m_fd, TCOOFF) == 0 || IsMissingLineError(errno); break;
    case SETXON: ok = tcflow(m_fd, TCOON) == 0 || IsMissingLineError(errno); break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return FALSE;
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

// The port number of "\\.\COMn" or "COMn" (letters in any case), or -1.
int ParsePortName(const char* name)
{
    if (std::strncmp(name, "\\\\.\\", 4) == 0)
        name += 4;
    if (strncasecmp(name, "COM", 3) != 0)
        return -1;
    name += 3;
    if (*name < '0' || *name > '9')
        return -1;
    long number = 0;
    for (; *name >= '0' && *name <= '9'; ++name) {
        number = number * 10 + (*name - '0');
        if (number > 255)
            return -1;
    }
    return *name == '\0' ? static_cast<int>(number) : -1;
}

// Whether a path names a terminal device, found without opening it (an open
// raises DTR on real hardware): a pseudo-terminal slave (majors 136-143), or
// a character device that sysfs files under the tty class.
bool IsTtyDevice(const std::string& path)
{
    struct stat st{};
    if (stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    const unsigned major = ::major(st.st_rdev), minor = ::minor(st.st_rdev);
    if (major >= 136 && major <= 143)
        return true;
    char link[PATH_MAX];
    const std::string sys = "/sys/dev/char/" + std::to_string(major) + ":" + std::to_string(minor) + "/subsystem";
    ssize_t n = readlink(sys.c_str(), link, sizeof link - 1);
    if (n < 0)
        return errno == ENOENT && access("/sys/dev/char", F_OK) != 0; // no sysfs: take it as it is
    const std::string subsystem(link, static_cast<size_t>(n));
    return subsystem.size() >= 4 && subsystem.compare(subsystem.size() - 4, 4, "/tty") == 0;
}

// Whether a default device answers as a serial port. The 8250 driver creates
// /dev/ttyS0-31 whether or not a UART is behind them and reports "type" 0
// for none.
bool DefaultDeviceAnswers(const std::string& device)
{
    if (!IsTtyDevice(device))
        return false;
    const std::string base = device.substr(device.rfind('/') + 1);
    if (base.compare(0, 4, "ttyS") != 0)
        return true;
    int fd = open(("/sys/class/tty/" + base + "/type").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return true;
    char text[16] = {};
    ssize_t n = read(fd, text, sizeof text - 1);
    close(fd);
    return n > 0 && std::atoi(text) != 0;
}

std::string DefaultDevice(int portNumber)
{
    static const char* const kFamilies[] = {"/dev/ttyS", "/dev/ttyUSB", "/dev/ttyACM", "/dev/rfcomm"};
    if (portNumber < 1 || portNumber > 128)
        return std::string();
    return kFamilies[(portNumber - 1) / 32] + std::to_string((portNumber - 1) % 32);
}

std::string LinkPath(int portNumber) { return zq::DosDevicesFolder() + "/com" + std::to_string(portNumber); }

} // namespace

zq::SerialCommList zq::ListSerialPorts()
{
    zq::SerialCommList list;
    auto named = [&list](const std::string& device) {
        for (const auto& entry : list) {
            if (entry.first == device)
                return true;
        }
        return false;
    };
    for (int n = 1; n <= 255; ++n) {
        bool fromLink = false;
        std::string device = zq::ComPortDevice(n, &fromLink);
        if (device.empty())
            continue;
        if (fromLink) {
            char resolved[PATH_MAX];
            if (realpath(device.c_str(), resolved) == nullptr || !IsTtyDevice(resolved))
                continue;
            device = resolved;
        } else if (!DefaultDeviceAnswers(device)) {
            continue;
        }
        // Value names are unique: a device that two ports name is listed once.
        if (!named(device))
            list.emplace_back(device, "COM" + std::to_string(n));
    }
    return list;
}

namespace {

struct ProviderInstaller {
    ProviderInstaller() { zq::SetSerialCommProvider(zq::ListSerialPorts); }
} g_providerInstaller;

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

} // namespace

namespace zq {

std::string DosDevicesFolder() { return UserConfigFolder() + "/dosdevices"; }

std::string ComPortDevice(int portNumber, bool* fromLink)
{
    if (fromLink)
        *fromLink = false;
    if (portNumber < 1 || portNumber > 255)
        return std::string();
    const std::string link = LinkPath(portNumber);
    struct stat st{};
    if (lstat(link.c_str(), &st) == 0) {
        if (fromLink)
            *fromLink = true;
        return link;
    }
    return DefaultDevice(portNumber);
}

} // namespace zq

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode, LPSECURITY_ATTRIBUTES,
                   DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE)
{
    const int number = lpFileName ? ParsePortName(lpFileName) : -1;
    const std::string device = number > 0 ? zq::ComPortDevice(number) : std::string();
    if (device.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    // A COM port is opened for both directions, exclusively, as it exists.
    if (dwCreationDisposition != OPEN_EXISTING || dwShareMode != 0
        || (dwDesiredAccess & (GENERIC_READ | GENERIC_WRITE)) != (GENERIC_READ | GENERIC_WRITE)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    (void)dwFlagsAndAttributes; // the port object works overlapped either way

    int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        // EBUSY: another program holds the tty in exclusive mode. EIO: the
        // driver has no hardware behind the node.
        SetLastError(err == EBUSY ? ERROR_ACCESS_DENIED
                     : err == EIO ? ERROR_FILE_NOT_FOUND
                                  : Win32ErrorFromErrno(err));
        return INVALID_HANDLE_VALUE;
    }
    termios t{};
    if (tcgetattr(fd, &t) != 0) {
        // Not a serial device.
        close(fd);
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    // Keeps out openers that do not use flock (root is not kept out).
    ioctl(fd, TIOCEXCL);

    int wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0) {
        const int err = errno;
        ioctl(fd, TIOCNXCL);
        close(fd);
        SetLastError(Win32ErrorFromErrno(err));
        return INVALID_HANDLE_VALUE;
    }
    auto port = std::make_shared<SerialPort>(fd, wakeFd, device);
    try {
        port->Start();
    } catch (const std::system_error&) {
        port->OnCloseHandle();
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    return zq::RegisterHandle(port);
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

BOOL CancelIo(HANDLE hFile)
{
    auto port = LookupPort(hFile);
    return port ? port->Purge(PURGE_RXABORT | PURGE_TXABORT) : FALSE;
}

BOOL GetCommState(HANDLE hFile, LPDCB lpDCB)
{
    return CallWithPointer(hFile, lpDCB, [](SerialPort& port, LPDCB p) { return port.GetState(p); });
}

BOOL SetCommState(HANDLE hFile, LPDCB lpDCB)
{
    return CallWithPointer(hFile, lpDCB, [](SerialPort& port, LPDCB p) { return port.SetState(*p); });
}

BOOL GetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts)
{
    return CallWithPointer(hFile, lpCommTimeouts, [](SerialPort& port, LPCOMMTIMEOUTS p) { return port.GetTimeouts(p); });
}

BOOL SetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts)
{
    return CallWithPointer(hFile, lpCommTimeouts, [](SerialPort& port, LPCOMMTIMEOUTS p) { return port.SetTimeouts(*p); });
}

BOOL SetupComm(HANDLE hFile, DWORD, DWORD)
{
    return LookupPort(hFile) ? TRUE : FALSE;
}

BOOL SetCommMask(HANDLE hFile, DWORD dwEvtMask)
{
    auto port = LookupPort(hFile);
    return port ? port->SetMask(dwEvtMask) : FALSE;
}

BOOL GetCommMask(HANDLE hFile, LPDWORD lpEvtMask)
{
    return CallWithPointer(hFile, lpEvtMask, [](SerialPort& port, LPDWORD p) { return port.GetMask(p); });
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
