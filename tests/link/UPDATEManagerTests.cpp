// Worker notifications as posted messages, the cancel flag and the two
// folder utilities.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include <csignal>

#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "LinkNotifications.h"
#include "container/UPDATEModel.h"
#include "link/UPDATEManager.h"
#include "platform/paths/DrivePaths.h"
#include "platform/window/Headless.h"
#include "tests/support/ScopedSeam.h"
#include "tests/support/TempFolder.h"

namespace {

class Manager : public ::testing::Test {
protected:
    void SetUp() override { UPDATEManager::SetNotifyWindow(m_notifications.Window()); }
    void TearDown() override { UPDATEManager::SetNotifyWindow(nullptr); }

    std::vector<WPARAM> Posted(UINT message)
    {
        zq::PumpPendingMessages();
        return m_notifications.Values(message);
    }

    zqtest::Notifications m_notifications;
    UPDATEManager m_manager;
};

TEST_F(Manager, PostsProgressAsTruncatedPercentages)
{
    struct Case {
        ULONGLONG total, done;
        WPARAM percent;
    } cases[] = {{0, 5, 0}, {4, 3, 75}, {3, 1, 33}, {4, 5, 125}, {1ull << 40, 1ull << 39, 50}, {1000, 999, 99}};
    std::vector<WPARAM> expected;
    for (const Case& c : cases) {
        m_manager.SetStepTotal(c.total);
        m_manager.NotifyStepProgress(c.done);
        m_manager.SetTotalSize(c.total);
        m_manager.NotifyTotalProgress(c.done);
        expected.push_back(c.percent);
    }
    EXPECT_EQ(Posted(WM_STEP_PROGRESS), expected);
    EXPECT_EQ(Posted(WM_TOTAL_PROGRESS), expected);
}

TEST_F(Manager, PostsTheNewFileNoticeAndTheResult)
{
    m_manager.NotifyNewFile();
    m_manager.NotifyResult(9);
    EXPECT_EQ(Posted(WM_UPDATE_INFO_CHANGED), std::vector<WPARAM>{0});
    EXPECT_EQ(Posted(WM_UPDATE_RESULT), std::vector<WPARAM>{9});
}

TEST_F(Manager, PostsNothingWithoutARegisteredWindow)
{
    {
        const zqtest::ScopedSeam noWindow(UPDATEManager::SetNotifyWindow, nullptr);
        m_manager.SetStepTotal(4);
        m_manager.NotifyStepProgress(1);
        m_manager.NotifyTotalProgress(1);
        m_manager.NotifyNewFile();
        m_manager.NotifyResult(0);
    }
    EXPECT_TRUE(Posted(WM_STEP_PROGRESS).empty());
    EXPECT_TRUE(Posted(WM_TOTAL_PROGRESS).empty());
    EXPECT_TRUE(Posted(WM_UPDATE_INFO_CHANGED).empty());
    EXPECT_TRUE(Posted(WM_UPDATE_RESULT).empty());
}

TEST_F(Manager, KeepsTheSharedStateOfTheWorkers)
{
    m_manager.m_DoneBytes = 500;
    m_manager.SetTotalSize(1000);
    EXPECT_EQ(m_manager.m_TotalSize, 1000u);
    EXPECT_EQ(m_manager.m_DoneBytes, 0u) << "a new total restarts the count";

    m_manager.Cancel();
    EXPECT_EQ(UPDATEManager::m_CancelRequested, 1);
    m_manager.ResetCancel();
    EXPECT_EQ(UPDATEManager::m_CancelRequested, 0);

    UPDATEManager::m_LastFileName = "update.xml";
    UPDATEManager another;
    EXPECT_EQ(UPDATEManager::m_LastFileName, "") << "every construction resets it";

    m_manager.SetRepositoryFolder("Z:\\tmp\\Repository");
    EXPECT_EQ(another.GetRepositoryFolder(), "Z:\\tmp\\Repository") << "shared by every instance";

    g_UpdateModel.m_FileList = {"a.bin", "b.bin"};
    m_manager.ClearFileList();
    EXPECT_TRUE(g_UpdateModel.m_FileList.empty());
}

// A temp folder, seen by the system as a Z: path.
class Folders : public ::testing::Test {
protected:
    static CString Windows(const std::string& path) { return CString(zq::LinuxToWindows(path)); }
    void MakeTree(const std::string& folder)
    {
        ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
        ASSERT_EQ(mkdir((folder + "/sub").c_str(), 0700), 0);
        ASSERT_EQ(mkdir((folder + "/sub/deeper").c_str(), 0700), 0);
        std::ofstream(folder + "/a.bin") << "a";
        std::ofstream(folder + "/.hidden") << "h";
        std::ofstream(folder + "/sub/deeper/b.xml") << "b";
    }

