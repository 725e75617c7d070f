// The wizard window and its page state machine on the headless window
// system, with the message boxes answered by a recording responder.
#include <gtest/gtest.h>

#include <string>

#include "container/GlobalFolders.h"
#include "container/UPDATEModel.h"
#include "container/UpdateResult.h"
#include "platform/registry/Registry.h"
#include "platform/files/FileApi.h"
#include "platform/paths/DrivePaths.h"
#include "platform/threads/Threads.h"
#include "platform/window/CFileDialog.h"
#include "platform/window/Headless.h"
#include "platform/window/MessageBoxSeam.h"
#include "resources/resource.h"
#include "tests/wizard/WizardTestSupport.h"
#include "wizard/CQuorinUpdateManagerDlg.h"

namespace {

using Dlg = CQuorinUpdateManagerDlg;
using wizardtest::RunModal;

const char CAPTION[] = "Aldemar Zubeh\xF6r Update Manager";

std::string Text(CWnd& wnd)
{
    CString text;
    wnd.GetWindowText(text);
    return std::string(static_cast<LPCSTR>(text));
}

std::string English(int index)
{
    LanguageTexts texts;
    return std::string(static_cast<LPCSTR>(texts.GetTextFor(LanguageTexts::LANGUAGE_ENGLISH, index)));
}

class WizardWindow : public ::testing::Test {
protected:
    void UseEnglish() { wizardtest::StoreSetting("Language", "English_UK"); }
    // Waits, pumping the window's messages, until the page is reached.
    static bool WaitForPage(Dlg& dlg, int page, int ms = 10000)
    {
        return zq::PumpMessagesUntil([&] { return dlg.m_page == page; }, ms);
    }

    wizardtest::PrivateRegistry m_registry;
};

TEST_F(WizardWindow, OpensOnTheWelcomePageInGermanWithoutAStoredLanguage)
{
    Dlg dlg;
    RunModal(dlg, [&] {
        EXPECT_EQ(dlg.m_page, Dlg::PAGE_WELCOME);
        EXPECT_EQ(dlg.m_texts.GetLanguage(), LanguageTexts::LANGUAGE_GERMAN);
        EXPECT_EQ(Text(dlg.m_btnNext), "Weiter");
        EXPECT_EQ(Text(dlg.m_btnBack), "Zur\xFC" "ck");
        EXPECT_EQ(Text(dlg), "Aldemar Zubeh\xF6r Update Manager ver.07");
        EXPECT_TRUE(dlg.m_btnNext.IsWindowEnabled());
        EXPECT_FALSE(dlg.m_btnBack.IsWindowEnabled());
        EXPECT_FALSE(dlg.m_btnBrowse.IsWindowEnabled());
        EXPECT_FALSE(dlg.m_btnInfo.IsWindowVisible());
        EXPECT_FALSE(dlg.m_btnExit.IsWindowVisible());
        EXPECT_FALSE(dlg.m_btnSetup.IsWindowVisible());
        EXPECT_FALSE(dlg.GetDlgItem(IDC_COMPORT_COMBO)->IsWindowVisible());
        EXPECT_EQ(dlg.m_settings.m_forceUpdate, 0);
    });
    EXPECT_EQ(wizardtest::ReadSetting("Language"), "(none)") << "nothing stored before a choice";
}

TEST_F(WizardWindow, FlagsSwitchTheLanguageAtOnceAndStoreIt)
{
    Dlg dlg;
    RunModal(dlg, [&] {
        dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_LANG_ENGLISH, BN_CLICKED),
                        reinterpret_cast<LPARAM>(dlg.m_btnEnglish.GetSafeHwnd()));
        EXPECT_EQ(Text(dlg.m_btnNext), "Next");
        EXPECT_EQ(wizardtest::ReadSetting("Language"), "English_UK");
        dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_LANG_GERMAN, BN_CLICKED),
                        reinterpret_cast<LPARAM>(dlg.m_btnGerman.GetSafeHwnd()));
        EXPECT_EQ(Text(dlg.m_btnExit), "Abbruch");
        EXPECT_EQ(wizardtest::ReadSetting("Language"), "Deutsch");
    });
}

