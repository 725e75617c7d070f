// The window tree and the window operations.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

#include "platform/window/Backend.h"
#include "platform/window/CWnd.h"
#include "platform/window/UiThreadCalls.h"
#include "platform/window/WindowTable.h"

namespace zq {
namespace win {

// Handles are numbers that are never used twice, so a stale handle names no
// window rather than a new one.
std::mutex g_tableLock;
std::unordered_map<uintptr_t, std::unique_ptr<Window>> g_windows;
std::vector<HWND> g_topLevels;  // in creation order

namespace {

uintptr_t g_nextHandle = 0x10010;

std::atomic<bool> g_haveUiThread{false};
std::thread::id g_uiThread;

// Objects the layer made for template controls are deleted once no message
// of theirs is being handled any more.
int g_dispatchDepth = 0;
std::vector<CWnd*> g_doomed;

void FlushDoomed()
{
    if (g_dispatchDepth > 0)
        return;
    while (!g_doomed.empty()) {
        std::vector<CWnd*> doomed;
        doomed.swap(g_doomed);
        for (CWnd* wnd : doomed)
            delete wnd;
    }
}

struct DispatchScope {
    DispatchScope() { ++g_dispatchDepth; }
    ~DispatchScope()
    {
        --g_dispatchDepth;
        FlushDoomed();
    }
};

bool InSubtree(HWND root, HWND hwnd)
{
    for (Window* w = Find(hwnd); w; w = Find(w->parent)) {
        if (w->hwnd == root)
            return true;
        if (!w->IsChild())
            return false;
    }
    return false;
}

}  // namespace

LRESULT Deliver(Window* w, UINT message, WPARAM wParam, LPARAM lParam)
{
    DispatchScope scope;
    if (w->object)
        return w->object->WindowProc(message, wParam, lParam);
    return ClassProc(w, message, wParam, lParam);
}

HWND HitTest(Window* w, POINT clientPoint)
{
    for (auto it = w->children.rbegin(); it != w->children.rend(); ++it) {
        Window* c = Find(*it);
        if (!c || !c->IsChild() || !(c->style & WS_VISIBLE))
            continue;
        if (!PtInRect(&c->rect, clientPoint))
            continue;
        // Static texts and icons let the pointer through, as on Windows.
        if (c->kind == WindowKind::Static && !(c->style & SS_NOTIFY))
            continue;
        if (c->kind == WindowKind::ToolTip)
            continue;
        if (c->style & WS_DISABLED)
            return w->hwnd;
        POINT inner = {clientPoint.x - c->rect.left, clientPoint.y - c->rect.top};
        return HitTest(c, inner);
    }
    return w->hwnd;
}

Window* Find(HWND hwnd)
{
    if (!hwnd)
        return nullptr;
    std::lock_guard<std::mutex> lock(g_tableLock);
    auto it = g_windows.find(Key(hwnd));
    return it == g_windows.end() ? nullptr : it->second.get();
}

bool OnUiThread()
{
    return !g_haveUiThread.load() || std::this_thread::get_id() == g_uiThread;
}

bool IsUiThread()
{
    return g_haveUiThread.load() && std::this_thread::get_id() == g_uiThread;
}

bool UiThreadKnown()
{
    return g_haveUiThread.load();
}

WindowKind KindOfClass(const std::string& name)
{
    auto is = [&](const char* n) { return strcasecmp(name.c_str(), n) == 0; };
    if (is(WC_DIALOG))
        return WindowKind::Dialog;
    if (is(WC_BUTTON))
        return WindowKind::Button;
    if (is(WC_STATIC))
        return WindowKind::Static;
    if (is(WC_COMBOBOX))
        return WindowKind::ComboBox;
    if (is(WC_EDIT))
        return WindowKind::Edit;
    if (is(PROGRESS_CLASS))
        return WindowKind::Progress;
    if (is(TOOLTIPS_CLASS))
        return WindowKind::ToolTip;
    return WindowKind::Plain;
}

Window* TopLevel(Window* w)
{
    while (w && w->IsChild()) {
        Window* p = Find(w->parent);
        if (!p)
            break;
        w = p;
    }
    return w;
}

POINT ClientOrigin(Window* w)
{
    POINT origin = {0, 0};
    while (w) {
        origin.x += w->rect.left;
        origin.y += w->rect.top;
        if (!w->IsChild())
            break;
        w = Find(w->parent);
    }
    return origin;
}

bool InSubtreeOf(HWND root, HWND hwnd)
{
    return InSubtree(root, hwnd);
}

bool IsEffectivelyVisible(Window* w)
{
    for (; w; w = w->IsChild() ? Find(w->parent) : nullptr)
        if (!(w->style & WS_VISIBLE))
            return false;
    return true;
}

bool IsEffectivelyEnabled(Window* w)
{
    for (; w; w = w->IsChild() ? Find(w->parent) : nullptr)
        if (w->style & WS_DISABLED)
            return false;
    return true;
}

HWND Create(const std::string& className, LPCSTR text, DWORD style, DWORD exStyle, const RECT& rect, HWND parent,
            int id, CWnd* object, LPVOID createParam)
{
    // Windows live on the UI thread: another thread makes none.
    if (!OnUiThread())
        return nullptr;
    if (!g_haveUiThread.load()) {
        g_uiThread = std::this_thread::get_id();
        g_haveUiThread = true;
    }
    Window* parentRec = Find(parent);
    if ((style & WS_CHILD) && !parentRec)
        return nullptr;
    auto rec = std::make_unique<Window>();
    Window* w = rec.get();
    {
        std::lock_guard<std::mutex> lock(g_tableLock);
        w->hwnd = reinterpret_cast<HWND>(g_nextHandle);
        g_nextHandle += 4;
        g_windows[Key(w->hwnd)] = std::move(rec);
    }
    w->className = className;
    w->kind = KindOfClass(className);
    w->text = text ? text : "";
    w->style = style;
    w->exStyle = exStyle;
    w->id = id;
    w->parent = parentRec ? parent : nullptr;
    w->rect = rect;
    w->object = object;
    if (object)
        object->m_hWnd = w->hwnd;
    if (parentRec)
        parentRec->children.push_back(w->hwnd);
    if (!w->IsChild())
        g_topLevels.push_back(w->hwnd);
    CurrentBackend().Created(w);
    HWND hwnd = w->hwnd;
    if (Deliver(w, WM_CREATE, 0, reinterpret_cast<LPARAM>(createParam)) == -1) {
        ::DestroyWindow(hwnd);
        return nullptr;
    }
    if (!Find(hwnd))
        return nullptr;
    if (w->style & WS_VISIBLE)
        InvalidateRect(hwnd, nullptr, TRUE);
    return hwnd;
}

CWnd* SetObject(HWND hwnd, CWnd* object)
{
    Window* w = Find(hwnd);
    if (!w)
        return nullptr;
    CWnd* previous = w->object;
    w->object = object;
    if (object)
        object->m_hWnd = hwnd;
    return previous;
}

void DeleteLayerObject(CWnd* object)
{
    g_doomed.push_back(object);
    FlushDoomed();
}

}  // namespace win
}  // namespace zq

