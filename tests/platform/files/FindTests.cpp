// The Windows wildcard rules, the file search, links, alternate names, the
// folder functions and free space.
#include "platform/files/Files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include <string>
#include <vector>

#include "platform/paths/DrivePaths.h"
#include "tests/support/HostFacts.h"
#include "tests/support/ScopedSeam.h"
#include "tests/support/TempFolder.h"

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
        {"file?.txt", "file.txt", true},  // '?' matches nothing before a dot
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"name.*", "name", true},
        {"*.", "noext", true},
        {"*.", "a.b", false},
        {"a*b*c", "aXXbYYc", true},
        {"a*b*c", "aXXbYY", false},
        {"GR\xdc*",
         "gr\xfc\xdf"
         "e.txt",
         true},  // Windows-1252 letters fold too
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
    zqtest::TempFolder temp("zq files");
    temp.Write("b.xml", "12345");
    temp.Write("A.XML", "");
    temp.Write("noext", "");
    temp.Write("\xe6\x97\xa5.txt", "");  // a name Windows-1252 cannot hold
    temp.MakeFolder("sub");
    temp.Write("sub/inner.xml", "");

    EXPECT_EQ((std::vector<std::string>{".", "..", "?.txt", "A.XML", "b.xml", "noext", "sub"}),
              Search(zq::LinuxToWindows(temp.Linux("*.*"))));
    EXPECT_EQ((std::vector<std::string>{"A.XML", "b.xml"}), Search(zq::LinuxToWindows(temp.Linux("*.xml"))));
    EXPECT_EQ((std::vector<std::string>{"A.XML", "b.xml"}), Search(zq::LinuxToWindows(temp.Linux()) + "\\\\*.xml"));
    EXPECT_EQ((std::vector<std::string>{"b.xml"}), Search(zq::LinuxToWindows(temp.Linux("B.Xml"))));
    // Without wildcards the folder itself is found in its parent.
    EXPECT_EQ((std::vector<std::string>{"sub"}), Search(zq::LinuxToWindows(temp.Linux("SUB"))));

    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA(zq::LinuxToWindows(temp.Linux("b.xml")).c_str(), &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    EXPECT_EQ(5u, data.nFileSizeLow);
    EXPECT_EQ(FILE_ATTRIBUTE_ARCHIVE, data.dwFileAttributes);
    EXPECT_FALSE(FindNextFileA(h, &data));
    EXPECT_EQ(ERROR_NO_MORE_FILES, GetLastError());
    EXPECT_TRUE(FindClose(h));
    EXPECT_FALSE(FindClose(h));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());

    DWORD error = 0;
    EXPECT_TRUE(Search(zq::LinuxToWindows(temp.Linux("*.zip")), &error).empty());
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, error);
    EXPECT_TRUE(Search(zq::LinuxToWindows(temp.Linux()) + "\\missing\\*.*", &error).empty());
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, error);
    EXPECT_TRUE(Search("C:\\Temp\\*.*", &error).empty());
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, error);
    EXPECT_TRUE(Search(zq::LinuxToWindows(temp.Linux()) + "\\" + std::string(300, '*') + ".xml", &error).empty());
    EXPECT_EQ(ERROR_FILENAME_EXCED_RANGE, error);

    // The root of the drive has no "." and "..".
    const std::vector<std::string> root = Search("Z:\\*");
    ASSERT_FALSE(root.empty());
    EXPECT_NE(".", root.front());
}

// What a search returns for one name.
WIN32_FIND_DATAA FindOne(const std::string& pattern)
{
    WIN32_FIND_DATAA data;
    memset(&data, 0, sizeof(data));
    HANDLE h = FindFirstFileA(pattern.c_str(), &data);
    EXPECT_NE(INVALID_HANDLE_VALUE, h) << pattern;
    if (h != INVALID_HANDLE_VALUE)
        FindClose(h);
    return data;
}

