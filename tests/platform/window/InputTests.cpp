// Pointer, capture, focus and hit testing; painting after invalidation; the
// state of the standard controls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/window/Controls.h"
#include "platform/window/Headless.h"

namespace {

// Logs the focus, capture and pointer messages it gets, and tracks the
// pointer with a capture the way a hover button does.
class TrackingButton : public CButton {
public:
    std::vector<std::string>* log = nullptr;

protected:
    afx_msg void OnMouseMove(UINT flags, CPoint point)
    {
        CButton::OnMouseMove(flags, point);
        if (GetCapture() != this) {
            log->push_back("enter");
            SetFocus();
            SetCapture();
            return;
        }
        CPoint screen = point;
        ClientToScreen(&screen);
        if (WindowFromPoint(screen) != this) {
            log->push_back("leave");
            ReleaseCapture();
        }
    }
    afx_msg void OnLButtonDown(UINT flags, CPoint point)
    {
        log->push_back("down " + std::to_string(point.x) + "," + std::to_string(point.y));
        CButton::OnLButtonDown(flags, point);
    }
    afx_msg void OnLButtonDblClk(UINT, CPoint) { log->push_back("dblclk"); }
    afx_msg void OnSetFocus(CWnd*) { log->push_back("setfocus"); }
    afx_msg void OnKillFocus(CWnd*) { log->push_back("killfocus"); }
    afx_msg void OnCaptureChanged(CWnd*) { log->push_back("capturechanged"); }
    afx_msg BOOL OnSetCursor(CWnd*, UINT hitTest, UINT message)
    {
        if (hitTest == HTCLIENT && message == WM_MOUSEMOVE)
            log->push_back("setcursor");
        return TRUE;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(TrackingButton, CButton)
    ON_WM_MOUSEMOVE()
    ON_WM_LBUTTONDOWN()
    ON_WM_LBUTTONDBLCLK()
    ON_WM_SETFOCUS()
    ON_WM_KILLFOCUS()
    ON_WM_CAPTURECHANGED()
    ON_WM_SETCURSOR()
END_MESSAGE_MAP()

class Top : public CWnd {
public:
    std::vector<std::string> log;
    BOOL Make() { return CreateEx(0, "ZqTop", "top", WS_POPUP | WS_VISIBLE, CRect(100, 100, 400, 300), nullptr, 0); }

protected:
    afx_msg void OnNotifyHover(NMHDR* header, LRESULT*) { log.push_back("notify " + std::to_string(header->idFrom)); }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Top, CWnd)
    ON_NOTIFY(NM_HOVER, 7, &Top::OnNotifyHover)
END_MESSAGE_MAP()

TEST(WindowInput, PointerCaptureFocusAndHitTesting)
{
    Top top;
    ASSERT_TRUE(top.Make());
    TrackingButton button, other;
    button.log = &top.log;
    other.log = &top.log;
    ASSERT_TRUE(button.Create("A", WS_VISIBLE, CRect(10, 10, 60, 30), &top, 7));
    ASSERT_TRUE(other.Create("B", WS_VISIBLE, CRect(100, 10, 150, 30), &top, 8));
    HWND h = top.GetSafeHwnd();

    EXPECT_EQ(CWnd::WindowFromPoint(CPoint(120, 120)), &button);
    EXPECT_EQ(CWnd::WindowFromPoint(CPoint(105, 105)), &top);
    other.ShowWindow(SW_HIDE);
    EXPECT_EQ(CWnd::WindowFromPoint(CPoint(210, 115)), &top);
    other.ShowWindow(SW_SHOW);

    zq::headless::MoveMouse(h, 20, 15);  // enters: focus and capture
    zq::headless::MoveMouse(h, 25, 15);  // still over it, captured
    zq::headless::MoveMouse(h, 80, 15);  // leaves while captured
    zq::PumpPendingMessages();
    EXPECT_EQ(top.log, (std::vector<std::string>{"setcursor", "enter", "setfocus", "leave", "capturechanged"}));
    EXPECT_EQ(CWnd::GetCapture(), nullptr);

    // Focus moves with a kill-focus message to the old window first.
    top.log.clear();
    other.SetFocus();
    EXPECT_EQ(top.log, (std::vector<std::string>{"killfocus", "setfocus"}));

    // The press arrives in the button's client coordinates; a quick second
    // press on the same spot is a double click.
    top.log.clear();
    zq::headless::PressMouse(h, 20, 15);
    zq::headless::ReleaseMouse(h, 20, 15);
    zq::headless::PressMouse(h, 20, 15);
    zq::headless::ReleaseMouse(h, 20, 15);
    zq::PumpPendingMessages();
    ASSERT_GE(top.log.size(), 2u);
    EXPECT_EQ(top.log[0], "down 10,5");
    EXPECT_EQ(top.log.back(), "dblclk");

    // A disabled button lets the pointer fall through to its parent.
    button.EnableWindow(FALSE);
    EXPECT_EQ(CWnd::WindowFromPoint(CPoint(120, 120)), &top);

    // WM_NOTIFY reaches the parent's map by code and id.
    top.log.clear();
    NMHDR header = {button.GetSafeHwnd(), 7, NM_HOVER};
    top.SendMessage(WM_NOTIFY, 7, reinterpret_cast<LPARAM>(&header));
    EXPECT_EQ(top.log, (std::vector<std::string>{"notify 7"}));
}

struct Painter : CWnd {
    std::vector<std::string>* log = nullptr;
    std::string name;
    afx_msg void OnPaint()
    {
        log->push_back(name);
        ValidateRect(nullptr);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Painter, CWnd)
    ON_WM_PAINT()
END_MESSAGE_MAP()

TEST(WindowInput, PaintFollowsInvalidationParentFirst)
{
    std::vector<std::string> log;
    Painter parent, child;
    parent.log = child.log = &log;
    parent.name = "parent";
    child.name = "child";
    ASSERT_TRUE(parent.CreateEx(0, "P", "", WS_POPUP | WS_VISIBLE, CRect(0, 0, 100, 100), nullptr, 0));
    ASSERT_TRUE(child.Create("C", "", WS_VISIBLE, CRect(10, 10, 20, 20), &parent, 1));
    zq::PumpPendingMessages();
    EXPECT_EQ(log, (std::vector<std::string>{"parent", "child"}));
    log.clear();
    // A rectangle away from the child repaints only the parent; UpdateWindow
    // paints at once, without the queue.
    CRect away(50, 50, 60, 60);
    parent.InvalidateRect(&away, FALSE);
    parent.UpdateWindow();
    EXPECT_EQ(log, (std::vector<std::string>{"parent"}));
    log.clear();
    parent.RedrawWindow();
    EXPECT_EQ(log, (std::vector<std::string>{"parent", "child"}));
    EXPECT_EQ(zq::PumpPendingMessages(), 0);
    // A child that paints at once while its parent still waits is drawn
    // again after the parent, so the parent's picture does not cover it.
    log.clear();
    parent.Invalidate();
    child.UpdateWindow();
    zq::PumpPendingMessages();
    EXPECT_EQ(log, (std::vector<std::string>{"child", "parent", "child"}));
}

}  // namespace

namespace {

TEST(StandardControls, ComboProgressAndToolTipKeepTheirState)
{
    Top top;
    ASSERT_TRUE(top.Make());
    CComboBox combo;
    ASSERT_TRUE(combo.Create(CBS_DROPDOWN | CBS_SORT | WS_VISIBLE, CRect(0, 0, 100, 80), &top, 1038));
    for (const char* port : {"COM3", "COM10", "COM1", "com2"})
        combo.AddString(port);
    std::vector<std::string> listed;
    for (int i = 0; i < combo.GetCount(); ++i) {
        CString text;
        combo.GetLBText(i, text);
        listed.push_back(text.GetString());
    }
    // Sorted without regard to case: COM10 stands above COM3.
    EXPECT_EQ(listed, (std::vector<std::string>{"COM1", "COM10", "com2", "COM3"}));
    EXPECT_EQ(combo.FindStringExact(-1, "COM2"), 2);
    combo.SetWindowText("COM7");  // the edit field, not the list
    EXPECT_EQ(combo.GetCurSel(), -1);
    CString field;
    combo.GetWindowText(field);
    EXPECT_EQ(field, "COM7");
    EXPECT_EQ(combo.SetCurSel(1), 1);
    combo.GetWindowText(field);
    EXPECT_EQ(field, "COM10");
    combo.ResetContent();
    EXPECT_EQ(combo.GetCount(), 0);
    EXPECT_EQ(combo.GetWindowTextLength(), 0);
    EXPECT_EQ(combo.GetLBTextLen(0), CB_ERR);

    CProgressCtrl bar;
    ASSERT_TRUE(bar.Create(WS_CHILD | WS_VISIBLE | PBS_SMOOTH, CRect(0, 100, 340, 120), &top, 1));
    bar.SendMessage(PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    EXPECT_EQ(bar.SetPos(40), 0);
    EXPECT_EQ(bar.SetPos(250), 40);  // clamped to the range
    EXPECT_EQ(bar.GetPos(), 100);
    EXPECT_EQ(bar.SetBkColor(0xF0F0F0), static_cast<COLORREF>(CLR_DEFAULT));
    EXPECT_TRUE(bar.DestroyWindow());
    EXPECT_EQ(bar.GetSafeHwnd(), nullptr);

    CToolTipCtrl tip;
    EXPECT_EQ(tip.GetSafeHwnd(), nullptr);
    ASSERT_TRUE(tip.Create(&top));
    tip.Activate(FALSE);
    EXPECT_EQ(tip.SetMaxTipWidth(400), -1);
    EXPECT_EQ(tip.GetMaxTipWidth(), 400);
    MSG msg = {top.GetSafeHwnd(), WM_MOUSEMOVE, 0, 0, 0, {0, 0}};
    tip.RelayEvent(&msg);
    // The tip is never a child and never shown.
    EXPECT_FALSE(tip.IsWindowVisible());
    HWND tipHwnd = tip.GetSafeHwnd();
    top.DestroyWindow();
    EXPECT_FALSE(IsWindow(tipHwnd));
}

}  // namespace