using namespace zq::win;

// ---- Window operations

BOOL IsWindow(HWND hwnd)
{
    if (!hwnd)
        return FALSE;
    std::lock_guard<std::mutex> lock(g_tableLock);
    return g_windows.find(Key(hwnd)) != g_windows.end();
}

BOOL DestroyWindow(HWND hwnd)
{
    if (!OnUiThread())
        return FALSE;
    Window* w = Find(hwnd);
    if (!w || w->destroying)
        return FALSE;
    DispatchScope scope;
    w->destroying = true;
    if (g_capture && InSubtree(hwnd, g_capture))
        ReleaseCapture();
    if (g_focus && InSubtree(hwnd, g_focus))
        g_focus = nullptr;
    if (w->style & WS_VISIBLE) {
        w->style &= ~WS_VISIBLE;
        CurrentBackend().Changed(w, Change::Visible);
    }
    Deliver(w, WM_DESTROY, 0, 0);
    // Children and owned windows go with it.
    std::vector<HWND> children = w->children;
    for (HWND child : children)
        ::DestroyWindow(child);
    Deliver(w, WM_NCDESTROY, 0, 0);
    if (Window* p = Find(w->parent)) {
        p->children.erase(std::remove(p->children.begin(), p->children.end(), hwnd), p->children.end());
    }
    g_topLevels.erase(std::remove(g_topLevels.begin(), g_topLevels.end(), hwnd), g_topLevels.end());
    if (g_active == hwnd)
        g_active = nullptr;
    if (g_lastDownWindow == hwnd)
        g_lastDownWindow = nullptr;
    CurrentBackend().Destroyed(w);
    ReleaseSurface(w);
    CWnd* object = w->object;
    std::unique_ptr<Window> rec;
    {
        std::lock_guard<std::mutex> lock(g_tableLock);
        auto it = g_windows.find(Key(hwnd));
        rec = std::move(it->second);
        g_windows.erase(it);
    }
    PurgeQueue(hwnd);
    if (object)
        ZqWindowAccess::Destroyed(object);
    if (g_windows.empty()) {
        g_haveUiThread = false;
        // No loop is left to run what other threads asked for.
        GiveUpWaitingCalls();
    }
    return TRUE;
}

