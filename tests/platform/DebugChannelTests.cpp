#include "platform/base/DebugChannel.h"

#include "platform/base/WinTypes.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

// ZQDEBUG is read once per process, so each case runs in a fresh copy of the
// test program ("threadsafe" death tests start it again) with its own value.
class DebugChannelTest : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

namespace {

[[noreturn]] void PrintAndExit()
{
    zq::DebugFailure("serial", "open", "/dev/ttyUSB0", EACCES);
    zq::DebugFailure("process", "posix_spawn", nullptr, ENOENT);
    TRACE("step %d", 3);
    zq::ReportFailure("serial", "COM7 (/dev/rfcomm0): %s", "gone");
    std::fflush(stderr);
    std::exit(0);
}

} // namespace

TEST_F(DebugChannelTest, PrintsOnlyTheNamedAreas)
{
    setenv("ZQDEBUG", "serial", 1);
    EXPECT_EXIT(PrintAndExit(), ::testing::ExitedWithCode(0),
                "^zq:serial: open\\(\"/dev/ttyUSB0\"\\): Permission denied \\(errno 13\\)\n"
                "zq:serial: COM7 \\(/dev/rfcomm0\\): gone\n$");
}

TEST_F(DebugChannelTest, AllNamesEveryAreaAndTrace)
{
    setenv("ZQDEBUG", "all", 1);
    EXPECT_EXIT(PrintAndExit(), ::testing::ExitedWithCode(0),
                "zq:process: posix_spawn\\(\\): No such file or directory \\(errno 2\\)\n"
                "zq:trace: step 3\n");
}

TEST_F(DebugChannelTest, WithoutZqdebugOnlyReportsArePrinted)
{
    unsetenv("ZQDEBUG");
    EXPECT_EXIT(PrintAndExit(), ::testing::ExitedWithCode(0), "^zq:serial: COM7 \\(/dev/rfcomm0\\): gone\n$");
}
