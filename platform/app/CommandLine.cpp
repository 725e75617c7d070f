// __argc and __argv, filled from the real command line and the executable's
// path.
#include "platform/app/CommandLine.h"

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/paths/DrivePaths.h"
#include "platform/strings/Codepage.h"

#include <unistd.h>

int __argc = 0;
char** __argv = nullptr;

namespace {

std::vector<std::string>& Arguments()
{
    static std::vector<std::string> arguments;
    return arguments;
}

std::vector<char*>& Pointers()
{
    static std::vector<char*> pointers;
    return pointers;
}

std::string ProgramPath(const char* argv0)
{
    std::vector<char> buffer(PATH_MAX + 1);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length > 0)
        return zq::LinuxToWindows(std::string(buffer.data(), static_cast<size_t>(length)));
    if (argv0 != nullptr) {
        if (char* resolved = realpath(argv0, nullptr)) {
            std::string path = zq::LinuxToWindows(resolved);
            free(resolved);
            return path;
        }
        return zq::Utf8ToCp1252(argv0);
    }
    return std::string();
}

}  // namespace

namespace zq {

void InitCommandLine(int argc, char** argv)
{
    std::vector<std::string>& arguments = Arguments();
    arguments.clear();
    arguments.push_back(ProgramPath(argc > 0 && argv != nullptr ? argv[0] : nullptr));
    for (int i = 1; i < argc && argv != nullptr; ++i)
        arguments.push_back(argv[i] != nullptr ? Utf8ToCp1252(argv[i]) : std::string());
    std::vector<char*>& pointers = Pointers();
    pointers.clear();
    for (std::string& argument : arguments)
        pointers.push_back(&argument[0]);
    pointers.push_back(nullptr);
    __argc = static_cast<int>(arguments.size());
    __argv = pointers.data();
}

}  // namespace zq

namespace {

// Until main fills it, the command line holds the program's path alone, so
// code that runs without the layer's main (tests) still finds its folder.
struct InitialCommandLine {
    InitialCommandLine()
    {
        if (__argv == nullptr)
            zq::InitCommandLine(0, nullptr);
    }
} g_initialCommandLine;

}  // namespace