// Windows describes a symbolic link itself: a reparse point, a folder when
// it points to one. RemoveDirectory removes a folder link and DeleteFile
// refuses it; DeleteFile removes a file link. What a link points to is
// never touched.
TEST(FileSearch, LinksAreListedAsLinksAndRemovedThemselves)
{
    zqtest::TempFolder temp("zq files");
    zqtest::TempFolder elsewhere("elsewhere");
    elsewhere.Write("keep.bin", "keep");
    elsewhere.MakeFolder("folder");
    elsewhere.Write("folder/inside.bin", "inside");
    temp.MakeFolder("real");
    ASSERT_EQ(0, symlink(elsewhere.Linux("folder").c_str(), temp.Linux("to folder").c_str()));
    ASSERT_EQ(0, symlink(elsewhere.Linux("keep.bin").c_str(), temp.Linux("to file").c_str()));
    ASSERT_EQ(0, symlink(temp.Linux("gone").c_str(), temp.Linux("dangling").c_str()));
    ASSERT_EQ(0, symlink(".", temp.Linux("dot").c_str()));

    const DWORD folderLink = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    const DWORD fileLink = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT;
    struct Case {
        const char* name;
        DWORD attributes;
    } cases[] = {
        {"real", FILE_ATTRIBUTE_DIRECTORY},
        {"to folder", folderLink},
        {"dot", folderLink},
        {"to file", fileLink},
        {"dangling", fileLink},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const WIN32_FIND_DATAA data = FindOne(zq::LinuxToWindows(temp.Linux(c.name)));
        EXPECT_EQ(c.attributes, data.dwFileAttributes);
        EXPECT_EQ(c.attributes, GetFileAttributesA(zq::LinuxToWindows(temp.Linux(c.name)).c_str()));
        if (c.attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            EXPECT_EQ(IO_REPARSE_TAG_SYMLINK, data.dwReserved0);
            EXPECT_EQ(0u, data.nFileSizeLow);  // the link's size, not its target's
        }
    }
    // A search through a link to a folder sees that folder, as on Windows.
    EXPECT_EQ((std::vector<std::string>{".", "..", "inside.bin"}),
              Search(zq::LinuxToWindows(temp.Linux("to folder")) + "\\*.*"));

    EXPECT_FALSE(DeleteFileA(zq::LinuxToWindows(temp.Linux("to folder")).c_str()));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_FALSE(RemoveDirectoryA(zq::LinuxToWindows(temp.Linux("to file")).c_str()));
    EXPECT_EQ(ERROR_DIRECTORY, GetLastError());
    EXPECT_TRUE(RemoveDirectoryA(zq::LinuxToWindows(temp.Linux("to folder")).c_str()));
    EXPECT_TRUE(RemoveDirectoryA(zq::LinuxToWindows(temp.Linux("dot")).c_str()));
    EXPECT_TRUE(DeleteFileA(zq::LinuxToWindows(temp.Linux("to file")).c_str()));
    EXPECT_TRUE(DeleteFileA(zq::LinuxToWindows(temp.Linux("dangling")).c_str()));
    EXPECT_EQ((std::vector<std::string>{".", "..", "real"}), Search(zq::LinuxToWindows(temp.Linux("*.*"))));
    EXPECT_EQ("keep", elsewhere.Read("keep.bin"));
    EXPECT_EQ("inside", elsewhere.Read("folder/inside.bin"));
}

// A name that Windows-1252 cannot show reads with '?', which no file
// function accepts; its alternate name reaches it, as a short name does on
// Windows.
TEST(FileSearch, NamesTheCodePageCannotShowAreReachedByTheirAlternateName)
{
    struct Case {
        const char* linuxName;
        const char* shown;
        bool folder;
    } cases[] = {
        {"\xe6\x97\xa5\xe6\x9c\xac.xml", "??.xml", false},  // Japanese
        {"\xe4\xb8\xad\xe5\x9b\xbd.xml", "??.xml", false},  // Chinese, shown the same
        {"\xd0\xb4\xd0\xb8\xd1\x80", "???", true},          // Cyrillic folder
        {"latin1 \xe4.bin", "latin1 ?.bin", false},         // not UTF-8
        {"what?.txt", "what?.txt", false},                  // a wildcard in the name
        {"back\\slash", "back?slash", false},
        {"a:b", "a:b", false},
    };
    zqtest::TempFolder temp("zq files");
    for (const Case& c : cases) {
        if (c.folder) {
            temp.MakeFolder(c.linuxName);
            temp.Write(std::string(c.linuxName) + "/\xd1\x84\xd0\xb0\xd0\xb9\xd0\xbb.bin", "inner");
        } else {
            temp.Write(c.linuxName, c.linuxName);
        }
    }
    temp.Write("Zubeh\xc3\xb6r.txt", "has a Windows-1252 name");

    std::vector<std::string> alternates;
    CFileFind finder;
    BOOL working = finder.FindFile(zq::LinuxToWindows(temp.Linux("*.*")).c_str());
    while (working) {
        working = finder.FindNextFile();
        if (finder.IsDots())
            continue;
        const std::string path(finder.GetFilePath());
        if (std::string(finder.GetFileName()) == "Zubeh\xf6r.txt") {
            EXPECT_EQ(zq::LinuxToWindows(temp.Linux("Zubeh\xc3\xb6r.txt")), path);
            continue;
        }
        const std::string alternate = path.substr(path.rfind('\\') + 1);
        alternates.push_back(alternate);
        EXPECT_EQ('~', alternate[0]) << path;
        EXPECT_LE(alternate.size(), 12u);
        for (unsigned char ch : alternate)
            EXPECT_TRUE(ch > 0x20 && ch < 0x7F && ch != '?' && ch != '*' && ch != ':' && ch != '\\') << alternate;
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str())) << path;
        if (finder.IsDirectory()) {
            EXPECT_EQ((std::vector<std::string>{".", "..", "????.bin"}), Search(path + "\\*.*"));
            CFileFind inner;
            ASSERT_TRUE(inner.FindFile((path + "\\*.bin").c_str()));
            inner.FindNextFile();
            EXPECT_TRUE(DeleteFileA(inner.GetFilePath()));
            inner.Close();
            EXPECT_TRUE(RemoveDirectoryA(path.c_str())) << path;
        } else {
            CFile file;
            ASSERT_TRUE(file.Open(path.c_str(), CFile::modeRead)) << path;
            char buffer[64] = {};
            const UINT length = file.Read(buffer, sizeof(buffer));
            file.Close();
            // The alternate name reaches this entry, not another one shown alike.
            bool known = false;
            for (const Case& c : cases)
                known = known || std::string(buffer, length) == c.linuxName;
            EXPECT_TRUE(known) << path;
            EXPECT_TRUE(DeleteFileA(path.c_str())) << path;
        }
    }
    finder.Close();
    EXPECT_EQ(sizeof(cases) / sizeof(cases[0]), alternates.size());
    std::sort(alternates.begin(), alternates.end());
    EXPECT_EQ(alternates.end(), std::adjacent_find(alternates.begin(), alternates.end()));
    EXPECT_EQ((std::vector<std::string>{".", "..", "Zubeh\xf6r.txt"}), Search(zq::LinuxToWindows(temp.Linux("*.*"))));
    // Patterns match the alternate name too, as they match short names.
    temp.Write("\xe6\x97\xa5.xml", "");
    EXPECT_EQ((std::vector<std::string>{"?.xml"}), Search(zq::LinuxToWindows(temp.Linux("*.xml"))));
}

