// Closing the wizard (the close box, Yes to the question) on each page that
// waits for a worker, with the kit or the unpacker stalled there: the window
// and its worker are gone long before the session's own wait (3 s to 30 s)
// would have passed, nothing that the program started lives on, and nothing
// more is written into the temporary folder, the Repository included.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include "link/UPDATEManager.h"
#include "platform/paths/DrivePaths.h"
#include "platform/window/CFileDialog.h"
#include "platform/window/Headless.h"
#include "platform/window/MessageBoxSeam.h"
#include "tests/support/CarKitSimulator.h"
#include "tests/support/Processes.h"
#include "tests/support/StandInUnpacker.h"
#include "tests/support/ScopedSeam.h"
#include "tests/support/TempFolder.h"
#include "tests/wizard/WizardTestSupport.h"
#include "wizard/CQuorinUpdateManagerApp.h"
#include "wizard/CQuorinUpdateManagerDlg.h"

namespace {

using Dlg = CQuorinUpdateManagerDlg;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const int COM = 203;
// The close itself takes some ten milliseconds; the shortest wait of a
// session that it must cut short is the disconnect's 3 s.
const long long CLOSE_BOUND_MS = 2000;
const int KILLED_GONE_BOUND_S = 10;
// From the page's start until the kit or the unpacker stalls its worker.
const int STALL_BOUND_MS = 10000;

// The processes below this one, children of children included.
std::set<pid_t> Descendants()
{
    return zqtest::Descendants(getpid());
}

// What lives on of the processes and of their groups, other than this
// process's own group.
std::vector<pid_t> LeftOver(const std::set<pid_t>& started)
{
    const std::map<pid_t, zqtest::ProcessEntry> all = zqtest::AllProcesses();
    std::set<pid_t> groups;
    std::vector<pid_t> left;
    for (pid_t pid : started) {
        auto it = all.find(pid);
        if (it == all.end())
            continue;
        if (it->second.state != 'Z')
            left.push_back(pid);
        if (it->second.group != getpgrp())
            groups.insert(it->second.group);
    }
    for (const auto& [pid, p] : all)
        if (groups.count(p.group) && p.state != 'Z' && !started.count(pid))
            left.push_back(pid);
    return left;
}

struct CloseCase {
    const char* name;
    int page;              // the page the close comes on
    const char* scenario;  // how the kit stalls there; "" when the unpacker does
};

void PrintTo(const CloseCase& c, std::ostream* out)
{
    *out << c.name;
}

long long Ms(Clock::duration d)
{
    return std::chrono::duration_cast<milliseconds>(d).count();
}

class WizardClose : public ::testing::TestWithParam<CloseCase> {
protected:
    void SetUp() override
    {
        const CloseCase& c = GetParam();
        ASSERT_EQ(access(m_sample.c_str(), R_OK), 0) << m_sample << " is made by the build";
        ASSERT_TRUE(m_sim.Start({}, c.scenario)) << m_sim.Error() << m_sim.Log();
        // The program folder as installed, with the stand-in for the unpack.
        const std::string bin = std::string(ZQ_BINARY_DIR) + "/bin";
        m_program.Link("libexpat.dll", bin + "/libexpat.dll");
        if (c.page == Dlg::PAGE_UNPACKING) {
            ASSERT_EQ(chmod(m_program.Write("7za", zqtest::SlowUnpackerScript()).c_str(), 0755), 0);
        } else {
            m_program.Link("7za", bin + "/7za");
        }
        CQuorinUpdateManagerApp::SetUpFolders(zq::LinuxToWindows(m_program.Linux("ZQUpdateManager")).c_str());
        m_before = Descendants();
    }

    // Waits until the kit or the unpacker stalls the page's worker; a
    // failure says which of them did not within how long.
    ::testing::AssertionResult Stalled()
    {
        if (*GetParam().scenario) {
            if (m_sim.WaitFor("rule", 1, STALL_BOUND_MS))
                return ::testing::AssertionSuccess();
            return ::testing::AssertionFailure()
                   << "the kit's stalling rule did not fire within " << STALL_BOUND_MS / 1000 << " s; the kit's log:\n"
                   << m_sim.Log();
        }
        const auto until = Clock::now() + milliseconds(STALL_BOUND_MS);
        while (!m_temp.Exists("Repository/f0")) {
            if (Clock::now() >= until)
                return ::testing::AssertionFailure()
                       << "the stand-in unpacker wrote no file within " << STALL_BOUND_MS / 1000 << " s";
            std::this_thread::sleep_for(milliseconds(10));
        }
        return ::testing::AssertionSuccess();
    }

