// ShellExecuteA over xdg-open.
#include "platform/shell/Shell.h"

#include <strings.h>
#include <sys/stat.h>

#include <cctype>
#include <string>

#include "platform/base/DebugChannel.h"
#include "platform/paths/DrivePaths.h"
#include "platform/process/Process.h"

namespace {

HINSTANCE Result(intptr_t value)
{
    return reinterpret_cast<HINSTANCE>(value);
}

// "X:\..." or "X:/...": a file on a drive, which must exist.
bool IsDrivePath(const char* file)
{
    return std::isalpha(static_cast<unsigned char>(file[0])) && file[1] == ':' && (file[2] == '\\' || file[2] == '/');
}

// One argument of a command line, quoted so that SplitCommandLine gives it
// back as it is: backslashes are doubled only before a quote.
std::string Quoted(const std::string& argument)
{
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, '\\');
    return quoted + "\"";
}

// The shell's answer for a CreateProcessA error.
intptr_t ShellError(DWORD error)
{
    switch (error) {
    case ERROR_NOT_ENOUGH_MEMORY:
        return 0;
    case ERROR_DIRECTORY:
    case ERROR_PATH_NOT_FOUND:
        return SE_ERR_PNF;
    case ERROR_ACCESS_DENIED:
        return SE_ERR_ACCESSDENIED;
    default:
        // No xdg-open, or one that cannot run: nothing to open the file with.
        return SE_ERR_NOASSOC;
    }
}

}  // namespace

HINSTANCE ShellExecuteA(HWND, LPCSTR verb, LPCSTR file, LPCSTR, LPCSTR directory, int)
{
    if (file == nullptr || file[0] == '\0')
        return Result(SE_ERR_FNF);
    if (verb != nullptr && verb[0] != '\0' && strcasecmp(verb, "open") != 0)
        return Result(SE_ERR_NOASSOC);
    if (IsDrivePath(file)) {
        std::string path;
        DWORD error = ERROR_PATH_NOT_FOUND;
        struct stat st;
        if (!zq::WindowsToLinux(file, path, &error))
            return Result(static_cast<intptr_t>(error == ERROR_FILE_NOT_FOUND ? SE_ERR_FNF : SE_ERR_PNF));
        if (stat(path.c_str(), &st) != 0) {
            zq::DebugFailure(zq::DebugArea::Shell, "stat", path.c_str(), errno);
            return Result(static_cast<intptr_t>(zq::MissingPathError(path)));
        }
    }

    // xdg-open is a child as any other: tracked, ended with the program,
    // reaped by the process area; nobody waits for it here.
    std::string commandLine = "xdg-open " + Quoted(file);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, directory, &startup, &info)) {
        const DWORD error = GetLastError();
        zq::DebugPrintf(zq::DebugArea::Shell, "xdg-open not started for \"%s\": Win32 error %lu", file,
                        static_cast<unsigned long>(error));
        return Result(ShellError(error));
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return Result(42);
}
