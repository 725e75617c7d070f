// A window that closes while a session waits: every wait of the session
// ends at once, the session posts its cancelled result, and an unpacker
// that is still writing is ended with what it started.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/CarKitSimulator.h"
#include "tests/support/Processes.h"
#include "tests/support/StandInUnpacker.h"
#include "tests/support/TempFolder.h"
#include "LinkNotifications.h"
#include "KitSessionTest.h"
#include "LinkTestSupport.h"
#include "tests/support/link/RecordingProtocol.h"
#include "container/GlobalFolders.h"
#include "container/UPDATEModel.h"
#include "container/UpdateResult.h"
#include "link/FrameLayer.h"
#include "link/UPDATEProtocol.h"
#include "platform/paths/DrivePaths.h"
#include "platform/window/Headless.h"
#include "UpdateTestSupport.h"

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

const int COM = 202;
// Far below every wait of the sessions (3 s to 30 s), well above the
// closing work (the connect's 200 ms pause).
const auto CLOSE_BOUND = milliseconds(2000);

struct CloseCase {
    const char* name;
    const char* scenario;  // the kit answers the connect, then keeps silent
    bool connectFirst;
    int (UPDATEProtocol::*start)();
};

class CloseWhileWaiting : public zqtest::KitSessionTest<COM, ::testing::TestWithParam<CloseCase>> {};

TEST_P(CloseWhileWaiting, EndsTheSessionAtOnce)
{
    const CloseCase& c = GetParam();
    ASSERT_TRUE(m_sim.Start({}, c.scenario)) << m_sim.Error() << m_sim.Log();
    if (c.connectFirst) {
        m_notifications.Clear();
        ASSERT_EQ(m_protocol.StartConnect(), UPDATEProtocol::SESSION_STARTED);
        ASSERT_EQ(m_notifications.WaitForResult(30000), UPDATE_RESULT_SUCCESS) << "the connect's result within 30 s";
        ASSERT_TRUE(m_protocol.WaitForSession(5000)) << "the connect session's end within 5 s";
    }
    m_notifications.Clear();
    ASSERT_EQ((m_protocol.*c.start)(), 0);
    ASSERT_TRUE(m_sim.WaitFor("rx", c.connectFirst ? 2 : 1)) << "the session's frames at the kit within 10 s";
    std::this_thread::sleep_for(milliseconds(300));  // the session is in its wait

    const auto closed = Clock::now();
    m_protocol.Close();
    EXPECT_EQ(m_notifications.WaitForResult(30000), UPDATE_RESULT_CANCELLED)
        << "the cancelled session's result within 30 s";
    EXPECT_TRUE(m_protocol.WaitForSession(30000)) << "the session thread's end within 30 s";
    EXPECT_LT(Clock::now() - closed, CLOSE_BOUND)
        << std::chrono::duration_cast<milliseconds>(Clock::now() - closed).count()
        << " ms from the close to the session's end";
}

INSTANTIATE_TEST_SUITE_P(
    Sessions, CloseWhileWaiting,
    ::testing::Values(CloseCase{"ConnectToASilentKit", "on connect do silence\n", false, &UPDATEProtocol::StartConnect},
                      CloseCase{"ReadingTheDevice", "on request do silence\n", true, &UPDATEProtocol::StartInquiry},
                      CloseCase{"Disconnecting", "on disconnect do silence\n", true, &UPDATEProtocol::StartDisconnect}),
    [](const ::testing::TestParamInfo<CloseCase>& info) { return std::string(info.param.name); });

// The session fixture waits for the transfer's end however the test ends;
// the model that the transfer reads is emptied after that.
class CloseWhileSending : public zqtest::KitSessionTest<COM> {
protected:
    void TearDown() override
    {
        zqtest::KitSessionTest<COM>::TearDown();
        g_UpdateModel.Reset();
    }
};

