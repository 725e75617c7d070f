// Child processes against Linux: the Windows command-line rules, exit codes,
// waits, termination of the whole group, and children ending with the program.
#include "platform/base/FatalEnd.h"
#include "platform/process/Process.h"
#include "platform/files/CFile.h"
#include "platform/threads/Threads.h"
#include "platform/paths/DrivePaths.h"
#include "platform/window/WinUser.h"
#include "tests/support/FileLockHolder.h"
#include "tests/support/Processes.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Started as a child with ZQ_ARGV_DUMP set, this test program writes its
// arguments, its current directory and whether its output goes to /dev/null
// into that file, one line each, and ends before any test runs.
struct ArgvDump {
    ArgvDump()
    {
        const char* target = getenv("ZQ_ARGV_DUMP");
        if (target == nullptr)
            return;
        std::ifstream in("/proc/self/cmdline", std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        std::string text = all.str();
        FILE* out = fopen(target, "w");
        if (out == nullptr)
            _exit(2);
        for (size_t start = 0; start < text.size();) {
            size_t end = text.find('\0', start);
            fprintf(out, "arg %s\n", text.substr(start, end - start).c_str());
            start = end + 1;
        }
        char cwd[4096];
        fprintf(out, "cwd %s\n", getcwd(cwd, sizeof cwd) ? cwd : "?");
        struct stat outStat, nullStat;
        bool toNull = fstat(1, &outStat) == 0 && stat("/dev/null", &nullStat) == 0 && S_ISCHR(outStat.st_mode) &&
                      outStat.st_rdev == nullStat.st_rdev;
        fprintf(out, "stdout %s\n", toNull ? "null" : "other");
        fclose(out);
        _exit(5);
    }
} g_argvDump;


std::string SelfPath()
{
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

struct ChildRun {
    BOOL started = FALSE;
    DWORD error = 0;
    DWORD exitCode = 0xdead;
    DWORD wait = 0;
};

ChildRun RunToEnd(std::string commandLine, LPVOID environment = nullptr, LPCSTR folder = nullptr)
{
    ChildRun run;
    STARTUPINFOA si;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION pi;
    memset(&pi, 0, sizeof pi);
    SetLastError(0);
    run.started = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, environment,
                                 folder, &si, &pi);
    run.error = GetLastError();
    if (!run.started)
        return run;
    run.wait = WaitForSingleObject(pi.hProcess, 20000);
    GetExitCodeProcess(pi.hProcess, &run.exitCode);
    EXPECT_EQ(WaitForSingleObject(pi.hThread, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(pi.hThread));
    EXPECT_TRUE(CloseHandle(pi.hProcess));
    EXPECT_FALSE(CloseHandle(pi.hProcess));
    return run;
}

// Starts a child with default start-up settings, inheriting no handles.
BOOL StartPlain(std::string commandLine, PROCESS_INFORMATION& pi)
{
    STARTUPINFOA si;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    memset(&pi, 0, sizeof pi);
    return CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
}

TEST(Process, CommandLineSplitsByWindowsRules)
{
    struct Case {
        const char* line;
        std::vector<std::string> args;
    } cases[] = {
        {R"("Z:\prog dir\7za" x -y -o"Z:\tmp\Repo Folder" "Z:\home\me\a b.zip")",
         {R"(Z:\prog dir\7za)", "x", "-y", R"(-oZ:\tmp\Repo Folder)", R"(Z:\home\me\a b.zip)"}},
        {"prog  a\t b ", {"prog", "a", "b"}},
        {R"(prog a\\b "c\\d" e\"f)", {"prog", R"(a\\b)", R"(c\\d)", R"(e"f)"}},
        {R"(prog "a\\\"b" "x\\" y)", {"prog", R"(a\"b)", R"(x\)", "y"}},
        {R"(prog "" "a""b" "say ""hi""")", {"prog", "", R"(a"b)", R"(say "hi")"}},
        {R"(prog a"b c"d)", {"prog", "ab cd"}},
        {R"("C:\path with\trailing\" next)", {R"(C:\path with\trailing\)", "next"}},
        {R"(prog "unterminated arg)", {"prog", "unterminated arg"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(zq::SplitCommandLine(c.line), c.args) << c.line;
}

TEST(Process, RunsAndReportsTheExitCode)
{
    struct Case {
        std::string line;
        DWORD code;
    } cases[] = {
        {"\"" + zq::LinuxToWindows("/bin/true") + "\"", 0},
        {"\"Z:\\bin\\false\"", 1},
        {"sh -c \"exit 3\"", 3},
        {"sh -c \"kill -9 $$\"", 128 + 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        ChildRun run = RunToEnd(c.line);
        ASSERT_TRUE(run.started) << run.error;
        EXPECT_EQ(run.wait, WAIT_OBJECT_0);
        EXPECT_EQ(run.exitCode, c.code);
    }
}

TEST(Process, WaitWithTimeOutWhileTheChildRuns)
{
    PROCESS_INFORMATION pi;
    ASSERT_TRUE(StartPlain("Z:\\bin\\sleep 0.3", pi));
    EXPECT_GT(pi.dwProcessId, 0u);
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_FALSE(GetExitCodeProcess(pi.hProcess, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // A process handle is no thread's.
    EXPECT_FALSE(GetExitCodeThread(pi.hProcess, &code));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    // The thread handle may go first; the process handle still works.
    EXPECT_TRUE(CloseHandle(pi.hThread));
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 20000), WAIT_OBJECT_0) << "the child's end within 20 s";
    ASSERT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(CloseHandle(pi.hProcess));
    EXPECT_FALSE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(Process, TerminateEndsARunningChildOnce)
{
    PROCESS_INFORMATION pi;
    ASSERT_TRUE(StartPlain("Z:\\bin\\sleep 600", pi));
    EXPECT_TRUE(TerminateProcess(pi.hProcess, 1));
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 20000), WAIT_OBJECT_0) << "the terminated child's end within 20 s";
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(code, 128u + 9u);
    // An ended child cannot be ended again, and a bad handle is refused.
    EXPECT_FALSE(TerminateProcess(pi.hProcess, 1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(CloseHandle(pi.hThread));
    EXPECT_TRUE(CloseHandle(pi.hProcess));
    EXPECT_FALSE(TerminateProcess(pi.hProcess, 1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

using zqtest::ProcessRuns;

// Ending a child ends what it started, as ending a Windows job does: the
// child runs in a process group of its own, and the whole group ends.
TEST(Process, TerminateEndsTheChildrenOfTheChildToo)
{
    zqtest::TempFolder folder;
    const std::string pidFile = folder.Linux("grandchild");
    PROCESS_INFORMATION pi;
    ASSERT_TRUE(StartPlain("Z:\\bin\\sh -c \"sleep 600 & echo $! > " + pidFile + ".new; mv " + pidFile + ".new " +
                               pidFile + "; wait\"",
                           pi));
    EXPECT_NE(getpgid(static_cast<pid_t>(pi.dwProcessId)), getpgid(0)) << "the child runs in the program's group";
    pid_t grandchild = 0;
    for (int i = 0; i < 1000 && grandchild <= 0; ++i) {
        std::ifstream in(pidFile);
        if (!(in >> grandchild))
            usleep(10000);
    }
    ASSERT_GT(grandchild, 0);
    EXPECT_TRUE(ProcessRuns(grandchild));
    EXPECT_TRUE(TerminateProcess(pi.hProcess, 1));
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 20000), WAIT_OBJECT_0) << "the terminated child's end within 20 s";
    for (int i = 0; i < 500 && ProcessRuns(grandchild); ++i)
        usleep(10000);
    EXPECT_FALSE(ProcessRuns(grandchild)) << "the grandchild still ran 5 s after its group was ended";
    if (ProcessRuns(grandchild))
        kill(grandchild, SIGKILL);
    EXPECT_TRUE(CloseHandle(pi.hThread));
    EXPECT_TRUE(CloseHandle(pi.hProcess));
}

// No child outlives the program, however it ends, nor what the child
// started: through ExitProcess, by a signal that it catches (a kill, a
// closed terminal, Ctrl-C, SIGQUIT, an abort) or by SIGKILL, which it
// cannot catch.
TEST(Process, TheChildrenEndWithTheProgram)
{
    struct Ending {
        const char* name;
        int signalNumber;  // 0: ExitProcess
    };
    const Ending endings[] = {{"ExitProcess", 0},   {"SIGTERM", SIGTERM}, {"SIGHUP", SIGHUP},  {"SIGINT", SIGINT},
                              {"SIGQUIT", SIGQUIT}, {"SIGABRT", SIGABRT}, {"SIGKILL", SIGKILL}};
    for (const Ending& ending : endings) {
        zqtest::TempFolder folder;
        const std::string pidFile = folder.Linux("pids");
        const pid_t program = fork();
        ASSERT_GE(program, 0);
        if (program == 0) {
            // Endings that dump a core dump none here.
            const struct rlimit noCore = {0, 0};
            setrlimit(RLIMIT_CORE, &noCore);
            zq::RunFatalEndActionsOnSignals();
            PROCESS_INFORMATION pi;
            if (!StartPlain("Z:\\bin\\sh -c \"sleep 600 & echo $$ $! > " + pidFile + ".new; mv " + pidFile + ".new " +
                                pidFile + "; wait\"",
                            pi))
                _exit(2);
            for (int i = 0; i < 1000 && access(pidFile.c_str(), F_OK) != 0; ++i)
                usleep(10000);
            if (ending.signalNumber == 0)
                ExitProcess(7);
            raise(ending.signalNumber);
            _exit(3);
        }
        int status = 0;
        ASSERT_EQ(waitpid(program, &status, 0), program);
        if (ending.signalNumber == 0)
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7) << ending.name;
        else
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == ending.signalNumber) << ending.name;
        pid_t child = 0, grandchild = 0;
        std::ifstream(pidFile) >> child >> grandchild;
        ASSERT_GT(child, 0) << ending.name;
        ASSERT_GT(grandchild, 0) << ending.name;
        for (int i = 0; i < 500 && (ProcessRuns(child) || ProcessRuns(grandchild)); ++i)
            usleep(10000);
        EXPECT_FALSE(ProcessRuns(child)) << ending.name;
        EXPECT_FALSE(ProcessRuns(grandchild)) << ending.name << ": what the child started lives on";
        for (pid_t pid : {child, grandchild})
            if (ProcessRuns(pid))
                kill(pid, SIGKILL);
    }
}

// A child that inherits handles holds the files that were open inheritable
// when it started, share lock included, as a Windows child holds the
// handles it inherited: closed here, such a file stays locked against this
// process and against any other until the child ends.
TEST(Process, AChildThatInheritsHandlesHoldsTheInheritableFiles)
{
    struct Case {
        const char* what;
        BOOL inherit;
        UINT flags;  // added to an unshared open for reading and writing
        bool held;
    } cases[] = {
        {"a file opened inheritable", TRUE, 0, true},
        {"a file opened with modeNoInherit", TRUE, CFile::modeNoInherit, false},
        {"a child that inherits nothing", FALSE, 0, false},
    };
    zqtest::TempFolder folder;
    const std::string path = folder.Write("held", "x");
    const std::string windows = zq::LinuxToWindows(path);
    auto othersMayLock = [&] { return zqtest::FileLockHolder::OthersMayLock(path); };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CFile file;
        ASSERT_TRUE(file.Open(windows.c_str(), CFile::modeReadWrite | CFile::shareExclusive | c.flags));
        STARTUPINFOA si;
        memset(&si, 0, sizeof si);
        si.cb = sizeof si;
        PROCESS_INFORMATION pi;
        memset(&pi, 0, sizeof pi);
        std::string line = "Z:\\bin\\sleep 600";
        ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, c.inherit, 0, nullptr, nullptr, &si, &pi));
        const std::vector<std::string> open = zqtest::OpenPaths(static_cast<pid_t>(pi.dwProcessId));
        EXPECT_EQ(std::count(open.begin(), open.end(), path), c.held ? 1 : 0);
        file.Close();

        EXPECT_EQ(othersMayLock(), !c.held);
        CFile again;
        CFileException error;
        EXPECT_EQ(again.Open(windows.c_str(), CFile::modeRead | CFile::modeNoInherit, &error) == FALSE, c.held);
        if (c.held) {
            EXPECT_EQ(error.m_lOsError, static_cast<LONG>(ERROR_SHARING_VIOLATION));
        }
        again.Close();

        EXPECT_TRUE(TerminateProcess(pi.hProcess, 1));
        EXPECT_EQ(WaitForSingleObject(pi.hProcess, 20000), WAIT_OBJECT_0) << "the terminated child's end within 20 s";
        EXPECT_TRUE(CloseHandle(pi.hThread));
        EXPECT_TRUE(CloseHandle(pi.hProcess));
        EXPECT_TRUE(othersMayLock()) << "the hold outlived the child";
    }
}

TEST(Process, ProgramThatCannotRunFails)
{
    zqtest::TempFolder temp;
    const std::string folder = temp.Linux();
    const std::string plain = folder + "/data.txt", garbage = folder + "/garbage";
    std::ofstream(plain) << "text";
    std::ofstream(garbage) << "\x01\x02 not a program";
    chmod(plain.c_str(), 0644);
    chmod(garbage.c_str(), 0755);

    struct Case {
        std::string line;
        DWORD error;
    } cases[] = {
        {R"("Z:\no\such\folder\7za" x -y -o"Z:\tmp")", ERROR_PATH_NOT_FOUND},
        {R"("C:\Program Files\7za" x)", ERROR_PATH_NOT_FOUND},
        {"\"" + zq::LinuxToWindows(folder) + "\\7za\" x", ERROR_FILE_NOT_FOUND},
        {"zq-no-such-program-anywhere", ERROR_FILE_NOT_FOUND},
        {"\"" + zq::LinuxToWindows(folder) + "\"", ERROR_ACCESS_DENIED},
        {"\"" + zq::LinuxToWindows(plain) + "\"", ERROR_ACCESS_DENIED},
        {"\"" + zq::LinuxToWindows(garbage) + "\"", ERROR_BAD_EXE_FORMAT},
        {"", ERROR_FILE_NOT_FOUND},
    };
    const size_t handles = zq::OpenHandleCount();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        ChildRun run = RunToEnd(c.line);
        EXPECT_FALSE(run.started);
        EXPECT_EQ(run.error, c.error);
    }
    EXPECT_LE(zq::OpenHandleCount(), handles);
}

TEST(Process, DrivePathsReachTheChildInLinuxForm)
{
    zqtest::TempFolder temp;
    const std::string folder = temp.Linux();
    const std::string dump = folder + "/args.txt";
    const std::string self = SelfPath();

    std::string line = "\"" + zq::LinuxToWindows(self) +
                       "\" x -y -o\"Z:\\tmp\\Repo Folder\" \"Z:\\home\\me\\a b.zip\"" +
                       " -o plain \"two words\" Z: \"Z:\\\\\" -oC:\\x C:\\none \"G\xe4rten\"";
    std::string env = "ZQ_ARGV_DUMP=" + dump + '\0' + "PATH=/usr/bin:/bin" + '\0' + '\0';
    ChildRun run = RunToEnd(line, &env[0], zq::LinuxToWindows(folder).c_str());
    ASSERT_TRUE(run.started) << run.error;
    EXPECT_EQ(run.exitCode, 5u);

    std::ifstream in(dump);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "arg " + self +
                              "\narg x\narg -y\narg -o/tmp/Repo Folder\narg /home/me/a b.zip\n"
                              "arg -o\narg plain\narg two words\narg Z:\narg /\narg -oC:\\x\narg C:\\none\n"
                              "arg G\xc3\xa4rten\ncwd " +
                              folder + "\nstdout null\n");
}

}  // namespace