TEST_F(WizardWindow, ErrorTextOfEveryResultCode)
{
    UseEnglish();
    // Code -> catalogue text; 9 and 23 do not show their own names' texts.
    const int expected[] = {39, 40, 41, 42, 43, 44, 45, 56, 46, 47, 48, 49,
                            50, 51, 52, 53, 54, 55, 55, 58, 59, 60, 61, 56};
    Dlg dlg;
    RunModal(dlg, [&] {
        for (int code = 0; code < 24; ++code)
            EXPECT_EQ(std::string(dlg.GetErrorText(code)), English(expected[code])) << "code " << code;
        for (int code : {-1, -100, 24, 1000})
            EXPECT_EQ(std::string(dlg.GetErrorText(code)), "Unspecific error") << "code " << code;
        EXPECT_EQ(std::string(dlg.GetErrorText(UPDATE_RESULT_TIMEOUT)),
                  "The hands-free car kit is not responding");
    });
}

TEST_F(WizardWindow, WelcomeNextAndBackSetTheButtons)
{
    Dlg dlg;
    RunModal(dlg, [&] {
        dlg.OnWizardEvent(Dlg::EV_RESULT, 0);  // nothing expected here: ignored
        dlg.OnWizardEvent(Dlg::EV_BACK, 0);
        EXPECT_EQ(dlg.m_page, Dlg::PAGE_WELCOME);
        dlg.OnWizardEvent(Dlg::EV_NEXT, 0);
        EXPECT_EQ(dlg.m_page, Dlg::PAGE_SELECT_CONTAINER);
        EXPECT_FALSE(dlg.m_btnNext.IsWindowEnabled());
        EXPECT_TRUE(dlg.m_btnBack.IsWindowEnabled());
        EXPECT_TRUE(dlg.m_btnBrowse.IsWindowEnabled());
        dlg.OnWizardEvent(Dlg::EV_RESULT, 0);
        EXPECT_EQ(dlg.m_page, Dlg::PAGE_SELECT_CONTAINER);
        dlg.OnWizardEvent(Dlg::EV_BACK, 0);
        EXPECT_EQ(dlg.m_page, Dlg::PAGE_WELCOME);
        EXPECT_TRUE(dlg.m_btnNext.IsWindowEnabled());
        EXPECT_FALSE(dlg.m_btnBack.IsWindowEnabled());
        EXPECT_FALSE(dlg.m_btnBrowse.IsWindowEnabled());
    });
}

