// CreateProcessA through a launcher per child, the threads that reap the
// children, and the ending of every child with the program.
#include "platform/process/Process.h"

#include "platform/base/DebugChannel.h"
#include "platform/base/FatalEnd.h"
#include "platform/paths/DrivePaths.h"
#include "platform/strings/Codepage.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// The end of one child, shared by its process and thread handles and the
// thread that reaps it. Guarded by zq::KernelLock().
struct ChildState {
    pid_t pid = 0;        // the launcher, which leads the child's group
    pid_t program = 0;    // the child proper, the program started
    int endRequest = -1;  // TerminateProcess's word to the launcher
    bool exited = false;
    DWORD exitCode = STILL_ACTIVE;
};

class ChildObject : public zq::KernelObject {
public:
    explicit ChildObject(std::shared_ptr<ChildState> state) : m_state(std::move(state)) {}
    bool IsWaitable() const override { return true; }
    bool IsSignalledLocked() const override { return m_state->exited; }
    const std::shared_ptr<ChildState>& State() const { return m_state; }

private:
    std::shared_ptr<ChildState> m_state;
};

class ProcessObject : public ChildObject {
    using ChildObject::ChildObject;
};

// The child's first thread: ends with the child.
class ChildThreadObject : public ChildObject {
    using ChildObject::ChildObject;
};

// The children that have not been reaped, so that they can be ended when
// the program ends.
zq::SignalSafeSet<pid_t, 64> s_children;

void TrackChild(pid_t pid)
{
    s_children.Add(pid);
}

