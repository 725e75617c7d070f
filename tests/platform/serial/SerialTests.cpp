// COM ports on a real pseudo-terminal: the COM map, exclusive opening, termios
// settings, overlapped reads and writes, purge and close.
#include "platform/paths/UserFolders.h"
#include "platform/registry/Registry.h"
#include "platform/serial/Serial.h"
#include "platform/threads/Threads.h"
#include "tests/support/Pty.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

class SerialTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(0, system(("mkdir -p '" + zq::DosDevicesFolder() + "'").c_str()));
        ASSERT_FALSE(m_pty.Slave().empty());
    }
    void Link(int com, const std::string& target)
    {
        ASSERT_EQ(0, symlink(target.c_str(), (zq::DosDevicesFolder() + "/com" + std::to_string(com)).c_str()));
    }
    static HANDLE OpenCom(int com)
    {
        const std::string name = "\\\\.\\COM" + std::to_string(com);
        return CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    }
    // Opens the linked pty and prepares it as the car kit's line.
    HANDLE OpenLine()
    {
        Link(7, m_pty.Slave());
        HANDLE port = OpenCom(7);
        EXPECT_NE(INVALID_HANDLE_VALUE, port);
        SetCommMask(port, EV_RXCHAR | EV_TXEMPTY);
        SetupComm(port, 4096, 4096);
        PurgeComm(port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
        COMMTIMEOUTS timeouts{10, 0, 0, 0, 750};
        EXPECT_TRUE(SetCommTimeouts(port, &timeouts));
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        GetCommState(port, &dcb);
        dcb.BaudRate = CBR_115200;
        dcb.fBinary = TRUE;
        dcb.fParity = TRUE;
        dcb.fOutxCtsFlow = TRUE;
        dcb.fDtrControl = DTR_CONTROL_DISABLE;
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.XonChar = 0x11;
        dcb.XoffChar = 0x13;
        EXPECT_TRUE(SetCommState(port, &dcb));
        return port;
    }

    // A read on the line that waits for its first byte, as a session's
    // does: the port, the read's manual-reset event, its buffer and what it
    // got. The handles go with it; a test that checks the close itself
    // calls Close.
    struct PendingRead {
        HANDLE port = INVALID_HANDLE_VALUE;
        OVERLAPPED ov{};
        char buffer[2048];
        DWORD got = 0;

        PendingRead() { ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr); }
        ~PendingRead()
        {
            Close();
            CloseHandle(ov.hEvent);
        }
        PendingRead(const PendingRead&) = delete;
        PendingRead& operator=(const PendingRead&) = delete;
        BOOL Close()
        {
            const HANDLE open = port;
            port = INVALID_HANDLE_VALUE;
            return open != INVALID_HANDLE_VALUE && CloseHandle(open);
        }
    };

    // Opens the line and starts a read of the whole buffer on it while
    // nothing has come.
    void StartPendingRead(PendingRead& read)
    {
        read.port = OpenLine();
        ASSERT_NE(INVALID_HANDLE_VALUE, read.port);
        EXPECT_FALSE(ReadFile(read.port, read.buffer, sizeof read.buffer, &read.got, &read.ov));
        ASSERT_EQ(static_cast<DWORD>(ERROR_IO_PENDING), GetLastError());
    }

    zqtest::Pty m_pty;
    zqtest::ScopedXdgConfigHome m_xdg;
    const std::string m_home = m_xdg.Linux();
};