TEST_F(WizardWindow, BrowseGivenUpAsksWhetherToGoOn)
{
    UseEnglish();
    int dialogs = 0;
    zq::SetFileDialogResponder([&](const zq::FileDialogCall&, CString*) {
        ++dialogs;
        return false;
    });
    {
        // Yes opens the file dialog again; No goes back to the start.
        Dlg dlg;
        zq::RecordingMessageBoxResponder boxes({IDYES, IDNO});
        RunModal(dlg, [&] {
            dlg.OnWizardEvent(Dlg::EV_NEXT, 0);
            dlg.OnWizardEvent(Dlg::EV_BROWSE, 0);
            EXPECT_EQ(dlg.m_page, Dlg::PAGE_WELCOME);
            EXPECT_TRUE(dlg.m_btnNext.IsWindowEnabled());
            EXPECT_FALSE(dlg.m_btnBrowse.IsWindowEnabled());
            EXPECT_TRUE(dlg.m_containerPath.IsEmpty());
        });
        EXPECT_EQ(dialogs, 2);
        ASSERT_EQ(boxes.Count(), 2u);
        EXPECT_EQ(std::string(boxes.Calls()[0].text), English(4));
        EXPECT_EQ(boxes.Calls()[0].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    }
    zq::SetFileDialogResponder(nullptr);
}

TEST_F(WizardWindow, UnpackThatCannotStartEndsOnTheErrorPage)
{
    UseEnglish();
    TempFolder temp("temp");
    temp.Write("c.zip", std::string(1000, 'z'));
    UPDATEManager::m_TempFolder = zq::LinuxToWindows(temp.Linux()).c_str();
    struct Case {
        std::string container;
        bool fullDisk;
        int text;
    } cases[] = {
        {zq::LinuxToWindows(temp.Linux("missing.zip")), false, 50},
        {zq::LinuxToWindows(temp.Linux("c.zip")), true, 49},
    };
    for (const Case& c : cases) {
        zq::SetFileDialogResponder([&](const zq::FileDialogCall&, CString* path) {
            *path = c.container.c_str();
            return true;
        });
        zq::SetDiskSpaceProvider([&](const std::string&, zq::DiskSpace& space) {
            space.freeToCaller = space.totalFree = c.fullDisk ? 1999 : 1ULL << 40;
            space.total = 1ULL << 41;
            return true;
        });
        Dlg dlg;
        zq::RecordingMessageBoxResponder boxes;
        RunModal(dlg, [&] {
            dlg.OnWizardEvent(Dlg::EV_NEXT, 0);
            dlg.OnWizardEvent(Dlg::EV_BROWSE, 0);
            EXPECT_EQ(dlg.m_page, Dlg::PAGE_ERROR) << c.text;
            EXPECT_TRUE(dlg.m_btnNext.IsWindowEnabled());
            EXPECT_FALSE(dlg.m_btnBrowse.IsWindowEnabled());
            EXPECT_EQ(std::string(dlg.m_protocol.GetRepositoryFolder()), zq::LinuxToWindows(temp.Linux()) + "\\Repository");
            // Nothing runs: no result arrives, the page stays.
            zq::PumpMessagesUntil([] { return false; }, 200);
            EXPECT_EQ(dlg.m_page, Dlg::PAGE_ERROR);
        });
        ASSERT_EQ(boxes.Count(), 1u) << c.text;
        EXPECT_EQ(std::string(boxes.Calls()[0].text), English(c.text));
    }
    zq::SetFileDialogResponder(nullptr);
    zq::SetDiskSpaceProvider(nullptr);
}

TEST_F(WizardWindow, UnpackedContainerChecks)
{
    UseEnglish();
    TempFolder temp("temp");
    struct Case {
        const char* name;
        std::function<void(const TempFolder&)> fill;  // fills the Repository folder
        bool makeFolder;
        int text;
    } cases[] = {
        {"no folder", [](const TempFolder&) {}, false, 48},
        {"empty folder", [](const TempFolder&) {}, true, 48},
        {"no xml", [](const TempFolder& t) { t.Write("Repository/a.bin", "data"); }, true, 47},
        {"xml in a sub-folder only",
         [](const TempFolder& t) {
             t.MakeFolder("Repository/sub");
             t.Write("Repository/sub/update.xml", "<update/>");
         },
         true, 47},
        {"broken xml", [](const TempFolder& t) { t.Write("Repository/update.xml", "no xml at all"); },
         true, 61},
    };
    for (const Case& c : cases) {
        std::string command = "rm -rf '" + temp.Linux("Repository") + "'";
        ASSERT_EQ(system(command.c_str()), 0);
        if (c.makeFolder)
            mkdir(temp.Linux("Repository").c_str(), 0777);
        c.fill(temp);
        Dlg dlg;
        zq::RecordingMessageBoxResponder boxes;
        RunModal(dlg, [&] {
            dlg.m_protocol.SetRepositoryFolder(CString(zq::LinuxToWindows(temp.Linux("Repository")).c_str()));
            dlg.m_page = Dlg::PAGE_UNPACKING;
            dlg.OnWizardEvent(Dlg::EV_RESULT, 0);
            EXPECT_EQ(dlg.m_page, Dlg::PAGE_ERROR) << c.name;
            EXPECT_TRUE(dlg.m_btnNext.IsWindowEnabled()) << c.name;
        });
        ASSERT_EQ(boxes.Count(), 1u) << c.name;
        auto call = boxes.Calls()[0];
        EXPECT_EQ(std::string(call.text), English(c.text)) << c.name;
        EXPECT_EQ(std::string(call.caption), CAPTION);
        EXPECT_EQ(call.type, static_cast<UINT>(MB_OK)) << c.name;
    }
}

TEST_F(WizardWindow, ConnectFailuresGoBackToThePageBeforeThePortChoice)
{
    UseEnglish();
    const std::string noConnection =
        "No connection was established.\nPlease check if correct COM-port was set and device was "
        "in update mode.\nPlease try again.";
    // Code -> text of the first line; 9 (no usable port) shows text 47.
    struct Case {
        int code;
        int first;
    } cases[] = {
        {UPDATE_RESULT_DEVICE_DISCONNECTED, 40},
        {UPDATE_RESULT_DEVICE_NAK, 41},
        {UPDATE_RESULT_TIMEOUT, 43},
        {UPDATE_RESULT_PORT_ERROR, 47},
    };
    for (const Case& c : cases) {
        Dlg dlg;
        zq::RecordingMessageBoxResponder boxes;
        RunModal(dlg, [&] {
            dlg.m_page = Dlg::PAGE_CONNECTING;
            dlg.OnWizardEvent(Dlg::EV_RESULT, c.code);
            EXPECT_EQ(dlg.m_page, Dlg::PAGE_PREPARE_CONNECTION) << c.code;
            EXPECT_TRUE(dlg.m_btnNext.IsWindowEnabled());
            EXPECT_FALSE(dlg.m_btnBack.IsWindowEnabled());
        });
        ASSERT_EQ(boxes.Count(), 1u) << c.code;
        EXPECT_EQ(std::string(boxes.Calls()[0].text), English(c.first) + "\n" + noConnection) << c.code;
        EXPECT_EQ(boxes.Calls()[0].type, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
    }
}

TEST_F(WizardWindow, CancelledConnectEndsOnTheErrorPageWithTheExitQuestion)
{
    UseEnglish();
    {
        Dlg dlg;
        zq::RecordingMessageBoxResponder boxes({IDNO});
        RunModal(dlg, [&] {
            dlg.m_page = Dlg::PAGE_CONNECTING;
            dlg.OnWizardEvent(Dlg::EV_RESULT, UPDATE_RESULT_CANCELLED);
            EXPECT_EQ(dlg.m_page, Dlg::PAGE_ERROR);
        });
        ASSERT_EQ(boxes.Count(), 1u);
        EXPECT_EQ(std::string(boxes.Calls()[0].text), English(18));
        EXPECT_EQ(boxes.Calls()[0].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    }
    {
        Dlg dlg;
        zq::RecordingMessageBoxResponder boxes({IDYES});
        INT_PTR result = RunModal(
            dlg,
            [&] {
                dlg.m_page = Dlg::PAGE_CONNECTING;
                dlg.OnWizardEvent(Dlg::EV_RESULT, UPDATE_RESULT_CANCELLED);
            },
            -1);
        EXPECT_EQ(result, IDCANCEL) << "Yes ends the window";
    }
}

TEST_F(WizardWindow, RefusedFileShowsTheReasonAndDisconnects)
{
    UseEnglish();
    Dlg dlg;
    zq::RecordingMessageBoxResponder boxes;
    RunModal(dlg, [&] {
        dlg.m_page = Dlg::PAGE_TRANSFERRING;
        dlg.ShowStepProgress(true);
        dlg.ShowTotalProgress(true);
        UPDATEManager::m_LastNakReason = 7;
        dlg.OnWizardEvent(Dlg::EV_RESULT, UPDATE_RESULT_DEVICE_NAK);
        EXPECT_EQ(dlg.m_page, Dlg::PAGE_DISCONNECTING_AFTER_ERROR);
        EXPECT_EQ(dlg.m_stepProgress, nullptr);
        EXPECT_EQ(dlg.m_totalProgress, nullptr);
        EXPECT_FALSE(dlg.m_btnNext.IsWindowEnabled());
        // No port is open: the disconnect worker ends at once with a result.
        EXPECT_TRUE(WaitForPage(dlg, Dlg::PAGE_ERROR));
        EXPECT_TRUE(dlg.m_btnNext.IsWindowEnabled());
    });
    ASSERT_GE(boxes.Count(), 1u);
    EXPECT_EQ(std::string(boxes.Calls()[0].text), "Wrong acknowledge has been received from device [7]");
}

TEST_F(WizardWindow, TransferResultsWithTheirBoxes)
{
    UseEnglish();
    struct Case {
        int code;
        const char* box;  // nullptr: none
    } cases[] = {
        {UPDATE_RESULT_UNEXPECTED_COMMAND, "Unexpected command has been received from the device"},
        {UPDATE_RESULT_TIMEOUT, "The hands-free car kit is not responding"},
        {UPDATE_RESULT_CANCELLED, nullptr},
        {UPDATE_RESULT_READ_ERROR, nullptr},  // text 28, checked below
    };
    for (const Case& c : cases) {
        Dlg dlg;
        zq::RecordingMessageBoxResponder boxes;
        RunModal(dlg, [&] {
            dlg.m_page = Dlg::PAGE_TRANSFERRING;
            dlg.OnWizardEvent(Dlg::EV_RESULT, c.code);
            EXPECT_EQ(dlg.m_page, Dlg::PAGE_DISCONNECTING_AFTER_ERROR) << c.code;
            EXPECT_TRUE(WaitForPage(dlg, Dlg::PAGE_ERROR)) << c.code;
        });
        if (c.code == UPDATE_RESULT_READ_ERROR) {
            ASSERT_EQ(boxes.Count(), 1u);
            EXPECT_EQ(std::string(boxes.Calls()[0].text), English(28));
        } else if (c.box) {
            ASSERT_EQ(boxes.Count(), 1u) << c.code;
            EXPECT_EQ(std::string(boxes.Calls()[0].text), c.box);
        } else {
            EXPECT_EQ(boxes.Count(), 0u) << c.code;
        }
    }
}

TEST_F(WizardWindow, DisconnectResultsEndTheRoad)
{
    Dlg dlg;
    RunModal(dlg, [&] {
        dlg.m_page = Dlg::PAGE_DISCONNECTING;
        dlg.OnWizardEvent(Dlg::EV_RESULT, UPDATE_RESULT_TIMEOUT);
        EXPECT_EQ(dlg.m_page, Dlg::PAGE_SUCCESS) << "a timed-out disconnect still ends well";
        dlg.m_containerPath = "Z:\\c.zip";
        dlg.OnWizardEvent(Dlg::EV_BACK, 0);
        EXPECT_EQ(dlg.m_page, Dlg::PAGE_SUCCESS);
        EXPECT_TRUE(dlg.m_containerPath.IsEmpty()) << "every event empties the container path";
        dlg.OnWizardEvent(Dlg::EV_NEXT, 0);
        EXPECT_EQ(dlg.m_page, Dlg::PAGE_WELCOME);
        EXPECT_TRUE(dlg.m_btnNext.IsWindowEnabled());
        EXPECT_FALSE(dlg.m_btnBrowse.IsWindowEnabled());

        dlg.m_page = Dlg::PAGE_DISCONNECTING_AFTER_ERROR;
        dlg.OnWizardEvent(Dlg::EV_RESULT, 9);  // no disconnect result: ignored
        EXPECT_EQ(dlg.m_page, Dlg::PAGE_DISCONNECTING_AFTER_ERROR);
        dlg.OnWizardEvent(Dlg::EV_RESULT, UPDATE_RESULT_SUCCESS);
        EXPECT_EQ(dlg.m_page, Dlg::PAGE_ERROR);
    });
}

TEST_F(WizardWindow, EmptyFileListShowsTheBrokenContainerTextAndDisconnects)
{
    UseEnglish();
    g_UpdateModel.ClearProduct();
    Dlg dlg;
    zq::RecordingMessageBoxResponder boxes;
    RunModal(dlg, [&] {
        dlg.m_page = Dlg::PAGE_DEVICE_INFO;
        dlg.OnWizardEvent(Dlg::EV_NEXT, 0);
        EXPECT_EQ(dlg.m_page, Dlg::PAGE_DISCONNECTING_AFTER_ERROR);
        EXPECT_TRUE(WaitForPage(dlg, Dlg::PAGE_ERROR));
    });
    ASSERT_GE(boxes.Count(), 1u);
    EXPECT_EQ(std::string(boxes.Calls().back().text), English(47));
}

TEST_F(WizardWindow, ThePortPagePresetsTheStoredPortAndStoresTheTypedText)
{
    UseEnglish();
    wizardtest::StoreSetting("PortNumber", "COM12");
    zq::SetSerialCommProvider([] {
        return zq::SerialCommList{{"/dev/ttyS90", "COM3"}, {"/dev/ttyS91", "COM10"}};
    });
    Dlg dlg;
    zq::RecordingMessageBoxResponder boxes;
    RunModal(dlg, [&] {
        dlg.m_page = Dlg::PAGE_PREPARE_CONNECTION;
        dlg.OnWizardEvent(Dlg::EV_NEXT, 0);
        EXPECT_EQ(dlg.m_page, Dlg::PAGE_SELECT_PORT);
        CWnd* box = dlg.GetDlgItem(IDC_COMPORT_COMBO);
        EXPECT_TRUE(box->IsWindowVisible());
        EXPECT_EQ(Text(*box), "COM12");
        EXPECT_EQ(box->SendMessage(CB_GETCOUNT, 0, 0), 2);

        box->SetWindowText("7");
        dlg.OnWizardEvent(Dlg::EV_NEXT, 0);
        EXPECT_FALSE(box->IsWindowVisible());
        EXPECT_EQ(wizardtest::ReadSetting("PortNumber"), "7");
        // "7" names no port: the connect worker fails with a port error.
        EXPECT_TRUE(WaitForPage(dlg, Dlg::PAGE_PREPARE_CONNECTION));
    });
    zq::SetSerialCommProvider(nullptr);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(std::string(boxes.Calls()[0].text).substr(0, English(47).size()), English(47));
}

TEST_F(WizardWindow, WithNoStoredPortTheFieldShowsCom0)
{
    Dlg dlg;
    RunModal(dlg, [&] {
        dlg.m_page = Dlg::PAGE_PREPARE_CONNECTION;
        dlg.OnWizardEvent(Dlg::EV_NEXT, 0);
        EXPECT_EQ(Text(*dlg.GetDlgItem(IDC_COMPORT_COMBO)), "COM0");
    });
}

TEST_F(WizardWindow, CloseAsksOnEveryPageAndEscapeDoesNothing)
{
    UseEnglish();
    {
        Dlg dlg;
        zq::RecordingMessageBoxResponder boxes({IDNO});
        INT_PTR result = RunModal(dlg, [&] {
            dlg.m_page = Dlg::PAGE_TRANSFERRING;
            dlg.SendMessage(WM_CLOSE, 0, 0);
            EXPECT_TRUE(::IsWindow(dlg.GetSafeHwnd()));
            EXPECT_EQ(dlg.m_page, Dlg::PAGE_TRANSFERRING);
            zq::headless::PressKey(VK_ESCAPE);
            zq::headless::ReleaseKey(VK_ESCAPE);
            zq::PumpPendingMessages();
            dlg.m_page = Dlg::PAGE_WELCOME;
        }, IDOK);
        EXPECT_EQ(result, IDOK) << "neither No nor Escape ended the window";
        ASSERT_EQ(boxes.Count(), 1u);
        EXPECT_EQ(std::string(boxes.Calls()[0].text), English(18));
        EXPECT_EQ(std::string(boxes.Calls()[0].caption), CAPTION);
    }
    {
        Dlg dlg;
        zq::RecordingMessageBoxResponder boxes({IDYES});
        INT_PTR result = RunModal(dlg, [&] { dlg.SendMessage(WM_CLOSE, 0, 0); }, -1);
        EXPECT_EQ(result, IDCANCEL);
    }
}

// The enabled buttons and the shown bars and port box, as one line.
std::string Controls(Dlg& dlg)
{
    std::string shown;
    auto add = [&](bool on, const char* name) {
        if (on)
            shown += shown.empty() ? name : std::string(" ") + name;
    };
    add(dlg.m_btnNext.IsWindowEnabled(), "next");
    add(dlg.m_btnBack.IsWindowEnabled(), "back");
    add(dlg.m_btnExit.IsWindowEnabled(), "exit");
    add(dlg.m_btnBrowse.IsWindowEnabled(), "browse");
    add(dlg.m_stepProgress != nullptr, "step-bar");
    add(dlg.m_totalProgress != nullptr, "total-bar");
    add(dlg.GetDlgItem(IDC_COMPORT_COMBO)->IsWindowVisible(), "port-box");
    return shown;
}

TEST_F(WizardWindow, EachTransitionLeavesItsPageWithItsControls)
{
    UseEnglish();
    TempFolder temp("temp");
    temp.Write("junk.zip", "not a zip");
    temp.MakeFolder("good");
    temp.Write("good/update.xml",
               "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<update version=\"139\">\n"
               "<device name=\"RX7150\" variant=\"EU\" id=\"7\">\n"
               "<hardware><board pcb=\"P1\" revision=\"A\"/></hardware></device>\n"
               "<files><common><file name=\"a.bin\"/></common></files>\n</update>\n");
    temp.Write("good/a.bin", "data");
    temp.MakeFolder("empty");
    temp.MakeFolder("work");
    UPDATEManager::m_TempFolder = zq::LinuxToWindows(temp.Linux()).c_str();
    CString workFolder = g_WorkFolder;
    CString programPath = g_ProgramPath;
    g_WorkFolder = zq::LinuxToWindows(temp.Linux("work")).c_str();  // no product.xml there
    // The XML library is loaded from the program's folder.
    g_ProgramPath = zq::LinuxToWindows(std::string(ZQ_BINARY_DIR) + "/bin/test_wizard").c_str();
    zq::SetFileDialogResponder([&](const zq::FileDialogCall&, CString* path) {
        *path = zq::LinuxToWindows(temp.Linux("junk.zip")).c_str();
        return true;
    });
    zq::SetDiskSpaceProvider([](const std::string&, zq::DiskSpace& space) {
        space.freeToCaller = space.totalFree = 1ULL << 40;
        space.total = 1ULL << 41;
        return true;
    });
    auto repository = [&](const char* name) {
        return [&temp, name](Dlg& dlg) {
            dlg.SetNextEnabled(false);
            dlg.m_protocol.SetRepositoryFolder(CString(zq::LinuxToWindows(temp.Linux(name)).c_str()));
        };
    };
    auto workerRuns = [](bool stepBar, bool totalBar) {
        return [=](Dlg& dlg) {
            dlg.SetNextEnabled(false);
            dlg.ShowStepProgress(stepBar);
            dlg.ShowTotalProgress(totalBar);
        };
    };
    // Start page (set up as the road leaves it), event and code; the page
    // after it and what is enabled and shown there. Question boxes get No.
    struct Case {
        int from;
        std::function<void(Dlg&)> prepare;
        int event;
        int code;
        int to;
        std::string controls;
    } cases[] = {
        {Dlg::PAGE_WELCOME, nullptr, Dlg::EV_BACK, 0, Dlg::PAGE_WELCOME, "next exit"},
        {Dlg::PAGE_WELCOME, nullptr, Dlg::EV_NEXT, 0, Dlg::PAGE_SELECT_CONTAINER, "back exit browse"},
        {Dlg::PAGE_SELECT_CONTAINER, nullptr, Dlg::EV_BACK, 0, Dlg::PAGE_WELCOME, "next exit"},
        {Dlg::PAGE_SELECT_CONTAINER, nullptr, Dlg::EV_BROWSE, 0, Dlg::PAGE_UNPACKING, ""},
        {Dlg::PAGE_UNPACKING, repository("good"), Dlg::EV_RESULT, 0, Dlg::PAGE_PREPARE_CONNECTION,
         "next exit"},
        {Dlg::PAGE_UNPACKING, repository("empty"), Dlg::EV_RESULT, 0, Dlg::PAGE_ERROR, "next exit"},
        {Dlg::PAGE_PREPARE_CONNECTION, nullptr, Dlg::EV_NEXT, 0, Dlg::PAGE_SELECT_PORT,
         "next exit port-box"},
        {Dlg::PAGE_SELECT_PORT, nullptr, Dlg::EV_NEXT, 0, Dlg::PAGE_CONNECTING, "exit"},
        {Dlg::PAGE_CONNECTING, workerRuns(false, false), Dlg::EV_EXIT, 0, Dlg::PAGE_CONNECTING, ""},
        {Dlg::PAGE_CONNECTING, workerRuns(false, false), Dlg::EV_RESULT, UPDATE_RESULT_SUCCESS,
         Dlg::PAGE_READING_DEVICE, "exit step-bar"},
        {Dlg::PAGE_CONNECTING, workerRuns(false, false), Dlg::EV_RESULT, UPDATE_RESULT_TIMEOUT,
         Dlg::PAGE_PREPARE_CONNECTION, "next exit"},
        {Dlg::PAGE_CONNECTING, workerRuns(false, false), Dlg::EV_RESULT, UPDATE_RESULT_CANCELLED,
         Dlg::PAGE_ERROR, "next exit"},
        {Dlg::PAGE_READING_DEVICE, workerRuns(true, false), Dlg::EV_RESULT, UPDATE_RESULT_SUCCESS,
         Dlg::PAGE_DISCONNECTING_AFTER_ERROR, "exit"},
        {Dlg::PAGE_READING_DEVICE, workerRuns(true, false), Dlg::EV_RESULT, UPDATE_RESULT_TIMEOUT,
         Dlg::PAGE_DISCONNECTING_AFTER_ERROR, "exit"},
        {Dlg::PAGE_READING_DEVICE, workerRuns(true, false), Dlg::EV_RESULT, UPDATE_RESULT_PORT_ERROR,
         Dlg::PAGE_READING_DEVICE, "exit step-bar"},
        {Dlg::PAGE_DEVICE_INFO, nullptr, Dlg::EV_NEXT, 0, Dlg::PAGE_DISCONNECTING_AFTER_ERROR, "exit"},
        {Dlg::PAGE_TRANSFERRING, workerRuns(true, true), Dlg::EV_EXIT, 0, Dlg::PAGE_TRANSFERRING,
         "exit step-bar total-bar"},
        {Dlg::PAGE_TRANSFERRING, workerRuns(true, true), Dlg::EV_RESULT, UPDATE_RESULT_SUCCESS,
         Dlg::PAGE_DISCONNECTING, ""},
        {Dlg::PAGE_TRANSFERRING, workerRuns(true, true), Dlg::EV_RESULT, UPDATE_RESULT_TIMEOUT,
         Dlg::PAGE_DISCONNECTING_AFTER_ERROR, "exit"},
        {Dlg::PAGE_DISCONNECTING, workerRuns(false, false), Dlg::EV_RESULT, UPDATE_RESULT_TIMEOUT,
         Dlg::PAGE_SUCCESS, "next exit"},
        {Dlg::PAGE_DISCONNECTING_AFTER_ERROR, workerRuns(false, false), Dlg::EV_RESULT,
         UPDATE_RESULT_SUCCESS, Dlg::PAGE_ERROR, "next exit"},
        {Dlg::PAGE_SUCCESS, nullptr, Dlg::EV_NEXT, 0, Dlg::PAGE_WELCOME, "next exit"},
    };
    g_UpdateModel.ClearProduct();
    for (const Case& c : cases) {
        Dlg dlg;
        zq::RecordingMessageBoxResponder boxes({IDNO});
        RunModal(dlg, [&] {
            dlg.m_page = c.from;
            if (c.prepare)
                c.prepare(dlg);
            dlg.OnWizardEvent(c.event, c.code);
            EXPECT_EQ(dlg.m_page, c.to) << "from page " << c.from << ", event " << c.event << ", code " << c.code;
            EXPECT_EQ(Controls(dlg), c.controls)
                << "from page " << c.from << ", event " << c.event << ", code " << c.code;
        });
        dlg.m_protocol.ResetCancel();
    }
    g_WorkFolder = workFolder;
    g_ProgramPath = programPath;
    zq::SetFileDialogResponder(nullptr);
    zq::SetDiskSpaceProvider(nullptr);
}

TEST_F(WizardWindow, ReturnAsksTheCloseQuestionOnEveryPage)
{
    UseEnglish();
    // No: the window stays on its page, also with the focus in the port box
    // right after typing a port name, and during a transfer.
    for (int page : {Dlg::PAGE_WELCOME, Dlg::PAGE_SELECT_PORT, Dlg::PAGE_TRANSFERRING}) {
        Dlg dlg;
        zq::RecordingMessageBoxResponder boxes({IDNO});
        size_t ran = 0;
        HWND window = nullptr;
        INT_PTR result = wizardtest::RunModalSteps(
            dlg,
            {[&] {
                 window = dlg.GetSafeHwnd();
                 if (page == Dlg::PAGE_SELECT_PORT) {
                     dlg.m_page = Dlg::PAGE_PREPARE_CONNECTION;
                     dlg.OnWizardEvent(Dlg::EV_NEXT, 0);
                     CWnd* box = dlg.GetDlgItem(IDC_COMPORT_COMBO);
                     box->SetFocus();
                     box->SetWindowText("COM5");
                 } else {
                     dlg.m_page = page;
                 }
                 // Escape, through the same loop, neither asks nor ends.
                 zq::headless::PressKey(VK_ESCAPE);
                 zq::headless::ReleaseKey(VK_ESCAPE);
             },
             [&] {
                 EXPECT_EQ(boxes.Count(), 0u) << "page " << page;
                 zq::headless::PressKey(VK_RETURN);
                 zq::headless::ReleaseKey(VK_RETURN);
             },
             [&] { EXPECT_EQ(dlg.m_page, page); }},
            &ran);
        EXPECT_EQ(result, IDABORT) << "No left the window open on page " << page;
        EXPECT_EQ(ran, 3u);
        ASSERT_EQ(boxes.Count(), 1u) << "page " << page;
        EXPECT_EQ(std::string(boxes.Calls()[0].text), English(18));
        EXPECT_EQ(std::string(boxes.Calls()[0].caption), CAPTION);
        EXPECT_EQ(boxes.Calls()[0].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
        EXPECT_EQ(boxes.Calls()[0].owner, window);
    }
    // Yes ends the window as the framework's OK does.
    Dlg dlg;
    zq::RecordingMessageBoxResponder boxes({IDYES});
    INT_PTR result = wizardtest::RunModalSteps(dlg, {[&] { zq::headless::PressKey(VK_RETURN); }, [] {}});
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(boxes.Count(), 1u);
}

TEST_F(WizardWindow, ProgressNoticesWithoutTheirBarChangeNothing)
{
    Dlg dlg;
    RunModal(dlg, [&] {
        EXPECT_EQ(dlg.SendMessage(WM_STEP_PROGRESS, 50, 0), 1);
        EXPECT_EQ(dlg.SendMessage(WM_TOTAL_PROGRESS, 50, 0), 1);
        dlg.ShowStepProgress(true);
        dlg.SendMessage(WM_STEP_PROGRESS, 42, 0);
        EXPECT_EQ(dlg.m_stepProgress->GetPos(), 42);
        dlg.ShowStepProgress(false);
        EXPECT_EQ(dlg.m_stepProgress, nullptr);
    });
}

}  // namespace
