#include "platform/files/Files.h"

#include <gtest/gtest.h>

#include <sys/statvfs.h>

#include <string>
#include <vector>

#include "TempFolder.h"

namespace {

TEST(FilePattern, WindowsWildcardRules)
{
    struct Case {
        const char* pattern;
        const char* name;
        bool matches;
    } cases[] = {
        {"*.*", "noext", true},
        {"*.*", "a.b.c", true},
        {"*.*", ".", true},
        {"*", "anything.at.all", true},
        {"*.xml", "update.xml", true},
        {"*.xml", "Update.XML", true},
        {"*.xml", "a.b.xml", true},
        {"*.xml", "update.xmlx", false},
        {"*.xml", "xml", false},
        {"*.xml", "..", false},
        {"?.txt", "a.txt", true},
        {"?.txt", "ab.txt", false},
        {"file?.txt", "file.txt", true}, // '?' matches nothing before a dot
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"name.*", "name", true},
        {"*.", "noext", true},
        {"*.", "a.b", false},
        {"a*b*c", "aXXbYYc", true},
        {"a*b*c", "aXXbYY", false},
        {"GR\xdc*", "gr\xfc\xdf" "e.txt", true}, // Windows-1252 letters fold too
        {"vds_*.bin", "VDS_01.BIN", true},
        {"exact.bin", "EXACT.bin", true},
        {"exact.bin", "exact.bin2", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.matches, zq::MatchesFilePattern(c.pattern, c.name)) << c.pattern << " / " << c.name;
}

std::vector<std::string> Search(const std::string& pattern, DWORD* error = nullptr)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA(pattern.c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) {
        if (error != nullptr)
            *error = GetLastError();
        return names;
    }
    do {
        names.push_back(data.cFileName);
    } while (FindNextFileA(h, &data));
    EXPECT_EQ(ERROR_NO_MORE_FILES, GetLastError());
    EXPECT_TRUE(FindClose(h));
    return names;
}

TEST(FileSearch, FindsEntriesAsWindowsListsThem)
{
    TempFolder temp;
    temp.Write("b.xml", "12345");
    temp.Write("A.XML", "");
    temp.Write("noext", "");
    temp.Write("\xe6\x97\xa5.txt", ""); // a name Windows-1252 cannot hold
    temp.MakeFolder("sub");
    temp.Write("sub/inner.xml", "");

    EXPECT_EQ((std::vector<std::string>{".", "..", "?.txt", "A.XML", "b.xml", "noext", "sub"}),
              Search(temp.Windows("*.*")));
    EXPECT_EQ((std::vector<std::string>{"A.XML", "b.xml"}), Search(temp.Windows("*.xml")));
    EXPECT_EQ((std::vector<std::string>{"A.XML", "b.xml"}), Search(temp.Windows() + "\\\\*.xml"));
    EXPECT_EQ((std::vector<std::string>{"b.xml"}), Search(temp.Windows("B.Xml")));
    // Without wildcards the folder itself is found in its parent.
    EXPECT_EQ((std::vector<std::string>{"sub"}), Search(temp.Windows("SUB")));

    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA(temp.Windows("b.xml").c_str(), &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    EXPECT_EQ(5u, data.nFileSizeLow);
    EXPECT_EQ(FILE_ATTRIBUTE_ARCHIVE, data.dwFileAttributes);
    EXPECT_FALSE(FindNextFileA(h, &data));
    EXPECT_EQ(ERROR_NO_MORE_FILES, GetLastError());
    EXPECT_TRUE(FindClose(h));
    EXPECT_FALSE(FindClose(h));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());

    DWORD error = 0;
    EXPECT_TRUE(Search(temp.Windows("*.zip"), &error).empty());
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, error);
    EXPECT_TRUE(Search(temp.Windows() + "\\missing\\*.*", &error).empty());
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, error);
    EXPECT_TRUE(Search("C:\\Temp\\*.*", &error).empty());
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, error);
    EXPECT_TRUE(Search(temp.Windows() + "\\" + std::string(300, '*') + ".xml", &error).empty());
    EXPECT_EQ(ERROR_FILENAME_EXCED_RANGE, error);

    // The root of the drive has no "." and "..".
    const std::vector<std::string> root = Search("Z:\\*");
    ASSERT_FALSE(root.empty());
    EXPECT_NE(".", root.front());
}

TEST(FileSearch, CFileFindStepsThroughEveryEntryAndSurvivesDeletion)
{
    TempFolder temp;
    temp.Write("one.bin", "");
    temp.Write("two.bin", "");
    temp.MakeFolder("dir");
    KeepCurrentDirectory keep;
    ASSERT_TRUE(SetCurrentDirectoryA(temp.Windows().c_str()));

    CFileFind finder;
    EXPECT_FALSE(finder.FindNextFile()); // no search yet
    ASSERT_TRUE(finder.FindFile("*.*"));  // relative to the current folder
    EXPECT_EQ(temp.Windows() + "\\", std::string(finder.GetRoot()));
    std::vector<std::string> seen;
    BOOL working = TRUE;
    while (working) {
        working = finder.FindNextFile();
        seen.push_back(std::string(finder.GetFileName()));
        if (finder.IsDots()) {
            EXPECT_TRUE(finder.IsDirectory());
            continue;
        }
        EXPECT_EQ(temp.Windows(seen.back()), std::string(finder.GetFilePath()));
        if (finder.IsDirectory())
            EXPECT_TRUE(RemoveDirectoryA(finder.GetFilePath()));
        else
            EXPECT_TRUE(DeleteFileA(finder.GetFilePath()));
    }
    finder.Close();
    EXPECT_EQ((std::vector<std::string>{".", "..", "dir", "one.bin", "two.bin"}), seen);
    EXPECT_FALSE(finder.FindFile(temp.Windows("*.bin").c_str()));
    // Only "." and ".." are left.
    EXPECT_EQ(2u, Search(temp.Windows("*.*")).size());
}