TEST_F(SerialTest, OpensThroughTheComMapExclusively)
{
    Link(7, m_pty.Slave());
    HANDLE port = OpenCom(7);
    ASSERT_NE(INVALID_HANDLE_VALUE, port);

    // A second opener fails as on Windows, also by the plain name.
    SetLastError(0);
    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenCom(7));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA("COM7", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                                FILE_FLAG_OVERLAPPED, nullptr));

    // The line of a pty has no modem lines: DTR requests still succeed.
    EXPECT_TRUE(EscapeCommFunction(port, SETDTR));
    EXPECT_TRUE(EscapeCommFunction(port, CLRDTR));

    ASSERT_TRUE(CloseHandle(port));
    // The close gives the port free again, to this and to other programs.
    HANDLE again = OpenCom(7);
    ASSERT_NE(INVALID_HANDLE_VALUE, again);
    EXPECT_TRUE(CloseHandle(again));
    int fd = open(m_pty.Slave().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(fd, 0) << "the tty was left in exclusive mode";
    if (fd >= 0)
        close(fd);
}

TEST_F(SerialTest, PortsThatDoNotExistFailToOpen)
{
    Link(8, m_home + "/no-such-device");
    Link(9, m_home);        // a folder, not a serial device
    Link(10, "/dev/null");  // a device, but no terminal
    const char* names[] = {"\\\\.\\COM8",   "\\\\.\\COM9", "\\\\.\\COM10", "\\\\.\\COM0",
                           "\\\\.\\COM200", "\\\\.\\COMX", "\\\\.\\LPT1",  "Z:\\file.txt"};
    for (const char* name : names) {
        SetLastError(0);
        EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                                    FILE_FLAG_OVERLAPPED, nullptr))
            << name;
        EXPECT_NE(0u, GetLastError()) << name;
    }
    EXPECT_FALSE(SetCommMask(INVALID_HANDLE_VALUE, EV_RXCHAR));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST_F(SerialTest, LineSettingsBecomeRawTermios)
{
    HANDLE port = OpenLine();
    ASSERT_NE(INVALID_HANDLE_VALUE, port);
    // The master side reads the line's settings: the slave is the port's
    // alone while it is open, to everyone but root.
    termios t{};
    ASSERT_EQ(0, tcgetattr(m_pty.Master(), &t));
    EXPECT_EQ(static_cast<speed_t>(B115200), cfgetospeed(&t));
    EXPECT_EQ(static_cast<tcflag_t>(CS8), t.c_cflag & CSIZE);
    EXPECT_FALSE(t.c_cflag & (PARENB | CSTOPB));
    EXPECT_TRUE(t.c_cflag & CRTSCTS);
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP));
    EXPECT_FALSE(t.c_lflag & (ECHO | ICANON | ISIG | IEXTEN));
    EXPECT_FALSE(t.c_oflag & OPOST);

    DCB dcb{};
    ASSERT_TRUE(GetCommState(port, &dcb));
    EXPECT_EQ(CBR_115200, dcb.BaudRate);
    EXPECT_EQ(8, dcb.ByteSize);
    EXPECT_EQ(NOPARITY, dcb.Parity);
    EXPECT_EQ(static_cast<DWORD>(RTS_CONTROL_HANDSHAKE), dcb.fRtsControl);
    EXPECT_EQ(0x13, dcb.XoffChar);
    // Each parity as the Linux line discipline knows it: odd sets PARODD,
    // mark and space are the sticky parities of CMSPAR. A pty keeps no
    // PARENB (its driver clears it on every change), so only those two bits
    // show here.
    const struct {
        BYTE parity;
        tcflag_t bits;
    } parities[] = {
        {NOPARITY, 0},
        {ODDPARITY, PARENB | PARODD},
        {EVENPARITY, PARENB},
        {MARKPARITY, PARENB | PARODD | CMSPAR},
        {SPACEPARITY, PARENB | CMSPAR},
    };
    for (const auto& p : parities) {
        dcb.Parity = p.parity;
        ASSERT_TRUE(SetCommState(port, &dcb));
        ASSERT_EQ(0, tcgetattr(m_pty.Master(), &t));
        EXPECT_EQ(p.bits & (PARODD | CMSPAR), t.c_cflag & (PARODD | CMSPAR)) << "parity " << int(p.parity);
    }
    dcb.Parity = NOPARITY;
    dcb.BaudRate = 12345;
    EXPECT_FALSE(SetCommState(port, &dcb));
    EXPECT_TRUE(CloseHandle(port));
}

