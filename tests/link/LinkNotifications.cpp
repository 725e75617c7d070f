// The window that records the workers' notices for the link tests.
#include "LinkNotifications.h"

#include <gtest/gtest.h>

#include "link/UPDATEManager.h"
#include "platform/window/Headless.h"
#include "platform/window/WinUser.h"

namespace zqtest {

class Notifications::Sink : public CWnd {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_TOTAL_PROGRESS || message == WM_STEP_PROGRESS || message == WM_UPDATE_RESULT ||
            message == WM_UPDATE_INFO_CHANGED) {
            m_messages.emplace_back(message, wParam);
            return 0;
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }
    std::vector<std::pair<UINT, WPARAM>> m_messages;
};

Notifications::Notifications() : m_sink(new Sink)
{
    CRect rect(0, 0, 10, 10);
    if (!m_sink->CreateEx(0, "ZqLinkTestSink", "", WS_POPUP, rect, nullptr, 0))
        ADD_FAILURE() << "no notification window";
}

Notifications::~Notifications()
{
    m_sink->DestroyWindow();
    delete m_sink;
}

CWnd* Notifications::Window()
{
    return m_sink;
}

void Notifications::Clear()
{
    zq::PumpPendingMessages();
    m_sink->m_messages.clear();
}

int Notifications::WaitForResult(int milliseconds)
{
    auto hasResult = [this] {
        for (const auto& m : m_sink->m_messages)
            if (m.first == WM_UPDATE_RESULT)
                return true;
        return false;
    };
    if (!zq::PumpMessagesUntil(hasResult, milliseconds))
        return -1;
    // Let the messages posted just before the result in too.
    zq::PumpPendingMessages();
    std::vector<WPARAM> results = Values(WM_UPDATE_RESULT);
    EXPECT_EQ(results.size(), 1u) << "one result per session";
    return static_cast<int>(results.front());
}

std::vector<WPARAM> Notifications::Values(UINT message) const
{
    std::vector<WPARAM> values;
    for (const auto& m : m_sink->m_messages)
        if (m.first == message)
            values.push_back(m.second);
    return values;
}

}  // namespace zqtest
