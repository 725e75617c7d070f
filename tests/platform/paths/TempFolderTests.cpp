// The tests' own helper for folders and variables: a fault here would leak
// state from one test into the next, or hand tests paths the system never
// makes.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/paths/DrivePaths.h"
#include "platform/registry/Registry.h"
#include "tests/support/TempFolder.h"

namespace {

bool Exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

TEST(TempFolder, GoesWithEverythingInItAndItsWindowsFormNamesIt)
{
    std::string top, path;
    {
        zqtest::TempFolder temp("a b \xc3\xa4");
        path = temp.Linux();
        top = path.substr(0, path.rfind('/'));
        temp.Write("sub/deeper/file.bin", std::string("x\0y", 3));
        temp.Link("dangling", "/no/such/target");
        temp.Write("locked/inside/file.bin", "l");
        temp.Write("read-only/file.bin", "r");
        EXPECT_EQ(std::string("x\0y", 3), temp.Read("sub/deeper/file.bin"));
        EXPECT_TRUE(temp.Exists("dangling"));
        EXPECT_EQ(
            (std::vector<std::string>{"dangling", "locked", "locked/inside", "locked/inside/file.bin", "read-only",
                                      "read-only/file.bin", "sub", "sub/deeper", "sub/deeper/file.bin"}),
            temp.List());
        // Taken away as a test does to provoke a failure: the folders still
        // go for a user who is not root.
        ASSERT_EQ(0, chmod(temp.Linux("locked/inside").c_str(), 0));
        ASSERT_EQ(0, chmod(temp.Linux("locked").c_str(), 0));
        ASSERT_EQ(0, chmod(temp.Linux("read-only").c_str(), 0555));

        // The UTF-8 letter reaches the system as Windows-1252 and back.
        const std::string windows = zq::LinuxToWindows(temp.Linux("sub"));
        EXPECT_NE(std::string::npos, windows.find("a b \xe4\\sub"));
        std::string back;
        ASSERT_TRUE(zq::WindowsToLinux(windows.c_str(), back));
        EXPECT_EQ(temp.Linux("sub"), back);
    }
    EXPECT_FALSE(Exists(path));
    EXPECT_FALSE(Exists(top));
}

TEST(TempFolder, VariablesGetTheirOldStateBack)
{
    const char* name = "ZQ_TEMPFOLDER_TEST";
    unsetenv(name);
    {
        zqtest::ScopedEnvironmentVariable set(name, "one");
        EXPECT_STREQ("one", getenv(name));
        {
            zqtest::ScopedEnvironmentVariable cleared(name, nullptr);
            EXPECT_EQ(nullptr, getenv(name));
        }
        EXPECT_STREQ("one", getenv(name));
        {
            zqtest::ScopedEnvironmentVariable empty(name, "");
            EXPECT_STREQ("", getenv(name));
        }
        EXPECT_STREQ("one", getenv(name));
    }
    EXPECT_EQ(nullptr, getenv(name));
}

TEST(TempFolder, XdgHomeHoldsTheRegistryWhileItLives)
{
    const char* before = getenv("XDG_CONFIG_HOME");
    const std::string saved = before != nullptr ? before : "";
    std::string home;
    {
        zqtest::ScopedXdgConfigHome xdg;
        home = xdg.Linux();
        EXPECT_EQ(home + "/zqupdatemanager/user.reg", zq::RegistryFilePath());
    }
    EXPECT_FALSE(Exists(home));
    const char* after = getenv("XDG_CONFIG_HOME");
    EXPECT_EQ(before != nullptr, after != nullptr);
    EXPECT_EQ(saved, after != nullptr ? after : "");
}

}  // namespace
