// The drive view: Windows paths to Linux paths and back, names that name
// nothing, relative paths, letter case and path splitting.
#include "platform/files/FileApi.h"
#include "platform/paths/DrivePaths.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/TempFolder.h"

namespace {

TEST(DrivePaths, WindowsPathsNameLinuxPaths)
{
    struct Case {
        const char* windows;
        const char* linuxPath;
    } cases[] = {
        {"Z:\\home\\me\\a b.zip", "/home/me/a b.zip"},
        {"z:\\home\\me\\a b.zip", "/home/me/a b.zip"},
        {"Z:/home//me\\.\\x\\..\\a b.zip", "/home/me/a b.zip"},
        {"Z:\\", "/"},
        {"Z:\\..\\etc", "/etc"},
        {"\\etc\\hosts", "/etc/hosts"},
        {"Z:\\tmp\\Gr\xfc\xdf"
         "e \x80.txt",
         "/tmp/Gr\xc3\xbc\xc3\x9f"
         "e \xe2\x82\xac.txt"},
    };
    for (const Case& c : cases) {
        std::string linuxPath;
        DWORD error = 0;
        EXPECT_TRUE(zq::WindowsToLinux(c.windows, linuxPath, &error)) << c.windows;
        EXPECT_EQ(c.linuxPath, linuxPath) << c.windows;
    }
}

TEST(DrivePaths, PathsThatNameNothingFail)
{
    struct Case {
        const char* windows;
        DWORD error;
    } cases[] = {
        {"C:\\Temp\\Repository", ERROR_PATH_NOT_FOUND},
        {"c:\\", ERROR_PATH_NOT_FOUND},
        {"", ERROR_PATH_NOT_FOUND},
        {"\\\\server\\share\\file", ERROR_BAD_NETPATH},
        {"Z:\\tmp\\*.xml", ERROR_INVALID_NAME},
        {"Z:\\tmp\\a?b", ERROR_INVALID_NAME},
        {"Z:\\tmp\\a:stream", ERROR_INVALID_NAME},
        {"1:\\tmp", ERROR_INVALID_NAME},
    };
    for (const Case& c : cases) {
        std::string linuxPath = "unchanged";
        DWORD error = 0;
        EXPECT_FALSE(zq::WindowsToLinux(c.windows, linuxPath, &error)) << c.windows;
        EXPECT_EQ(c.error, error) << c.windows;
        EXPECT_TRUE(linuxPath.empty()) << c.windows;
    }
    std::string linuxPath;
    EXPECT_FALSE(zq::WindowsToLinux(nullptr, linuxPath));
}

TEST(DrivePaths, LinuxPathsShowAsDriveZ)
{
    struct Case {
        const char* linuxPath;
        const char* windows;
    } cases[] = {
        {"/home/me/a b.zip", "Z:\\home\\me\\a b.zip"},
        {"/", "Z:\\"},
        {"/tmp//x/", "Z:\\tmp\\x"},
        {"/tmp/Gr\xc3\xbc\xc3\x9f"
         "e \xe2\x82\xac",
         "Z:\\tmp\\Gr\xfc\xdf"
         "e \x80"},
        // Letters Windows-1252 cannot hold, and a backslash in a Linux
        // name, cannot be reached by name: they show as '?'.
        {"/tmp/\xe6\x97\xa5\xe6\x9c\xac.txt", "Z:\\tmp\\??.txt"},
        {"/tmp/a\\b", "Z:\\tmp\\a?b"},
        {"rel/dir", "rel\\dir"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.windows, zq::LinuxToWindows(c.linuxPath)) << c.linuxPath;
}

TEST(DrivePaths, RelativePathsStartAtTheCurrentDirectory)
{
    zqtest::TempFolder temp("cur dir");
    temp.MakeFolder("sub");
    zqtest::KeepCurrentDirectory keep;
    ASSERT_TRUE(SetCurrentDirectoryA(zq::LinuxToWindows(temp.Linux()).c_str()));

    char buffer[MAX_PATH];
    const DWORD length = GetCurrentDirectoryA(sizeof(buffer), buffer);
    EXPECT_EQ(zq::LinuxToWindows(temp.Linux()), buffer);
    EXPECT_EQ(zq::LinuxToWindows(temp.Linux()).size(), length);
    // Too small: the size needed with the NUL, the buffer untouched.
    char small[4] = "abc";
    EXPECT_EQ(length + 1, GetCurrentDirectoryA(sizeof(small), small));
    EXPECT_STREQ("abc", small);

    struct Case {
        const char* windows;
        std::string linuxPath;
    } cases[] = {
        {"file.txt", temp.Linux("file.txt")},
        {"sub\\..\\sub\\f", temp.Linux("sub/f")},
        {"Z:file.txt", temp.Linux("file.txt")},
        {".", temp.Linux()},
    };
    for (const Case& c : cases) {
        std::string linuxPath;
        EXPECT_TRUE(zq::WindowsToLinux(c.windows, linuxPath)) << c.windows;
        EXPECT_EQ(c.linuxPath, linuxPath) << c.windows;
    }

    std::string full;
    ASSERT_TRUE(zq::FullWindowsPath("sub\\New.TXT", full));
    EXPECT_EQ((zq::LinuxToWindows(temp.Linux()) + "\\sub\\New.TXT"), full);

    EXPECT_FALSE(SetCurrentDirectoryA("missing"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
    EXPECT_FALSE(SetCurrentDirectoryA("C:\\Tools"));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
}

TEST(DrivePaths, NamesAreFoundInAnyLetterCase)
{
    zqtest::TempFolder temp("zq files");
    temp.MakeFolder("Repository");
    temp.Write("Repository/Update.XML", "x");
    temp.Write("Repository/\xc3\x9c"
               "ber.bin",
               "y");  // "Über.bin"

    std::string linuxPath;
    ASSERT_TRUE(zq::WindowsToLinux((zq::LinuxToWindows(temp.Linux()) + "\\REPOSITORY\\update.xml").c_str(), linuxPath));
    EXPECT_EQ(temp.Linux("Repository/Update.XML"), linuxPath);
    ASSERT_TRUE(zq::WindowsToLinux((zq::LinuxToWindows(temp.Linux()) + "\\repository\\\xfc"
                                                                       "BER.BIN")
                                       .c_str(),
                                   linuxPath));
    EXPECT_EQ(temp.Linux("Repository/\xc3\x9c"
                         "ber.bin"),
              linuxPath);
    // A new name keeps its own case, in the folder's real name.
    ASSERT_TRUE(zq::WindowsToLinux((zq::LinuxToWindows(temp.Linux()) + "\\repository\\New.txt").c_str(), linuxPath));
    EXPECT_EQ(temp.Linux("Repository/New.txt"), linuxPath);
    EXPECT_TRUE(PathFileExistsA((zq::LinuxToWindows(temp.Linux()) + "\\REPOSITORY\\UPDATE.xml").c_str()));
}

TEST(DrivePaths, SplitAtLeavesOutEmptyPiecesAndJoinFirstPutsTheSeparatorBetween)
{
    const struct {
        const char* text;
        char separator;
        std::vector<std::string> pieces;
    } cases[] = {
        {"", '/', {}},
        {"/", '/', {}},
        {"/usr//local/bin/", '/', {"usr", "local", "bin"}},
        {"Software\\\\Vendor\\App", '\\', {"Software", "Vendor", "App"}},
        {"/bin::/usr/bin:", ':', {"/bin", "/usr/bin"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.pieces, zq::SplitAt(c.text, c.separator));
    }
    const std::vector<std::string> pieces = {"a", "b", "c"};
    EXPECT_EQ("", zq::JoinFirst(pieces, 0, '\\'));
    EXPECT_EQ("a", zq::JoinFirst(pieces, 1, '\\'));
    EXPECT_EQ("a\\b\\c", zq::JoinFirst(pieces, 3, '\\'));
}

}  // namespace
