// Focus, activation, capture and the window under a point.
#include <vector>

#include "platform/window/Backend.h"
#include "platform/window/UiThreadCalls.h"
#include "platform/window/WindowTable.h"

namespace zq {
namespace win {

HWND g_focus = nullptr;
HWND g_capture = nullptr;
HWND g_active = nullptr;

}  // namespace win
}  // namespace zq

using namespace zq::win;

// ---- Focus, activation and capture

HWND SetFocus(HWND hwnd)
{
    // Focus, activation and capture are the UI thread's; on Windows each
    // thread has its own, and another thread has none.
    if (!OnUiThread())
        return nullptr;
    if (hwnd && !Find(hwnd))
        return nullptr;
    HWND old = g_focus;
    if (old == hwnd)
        return old;
    g_focus = hwnd;
    if (old && Find(old))
        SendMessageA(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    if (hwnd && g_focus == hwnd && Find(hwnd)) {
        if (Window* top = TopLevel(Find(hwnd))) {
            if (g_active != top->hwnd)
                SetActiveWindow(top->hwnd);
        }
        SendMessageA(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
        if (Window* w = Find(hwnd))
            CurrentBackend().Changed(w, Change::Focus);
    }
    return Find(old) ? old : nullptr;
}

HWND GetFocus()
{
    return OnUiThread() && Find(g_focus) ? g_focus : nullptr;
}

HWND GetActiveWindow()
{
    return OnUiThread() && Find(g_active) ? g_active : nullptr;
}

HWND SetActiveWindow(HWND hwnd)
{
    if (!OnUiThread())
        return nullptr;
    Window* w = Find(hwnd);
    if (hwnd && (!w || w->IsChild()))
        return nullptr;
    HWND old = GetActiveWindow();
    if (old == hwnd)
        return old;
    g_active = hwnd;
    if (old)
        SendMessageA(old, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, IsIconic(old) ? 1 : 0), reinterpret_cast<LPARAM>(hwnd));
    if (hwnd && Find(hwnd))
        SendMessageA(hwnd, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, IsIconic(hwnd) ? 1 : 0), reinterpret_cast<LPARAM>(old));
    return old;
}

HWND SetCapture(HWND hwnd)
{
    if (!OnUiThread())
        return nullptr;
    HWND old = Find(g_capture) ? g_capture : nullptr;
    if (!Find(hwnd))
        return old;
    g_capture = hwnd;
    if (old && old != hwnd)
        SendMessageA(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
    return old;
}

BOOL ReleaseCapture()
{
    if (!OnUiThread())
        return FALSE;
    HWND old = g_capture;
    g_capture = nullptr;
    if (old && Find(old))
        SendMessageA(old, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND GetCapture()
{
    return OnUiThread() && Find(g_capture) ? g_capture : nullptr;
}

HWND WindowFromPoint(POINT point)
{
    if (!OnUiThread())
        return OnUiThreadOr<HWND>(nullptr, [=] { return WindowFromPoint(point); });
    std::vector<HWND> tops = g_topLevels;
    for (auto it = tops.rbegin(); it != tops.rend(); ++it) {
        Window* t = Find(*it);
        if (!t || !(t->style & WS_VISIBLE) || (t->style & WS_MINIMIZE))
            continue;
        if (!PtInRect(&t->rect, point))
            continue;
        POINT local = {point.x - t->rect.left, point.y - t->rect.top};
        return HitTest(t, local);
    }
    return nullptr;
}

BOOL GetCursorPos(LPPOINT point)
{
    if (!point)
        return FALSE;
    *point = CurrentBackend().CursorPos();
    return TRUE;
}

HCURSOR SetCursor(HCURSOR cursor)
{
    static HCURSOR current = nullptr;
    HCURSOR old = current;
    current = cursor;
    return old;
}

void InitCommonControls() {}