// An entry whose own name is the alternate name of another never has its
// place taken: the other entry then gets no alternate name, and nothing is
// deleted in its name.
TEST(FileSearch, AnAlternateNameThatIsTakenIsNotGiven)
{
    zqtest::TempFolder temp("zq files");
    const std::string japanese = "\xe6\x97\xa5\xe6\x9c\xac.xml";
    temp.Write(japanese, "japanese");
    const std::string taken = zq::AlternateName(japanese);
    temp.Write(taken, "the real one");
    const WIN32_FIND_DATAA data = FindOne(zq::LinuxToWindows(temp.Linux("??.xml")));
    EXPECT_STREQ("??.xml", data.cFileName);
    EXPECT_STREQ("", data.cAlternateFileName);
    EXPECT_FALSE(DeleteFileA(zq::LinuxToWindows(temp.Linux("??.xml")).c_str()));
    EXPECT_EQ("the real one", temp.Read(taken));
    EXPECT_EQ("japanese", temp.Read(japanese));
}

TEST(FileSearch, CFileFindStepsThroughEveryEntryAndSurvivesDeletion)
{
    zqtest::TempFolder temp("zq files");
    temp.Write("one.bin", "");
    temp.Write("two.bin", "");
    temp.MakeFolder("dir");
    zqtest::KeepCurrentDirectory keep;
    ASSERT_TRUE(SetCurrentDirectoryA(zq::LinuxToWindows(temp.Linux()).c_str()));

    CFileFind finder;
    EXPECT_FALSE(finder.FindNextFile());  // no search yet
    ASSERT_TRUE(finder.FindFile("*.*"));  // relative to the current folder
    EXPECT_EQ(zq::LinuxToWindows(temp.Linux()) + "\\", std::string(finder.GetRoot()));
    std::vector<std::string> seen;
    BOOL working = TRUE;
    while (working) {
        working = finder.FindNextFile();
        seen.push_back(std::string(finder.GetFileName()));
        if (finder.IsDots()) {
            EXPECT_TRUE(finder.IsDirectory());
            continue;
        }
        EXPECT_EQ(zq::LinuxToWindows(temp.Linux(seen.back())), std::string(finder.GetFilePath()));
        if (finder.IsDirectory())
            EXPECT_TRUE(RemoveDirectoryA(finder.GetFilePath()));
        else
            EXPECT_TRUE(DeleteFileA(finder.GetFilePath()));
    }
    finder.Close();
    EXPECT_EQ((std::vector<std::string>{".", "..", "dir", "one.bin", "two.bin"}), seen);
    EXPECT_FALSE(finder.FindFile(zq::LinuxToWindows(temp.Linux("*.bin")).c_str()));
    // Only "." and ".." are left.
    EXPECT_EQ(2u, Search(zq::LinuxToWindows(temp.Linux("*.*"))).size());
}

