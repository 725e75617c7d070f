// One whole update through the wizard's pages, against the car-kit
// simulator: unpacking a real container, connecting, reading the kit's
// description, sending the files and disconnecting.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "container/GlobalFolders.h"
#include "container/UPDATEModel.h"
#include "link/FrameLayer.h"
#include "link/UPDATEManager.h"
#include "platform/paths/DrivePaths.h"
#include "platform/window/CFileDialog.h"
#include "platform/window/Headless.h"
#include "platform/window/MessageBoxSeam.h"
#include "resources/resource.h"
#include "tests/support/FileLockHolder.h"
#include "tests/support/ScopedSeam.h"
#include "tests/support/TempFolder.h"
#include "tests/support/CarKitSimulator.h"
#include "tests/wizard/WizardTestSupport.h"
#include "wizard/CQuorinUpdateManagerApp.h"
#include "wizard/CQuorinUpdateManagerDlg.h"

namespace {

using Dlg = CQuorinUpdateManagerDlg;


const char PRODUCT_XML[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<product name=\"Car\" variant=\"V2\"><devices>\n"
                           "<device name=\"RX7150\" variant=\"EU\" id=\"7\">\n"
                           "<software version=\"138\"/><hardware pcb=\"P1\" revision=\"A\"/>\n"
                           "</device></devices></product>\n";

const char CONTAINER_XML[] = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
                             "<update version=\"139\">\n"
                             "<device name=\"RX7150\" variant=\"EU\" id=\"7\" disp_name=\"Kit Seven\">\n"
                             "<hardware><board pcb=\"P1\" revision=\"A\"/></hardware></device>\n"
                             "<files><common><file name=\"a.bin\"/></common></files>\n"
                             "</update>\n";

// The kit, a container with one file of the given size, and the folders as
// start-up sets them.
class WizardRoad : public ::testing::Test {
protected:
    void Prepare(size_t payloadSize, const std::vector<std::string>& extraOptions = {})
    {
        std::string product = m_sim.WriteFile("product.xml", PRODUCT_XML);
        // The kit confirms each file as an RX7150 above software 137 does.
        std::vector<std::string> options = {"--product", product, "--model", "RX7150", "--software", "138"};
        options.insert(options.end(), extraOptions.begin(), extraOptions.end());
        ASSERT_TRUE(m_sim.Start(options)) << m_sim.Error();
        zqtest::StoreSetting("Language", "English_UK");

        m_source.Write("update.xml", CONTAINER_XML);
        m_payload.assign(payloadSize, 'p');
        m_source.Write("a.bin", m_payload);
        std::string zip = m_temp.Linux("container.zip");
        std::string command = "cd '" + m_source.Linux() + "' && 7za a -tzip '" + zip + "' update.xml a.bin >/dev/null";
        ASSERT_EQ(system(command.c_str()), 0);

        setenv("TMP", zq::LinuxToWindows(m_temp.Linux()).c_str(), 1);
        std::string program = zq::LinuxToWindows(std::string(ZQ_BINARY_DIR) + "/bin/test_wizard");
        CQuorinUpdateManagerApp::SetUpFolders(program.c_str());

        m_containerPath = zq::LinuxToWindows(zip);
    }

    // From the welcome page to the device information, clicking the
    // buttons as the user does, by the pages each click leads to.
    static void ToDeviceInfo(Dlg& dlg)
    {
        std::vector<int> pages;
        ASSERT_TRUE(zqtest::ClickThroughTo(dlg, Dlg::PAGE_DEVICE_INFO, 201, &pages));
        const std::vector<int> road = {Dlg::PAGE_WELCOME,     Dlg::PAGE_SELECT_CONTAINER,
                                       Dlg::PAGE_UNPACKING,   Dlg::PAGE_PREPARE_CONNECTION,
                                       Dlg::PAGE_SELECT_PORT, Dlg::PAGE_CONNECTING};
        ASSERT_GE(pages.size(), road.size());
        EXPECT_EQ(std::vector<int>(pages.begin(), pages.begin() + road.size()), road);
    }

    // On to the transfer page, until the kit has the first file's header.
    void ToTransfer(Dlg& dlg)
    {
        ASSERT_NO_FATAL_FAILURE(ToDeviceInfo(dlg));
        zqtest::ClickOn(dlg, dlg.m_btnNext);
        ASSERT_EQ(dlg.m_page, Dlg::PAGE_TRANSFERRING);
        ASSERT_TRUE(m_sim.WaitFor("header", 1, 10000)) << "the first file's header at the kit within 10 s";
    }

    zqtest::CarKitSimulator m_sim{201};
    zqtest::TempFolder m_temp{"temp"};
    zqtest::TempFolder m_source{"source"};
    zqtest::KeepStartupFolders m_keepFolders;
    zqtest::ScopedEnvironmentVariable m_tmp{"TMP", getenv("TMP")};
    std::string m_payload;
    std::string m_containerPath;
    // Last, so that it goes first: it answers with m_containerPath.
    zqtest::ScopedSeam<zq::FileDialogResponder> m_fileDialog{
        zq::SetFileDialogResponder, [this](const zq::FileDialogCall& call, CString* path) {
            EXPECT_EQ(std::string(call.filter), "ZIP Files (*.zip)|*.zip||");
            *path = m_containerPath.c_str();
            return true;
        }};
};

TEST_F(WizardRoad, AWholeUpdateFromTheWelcomePageToTheSuccessPage)
{
    ASSERT_NO_FATAL_FAILURE(Prepare(5000));
    zq::RecordingMessageBoxResponder boxes;
    Dlg dlg;
    zqtest::RunModal(dlg, [&] {
        ASSERT_NO_FATAL_FAILURE(ToDeviceInfo(dlg));
        ASSERT_EQ(g_UpdateModel.m_Product.devices.size(), 1u);
        zqtest::ClickOn(dlg, dlg.m_btnNext);
        ASSERT_EQ(dlg.m_page, Dlg::PAGE_TRANSFERRING);
        ASSERT_TRUE(zqtest::WaitForPage(dlg, Dlg::PAGE_SUCCESS, 60000));
        zqtest::ClickOn(dlg, dlg.m_btnNext);
        EXPECT_EQ(dlg.m_page, Dlg::PAGE_WELCOME);
    });

    for (const zq::MessageBoxCall& call : boxes.Calls())
        ADD_FAILURE() << "unexpected box: " << call.text;
    EXPECT_EQ(m_sim.ReceivedFile("a.bin"), m_payload);
    EXPECT_EQ(m_sim.ReceivedFile("RX7150.xml"), CONTAINER_XML) << "the description goes last, renamed";
    EXPECT_EQ(zqtest::ReadSetting("PortNumber"), "COM201");
}

// What stands where the kit's product.xml is received. One that cannot be
// created (a folder of that name) gives the inquiry's box; the inquiry reads
// on and succeeds, and the wizard ends on the error page as for a
// description it cannot read, with no other box. An earlier inquiry's copy
// of another kit is never read in place of this kit's, also where it could
// not be written over.
TEST_F(WizardRoad, AProductXmlThatCannotBeCreatedEndsOnTheErrorPageAndNoEarlierCopyIsRead)
{
    ASSERT_NO_FATAL_FAILURE(Prepare(5000));
    const std::string earlier = "<?xml version=\"1.0\"?>\n<product name=\"Car\" variant=\"V2\"><devices>"
                                "<device name=\"RX5230\" variant=\"EU\" id=\"7\"><software version=\"111\"/>"
                                "<hardware pcb=\"P1\" revision=\"A\"/></device></devices></product>\n";
    const std::string elsewhere = m_source.Write("earlier/product.xml", earlier);
    const std::string product = m_temp.Linux("product.xml");
    struct Case {
        const char* what;
        // Plants what stands at product.xml; false when this user cannot have it.
        std::function<bool()> plant;
        bool box;         // the new one cannot be created
        bool lockFolder;  // once unpacked, the folder becomes one this user may not change
    } cases[] = {
        {"a folder of that name", [&] { return mkdir(product.c_str(), 0700) == 0; }, true, false},
        {"an earlier copy reached through a link", [&] { return symlink(elsewhere.c_str(), product.c_str()) == 0; },
         false, false},
        // As a copy that a run under another user left: root writes every
        // file, so only another user meets this one.
        {"an earlier copy this user may not write",
         [&] {
             m_temp.Write("product.xml", earlier);
             return geteuid() != 0 && chmod(product.c_str(), 0444) == 0;
         },
         false, false},
        // As in a shared temporary folder, where another user's copy can be
        // neither removed nor replaced; root changes every folder.
        {"an earlier copy that can be neither removed nor written",
         [&] {
             m_temp.Write("product.xml", earlier);
             return geteuid() != 0 && chmod(product.c_str(), 0444) == 0;
         },
         true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        rmdir(product.c_str());
        unlink(product.c_str());
        if (!c.plant()) {
            std::cout << "not planted for this user: " << c.what << "\n";
            continue;
        }
        // The simulator serves every case: only this case's frames count.
        const size_t earlierFrames = m_sim.Events("rx").size();
        zq::RecordingMessageBoxResponder boxes;
        Dlg dlg;
        bool devicePage = false;
        zqtest::RunModal(dlg, [&] {
            zqtest::ClickOn(dlg, dlg.m_btnNext);
            zqtest::ClickOn(dlg, dlg.m_btnBrowse);
            ASSERT_TRUE(zqtest::WaitForPage(dlg, Dlg::PAGE_PREPARE_CONNECTION, 30000));
            if (c.lockFolder) {
                ASSERT_EQ(chmod(m_temp.Linux().c_str(), 0555), 0);
            }
            zqtest::ClickOn(dlg, dlg.m_btnNext);
            dlg.GetDlgItem(IDC_COMPORT_COMBO)->SetWindowText("COM201");
            zqtest::ClickOn(dlg, dlg.m_btnNext);
            ASSERT_TRUE(zq::PumpMessagesUntil(
                [&] { return dlg.m_page == Dlg::PAGE_DEVICE_INFO || dlg.m_page == Dlg::PAGE_ERROR; }, 30000))
                << "the device or the error page within 30 s; the wizard shows page " << dlg.m_page;
            devicePage = dlg.m_page == Dlg::PAGE_DEVICE_INFO;
            // The Repository is this program's until the road ends.
            EXPECT_EQ(zqtest::FileLockHolder::OthersMayLock(m_temp.Linux("Repository.lock")), !devicePage);
            if (devicePage) {
                ASSERT_EQ(g_UpdateModel.m_Product.devices.size(), 1u);
                EXPECT_EQ(std::string(g_UpdateModel.m_Product.devices[0].name), "RX7150")
                    << "another kit's description was read";
            }
        });
        chmod(m_temp.Linux().c_str(), 0700);
        std::vector<std::string> texts;
        for (const zq::MessageBoxCall& call : boxes.Calls())
            texts.push_back(call.text.GetString());
        if (c.box) {
            EXPECT_FALSE(devicePage);
            EXPECT_EQ(texts, std::vector<std::string>{"Open file error (product.xml)"});
            // The inquiry took every frame of the description and ended
            // with success: no NAK went back, no file out, and the road
            // ended with the disconnect.
            int naks = 0, disconnects = 0, headers = 0;
            const auto frames = m_sim.Events("rx");
            for (size_t i = earlierFrames; i < frames.size(); ++i) {
                const auto& e = frames[i];
                naks += e.Number("type") == PtHostNak;
                disconnects += e.Number("type") == PtDisconnect;
                headers += e.Number("type") == PtFileHeader;
            }
            EXPECT_EQ(naks, 0);
            EXPECT_EQ(headers, 0);
            EXPECT_EQ(disconnects, 1);
        } else {
            EXPECT_TRUE(devicePage);
            EXPECT_EQ(texts, std::vector<std::string>{});
        }
        std::ifstream in(elsewhere);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), earlier) << "a link was followed";
    }
}

// Another program holds the Repository's lock (here flock(1), as a second
// copy of the program would): the unpack does not start, the wizard shows
// the unzip error and ends on the error page, and the Repository keeps what
// it holds.
TEST_F(WizardRoad, AnUnpackIntoARepositoryThatAnotherProgramHoldsEndsWithTheUnzipError)
{
    ASSERT_NO_FATAL_FAILURE(Prepare(5000));
    m_temp.Write("Repository/theirs.bin", "theirs");
    zqtest::FileLockHolder holder(m_temp.Linux("Repository.lock"));
    ASSERT_TRUE(holder.Holds()) << "flock did not take the lock in 5 s";

    zq::RecordingMessageBoxResponder boxes;
    Dlg dlg;
    zqtest::RunModal(dlg, [&] {
        zqtest::ClickOn(dlg, dlg.m_btnNext);
        zqtest::ClickOn(dlg, dlg.m_btnBrowse);
        EXPECT_EQ(dlg.m_page, Dlg::PAGE_ERROR);
    });
    holder.End();
    std::vector<std::string> texts;
    for (const zq::MessageBoxCall& call : boxes.Calls())
        texts.push_back(call.text.GetString());
    EXPECT_EQ(texts, std::vector<std::string>{"Unzip error"});
    EXPECT_EQ(m_temp.Read("Repository/theirs.bin"), "theirs");
}

TEST_F(WizardRoad, LanguageSwitchAndCloseDuringTheTransfer)
{
    // A slow line: the transfer would take minutes.
    ASSERT_NO_FATAL_FAILURE(Prepare(200000, {"--baud", "19200"}));
    zq::RecordingMessageBoxResponder boxes({IDYES});
    INT_PTR result = -1;
    {
        Dlg dlg;
        result = zqtest::RunModal(
            dlg,
            [&] {
                ASSERT_NO_FATAL_FAILURE(ToTransfer(dlg));
                // The language switches at once while the worker goes on.
                dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_LANG_GERMAN, BN_CLICKED),
                                reinterpret_cast<LPARAM>(dlg.m_btnGerman.GetSafeHwnd()));
                CString caption;
                dlg.m_btnBack.GetWindowText(caption);
                EXPECT_EQ(std::string(caption), "Zur\xFC"
                                                "ck");
                EXPECT_EQ(dlg.m_page, Dlg::PAGE_TRANSFERRING);
                dlg.SendMessage(WM_CLOSE, 0, 0);
            },
            -1);
        // The window object goes here; the worker must be over by now.
        EXPECT_TRUE(dlg.m_protocol.WaitForSession(0)) << "the window went before its worker";
    }
    EXPECT_EQ(result, IDCANCEL);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(std::string(boxes.Calls()[0].text), "M\xF6"
                                                  "chten Sie den Aldemar Zubeh\xF6r Update Manager wirklich beenden?");
    EXPECT_NE(m_sim.ReceivedFile("a.bin"), m_payload) << "the transfer did not run to its end";
}