TEST_F(CloseWhileSending, AWindowThatStoppedListeningHearsNothingMoreAndTheSessionEndsAtOnce)
{
    // A closing window stops listening, and a moment later it closes, while
    // the transfer posts its progress with every frame.
    ASSERT_TRUE(m_sim.Start({"--baud", "115200"})) << m_sim.Error() << m_sim.Log();
    zqtest::TempFolder repository("zq-closesend");
    repository.Write("a.bin", zqtest::RandomBytes(200000, 7));
    repository.Write("update.xml", "<?xml version=\"1.0\"?><update/>\n");
    zqtest::SetUpModelToSend("a.bin");
    ASSERT_EQ(OpenSerialPort(COM), 1);
    m_protocol.SetRepositoryFolder(zq::LinuxToWindows(repository.Linux()).c_str());
    m_protocol.SetLastFileName("update.xml");
    ASSERT_EQ(m_protocol.StartUpdate(), 0);
    ASSERT_TRUE(zq::PumpMessagesUntil([&] { return m_notifications.Values(WM_TOTAL_PROGRESS).size() > 2; }, 10000))
        << "the transfer's progress within 10 s";

    UPDATEManager::SetNotifyWindow(nullptr);
    // A notice that the session was posting at that moment may still come.
    std::this_thread::sleep_for(milliseconds(100));
    zq::PumpPendingMessages();
    const size_t heard = m_notifications.Values(WM_TOTAL_PROGRESS).size();
    const size_t framesBefore = m_sim.Events("rx").size();
    std::this_thread::sleep_for(milliseconds(500));
    ASSERT_GT(m_sim.Events("rx").size(), framesBefore) << "the transfer stood still";

    const auto closed = Clock::now();
    m_protocol.Close();
    EXPECT_TRUE(m_protocol.WaitForSession(30000)) << "the session thread's end within 30 s";
    EXPECT_LT(Clock::now() - closed, CLOSE_BOUND)
        << std::chrono::duration_cast<milliseconds>(Clock::now() - closed).count()
        << " ms from the close to the session's end";
    zq::PumpPendingMessages();
    EXPECT_EQ(m_notifications.Values(WM_TOTAL_PROGRESS).size(), heard);
    EXPECT_TRUE(m_notifications.Values(WM_UPDATE_RESULT).empty());
}

using zqtest::ProcessRuns;

TEST(CloseWhileUnpacking, EndsTheUnpackerWithWhatItStartedAndWritesNothingAfter)
{
    // The stand-in writes on for far longer than the test runs.
    zqtest::TempFolder root("zq-closeunzip");
    const std::string repository = root.Linux() + "/Repository";
    ASSERT_EQ(mkdir(repository.c_str(), 0700), 0);
    const std::string container = root.Write("in/c.zip", "PK not really a container");
    const std::string script = root.Write("bin/7za", zqtest::SlowUnpackerScript());
    ASSERT_EQ(0, chmod(script.c_str(), 0755));

    zqtest::RecordingProtocol protocol;
    ASSERT_EQ(UPDATE_RESULT_SUCCESS,
              protocol.StartUnzip(zq::LinuxToWindows(root.Linux() + "/bin").c_str(),
                                  zq::LinuxToWindows(repository).c_str(), zq::LinuxToWindows(container).c_str()));
    pid_t child = 0;
    for (int i = 0; i < 300 && child <= 0; ++i) {
        std::this_thread::sleep_for(milliseconds(10));
        child = static_cast<pid_t>(atoi(root.Read("bin/writer.pid").c_str()));
    }
    ASSERT_GT(child, 0) << "the stand-in's writer within 3 s";
    std::this_thread::sleep_for(milliseconds(300));

    const auto closed = Clock::now();
    protocol.Close();
    EXPECT_EQ(UPDATE_RESULT_CANCELLED, protocol.WaitResult(30000)) << "the cancelled unpack's result within 30 s";
    EXPECT_LT(Clock::now() - closed, CLOSE_BOUND)
        << std::chrono::duration_cast<milliseconds>(Clock::now() - closed).count()
        << " ms from the close to the session's end";
    // What it had written is no container's: none of it stays.
    std::vector<std::string> unpacked;
    for (const std::string& name : root.List())
        if (name.rfind("Repository/", 0) == 0)
            unpacked.push_back(name);
    EXPECT_EQ(unpacked, std::vector<std::string>{}) << "the ended unpacker's files stay";
    // Killed with its group; it may stay a zombie until its new parent reaps it.
    for (int i = 0; i < 200 && ProcessRuns(child); ++i)
        std::this_thread::sleep_for(milliseconds(10));
    EXPECT_FALSE(ProcessRuns(child)) << "the unpacker's child lives on";
    if (ProcessRuns(child))
        kill(child, SIGKILL);

    const auto before = root.List();
    std::this_thread::sleep_for(milliseconds(400));
    EXPECT_EQ(before, root.List()) << "something was written after the unpack ended";
}

}  // namespace
