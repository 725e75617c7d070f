// CFile against the file system: reads, writes, failures, links and the share
// rules within and across processes.
#include "platform/files/Files.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/paths/DrivePaths.h"
#include "tests/support/TempFolder.h"

namespace {

// Runs the body and returns the cause of the CFileException* it throws
// (the exception is deleted), or -1 when it throws nothing.
template <typename Body>
int CauseOf(Body body, LONG* osError = nullptr)
{
    try {
        body();
    } catch (CFileException* e) {
        const int cause = e->m_cause;
        if (osError != nullptr)
            *osError = e->m_lOsError;
        e->Delete();
        return cause;
    }
    return -1;
}

TEST(CFileTest, WritesReadsSeeksAndMeasures)
{
    zqtest::TempFolder temp("a b \xc3\xa4");
    const std::string name = zq::LinuxToWindows(temp.Linux("data file.bin"));

    CFile out;
    ASSERT_TRUE(out.Open(name.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::typeBinary));
    EXPECT_NE(INVALID_HANDLE_VALUE, out.m_hFile);
    out.Write("0123456789", 10);
    out.Write("abcdef", 6);
    EXPECT_EQ(16u, out.GetLength());
    EXPECT_EQ(16u, out.GetPosition());
    out.Flush();
    out.Close();
    EXPECT_EQ(INVALID_HANDLE_VALUE, out.m_hFile);
    EXPECT_EQ("0123456789abcdef", temp.Read("data file.bin"));

    CFile in(name.c_str(), CFile::modeRead);
    char buffer[32] = {};
    EXPECT_EQ(16u, in.GetLength());
    EXPECT_EQ(4u, in.Read(buffer, 4));
    EXPECT_EQ(0, memcmp(buffer, "0123", 4));
    EXPECT_EQ(10u, in.Seek(10, CFile::begin));
    EXPECT_EQ(12u, in.Seek(2, CFile::current));
    EXPECT_EQ(4u, in.Read(buffer, sizeof(buffer)));  // short only at the end
    EXPECT_EQ(0, memcmp(buffer, "cdef", 4));
    EXPECT_EQ(0u, in.Read(buffer, sizeof(buffer)));
    EXPECT_EQ(13u, in.Seek(-3, CFile::end));
    in.Seek(0, CFile::begin);
    EXPECT_EQ(0u, in.GetPosition());
    EXPECT_EQ(16u, in.Seek(0, CFile::end));
    EXPECT_EQ(CFileException::badSeek, CauseOf([&] { in.Seek(-20, CFile::current); }));
    EXPECT_EQ(16u, in.GetPosition());
    // A read-only file refuses writes.
    EXPECT_EQ(CFileException::accessDenied, CauseOf([&] { in.Write("x", 1); }));
    in.Close();

    // Open without truncation keeps the data.
    CFile both;
    ASSERT_TRUE(both.Open(name.c_str(), CFile::modeCreate | CFile::modeNoTruncate | CFile::modeReadWrite));
    EXPECT_EQ(16u, both.GetLength());
    both.Seek(0, CFile::end);
    both.Write("!", 1);
    EXPECT_EQ(17u, both.GetLength());
    both.Close();
    EXPECT_EQ("0123456789abcdef!", temp.Read("data file.bin"));

    // modeCreate alone empties an existing file.
    CFile again(name.c_str(), CFile::modeCreate | CFile::modeWrite);
    EXPECT_EQ(0u, again.GetLength());
}

TEST(CFileTest, FailuresGiveTheirCause)
{
    zqtest::TempFolder temp("zq files");
    temp.MakeFolder("folder");
    struct Case {
        std::string name;
        UINT flags;
        int cause;
        LONG osError;
    } cases[] = {
        {zq::LinuxToWindows(temp.Linux("missing.xml")), CFile::modeRead, CFileException::fileNotFound,
         ERROR_FILE_NOT_FOUND},
        {zq::LinuxToWindows(temp.Linux()) + "\\no folder\\missing.xml", CFile::modeRead, CFileException::badPath,
         ERROR_PATH_NOT_FOUND},
        {zq::LinuxToWindows(temp.Linux()) + "\\no folder\\new.xml", CFile::modeCreate | CFile::modeWrite,
         CFileException::badPath, ERROR_PATH_NOT_FOUND},
        {"C:\\Temp\\product.xml", CFile::modeRead, CFileException::badPath, ERROR_PATH_NOT_FOUND},
        {zq::LinuxToWindows(temp.Linux("folder")), CFile::modeRead, CFileException::accessDenied, ERROR_ACCESS_DENIED},
        {zq::LinuxToWindows(temp.Linux("??.txt")), CFile::modeRead, CFileException::badPath, ERROR_INVALID_NAME},
    };
    for (const Case& c : cases) {
        CFile file;
        CFileException error;
        EXPECT_FALSE(file.Open(c.name.c_str(), c.flags, &error)) << c.name;
        EXPECT_EQ(c.cause, error.m_cause) << c.name;
        EXPECT_EQ(c.osError, error.m_lOsError) << c.name;
        EXPECT_EQ(static_cast<DWORD>(c.osError), GetLastError()) << c.name;
        EXPECT_EQ(INVALID_HANDLE_VALUE, file.m_hFile);

        LONG osError = 0;
        EXPECT_EQ(c.cause, CauseOf([&] { CFile thrown(c.name.c_str(), c.flags); }, &osError)) << c.name;
        EXPECT_EQ(c.osError, osError) << c.name;
    }

    // A file that is not open throws on use and closes quietly.
    CFile closed;
    char byte;
    EXPECT_EQ(CFileException::invalidFile, CauseOf([&] { closed.Read(&byte, 1); }));
    EXPECT_EQ(CFileException::invalidFile, CauseOf([&] { closed.GetLength(); }));
    EXPECT_EQ(-1, CauseOf([&] { closed.Close(); }));
}

// A file that is created or replaced is never reached through a link that
// someone planted under its name; reading through a link works as usual.
TEST(CFileTest, CreatingNeverFollowsALink)
{
    zqtest::TempFolder temp("zq files");
    zqtest::TempFolder elsewhere("elsewhere");
    elsewhere.Write("victim.txt", "precious");
    ASSERT_EQ(0, symlink(elsewhere.Linux("victim.txt").c_str(), temp.Linux("product.xml").c_str()));
    for (UINT flags :
         {CFile::modeCreate | CFile::modeWrite, CFile::modeCreate | CFile::modeNoTruncate | CFile::modeReadWrite}) {
        SCOPED_TRACE(flags);
        CFile file;
        CFileException error;
        EXPECT_FALSE(file.Open(zq::LinuxToWindows(temp.Linux("product.xml")).c_str(), flags, &error));
        EXPECT_EQ(CFileException::accessDenied, error.m_cause);
    }
    EXPECT_EQ("precious", elsewhere.Read("victim.txt"));

    CFile reader;
    ASSERT_TRUE(reader.Open(zq::LinuxToWindows(temp.Linux("product.xml")).c_str(), CFile::modeRead));
    char buffer[16] = {};
    EXPECT_EQ(8u, reader.Read(buffer, sizeof(buffer)));
    EXPECT_STREQ("precious", buffer);
}

TEST(CFileTest, SharingFollowsTheWindowsRules)
{
    zqtest::TempFolder temp("zq files");
    temp.Write("f.bin", "keep me");
    const std::string name = zq::LinuxToWindows(temp.Linux("f.bin"));
    const UINT read = CFile::modeRead;
    const UINT write = CFile::modeWrite;
    struct Case {
        UINT first;
        UINT second;
        bool secondOpens;
    } cases[] = {
        {read, read, false},  // the default shares nothing
        {read | CFile::shareExclusive, read | CFile::shareDenyNone, false},
        {read | CFile::shareDenyNone, read | CFile::shareDenyNone, true},
        {read | CFile::shareDenyNone, read, false},  // the second shares nothing
        {read | CFile::shareDenyWrite, read | CFile::shareDenyWrite, true},
        {read | CFile::shareDenyWrite, write | CFile::shareDenyNone, false},
        {write | CFile::shareDenyRead, read | CFile::shareDenyNone, false},
        {write | CFile::shareDenyNone, CFile::modeReadWrite | CFile::shareDenyNone, true},
        {read, CFile::modeCreate | write, false},
    };
    for (const Case& c : cases) {
        CFile first;
        ASSERT_TRUE(first.Open(name.c_str(), c.first));
        CFile second;
        CFileException error;
        EXPECT_EQ(c.secondOpens, second.Open(name.c_str(), c.second, &error) != FALSE)
            << std::hex << c.first << " then " << c.second;
        if (!c.secondOpens) {
            EXPECT_EQ(CFileException::sharingViolation, error.m_cause);
            EXPECT_EQ(ERROR_SHARING_VIOLATION, error.m_lOsError);
        }
    }
    // A refused creator has not emptied the file.
    EXPECT_EQ("keep me", temp.Read("f.bin"));

    // An open file cannot be deleted; once closed it can be opened again.
    CFile held(name.c_str(), read);
    EXPECT_FALSE(DeleteFileA(name.c_str()));
    EXPECT_EQ(ERROR_SHARING_VIOLATION, GetLastError());
    held.Close();
    CFile after;
    EXPECT_TRUE(after.Open(name.c_str(), read));
    after.Close();
    EXPECT_TRUE(DeleteFileA(name.c_str()));
    EXPECT_FALSE(temp.Exists("f.bin"));
}

TEST(CFileTest, AnUnsharedFileIsRefusedToOtherProcesses)
{
    zqtest::TempFolder temp("zq files");
    temp.Write("locked.zip", "zip");
    const std::string name = zq::LinuxToWindows(temp.Linux("locked.zip"));
    int ready[2];
    int release[2];
    ASSERT_EQ(0, pipe(ready));
    ASSERT_EQ(0, pipe(release));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The child's own copy of the write end would keep it waiting for
        // ever once the test had gone.
        close(release[1]);
        CFile file;
        const char ok = file.Open(name.c_str(), CFile::modeRead) ? 'y' : 'n';
        if (write(ready[1], &ok, 1) != 1)
            _exit(2);
        char byte;
        if (read(release[0], &byte, 1) < 0)
            _exit(2);
        _exit(0);
    }
    // However the test ends, the child is released and reaped.
    struct Release {
        int* fds;
        pid_t child;
        ~Release()
        {
            for (int i = 0; i < 4; ++i)
                if (fds[i] >= 0)
                    close(fds[i]);
            waitpid(child, nullptr, 0);
        }
    };
    // Without its own write end the read below ends if the child does.
    close(ready[1]);
    int fds[4] = {ready[0], -1, release[0], release[1]};
    Release released{fds, child};
    char ok = 0;
    ASSERT_EQ(1, read(ready[0], &ok, 1));
    ASSERT_EQ('y', ok);
    CFile file;
    CFileException error;
    EXPECT_FALSE(file.Open(name.c_str(), CFile::modeRead | CFile::shareDenyNone, &error));
    EXPECT_EQ(CFileException::sharingViolation, error.m_cause);
    ASSERT_EQ(1, write(release[1], "x", 1));
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(file.Open(name.c_str(), CFile::modeRead));
}

}  // namespace