TEST_F(WizardRoad, ReturnDuringTheTransferAsksAndNoLetsItRunToTheEnd)
{
    // Paced, so the transfer still runs when the key comes.
    ASSERT_NO_FATAL_FAILURE(Prepare(40000, {"--baud", "115200"}));
    Dlg dlg;
    int pageDuringQuestion = -1;
    zq::RecordingMessageBoxResponder boxes({IDNO});
    boxes.onCall = [&](const zq::MessageBoxCall&) { pageDuringQuestion = dlg.m_page; };
    size_t ran = 0;
    const std::vector<std::function<void()>> steps = {
        [&] {
            ASSERT_NO_FATAL_FAILURE(ToTransfer(dlg));
            zq::headless::PressKey(VK_RETURN);
            zq::headless::ReleaseKey(VK_RETURN);
        },
        [&] { EXPECT_TRUE(zqtest::WaitForPage(dlg, Dlg::PAGE_SUCCESS, 60000)); },
    };
    INT_PTR result = zqtest::RunModalSteps(dlg, steps, &ran);
    EXPECT_EQ(result, IDABORT) << "No kept the window open";
    EXPECT_EQ(ran, 2u);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(std::string(boxes.Calls()[0].text),
              "Do you really want to close\nthe Aldemar Accessories Update Manager?");
    EXPECT_EQ(pageDuringQuestion, Dlg::PAGE_TRANSFERRING);
    EXPECT_EQ(m_sim.ReceivedFile("a.bin"), m_payload) << "the transfer went on to its end";
    EXPECT_EQ(m_sim.ReceivedFile("RX7150.xml"), CONTAINER_XML);
}

}  // namespace
