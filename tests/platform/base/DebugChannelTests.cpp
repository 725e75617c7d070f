// The debug channel: which areas ZQDEBUG turns on, and the line of each area's
// failing Linux call.
#include "platform/base/DebugChannel.h"

#include "platform/base/WinTypes.h"
#include "platform/gdi/Gdi.h"
#include "platform/shell/Shell.h"
#include "platform/threads/Threads.h"
#include "platform/window/NativeBackend.h"
#include "platform/window/WinUser.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

// ZQDEBUG is read once per process, so each case runs in a fresh copy of the
// test program ("threadsafe" death tests start it again) with its own value.
class DebugChannelTest : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

namespace {

[[noreturn]] void PrintAndExit()
{
    zq::DebugFailure(zq::DebugArea::Serial, "open", "/dev/ttyUSB0", EACCES);
    zq::DebugFailure(zq::DebugArea::Process, "posix_spawn", nullptr, ENOENT);
    TRACE("step %d", 3);
    zq::ReportFailure(zq::DebugArea::Serial, "COM7 (/dev/rfcomm0): %s", "gone");
    std::fflush(stderr);
    std::exit(0);
}

// One line on every area, named as a user names them in ZQDEBUG.
[[noreturn]] void PrintOnEveryAreaAndExit()
{
    for (zq::DebugArea area : {zq::DebugArea::Serial, zq::DebugArea::Process, zq::DebugArea::Files,
                               zq::DebugArea::Registry, zq::DebugArea::Paths, zq::DebugArea::Modules,
                               zq::DebugArea::Threads, zq::DebugArea::Shell, zq::DebugArea::Gdi, zq::DebugArea::Window})
        zq::DebugPrintf(area, "on");
    TRACE("on");
    std::fflush(stderr);
    std::exit(0);
}

}  // namespace

// Only the named areas print, a report always; a misspelt area is told
// once, with the names that exist, and the areas spelt right still print.
TEST_F(DebugChannelTest, PrintsTheAreasThatZqdebugNames)
{
    const std::string known =
        "\\(the areas: serial, process, files, registry, paths, modules, threads, shell, gdi, window, trace, all\\)\n";
    const std::string denied = "zq:serial: open\\(\"/dev/ttyUSB0\"\\): Permission denied \\(errno 13\\)\n";
    const std::string missing = "zq:process: posix_spawn\\(\\): No such file or directory \\(errno 2\\)\n";
    const std::string report = "zq:serial: COM7 \\(/dev/rfcomm0\\): gone\n";
    const struct {
        const char* zqdebug;  // null: not set
        std::string output;
    } cases[] = {
        {"serial", "^" + denied + report + "$"},
        {"all", denied + missing + "zq:trace: step 3\n" + report + "$"},
        {nullptr, "^" + report + "$"},
        {"seral,process", "^zq: ZQDEBUG: unknown area \"seral\" " + known + missing + report + "$"},
        {"Serial;;trace x",
         "^zq: ZQDEBUG: unknown areas \"Serial\", \"x\" " + known + "zq:trace: step 3\n" + report + "$"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.zqdebug ? c.zqdebug : "(not set)");
        const zqtest::ScopedEnvironmentVariable zqdebug("ZQDEBUG", c.zqdebug);
        EXPECT_EXIT(PrintAndExit(), ::testing::ExitedWithCode(0), c.output);
    }
}

TEST_F(DebugChannelTest, EveryAreaAnswersToItsName)
{
    const zqtest::ScopedEnvironmentVariable zqdebug(
        "ZQDEBUG", "serial,process,files,registry,paths,modules,threads,shell,gdi,window,trace");
    EXPECT_EXIT(PrintOnEveryAreaAndExit(), ::testing::ExitedWithCode(0),
                "^zq:serial: on\nzq:process: on\nzq:files: on\nzq:registry: on\nzq:paths: on\n"
                "zq:modules: on\nzq:threads: on\nzq:shell: on\nzq:gdi: on\nzq:window: on\nzq:trace: on\n$");
}

