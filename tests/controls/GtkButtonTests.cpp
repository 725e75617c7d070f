// The wizard's owner-drawn button on the GTK backend and a real X server:
// one Xvfb for the test program, the pointer driven with xdotool.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "controls/CNFCUMButton.h"
#include "platform/window/CDialog.h"
#include "platform/window/GtkBackend.h"
#include "platform/window/Headless.h"
#include "resources/resource.h"
#include "platform/paths/DrivePaths.h"
#include "tests/support/ScopedSeam.h"
#include "tests/support/TempFolder.h"
#include "tests/support/Xvfb.h"

extern char** environ;

namespace {

std::string FindProgram(const std::string& name)
{
    const char* path = getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        std::string candidate = dirs.substr(start, end - start) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return "";
}

// Runs a program while the window system goes on handling its messages and
// GTK's events; its output, or "" when it failed or took too long.
std::string RunWhilePumping(const std::vector<std::string>& args, int timeoutMs, bool* ok = nullptr)
{
    if (ok)
        *ok = false;
    int fds[2];
    if (pipe(fds) != 0)
        return "";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return "";
    }
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    std::string out;
    int status = 0;
    bool exited = zq::PumpMessagesUntil(
        [&] {
            char buffer[256];
            ssize_t n;
            while ((n = read(fds[0], buffer, sizeof buffer)) > 0)
                out.append(buffer, static_cast<size_t>(n));
            return waitpid(pid, &status, WNOHANG) == pid;
        },
        timeoutMs);
    if (!exited) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    char buffer[256];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0)
        out.append(buffer, static_cast<size_t>(n));
    close(fds[0]);
    if (ok)
        *ok = exited && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return out;
}

const char kTitle[] = "ZQ GTK test window";

// The wizard's window with its Next button as the owner-drawn button.
class TestWizard : public CDialog {
public:
    TestWizard() : CDialog(IDD_UPDATEMANAGER_DIALOG) {}
    CNFCUMButton next;
    int nextClicks = 0;
    int portEdits = 0;

protected:
    void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, IDC_NEXT, next); }
    afx_msg void OnNext() { ++nextClicks; }
    afx_msg void OnPortEdit() { ++portEdits; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(TestWizard, CDialog)
    ON_BN_CLICKED(IDC_NEXT, &TestWizard::OnNext)
    ON_CONTROL(CBN_EDITCHANGE, IDC_COMPORT_COMBO, &TestWizard::OnPortEdit)
END_MESSAGE_MAP()

class GtkBackendTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_xdotool = FindProgram("xdotool");
        if (FindProgram("Xvfb").empty() || m_xdotool.empty())
            GTEST_SKIP() << "Xvfb or xdotool is not installed";
        // One server for the whole program: GTK keeps the display it opened first.
        const zqtest::Xvfb& server = zqtest::Xvfb::Shared();
        ASSERT_TRUE(server.Ok()) << server.Error();
        SetEnvironment("DISPLAY", server.Display().c_str());
        SetEnvironment("WAYLAND_DISPLAY", nullptr);
        SetEnvironment("GDK_BACKEND", "x11");
        SetEnvironment("GSETTINGS_BACKEND", "memory");
        SetEnvironment("NO_AT_BRIDGE", "1");
        for (const char* v : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
            SetEnvironment(v, m_home.Linux().c_str());
        std::unique_ptr<zq::win::Backend> backend = zq::win::MakeGtkBackend();
        ASSERT_TRUE(backend) << "GTK could not open " << server.Display();
        m_backend.emplace(zq::win::InstallBackend, std::move(backend));
    }

    // Sets the variable until the test ends.
    void SetEnvironment(const char* name, const char* value)
    {
        m_environment.push_back(std::make_unique<zqtest::ScopedEnvironmentVariable>(name, value));
    }

    // xdotool's answer, with the window system running meanwhile.
    std::string Xdotool(std::vector<std::string> args, bool* ok = nullptr)
    {
        args.insert(args.begin(), m_xdotool);
        std::string out = RunWhilePumping(args, 10000, ok);
        while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
            out.pop_back();
        return out;
    }

    std::string m_xdotool;
    zqtest::TempFolder m_home{"home"};
    std::vector<std::unique_ptr<zqtest::ScopedEnvironmentVariable>> m_environment;
    // Last, so that the backend before is back before the variables are.
    std::optional<zqtest::ScopedSeam<std::unique_ptr<zq::win::Backend>>> m_backend;
};