    zqtest::CarKitSimulator m_sim{COM};  // first: it makes the per-user folder
    zqtest::TempFolder m_temp{"temp"};
    zqtest::TempFolder m_program{"program"};
    zqtest::KeepStartupFolders m_keepFolders;
    zqtest::ScopedEnvironmentVariable m_tmp{"TMP", zq::LinuxToWindows(m_temp.Linux())};
    const std::string m_sample = std::string(ZQ_BINARY_DIR) + "/sample/RX7150-sample-update.zip";
    std::set<pid_t> m_before;
    // Last, so that it goes first: it answers with m_sample.
    zqtest::ScopedSeam<zq::FileDialogResponder> m_fileDialog{zq::SetFileDialogResponder,
                                                             [this](const zq::FileDialogCall&, CString* path) {
                                                                 *path = zq::LinuxToWindows(m_sample).c_str();
                                                                 return true;
                                                             }};
};

TEST_P(WizardClose, YesEndsTheWindowAndItsWorkerAtOnceAndLeavesNothingRunning)
{
    const int page = GetParam().page;
    Clock::time_point yes;
    zq::RecordingMessageBoxResponder boxes({IDYES});
    boxes.onCall = [&](const zq::MessageBoxCall&) { yes = Clock::now(); };
    std::set<pid_t> started;
    HWND window = nullptr;
    {
        Dlg dlg;
        zqtest::RunModal(
            dlg,
            [&] {
                window = dlg.GetSafeHwnd();
                ASSERT_TRUE(zqtest::ClickThroughTo(dlg, page, COM));
                ASSERT_TRUE(Stalled());
                std::this_thread::sleep_for(milliseconds(300));  // the worker is in its wait
                for (pid_t pid : Descendants())
                    if (!m_before.count(pid))
                        started.insert(pid);
                dlg.PostMessage(WM_CLOSE, 0, 0);
            },
            -1);
        EXPECT_FALSE(IsWindow(window));
        EXPECT_TRUE(dlg.m_protocol.WaitForSession(0)) << "the window went before its worker";
        EXPECT_EQ(dlg.m_page, page);
    }
    const auto gone = Clock::now();
    std::string asked;
    for (const zq::MessageBoxCall& call : boxes.Calls())
        asked += std::string(" \"") + call.text.GetString() + "\"";
    ASSERT_EQ(boxes.Count(), 1u) << asked;
    EXPECT_EQ(boxes.Calls()[0].type & MB_YESNO, static_cast<UINT>(MB_YESNO));
    EXPECT_LT(Ms(gone - yes), CLOSE_BOUND_MS) << "ms from the Yes until the window and its worker had gone";
    if (page == Dlg::PAGE_UNPACKING) {
        EXPECT_FALSE(started.empty()) << "the unpacker was not seen";
    }

    // The close kills what the program started; a killed process still
    // shows until the kernel runs it again to end it, which on a loaded
    // machine takes a while. One that still runs after this bound was not
    // killed: the stand-in unpacker's writer would run for a minute.
    std::vector<pid_t> left = LeftOver(started);
    while (!left.empty() && Clock::now() - gone < std::chrono::seconds(KILLED_GONE_BOUND_S)) {
        std::this_thread::sleep_for(milliseconds(10));
        left = LeftOver(started);
    }
    EXPECT_EQ(left, std::vector<pid_t>{})
        << "processes the program started still run " << Ms(Clock::now() - gone) << " ms after the window had gone";
    const std::vector<std::string> written = m_temp.List();
    std::this_thread::sleep_for(milliseconds(500));
    EXPECT_EQ(written, m_temp.List()) << "something was written after the window had gone";
    for (pid_t pid : left)
        kill(pid, SIGKILL);  // a failure leaves nothing behind either
}

INSTANTIATE_TEST_SUITE_P(
    Pages, WizardClose,
    ::testing::Values(CloseCase{"Unpacking", Dlg::PAGE_UNPACKING, ""},
                      CloseCase{"ConnectingToASilentKit", Dlg::PAGE_CONNECTING, "on connect do silence\n"},
                      CloseCase{"ReadingTheDevice", Dlg::PAGE_READING_DEVICE, "on request do silence\n"},
                      // The first file's confirmation does not come.
                      CloseCase{"Transferring", Dlg::PAGE_TRANSFERRING, "on end do silence\n"},
                      CloseCase{"Disconnecting", Dlg::PAGE_DISCONNECTING, "on disconnect do silence\n"}),
    [](const ::testing::TestParamInfo<CloseCase>& info) { return std::string(info.param.name); });

}  // namespace
