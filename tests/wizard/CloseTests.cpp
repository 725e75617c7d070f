// Closing the wizard (Yes to the close question) while the connect waits for
// a car kit that does not answer: the window and its worker are gone long
// before the connect's 20 s would have passed.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/window/Headless.h"
#include "platform/window/MessageBoxSeam.h"
#include "resources/resource.h"
#include "tests/support/CarKitSimulator.h"
#include "tests/wizard/WizardTestSupport.h"
#include "wizard/CQuorinUpdateManagerDlg.h"

namespace {

using Dlg = CQuorinUpdateManagerDlg;
using Clock = std::chrono::steady_clock;

TEST(WizardClose, YesWhileConnectingToASilentKitEndsAtOnce)
{
    CarKitSimulator sim{203};  // first: it makes the per-user folder
    ASSERT_TRUE(sim.Start({"--silent"})) << sim.Error() << sim.Log();
    zq::RecordingMessageBoxResponder boxes({IDYES});
    Clock::time_point closed;
    {
        Dlg dlg;
        wizardtest::RunModal(dlg, [&] {
            dlg.m_page = Dlg::PAGE_PREPARE_CONNECTION;
            dlg.OnWizardEvent(Dlg::EV_NEXT, 0);
            ASSERT_EQ(dlg.m_page, Dlg::PAGE_SELECT_PORT);
            dlg.GetDlgItem(IDC_COMPORT_COMBO)->SetWindowText("COM203");
            dlg.OnWizardEvent(Dlg::EV_NEXT, 0);
            ASSERT_EQ(dlg.m_page, Dlg::PAGE_CONNECTING);
            ASSERT_TRUE(sim.WaitFor("rx", 1));
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            closed = Clock::now();
            dlg.SendMessage(WM_CLOSE, 0, 0);
        }, -1);
        EXPECT_TRUE(dlg.m_protocol.WaitForSession(0));
    }
    EXPECT_LT(Clock::now() - closed, std::chrono::milliseconds(2000));
    ASSERT_EQ(boxes.Count(), 1u);
}

}  // namespace
