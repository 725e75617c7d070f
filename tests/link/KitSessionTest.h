// The fixture of the tests that run sessions against the car-kit simulator
// on COM<Com>, prepared as the wizard prepares them: a work folder inside the
// simulator's, the port stored, no cancel pending and the notices going to a
// window of the test's own. At the end the session is waited for and the
// port closed, so that no worker outlives its test, also when the test
// returned early: then the session is ended at once.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include <sys/stat.h>

#include "LinkNotifications.h"
#include "LinkTestSupport.h"
#include "container/GlobalFolders.h"
#include "link/FrameLayer.h"
#include "link/UPDATEManager.h"
#include "link/UPDATEProtocol.h"
#include "platform/paths/DrivePaths.h"
#include "tests/support/CarKitSimulator.h"
#include "tests/support/ScopedSeam.h"

namespace zqtest {

template <int Com, class Base = ::testing::Test>
class KitSessionTest : public Base {
protected:
    // Longer than every session's time-out.
    static constexpr int SESSION_END_WAIT = 30000;

    void SetUp() override
    {
        m_work = m_sim.Folder() + "/work";
        ASSERT_EQ(mkdir(m_work.c_str(), 0700), 0);
        g_WorkFolder = CString(zq::LinuxToWindows(m_work));
        StorePortNumber("COM" + std::to_string(Com));
        UPDATEManager::m_CancelRequested = 0;
        UPDATEManager::SetNotifyWindow(m_notifications.Window());
    }
    void TearDown() override
    {
        // A test that failed midway may have left its session waiting for
        // the kit.
        if (this->HasFailure())
            m_protocol.Close();
        EXPECT_TRUE(m_protocol.WaitForSession(SESSION_END_WAIT))
            << "the session thread's end within " << SESSION_END_WAIT << " ms";
        CloseSerialPort();
        UPDATEManager::SetNotifyWindow(nullptr);
        UPDATEManager::m_CancelRequested = 0;
    }

    zqtest::CarKitSimulator m_sim{Com};                                         // first: it sets the per-user folder
    zqtest::ScopedValue<CString> m_keepWorkFolder{g_WorkFolder, g_WorkFolder};  // SetUp and the tests change it
    std::string m_work;
    Notifications m_notifications;
    UPDATEProtocol m_protocol;
};

}  // namespace zqtest
