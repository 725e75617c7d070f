// The wizard window and its page state machine on the headless window
// system, with the message boxes answered by a recording responder.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

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
#include "tests/container/ContainerFixture.h"
#include "tests/support/ScopedSeam.h"
#include "tests/wizard/PageViews.h"
#include "tests/wizard/WizardTestSupport.h"
#include "wizard/CQuorinUpdateManagerDlg.h"

namespace {

using Dlg = CQuorinUpdateManagerDlg;
using zqtest::RunModal;

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
    void UseEnglish() { zqtest::StoreSetting("Language", "English_UK"); }

    zqtest::PrivateRegistry m_registry;
};

TEST_F(WizardWindow, OpensOnTheWelcomePageInGermanWithoutAStoredLanguage)
{
    Dlg dlg;
    RunModal(dlg, [&] {
        EXPECT_EQ(dlg.m_page, Dlg::PAGE_WELCOME);
        EXPECT_EQ(dlg.m_texts.GetLanguage(), LanguageTexts::LANGUAGE_GERMAN);
        EXPECT_EQ(Text(dlg.m_btnNext), "Weiter");
        EXPECT_EQ(Text(dlg.m_btnBack), "Zur\xFC"
                                       "ck");
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
    EXPECT_EQ(zqtest::ReadSetting("Language"), "(none)") << "nothing stored before a choice";
}

TEST_F(WizardWindow, FlagsSwitchTheLanguageAtOnceAndStoreIt)
{
    Dlg dlg;
    RunModal(dlg, [&] {
        dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_LANG_ENGLISH, BN_CLICKED),
                        reinterpret_cast<LPARAM>(dlg.m_btnEnglish.GetSafeHwnd()));
        EXPECT_EQ(Text(dlg.m_btnNext), "Next");
        EXPECT_EQ(zqtest::ReadSetting("Language"), "English_UK");
        dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_LANG_GERMAN, BN_CLICKED),
                        reinterpret_cast<LPARAM>(dlg.m_btnGerman.GetSafeHwnd()));
        EXPECT_EQ(Text(dlg.m_btnExit), "Abbruch");
        EXPECT_EQ(zqtest::ReadSetting("Language"), "Deutsch");
    });
}

TEST_F(WizardWindow, ErrorTextOfEveryResultCode)
{
    UseEnglish();
    // What the user reads for each code. A port error reads as a broken
    // container, both request errors read alike, and a failed unpack start
    // is unspecific here (the machine shows the unzip text for it itself).
    const struct {
        int code;
        const char* text;
    } cases[] = {
        {UPDATE_RESULT_SUCCESS, "success"},
        {UPDATE_RESULT_DEVICE_DISCONNECTED, "Device terminates connection with our Computer"},
        {UPDATE_RESULT_DEVICE_NAK, "Wrong acknowledge has been received from device"},
        {UPDATE_RESULT_UNEXPECTED_COMMAND, "Unexpected command has been received from the device"},
        {UPDATE_RESULT_TIMEOUT, "The hands-free car kit is not responding"},
        {UPDATE_RESULT_CANCELLED, "User terminated connection"},
        {UPDATE_RESULT_NO_DATA, "There exists no data for update"},
        {UPDATE_RESULT_UNSPECIFIC, "Unspecific error"},
        {UPDATE_RESULT_FILE_OPEN_ERROR, "File open error"},
        {UPDATE_RESULT_PORT_ERROR, "Can not find proper object. \nThe Update container is broken."},
        {UPDATE_RESULT_UNZIP_ERROR, "Unzip error"},
        {UPDATE_RESULT_DISK_SPACE, "Not enough space on disk to write/unzip file"},
        {UPDATE_RESULT_READ_ERROR, "Can not read file"},
        {UPDATE_RESULT_WRITE_ERROR, "Can not write file on disk"},
        {UPDATE_RESULT_INTERNET_OPEN_ERROR, "Can not open internet connection"},
        {UPDATE_RESULT_INTERNET_READ_ERROR, "Can not read file from internet"},
        {UPDATE_RESULT_INTERNET_LINK_ERROR, "Can not open internet link"},
        {UPDATE_RESULT_REQUEST_ERROR, "The request could not be sent to the server"},
        {UPDATE_RESULT_REQUEST_ERROR_2, "The request could not be sent to the server"},
        {UPDATE_RESULT_DEVICE_NOT_IN_CONTAINER, "The Update container does not provide an update for this device"},
        {UPDATE_RESULT_HARDWARE_NOT_SUPPORTED,
         "The Update container does not provide an update for this hardware version"},
        {UPDATE_RESULT_SAME_VERSION, "The same software version, do you want to make an update"},
        {UPDATE_RESULT_XML_PARSE_ERROR, "XML parse error. \nThe Update container is broken."},
        {UPDATE_RESULT_UNZIP_START_ERROR, "Unspecific error"},
    };
    Dlg dlg;
    RunModal(dlg, [&] {
        for (const auto& c : cases)
            EXPECT_EQ(std::string(dlg.GetErrorText(c.code)), c.text) << "code " << c.code;
        for (int code : {-1, -100, int{UPDATE_RESULT_CODE_COUNT}, 1000})
            EXPECT_EQ(std::string(dlg.GetErrorText(code)), "Unspecific error") << "code " << code;
        // In the window's language.
        dlg.m_texts.SetLanguage(LanguageTexts::LANGUAGE_GERMAN);
        EXPECT_EQ(std::string(dlg.GetErrorText(UPDATE_RESULT_TIMEOUT)),
                  std::string(dlg.m_texts.GetTextFor(LanguageTexts::LANGUAGE_GERMAN, TXT_ERR_NOT_RESPONDING)));
        EXPECT_NE(std::string(dlg.GetErrorText(UPDATE_RESULT_TIMEOUT)), "The hands-free car kit is not responding");
    });
}

