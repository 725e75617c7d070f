// Messages: posted from workers, for destroyed windows, beyond the quota;
// message maps, reflection and child controls.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "platform/app/CWinApp.h"
#include "platform/gdi/GdiResources.h"
#include "platform/window/CFileDialog.h"
#include "platform/window/Controls.h"
#include "platform/window/CWnd.h"
#include "platform/window/Headless.h"
#include "platform/window/MessageBoxSeam.h"
#include "tests/support/ScopedSeam.h"

namespace {

const UINT WM_TEST_A = WM_USER + 1;
const UINT WM_TEST_B = WM_USER + 2;
const UINT WM_TEST_C = WM_USER + 3;

// A top-level window that records what its map and its default procedure see.
class BaseWnd : public CWnd {
public:
    std::vector<std::string> seen;
    std::vector<WPARAM> order;
    std::vector<std::thread::id> threads;
    BOOL reflectedResult = FALSE;

    BOOL CreateTop(int width = 200, int height = 100)
    {
        RECT r = {10, 10, 10 + width, 10 + height};
        return CreateEx(0, "ZqTest", "top", WS_POPUP | WS_VISIBLE, r, nullptr, 0);
    }

    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_TEST_C)
            seen.push_back("default C");
        return CWnd::DefWindowProc(message, wParam, lParam);
    }

protected:
    afx_msg LRESULT OnA(WPARAM wParam, LPARAM)
    {
        seen.push_back("base A");
        order.push_back(wParam);
        threads.push_back(std::this_thread::get_id());
        return 1;
    }
    afx_msg LRESULT OnB(WPARAM, LPARAM)
    {
        seen.push_back("base B");
        return 2;
    }
    afx_msg void OnButton5() { seen.push_back("base click 5"); }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(BaseWnd, CWnd)
    ON_MESSAGE(WM_TEST_A, &BaseWnd::OnA)
    ON_MESSAGE(WM_TEST_B, &BaseWnd::OnB)
    ON_BN_CLICKED(5, &BaseWnd::OnButton5)
END_MESSAGE_MAP()