void ForgetChild(pid_t pid)
{
    s_children.Remove(pid);
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool IsDriveLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// "Z:\..." or "Z:/...".
bool IsDrivePath(const std::string& text, size_t at)
{
    return text.size() >= at + 3 && IsDriveLetter(text[at]) && text[at + 1] == ':' &&
           (text[at + 2] == '\\' || text[at + 2] == '/');
}

// An argument as the child must see it: a drive path in Linux form, any
// other text in UTF-8. A path on a drive that names nothing stays as it is,
// for the child to report.
std::string LinuxArgument(const std::string& argument)
{
    size_t at = std::string::npos;
    if (IsDrivePath(argument, 0))
        at = 0;
    else if (argument.size() > 2 && argument[0] == '-' && IsDriveLetter(argument[1]) && IsDrivePath(argument, 2))
        at = 2;
    if (at != std::string::npos) {
        std::string linuxPath;
        if (zq::WindowsToLinux(argument.c_str() + at, linuxPath))
            return zq::Cp1252ToUtf8(argument.substr(0, at)) + linuxPath;
    }
    return zq::Cp1252ToUtf8(argument);
}

// A program or folder path of the caller in Linux form; false with the
// Win32 error set when it names nothing.
bool LinuxPath(const std::string& windowsPath, std::string& linuxPath)
{
    DWORD error = ERROR_PATH_NOT_FOUND;
    if (zq::WindowsToLinux(windowsPath.c_str(), linuxPath, &error))
        return true;
    SetLastError(error);
    return false;
}

// Whether the file can be run; sets the Win32 error when not.
bool CheckProgram(const std::string& path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        const int err = errno;
        zq::DebugFailure(zq::DebugArea::Process, "stat", path.c_str(), err);
        SetLastError(err == ENOENT || err == ENOTDIR ? zq::MissingPathError(path) : Win32ErrorFromErrno(err));
        return false;
    }
    if (S_ISDIR(st.st_mode) || access(path.c_str(), X_OK) != 0) {
        zq::DebugFailure(zq::DebugArea::Process, "access", path.c_str(), S_ISDIR(st.st_mode) ? EISDIR : errno);
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}

// The program to run, from the name in Linux form: a path as given, a bare
// name from the program folder, the current directory or PATH, as Windows
// looks for it.
bool FindProgram(const std::string& name, std::string& path)
{
    if (name.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    if (name.find('/') != std::string::npos) {
        path = name;
        return CheckProgram(path);
    }
    std::vector<std::string> folders;
    folders.push_back(zq::ProgramLinuxFolder());
    folders.push_back(".");
    if (const char* env = getenv("PATH")) {
        for (auto& folder : zq::SplitAt(env, ':'))
            folders.push_back(folder);
    }
    for (const auto& folder : folders) {
        if (folder.empty())
            continue;
        std::string candidate = folder + "/" + name;
        if (access(candidate.c_str(), F_OK) == 0) {
            path = candidate;
            return CheckProgram(path);
        }
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
}

}  // namespace

namespace zq {

std::vector<std::string> SplitCommandLine(const std::string& commandLine)
{
    std::vector<std::string> arguments;
    size_t i = 0;
    const size_t n = commandLine.size();

    // The program name: quoted or up to the first blank, no escapes.
    std::string program;
    if (i < n && commandLine[i] == '"') {
        ++i;
        while (i < n && commandLine[i] != '"')
            program += commandLine[i++];
        if (i < n)
            ++i;
    } else {
        while (i < n && !IsBlank(commandLine[i]))
            program += commandLine[i++];
    }
    arguments.push_back(program);

    for (;;) {
        while (i < n && IsBlank(commandLine[i]))
            ++i;
        if (i >= n)
            break;
        std::string argument;
        bool quoted = false;
        while (i < n && (quoted || !IsBlank(commandLine[i]))) {
            char c = commandLine[i];
            if (c == '\\') {
                size_t count = 0;
                while (i < n && commandLine[i] == '\\') {
                    ++count;
                    ++i;
                }
                if (i < n && commandLine[i] == '"') {
                    argument.append(count / 2, '\\');
                    if (count % 2 == 1) {
                        argument += '"';
                        ++i;
                    }
                    // With an even count the quote is handled as a quote
                    // by the next turn.
                } else {
                    argument.append(count, '\\');
                }
            } else if (c == '"') {
                if (quoted && i + 1 < n && commandLine[i + 1] == '"') {
                    argument += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                argument += c;
                ++i;
            }
        }
        arguments.push_back(argument);
    }
    return arguments;
}

void EndChildProcesses()
{
    s_children.ForEach([](pid_t pid) {
        if (pid > 0 && kill(-pid, SIGKILL) != 0)
            kill(pid, SIGKILL);
    });
}

}  // namespace zq

void ExitProcess(UINT uExitCode)
{
    zq::RunFatalEndActions();
    _exit(static_cast<int>(uExitCode));
}

namespace {

// The child's arguments from the caller's command line or program name, in
// Linux form, with the program found and put first. False with the Win32
// error set when there is no program to run.
bool ChildArguments(LPCSTR applicationName, LPCSTR commandLine, std::vector<std::string>& arguments)
{
    if (commandLine != nullptr && commandLine[0] != '\0') {
        arguments = zq::SplitCommandLine(commandLine);
    } else if (applicationName != nullptr) {
        arguments.push_back(applicationName);
    } else {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    for (size_t i = 1; i < arguments.size(); ++i)
        arguments[i] = LinuxArgument(arguments[i]);

    // A bare name is searched for; any other program path is the caller's.
    const std::string given = applicationName ? std::string(applicationName) : arguments[0];
    std::string wanted;
    if (given.find_first_of("\\/:") == std::string::npos)
        wanted = zq::Cp1252ToUtf8(given);
    else if (!LinuxPath(given, wanted))
        return false;
    std::string program;
    if (!FindProgram(wanted, program))
        return false;
    arguments[0] = program;
    return true;
}

// The entries of a Windows environment block ("A=1\0B=2\0\0").
std::vector<std::string> EnvironmentEntries(const void* block)
{
    std::vector<std::string> entries;
    for (const char* entry = static_cast<const char*>(block); *entry != '\0'; entry += strlen(entry) + 1)
        entries.push_back(entry);
    return entries;
}

// The strings as the null-ended pointer list that execve takes; valid
// while the strings are.
std::vector<char*> PointerList(std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    for (auto& text : strings)
        pointers.push_back(&text[0]);
    pointers.push_back(nullptr);
    return pointers;
}

// The pipe that tells each child's launcher that this process has ended.
// Only this process holds its write end (both ends are close-on-exec, and a
// launcher closes what it inherited), so the pipe reads its end when the
// process ends, however it ends, SIGKILL included; a thread's end does not
// close it, as it would fire a parent-death signal.
int s_lifeRead = -1;
int s_lifeWrite = -1;
std::once_flag s_lifeOnce;

// Set in the thread that forks a launcher, so that the fork handler below
// leaves the launcher (and the child it forks in turn) alone.
thread_local bool t_forkingLauncher = false;

// Async-signal-safe, for the fork handler: says nothing when it fails.
bool OpenLifePipe()
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return false;
    s_lifeRead = fds[0];
    s_lifeWrite = fds[1];
    return true;
}

// A copy of this process made by fork() alone (a test's, for one) has
// children of its own: it starts with none tracked and with a pipe of its
// own, since its parent still holds the one it inherited.
void ForgetParentsChildren()
{
    if (t_forkingLauncher)
        return;
    s_children.Clear();
    if (s_lifeRead >= 0) {
        close(s_lifeRead);
        close(s_lifeWrite);
        s_lifeRead = s_lifeWrite = -1;
        OpenLifePipe();
    }
}

void PrepareLifePipe()
{
    std::call_once(s_lifeOnce, [] {
        if (!OpenLifePipe())
            zq::DebugFailure(zq::DebugArea::Process, "pipe2", nullptr, errno);
        pthread_atfork(nullptr, nullptr, ForgetParentsChildren);
    });
}

// Blocks every signal of the calling thread while it lives: a fatal
// signal taken between the fork and the tracking would end the program
// before the child could be ended with it.
class SignalsBlocked {
public:
    SignalsBlocked()
    {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_SETMASK, &all, &m_before);
    }
    ~SignalsBlocked() { pthread_sigmask(SIG_SETMASK, &m_before, nullptr); }
    const sigset_t& Before() const { return m_before; }

private:
    sigset_t m_before;
};

// What the launcher and the child need, made before the fork: after it,
// only async-signal-safe calls are made.
struct Launch {
    char* const* argv;
    char* const* envp;
    const char* folder;    // nullptr: this process's current directory
    sigset_t childMask;    // the signal mask of the thread that starts it
    int reportWrite;       // where the launcher and the child report (Report)
    int endRequest;        // where the launcher hears TerminateProcess
    const int* inherited;  // descriptors the child holds under their numbers
    size_t inheritedCount;
};

// What the launcher and the child write to the one who starts them: the
// child's pid, and errno when the child could not be started. Each is one
// write, well below PIPE_BUF, so they never mix.
struct Report {
    enum Kind { CHILD_PID, START_ERROR } kind;
    int value;
};

void SendReport(int fd, Report::Kind kind, int value)
{
    const Report report = {kind, value};
    while (write(fd, &report, sizeof report) < 0 && errno == EINTR) {}
}

void NoteChildEnd(int) {}

// The child proper, in the launcher's group: it dies with the launcher,
// then runs the program with its standard streams on /dev/null.
[[noreturn]] void RunChild(const Launch& launch, pid_t launcher)
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The launcher may have died before the prctl took effect.
    if (getppid() != launcher)
        _exit(127);
    const int in = open("/dev/null", O_RDONLY);
    const int out = open("/dev/null", O_WRONLY);
    int err = 0;
    if (in < 0 || out < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0)
        err = errno;
    if (in > 2)
        close(in);
    if (out > 2)
        close(out);
    if (err == 0 && launch.folder != nullptr && chdir(launch.folder) != 0)
        err = errno;
    for (size_t i = 0; err == 0 && i < launch.inheritedCount; ++i)
        if (launch.inherited[i] > 2 && fcntl(launch.inherited[i], F_SETFD, 0) != 0)
            err = errno;
    if (err == 0) {
        sigprocmask(SIG_SETMASK, &launch.childMask, nullptr);
        execve(launch.argv[0], launch.argv, launch.envp);
        err = errno;
    }
    SendReport(launch.reportWrite, Report::START_ERROR, err);
    _exit(127);
}

// Ends with the status the child ended with.
[[noreturn]] void EndAsChild(int status)
{
    if (WIFSIGNALED(status)) {
        const int signalNumber = WTERMSIG(status);
        signal(signalNumber, SIG_DFL);
        sigset_t one;
        sigemptyset(&one);
        sigaddset(&one, signalNumber);
        sigprocmask(SIG_UNBLOCK, &one, nullptr);
        kill(getpid(), signalNumber);
        _exit(128 + signalNumber);
    }
    _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 127);
}

// Handlers of the program must not run in the launcher: they would end
// the children of the program. Ignored signals stay ignored, as over exec.
void DefaultSignalHandlers()
{
    for (int signalNumber = 1; signalNumber < NSIG; ++signalNumber) {
        struct sigaction old;
        if (signalNumber == SIGKILL || signalNumber == SIGSTOP || sigaction(signalNumber, nullptr, &old) != 0)
            continue;
        if (old.sa_handler != SIG_IGN)
            signal(signalNumber, SIG_DFL);
    }
}

// The launcher keeps nothing of the program open but the two it listens
// to: not its ports, not its display, not its standard streams.
void CloseProgramDescriptors(int endRequest)
{
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
    }
    const unsigned low = static_cast<unsigned>(s_lifeRead < endRequest ? s_lifeRead : endRequest);
    const unsigned high = static_cast<unsigned>(s_lifeRead < endRequest ? endRequest : s_lifeRead);
    if (low > 3)
        close_range(3, low - 1, 0);
    if (high > low + 1)
        close_range(low + 1, high - 1, 0);
    close_range(high + 1, ~0u, 0);
}