TEST_F(SerialTest, WriteCompletesAtOnceOrLaterAndSignalsItsEvent)
{
    HANDLE port = OpenLine();
    ASSERT_NE(INVALID_HANDLE_VALUE, port);
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);

    DWORD written = 0;
    ASSERT_TRUE(WriteFile(port, "\x1c\x01\x00\x00\x1d", 5, &written, &ov));
    EXPECT_EQ(5u, written);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ov.hEvent, 0));
    EXPECT_EQ(std::string("\x1c\x01\x00\x00\x1d", 5), m_pty.Receive(5))
        << "what came on the line until it was quiet for 5 s";

    // More than the pty holds: the write stays pending until the far side
    // reads, then completes whole.
    COMMTIMEOUTS timeouts{10, 0, 0, 0, 0};
    ASSERT_TRUE(SetCommTimeouts(port, &timeouts));
    std::string big(1 << 20, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7 + i / 251);
    EXPECT_FALSE(WriteFile(port, big.data(), static_cast<DWORD>(big.size()), &written, &ov));
    ASSERT_EQ(static_cast<DWORD>(ERROR_IO_PENDING), GetLastError());
    EXPECT_FALSE(GetOverlappedResult(port, &ov, &written, FALSE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_IO_INCOMPLETE), GetLastError());
    // A second write while one is outstanding is refused.
    OVERLAPPED other{};
    EXPECT_FALSE(WriteFile(port, "x", 1, &written, &other));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());

    EXPECT_EQ(big, m_pty.Receive(big.size())) << "what came on the line until it was quiet for 5 s";
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ov.hEvent, 5000)) << "the write's completion within 5 s";
    ASSERT_TRUE(GetOverlappedResult(port, &ov, &written, FALSE));
    EXPECT_EQ(big.size(), written);

    EXPECT_TRUE(CloseHandle(port));
    CloseHandle(ov.hEvent);
}

TEST_F(SerialTest, ReadEndsAfterTheIntervalOrAtOnceWhenFull)
{
    // Nothing there: the read waits without limit for its first byte.
    PendingRead read;
    ASSERT_NO_FATAL_FAILURE(StartPendingRead(read));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(read.ov.hEvent, 50))
        << "the read ended within 50 ms with nothing on the line";
    EXPECT_FALSE(GetOverlappedResult(read.port, &read.ov, &read.got, FALSE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_IO_INCOMPLETE), GetLastError());

    // Fewer bytes than asked for: the read ends once the line goes quiet.
    ASSERT_TRUE(m_pty.Send("abcdef"));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(read.ov.hEvent, 5000)) << "the short read's end within 5 s";
    ASSERT_TRUE(GetOverlappedResult(read.port, &read.ov, &read.got, FALSE));
    ASSERT_EQ(6u, read.got);
    EXPECT_EQ("abcdef", std::string(read.buffer, read.got));
    // The manual-reset event stays signalled until the next read begins.
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(read.ov.hEvent, 0));

    // Enough bytes waiting: the read completes at once and signals too. The
    // first read may still find the bytes on their way; the second cannot.
    ASSERT_TRUE(m_pty.Send("0123456789"));
    if (!ReadFile(read.port, read.buffer, 4, &read.got, &read.ov)) {
        ASSERT_EQ(static_cast<DWORD>(ERROR_IO_PENDING), GetLastError());
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(read.ov.hEvent, 5000)) << "the full read's end within 5 s";
        ASSERT_TRUE(GetOverlappedResult(read.port, &read.ov, &read.got, FALSE));
    }
    EXPECT_EQ("0123", std::string(read.buffer, read.got));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(read.ov.hEvent, 0));
    ASSERT_TRUE(ReadFile(read.port, read.buffer, 4, &read.got, &read.ov));
    EXPECT_EQ("4567", std::string(read.buffer, read.got));

    EXPECT_TRUE(read.Close());
}

