#include "platform/base/DebugChannel.h"

#include "platform/base/WinTypes.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
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
                               zq::DebugArea::Window})
        zq::DebugPrintf(area, "on");
    TRACE("on");
    std::fflush(stderr);
    std::exit(0);
}

} // namespace

// Only the named areas print, a report always; a misspelt area is told
// once, with the names that exist, and the areas spelt right still print.
TEST_F(DebugChannelTest, PrintsTheAreasThatZqdebugNames)
{
    const std::string known = "\\(the areas: serial, process, files, registry, paths, modules, window, trace, all\\)\n";
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
        if (c.zqdebug)
            setenv("ZQDEBUG", c.zqdebug, 1);
        else
            unsetenv("ZQDEBUG");
        EXPECT_EXIT(PrintAndExit(), ::testing::ExitedWithCode(0), c.output);
    }
}

TEST_F(DebugChannelTest, EveryAreaAnswersToItsName)
{
    setenv("ZQDEBUG", "serial,process,files,registry,paths,modules,window,trace", 1);
    EXPECT_EXIT(PrintOnEveryAreaAndExit(), ::testing::ExitedWithCode(0),
                "^zq:serial: on\nzq:process: on\nzq:files: on\nzq:registry: on\nzq:paths: on\n"
                "zq:modules: on\nzq:window: on\nzq:trace: on\n$");
}
