// Modal loops: DoModal's, and the loops of message boxes and the file
// dialog. They keep dispatching every posted message while they run.
#include "platform/window/Backend.h"
#include "platform/window/CWnd.h"
#include "platform/window/WindowTree.h"

namespace zq {
namespace win {
namespace {

// Offers the message to the objects from its window up to the dialog, as
// the framework does; TRUE when one of them took it.
bool WalkPreTranslate(HWND stop, MSG* msg)
{
    for (HWND h = msg->hwnd; h;) {
        CWnd* object = CWnd::FromHandle(h);
        if (object && object->PreTranslateMessage(msg))
            return true;
        if (h == stop)
            break;
        Window* w = Find(h);
        if (!w || !w->IsChild())
            break;
        h = w->parent;
    }
    return false;
}

}  // namespace

INT_PTR RunModalLoop(HWND hwnd)
{
    if (Window* w = Find(hwnd))
        w->modalEnded = false;
    for (;;) {
        Window* w = Find(hwnd);
        if (!w)
            return -1;
        if (w->modalEnded)
            return w->modalResult;
        MSG msg;
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == -1)
            return -1;  // nothing came for too long (headless only)
        if (got == 0) {
            // WM_QUIT ends every loop; the outer ones see it again.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return -1;
        }
        if (!WalkPreTranslate(hwnd, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

void EndModalLoop(HWND hwnd, INT_PTR result)
{
    Window* w = Find(hwnd);
    if (!w)
        return;
    w->modalEnded = true;
    w->modalResult = result;
    // A waiting loop wakes up to see that it has ended, as on Windows.
    PostMessageA(hwnd, WM_NULL, 0, 0);
}

void RunModalUntil(const std::function<bool()>& done)
{
    while (!done()) {
        MSG msg;
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == -1)
            return;
        if (got == 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

}  // namespace win
}  // namespace zq
