// CreateProcessA over posix_spawn, the threads that reap the children, and
// the ending of every child with the program.
#include "platform/process/Process.h"

#include "platform/base/DebugChannel.h"
#include "platform/paths/DrivePaths.h"
#include "platform/strings/Codepage.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// The end of one child, shared by its process and thread handles and the
// thread that reaps it. Guarded by zq::KernelLock().
struct ChildState {
    pid_t pid = 0;
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
// the program ends. A slot holds a pid or 0; plain atomics, so that a signal
// handler may read them.
const int MAX_TRACKED_CHILDREN = 64;
std::atomic<pid_t> s_children[MAX_TRACKED_CHILDREN];

void TrackChild(pid_t pid)
{
    for (auto& slot : s_children) {
        pid_t empty = 0;
        if (slot.compare_exchange_strong(empty, pid))
            return;
    }
}

void ForgetChild(pid_t pid)
{
    for (auto& slot : s_children) {
        pid_t tracked = pid;
        if (slot.compare_exchange_strong(tracked, 0))
            return;
    }
}

void EndChildrenOnSignal(int signalNumber)
{
    zq::EndChildProcesses();
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// "Z:\..." or "Z:/...".
bool IsDrivePath(const std::string& text, size_t at)
{
    return text.size() >= at + 3 && IsDriveLetter(text[at]) && text[at + 1] == ':'
        && (text[at + 2] == '\\' || text[at + 2] == '/');
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

} // namespace

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
    for (auto& slot : s_children) {
        const pid_t pid = slot.load();
        if (pid > 0 && kill(-pid, SIGKILL) != 0)
            kill(pid, SIGKILL);
    }
}

void EndChildProcessesOnSignals()
{
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = EndChildrenOnSignal;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : {SIGTERM, SIGHUP, SIGINT})
        sigaction(signalNumber, &action, nullptr);
}

} // namespace zq

void ExitProcess(UINT uExitCode)
{
    zq::EndChildProcesses();
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

// The strings as the null-ended pointer list that posix_spawn takes; valid
// while the strings are.
std::vector<char*> PointerList(std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    for (auto& text : strings)
        pointers.push_back(&text[0]);
    pointers.push_back(nullptr);
    return pointers;
}

// Starts the program of argv[0] with its standard streams on /dev/null, in
// the folder when one is given. False with the Win32 error set when the
// folder is none or the child could not be started.
bool SpawnChild(char* const* argv, char* const* envp, LPCSTR currentDirectory, pid_t& pid)
{
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::string folder;
    if (currentDirectory != nullptr && currentDirectory[0] != '\0') {
        struct stat st;
        if (!LinuxPath(currentDirectory, folder) || stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            posix_spawn_file_actions_destroy(&actions);
            SetLastError(ERROR_DIRECTORY);
            return false;
        }
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    }

    // The child leads a process group of its own, so that ending it ends
    // whatever it started too, as ending a Windows job would.
    posix_spawnattr_t attributes;
    if (posix_spawnattr_init(&attributes) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);

    int rc = posix_spawn(&pid, argv[0], &actions, &attributes, argv, envp);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0) {
        zq::DebugFailure(zq::DebugArea::Process, "posix_spawn", argv[0], rc);
        SetLastError(rc == ENOEXEC ? ERROR_BAD_EXE_FORMAT : Win32ErrorFromErrno(rc));
        return false;
    }
    return true;
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
    }
    zq::NotifyKernelWaiters();
}

} // namespace

BOOL CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                    BOOL, DWORD dwCreationFlags, LPVOID lpEnvironment, LPCSTR lpCurrentDirectory, LPSTARTUPINFOA,
                    LPPROCESS_INFORMATION lpProcessInformation)
{
    if (lpProcessInformation == nullptr || (lpApplicationName == nullptr && lpCommandLine == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // A child that starts suspended cannot be had from posix_spawn.
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

    pid_t pid = 0;
    if (!SpawnChild(argv.data(), childEnvironment, lpCurrentDirectory, pid))
        return FALSE;

    TrackChild(pid);
    auto state = std::make_shared<ChildState>();
    state->pid = pid;
    // One thread per child waits for its end, so that waits on the handles
    // need no polling.
    try {
        std::thread(ReapChild, pid, state).detach();
    } catch (const std::exception&) {
        // Without a reaper the child cannot be waited for; it runs on and
        // is reaped when this process ends.
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }

    lpProcessInformation->hProcess = zq::RegisterHandle(std::make_shared<ProcessObject>(state));
    lpProcessInformation->hThread = zq::RegisterHandle(std::make_shared<ChildThreadObject>(state));
    lpProcessInformation->dwProcessId = static_cast<DWORD>(pid);
    lpProcessInformation->dwThreadId = static_cast<DWORD>(pid);
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
    // Not yet reaped, so the pid, and the group it leads, are still this
    // child's. The whole group ends: a child of the child must not live on.
    if (kill(-state->pid, SIGKILL) != 0 && kill(state->pid, SIGKILL) != 0) {
        const int err = errno;
        zq::DebugFailure(zq::DebugArea::Process, "kill", nullptr, err);
        SetLastError(Win32ErrorFromErrno(err));
        return FALSE;
    }
    return TRUE;
}