TEST(FileFunctions, FoldersAttributesAndDeletion)
{
    TempFolder temp;
    const std::string folder = temp.Windows("Repository");
    EXPECT_FALSE(PathFileExistsA(folder.c_str()));
    EXPECT_FALSE(PathIsDirectoryA(folder.c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(folder.c_str()));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());

    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL));
    EXPECT_FALSE(CreateDirectoryA(folder.c_str(), NULL));
    EXPECT_EQ(ERROR_ALREADY_EXISTS, GetLastError());
    EXPECT_FALSE(CreateDirectoryA((temp.Windows() + "\\a\\b").c_str(), NULL));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
    EXPECT_TRUE(PathIsDirectoryA(folder.c_str()));
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, GetFileAttributesA(folder.c_str()));

    temp.Write("Repository/x.bin", "x");
    const std::string file = folder + "\\x.bin";
    EXPECT_TRUE(PathFileExistsA(file.c_str()));
    EXPECT_FALSE(PathIsDirectoryA(file.c_str()));
    EXPECT_FALSE(PathFileExistsA((folder + "\\*.bin").c_str()));
    EXPECT_FALSE(PathFileExistsA(NULL));

    EXPECT_FALSE(RemoveDirectoryA(folder.c_str()));
    EXPECT_EQ(ERROR_DIR_NOT_EMPTY, GetLastError());
    EXPECT_FALSE(RemoveDirectoryA(file.c_str()));
    EXPECT_EQ(ERROR_DIRECTORY, GetLastError());
    EXPECT_FALSE(DeleteFileA(folder.c_str()));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_TRUE(DeleteFileA(file.c_str()));
    EXPECT_FALSE(DeleteFileA(file.c_str()));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
    EXPECT_FALSE(DeleteFileA((folder + "\\gone\\x.bin").c_str()));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
    EXPECT_TRUE(RemoveDirectoryA(folder.c_str()));
    EXPECT_FALSE(temp.Exists("Repository"));
}

TEST(DiskSpace, MeasuresTheFileSystemOfTheFolder)
{
    ULARGE_INTEGER available, total, free;
    ASSERT_TRUE(GetDiskFreeSpaceExA("Z:\\", &available, &total, &free));
    struct statvfs vfs;
    ASSERT_EQ(0, statvfs("/", &vfs));
    const double expected = static_cast<double>(vfs.f_bfree) * static_cast<double>(vfs.f_frsize);
    // Other processes write meanwhile; the figure must be the same disk's.
    EXPECT_NEAR(expected, static_cast<double>(free.QuadPart), 256.0 * 1024 * 1024);
    EXPECT_LE(available.QuadPart, free.QuadPart);
    EXPECT_LE(free.QuadPart, total.QuadPart);
    EXPECT_TRUE(GetDiskFreeSpaceExA(NULL, NULL, NULL, &free));

    EXPECT_FALSE(GetDiskFreeSpaceExA("C:\\", &available, &total, &free));
    EXPECT_FALSE(GetDiskFreeSpaceExA("\\\\server\\share\\", &available, &total, &free));
    EXPECT_FALSE(GetDiskFreeSpaceExA("Z:\\no such folder\\here", &available, &total, &free));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
}

TEST(DiskSpace, ProviderGivesExactFiguresToBothQueries)
{
    zq::SetDiskSpaceProvider([](const std::string& folder, zq::DiskSpace& space) {
        if (folder != "/")
            return false;
        space.freeToCaller = 1000;
        space.total = 10ull << 40;
        space.totalFree = 2001;
        return true;
    });
    ULARGE_INTEGER available, total, free;
    EXPECT_TRUE(GetDiskFreeSpaceExA("Z:\\", &available, &total, &free));
    EXPECT_EQ(1000u, available.QuadPart);
    EXPECT_EQ(10ull << 40, total.QuadPart);
    EXPECT_EQ(2001u, free.QuadPart);
    DWORD sectors = 0, bytes = 0, freeClusters = 0, clusters = 0;
    EXPECT_TRUE(GetDiskFreeSpaceA("Z:\\", &sectors, &bytes, &freeClusters, &clusters));
    const ULONGLONG cluster = static_cast<ULONGLONG>(sectors) * bytes;
    EXPECT_EQ(1000u / cluster, freeClusters);
    EXPECT_EQ((10ull << 40) / cluster, clusters);
    EXPECT_FALSE(GetDiskFreeSpaceExA("Z:\\tmp", &available, &total, &free));
    zq::SetDiskSpaceProvider(nullptr);
    EXPECT_TRUE(GetDiskFreeSpaceA("Z:\\", &sectors, &bytes, &freeClusters, &clusters));
    EXPECT_GT(static_cast<ULONGLONG>(sectors) * bytes * clusters, 0u);
}

} // namespace
