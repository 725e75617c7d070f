// Invalidation: the update rectangles, when WM_PAINT comes and in which
// order the windows of a tree are painted.
#include <vector>

#include "platform/window/Backend.h"
#include "platform/window/UiThreadCalls.h"
#include "platform/window/WindowTable.h"

namespace zq {
namespace win {

namespace {

// The first window in the tree that waits for WM_PAINT, parents first.
Window* FirstInvalid(Window* w)
{
    if (!(w->style & WS_VISIBLE))
        return nullptr;
    if (w->invalid)
        return w;
    for (HWND child : w->children) {
        Window* c = Find(child);
        if (c && c->IsChild()) {
            if (Window* found = FirstInvalid(c))
                return found;
        }
    }
    return nullptr;
}

}  // namespace

Window* AnyInvalid(HWND filter)
{
    std::vector<HWND> tops = g_topLevels;
    for (HWND top : tops) {
        Window* t = Find(top);
        if (!t)
            continue;
        Window* found = FirstInvalid(t);
        if (found && (!filter || found->hwnd == filter))
            return found;
    }
    return nullptr;
}

// Delivers WM_PAINT. The children under the painted part are drawn again
// afterwards, so they stay on top of their parent's picture even when they
// had painted themselves earlier (the parent's picture covers them).
LRESULT PaintNow(Window* w)
{
    HWND hwnd = w->hwnd;
    RECT painted = w->update;
    if (!w->invalid)
        GetClientRect(hwnd, &painted);
    LRESULT r = Deliver(w, WM_PAINT, 0, 0);
    if ((w = Find(hwnd)) == nullptr)
        return r;
    w->invalid = false;
    std::vector<HWND> children = w->children;
    for (HWND child : children) {
        Window* c = Find(child);
        if (!c || !c->IsChild() || !(c->style & WS_VISIBLE))
            continue;
        RECT inter;
        if (IntersectRect(&inter, &c->rect, &painted)) {
            OffsetRect(&inter, -c->rect.left, -c->rect.top);
            InvalidateRect(child, &inter, FALSE);
        }
    }
    return r;
}

bool PaintPending()
{
    return AnyInvalid(nullptr) != nullptr;
}

}  // namespace win
}  // namespace zq

using namespace zq::win;

// ---- Painting

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase)
{
    if (!OnUiThread())
        return OnUiThreadOr<BOOL>(FALSE, [=] { return InvalidateRect(hwnd, rect, erase); });
    if (!hwnd)
        return FALSE;
    Window* w = Find(hwnd);
    if (!w)
        return FALSE;
    RECT client;
    GetClientRect(hwnd, &client);
    RECT r = client;
    if (rect && !IntersectRect(&r, rect, &client))
        return TRUE;
    if (w->invalid)
        UnionRect(&w->update, &w->update, &r);
    else
        w->update = r;
    w->invalid = !IsRectEmpty(&w->update);
    if (erase)
        w->erase = true;
    // Children under the rectangle are drawn again over the parent.
    for (HWND child : w->children) {
        Window* c = Find(child);
        if (!c || !c->IsChild())
            continue;
        RECT inter;
        if (IntersectRect(&inter, &c->rect, &r)) {
            OffsetRect(&inter, -c->rect.left, -c->rect.top);
            InvalidateRect(child, &inter, erase);
        }
    }
    CurrentBackend().Wake();
    return TRUE;
}

BOOL ValidateRect(HWND hwnd, const RECT* rect)
{
    if (!OnUiThread())
        return OnUiThreadOr<BOOL>(FALSE, [=] { return ValidateRect(hwnd, rect); });
    Window* w = Find(hwnd);
    if (!w)
        return FALSE;
    if (!rect) {
        w->invalid = false;
        w->erase = false;
        SetRectEmpty(&w->update);
        return TRUE;
    }
    // Only a rectangle that covers the whole update validates it; parts stay.
    RECT u;
    UnionRect(&u, &w->update, rect);
    if (EqualRect(&u, rect)) {
        w->invalid = false;
        w->erase = false;
        SetRectEmpty(&w->update);
    }
    return TRUE;
}

BOOL GetUpdateRect(HWND hwnd, LPRECT rect, BOOL erase)
{
    if (!OnUiThread())
        return OnUiThreadOr<BOOL>(FALSE, [=] { return GetUpdateRect(hwnd, rect, erase); });
    Window* w = Find(hwnd);
    if (!w)
        return FALSE;
    if (rect) {
        if (w->invalid)
            *rect = w->update;
        else
            SetRectEmpty(rect);
    }
    return w->invalid ? TRUE : FALSE;
}

namespace {
void UpdateTree(HWND hwnd)
{
    Window* w = Find(hwnd);
    if (!w || !IsEffectivelyVisible(w))
        return;
    if (w->invalid) {
        PaintNow(w);
        if ((w = Find(hwnd)) == nullptr)
            return;
    }
    std::vector<HWND> children = w->children;
    for (HWND child : children) {
        Window* c = Find(child);
        if (c && c->IsChild())
            UpdateTree(child);
    }
}
}  // namespace

BOOL UpdateWindow(HWND hwnd)
{
    if (!OnUiThread())
        return OnUiThreadOr<BOOL>(FALSE, [=] { return UpdateWindow(hwnd); });
    if (!Find(hwnd))
        return FALSE;
    UpdateTree(hwnd);
    return TRUE;
}

BOOL RedrawWindow(HWND hwnd, const RECT* update, HRGN, UINT flags)
{
    if (!OnUiThread())
        return OnUiThreadOr<BOOL>(FALSE, [=] { return RedrawWindow(hwnd, update, nullptr, flags); });
    if (!Find(hwnd))
        return FALSE;
    if (flags & RDW_INVALIDATE)
        InvalidateRect(hwnd, update, (flags & RDW_ERASE) ? TRUE : FALSE);
    if (flags & RDW_VALIDATE)
        ValidateRect(hwnd, update);
    if (flags & RDW_UPDATENOW)
        UpdateWindow(hwnd);
    return TRUE;
}