// Ends the child, waits until it is gone (its files closed, its locks
// given back), then ends what it started and this process with one kill of
// the group.
[[noreturn]] void EndGroup(pid_t launcher, pid_t child)
{
    kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {}
    // Never the program's own group, should this one not be ours.
    if (getpgrp() == launcher)
        kill(0, SIGKILL);
    _exit(128 + SIGKILL);
}

// Waits for the child's end and ends as it did; for the program's end or
// TerminateProcess's request, and ends the group.
[[noreturn]] void WaitInLauncher(pid_t launcher, pid_t child, int endRequest)
{
    // SIGCHLD stays blocked but for the wait, so that no child's end is
    // missed between a look and the wait.
    struct sigaction onChild;
    memset(&onChild, 0, sizeof onChild);
    onChild.sa_handler = NoteChildEnd;
    sigemptyset(&onChild.sa_mask);
    sigaction(SIGCHLD, &onChild, nullptr);
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGCHLD);
    sigprocmask(SIG_SETMASK, &mask, nullptr);
    sigset_t waitMask;
    sigemptyset(&waitMask);
    struct pollfd ends[2] = {{s_lifeRead, POLLIN, 0}, {endRequest, POLLIN, 0}};
    for (;;) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child)
            EndAsChild(status);
        ends[0].revents = ends[1].revents = 0;
        const int ready = ppoll(ends, 2, nullptr, &waitMask);
        // The program has ended, or asks for the end. A wait that fails for
        // another reason than a signal cannot be trusted to see either.
        if (ready > 0 || (ready < 0 && errno != EINTR))
            EndGroup(launcher, child);
    }
}

