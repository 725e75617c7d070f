// ShellExecuteA over xdg-open.
#include "platform/shell/Shell.h"

#include <spawn.h>
#include <strings.h>
#include <sys/wait.h>

#include <string>
#include <thread>

#include "platform/base/DebugChannel.h"
#include "platform/strings/Codepage.h"

extern char** environ;

HINSTANCE ShellExecuteA(HWND, LPCSTR verb, LPCSTR file, LPCSTR, LPCSTR, int)
{
    auto code = [](intptr_t v) { return reinterpret_cast<HINSTANCE>(v); };
    if (!file || !*file) return code(SE_ERR_FNF);
    if (verb && *verb && strcasecmp(verb, "open") != 0) return code(SE_ERR_NOASSOC);
    std::string target = zq::Cp1252ToUtf8(file);
    char program[] = "xdg-open";
    char* argv[] = {program, &target[0], nullptr};
    pid_t pid = 0;
    if (int rc = posix_spawnp(&pid, program, nullptr, nullptr, argv, environ); rc != 0) {
        zq::DebugFailure(zq::DebugArea::Shell, "posix_spawnp", program, rc);
        return code(SE_ERR_NOASSOC);
    }
    // The caller does not wait for the program; its end is collected on the
    // side so that no zombie stays.
    std::thread([pid] {
        int status = 0;
        waitpid(pid, &status, 0);
    }).detach();
    return code(42);
}