    zqtest::TempFolder m_temp;
    const std::string m_root = m_temp.Linux();
    UPDATEManager m_manager;
};

TEST_F(Folders, DeleteFolderContentsEmptiesTheFolderAndKeepsIt)
{
    for (const char* ending : {"", "\\"}) {
        SCOPED_TRACE(ending);
        std::string folder = m_root + "/Repository";
        MakeTree(folder);
        EXPECT_EQ(m_manager.IsFolderEmpty(Windows(folder)), 0);
        m_manager.DeleteFolderContents(Windows(folder) + ending);
        struct stat st;
        ASSERT_EQ(stat(folder.c_str(), &st), 0) << "the folder itself stays";
        EXPECT_EQ(m_manager.IsFolderEmpty(Windows(folder)), 1);
        ASSERT_EQ(rmdir(folder.c_str()), 0) << "nothing is left inside";
    }
}

// Links planted in the Repository folder: the cleanup removes each link
// itself and never touches what it points to; links that point back into
// the folder or above it cannot make it run in a loop.
TEST_F(Folders, TheCleanupRemovesLinksNeverWhatTheyPointTo)
{
    const std::string folder = m_root + "/Repository";
    const std::string elsewhere = m_root + "/elsewhere";
    MakeTree(folder);
    ASSERT_EQ(mkdir(elsewhere.c_str(), 0700), 0);
    std::ofstream(elsewhere + "/keep.bin") << "keep";
    ASSERT_EQ(symlink(elsewhere.c_str(), (folder + "/oldlink").c_str()), 0);
    ASSERT_EQ(symlink((elsewhere + "/keep.bin").c_str(), (folder + "/filelink").c_str()), 0);
    ASSERT_EQ(symlink(".", (folder + "/dot").c_str()), 0);
    ASSERT_EQ(symlink("..", (folder + "/sub/up").c_str()), 0);
    ASSERT_EQ(symlink("/no/such/target", (folder + "/dangling").c_str()), 0);

    m_manager.DeleteFolderContents(Windows(folder));
    EXPECT_EQ(m_manager.IsFolderEmpty(Windows(folder)), 1);
    EXPECT_EQ(rmdir(folder.c_str()), 0) << "nothing is left inside";
    std::ifstream kept(elsewhere + "/keep.bin");
    std::string text;
    kept >> text;
    EXPECT_EQ(text, "keep");
}

// Leftovers whose names Windows-1252 cannot show, which read with '?'.
TEST_F(Folders, TheCleanupRemovesNamesOutsideTheCodePage)
{
    const std::string folder = m_root + "/Repository";
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    std::ofstream(folder + "/\xe6\x97\xa5\xe6\x9c\xac.xml") << "a";
    std::ofstream(folder + "/\xe4\xb8\xad\xe5\x9b\xbd.xml") << "b";
    ASSERT_EQ(mkdir((folder + "/\xd0\xb4\xd0\xb8\xd1\x80").c_str(), 0700), 0);
    std::ofstream(folder + "/\xd0\xb4\xd0\xb8\xd1\x80/\xd1\x84\xd0\xb0\xd0\xb9\xd0\xbb.bin") << "c";
    std::ofstream(folder + "/latin1 \xe4.bin") << "d";
    std::ofstream(folder + "/a:b?.xml") << "e";

    m_manager.DeleteFolderContents(Windows(folder));
    EXPECT_EQ(m_manager.IsFolderEmpty(Windows(folder)), 1);
    EXPECT_EQ(rmdir(folder.c_str()), 0) << "nothing is left inside";
}

// A Repository folder left by another user (an earlier run under sudo):
// this user cannot empty it, and the cleanup's result shows that.
TEST_F(Folders, ARepositoryOfAnotherUserStaysAndIsNotEmpty)
{
    struct passwd* nobody = getpwnam("nobody");
    if (geteuid() != 0 || nobody == nullptr)
        GTEST_SKIP() << "needs root to make a folder of another user";
    const std::string folder = m_root + "/Repository";
    MakeTree(folder);
    ASSERT_EQ(chmod(m_root.c_str(), 0755), 0);
    ASSERT_EQ(system(("chmod -R a+rX '" + folder + "'").c_str()), 0);
    pid_t pid = fork();
    if (pid == 0) {
        if (setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0)
            _exit(100);
        UPDATEManager manager;
        manager.DeleteFolderContents(Windows(folder));
        _exit(manager.IsFolderEmpty(Windows(folder)) == 0 ? 0 : 1);
    }
    ASSERT_GT(pid, 0);
    int status = -1;
    for (int i = 0; i < 3000 && waitpid(pid, &status, WNOHANG) == 0; ++i)
        usleep(10000);
    if (!WIFEXITED(status)) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        FAIL() << "the cleanup did not end";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the folder read as empty";
    struct stat st;
    EXPECT_EQ(stat((folder + "/sub/deeper/b.xml").c_str(), &st), 0);
}

TEST_F(Folders, IsFolderEmptyCountsEveryEntryButDots)
{
    EXPECT_EQ(m_manager.IsFolderEmpty(""), 1);
    EXPECT_EQ(m_manager.IsFolderEmpty(Windows(m_root + "/missing")), 1);
    EXPECT_EQ(m_manager.IsFolderEmpty(Windows(m_root)), 1);
    ASSERT_EQ(mkdir((m_root + "/sub").c_str(), 0700), 0);
    EXPECT_EQ(m_manager.IsFolderEmpty(Windows(m_root)), 0);
    ASSERT_EQ(rmdir((m_root + "/sub").c_str()), 0);
    std::ofstream(m_root + "/one") << "1";
    EXPECT_EQ(m_manager.IsFolderEmpty(Windows(m_root)), 0);
}

}  // namespace