TEST_F(GtkBackendTest, OwnerDrawnButtonSeesHoverAndClickFromTheRealPointer)
{
    TestWizard dialog;
    ASSERT_TRUE(dialog.Create(IDD_UPDATEMANAGER_DIALOG));
    dialog.SetWindowText(kTitle);
    std::string window = Xdotool({"search", "--sync", "--onlyvisible", "--name", std::string("^") + kTitle + "$"});
    ASSERT_FALSE(window.empty()) << "the dialog never appeared on the display";
    window = window.substr(0, window.find('\n'));

    // The template's client area, exactly.
    std::string geometry = Xdotool({"getwindowgeometry", window});
    EXPECT_NE(geometry.find("Geometry: 650x490"), std::string::npos) << geometry;

    HWND next = dialog.next.GetSafeHwnd();
    ASSERT_NE(next, nullptr);
    RECT r;
    ::GetWindowRect(next, &r);
    POINT centre = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ::ScreenToClient(dialog.GetSafeHwnd(), &centre);

    bool ok = false;
    Xdotool({"mousemove", "--window", window, std::to_string(centre.x), std::to_string(centre.y)}, &ok);
    ASSERT_TRUE(ok);
    EXPECT_TRUE(zq::PumpMessagesUntil([&] { return dialog.next.m_Hovered == 1; }, 5000))
        << "the button did not see the pointer within 5 s";
    EXPECT_EQ(::GetCapture(), next);
    EXPECT_EQ(dialog.nextClicks, 0);

    Xdotool({"click", "1"}, &ok);
    ASSERT_TRUE(ok);
    EXPECT_TRUE(zq::PumpMessagesUntil([&] { return dialog.nextClicks == 1; }, 5000))
        << "no BN_CLICKED arrived within 5 s";

    // The pointer going from the button straight onto a GTK control (the
    // port box) ends the hover: the drawing area only sees it leave.
    Xdotool({"mousemove", "--window", window, std::to_string(centre.x + 1), std::to_string(centre.y)}, &ok);
    EXPECT_TRUE(zq::PumpMessagesUntil([&] { return dialog.next.m_Hovered == 1; }, 5000))
        << "the button did not see the pointer within 5 s";
    ::GetWindowRect(::GetDlgItem(dialog.GetSafeHwnd(), IDC_COMPORT_COMBO), &r);
    POINT combo = {r.left + 20, r.top + 8};
    ::ScreenToClient(dialog.GetSafeHwnd(), &combo);
    Xdotool({"mousemove", "--window", window, std::to_string(combo.x), std::to_string(combo.y)}, &ok);
    EXPECT_TRUE(zq::PumpMessagesUntil([&] { return dialog.next.m_Hovered == 0; }, 5000))
        << "the hover outlived the pointer by 5 s";
    EXPECT_EQ(::GetCapture(), nullptr);

    // And leaving the window altogether ends it too.
    Xdotool({"mousemove", "--window", window, std::to_string(centre.x), std::to_string(centre.y)}, &ok);
    EXPECT_TRUE(zq::PumpMessagesUntil([&] { return dialog.next.m_Hovered == 1; }, 5000))
        << "the button did not see the pointer within 5 s";
    Xdotool({"mousemove", "--window", window, "700", "600"}, &ok);
    EXPECT_TRUE(zq::PumpMessagesUntil([&] { return dialog.next.m_Hovered == 0; }, 5000))
        << "the hover outlived the pointer leaving the window by 5 s";
    EXPECT_EQ(::GetCapture(), nullptr);
    EXPECT_EQ(dialog.nextClicks, 1);
    dialog.DestroyWindow();
}

TEST_F(GtkBackendTest, ComboBoxAndProgressBarTakeTheirRectangles)
{
    TestWizard dialog;
    ASSERT_TRUE(dialog.Create(IDD_UPDATEMANAGER_DIALOG));
    // The step bar as the wizard makes it.
    CProgressCtrl bar;
    ASSERT_TRUE(bar.Create(WS_CHILD | WS_VISIBLE | PBS_SMOOTH, CRect(200, 300, 540, 320), &dialog, 1));
    bar.SetRange(0, 100);
    bar.SetPos(40);
    bar.SetBkColor(RGB(0xF0, 0xF0, 0xF0));
    HWND combo = ::GetDlgItem(dialog.GetSafeHwnd(), IDC_COMPORT_COMBO);
    RECT comboRect;
    ::GetWindowRect(combo, &comboRect);
    ::ScreenToClient(dialog.GetSafeHwnd(), reinterpret_cast<POINT*>(&comboRect.left));
    ::ScreenToClient(dialog.GetSafeHwnd(), reinterpret_cast<POINT*>(&comboRect.right));

    RECT got = {0, 0, 0, 0};
    std::vector<uint32_t> pixels;
    ASSERT_TRUE(zq::PumpMessagesUntil(
        [&] { return zq::win::NativeControlGeometry(bar.GetSafeHwnd(), &got, &pixels) && got.left >= 0; }, 5000))
        << "the progress bar was not laid out within 5 s";
    EXPECT_EQ(got.left, 200);
    EXPECT_EQ(got.top, 300);
    EXPECT_EQ(got.right, 540);
    EXPECT_EQ(got.bottom, 320);
    // Adwaita would draw a 4 pixel strip across the middle: the trough in
    // the bar's background colour fills the rectangle instead, near its top
    // and bottom edges too, right of the 40 % bar.
    ASSERT_EQ(pixels.size(), 340u * 20u);
    auto at = [&](int x, int y) { return pixels[static_cast<size_t>(y) * 340 + static_cast<size_t>(x)] & 0xFFFFFF; };
    EXPECT_EQ(at(250, 3), 0xF0F0F0u);
    EXPECT_EQ(at(250, 16), 0xF0F0F0u);
    EXPECT_NE(at(60, 10), 0xF0F0F0u);

    ASSERT_TRUE(zq::win::NativeControlGeometry(combo, &got));
    // The field of a drop-down combo box is one line high (Adwaita: 34
    // pixels); its template rectangle holds the dropped list too.
    EXPECT_EQ(got.left, comboRect.left);
    EXPECT_EQ(got.top, comboRect.top);
    EXPECT_EQ(got.right, comboRect.right);
    EXPECT_EQ(got.bottom - got.top, 21);

    // A push button keeps its template height too (Adwaita: 34 pixels).
    HWND back = ::GetDlgItem(dialog.GetSafeHwnd(), IDC_BACK);
    RECT backRect;
    ::GetWindowRect(back, &backRect);
    ASSERT_TRUE(zq::win::NativeControlGeometry(back, &got));
    EXPECT_EQ(got.bottom - got.top, backRect.bottom - backRect.top);
    EXPECT_EQ(got.bottom - got.top, 26);
    bar.DestroyWindow();
    dialog.DestroyWindow();
}

