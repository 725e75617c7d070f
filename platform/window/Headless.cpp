// The headless backend, the backend in use, and the tests' pumping of the
// queue and synthetic pointer and keys.
#include "platform/window/Headless.h"

#include <chrono>
#include <mutex>

#include "platform/window/Backend.h"

namespace zq {
namespace win {
namespace {

std::mutex g_headlessLock;
std::function<void()> g_idleHandler;
int g_idleTimeoutMs = 5000;
POINT g_cursor = {0, 0};

class HeadlessBackend : public Backend {
public:
    bool WaitForEvents(int timeoutMs) override
    {
        std::function<void()> idle;
        int limit;
        {
            std::lock_guard<std::mutex> lock(g_headlessLock);
            idle = g_idleHandler;
            limit = g_idleTimeoutMs;
        }
        if (timeoutMs >= 0)
            limit = timeoutMs;
        if (idle) {
            idle();
            if (!QueueEmpty() || PaintPending())
                return true;
        }
        // Sleep in short slices so an idle handler gets its turn again.
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit);
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            int slice = idle ? 10 : static_cast<int>(left.count());
            if (WaitQueue(std::min<int>(slice, static_cast<int>(left.count()))))
                return true;
            if (PaintPending())
                return true;
            if (idle) {
                idle();
                if (!QueueEmpty() || PaintPending())
                    return true;
            }
        }
    }
    void Wake() override {}
    int MessageBox(const MessageBoxCall& call) override { return DefaultMessageBoxAnswer(call.type); }
    bool OpenFileDialog(HWND, const std::vector<FileFilter>&, CString* path) override
    {
        if (path)
            path->Empty();
        return false;
    }
    POINT CursorPos() override { return g_cursor; }
    SIZE ScreenSize() override { return SIZE{1280, 1024}; }
};

std::unique_ptr<Backend>& Slot()
{
    static std::unique_ptr<Backend> backend = MakeHeadlessBackend();
    return backend;
}

void Mouse(HWND top, UINT message, int x, int y)
{
    POINT screen = {x, y};
    ClientToScreen(top, &screen);
    g_cursor = screen;
    RouteMouse(top, message, POINT{x, y}, 0);
}

}  // namespace

std::unique_ptr<Backend> MakeHeadlessBackend()
{
    return std::make_unique<HeadlessBackend>();
}

Backend& CurrentBackend()
{
    return *Slot();
}

std::unique_ptr<Backend> InstallBackend(std::unique_ptr<Backend> backend)
{
    if (backend)
        Slot().swap(backend);
    return backend;
}

}  // namespace win

int PumpPendingMessages()
{
    // What arrives while this runs waits for the next call, so a busy
    // poster cannot keep the caller here.
    int count = 0;
    int limit = static_cast<int>(win::QueueLength()) + 256;
    MSG msg;
    while (count < limit && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
        ++count;
    }
    return count;
}

bool PumpMessagesUntil(const std::function<bool()>& done, int timeoutMs)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        PumpPendingMessages();
        if (done())
            return true;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        win::CurrentBackend().WaitForEvents(static_cast<int>(std::min<long long>(left.count(), 20)));
    }
}

namespace headless {

std::function<void()> SetIdleHandler(std::function<void()> handler)
{
    std::lock_guard<std::mutex> lock(win::g_headlessLock);
    std::function<void()> previous = std::move(win::g_idleHandler);
    win::g_idleHandler = std::move(handler);
    return previous;
}

int SetIdleTimeout(int milliseconds)
{
    std::lock_guard<std::mutex> lock(win::g_headlessLock);
    const int previous = win::g_idleTimeoutMs;
    win::g_idleTimeoutMs = milliseconds < 0 ? 0 : milliseconds;
    return previous;
}

void MoveMouse(HWND top, int x, int y)
{
    win::Mouse(top, WM_MOUSEMOVE, x, y);
}
void PressMouse(HWND top, int x, int y)
{
    win::Mouse(top, WM_LBUTTONDOWN, x, y);
}
void ReleaseMouse(HWND top, int x, int y)
{
    win::Mouse(top, WM_LBUTTONUP, x, y);
}

void Click(HWND top, int x, int y)
{
    MoveMouse(top, x, y);
    PressMouse(top, x, y);
    ReleaseMouse(top, x, y);
}

void PressKey(UINT virtualKey)
{
    win::RouteKey(WM_KEYDOWN, virtualKey);
}
void ReleaseKey(UINT virtualKey)
{
    win::RouteKey(WM_KEYUP, virtualKey);
}

}  // namespace headless
}  // namespace zq
