// The GTK side under a virtual X server: a real dialog from a template with
// an owner-drawn button, a pointer moved over it and a click; a window that
// is hidden just before its thread blocks; a worker's box shown by the UI
// thread while its window repaints; GTK entered from another thread told.
// Every case fails when a thread other than the UI thread enters GTK.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "platform/app/CWinApp.h"
#include "platform/gdi/GdiResources.h"
#include "platform/window/DialogTemplate.h"
#include "platform/gdi/Gdi.h"
#include "platform/window/CDialog.h"
#include "platform/window/CFileDialog.h"
#include "platform/window/GtkBackend.h"
#include "platform/window/Headless.h"
#include "platform/window/NativeBackend.h"
#include "platform/paths/DrivePaths.h"
#include "tests/support/TempFolder.h"
#include "tests/support/Xvfb.h"
#include "XTopLevels.h"

namespace {

const UINT kDialogId = 9200;
const int kButtonId = 1001;
const char* const kTitle = "ZqGtkClickTest";

// How long a driver waits for a window to show, and the dialog for its
// click: a GTK window shows within a second or two even on a loaded machine,
// the file chooser being the slowest.
const int kShowSeconds = 60;
// The whole run in the child, normally some seconds. A window that never
// shows leaves its modal loop waiting; this bound ends the child then, with
// its log kept.
const int kChildSeconds = 180;

class HoverButton : public CButton {
public:
    int moves = 0;
    int draws = 0;
    void DrawItem(LPDRAWITEMSTRUCT dis) override
    {
        ++draws;
        CDC::FromHandle(dis->hDC)->FillSolidRect(&dis->rcItem,
                                                 (dis->itemState & ODS_SELECTED) ? RGB(0, 0, 255) : RGB(255, 0, 0));
    }

protected:
    void PreSubclassWindow() override
    {
        SetButtonStyle((GetStyle() & 0xFFFF) | BS_OWNERDRAW, TRUE);
        CButton::PreSubclassWindow();
    }
    afx_msg void OnMouseMove(UINT flags, CPoint point)
    {
        ++moves;
        CButton::OnMouseMove(flags, point);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(HoverButton, CButton)
    ON_WM_MOUSEMOVE()
END_MESSAGE_MAP()

class ClickDialog : public CDialog {
public:
    ClickDialog() : CDialog(kDialogId) {}
    HoverButton button;
    std::atomic<HWND> hwnd{nullptr};
    bool clicked = false;

protected:
    void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, kButtonId, button); }
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        hwnd = GetSafeHwnd();
        SendDlgItemMessage(1002, PBM_SETPOS, 40);
        SendDlgItemMessage(1003, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("COM3"));
        SetDlgItemText(1003, "COM3");
        return TRUE;
    }
    afx_msg void OnButton()
    {
        clicked = true;
        EndDialog(IDOK);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ClickDialog, CDialog)
    ON_BN_CLICKED(kButtonId, &ClickDialog::OnButton)
END_MESSAGE_MAP()

std::string Shell(const std::string& command)
{
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof(buffer), p))
            out += buffer;
        pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    return out;
}

// The xdotool search for a visible window by its title, bounded by
// kShowSeconds; "" when none showed.
std::string FindShownWindow(const std::string& title)
{
    return Shell("timeout " + std::to_string(kShowSeconds) + " xdotool search --sync --onlyvisible --name '" + title +
                 "' 2>/dev/null | head -1");
}

bool StartNativeBackend()
{
    int argc = 1;
    char name[] = "test";
    char* args[] = {name, nullptr};
    char** argv = args;
    return zq::win::UseNativeBackend(&argc, &argv);
}