// Ends the process when a message box never closes, so the test cannot
// wait for ever in the box's loop.
class Watchdog {
public:
    explicit Watchdog(int seconds)
        : m_thread([this, seconds] {
              std::unique_lock<std::mutex> lock(m_lock);
              if (!m_cond.wait_for(lock, std::chrono::seconds(seconds), [this] { return m_done; })) {
                  fprintf(stderr, "the message box never closed\n");
                  _exit(3);
              }
          })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_done = true;
        }
        m_cond.notify_all();
        m_thread.join();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_cond;
    bool m_done = false;
    std::thread m_thread;
};

TEST_F(GtkBackendTest, EscapeAnswersOkInABoxWithOnlyOk)
{
    Watchdog watchdog(30);
    const char caption[] = "ZQ GTK notice";
    // The key comes from another process while the box runs its own loop.
    std::string script = m_xdotool + " search --sync --onlyvisible --name '^" + caption +
                         "$' windowfocus --sync %1 sleep 0.3 key Escape";
    std::vector<std::string> args = {"/bin/sh", "-c", script};
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
    int answer = ::MessageBoxA(nullptr, "The file is damaged.", caption, MB_OK | MB_ICONEXCLAMATION);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(answer, IDOK);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(GtkBackendTest, TypingGoesToThePortBoxAndSpaceToTheFocusedOwnerDrawnButton)
{
    TestWizard dialog;
    ASSERT_TRUE(dialog.Create(IDD_UPDATEMANAGER_DIALOG));
    dialog.SetWindowText(kTitle);
    std::string window = Xdotool({"search", "--sync", "--onlyvisible", "--name", std::string("^") + kTitle + "$"});
    ASSERT_FALSE(window.empty());
    window = window.substr(0, window.find('\n'));
    bool ok = false;
    Xdotool({"windowfocus", "--sync", window}, &ok);

    // A click into the port box's field gives it the focus, in GTK and in
    // the window layer; what is typed there is the box's text.
    HWND combo = ::GetDlgItem(dialog.GetSafeHwnd(), IDC_COMPORT_COMBO);
    RECT r;
    ::GetWindowRect(combo, &r);
    POINT field = {r.left + 20, r.top + 8};
    ::ScreenToClient(dialog.GetSafeHwnd(), &field);
    Xdotool({"mousemove", "--window", window, std::to_string(field.x), std::to_string(field.y), "click", "1"}, &ok);
    ASSERT_TRUE(zq::PumpMessagesUntil([&] { return ::GetFocus() == combo; }, 5000))
        << "the port field did not take the focus within 5 s of the click";
    Xdotool({"type", "--delay", "40", "COM7"}, &ok);
    char text[32] = "";
    EXPECT_TRUE(zq::PumpMessagesUntil(
        [&] {
            ::GetWindowTextA(combo, text, sizeof text);
            return std::string(text) == "COM7";
        },
        5000))
        << "the port field showed \"" << text << "\" 5 s after the keys";
    EXPECT_GE(dialog.portEdits, 4);

    // With the focus on the owner-drawn Next button the keys are the
    // layer's: Space clicks it, and no more letters reach the field.
    dialog.next.SetFocus();
    Xdotool({"mousemove", "--window", window, "20", "20"}, &ok);
    Xdotool({"key", "--delay", "40", "space", "x"}, &ok);
    EXPECT_TRUE(zq::PumpMessagesUntil([&] { return dialog.nextClicks == 1; }, 5000))
        << "no BN_CLICKED arrived within 5 s of Space";
    ::GetWindowTextA(combo, text, sizeof text);
    EXPECT_STREQ(text, "COM7");
    dialog.DestroyWindow();
}

}  // namespace