TEST_F(WizardWindow, BrowseGivenUpAsksWhetherToGoOn)
{
    UseEnglish();
    int dialogs = 0;
    const zqtest::ScopedSeam files(zq::SetFileDialogResponder, [&](const zq::FileDialogCall&, CString*) {
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
        EXPECT_EQ(std::string(boxes.Calls()[0].text), English(TXT_SELECT_FILE_QUESTION));
        EXPECT_EQ(boxes.Calls()[0].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    }
}

TEST_F(WizardWindow, UnpackThatCannotStartEndsOnTheErrorPage)
{
    UseEnglish();
    zqtest::TempFolder temp("temp");
    temp.Write("c.zip", std::string(1000, 'z'));
    const zqtest::ScopedValue tempFolder(UPDATEManager::m_TempFolder,
                                         CString(zq::LinuxToWindows(temp.Linux()).c_str()));
    struct Case {
        std::string container;
        bool fullDisk;
        bool noThread;  // the system has no thread for the unpack worker
        int text;
    } cases[] = {
        {zq::LinuxToWindows(temp.Linux("missing.zip")), false, false, TXT_ERR_READ_FILE},
        {zq::LinuxToWindows(temp.Linux("c.zip")), true, false, TXT_ERR_DISK_SPACE},
        {zq::LinuxToWindows(temp.Linux("c.zip")), false, true, TXT_ERR_UNZIP},
    };
    for (const Case& c : cases) {
        const zqtest::ScopedSeam files(zq::SetFileDialogResponder, [&](const zq::FileDialogCall&, CString* path) {
            *path = c.container.c_str();
            return true;
        });
        const zqtest::ScopedSeam disk(zq::SetDiskSpaceProvider, [&](const std::string&, zq::DiskSpace& space) {
            space.freeToCaller = space.totalFree = c.fullDisk ? 1999 : 1ULL << 40;
            space.total = 1ULL << 41;
            return true;
        });
        Dlg dlg;
        zq::RecordingMessageBoxResponder boxes;
        RunModal(dlg, [&] {
            dlg.OnWizardEvent(Dlg::EV_NEXT, 0);
            {
                const zqtest::ScopedSeam threadStarts(zq::RefuseThreadStarts, c.noThread);
                dlg.OnWizardEvent(Dlg::EV_BROWSE, 0);
            }
            EXPECT_EQ(dlg.m_page, Dlg::PAGE_ERROR) << c.text;
            EXPECT_TRUE(dlg.m_btnNext.IsWindowEnabled());
            EXPECT_FALSE(dlg.m_btnBrowse.IsWindowEnabled());
            EXPECT_EQ(std::string(dlg.m_protocol.GetRepositoryFolder()),
                      zq::LinuxToWindows(temp.Linux()) + "\\Repository");
            // Nothing runs: no result arrives, the page stays.
            zq::PumpMessagesUntil([] { return false; }, 200);
            EXPECT_EQ(dlg.m_page, Dlg::PAGE_ERROR);
        });
        ASSERT_EQ(boxes.Count(), 1u) << c.text;
        EXPECT_EQ(std::string(boxes.Calls()[0].text), English(c.text));
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
        EXPECT_EQ(std::string(boxes.Calls()[0].text), English(TXT_CONFIRM_CLOSE));
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

TEST_F(WizardWindow, ThePortPagePresetsTheStoredPortAndStoresTheTypedText)
{
    UseEnglish();
    zqtest::StoreSetting("PortNumber", "COM12");
    const zqtest::ScopedSeam ports(zq::SetSerialCommProvider, [] {
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
        EXPECT_EQ(zqtest::ReadSetting("PortNumber"), "7");
        // "7" names no port: the connect worker fails with a port error.
        EXPECT_TRUE(zqtest::WaitForPage(dlg, Dlg::PAGE_PREPARE_CONNECTION)) << "the connect worker's result";
    });
    ASSERT_EQ(boxes.Count(), 1u);
    const std::string portError = English(TXT_ERR_CONTAINER_BROKEN);
    EXPECT_EQ(std::string(boxes.Calls()[0].text).substr(0, portError.size()), portError);
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
        INT_PTR result = RunModal(
            dlg,
            [&] {
                dlg.m_page = Dlg::PAGE_TRANSFERRING;
                dlg.SendMessage(WM_CLOSE, 0, 0);
                EXPECT_TRUE(::IsWindow(dlg.GetSafeHwnd()));
                EXPECT_EQ(dlg.m_page, Dlg::PAGE_TRANSFERRING);
                zq::headless::PressKey(VK_ESCAPE);
                zq::headless::ReleaseKey(VK_ESCAPE);
                zq::PumpPendingMessages();
                dlg.m_page = Dlg::PAGE_WELCOME;
            },
            IDOK);
        EXPECT_EQ(result, IDOK) << "neither No nor Escape ended the window";
        ASSERT_EQ(boxes.Count(), 1u);
        EXPECT_EQ(std::string(boxes.Calls()[0].text), English(TXT_CONFIRM_CLOSE));
        EXPECT_EQ(std::string(boxes.Calls()[0].caption), CAPTION);
    }
    {
        Dlg dlg;
        zq::RecordingMessageBoxResponder boxes({IDYES});
        INT_PTR result = RunModal(
            dlg, [&] { dlg.SendMessage(WM_CLOSE, 0, 0); }, -1);
        EXPECT_EQ(result, IDCANCEL);
    }
}

// The enabled buttons, the shown bars and port box, and whether a container
// is chosen, as one line.
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
    add(!dlg.m_containerPath.IsEmpty(), "container");
    return shown;
}

// A message box as the user sees it: its text, its buttons and icon, and
// its caption ("" not looked at).
struct Box {
    std::string text;  // "" for no box
    UINT type;
    std::string caption = CAPTION;
};
const Box NO_BOX = {"", 0};

Box Ok(const std::string& text)
{
    return {text, MB_OK};
}
Box Question(int text)
{
    return {English(text), MB_YESNO | MB_ICONQUESTION};
}

const char CONTAINER_OF_ONE_FILE[] = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<update version=\"139\">\n"
                                     "<device name=\"RX7150\" variant=\"EU\" id=\"7\">\n"
                                     "<hardware><board pcb=\"P1\" revision=\"A\"/></hardware></device>\n"
                                     "<files><common><file name=\"a.bin\"/></common></files>\n</update>\n";

// The car kit's description with one device.
std::string Product(const char* name, const char* software, const char* pcb)
{
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<product name=\"Car\" variant=\"V2\"><devices>\n") +
           "<device name=\"" + name + "\" variant=\"EU\" id=\"7\"><software version=\"" + software +
           "\"/><hardware pcb=\"" + pcb + "\" revision=\"A\"/></device></devices></product>\n";
}

TEST_F(WizardWindow, EachTransitionShowsItsPageBoxAndControls)
{
    UseEnglish();
    LanguageTexts().SetLanguage(LanguageTexts::LANGUAGE_ENGLISH);  // for the texts of the table
    zqtest::TempFolder temp("temp");
    temp.Write("junk.zip", "not a zip");
    for (const char* folder : {"good", "failed", "missing"}) {
        temp.MakeFolder(folder);
        temp.Write(std::string(folder) + "/update.xml", CONTAINER_OF_ONE_FILE);
    }
    temp.Write("good/a.bin", "data");
    temp.Write("failed/a.bin", "data");
    temp.MakeFolder("empty");
    temp.MakeFolder("noxml");
    temp.Write("noxml/a.bin", "data");
    temp.MakeFolder("broken");
    temp.Write("broken/update.xml", "no xml at all");
    temp.Write("sub/inner/update.xml", CONTAINER_OF_ONE_FILE);  // no description at the top
    temp.Write("sub/inner/a.bin", "data");
    temp.MakeFolder("work");
    const zqtest::ScopedValue tempFolder(UPDATEManager::m_TempFolder,
                                         CString(zq::LinuxToWindows(temp.Linux()).c_str()));
    // The XML library is loaded from the program's folder; the car kit's
    // description is received into the work folder.
    zqtest::FolderNames folders(zqtest::WinPath(std::string(ZQ_BINARY_DIR) + "/bin/test_wizard"),
                                zqtest::WinPath(temp.Linux("work")));
    const zqtest::ScopedSeam files(zq::SetFileDialogResponder, [&](const zq::FileDialogCall&, CString* path) {
        *path = zq::LinuxToWindows(temp.Linux("junk.zip")).c_str();
        return true;
    });
    const zqtest::ScopedSeam disk(zq::SetDiskSpaceProvider, [](const std::string&, zq::DiskSpace& space) {
        space.freeToCaller = space.totalFree = 1ULL << 40;
        space.total = 1ULL << 41;
        return true;
    });

    using Prepare = std::function<void(Dlg&)>;
    auto unpacked = [&temp](const char* name) -> Prepare {
        return [&temp, name](Dlg& dlg) {
            dlg.m_page = Dlg::PAGE_UNPACKING;
            dlg.SetNextEnabled(false);
            dlg.m_protocol.SetRepositoryFolder(CString(zq::LinuxToWindows(temp.Linux(name)).c_str()));
        };
    };
    // The page of a running worker, as the page before leaves it. A kit
    // that refuses a file gives reason 7, which goes when the test ends.
    const zqtest::ScopedValue nakReason(UPDATEManager::m_LastNakReason, UPDATEManager::m_LastNakReason);
    auto running = [](int page, bool stepBar = false, bool totalBar = false) -> Prepare {
        return [=](Dlg& dlg) {
            UPDATEManager::m_LastNakReason = 7;
            dlg.m_page = page;
            dlg.SetNextEnabled(false);
            dlg.ShowStepProgress(stepBar);
            dlg.ShowTotalProgress(totalBar);
        };
    };
    // The inquiry ends after the kit has sent this description ("" none).
    auto reading = [&temp, running](const std::string& product) -> Prepare {
        return [&temp, running, product](Dlg& dlg) {
            unlink(temp.Linux("work/product.xml").c_str());
            if (!product.empty())
                temp.Write("work/product.xml", product);
            dlg.m_protocol.m_ReceiveFileCreated = product.empty() ? FALSE : TRUE;
            running(Dlg::PAGE_READING_DEVICE, true)(dlg);
        };
    };
    // The inquiry could not create its description: what stands there is
    // an earlier one that could not be removed.
    auto leftOver = [reading](const std::string& product) -> Prepare {
        return [reading, product](Dlg& dlg) {
            reading(product)(dlg);
            dlg.m_protocol.m_ReceiveFileCreated = FALSE;
        };
    };
    auto connectFailure = [](int text) {
        return Box{English(text) + "\n" + English(TXT_NO_CONNECTION), MB_OK | MB_ICONEXCLAMATION};
    };
    auto refused = [](int text) { return Ok(English(text) + " [7]"); };
    // Asked by the file selection, not by the window: its caption is the
    // framework's.
    const Box sameVersion = {English(TXT_ERR_SAME_VERSION), MB_YESNO, ""};

    // Clicks on the buttons; other events go to the machine directly.
    enum { NEXT = -1, BACK = -2, BROWSE = -3 };
    const int EXIT = Dlg::EV_EXIT, RESULT = Dlg::EV_RESULT, INFO = Dlg::EV_INFO_CHANGED;
    const int NONE = -1;
    // One step of a road: an event (with its code) on the page that the step
    // before left, or that prepare sets; the page after it, what is enabled
    // and shown there, the box it raised, and the page that the worker it
    // started leads to once it has ended (no port is open, so the connect,
    // inquiry, update and disconnect workers end at once).
    struct Step {
        Prepare prepare;
        int event;
        int code;
        int page;
        std::string controls;
        Box box;
        int then;
    };
    // A road starts on a new window; its first step runs once for each of
    // codes (its own code when none is given). Question boxes are answered
    // in turn from answers, then with No.
    struct Road {
        std::vector<Step> steps;
        std::vector<int> codes = {};
        std::vector<int> answers = {};
    };
    // From the unpacked container to the device page, and a click on Next.
    auto devicePage = [&](const std::string& product, Step next, std::vector<int> answers = {}) {
        return Road{{{unpacked("good"), RESULT, 0, Dlg::PAGE_PREPARE_CONNECTION, "next exit", NO_BOX, NONE},
                     {reading(product), RESULT, 0, Dlg::PAGE_DEVICE_INFO, "next exit", NO_BOX, NONE},
                     next},
                    {},
                    answers};
    };
    const std::string older = Product("RX7150", "138", "P1");
    const Step transfer = {nullptr, NEXT,           0, Dlg::PAGE_TRANSFERRING, "exit step-bar total-bar",
                           NO_BOX,  Dlg::PAGE_ERROR};
    const Road roads[] = {
        // The welcome page and the choice of the container. Nothing but Next
        // is expected on the first two pages: a result and Back are ignored.
        {{{nullptr, RESULT, 0, Dlg::PAGE_WELCOME, "next exit", NO_BOX, NONE},
          {nullptr, Dlg::EV_BACK, 0, Dlg::PAGE_WELCOME, "next exit", NO_BOX, NONE},
          {nullptr, BACK, 0, Dlg::PAGE_WELCOME, "next exit", NO_BOX, NONE},
          {nullptr, NEXT, 0, Dlg::PAGE_SELECT_CONTAINER, "back exit browse", NO_BOX, NONE},
          {nullptr, RESULT, 0, Dlg::PAGE_SELECT_CONTAINER, "back exit browse", NO_BOX, NONE},
          {nullptr, NEXT, 0, Dlg::PAGE_SELECT_CONTAINER, "back exit browse", NO_BOX, NONE},
          {nullptr, BACK, 0, Dlg::PAGE_WELCOME, "next exit", NO_BOX, NONE},
          {nullptr, NEXT, 0, Dlg::PAGE_SELECT_CONTAINER, "back exit browse", NO_BOX, NONE},
          // The container is no zip: the unpacking fails.
          {nullptr, BROWSE, 0, Dlg::PAGE_UNPACKING, "container", NO_BOX, Dlg::PAGE_ERROR},
          // The next update needs a new choice: the end page forgets it.
          {nullptr, NEXT, 0, Dlg::PAGE_WELCOME, "next exit", NO_BOX, NONE}}},
        // The unpack worker's results and the checks of the unpacked container.
        {{{unpacked("good"), RESULT, 0, Dlg::PAGE_PREPARE_CONNECTION, "next exit", NO_BOX, NONE}}},
        {{{unpacked("failed"), RESULT, UPDATE_RESULT_UNZIP_ERROR, Dlg::PAGE_ERROR, "next exit",
           Ok(English(TXT_ERR_UNZIP)), NONE}}},
        {{{unpacked("absent"), RESULT, 0, Dlg::PAGE_ERROR, "next exit", Ok(English(TXT_ERR_UNZIP)), NONE}}},
        {{{unpacked("empty"), RESULT, 0, Dlg::PAGE_ERROR, "next exit", Ok(English(TXT_ERR_UNZIP)), NONE}}},
        {{{unpacked("noxml"), RESULT, 0, Dlg::PAGE_ERROR, "next exit", Ok(English(TXT_ERR_CONTAINER_BROKEN)), NONE}}},
        {{{unpacked("sub"), RESULT, 0, Dlg::PAGE_ERROR, "next exit", Ok(English(TXT_ERR_CONTAINER_BROKEN)), NONE}}},
        {{{unpacked("broken"), RESULT, 0, Dlg::PAGE_ERROR, "next exit", Ok(English(TXT_ERR_XML_PARSE)), NONE}}},
        {{{[&](Dlg& dlg) {
               unlink(temp.Linux("missing/a.bin").c_str());
               unpacked("missing")(dlg);
           },
           RESULT, 0, Dlg::PAGE_ERROR, "next exit", Ok(English(TXT_CONTAINER_CORRUPT)), NONE}}},
        // The port: no port is stored, so the connect worker cannot open one.
        {{{unpacked("good"), RESULT, 0, Dlg::PAGE_PREPARE_CONNECTION, "next exit", NO_BOX, NONE},
          {nullptr, NEXT, 0, Dlg::PAGE_SELECT_PORT, "next exit port-box", NO_BOX, NONE},
          {nullptr, NEXT, 0, Dlg::PAGE_CONNECTING, "exit", NO_BOX, Dlg::PAGE_PREPARE_CONNECTION},
          {nullptr, NEXT, 0, Dlg::PAGE_SELECT_PORT, "next exit port-box", NO_BOX, NONE},
          // Back is off here; the machine still takes its event one page back.
          {nullptr, Dlg::EV_BACK, 0, Dlg::PAGE_PREPARE_CONNECTION, "next exit", NO_BOX, NONE}}},
        // No thread for the connect worker: the page moves on as after a kit
        // that does not answer, and the user may try again.
        {{{unpacked("good"), RESULT, 0, Dlg::PAGE_PREPARE_CONNECTION, "next exit", NO_BOX, NONE},
          {nullptr, NEXT, 0, Dlg::PAGE_SELECT_PORT, "next exit port-box", NO_BOX, NONE},
          {[](Dlg&) { zq::RefuseThreadStarts(true); }, NEXT, 0, Dlg::PAGE_CONNECTING, "exit", NO_BOX,
           Dlg::PAGE_PREPARE_CONNECTION}}},
        // The connect worker's results.
        {{{running(Dlg::PAGE_CONNECTING), EXIT, 0, Dlg::PAGE_CONNECTING, "", NO_BOX, NONE}}},
        {{{running(Dlg::PAGE_CONNECTING), RESULT, UPDATE_RESULT_SUCCESS, Dlg::PAGE_READING_DEVICE, "exit step-bar",
           NO_BOX, Dlg::PAGE_ERROR}}},
        {{{running(Dlg::PAGE_CONNECTING), RESULT, UPDATE_RESULT_DEVICE_DISCONNECTED, Dlg::PAGE_PREPARE_CONNECTION,
           "next exit", connectFailure(TXT_ERR_DEVICE_DISCONNECTED), NONE}}},
        {{{running(Dlg::PAGE_CONNECTING), RESULT, UPDATE_RESULT_DEVICE_NAK, Dlg::PAGE_PREPARE_CONNECTION, "next exit",
           connectFailure(TXT_ERR_WRONG_ACK), NONE}}},
        {{{running(Dlg::PAGE_CONNECTING), RESULT, UPDATE_RESULT_TIMEOUT, Dlg::PAGE_PREPARE_CONNECTION, "next exit",
           connectFailure(TXT_ERR_NOT_RESPONDING), NONE}}},
        {{{running(Dlg::PAGE_CONNECTING), RESULT, UPDATE_RESULT_PORT_ERROR, Dlg::PAGE_PREPARE_CONNECTION, "next exit",
           connectFailure(TXT_ERR_CONTAINER_BROKEN), NONE}}},
        {{{running(Dlg::PAGE_CONNECTING), RESULT, UPDATE_RESULT_CANCELLED, Dlg::PAGE_ERROR, "next exit",
           Question(TXT_CONFIRM_CLOSE), NONE}}},
        // The inquiry worker's results.
        {{{reading(older), EXIT, 0, Dlg::PAGE_READING_DEVICE, "step-bar", NO_BOX, NONE}}},
        {{{reading(older), RESULT, UPDATE_RESULT_SUCCESS, Dlg::PAGE_DEVICE_INFO, "next exit", NO_BOX, NONE}}},
        {{{reading(""), RESULT, UPDATE_RESULT_SUCCESS, Dlg::PAGE_DISCONNECTING_AFTER_ERROR, "exit", NO_BOX,
           Dlg::PAGE_ERROR}}},
        {{{leftOver(older), RESULT, UPDATE_RESULT_SUCCESS, Dlg::PAGE_DISCONNECTING_AFTER_ERROR, "exit", NO_BOX,
           Dlg::PAGE_ERROR}}},
        {{{reading(older), RESULT, 0, Dlg::PAGE_DISCONNECTING_AFTER_ERROR, "exit", Ok(English(TXT_ERR_NO_CONNECTION)),
           Dlg::PAGE_ERROR}},
         {UPDATE_RESULT_DEVICE_DISCONNECTED, UPDATE_RESULT_DEVICE_NAK, UPDATE_RESULT_UNEXPECTED_COMMAND,
          UPDATE_RESULT_TIMEOUT}},
        {{{reading(older), RESULT, UPDATE_RESULT_CANCELLED, Dlg::PAGE_DISCONNECTING_AFTER_ERROR, "exit", NO_BOX,
           Dlg::PAGE_ERROR}}},
        {{{reading(older), RESULT, UPDATE_RESULT_PORT_ERROR, Dlg::PAGE_READING_DEVICE, "exit step-bar", NO_BOX, NONE}}},
        // The device page and the file selection, entered as the user does.
        devicePage(older, transfer),
        devicePage(Product("RX7150", "139", "P1"),
                   {nullptr, NEXT, 0, Dlg::PAGE_DISCONNECTING_AFTER_ERROR, "exit", sameVersion, Dlg::PAGE_ERROR}),
        devicePage(Product("RX7150", "139", "P1"),
                   {nullptr, NEXT, 0, Dlg::PAGE_TRANSFERRING, "exit step-bar total-bar", sameVersion, Dlg::PAGE_ERROR},
                   {IDYES}),
        devicePage(Product("RX7150", "139", "P1"),
                   {[](Dlg& dlg) { dlg.m_settings.m_forceUpdate = 1; }, NEXT, 0, Dlg::PAGE_TRANSFERRING,
                    "exit step-bar total-bar", NO_BOX, Dlg::PAGE_ERROR}),
        devicePage(Product("RX9999", "138", "P1"), {nullptr, NEXT, 0, Dlg::PAGE_DISCONNECTING_AFTER_ERROR, "exit",
                                                    Ok(English(TXT_ERR_CONTAINER_BROKEN)), Dlg::PAGE_ERROR}),
        devicePage(Product("RX7150", "138", "P9"), {nullptr, NEXT, 0, Dlg::PAGE_DISCONNECTING_AFTER_ERROR, "exit",
                                                    Ok(English(TXT_ERR_CONTAINER_BROKEN)), Dlg::PAGE_ERROR}),
        devicePage(older, {nullptr, EXIT, 0, Dlg::PAGE_DEVICE_INFO, "next exit", Question(TXT_CONFIRM_CLOSE), NONE}),
        devicePage(older,
                   {nullptr, EXIT, 0, Dlg::PAGE_DISCONNECTING_AFTER_ERROR, "exit", Question(TXT_CONFIRM_CLOSE),
                    Dlg::PAGE_ERROR},
                   {IDYES}),
        // No description read: the list of files is empty.
        {{{[](Dlg& dlg) {
               g_UpdateModel.ClearProduct();
               dlg.m_page = Dlg::PAGE_DEVICE_INFO;
           },
           Dlg::EV_NEXT, 0, Dlg::PAGE_DISCONNECTING_AFTER_ERROR, "exit", Ok(English(TXT_ERR_CONTAINER_BROKEN)),
           Dlg::PAGE_ERROR}}},
        // The update worker's results; the kit refused with reason 7.
        {{{running(Dlg::PAGE_TRANSFERRING, true, true), EXIT, 0, Dlg::PAGE_TRANSFERRING, "exit step-bar total-bar",
           Question(TXT_CONFIRM_CLOSE), NONE}}},
        {{{running(Dlg::PAGE_TRANSFERRING, true, true), EXIT, 0, Dlg::PAGE_TRANSFERRING, "step-bar total-bar",
           Question(TXT_CONFIRM_CLOSE), NONE}},
         {},
         {IDYES}},
        {{{running(Dlg::PAGE_TRANSFERRING, true, true), INFO, 0, Dlg::PAGE_TRANSFERRING, "exit step-bar total-bar",
           NO_BOX, NONE}}},
        {{{running(Dlg::PAGE_TRANSFERRING, true, true), RESULT, UPDATE_RESULT_SUCCESS, Dlg::PAGE_DISCONNECTING, "",
           NO_BOX, Dlg::PAGE_SUCCESS}}},
        {{{running(Dlg::PAGE_TRANSFERRING, true, true), RESULT, UPDATE_RESULT_DEVICE_DISCONNECTED,
           Dlg::PAGE_DISCONNECTING_AFTER_ERROR, "exit", refused(TXT_ERR_DEVICE_DISCONNECTED), Dlg::PAGE_ERROR}}},
        {{{running(Dlg::PAGE_TRANSFERRING, true, true), RESULT, UPDATE_RESULT_DEVICE_NAK,
           Dlg::PAGE_DISCONNECTING_AFTER_ERROR, "exit", refused(TXT_ERR_WRONG_ACK), Dlg::PAGE_ERROR}}},
        {{{running(Dlg::PAGE_TRANSFERRING, true, true), RESULT, UPDATE_RESULT_UNEXPECTED_COMMAND,
           Dlg::PAGE_DISCONNECTING_AFTER_ERROR, "exit", Ok(English(TXT_ERR_UNEXPECTED_COMMAND)), Dlg::PAGE_ERROR}}},
        {{{running(Dlg::PAGE_TRANSFERRING, true, true), RESULT, UPDATE_RESULT_TIMEOUT,
           Dlg::PAGE_DISCONNECTING_AFTER_ERROR, "exit", Ok(English(TXT_ERR_NOT_RESPONDING)), Dlg::PAGE_ERROR}}},
        {{{running(Dlg::PAGE_TRANSFERRING, true, true), RESULT, UPDATE_RESULT_CANCELLED,
           Dlg::PAGE_DISCONNECTING_AFTER_ERROR, "exit", NO_BOX, Dlg::PAGE_ERROR}}},
        {{{running(Dlg::PAGE_TRANSFERRING, true, true), RESULT, UPDATE_RESULT_READ_ERROR,
           Dlg::PAGE_DISCONNECTING_AFTER_ERROR, "exit", Ok(English(TXT_CONTAINER_CORRUPT)), Dlg::PAGE_ERROR}}},
        // The disconnect worker's results, and Next on the end pages.
        {{{running(Dlg::PAGE_DISCONNECTING), EXIT, 0, Dlg::PAGE_DISCONNECTING, "", NO_BOX, NONE}}},
        {{{running(Dlg::PAGE_DISCONNECTING), RESULT, 0, Dlg::PAGE_SUCCESS, "next exit", NO_BOX, NONE},
          {nullptr, NEXT, 0, Dlg::PAGE_WELCOME, "next exit", NO_BOX, NONE}},
         {0, 1, 2, 3, 4, 5}},
        // Every event on an end page forgets the chosen container.
        {{{running(Dlg::PAGE_DISCONNECTING), RESULT, UPDATE_RESULT_SUCCESS, Dlg::PAGE_SUCCESS, "next exit", NO_BOX,
           NONE},
          {[](Dlg& dlg) { dlg.m_containerPath = "Z:\\c.zip"; }, Dlg::EV_BACK, 0, Dlg::PAGE_SUCCESS, "next exit", NO_BOX,
           NONE}}},
        {{{running(Dlg::PAGE_DISCONNECTING_AFTER_ERROR), RESULT, 0, Dlg::PAGE_ERROR, "next exit", NO_BOX, NONE},
          {nullptr, NEXT, 0, Dlg::PAGE_WELCOME, "next exit", NO_BOX, NONE}},
         {0, 1, 2, 3, 4, 5}},
        {{{running(Dlg::PAGE_DISCONNECTING_AFTER_ERROR), RESULT, UPDATE_RESULT_PORT_ERROR,
           Dlg::PAGE_DISCONNECTING_AFTER_ERROR, "exit", NO_BOX, NONE}}},
    };
    g_UpdateModel.ClearProduct();
    int roadNumber = 0;
    for (const Road& road : roads) {
        ++roadNumber;
        std::vector<int> codes = road.codes;
        if (codes.empty())
            codes.push_back(road.steps[0].code);
        for (int firstCode : codes) {
            // A step may refuse the threads; the road's end gives them back.
            const zqtest::ScopedSeam threadStarts(zq::RefuseThreadStarts, false);
            std::vector<int> answers = road.answers;
            answers.resize(answers.size() + 8, IDNO);
            zq::RecordingMessageBoxResponder boxes(answers);
            Dlg dlg;
            RunModal(dlg, [&] {
                for (size_t i = 0; i < road.steps.size(); ++i) {
                    const Step& s = road.steps[i];
                    const int code = i == 0 ? firstCode : s.code;
                    const std::string where = "road " + std::to_string(roadNumber) + " step " + std::to_string(i + 1) +
                                              " (event " + std::to_string(s.event) + ", code " + std::to_string(code) +
                                              ")";
                    if (s.prepare)
                        s.prepare(dlg);
                    const size_t before = boxes.Count();
                    if (s.event == NEXT)
                        zqtest::ClickOn(dlg, dlg.m_btnNext);
                    else if (s.event == BACK)
                        zqtest::ClickOn(dlg, dlg.m_btnBack);
                    else if (s.event == BROWSE)
                        zqtest::ClickOn(dlg, dlg.m_btnBrowse);
                    else
                        dlg.OnWizardEvent(s.event, code);
                    // A worker that was started has posted its result by
                    // now; it waits in the queue until the page is checked.
                    EXPECT_TRUE(dlg.m_protocol.WaitForSession(10000)) << where << ": the worker's end within 10 s";
                    EXPECT_EQ(dlg.m_page, s.page) << where;
                    EXPECT_EQ(Controls(dlg), s.controls) << where;
                    std::vector<zq::MessageBoxCall> raised = boxes.Calls();
                    raised.erase(raised.begin(), raised.begin() + static_cast<std::ptrdiff_t>(before));
                    if (s.box.text.empty()) {
                        for (const zq::MessageBoxCall& call : raised)
                            ADD_FAILURE() << where << ": unexpected box " << call.text;
                    } else if (raised.size() != 1) {
                        ADD_FAILURE() << where << ": " << raised.size() << " boxes instead of one";
                    } else {
                        EXPECT_EQ(std::string(raised[0].text), s.box.text) << where;
                        if (!s.box.caption.empty()) {
                            EXPECT_EQ(std::string(raised[0].caption), s.box.caption) << where;
                        }
                        EXPECT_EQ(raised[0].type, s.box.type) << where;
                    }
                    EXPECT_EQ(zqtest::ShownPageDifference(dlg), "") << where;
                    if (s.then != NONE) {
                        EXPECT_TRUE(zqtest::WaitForPage(dlg, s.then)) << where << ": the worker's result";
                        EXPECT_TRUE(dlg.m_protocol.WaitForSession(10000)) << where << ": the worker's end within 10 s";
                    }
                }
            });
            dlg.m_protocol.ResetCancel();
        }
    }
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
        INT_PTR result = zqtest::RunModalSteps(dlg,
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
        EXPECT_EQ(std::string(boxes.Calls()[0].text), English(TXT_CONFIRM_CLOSE));
        EXPECT_EQ(std::string(boxes.Calls()[0].caption), CAPTION);
        EXPECT_EQ(boxes.Calls()[0].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
        EXPECT_EQ(boxes.Calls()[0].owner, window);
    }
    // Yes ends the window as the framework's OK does.
    Dlg dlg;
    zq::RecordingMessageBoxResponder boxes({IDYES});
    INT_PTR result = zqtest::RunModalSteps(dlg, {[&] { zq::headless::PressKey(VK_RETURN); }, [] {}});
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