// The launcher, a copy of this process made by fork(): it leads the
// child's process group, starts the child in it, and ends the whole group
// when this process ends, which the kernel's parent-death signal alone
// would not do for what the child started. It ends as the child ends,
// with the child's status, so the process handle is the launcher's.
[[noreturn]] void RunLauncher(const Launch& launch)
{
    DefaultSignalHandlers();
    setpgid(0, 0);
    const pid_t launcher = getpid();
    const pid_t child = fork();
    if (child == 0)
        RunChild(launch, launcher);
    if (child < 0) {
        SendReport(launch.reportWrite, Report::START_ERROR, errno);
        _exit(127);
    }
    SendReport(launch.reportWrite, Report::CHILD_PID, child);
    CloseProgramDescriptors(launch.endRequest);
    // A copy of the whole program makes no core worth having.
    const struct rlimit noCore = {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    WaitInLauncher(launcher, child, launch.endRequest);
}

// Reads what the launcher and the child report until they have closed the
// pipe: the child's pid, and errno when it could not be started (0 when it
// was).
void ReadReports(int fd, pid_t& program, int& err)
{
    program = 0;
    err = 0;
    for (;;) {
        Report report;
        const ssize_t n = read(fd, &report, sizeof report);
        if (n < 0 && errno == EINTR)
            continue;
        if (n != static_cast<ssize_t>(sizeof report))
            break;
        if (report.kind == Report::CHILD_PID)
            program = report.value;
        else
            err = report.value;
    }
    if (err == 0 && program <= 0)
        err = ECHILD;
}

// The folder the child starts in, in Linux form, or "" for this process's
// own. False with ERROR_DIRECTORY when the one given is no folder.
bool ChildFolder(LPCSTR currentDirectory, std::string& folder)
{
    folder.clear();
    if (currentDirectory == nullptr || currentDirectory[0] == '\0')
        return true;
    struct stat st;
    if (LinuxPath(currentDirectory, folder) && stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return true;
    SetLastError(ERROR_DIRECTORY);
    return false;
}

// The pipe on which the launcher and the child report, and the socket on
// which the launcher hears TerminateProcess. False with the Win32 error set.
bool OpenLaunchChannels(int reportPipe[2], int endPair[2])
{
    if (pipe2(reportPipe, O_CLOEXEC) != 0) {
        const int err = errno;
        zq::DebugFailure(zq::DebugArea::Process, "pipe2", nullptr, err);
        SetLastError(Win32ErrorFromErrno(err));
        return false;
    }
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, endPair) != 0) {
        const int err = errno;
        zq::DebugFailure(zq::DebugArea::Process, "socketpair", nullptr, err);
        close(reportPipe[0]);
        close(reportPipe[1]);
        SetLastError(Win32ErrorFromErrno(err));
        return false;
    }
    return true;
}