void RunUnderDisplay()
{
    ASSERT_TRUE(StartNativeBackend());

    zq::DialogTemplate t;
    t.id = kDialogId;
    t.style = DS_SHELLFONT | DS_MODALFRAME | WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU;
    t.exStyle = 0;
    t.x = 0;
    t.y = 0;
    t.cx = 200;
    t.cy = 100;
    t.caption = kTitle;
    t.fontName = "MS Shell Dlg";
    t.pointSize = 8;
    t.items = {
        {kButtonId, WC_BUTTON, "Go", BS_PUSHBUTTON | WS_TABSTOP | WS_VISIBLE, 0, 20, 20, 60, 20},
        {1002, PROGRESS_CLASS, "", PBS_SMOOTH | WS_VISIBLE, 0, 20, 50, 100, 10},
        {1003, WC_COMBOBOX, "", CBS_DROPDOWN | CBS_SORT | WS_VISIBLE, 0, 100, 20, 80, 40},
    };
    zq::RegisterDialogTemplate(t);

    ClickDialog dlg;
    std::string failure;
    std::thread driver([&] {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kShowSeconds);
        while (!dlg.hwnd && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::string id = FindShownWindow(kTitle);
        if (id.empty()) {
            failure = "the dialog did not show within " + std::to_string(kShowSeconds) + " s";
        } else {
            // The button is at 30, 32 pixels (20, 20 dialog units); aim at its middle.
            Shell("xdotool mousemove --window " + id + " 40 40");
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            Shell("xdotool mousemove --window " + id + " 60 45");
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            Shell("xdotool click 1");
        }
        // Whatever happened, the dialog ends within a bounded time.
        deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kShowSeconds);
        while (IsWindow(dlg.hwnd) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (IsWindow(dlg.hwnd))
            PostMessageA(dlg.hwnd, WM_COMMAND, IDCANCEL, 0);
    });
    INT_PTR result = dlg.DoModal();
    driver.join();
    EXPECT_EQ(failure, "");
    EXPECT_EQ(result, IDOK);
    EXPECT_TRUE(dlg.clicked);
    EXPECT_GT(dlg.button.moves, 0);
    EXPECT_GT(dlg.button.draws, 0);

    // A Yes/No question: Escape does not end it, Return answers Yes, and the
    // messages posted meanwhile are handled while it is open.
    class Counter : public CWnd {
    public:
        int count = 0;
        LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
        {
            if (message == WM_USER + 11)
                ++count;
            return CWnd::WindowProc(message, wParam, lParam);
        }
    } counter;
    ASSERT_TRUE(counter.CreateEx(0, "ZqCounter", "counter", WS_POPUP, CRect(0, 0, 10, 10), nullptr, 0));
    HWND counterHwnd = counter.GetSafeHwnd();
    std::thread boxDriver([&] {
        std::string id = FindShownWindow("ZqBoxTest");
        for (int i = 0; i < 5; ++i)
            PostMessageA(counterHwnd, WM_USER + 11, 0, 0);
        if (id.empty())
            return;
        Shell("xdotool windowfocus --sync " + id);
        Shell("xdotool key Escape");
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        Shell("xdotool key Return");
    });
    int answer = MessageBoxA(nullptr, "Close the window?", "ZqBoxTest", MB_YESNO | MB_ICONQUESTION);
    boxDriver.join();
    EXPECT_EQ(answer, IDYES);
    EXPECT_EQ(counter.count, 5);

    // The file chooser: a typed path comes back in Windows form. The chooser
    // completes names as it goes, so the keys go slowly.
    zqtest::TempFolder folder;
    const std::string file = folder.Write("update.zip", "PK");
    std::thread chooserDriver([&] {
        std::string id = FindShownWindow("^Open$");
        if (id.empty())
            return;
        Shell("xdotool windowfocus --sync " + id);
        Shell("xdotool key ctrl+l");
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        Shell("xdotool type --delay 60 '" + file + "'");
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        Shell("xdotool key Return");
    });
    CFileDialog chooser(TRUE, nullptr, nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, "ZIP Files (*.zip)|*.zip||");
    INT_PTR chosen = chooser.DoModal();
    chooserDriver.join();
    EXPECT_EQ(chosen, IDOK);
    EXPECT_EQ(std::string(chooser.GetPathName().GetString()), zq::LinuxToWindows(file));
}

