// One whole update through the wizard's pages, against the car-kit
// simulator: unpacking a real container, connecting, reading the kit's
// description, sending the files and disconnecting.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "container/GlobalFolders.h"
#include "container/UPDATEModel.h"
#include "link/UPDATEManager.h"
#include "platform/paths/DrivePaths.h"
#include "platform/window/CFileDialog.h"
#include "platform/window/Headless.h"
#include "platform/window/MessageBoxSeam.h"
#include "resources/resource.h"
#include "tests/platform/TempFolder.h"
#include "tests/support/CarKitSimulator.h"
#include "tests/wizard/WizardTestSupport.h"
#include "wizard/CQuorinUpdateManagerApp.h"
#include "wizard/CQuorinUpdateManagerDlg.h"

namespace {

using Dlg = CQuorinUpdateManagerDlg;

const char PRODUCT_XML[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<product name=\"Car\" variant=\"V2\"><devices>\n"
    "<device name=\"RX7150\" variant=\"EU\" id=\"7\">\n"
    "<software version=\"138\"/><hardware pcb=\"P1\" revision=\"A\"/>\n"
    "</device></devices></product>\n";

const char CONTAINER_XML[] =
    "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
    "<update version=\"139\">\n"
    "<device name=\"RX7150\" variant=\"EU\" id=\"7\" disp_name=\"Kit Seven\">\n"
    "<hardware><board pcb=\"P1\" revision=\"A\"/></hardware></device>\n"
    "<files><common><file name=\"a.bin\"/></common></files>\n"
    "</update>\n";

TEST(WizardRoad, AWholeUpdateFromTheWelcomePageToTheSuccessPage)
{
    CarKitSimulator sim(201);
    std::string product = sim.WriteFile("product.xml", PRODUCT_XML);
    // The kit confirms each file as an RX7150 above software 137 does.
    ASSERT_TRUE(sim.Start({"--product", product, "--model", "RX7150", "--software", "138"})) << sim.Error();

    TempFolder temp("temp");
    TempFolder source("source");
    source.Write("update.xml", CONTAINER_XML);
    std::string payload(5000, 'p');
    source.Write("a.bin", payload);
    std::string zip = temp.Linux("container.zip");
    std::string command = "cd '" + source.Linux() + "' && 7za a -tzip '" + zip + "' update.xml a.bin >/dev/null";
    ASSERT_EQ(system(command.c_str()), 0);

    KeepCurrentDirectory keep;
    setenv("TMP", temp.Windows().c_str(), 1);
    std::string program = zq::LinuxToWindows(std::string(ZQ_BINARY_DIR) + "/bin/test_wizard");
    CQuorinUpdateManagerApp::SetUpFolders(program.c_str());

    std::string containerPath = zq::LinuxToWindows(zip);
    zq::SetFileDialogResponder([&](const zq::FileDialogCall& call, CString* path) {
        EXPECT_EQ(std::string(call.filter), "ZIP Files (*.zip)|*.zip||");
        *path = containerPath.c_str();
        return true;
    });
    zq::RecordingMessageBoxResponder boxes;

    Dlg dlg;
    auto reach = [&](int page, int ms) {
        return zq::PumpMessagesUntil([&] { return dlg.m_page == page; }, ms);
    };
    wizardtest::RunModal(dlg, [&] {
        dlg.OnWizardEvent(Dlg::EV_NEXT, 0);
        dlg.OnWizardEvent(Dlg::EV_BROWSE, 0);
        ASSERT_EQ(dlg.m_page, Dlg::PAGE_UNPACKING);
        ASSERT_TRUE(reach(Dlg::PAGE_PREPARE_CONNECTION, 30000)) << "page " << dlg.m_page;
        dlg.OnWizardEvent(Dlg::EV_NEXT, 0);
        ASSERT_EQ(dlg.m_page, Dlg::PAGE_SELECT_PORT);
        dlg.GetDlgItem(IDC_COMPORT_COMBO)->SetWindowText("COM201");
        dlg.OnWizardEvent(Dlg::EV_NEXT, 0);
        ASSERT_TRUE(reach(Dlg::PAGE_DEVICE_INFO, 30000)) << "page " << dlg.m_page;
        ASSERT_EQ(g_UpdateModel.m_Product.devices.size(), 1u);
        dlg.OnWizardEvent(Dlg::EV_NEXT, 0);
        ASSERT_EQ(dlg.m_page, Dlg::PAGE_TRANSFERRING);
        ASSERT_TRUE(reach(Dlg::PAGE_SUCCESS, 60000)) << "page " << dlg.m_page;
        dlg.OnWizardEvent(Dlg::EV_NEXT, 0);
        EXPECT_EQ(dlg.m_page, Dlg::PAGE_WELCOME);
    });
    zq::SetFileDialogResponder(nullptr);

    for (const zq::MessageBoxCall& call : boxes.Calls())
        ADD_FAILURE() << "unexpected box: " << call.text;
    EXPECT_EQ(sim.ReceivedFile("a.bin"), payload);
    EXPECT_EQ(sim.ReceivedFile("RX7150.xml"), CONTAINER_XML) << "the description goes last, renamed";
    EXPECT_EQ(wizardtest::ReadSetting("PortNumber"), "COM201");
    sim.Stop();
}

}  // namespace