TEST_F(SerialTest, PendingReadFailsWhenTheOtherSideCloses)
{
    PendingRead read;
    ASSERT_NO_FATAL_FAILURE(StartPendingRead(read));

    m_pty.CloseMaster();
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(read.ov.hEvent, 5000)) << "the pending read's failure within 5 s";
    EXPECT_FALSE(GetOverlappedResult(read.port, &read.ov, &read.got, FALSE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED), GetLastError());
    EXPECT_EQ(0u, read.got);

    // Later reads and writes fail at once instead of waiting.
    EXPECT_FALSE(ReadFile(read.port, read.buffer, sizeof read.buffer, &read.got, &read.ov));
    EXPECT_NE(static_cast<DWORD>(ERROR_IO_PENDING), GetLastError());
    EXPECT_FALSE(WriteFile(read.port, "x", 1, &read.got, &read.ov));
    EXPECT_NE(static_cast<DWORD>(ERROR_IO_PENDING), GetLastError());
    EXPECT_TRUE(read.Close());
}

TEST_F(SerialTest, CloseAndPurgeAbortPendingOperations)
{
    HANDLE port = OpenLine();
    ASSERT_NE(INVALID_HANDLE_VALUE, port);
    COMMTIMEOUTS timeouts{10, 0, 0, 0, 0};
    ASSERT_TRUE(SetCommTimeouts(port, &timeouts));
    OVERLAPPED readOv{};
    readOv.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED writeOv{};
    writeOv.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    DWORD got = 0;

    std::vector<char> readBuffer(2048);
    EXPECT_FALSE(ReadFile(port, readBuffer.data(), 2048, &got, &readOv));
    ASSERT_TRUE(PurgeComm(port, PURGE_RXABORT | PURGE_RXCLEAR));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(readOv.hEvent, 5000)) << "the purged read's end within 5 s";
    EXPECT_FALSE(GetOverlappedResult(port, &readOv, &got, TRUE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_OPERATION_ABORTED), GetLastError());

    // The buffers of operations pending at the close are freed right after
    // it: the port must not touch them any more (the sanitizers watch).
    auto* readHeap = new std::vector<char>(2048);
    auto* writeHeap = new std::vector<char>(1 << 20, 'w');
    EXPECT_FALSE(ReadFile(port, readHeap->data(), 2048, &got, &readOv));
    EXPECT_FALSE(WriteFile(port, writeHeap->data(), static_cast<DWORD>(writeHeap->size()), &got, &writeOv));
    ASSERT_EQ(static_cast<DWORD>(ERROR_IO_PENDING), GetLastError());
    ASSERT_TRUE(CloseHandle(port));
    delete readHeap;
    delete writeHeap;
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(readOv.hEvent, 0));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(writeOv.hEvent, 0));
    EXPECT_FALSE(GetOverlappedResult(port, &writeOv, &got, FALSE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_OPERATION_ABORTED), GetLastError());
    EXPECT_FALSE(ReadFile(port, readBuffer.data(), 1, &got, &readOv));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    CloseHandle(readOv.hEvent);
    CloseHandle(writeOv.hEvent);
}