// Forks the launcher and tracks it (pid) with every signal blocked from the
// fork until it is tracked, so that no end of the program can miss it.
// Returns fork's errno when it failed, else 0.
int ForkLauncher(char* const* argv, char* const* envp, const std::string& folder, int reportWrite, int endWrite,
                 const std::vector<int>& inherited, pid_t& pid)
{
    SignalsBlocked blocked;
    Launch launch = {argv,
                     envp,
                     folder.empty() ? nullptr : folder.c_str(),
                     blocked.Before(),
                     reportWrite,
                     endWrite,
                     inherited.data(),
                     inherited.size()};
    t_forkingLauncher = true;
    pid = fork();
    if (pid == 0)
        RunLauncher(launch);
    t_forkingLauncher = false;
    if (pid < 0)
        return errno;
    // Also done here, so that the group exists when fork returns.
    setpgid(pid, pid);
    TrackChild(pid);
    return 0;
}

// Starts the program of argv[0] through a launcher with its standard
// streams on /dev/null, in the folder when one is given, holding the
// inheritable descriptors when asked to, and tracks the launcher (pid); the
// child proper is program, and endRequest the socket on which the launcher
// hears TerminateProcess. False with the Win32 error set when the folder is
// none or the child could not be started.
bool SpawnChild(char* const* argv, char* const* envp, LPCSTR currentDirectory, bool inheritHandles, pid_t& pid,
                pid_t& program, int& endRequest)
{
    std::string folder;
    if (!ChildFolder(currentDirectory, folder))
        return false;
    PrepareLifePipe();
    if (s_lifeRead < 0) {
        SetLastError(ERROR_TOO_MANY_OPEN_FILES);
        return false;
    }
    int reportPipe[2];
    int endPair[2];
    if (!OpenLaunchChannels(reportPipe, endPair))
        return false;

    // The child holds these under their numbers, without close-on-exec.
    // None of them can be closed until the child has started.
    std::vector<int> inherited;
    std::unique_lock<std::mutex> keepOpen;
    if (inheritHandles)
        keepOpen = zq::LockInheritableDescriptors(inherited);

    int err = ForkLauncher(argv, envp, folder, reportPipe[1], endPair[1], inherited, pid);
    close(reportPipe[1]);
    close(endPair[1]);
    if (pid < 0) {
        close(reportPipe[0]);
        close(endPair[0]);
        zq::DebugFailure(zq::DebugArea::Process, "fork", argv[0], err);
        SetLastError(Win32ErrorFromErrno(err));
        return false;
    }
    ReadReports(reportPipe[0], program, err);
    close(reportPipe[0]);
    if (err == 0) {
        endRequest = endPair[0];
        return true;
    }
    close(endPair[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    ForgetChild(pid);
    zq::DebugFailure(zq::DebugArea::Process, "execve", argv[0], err);
    SetLastError(err == ENOEXEC ? ERROR_BAD_EXE_FORMAT : Win32ErrorFromErrno(err));
    return false;
}

// Waits for the child's end, reaps it and marks its state ended. It first
// waits without reaping and reaps only under the kernel lock, so
// TerminateProcess never signals a reused pid.
void ReapChild(pid_t pid, const std::shared_ptr<ChildState>& state)
{
    siginfo_t info;
    int rc;
    do {
        memset(&info, 0, sizeof info);
        rc = waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT);
    } while (rc < 0 && errno == EINTR);
    {
        std::lock_guard<std::mutex> lock(zq::KernelLock());
        // Forgotten before it is reaped: its pid may be reused after.
        ForgetChild(pid);
        int status = 0;
        pid_t done;
        do {
            done = waitpid(pid, &status, 0);
        } while (done < 0 && errno == EINTR);
        DWORD code = 0;
        if (done == pid && WIFEXITED(status))
            code = static_cast<DWORD>(WEXITSTATUS(status));
        else if (done == pid && WIFSIGNALED(status))
            code = 128u + static_cast<DWORD>(WTERMSIG(status));
        state->exitCode = code;
        state->exited = true;
        close(state->endRequest);
        state->endRequest = -1;
    }
    zq::NotifyKernelWaiters();
}

}  // namespace