HWND GetParent(HWND hwnd)
{
    if (!OnUiThread())
        return OnUiThreadOr<HWND>(nullptr, [=] { return GetParent(hwnd); });
    Window* w = Find(hwnd);
    return w ? w->parent : nullptr;
}

HWND GetDlgItem(HWND dialog, int id)
{
    if (!OnUiThread())
        return OnUiThreadOr<HWND>(nullptr, [=] { return GetDlgItem(dialog, id); });
    Window* w = Find(dialog);
    if (!w)
        return nullptr;
    for (HWND child : w->children) {
        Window* c = Find(child);
        if (c && c->IsChild() && c->id == id)
            return child;
    }
    return nullptr;
}

int GetDlgCtrlID(HWND hwnd)
{
    if (!OnUiThread())
        return OnUiThreadOr<int>(0, [=] { return GetDlgCtrlID(hwnd); });
    Window* w = Find(hwnd);
    return w ? w->id : 0;
}

BOOL SetWindowTextA(HWND hwnd, LPCSTR text)
{
    if (!Find(hwnd))
        return FALSE;
    return static_cast<BOOL>(SendMessageA(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : "")));
}

int GetWindowTextA(HWND hwnd, LPSTR buffer, int bufferSize)
{
    if (!buffer || bufferSize <= 0)
        return 0;
    buffer[0] = '\0';
    if (!Find(hwnd))
        return 0;
    return static_cast<int>(
        SendMessageA(hwnd, WM_GETTEXT, static_cast<WPARAM>(bufferSize), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLengthA(HWND hwnd)
{
    if (!Find(hwnd))
        return 0;
    return static_cast<int>(SendMessageA(hwnd, WM_GETTEXTLENGTH, 0, 0));
}

BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text)
{
    HWND item = GetDlgItem(dialog, id);
    return item ? SetWindowTextA(item, text) : FALSE;
}

UINT GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int bufferSize)
{
    HWND item = GetDlgItem(dialog, id);
    if (!item) {
        if (buffer && bufferSize > 0)
            buffer[0] = '\0';
        return 0;
    }
    return static_cast<UINT>(GetWindowTextA(item, buffer, bufferSize));
}

BOOL EnableWindow(HWND hwnd, BOOL enable)
{
    if (!OnUiThread())
        return OnUiThreadOr<BOOL>(FALSE, [=] { return EnableWindow(hwnd, enable); });
    Window* w = Find(hwnd);
    if (!w)
        return FALSE;
    BOOL wasDisabled = (w->style & WS_DISABLED) ? TRUE : FALSE;
    if ((enable ? FALSE : TRUE) == wasDisabled)
        return wasDisabled;
    if (enable) {
        w->style &= ~WS_DISABLED;
    } else {
        w->style |= WS_DISABLED;
        if (g_focus && InSubtree(hwnd, g_focus))
            SetFocus(nullptr);
        if (g_capture && InSubtree(hwnd, g_capture))
            ReleaseCapture();
    }
    CurrentBackend().Changed(w, Change::Enabled);
    SendMessageA(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
    if (Find(hwnd))
        InvalidateRect(hwnd, nullptr, TRUE);
    return wasDisabled;
}

BOOL IsWindowEnabled(HWND hwnd)
{
    if (!OnUiThread())
        return OnUiThreadOr<BOOL>(FALSE, [=] { return IsWindowEnabled(hwnd); });
    Window* w = Find(hwnd);
    return w && !(w->style & WS_DISABLED);
}

BOOL ShowWindow(HWND hwnd, int command)
{
    if (!OnUiThread())
        return OnUiThreadOr<BOOL>(FALSE, [=] { return ShowWindow(hwnd, command); });
    Window* w = Find(hwnd);
    if (!w)
        return FALSE;
    BOOL wasVisible = (w->style & WS_VISIBLE) ? TRUE : FALSE;
    DWORD before = w->style;
    switch (command) {
    case SW_HIDE:
        w->style &= ~WS_VISIBLE;
        break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
        w->style |= WS_VISIBLE | WS_MINIMIZE;
        break;
    case SW_RESTORE:
    case SW_SHOWNORMAL:
        w->style = (w->style | WS_VISIBLE) & ~WS_MINIMIZE;
        break;
    default:
        w->style |= WS_VISIBLE;
        break;
    }
    if (w->style == before)
        return wasVisible;
    if (!(w->style & WS_VISIBLE)) {
        if (g_focus && InSubtree(hwnd, g_focus))
            g_focus = nullptr;
        if (g_capture && InSubtree(hwnd, g_capture))
            ReleaseCapture();
    }
    if ((before ^ w->style) & WS_VISIBLE)
        SendMessageA(hwnd, WM_SHOWWINDOW, (w->style & WS_VISIBLE) ? TRUE : FALSE, 0);
    if ((w = Find(hwnd)) == nullptr)
        return wasVisible;
    if (!w->IsChild() && (w->style & WS_VISIBLE) && !(w->style & WS_MINIMIZE) && command != SW_SHOWNA &&
        command != SW_SHOWNOACTIVATE)
        SetActiveWindow(hwnd);
    CurrentBackend().Changed(w, Change::Visible);
    if (w->style & WS_VISIBLE)
        InvalidateRect(hwnd, nullptr, TRUE);
    else if (w->IsChild()) {
        RECT r = w->rect;
        InvalidateRect(w->parent, &r, TRUE);
    }
    return wasVisible;
}

BOOL IsWindowVisible(HWND hwnd)
{
    if (!OnUiThread())
        return OnUiThreadOr<BOOL>(FALSE, [=] { return IsWindowVisible(hwnd); });
    Window* w = Find(hwnd);
    return w && IsEffectivelyVisible(w);
}

BOOL IsIconic(HWND hwnd)
{
    if (!OnUiThread())
        return OnUiThreadOr<BOOL>(FALSE, [=] { return IsIconic(hwnd); });
    Window* w = Find(hwnd);
    return w && (w->style & WS_MINIMIZE) != 0;
}

LONG GetWindowLongA(HWND hwnd, int index)
{
    if (!OnUiThread())
        return OnUiThreadOr<LONG>(0, [=] { return GetWindowLongA(hwnd, index); });
    Window* w = Find(hwnd);
    if (!w)
        return 0;
    switch (index) {
    case GWL_STYLE:
        return static_cast<LONG>(w->style);
    case GWL_EXSTYLE:
        return static_cast<LONG>(w->exStyle);
    case GWL_ID:
        return w->id;
    default:
        return 0;
    }
}

BOOL GetClientRect(HWND hwnd, LPRECT rect)
{
    if (!OnUiThread())
        return OnUiThreadOr<BOOL>(FALSE, [=] { return GetClientRect(hwnd, rect); });
    Window* w = Find(hwnd);
    if (!w || !rect)
        return FALSE;
    SetRect(rect, 0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top);
    return TRUE;
}

BOOL GetWindowRect(HWND hwnd, LPRECT rect)
{
    if (!OnUiThread())
        return OnUiThreadOr<BOOL>(FALSE, [=] { return GetWindowRect(hwnd, rect); });
    Window* w = Find(hwnd);
    if (!w || !rect)
        return FALSE;
    POINT o = ClientOrigin(w);
    SetRect(rect, o.x, o.y, o.x + w->rect.right - w->rect.left, o.y + w->rect.bottom - w->rect.top);
    return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint)
{
    if (!OnUiThread())
        return OnUiThreadOr<BOOL>(FALSE, [=] { return MoveWindow(hwnd, x, y, width, height, repaint); });
    Window* w = Find(hwnd);
    if (!w)
        return FALSE;
    RECT old = w->rect;
    SetRect(&w->rect, x, y, x + std::max(width, 0), y + std::max(height, 0));
    CurrentBackend().Changed(w, Change::Geometry);
    if (repaint) {
        if (w->IsChild())
            InvalidateRect(w->parent, &old, TRUE);
        InvalidateRect(hwnd, nullptr, TRUE);
    }
    return TRUE;
}

BOOL ClientToScreen(HWND hwnd, LPPOINT point)
{
    if (!OnUiThread())
        return OnUiThreadOr<BOOL>(FALSE, [=] { return ClientToScreen(hwnd, point); });
    Window* w = Find(hwnd);
    if (!w || !point)
        return FALSE;
    POINT o = ClientOrigin(w);
    point->x += o.x;
    point->y += o.y;
    return TRUE;
}

BOOL ScreenToClient(HWND hwnd, LPPOINT point)
{
    if (!OnUiThread())
        return OnUiThreadOr<BOOL>(FALSE, [=] { return ScreenToClient(hwnd, point); });
    Window* w = Find(hwnd);
    if (!w || !point)
        return FALSE;
    POINT o = ClientOrigin(w);
    point->x -= o.x;
    point->y -= o.y;
    return TRUE;
}