TEST_F(SerialTest, NeitherPurgeNorCloseDropsACompletedWrite)
{
    // Measured on a pty: tcflush right after a write loses bytes that the
    // other side has not read yet in about a third of the tries. A write
    // that has completed has left the PC, so the close of the line after a
    // session's last frame must keep every byte of it.
    Link(7, m_pty.Slave());
    std::string frame(60, '\0');
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<char>(0x1C + i * 13);
    for (int attempt = 0; attempt < 200; ++attempt) {
        SCOPED_TRACE(attempt);
        HANDLE port = OpenCom(7);
        ASSERT_NE(INVALID_HANDLE_VALUE, port);
        OVERLAPPED ov{};
        ov.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        DWORD written = 0;
        if (!WriteFile(port, frame.data(), static_cast<DWORD>(frame.size()), &written, &ov)) {
            ASSERT_EQ(static_cast<DWORD>(ERROR_IO_PENDING), GetLastError());
            ASSERT_TRUE(GetOverlappedResult(port, &ov, &written, TRUE));
        }
        ASSERT_EQ(frame.size(), written);
        ASSERT_TRUE(PurgeComm(port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR));
        ASSERT_TRUE(CloseHandle(port));
        CloseHandle(ov.hEvent);
        ASSERT_EQ(frame, m_pty.Receive(frame.size())) << "what came on the line until it was quiet for 5 s";
    }
}

// What a failed CreateFileA printed to stderr, run in this process.
std::string OpenFailureText(const char* name, DWORD* error)
{
    ::testing::internal::CaptureStderr();
    SetLastError(0);
    HANDLE port = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                              nullptr);
    *error = GetLastError();
    std::string text = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(INVALID_HANDLE_VALUE, port) << name;
    if (port != INVALID_HANDLE_VALUE)
        CloseHandle(port);
    return text;
}

size_t Lines(const std::string& text)
{
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST_F(SerialTest, APortThatDoesNotOpenSaysWhyOnOneLine)
{
    // Read once per process; the line is printed whatever it says.
    const zqtest::ScopedEnvironmentVariable zqdebug("ZQDEBUG", nullptr);
    const std::string dev = zq::DosDevicesFolder();
    Link(8, m_home + "/no-such-device");
    Link(10, "/dev/null");
    struct Case {
        const char* name;
        std::string expected;
        DWORD error;
    } cases[] = {
        {"\\\\.\\COM8",
         "zq:serial: cannot open COM8 (" + dev + "/com8 -> " + m_home + "/no-such-device): No such file or directory\n",
         ERROR_FILE_NOT_FOUND},
        {"\\\\.\\COM10",
         "zq:serial: cannot open COM10 (" + dev + "/com10 -> /dev/null): not a serial device: ", ERROR_FILE_NOT_FOUND},
        {"\\\\.\\COM200", "zq:serial: cannot open COM200: no device; link " + dev + "/com200 to one\n",
         ERROR_FILE_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DWORD error = 0;
        const std::string text = OpenFailureText(c.name, &error);
        EXPECT_EQ(0u, text.find(c.expected)) << text;
        EXPECT_EQ(1u, Lines(text)) << text;
        EXPECT_EQ(c.error, error);
    }

    // Held by another opener: the same reason whoever runs the program. A
    // port of the layer keeps an ordinary user out at open() and root at its
    // lock; a bare lock keeps out everyone at the lock.
    Link(7, m_pty.Slave());
    const std::string inUse = "zq:serial: cannot open COM7 (" + dev + "/com7 -> " + m_pty.Slave() +
                              "): in use by another program\n";
    for (const bool bareLock : {false, true}) {
        SCOPED_TRACE(bareLock ? "a lock on the device" : "a port of the layer");
        HANDLE held = INVALID_HANDLE_VALUE;
        int locked = -1;
        if (bareLock) {
            locked = open(m_pty.Slave().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            ASSERT_GE(locked, 0);
            ASSERT_EQ(0, flock(locked, LOCK_EX | LOCK_NB));
        } else {
            held = OpenCom(7);
            ASSERT_NE(INVALID_HANDLE_VALUE, held);
        }
        DWORD error = 0;
        EXPECT_EQ(inUse, OpenFailureText("\\\\.\\COM7", &error));
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), error);
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        if (locked >= 0)
            close(locked);
    }
    DWORD error = 0;

    // Not a COM port at all: nothing to say.
    EXPECT_EQ("", OpenFailureText("Z:\\file.txt", &error));
}

TEST_F(SerialTest, APortThatRefusesTheUserNamesTheGroupThatMayUseIt)
{
    // A pty slave belongs to its creator and the tty group, mode 0620: an
    // ordinary user outside the group gets EACCES, as with /dev/ttyUSB0
    // and the dialout group.
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to take another user's uid";
    Link(7, m_pty.Slave());
    ASSERT_EQ(0, chmod(m_home.c_str(), 0755));
    ASSERT_EQ(0, chmod(zq::UserConfigFolder().c_str(), 0755));
    ASSERT_EQ(0, chmod(zq::DosDevicesFolder().c_str(), 0755));
    struct stat st {};
    ASSERT_EQ(0, stat(m_pty.Slave().c_str(), &st));
    const group* owner = getgrgid(st.st_gid);
    ASSERT_NE(nullptr, owner);
    const std::string groupName = owner->gr_name;

    int out[2];
    ASSERT_EQ(0, pipe(out));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        dup2(out[1], 2);
        close(out[0]);
        if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
            _exit(3);
        HANDLE port = CreateFileA("\\\\.\\COM7", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr);
        fflush(stderr);
        _exit(port == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED ? 0 : 4);
    }
    close(out[1]);
    std::string text;
    char buffer[512];
    ssize_t n;
    while ((n = read(out[0], buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<size_t>(n));
    close(out[0]);
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status)) << text;
    EXPECT_EQ("zq:serial: cannot open COM7 (" + zq::DosDevicesFolder() + "/com7 -> " + m_pty.Slave() +
                  "): Permission denied; " + m_pty.Slave() + " belongs to group " + groupName +
                  ", which this user is not in\n",
              text);
}