BOOL CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                    BOOL bInheritHandles, DWORD dwCreationFlags, LPVOID lpEnvironment, LPCSTR lpCurrentDirectory,
                    LPSTARTUPINFOA, LPPROCESS_INFORMATION lpProcessInformation)
{
    if (lpProcessInformation == nullptr || (lpApplicationName == nullptr && lpCommandLine == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // A child that starts suspended is not offered: the launcher runs it at once.
    if (dwCreationFlags & CREATE_SUSPENDED) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }

    std::vector<std::string> arguments;
    if (!ChildArguments(lpApplicationName, lpCommandLine, arguments))
        return FALSE;
    std::vector<char*> argv = PointerList(arguments);
    std::vector<std::string> environment;
    std::vector<char*> envp;
    char** childEnvironment = environ;
    if (lpEnvironment != nullptr) {
        environment = EnvironmentEntries(lpEnvironment);
        envp = PointerList(environment);
        childEnvironment = envp.data();
    }

    zq::AtFatalEnd(zq::EndChildProcesses);
    pid_t pid = 0;
    pid_t program = 0;
    int endRequest = -1;
    if (!SpawnChild(argv.data(), childEnvironment, lpCurrentDirectory, bInheritHandles != FALSE, pid, program,
                    endRequest))
        return FALSE;

    auto state = std::make_shared<ChildState>();
    state->pid = pid;
    state->program = program;
    state->endRequest = endRequest;
    // One thread per child waits for its end, so that waits on the handles
    // need no polling.
    try {
        std::thread(ReapChild, pid, state).detach();
    } catch (const std::exception&) {
        // Without a reaper the child cannot be waited for: it must not run
        // on while the caller is told that it did not start.
        kill(-pid, SIGKILL);
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
        ForgetChild(pid);
        close(endRequest);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }

    lpProcessInformation->hProcess = zq::RegisterHandle(std::make_shared<ProcessObject>(state));
    lpProcessInformation->hThread = zq::RegisterHandle(std::make_shared<ChildThreadObject>(state));
    lpProcessInformation->dwProcessId = static_cast<DWORD>(program);
    lpProcessInformation->dwThreadId = static_cast<DWORD>(program);
    return TRUE;
}

BOOL GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode)
{
    return zq::ReadExitCode<ProcessObject>(hProcess, lpExitCode,
                                           [](const ProcessObject& process) { return process.State()->exitCode; });
}

BOOL TerminateProcess(HANDLE hProcess, UINT uExitCode)
{
    (void)uExitCode;  // the child's end is reported as the signal that ended it
    auto process = zq::LookupHandleOrFail<ProcessObject>(hProcess);
    if (!process)
        return FALSE;
    std::lock_guard<std::mutex> lock(zq::KernelLock());
    const std::shared_ptr<ChildState>& state = process->State();
    if (state->exited) {
        SetLastError(ERROR_ACCESS_DENIED);  // as Windows answers for an ended process
        return FALSE;
    }
    // Not yet reaped, so the launcher's pid is still this child's. Asked,
    // the launcher ends the child, waits until it is gone, so that a wait on
    // the handle finds its files closed, then ends the whole group: a child
    // of the child must not live on. Should it not hear, the group ends at
    // once.
    const char word = 'x';
    if (send(state->endRequest, &word, 1, MSG_NOSIGNAL) != 1 && kill(-state->pid, SIGKILL) != 0 &&
        kill(state->pid, SIGKILL) != 0) {
        const int err = errno;
        zq::DebugFailure(zq::DebugArea::Process, "kill", nullptr, err);
        SetLastError(Win32ErrorFromErrno(err));
        return FALSE;
    }
    return TRUE;
}
