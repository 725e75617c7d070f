// The command line's first argument.
#include "platform/app/CommandLine.h"
#include "platform/paths/DrivePaths.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CommandLine, FirstArgumentIsTheProgramsFullWindowsPath)
{
    // Filled before main, from the executable alone.
    ASSERT_EQ(1, __argc);
    ASSERT_NE(nullptr, __argv);
    const std::string initial = __argv[0];

    char name[] = "./relative/start/name";
    char argument[] = "Gr\xc3\xbc\xc3\x9f"
                      "e";
    char* argv[] = {name, argument, nullptr};
    zq::InitCommandLine(2, argv);

    ASSERT_EQ(2, __argc);
    const std::string program = __argv[0];
    EXPECT_EQ(zq::LinuxToWindows(zq::ProgramLinuxFolder()) + "\\test_platform", program);
    EXPECT_EQ(0u, program.find("Z:\\"));
    EXPECT_EQ(initial, program);
    EXPECT_STREQ("Gr\xfc\xdf"
                 "e",
                 __argv[1]);
    EXPECT_EQ(nullptr, __argv[2]);

    zq::InitCommandLine(0, nullptr);
    ASSERT_EQ(1, __argc);
    EXPECT_EQ(program, __argv[0]);
}

}  // namespace
