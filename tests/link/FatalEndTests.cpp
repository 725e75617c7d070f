// A program ended while it unpacks or sends, by every end that can come to
// it: a kill it cannot catch (SIGKILL, what the out-of-memory killer or a
// crash does), the signals it catches, its X server going away (a logout),
// an abort, an uncaught exception, ExitProcess. Nothing it started lives on
// afterwards, nothing more is written into its Repository, and the port it
// held is no longer exclusive, so the next start opens it as any user.
//
// The program is this test program started again, which runs only
// FatalEndProgram.RunsUntilEnded, under a process group of its own.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/link/RecordingProtocol.h"
#include "UpdateTestSupport.h"
#include "container/UpdateResult.h"
#include "link/FrameLayer.h"
#include "link/UPDATEManager.h"
#include "platform/base/FatalEnd.h"
#include "platform/paths/DrivePaths.h"
#include "platform/process/Process.h"
#include "platform/window/NativeBackend.h"
#include "platform/window/WinUser.h"
#include "tests/support/CarKitSimulator.h"
#include "tests/support/Processes.h"
#include "tests/support/StandInUnpacker.h"
#include "tests/support/TempFolder.h"
#include "tests/support/Xvfb.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const int COM = 204;
// What every end must give: the program's processes are gone within
// a second of it.
const auto GONE_BOUND = milliseconds(1000);

std::string Env(const char* name)
{
    const char* value = getenv(name);
    return value ? value : "";
}

bool WaitUntil(const std::function<bool()>& done, int ms)
{
    const auto until = Clock::now() + milliseconds(ms);
    while (!done()) {
        if (Clock::now() > until)
            return false;
        std::this_thread::sleep_for(milliseconds(10));
    }
    return true;
}

// How the program ends, when it ends itself once it is busy and the test
// has looked at it (the file "end").
[[noreturn]] void EndAsTold(const std::string& how, const std::string& root)
{
    if (!how.empty() && !WaitUntil([&] { return access((root + "/end").c_str(), F_OK) == 0; }, 30000))
        _exit(6);
    if (how == "ExitProcess")
        ExitProcess(3);
    if (how == "abort")
        abort();
    if (how == "throw")
        std::thread([] { throw std::runtime_error("nobody catches this"); }).join();
    // Else it waits for its end, the window system running.
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    _exit(5);
}

}  // namespace