namespace {

UINT DoNothing(LPVOID)
{
    return 0;
}

// The address space the process may still take: what it has mapped now and
// a little more, so that a large mapping fails as it does on a full machine.
void LimitAddressSpace()
{
    std::ifstream statm("/proc/self/statm");
    unsigned long long pages = 0;
    statm >> pages;
    const rlim_t limit = static_cast<rlim_t>((pages + 64 * 1024) * static_cast<unsigned long long>(getpagesize()));
    const rlimit rl = {limit, limit};
    setrlimit(RLIMIT_AS, &rl);
}

// Each provokes a real failure of one area's Linux calls, then ends the
// process without its exit handlers, which a half-started library (GTK)
// would only make noisy.
[[noreturn]] void ThreadThatDoesNotFit()
{
    LimitAddressSpace();
    // A 4 GiB stack does not fit into what is left.
    if (AfxBeginThread(DoNothing, nullptr, THREAD_PRIORITY_NORMAL, 0xFFFFFFFFu) != nullptr)
        std::fprintf(stderr, "the thread started\n");
    std::fflush(stderr);
    std::_Exit(0);
}

[[noreturn]] void OpenerThatIsNotFound()
{
    setenv("PATH", "/proc/zq-no-such-folder", 1);
    if (reinterpret_cast<intptr_t>(
            ShellExecuteA(nullptr, "open", "https://example.invalid/", nullptr, nullptr, SW_SHOWNORMAL)) > 32)
        std::fprintf(stderr, "the opener started\n");
    std::fflush(stderr);
    std::_Exit(0);
}

[[noreturn]] void BitmapThatCairoRefuses()
{
    // Within the layer's own bound on pixels, beyond cairo's width limit.
    if (HBITMAP bitmap = CreateBitmap(40000, 1, 1, 32, nullptr))
        std::fprintf(stderr, "the bitmap was made %p\n", static_cast<void*>(bitmap));
    std::fflush(stderr);
    std::_Exit(0);
}

[[noreturn]] void DisplayThatDoesNotExist()
{
    setenv("DISPLAY", ":65001", 1);
    unsetenv("WAYLAND_DISPLAY");
    char name[] = "test_platform";
    char* args[] = {name, nullptr};
    int argc = 1;
    char** argv = args;
    if (zq::win::UseNativeBackend(&argc, &argv))
        std::fprintf(stderr, "the display opened\n");
    std::fflush(stderr);
    std::_Exit(0);
}

}  // namespace

// The failing Linux call of each area prints its one line when ZQDEBUG names
// the area, and nothing at all when it is not set.
TEST_F(DebugChannelTest, EachAreaPrintsItsFailingLinuxCall)
{
    const struct {
        const char* area;
        void (*provoke)();
        const char* line;
    } cases[] = {
        {"threads", ThreadThatDoesNotFit, "zq:threads: pthread_create\\(\\): [^\n]+ \\(errno [0-9]+\\)\n"},
        {"shell", OpenerThatIsNotFound,
         "zq:shell: xdg-open not started for \"https://example.invalid/\": Win32 error 2\n"},
        {"gdi", BitmapThatCairoRefuses, "zq:gdi: cairo_image_surface_create\\(40000 x 1\\): [^\n]+\n"},
        {"window", DisplayThatDoesNotExist, "zq:window: gtk_init_check\\(\":65001\"\\) failed\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.area);
        {
            const zqtest::ScopedEnvironmentVariable zqdebug("ZQDEBUG", c.area);
            EXPECT_EXIT(c.provoke(), ::testing::ExitedWithCode(0), std::string("^") + c.line + "$");
        }
        const zqtest::ScopedEnvironmentVariable unset("ZQDEBUG", nullptr);
        EXPECT_EXIT(c.provoke(), ::testing::ExitedWithCode(0), "^$");
    }
}