// Exit codes of the child that opens a COM port in a /dev of its own.
enum MapChildExit { MAP_SENT = 0, MAP_NOT_OPENED = 1, MAP_NOTHING_ARRIVED = 2, MAP_NO_NAMESPACE = 3 };

bool WriteProcFile(const char* path, const std::string& text)
{
    int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    return written;
}

// In a forked child: gives the child a /dev of its own (a user and mount
// namespace with a tmpfs on /dev) that holds every name of the COM map's
// four families, index 0 to 32. The name `device` is the pty slave, the
// others plain files, which no COM port opens; with `device` empty every
// name is the pty. Then opens COM n and sends its name through it to the
// pty's master. Never returns.
[[noreturn]] void OpenComInADevOfItsOwn(int com, const std::string& device, const std::string& slave, int master)
{
    const std::string uid = std::to_string(geteuid()), gid = std::to_string(getegid());
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
        _exit(MAP_NO_NAMESPACE);
    WriteProcFile("/proc/self/setgroups", "deny");
    if (!WriteProcFile("/proc/self/uid_map", "0 " + uid + " 1") ||
        !WriteProcFile("/proc/self/gid_map", "0 " + gid + " 1") ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        _exit(MAP_NO_NAMESPACE);
    // Taken in the new namespace (a bind needs a source there) before the
    // tmpfs hides /dev/pts.
    const int slavePath = open(slave.c_str(), O_PATH | O_CLOEXEC);
    if (slavePath < 0 || mount("zqdev", "/dev", "tmpfs", 0, "mode=755") != 0)
        _exit(MAP_NO_NAMESPACE);
    const std::string slaveLink = "/proc/self/fd/" + std::to_string(slavePath);
    for (const char* family : {"/dev/ttyS", "/dev/ttyUSB", "/dev/ttyACM", "/dev/rfcomm"}) {
        for (int index = 0; index <= 32; ++index) {
            const std::string path = family + std::to_string(index);
            int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0666);
            if (fd < 0)
                _exit(MAP_NO_NAMESPACE);
            close(fd);
            if ((device.empty() || path == device) &&
                mount(slaveLink.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) != 0)
                _exit(MAP_NO_NAMESPACE);
        }
    }
    const std::string name = "\\\\.\\COM" + std::to_string(com);
    HANDLE port = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE)
        _exit(MAP_NOT_OPENED);
    const std::string sent = "COM" + std::to_string(com);
    DWORD written = 0;
    WriteFile(port, sent.data(), static_cast<DWORD>(sent.size()), &written, nullptr);
    std::string got;
    while (got.size() < sent.size()) {
        pollfd p{master, POLLIN, 0};
        char buffer[64];
        if (poll(&p, 1, 5000) <= 0)
            break;
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        got.append(buffer, static_cast<size_t>(n));
    }
    CloseHandle(port);
    _exit(got == sent ? MAP_SENT : MAP_NOTHING_ARRIVED);
}