void HideBeforeALongWait()
{
    ASSERT_TRUE(StartNativeBackend());
    const char* const title = "ZqHideTest";
    zqtest::XTopLevels screen;
    ASSERT_TRUE(screen.Ok());
    CWnd window;
    ASSERT_TRUE(
        window.CreateEx(0, "ZqHidden", title, WS_POPUP | WS_CAPTION | WS_VISIBLE, CRect(40, 40, 240, 140), nullptr, 0));
    unsigned long id = 0;
    ASSERT_TRUE(zq::PumpMessagesUntil([&] { return (id = screen.Find(title)) != 0 && screen.Viewable(id); }, 10000))
        << "the window did not show within 10 s";

    // The thread handles nothing of GTK from the hide on, as a closing
    // window that waits for its worker.
    const auto hidden = std::chrono::steady_clock::now();
    window.ShowWindow(SW_HIDE);
    // Left to the thread's next turn, the hide would wait for the end of
    // the block, here longer than the loop looks. The X server needs some
    // milliseconds, more on a loaded machine.
    auto shown = std::chrono::steady_clock::duration::zero();
    while (screen.Viewable(id) && shown < std::chrono::seconds(5)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        shown = std::chrono::steady_clock::now() - hidden;
    }
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(shown).count(), 2000)
        << "ms from the hide until the X server no longer showed the window, its thread blocked meanwhile";
    window.DestroyWindow();
}

