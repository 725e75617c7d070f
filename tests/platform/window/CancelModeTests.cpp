// WM_CANCELMODE and the mouse capture.
#include <gtest/gtest.h>

#include "platform/window/Controls.h"
#include "platform/window/Headless.h"

namespace {

// The default handling of WM_CANCELMODE ends the window's own mouse
// capture and leaves another window's alone, as on Windows; a hover button
// that got it must not keep a capture without its hover.
TEST(WindowInput, CancelModeEndsOnlyTheReceiversCapture)
{
    CWnd top;
    ASSERT_TRUE(top.CreateEx(0, "ZqTop", "top", WS_POPUP | WS_VISIBLE, CRect(100, 100, 400, 300), nullptr, 0));
    CButton a, b;
    ASSERT_TRUE(a.Create("A", WS_VISIBLE, CRect(10, 10, 60, 30), &top, 7));
    ASSERT_TRUE(b.Create("B", WS_VISIBLE, CRect(100, 10, 150, 30), &top, 8));

    a.SetCapture();
    b.SendMessage(WM_CANCELMODE);
    EXPECT_EQ(CWnd::GetCapture(), &a);
    a.SendMessage(WM_CANCELMODE);
    EXPECT_EQ(CWnd::GetCapture(), nullptr);
    top.DestroyWindow();
}

}  // namespace