// The program: unpacks with the stand-in unpacker, or sends to the car-kit
// simulator, says so in the file "busy", and waits for its end.
TEST(FatalEndProgram, RunsUntilEnded)
{
    const std::string mode = Env("ZQ_FATAL_END_MODE");
    if (mode.empty())
        GTEST_SKIP() << "the program that the other FatalEnd tests start";
    const std::string root = Env("ZQ_FATAL_END_ROOT");
    const struct rlimit noCore = {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    zq::RunFatalEndActionsOnSignals();
    if (!Env("DISPLAY").empty()) {
        int argc = 1;
        char name[] = "program";
        char* args[] = {name, nullptr};
        char** argv = args;
        ASSERT_TRUE(zq::win::UseNativeBackend(&argc, &argv));
    }
    zqtest::RecordingProtocol protocol;
    if (mode == "unpack") {
        ASSERT_EQ(UPDATE_RESULT_SUCCESS, protocol.StartUnzip(zq::LinuxToWindows(root + "/bin").c_str(),
                                                             zq::LinuxToWindows(root + "/Repository").c_str(),
                                                             zq::LinuxToWindows(root + "/in/c.zip").c_str()));
        ASSERT_TRUE(WaitUntil([&] { return access((root + "/Repository/f0").c_str(), F_OK) == 0; }, 10000))
            << "the unpacker's first file within 10 s";
    } else {
        // The simulator's COM map, as the test has it.
        setenv("XDG_CONFIG_HOME", Env("ZQ_FATAL_END_CONFIG").c_str(), 1);
        zqtest::SetUpModelToSend("a.bin");
        UPDATEManager::m_CancelRequested = 0;
        ASSERT_EQ(OpenSerialPort(COM), 1);
        protocol.SetRepositoryFolder(zq::LinuxToWindows(root + "/send").c_str());
        protocol.SetLastFileName("update.xml");
        ASSERT_EQ(protocol.StartUpdate(), 0);
        ASSERT_TRUE(WaitUntil([&] { return protocol.TotalProgress().size() > 2; }, 10000))
            << "the transfer's progress within 10 s";
    }
    std::ofstream(root + "/busy") << "busy\n";
    EndAsTold(Env("ZQ_FATAL_END_SELF"), root);
}

namespace {

struct Ending {
    const char* name;
    int signalNumber;  // sent to the program; 0 when it ends otherwise
    const char* self;  // how it ends itself: "ExitProcess", "abort", "throw"
    bool display;      // its X server is ended
};

void PrintTo(const Ending& e, std::ostream* out)
{
    *out << e.name;
}

// How each end shows in the program's wait status.
bool EndedAsExpected(const Ending& e, int status)
{
    // A sanitizer's handler, which has its turn after the program's, ends a
    // fault with its report, by an exit code of its own or an abort.
    if (e.signalNumber == SIGSEGV && WIFEXITED(status))
        return WEXITSTATUS(status) != 0;
    if (e.signalNumber == SIGSEGV && WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT)
        return true;
    if (e.signalNumber != 0)
        return WIFSIGNALED(status) && WTERMSIG(status) == e.signalNumber;
    if (e.display)
        return WIFEXITED(status) && WEXITSTATUS(status) == 1;  // as GDK ends it
    if (std::string(e.self) == "ExitProcess")
        return WIFEXITED(status) && WEXITSTATUS(status) == 3;
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT;
}

class FatalEnd : public ::testing::TestWithParam<Ending> {
protected:
    void TearDown() override
    {
        if (m_program > 0) {
            kill(-m_program, SIGKILL);
            int status = 0;
            waitpid(m_program, &status, 0);
        }
        for (pid_t pid : zqtest::RunningInGroups(m_groups))
            kill(pid, SIGKILL);
    }

    // Starts the program in the mode, under a group of its own, and waits
    // until it is busy; false when it did not get there.
    bool Start(const std::string& mode, const std::vector<std::string>& extra = {})
    {
        const Ending& e = GetParam();
        if (e.display) {
            m_x = std::make_unique<zqtest::Xvfb>();
            if (!m_x->Ok()) {
                m_error = m_x->Error();
                return false;
            }
        }
        std::vector<std::string> env;
        for (char** v = environ; *v; ++v)
            if (strncmp(*v, "DISPLAY=", 8) != 0)
                env.push_back(*v);
        env.push_back("ZQ_FATAL_END_MODE=" + mode);
        env.push_back("ZQ_FATAL_END_ROOT=" + m_root.Linux());
        env.push_back(std::string("ZQ_FATAL_END_SELF=") + e.self);
        if (e.display)
            env.push_back("DISPLAY=" + m_x->Display());
        env.insert(env.end(), extra.begin(), extra.end());
        std::vector<char*> envp;
        for (std::string& v : env)
            envp.push_back(&v[0]);
        envp.push_back(nullptr);
        char self[4096];
        const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        if (n <= 0)
            return false;
        self[n] = '\0';
        char filter[] = "--gtest_filter=FatalEndProgram.RunsUntilEnded";
        char* argv[] = {self, filter, nullptr};
        const std::string log = m_root.Linux("program.log");

        m_program = fork();
        if (m_program == 0) {
            setpgid(0, 0);
            const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            dup2(out, 1);
            dup2(out, 2);
            execve(self, argv, envp.data());
            _exit(127);
        }
        if (m_program < 0)
            return false;
        setpgid(m_program, m_program);
        m_groups.insert(m_program);
        const bool busy = WaitUntil([&] { return m_root.Exists("busy"); }, 30000);
        for (pid_t pid : zqtest::Descendants(m_program)) {
            zqtest::ProcessEntry entry;
            if (zqtest::ReadProcessEntry(pid, entry))
                m_groups.insert(entry.group);
        }
        if (!busy)
            m_error = "the program did not get busy: " + m_root.Read("program.log");
        return busy;
    }

    // Ends the program as the case says and waits for its end (10 s at
    // most); false when it did not end so.
    bool End()
    {
        const Ending& e = GetParam();
        if (e.signalNumber != 0)
            kill(m_program, e.signalNumber);
        if (e.display)
            m_x->End();
        if (*e.self)
            m_root.Write("end", "end\n");
        int status = 0;
        const bool ended = WaitUntil([&] { return waitpid(m_program, &status, WNOHANG) == m_program; }, 10000);
        if (ended)
            m_program = -1;
        return ended && EndedAsExpected(e, status);
    }

    // Waits (GONE_BOUND at most) until nothing of the program's groups runs.
    std::vector<pid_t> LeftRunning()
    {
        const auto ended = Clock::now();
        while (!zqtest::RunningInGroups(m_groups).empty() && Clock::now() - ended < GONE_BOUND)
            std::this_thread::sleep_for(milliseconds(10));
        return zqtest::RunningInGroups(m_groups);
    }

    zqtest::TempFolder m_root{"fatal end"};
    std::unique_ptr<zqtest::Xvfb> m_x;  // the program's own, for the cases that end it
    pid_t m_program = -1;
    std::set<pid_t> m_groups;
    std::string m_error;
};

const Ending ENDINGS[] = {
    {"SIGKILL", SIGKILL, "", false},
    {"SIGQUIT", SIGQUIT, "", false},
    {"SIGTERM", SIGTERM, "", false},
    {"SIGHUP", SIGHUP, "", false},
    {"SIGINT", SIGINT, "", false},
    {"SIGPIPE", SIGPIPE, "", false},
    {"SIGSEGV", SIGSEGV, "", false},
    {"XServerEnded", 0, "", true},
    {"Abort", 0, "abort", false},
    {"UncaughtException", 0, "throw", false},
    {"ExitProcess", 0, "ExitProcess", false},
};

std::string CaseName(const ::testing::TestParamInfo<Ending>& info)
{
    return info.param.name;
}

using FatalEndWhileUnpacking = FatalEnd;

TEST_P(FatalEndWhileUnpacking, LeavesNoProcessAndNothingIsWrittenAfter)
{
    m_root.MakeFolder("Repository");
    m_root.Write("in/c.zip", "PK not really a container");
    ASSERT_EQ(chmod(m_root.Write("bin/7za", zqtest::SlowUnpackerScript()).c_str(), 0755), 0);
    ASSERT_TRUE(Start("unpack")) << m_error;
    // The stand-in may write its first file before it names its writer.
    pid_t writer = 0;
    WaitUntil([&] { return (writer = static_cast<pid_t>(atoi(m_root.Read("bin/writer.pid").c_str()))) > 0; }, 5000);
    ASSERT_TRUE(zqtest::ProcessRuns(writer)) << "the stand-in's writer was not seen within 5 s";
    ASSERT_GT(m_groups.size(), 1u) << "the unpacker was not seen";

    ASSERT_TRUE(End()) << m_root.Read("program.log");
    EXPECT_EQ(LeftRunning(), std::vector<pid_t>{})
        << "processes of the program's groups still ran " << GONE_BOUND.count() << " ms after its end";
    EXPECT_FALSE(zqtest::ProcessRuns(writer)) << "the unpacker's writer lives on";
    const std::vector<std::string> written = m_root.List();
    std::this_thread::sleep_for(milliseconds(500));
    EXPECT_EQ(written, m_root.List()) << "written into the Repository after the program had ended";
}

INSTANTIATE_TEST_SUITE_P(Endings, FatalEndWhileUnpacking, ::testing::ValuesIn(ENDINGS), CaseName);

// SIGKILL cannot be caught: the exclusive mode stays for the next start to
// meet, as it does after any process that held the tty was killed.
std::vector<Ending> CaughtEndings()
{
    std::vector<Ending> caught;
    for (const Ending& e : ENDINGS)
        if (e.signalNumber != SIGKILL)
            caught.push_back(e);
    return caught;
}

class FatalEndWhileSending : public FatalEnd {
protected:
    zqtest::CarKitSimulator m_sim{COM};  // first of its own: it sets the per-user folder
};

TEST_P(FatalEndWhileSending, GivesThePortBack)
{
    // A slow line: the transfer would take minutes.
    ASSERT_TRUE(m_sim.Start({"--baud", "19200"})) << m_sim.Error() << m_sim.Log();
    m_root.Write("send/a.bin", zqtest::RandomBytes(200000, 7));
    m_root.Write("send/update.xml", "<?xml version=\"1.0\"?><update/>\n");
    ASSERT_TRUE(Start("transfer", {"ZQ_FATAL_END_CONFIG=" + m_sim.Folder()})) << m_error;
    ASSERT_TRUE(End()) << m_root.Read("program.log");

    // An ordinary user cannot open a tty in exclusive mode; root can, and
    // reads the mode.
    const int fd = open(m_sim.PtyPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0) << m_sim.PtyPath() << ": " << strerror(errno) << " (EBUSY: still exclusive)";
    int exclusive = -1;
    EXPECT_EQ(ioctl(fd, TIOCGEXCL, &exclusive), 0) << strerror(errno);
    EXPECT_EQ(exclusive, 0) << "the port is still exclusive";
    close(fd);
    EXPECT_EQ(LeftRunning(), std::vector<pid_t>{});
}

INSTANTIATE_TEST_SUITE_P(Endings, FatalEndWhileSending, ::testing::ValuesIn(CaughtEndings()), CaseName);

}  // namespace