TEST(FileFunctions, FoldersAttributesAndDeletion)
{
    zqtest::TempFolder temp("zq files");
    const std::string folder = zq::LinuxToWindows(temp.Linux("Repository"));
    EXPECT_FALSE(PathFileExistsA(folder.c_str()));
    EXPECT_FALSE(PathIsDirectoryA(folder.c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(folder.c_str()));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());

    temp.MakeFolder("Repository");
    EXPECT_TRUE(PathIsDirectoryA(folder.c_str()));
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, GetFileAttributesA(folder.c_str()));

    temp.Write("Repository/x.bin", "x");
    const std::string file = folder + "\\x.bin";
    EXPECT_TRUE(PathFileExistsA(file.c_str()));
    EXPECT_FALSE(PathIsDirectoryA(file.c_str()));
    EXPECT_FALSE(PathFileExistsA((folder + "\\*.bin").c_str()));
    EXPECT_FALSE(PathFileExistsA(nullptr));

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
    EXPECT_TRUE(GetDiskFreeSpaceExA(nullptr, nullptr, nullptr, &free));

    EXPECT_FALSE(GetDiskFreeSpaceExA("C:\\", &available, &total, &free));
    EXPECT_FALSE(GetDiskFreeSpaceExA("\\\\server\\share\\", &available, &total, &free));
    EXPECT_FALSE(GetDiskFreeSpaceExA("Z:\\no such folder\\here", &available, &total, &free));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
}

// Each folder is measured on the file system that holds it, not on "/":
// /dev/shm is a file system of its own on Linux.
TEST(DiskSpace, EachFolderIsMeasuredOnItsOwnFileSystem)
{
    const zqtest::TwoFileSystems pair = zqtest::ShmBesideRoot();
    if (!pair.missing.empty())
        GTEST_SKIP() << pair.missing;
    const struct statvfs& rootVfs = pair.root;
    const struct statvfs& shmVfs = pair.shm;
    const ULONGLONG rootSize = static_cast<ULONGLONG>(rootVfs.f_blocks) * rootVfs.f_frsize;
    const ULONGLONG shmSize = static_cast<ULONGLONG>(shmVfs.f_blocks) * shmVfs.f_frsize;
    if (rootSize == shmSize)
        GTEST_SKIP() << "both file systems have the same size";
    ULARGE_INTEGER available, total, free;
    ASSERT_TRUE(GetDiskFreeSpaceExA("Z:\\dev\\shm", &available, &total, &free));
    EXPECT_EQ(shmSize, total.QuadPart);
    ASSERT_TRUE(GetDiskFreeSpaceExA("Z:\\", &available, &total, &free));
    EXPECT_EQ(rootSize, total.QuadPart);
    // The bytes free to the caller leave out the blocks kept for root.
    const double expected = static_cast<double>(rootVfs.f_bavail) * static_cast<double>(rootVfs.f_frsize);
    EXPECT_NEAR(expected, static_cast<double>(available.QuadPart), 256.0 * 1024 * 1024);
}

TEST(DiskSpace, ProviderGivesExactFiguresToBothQueries)
{
    ULARGE_INTEGER available, total, free;
    DWORD sectors = 0, bytes = 0, freeClusters = 0, clusters = 0;
    {
        const zqtest::ScopedSeam disk(zq::SetDiskSpaceProvider, [](const std::string& folder, zq::DiskSpace& space) {
            if (folder != "/")
                return false;
            space.freeToCaller = 1000;
            space.total = 10ull << 40;
            space.totalFree = 2001;
            return true;
        });
        EXPECT_TRUE(GetDiskFreeSpaceExA("Z:\\", &available, &total, &free));
        EXPECT_EQ(1000u, available.QuadPart);
        EXPECT_EQ(10ull << 40, total.QuadPart);
        EXPECT_EQ(2001u, free.QuadPart);
        EXPECT_TRUE(GetDiskFreeSpaceA("Z:\\", &sectors, &bytes, &freeClusters, &clusters));
        const ULONGLONG cluster = static_cast<ULONGLONG>(sectors) * bytes;
        EXPECT_EQ(1000u / cluster, freeClusters);
        EXPECT_EQ((10ull << 40) / cluster, clusters);
        EXPECT_FALSE(GetDiskFreeSpaceExA("Z:\\tmp", &available, &total, &free));
    }
    // The guard gone, the real measurement is back.
    EXPECT_TRUE(GetDiskFreeSpaceA("Z:\\", &sectors, &bytes, &freeClusters, &clusters));
    EXPECT_GT(static_cast<ULONGLONG>(sectors) * bytes * clusters, 0u);
}

}  // namespace