TEST_F(SerialTest, WithoutALinkEachComNumberOpensTheDeviceOfTheFixedMap)
{
    // The map as the README gives it to the user: COM1-32 /dev/ttyS0-31,
    // COM33-64 /dev/ttyUSB0-31, COM65-96 /dev/ttyACM0-31, COM97-128
    // /dev/rfcomm0-31, and no device beyond. What the port opens is seen by
    // what it sends arriving at the device of that name.
    const struct {
        int com;
        const char* device;  // "" for none
    } cases[] = {
        {1, "/dev/ttyS0"},
        {32, "/dev/ttyS31"},
        {33, "/dev/ttyUSB0"},
        {64, "/dev/ttyUSB31"},
        {65, "/dev/ttyACM0"},
        {96, "/dev/ttyACM31"},
        {97, "/dev/rfcomm0"},
        {128, "/dev/rfcomm31"},
        {129, ""},
        {0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("COM" + std::to_string(c.com));
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0)
            OpenComInADevOfItsOwn(c.com, c.device, m_pty.Slave(), m_pty.Master());
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        ASSERT_TRUE(WIFEXITED(status));
        if (WEXITSTATUS(status) == MAP_NO_NAMESPACE)
            GTEST_SKIP() << "needs a user and mount namespace of its own for a /dev of its own";
        if (*c.device != '\0')
            EXPECT_EQ(MAP_SENT, WEXITSTATUS(status)) << "COM" << c.com << " did not reach " << c.device;
        else
            EXPECT_EQ(MAP_NOT_OPENED, WEXITSTATUS(status)) << "COM" << c.com << " opened a device of the map";
    }
}

TEST_F(SerialTest, SerialCommListsTheLinkedPorts)
{
    Link(7, m_pty.Slave());
    Link(8, m_home + "/no-such-device");
    Link(10, "/dev/null");
    // As the program does at start-up.
    zq::InstallSerialCommProvider();
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key));
    char resolved[PATH_MAX];
    ASSERT_NE(nullptr, realpath(m_pty.Slave().c_str(), resolved));
    std::vector<std::pair<std::string, std::string>> listed;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameLength = sizeof name;
        BYTE data[64];
        DWORD dataLength = sizeof data;
        DWORD type = 0;
        if (RegEnumValueA(key, i, name, &nameLength, nullptr, &type, data, &dataLength) != ERROR_SUCCESS)
            break;
        EXPECT_EQ(REG_SZ, type);
        listed.emplace_back(name, reinterpret_cast<const char*>(data));
    }
    RegCloseKey(key);
    bool found = false;
    for (const auto& entry : listed) {
        EXPECT_NE("COM8", entry.second);
        EXPECT_NE("COM10", entry.second);
        if (entry.second == "COM7") {
            EXPECT_EQ(resolved, entry.first);
            found = true;
        }
    }
    // The listed port is the one that opens.
    HANDLE port = OpenCom(7);
    EXPECT_NE(INVALID_HANDLE_VALUE, port);
    if (port != INVALID_HANDLE_VALUE)
        CloseHandle(port);
    EXPECT_TRUE(found);
}

}  // namespace