// A window in one colour, which a posted message changes, so that a test
// sees on the screen that a paint reached it.
class ColourWnd : public CWnd {
public:
    std::atomic<COLORREF> colour{RGB(255, 0, 0)};
    std::atomic<bool> workerWentOn{false};
    static const UINT kRecolour = WM_USER + 21;
    static const UINT kWentOn = WM_USER + 22;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == kRecolour) {
            colour = static_cast<COLORREF>(wParam);
            Invalidate(FALSE);
            return 0;
        }
        if (message == kWentOn) {
            workerWentOn = true;
            return 0;
        }
        if (message == WM_PAINT) {
            PAINTSTRUCT ps;
            HDC dc = ::BeginPaint(m_hWnd, &ps);
            RECT r;
            ::GetClientRect(m_hWnd, &r);
            HBRUSH brush = CreateSolidBrush(colour);
            FillRect(dc, &r, brush);
            DeleteObject(brush);
            ::EndPaint(m_hWnd, &ps);
            return 0;
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

// 0xRRGGBB as the X server shows a COLORREF.
long OnScreen(COLORREF c)
{
    return static_cast<long>(GetRValue(c)) << 16 | GetGValue(c) << 8 | GetBValue(c);
}

bool WaitFor(const std::function<bool()>& done, int milliseconds)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// A worker's AfxMessageBox, as the inquiry shows when it cannot create its
// file: the UI thread shows it with the application's title, its owner
// disabled, and goes on painting; a click on OK, then Return, answer it;
// the worker goes on and its notice reaches the window.
void WorkerBoxesUnderDisplay()
{
    ASSERT_TRUE(StartNativeBackend());
    const char* const appTitle = "ZqWorkerBoxTitle";
    const char* const ownerTitle = "ZqWorkerBoxOwner";
    zq::gdi::RegisterStringResource(AFX_IDS_APP_TITLE, appTitle);
    CWinApp app(nullptr);
    app.SetCurrentHandles();
    ColourWnd window;
    ASSERT_TRUE(window.CreateEx(0, "ZqWorkerBoxOwner", ownerTitle, WS_POPUP | WS_CAPTION | WS_VISIBLE,
                                CRect(20, 20, 620, 420), nullptr, 0));
    app.m_pMainWnd = &window;
    const HWND hwnd = window.GetSafeHwnd();
    const COLORREF colours[] = {RGB(0, 160, 0), RGB(0, 0, 200)};

    for (const std::string answerBy : {"click", "Return"}) {
        SCOPED_TRACE("answered by " + answerBy);
        window.workerWentOn = false;
        std::atomic<bool> boxShown{false}, answered{false};
        std::atomic<int> answer{0};
        std::string failure;
        BOOL ownerEnabled = TRUE;
        long before = -1, during = -1;
        const COLORREF next = colours[answerBy == "click" ? 0 : 1];
        std::thread driver([&] {
            zqtest::XTopLevels screen;
            if (!screen.Ok()) {
                failure = "no X connection";
                return;
            }
            unsigned long owner = 0, box = 0;
            if (!WaitFor([&] { return (owner = screen.Find(ownerTitle)) != 0 && screen.Viewable(owner); }, 10000)) {
                failure = "the window did not show within 10 s";
                return;
            }
            before = screen.Pixel(owner, 10, 10);
            std::thread worker([&] {
                answer = AfxMessageBox("Open file error (product.xml)", MB_OK);
                answered = true;
                PostMessageA(hwnd, ColourWnd::kWentOn, 0, 0);
            });
            if (!WaitFor([&] { return (box = screen.Find(appTitle)) != 0 && screen.Viewable(box); }, 10000)) {
                failure = "no box with the application's title came up within 10 s";
            } else {
                boxShown = true;
                ownerEnabled = IsWindowEnabled(hwnd);
                // A paint after the box opened reaches the screen.
                PostMessageA(hwnd, ColourWnd::kRecolour, next, 0);
                WaitFor([&] { return (during = screen.Pixel(owner, 10, 10)) == OnScreen(next); }, 10000);
                const std::string id = std::to_string(box);
                if (answerBy == "click") {
                    // GTK lays the box's buttons across its foot.
                    std::string size = Shell("xdotool getwindowgeometry --shell " + id);
                    int width = 0, height = 0;
                    sscanf(size.c_str() + size.find("WIDTH="), "WIDTH=%d", &width);
                    sscanf(size.c_str() + size.find("HEIGHT="), "HEIGHT=%d", &height);
                    Shell("xdotool mousemove --window " + id + " " + std::to_string(width / 2) + " " +
                          std::to_string(height - 16));
                    std::this_thread::sleep_for(std::chrono::milliseconds(200));
                    Shell("xdotool click 1");
                } else {
                    Shell("xdotool windowfocus --sync " + id);
                    Shell("xdotool key Return");
                }
            }
            // Whatever happened, the box ends within a bounded time, so that
            // the worker and this test do.
            for (int i = 0; i < 10 && !WaitFor([&] { return answered.load(); }, 2000); ++i) {
                if (!answered && box) {
                    if (failure.empty())
                        failure = "the box did not take the " + answerBy;
                    Shell("xdotool windowfocus --sync " + std::to_string(box) + " key Return");
                }
            }
            worker.join();
        });
        zq::PumpMessagesUntil([&] { return answered && window.workerWentOn; }, 40000);
        driver.join();
        EXPECT_EQ(failure, "");
        EXPECT_TRUE(boxShown);
        EXPECT_EQ(answer, IDOK);
        EXPECT_FALSE(ownerEnabled) << "the owner was not disabled while the box was open";
        EXPECT_NE(before, OnScreen(next));
        EXPECT_EQ(during, OnScreen(next)) << "the window did not repaint while the box was open";
        EXPECT_TRUE(window.workerWentOn) << "the worker's notice after the box never reached the window";
        EXPECT_TRUE(window.IsWindowEnabled());
    }
    app.m_pMainWnd = nullptr;
    window.DestroyWindow();
    EXPECT_EQ(zq::win::GtkEntriesFromOtherThreads(), 0);
}

// A thread other than the UI thread that reaches GTK is told on the debug
// channel and refused: a box asked with no window to run it, and a look at a
// control's widget.
void ForeignGtkEntryUnderDisplay()
{
    ASSERT_TRUE(StartNativeBackend());
    std::atomic<int> answer{0};
    std::atomic<bool> geometry{true}, done{false};
    std::thread worker([&] {
        answer = MessageBoxA(nullptr, "nobody runs a window", "ZqForeignBox", MB_OKCANCEL);
        RECT r;
        geometry = zq::win::NativeControlGeometry(reinterpret_cast<HWND>(1), &r);
        done = true;
    });
    // A box that GTK showed on the worker would wait there for nobody.
    if (!WaitFor([&] { return done.load(); }, 10000)) {
        std::fprintf(stderr, "the worker still ran GTK after 10 s\n");
        std::_Exit(1);
    }
    worker.join();
    EXPECT_EQ(answer, IDCANCEL);
    EXPECT_FALSE(geometry);
    EXPECT_EQ(zq::win::GtkEntriesFromOtherThreads(), 2);
}

// Runs the current test again in a child process on the tests' virtual X
// server, where ZQ_UNDER_XVFB makes it run its body. The child tells the
// window area of the debug channel, where an entry into GTK from another
// thread than the UI thread shows: the test fails on such a line unless it
// makes one on purpose.
void RunUnderXvfb(bool entersGtkFromAWorker = false)
{
#if defined(__SANITIZE_THREAD__)
    // GTK's own locking is invisible to the thread checker (its libraries
    // are not instrumented), so it would report GTK, not this layer.
    GTEST_SKIP() << "GTK is not checked under ThreadSanitizer";
#endif
    if (Shell("command -v Xvfb").empty() || Shell("command -v xdotool").empty())
        GTEST_SKIP() << "Xvfb or xdotool is not installed";
    const zqtest::Xvfb& server = zqtest::Xvfb::Shared();
    ASSERT_TRUE(server.Ok()) << server.Error();
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
    ASSERT_GT(n, 0);
    self[n] = '\0';
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter = std::string(test->test_suite_name()) + "." + test->name();
    // GTK keeps its settings, caches and recently used files below these.
    zqtest::TempFolder home;
    const std::string logFile = home.Linux("log");
    std::string folders;
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "TMPDIR"})
        folders += std::string(name) + "='" + home.Linux() + "' ";
    // GTK and the libraries below it are not built with the sanitizers: the
    // child does not look for their leaks.
    std::string command =
        "timeout -k 5 " + std::to_string(kChildSeconds) +
        " env ZQ_UNDER_XVFB=1 ZQDEBUG=window GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1 GDK_BACKEND=x11 DISPLAY=" +
        server.Display() + " " + folders + "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 '" + self +
        "' --gtest_filter=" + filter + " > '" + logFile + "' 2>&1";
    int status = system(command.c_str());
    std::ifstream in(logFile);
    std::stringstream log;
    log << in.rdbuf();
    ASSERT_TRUE(WIFEXITED(status)) << log.str();
    EXPECT_NE(WEXITSTATUS(status), 124) << "the test did not end within " << kChildSeconds << " s:\n" << log.str();
    EXPECT_EQ(WEXITSTATUS(status), 0) << log.str();
    EXPECT_NE(log.str().find("[  PASSED  ] 1 test"), std::string::npos) << log.str();
    const bool told = log.str().find("zq:window: GTK entered from a thread that is not the UI thread") !=
                      std::string::npos;
    EXPECT_EQ(told, entersGtkFromAWorker) << log.str();
}

TEST(GtkWindow, RealDialogWithOwnerDrawnButtonTakesPointerAndClick)
{
    if (getenv("ZQ_UNDER_XVFB"))
        RunUnderDisplay();
    else
        RunUnderXvfb();
}

TEST(GtkWindow, AWindowHiddenBeforeItsThreadBlocksLeavesTheScreenAtOnce)
{
    if (getenv("ZQ_UNDER_XVFB"))
        HideBeforeALongWait();
    else
        RunUnderXvfb();
}

TEST(GtkWindow, AWorkersBoxIsShownByTheUiThreadAndAnsweredWhileTheWindowRepaints)
{
    if (getenv("ZQ_UNDER_XVFB"))
        WorkerBoxesUnderDisplay();
    else
        RunUnderXvfb();
}

TEST(GtkWindow, GtkEnteredFromAnotherThreadIsToldAndRefused)
{
    if (getenv("ZQ_UNDER_XVFB"))
        ForeignGtkEntryUnderDisplay();
    else
        RunUnderXvfb(true);
}

}  // namespace