class DerivedWnd : public BaseWnd {
protected:
    afx_msg LRESULT OnB(WPARAM, LPARAM)
    {
        seen.push_back("derived B");
        return 20;
    }
    afx_msg void OnButton6() { seen.push_back("derived click 6"); }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(DerivedWnd, BaseWnd)
    ON_MESSAGE(WM_TEST_B, &DerivedWnd::OnB)
    ON_BN_CLICKED(6, &DerivedWnd::OnButton6)
END_MESSAGE_MAP()

// A button that sees its own clicks first, as the owner-drawn button does.
class ReflectingButton : public CButton {
public:
    std::vector<std::string>* log = nullptr;
    BOOL result = FALSE;

protected:
    afx_msg BOOL OnClickedReflect()
    {
        log->push_back("button reflect");
        return result;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ReflectingButton, CButton)
    ON_CONTROL_REFLECT_EX(BN_CLICKED, &ReflectingButton::OnClickedReflect)
END_MESSAGE_MAP()

TEST(WindowMessages, PostedFromWorkerArriveOnUiThreadInOrder)
{
    BaseWnd wnd;
    ASSERT_TRUE(wnd.CreateTop());
    HWND hwnd = wnd.GetSafeHwnd();
    const int count = 2000;
    std::thread worker([hwnd] {
        for (int i = 0; i < count; ++i)
            PostMessageA(hwnd, WM_TEST_A, static_cast<WPARAM>(i), 0);
    });
    const bool arrived = zq::PumpMessagesUntil([&] { return wnd.order.size() == static_cast<size_t>(count); }, 10000);
    worker.join();  // before any ASSERT: a joinable thread must not go out of scope
    ASSERT_TRUE(arrived) << "the posted messages handled within 10 s";
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(wnd.order[static_cast<size_t>(i)], static_cast<WPARAM>(i));
    for (auto id : wnd.threads)
        ASSERT_EQ(id, std::this_thread::get_id());
}

TEST(WindowMessages, MessageForDestroyedWindowIsDropped)
{
    auto wnd = std::make_unique<BaseWnd>();
    ASSERT_TRUE(wnd->CreateTop());
    HWND hwnd = wnd->GetSafeHwnd();
    ASSERT_TRUE(PostMessageA(hwnd, WM_TEST_A, 1, 0));
    ASSERT_TRUE(PostMessageA(hwnd, WM_TEST_A, 2, 0));
    // The window and its object go while the messages still wait.
    wnd.reset();
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(zq::PumpPendingMessages(), 0);
    EXPECT_FALSE(PostMessageA(hwnd, WM_TEST_A, 3, 0));
    EXPECT_EQ(SendMessageA(hwnd, WM_TEST_A, 4, 0), 0);
}

TEST(WindowMessages, APeekTakesWhatItsFilterAdmitsWithQuitAndPaintLast)
{
    BaseWnd a, b;
    ASSERT_TRUE(a.CreateTop());
    ASSERT_TRUE(b.CreateTop());
    zq::PumpPendingMessages();  // the first paints
    const HWND ha = a.GetSafeHwnd(), hb = b.GetSafeHwnd();
    zq::headless::PressMouse(ha, 5, 5);
    zq::headless::ReleaseMouse(ha, 5, 5);
    ASSERT_TRUE(PostMessageA(ha, WM_TEST_A, 0, 0));
    ASSERT_TRUE(PostMessageA(hb, WM_TEST_B, 0, 0));
    ASSERT_TRUE(PostMessageA(ha, WM_TEST_C, 0, 0));
    PostQuitMessage(3);
    a.Invalidate();
    // One peek a row, in order, each on the queue the rows before it left.
    struct Peek {
        const char* what;
        HWND filter;
        UINT min, max, flags;
        UINT message;  // 0: the peek finds nothing
        HWND window;
    } peeks[] = {
        {"raw input seen as its window's message, left queued", ha, WM_LBUTTONDOWN, WM_LBUTTONDOWN, PM_NOREMOVE,
         WM_LBUTTONDOWN, ha},
        {"a peek that leaves the press takes nothing: no double click", nullptr, 0, 0, PM_NOREMOVE, WM_LBUTTONDOWN, ha},
        {"the press taken", nullptr, 0, 0, PM_REMOVE, WM_LBUTTONDOWN, ha},
        {"the release taken", nullptr, WM_LBUTTONUP, WM_LBUTTONUP, PM_REMOVE, WM_LBUTTONUP, ha},
        {"a window filter passes over the other window's message", hb, 0, 0, PM_NOREMOVE, WM_TEST_B, hb},
        {"a range filter passes over the messages outside it", nullptr, WM_TEST_C, WM_TEST_C, PM_REMOVE, WM_TEST_C, ha},
        {"the window's own message", ha, 0, 0, PM_REMOVE, WM_TEST_A, ha},
        {"no quit for a window filter, but the window's paint", ha, 0, 0, PM_REMOVE, WM_PAINT, ha},
        {"no quit for a range filter, nor a paint outside it", nullptr, WM_TEST_A, WM_TEST_A, PM_REMOVE, 0, nullptr},
        {"a queued message before the quit", nullptr, 0, 0, PM_REMOVE, WM_TEST_B, hb},
        {"the quit, left posted", nullptr, 0, 0, PM_NOREMOVE, WM_QUIT, nullptr},
        {"the quit taken", nullptr, 0, 0, PM_REMOVE, WM_QUIT, nullptr},
        {"the paint once nothing else waits, until it is dispatched", nullptr, WM_PAINT, WM_PAINT, PM_REMOVE, WM_PAINT,
         ha},
    };
    for (const Peek& peek : peeks) {
        SCOPED_TRACE(peek.what);
        MSG msg = {};
        const BOOL found = PeekMessageA(&msg, peek.filter, peek.min, peek.max, peek.flags);
        ASSERT_EQ(found, peek.message != 0 ? TRUE : FALSE);
        if (!found)
            continue;
        EXPECT_EQ(msg.message, peek.message);
        EXPECT_EQ(msg.hwnd, peek.window);
        if (msg.message == WM_QUIT) {
            EXPECT_EQ(msg.wParam, 3u);
        }
    }
    a.UpdateWindow();
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "msg " << msg.message;
}

TEST(WindowMessages, WorkerKeepsPostingWhileWindowIsDestroyed)
{
    auto wnd = std::make_unique<BaseWnd>();
    ASSERT_TRUE(wnd->CreateTop());
    HWND hwnd = wnd->GetSafeHwnd();
    std::atomic<bool> stop{false};
    std::atomic<int> refused{0};
    std::thread worker([&] {
        while (!stop) {
            if (!PostMessageA(hwnd, WM_TEST_A, 0, 0))
                ++refused;
            std::this_thread::yield();
        }
    });
    zq::PumpMessagesUntil([&] { return wnd->order.size() > 50; }, 5000);
    wnd.reset();
    zq::PumpMessagesUntil([&] { return refused > 10; }, 5000);
    stop = true;
    worker.join();
    EXPECT_GT(refused.load(), 0);
    zq::PumpPendingMessages();
}

TEST(WindowMessages, QueueRefusesPostsBeyondItsQuota)
{
    BaseWnd wnd;
    ASSERT_TRUE(wnd.CreateTop());
    int accepted = 0;
    while (accepted < 20000 && PostMessageA(wnd.GetSafeHwnd(), WM_TEST_A, 0, 0))
        ++accepted;
    EXPECT_EQ(accepted, 10000);
    EXPECT_EQ(GetLastError(), 1816u);  // ERROR_NOT_ENOUGH_QUOTA
    ASSERT_TRUE(zq::PumpMessagesUntil([&] { return wnd.order.size() == 10000u; }, 10000))
        << "the 10000 accepted messages handled within 10 s";
    EXPECT_TRUE(PostMessageA(wnd.GetSafeHwnd(), WM_TEST_A, 0, 0));
    zq::PumpPendingMessages();
}

TEST(WindowMessages, MapsChainToTheBaseClass)
{
    DerivedWnd wnd;
    ASSERT_TRUE(wnd.CreateTop());
    // The derived entry wins over the base's for the same message...
    EXPECT_EQ(wnd.SendMessage(WM_TEST_B), 20);
    // ...the base's table answers what the derived one lacks...
    EXPECT_EQ(wnd.SendMessage(WM_TEST_A, 7), 1);
    // ...and what no table holds goes to DefWindowProc.
    EXPECT_EQ(wnd.SendMessage(WM_TEST_C), 0);
    EXPECT_EQ(wnd.seen, (std::vector<std::string>{"derived B", "base A", "default C"}));
}

TEST(WindowMessages, ButtonClicksReachTheParentsMapAndReflection)
{
    struct Case {
        BOOL reflectResult;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {FALSE, {"button reflect", "base click 5"}},  // FALSE: the parent handles it too
        {TRUE, {"button reflect"}},                   // TRUE: the button keeps it
    };
    for (const Case& c : cases) {
        DerivedWnd wnd;
        ASSERT_TRUE(wnd.CreateTop());
        ReflectingButton five;
        five.log = &wnd.seen;
        five.result = c.reflectResult;
        CButton six;
        ASSERT_TRUE(five.Create("Five", WS_VISIBLE | BS_PUSHBUTTON, CRect(0, 0, 50, 20), &wnd, 5));
        ASSERT_TRUE(six.Create("Six", WS_VISIBLE | BS_PUSHBUTTON, CRect(60, 0, 110, 20), &wnd, 6));
        five.SendMessage(BM_CLICK);
        EXPECT_EQ(wnd.seen, c.expected);
        wnd.seen.clear();
        // A click with the mouse: press and release over the button.
        zq::headless::Click(wnd.GetSafeHwnd(), 70, 10);
        zq::PumpPendingMessages();
        EXPECT_EQ(wnd.seen, (std::vector<std::string>{"derived click 6"}));
    }
}

TEST(WindowMessages, ChildControlsByIdCarryTextStateAndVisibility)
{
    BaseWnd wnd;
    ASSERT_TRUE(wnd.CreateTop());
    CStatic label;
    ASSERT_TRUE(label.Create("Label", WS_VISIBLE, CRect(0, 0, 80, 12), &wnd, 1039));
    ASSERT_EQ(wnd.GetDlgItem(1039), &label);
    EXPECT_EQ(wnd.GetDlgItem(4711), nullptr);

    // Window texts are bytes in Windows-1252: "Zur\xfcck" is "Zurück".
    wnd.SetDlgItemText(1039, "Zur\xfc"
                             "ck");
    char buffer[100];
    EXPECT_EQ(wnd.GetDlgItemText(1039, buffer, sizeof(buffer)), 6);
    EXPECT_STREQ(buffer, "Zur\xfc"
                         "ck");
    // A short buffer gets the start of the text and its NUL.
    char small[4];
    EXPECT_EQ(GetWindowTextA(label.GetSafeHwnd(), small, sizeof(small)), 3);
    EXPECT_STREQ(small, "Zur");
    EXPECT_FALSE(SetDlgItemTextA(wnd.GetSafeHwnd(), 4711, "nobody"));

    // EnableWindow and ShowWindow report the previous state.
    EXPECT_FALSE(label.EnableWindow(FALSE));
    EXPECT_FALSE(label.IsWindowEnabled());
    EXPECT_TRUE(label.EnableWindow(TRUE));
    EXPECT_TRUE(label.ShowWindow(SW_HIDE));
    EXPECT_FALSE(label.IsWindowVisible());
    EXPECT_FALSE(label.ShowWindow(SW_SHOW));
    EXPECT_TRUE(label.IsWindowVisible());
    // A child of a hidden window is not visible either.
    wnd.ShowWindow(SW_HIDE);
    EXPECT_FALSE(label.IsWindowVisible());
}

TEST(WindowMessages, DestroyingTheParentTakesControlsAlong)
{
    auto wnd = std::make_unique<BaseWnd>();
    ASSERT_TRUE(wnd->CreateTop());
    CButton button;
    ASSERT_TRUE(button.Create("B", WS_VISIBLE, CRect(0, 0, 10, 10), wnd.get(), 9));
    HWND buttonHwnd = button.GetSafeHwnd();
    button.SetFocus();
    button.SetCapture();
    wnd->DestroyWindow();
    EXPECT_FALSE(IsWindow(buttonHwnd));
    EXPECT_EQ(button.GetSafeHwnd(), nullptr);
    EXPECT_EQ(GetFocus(), nullptr);
    EXPECT_EQ(GetCapture(), nullptr);
}

// A test's own application object beside the program's: whichever goes
// first, the one left is the application again, and the caption follows.
TEST(Application, ASecondApplicationObjectHandsTheFirstBackWhenItGoes)
{
    CWinApp program("ZqProgram");
    {
        CWinApp test("ZqTestApp");
        EXPECT_EQ(AfxGetApp(), &test);
        EXPECT_STREQ(AfxGetAppName(), "ZqTestApp");
    }
    EXPECT_EQ(AfxGetApp(), &program);
    EXPECT_STREQ(AfxGetAppName(), "ZqProgram");

    auto* middle = new CWinApp("ZqMiddle");
    auto* top = new CWinApp("ZqTop");
    delete middle;
    EXPECT_EQ(AfxGetApp(), top);
    delete top;
    EXPECT_EQ(AfxGetApp(), &program);
}

TEST(MessageBoxSeam, ResponderRecordsAndAnswersEveryKindOfBox)
{
    CWinApp app("ZqTestApp");
    BaseWnd wnd;
    ASSERT_TRUE(wnd.CreateTop());
    app.m_pMainWnd = &wnd;
    CButton button;
    ASSERT_TRUE(button.Create("B", WS_VISIBLE, CRect(0, 0, 10, 10), &wnd, 9));
    button.SetFocus();

    int boxesWithOwnerDisabled = 0;
    zq::RecordingMessageBoxResponder responder({IDNO, IDYES});
    responder.onCall = [&](const zq::MessageBoxCall& call) {
        if (call.owner && !wnd.IsWindowEnabled())
            ++boxesWithOwnerDisabled;
    };

    EXPECT_EQ(wnd.MessageBox("Close?", "Caption \xf6", MB_YESNO | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(AfxMessageBox("Same version", MB_YESNO), IDYES);
    // Past the given answers each box gets its default button.
    EXPECT_EQ(MessageBoxA(nullptr, "Plain", nullptr, MB_OK | MB_ICONEXCLAMATION), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "Default 2", "c", MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(wnd.MessageBox("No caption"), IDOK);
    // A box given a string id shows that string resource.
    zq::gdi::RegisterStringResource(100U, "Text of string 100.");
    EXPECT_EQ(AfxMessageBox(100U), IDOK);

    // A file dialog without a parent belongs to the main window, as in the
    // framework.
    HWND fileDialogOwner = nullptr;
    {
        const zqtest::ScopedSeam files(zq::SetFileDialogResponder, [&](const zq::FileDialogCall& call, CString*) {
            fileDialogOwner = call.owner;
            return false;
        });
        CFileDialog chooser(TRUE, nullptr, nullptr, OFN_HIDEREADONLY, "ZIP Files (*.zip)|*.zip||");
        EXPECT_EQ(chooser.DoModal(), IDCANCEL);
    }
    EXPECT_EQ(fileDialogOwner, wnd.GetSafeHwnd());

    auto calls = responder.Calls();
    ASSERT_EQ(calls.size(), 6u);
    EXPECT_EQ(calls[4].caption, "ZqTestApp");
    EXPECT_EQ(calls[5].text, "Text of string 100.");
    EXPECT_EQ(calls[5].caption, "ZqTestApp");
    EXPECT_EQ(calls[0].owner, wnd.GetSafeHwnd());
    EXPECT_EQ(calls[0].text, "Close?");
    EXPECT_EQ(calls[0].caption, "Caption \xf6");
    EXPECT_EQ(calls[0].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(calls[1].owner, wnd.GetSafeHwnd());
    EXPECT_EQ(calls[1].caption, "ZqTestApp");
    EXPECT_EQ(calls[1].type, static_cast<UINT>(MB_YESNO));
    EXPECT_EQ(calls[2].owner, nullptr);
    EXPECT_EQ(calls[2].caption, "Error");
    EXPECT_EQ(calls[2].type, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));

    // The owner was disabled while its box was open and has its focus back.
    EXPECT_EQ(boxesWithOwnerDisabled, 4);
    EXPECT_TRUE(wnd.IsWindowEnabled());
    EXPECT_EQ(CWnd::GetFocus(), &button);
    app.m_pMainWnd = nullptr;
}

}  // namespace
