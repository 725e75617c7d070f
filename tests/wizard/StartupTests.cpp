// The folders that start-up derives from the program's path and the
// environment.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "container/GlobalFolders.h"
#include "link/UPDATEManager.h"
#include "platform/files/FileApi.h"
#include "platform/app/CommandLine.h"
#include "platform/window/Headless.h"
#include "platform/window/MessageBoxSeam.h"
#include "platform/paths/DrivePaths.h"
#include "tests/support/ScopedSeam.h"
#include "tests/support/TempFolder.h"
#include "tests/wizard/WizardTestSupport.h"
#include "wizard/CQuorinUpdateManagerApp.h"
#include "wizard/CQuorinUpdateManagerDlg.h"

namespace {

// Keeps TMP, TEMP and the folders that start-up sets as they were.
class StartupFolders : public ::testing::Test {
protected:
    static std::string Current()
    {
        char current[1024];
        GetCurrentDirectoryA(sizeof(current), current);
        return current;
    }

    // Each set to what it is now, to be put back at the end.
    zqtest::ScopedEnvironmentVariable m_tmp{"TMP", getenv("TMP")};
    zqtest::ScopedEnvironmentVariable m_temp{"TEMP", getenv("TEMP")};
    zqtest::KeepStartupFolders m_folders;
};

TEST_F(StartupFolders, ProgramFolderBecomesTheCurrentDirectory)
{
    zqtest::TempFolder program("Updater");
    std::string exe = zq::LinuxToWindows(program.Linux("program.exe"));
    setenv("TMP", "C:\\Temp", 1);
    CQuorinUpdateManagerApp::SetUpFolders(exe.c_str());
    EXPECT_STREQ(g_ProgramPath, exe.c_str());
    EXPECT_STREQ(UPDATEManager::m_AppFolder, zq::LinuxToWindows(program.Linux()).c_str());
    EXPECT_EQ(Current(), zq::LinuxToWindows(program.Linux()));
}

// Without TMP and TEMP the layer reads TMP as TMPDIR or /tmp, as Windows
// always has a TMP, so the program folder is not reached here.
TEST_F(StartupFolders, TempFolderFromTmpThenTemp)
{
    zqtest::TempFolder program("Tools");
    std::string exe = zq::LinuxToWindows(program.Linux("program.exe"));
    std::string longValue(300, 'x');
    struct Case {
        const char* tmp;  // nullptr: unset
        const char* temp;
        std::string expected;
    } cases[] = {
        {"C:\\Tmp", "C:\\Temp", "C:\\Tmp"},
        {nullptr, "C:\\Temp", "C:\\Temp"},
        {"", "C:\\Temp", "C:\\Temp"},
        // A value the 260-character buffer cannot hold counts as unset.
        {longValue.c_str(), "C:\\Temp", "C:\\Temp"},
    };
    for (const Case& c : cases) {
        if (c.tmp)
            setenv("TMP", c.tmp, 1);
        else
            unsetenv("TMP");
        if (c.temp)
            setenv("TEMP", c.temp, 1);
        else
            unsetenv("TEMP");
        CQuorinUpdateManagerApp::SetUpFolders(exe.c_str());
        EXPECT_STREQ(g_WorkFolder, c.expected.c_str()) << (c.tmp ? c.tmp : "(unset)");
        EXPECT_STREQ(UPDATEManager::m_TempFolder, c.expected.c_str());
    }
}

TEST_F(StartupFolders, LongValuesAtTheBufferEdge)
{
    // 259 characters fit the buffer with the terminator; 260 do not.
    std::string fits(259, 'a');
    std::string tooLong(260, 'b');
    setenv("TEMP", "C:\\Temp", 1);
    setenv("TMP", fits.c_str(), 1);
    CQuorinUpdateManagerApp::SetUpFolders("C:\\program.exe");
    EXPECT_STREQ(g_WorkFolder, fits.c_str());
    setenv("TMP", tooLong.c_str(), 1);
    CQuorinUpdateManagerApp::SetUpFolders("C:\\program.exe");
    EXPECT_STREQ(g_WorkFolder, "C:\\Temp");
}

TEST_F(StartupFolders, BareProgramNameLeavesTheFoldersEmpty)
{
    setenv("TMP", "C:\\Temp", 1);
    std::string before = Current();
    CQuorinUpdateManagerApp::SetUpFolders("program.exe");
    EXPECT_STREQ(g_ProgramPath, "program.exe");
    EXPECT_STREQ(UPDATEManager::m_AppFolder, "");
    EXPECT_STREQ(g_WorkFolder, "C:\\Temp");
    EXPECT_EQ(Current(), before);
}

TEST_F(StartupFolders, InitInstanceRunsTheWizardModallyAndEndsWithFalse)
{
    zqtest::PrivateRegistry registry;
    setenv("TMP", "C:\\Temp", 1);
    CWnd* shown = nullptr;
    const zqtest::ScopedSeam idle(zq::headless::SetIdleHandler, [&] {
        if (shown)
            return;
        shown = AfxGetMainWnd();
        auto* dialog = dynamic_cast<CQuorinUpdateManagerDlg*>(shown);
        ASSERT_NE(dialog, nullptr) << "the wizard is the main window while it runs";
        EXPECT_EQ(dialog->m_page, CQuorinUpdateManagerDlg::PAGE_WELCOME);
        dialog->EndDialog(IDCANCEL);
    });
    EXPECT_EQ(AfxGetApp(), &theApp);
    EXPECT_FALSE(theApp.InitInstance());
    EXPECT_NE(shown, nullptr);
    EXPECT_STREQ(g_ProgramPath, __argv[0]);
    EXPECT_STREQ(g_WorkFolder, "C:\\Temp");
    EXPECT_STREQ(theApp.m_pszRegistryKey, "ZQUpdateManager");
}

// The framework's start-up names the application by its title, so a box of
// the framework (the inquiry worker's, the file selection's question)
// carries the caption of the wizard's own boxes, not the program file's
// name.
TEST(Startup, TheFrameworksBoxesCarryTheWizardsCaption)
{
    theApp.SetCurrentHandles();
    zq::RecordingMessageBoxResponder boxes;
    AfxMessageBox("Open file error (product.xml)", MB_OK);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(std::string(boxes.Calls()[0].caption), "Aldemar Zubeh\xF6r Update Manager");
}

}  // namespace
