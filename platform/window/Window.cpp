// The window tree, the message queue and the window operations.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "platform/window/Backend.h"
#include "platform/window/CWnd.h"
#include "platform/window/WindowTree.h"

#define ERROR_INVALID_WINDOW_HANDLE 1400L

namespace zq {
namespace win {
namespace {

// Handles are numbers that are never used twice, so a stale handle names no
// window rather than a new one.
std::mutex g_tableLock;
std::unordered_map<uintptr_t, std::unique_ptr<Window>> g_windows;
uintptr_t g_nextHandle = 0x10010;
std::vector<HWND> g_topLevels;  // in creation order

std::mutex g_queueLock;
std::condition_variable g_queueCond;
std::deque<MSG> g_queue;
bool g_quitPosted = false;
int g_quitCode = 0;

std::atomic<bool> g_haveUiThread{false};
std::thread::id g_uiThread;

HWND g_focus = nullptr;
HWND g_capture = nullptr;
HWND g_active = nullptr;
bool g_leftDown = false;
bool g_rightDown = false;

// Objects the layer made for template controls are deleted once no message
// of theirs is being handled any more.
int g_dispatchDepth = 0;
std::vector<CWnd*> g_doomed;

// Double clicks: a second press within this time and distance is one.
const int kDoubleClickMs = 500;
const int kDoubleClickDistance = 4;
HWND g_lastDownWindow = nullptr;
POINT g_lastDownPoint = {0, 0};
std::chrono::steady_clock::time_point g_lastDownTime;

const size_t kQueueQuota = 10000;
#define ERROR_NOT_ENOUGH_QUOTA 1816L

uintptr_t Key(HWND hwnd) { return reinterpret_cast<uintptr_t>(hwnd); }

DWORD NowMs()
{
    using namespace std::chrono;
    return static_cast<DWORD>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void FlushDoomed()
{
    if (g_dispatchDepth > 0) return;
    while (!g_doomed.empty()) {
        std::vector<CWnd*> doomed;
        doomed.swap(g_doomed);
        for (CWnd* wnd : doomed) delete wnd;
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
        if (w->hwnd == root) return true;
        if (!w->IsChild()) return false;
    }
    return false;
}

LRESULT Deliver(Window* w, UINT message, WPARAM wParam, LPARAM lParam)
{
    DispatchScope scope;
    if (w->object) return w->object->WindowProc(message, wParam, lParam);
    return ClassProc(w, message, wParam, lParam);
}

HWND HitTest(Window* w, POINT clientPoint)
{
    for (auto it = w->children.rbegin(); it != w->children.rend(); ++it) {
        Window* c = Find(*it);
        if (!c || !c->IsChild() || !(c->style & WS_VISIBLE)) continue;
        if (!PtInRect(&c->rect, clientPoint)) continue;
        // Static texts and icons let the pointer through, as on Windows.
        if (c->kind == WindowKind::Static && !(c->style & SS_NOTIFY)) continue;
        if (c->kind == WindowKind::ToolTip) continue;
        if (c->style & WS_DISABLED) return w->hwnd;
        POINT inner = {clientPoint.x - c->rect.left, clientPoint.y - c->rect.top};
        return HitTest(c, inner);
    }
    return w->hwnd;
}

}  // namespace

Window* Find(HWND hwnd)
{
    if (!hwnd) return nullptr;
    std::lock_guard<std::mutex> lock(g_tableLock);
    auto it = g_windows.find(Key(hwnd));
    return it == g_windows.end() ? nullptr : it->second.get();
}

bool OnUiThread()
{
    return !g_haveUiThread.load() || std::this_thread::get_id() == g_uiThread;
}

WindowKind KindOfClass(const std::string& name)
{
    auto is = [&](const char* n) { return strcasecmp(name.c_str(), n) == 0; };
    if (is(WC_DIALOG)) return WindowKind::Dialog;
    if (is(WC_BUTTON)) return WindowKind::Button;
    if (is(WC_STATIC)) return WindowKind::Static;
    if (is(WC_COMBOBOX)) return WindowKind::ComboBox;
    if (is(WC_EDIT)) return WindowKind::Edit;
    if (is(PROGRESS_CLASS)) return WindowKind::Progress;
    if (is(TOOLTIPS_CLASS)) return WindowKind::ToolTip;
    return WindowKind::Plain;
}

Window* TopLevel(Window* w)
{
    while (w && w->IsChild()) {
        Window* p = Find(w->parent);
        if (!p) break;
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
        if (!w->IsChild()) break;
        w = Find(w->parent);
    }
    return origin;
}

bool InSubtreeOf(HWND root, HWND hwnd) { return InSubtree(root, hwnd); }

bool IsEffectivelyVisible(Window* w)
{
    for (; w; w = w->IsChild() ? Find(w->parent) : nullptr)
        if (!(w->style & WS_VISIBLE)) return false;
    return true;
}

bool IsEffectivelyEnabled(Window* w)
{
    for (; w; w = w->IsChild() ? Find(w->parent) : nullptr)
        if (w->style & WS_DISABLED) return false;
    return true;
}

HWND Create(const std::string& className, LPCSTR text, DWORD style, DWORD exStyle, const RECT& rect,
            HWND parent, int id, CWnd* object, LPVOID createParam)
{
    if (!g_haveUiThread.load()) {
        g_uiThread = std::this_thread::get_id();
        g_haveUiThread = true;
    }
    Window* parentRec = Find(parent);
    if ((style & WS_CHILD) && !parentRec) return nullptr;
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
    if (object) object->m_hWnd = w->hwnd;
    if (parentRec) parentRec->children.push_back(w->hwnd);
    if (!w->IsChild()) g_topLevels.push_back(w->hwnd);
    CurrentBackend().Created(w);
    HWND hwnd = w->hwnd;
    if (Deliver(w, WM_CREATE, 0, reinterpret_cast<LPARAM>(createParam)) == -1) {
        ::DestroyWindow(hwnd);
        return nullptr;
    }
    if (!Find(hwnd)) return nullptr;
    if (w->style & WS_VISIBLE) InvalidateRect(hwnd, nullptr, TRUE);
    return hwnd;
}

CWnd* SetObject(HWND hwnd, CWnd* object)
{
    Window* w = Find(hwnd);
    if (!w) return nullptr;
    CWnd* previous = w->object;
    w->object = object;
    if (object) object->m_hWnd = hwnd;
    return previous;
}

void DeleteLayerObject(CWnd* object)
{
    g_doomed.push_back(object);
    FlushDoomed();
}

bool QueueEmpty()
{
    std::lock_guard<std::mutex> lock(g_queueLock);
    return g_queue.empty() && !g_quitPosted;
}

size_t QueueLength()
{
    std::lock_guard<std::mutex> lock(g_queueLock);
    return g_queue.size();
}

bool WaitQueue(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(g_queueLock);
    return g_queueCond.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)),
                                [] { return !g_queue.empty() || g_quitPosted; });
}

namespace {

void Enqueue(const MSG& msg)
{
    {
        std::lock_guard<std::mutex> lock(g_queueLock);
        g_queue.push_back(msg);
    }
    g_queueCond.notify_all();
    CurrentBackend().Wake();
}

void PurgeQueue(HWND hwnd)
{
    std::lock_guard<std::mutex> lock(g_queueLock);
    g_queue.erase(std::remove_if(g_queue.begin(), g_queue.end(),
                                 [hwnd](const MSG& m) { return m.hwnd == hwnd; }),
                  g_queue.end());
}

bool Matches(const MSG& m, HWND hwnd, UINT lo, UINT hi)
{
    if (hwnd && m.hwnd != hwnd) return false;
    if (lo == 0 && hi == 0) return true;
    return m.message >= lo && m.message <= hi;
}

// The first window in the tree that waits for WM_PAINT, parents first.
Window* FirstInvalid(Window* w)
{
    if (!(w->style & WS_VISIBLE)) return nullptr;
    if (w->invalid) return w;
    for (HWND child : w->children) {
        Window* c = Find(child);
        if (c && c->IsChild()) {
            if (Window* found = FirstInvalid(c)) return found;
        }
    }
    return nullptr;
}

Window* AnyInvalid(HWND filter)
{
    std::vector<HWND> tops = g_topLevels;
    for (HWND top : tops) {
        Window* t = Find(top);
        if (!t) continue;
        Window* found = FirstInvalid(t);
        if (found && (!filter || found->hwnd == filter)) return found;
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
    if (!w->invalid) GetClientRect(hwnd, &painted);
    LRESULT r = Deliver(w, WM_PAINT, 0, 0);
    if ((w = Find(hwnd)) == nullptr) return r;
    w->invalid = false;
    std::vector<HWND> children = w->children;
    for (HWND child : children) {
        Window* c = Find(child);
        if (!c || !c->IsChild() || !(c->style & WS_VISIBLE)) continue;
        RECT inter;
        if (IntersectRect(&inter, &c->rect, &painted)) {
            OffsetRect(&inter, -c->rect.left, -c->rect.top);
            InvalidateRect(child, &inter, FALSE);
        }
    }
    return r;
}

}  // namespace

void PostInput(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    MSG msg = {};
    msg.hwnd = hwnd;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = NowMs();
    ::GetCursorPos(&msg.pt);
    Enqueue(msg);
}

void SetMouseButtonState(int virtualKey, bool down)
{
    if (virtualKey == VK_LBUTTON) g_leftDown = down;
    if (virtualKey == 0x02) g_rightDown = down;
}

// Pointer and key input is queued raw and given its target window when it
// is taken from the queue, so capture and focus changes made by earlier
// input count, as on Windows.
const UINT kRawMouse = 0x03F0;
const UINT kRawKey = 0x03F1;

void RouteMouse(HWND topLevel, UINT message, POINT clientPoint, UINT keyFlags)
{
    MSG msg = {};
    msg.hwnd = topLevel;
    msg.message = kRawMouse;
    msg.wParam = static_cast<WPARAM>(message) | (static_cast<WPARAM>(keyFlags) << 16);
    msg.lParam = MAKELPARAM(clientPoint.x, clientPoint.y);
    msg.time = NowMs();
    Enqueue(msg);
}

void RouteKey(UINT message, UINT virtualKey)
{
    MSG msg = {};
    msg.message = kRawKey;
    msg.wParam = virtualKey;
    msg.lParam = static_cast<LPARAM>(message);
    msg.time = NowMs();
    Enqueue(msg);
}

namespace {

// Gives raw input its window. With commit, the side effects of taking it
// happen too (button state, double-click detection, WM_SETCURSOR); callers
// commit only without the queue lock.
bool Resolve(const MSG& raw, MSG* out, bool commit)
{
    *out = raw;
    if (raw.message == kRawKey) {
        HWND target = g_focus && Find(g_focus) ? g_focus : g_active;
        if (!Find(target)) return false;
        out->hwnd = target;
        out->message = static_cast<UINT>(raw.lParam);
        out->wParam = raw.wParam;
        out->lParam = 1;
        return true;
    }
    if (raw.message != kRawMouse) return true;
    Window* top = Find(raw.hwnd);
    if (!top) return false;
    UINT message = static_cast<UINT>(raw.wParam & 0xFFFF);
    UINT keyFlags = static_cast<UINT>(raw.wParam >> 16);
    POINT clientPoint = CPoint(raw.lParam);
    bool leftDown = g_leftDown;
    if (message == WM_LBUTTONDOWN) leftDown = true;
    if (message == WM_LBUTTONUP) leftDown = false;
    if (leftDown) keyFlags |= MK_LBUTTON;
    POINT screen = ClientOrigin(top);
    screen.x += clientPoint.x;
    screen.y += clientPoint.y;
    HWND target = Find(g_capture) ? g_capture : nullptr;
    bool captured = target != nullptr;
    if (!captured) {
        target = HitTest(top, clientPoint);
        if (!IsEffectivelyEnabled(Find(target))) return false;
    }
    Window* t = Find(target);
    if (!t) return false;
    POINT origin = ClientOrigin(t);
    if (commit) {
        if (message == WM_LBUTTONDOWN) g_leftDown = true;
        if (message == WM_LBUTTONUP) g_leftDown = false;
        if (message == WM_LBUTTONDOWN) {
            auto now = std::chrono::steady_clock::now();
            auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - g_lastDownTime).count();
            bool dbl = target == g_lastDownWindow && ms <= kDoubleClickMs &&
                       std::abs(screen.x - g_lastDownPoint.x) <= kDoubleClickDistance &&
                       std::abs(screen.y - g_lastDownPoint.y) <= kDoubleClickDistance;
            if (dbl) {
                message = WM_LBUTTONDBLCLK;
                g_lastDownWindow = nullptr;
            } else {
                g_lastDownWindow = target;
                g_lastDownPoint = screen;
                g_lastDownTime = now;
            }
        }
        if (message == WM_MOUSEMOVE && !captured)
            SendMessageA(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        if (!Find(target)) return false;
    }
    out->hwnd = target;
    out->message = message;
    out->wParam = keyFlags;
    out->lParam = MAKELPARAM(screen.x - origin.x, screen.y - origin.y);
    out->pt = screen;
    return true;
}

}  // namespace

bool PaintPending() { return AnyInvalid(nullptr) != nullptr; }

}  // namespace win
}  // namespace zq

using namespace zq::win;

// ---- Queue

LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!OnUiThread()) return 0;
    Window* w = Find(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return Deliver(w, message, wParam, lParam);
}

BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (hwnd) {
        std::lock_guard<std::mutex> lock(g_tableLock);
        if (g_windows.find(Key(hwnd)) == g_windows.end()) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
    }
    {
        // A queue holds at most this many posted messages, as on Windows, so
        // a thread that posts faster than the window handles them cannot
        // exhaust memory.
        std::lock_guard<std::mutex> lock(g_queueLock);
        if (g_queue.size() >= kQueueQuota) {
            SetLastError(ERROR_NOT_ENOUGH_QUOTA);
            return FALSE;
        }
    }
    MSG msg = {};
    msg.hwnd = hwnd;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = NowMs();
    Enqueue(msg);
    return TRUE;
}

void PostQuitMessage(int exitCode)
{
    {
        std::lock_guard<std::mutex> lock(g_queueLock);
        g_quitPosted = true;
        g_quitCode = exitCode;
    }
    g_queueCond.notify_all();
    CurrentBackend().Wake();
}

BOOL PeekMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags)
{
    if (!msg) return FALSE;
    for (;;) {
        MSG taken = {};
        bool found = false, raw = false;
        {
            std::lock_guard<std::mutex> lock(g_queueLock);
            for (auto it = g_queue.begin(); it != g_queue.end();) {
                // A message for a window that is gone is dropped here.
                if (it->hwnd && !Find(it->hwnd)) {
                    it = g_queue.erase(it);
                    continue;
                }
                MSG resolved;
                if (!Resolve(*it, &resolved, false)) {
                    it = g_queue.erase(it);
                    continue;
                }
                if (Matches(resolved, hwnd, filterMin, filterMax)) {
                    raw = it->message == kRawMouse || it->message == kRawKey;
                    taken = raw ? *it : resolved;
                    if (!(removeFlags & PM_REMOVE)) taken = resolved;
                    if (removeFlags & PM_REMOVE) g_queue.erase(it);
                    found = true;
                    break;
                }
                ++it;
            }
            if (!found && g_quitPosted && !hwnd && filterMin == 0 && filterMax == 0) {
                *msg = MSG{};
                msg->message = WM_QUIT;
                msg->wParam = static_cast<WPARAM>(g_quitCode);
                if (removeFlags & PM_REMOVE) g_quitPosted = false;
                return TRUE;
            }
        }
        if (!found) break;
        if (raw && (removeFlags & PM_REMOVE)) {
            // Taking the input has its effects now; input that lost its
            // window meanwhile is dropped.
            if (!Resolve(taken, msg, true)) continue;
            return TRUE;
        }
        *msg = taken;
        return TRUE;
    }
    // WM_PAINT comes when nothing else waits, as on Windows.
    bool wantsPaint = (filterMin == 0 && filterMax == 0) || (filterMin <= WM_PAINT && WM_PAINT <= filterMax);
    if (wantsPaint && OnUiThread()) {
        if (Window* w = AnyInvalid(hwnd)) {
            *msg = MSG{};
            msg->hwnd = w->hwnd;
            msg->message = WM_PAINT;
            msg->time = NowMs();
            return TRUE;
        }
    }
    return FALSE;
}

BOOL GetMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax)
{
    if (!msg) return -1;
    for (;;) {
        if (PeekMessageA(msg, hwnd, filterMin, filterMax, PM_REMOVE)) return msg->message != WM_QUIT;
        if (!CurrentBackend().WaitForEvents(-1)) {
            // Nothing came within the backend's bound.
            if (!PeekMessageA(msg, hwnd, filterMin, filterMax, PM_REMOVE)) return -1;
            return msg->message != WM_QUIT;
        }
    }
}

LRESULT DispatchMessageA(const MSG* msg)
{
    if (!msg || !msg->hwnd) return 0;
    Window* w = Find(msg->hwnd);
    if (!w) return 0;
    // A paint handler that does not validate must not make the loop spin:
    // the window counts as painted afterwards.
    if (msg->message == WM_PAINT) return PaintNow(w);
    return Deliver(w, msg->message, msg->wParam, msg->lParam);
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

// ---- Window operations

BOOL IsWindow(HWND hwnd)
{
    if (!hwnd) return FALSE;
    std::lock_guard<std::mutex> lock(g_tableLock);
    return g_windows.find(Key(hwnd)) != g_windows.end();
}

BOOL DestroyWindow(HWND hwnd)
{
    if (!OnUiThread()) return FALSE;
    Window* w = Find(hwnd);
    if (!w || w->destroying) return FALSE;
    DispatchScope scope;
    w->destroying = true;
    if (g_capture && InSubtree(hwnd, g_capture)) ReleaseCapture();
    if (g_focus && InSubtree(hwnd, g_focus)) g_focus = nullptr;
    if (w->style & WS_VISIBLE) {
        w->style &= ~WS_VISIBLE;
        CurrentBackend().Changed(w, Change::Visible);
    }
    Deliver(w, WM_DESTROY, 0, 0);
    // Children and owned windows go with it.
    std::vector<HWND> children = w->children;
    for (HWND child : children) ::DestroyWindow(child);
    Deliver(w, WM_NCDESTROY, 0, 0);
    if (Window* p = Find(w->parent)) {
        p->children.erase(std::remove(p->children.begin(), p->children.end(), hwnd), p->children.end());
    }
    g_topLevels.erase(std::remove(g_topLevels.begin(), g_topLevels.end(), hwnd), g_topLevels.end());
    if (g_active == hwnd) g_active = nullptr;
    if (g_lastDownWindow == hwnd) g_lastDownWindow = nullptr;
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
    if (object) ZqWindowAccess::Destroyed(object);
    if (g_windows.empty()) g_haveUiThread = false;
    return TRUE;
}

HWND GetParent(HWND hwnd)
{
    Window* w = Find(hwnd);
    return w ? w->parent : nullptr;
}

HWND GetDlgItem(HWND dialog, int id)
{
    Window* w = Find(dialog);
    if (!w) return nullptr;
    for (HWND child : w->children) {
        Window* c = Find(child);
        if (c && c->IsChild() && c->id == id) return child;
    }
    return nullptr;
}

int GetDlgCtrlID(HWND hwnd)
{
    Window* w = Find(hwnd);
    return w ? w->id : 0;
}

BOOL SetWindowTextA(HWND hwnd, LPCSTR text)
{
    if (!Find(hwnd)) return FALSE;
    return static_cast<BOOL>(SendMessageA(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : "")));
}

int GetWindowTextA(HWND hwnd, LPSTR buffer, int bufferSize)
{
    if (!buffer || bufferSize <= 0) return 0;
    buffer[0] = '\0';
    if (!Find(hwnd)) return 0;
    return static_cast<int>(SendMessageA(hwnd, WM_GETTEXT, static_cast<WPARAM>(bufferSize),
                                         reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLengthA(HWND hwnd)
{
    if (!Find(hwnd)) return 0;
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
        if (buffer && bufferSize > 0) buffer[0] = '\0';
        return 0;
    }
    return static_cast<UINT>(GetWindowTextA(item, buffer, bufferSize));
}

BOOL EnableWindow(HWND hwnd, BOOL enable)
{
    Window* w = Find(hwnd);
    if (!w) return FALSE;
    BOOL wasDisabled = (w->style & WS_DISABLED) ? TRUE : FALSE;
    if ((enable ? FALSE : TRUE) == wasDisabled) return wasDisabled;
    if (enable) {
        w->style &= ~WS_DISABLED;
    } else {
        w->style |= WS_DISABLED;
        if (g_focus && InSubtree(hwnd, g_focus)) SetFocus(nullptr);
        if (g_capture && InSubtree(hwnd, g_capture)) ReleaseCapture();
    }
    CurrentBackend().Changed(w, Change::Enabled);
    SendMessageA(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
    if (Find(hwnd)) InvalidateRect(hwnd, nullptr, TRUE);
    return wasDisabled;
}

BOOL IsWindowEnabled(HWND hwnd)
{
    Window* w = Find(hwnd);
    return w && !(w->style & WS_DISABLED);
}

BOOL ShowWindow(HWND hwnd, int command)
{
    Window* w = Find(hwnd);
    if (!w) return FALSE;
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
    if (w->style == before) return wasVisible;
    if (!(w->style & WS_VISIBLE)) {
        if (g_focus && InSubtree(hwnd, g_focus)) g_focus = nullptr;
        if (g_capture && InSubtree(hwnd, g_capture)) ReleaseCapture();
    }
    if ((before ^ w->style) & WS_VISIBLE)
        SendMessageA(hwnd, WM_SHOWWINDOW, (w->style & WS_VISIBLE) ? TRUE : FALSE, 0);
    if ((w = Find(hwnd)) == nullptr) return wasVisible;
    if (!w->IsChild() && (w->style & WS_VISIBLE) && !(w->style & WS_MINIMIZE) && command != SW_SHOWNA &&
        command != SW_SHOWNOACTIVATE)
        SetActiveWindow(hwnd);
    CurrentBackend().Changed(w, Change::Visible);
    if (w->style & WS_VISIBLE) InvalidateRect(hwnd, nullptr, TRUE);
    else if (w->IsChild()) {
        RECT r = w->rect;
        InvalidateRect(w->parent, &r, TRUE);
    }
    return wasVisible;
}

BOOL IsWindowVisible(HWND hwnd)
{
    Window* w = Find(hwnd);
    return w && IsEffectivelyVisible(w);
}

BOOL IsIconic(HWND hwnd)
{
    Window* w = Find(hwnd);
    return w && (w->style & WS_MINIMIZE) != 0;
}

LONG GetWindowLongA(HWND hwnd, int index)
{
    Window* w = Find(hwnd);
    if (!w) return 0;
    switch (index) {
    case GWL_STYLE: return static_cast<LONG>(w->style);
    case GWL_EXSTYLE: return static_cast<LONG>(w->exStyle);
    case GWL_ID: return w->id;
    default: return 0;
    }
}

LONG SetWindowLongA(HWND hwnd, int index, LONG value)
{
    Window* w = Find(hwnd);
    if (!w) return 0;
    LONG old = GetWindowLongA(hwnd, index);
    switch (index) {
    case GWL_STYLE: w->style = static_cast<DWORD>(value); break;
    case GWL_EXSTYLE: w->exStyle = static_cast<DWORD>(value); break;
    case GWL_ID: w->id = value; break;
    default: return 0;
    }
    CurrentBackend().Changed(w, Change::Style);
    return old;
}

BOOL GetClientRect(HWND hwnd, LPRECT rect)
{
    Window* w = Find(hwnd);
    if (!w || !rect) return FALSE;
    SetRect(rect, 0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top);
    return TRUE;
}

BOOL GetWindowRect(HWND hwnd, LPRECT rect)
{
    Window* w = Find(hwnd);
    if (!w || !rect) return FALSE;
    POINT o = ClientOrigin(w);
    SetRect(rect, o.x, o.y, o.x + w->rect.right - w->rect.left, o.y + w->rect.bottom - w->rect.top);
    return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint)
{
    Window* w = Find(hwnd);
    if (!w) return FALSE;
    RECT old = w->rect;
    SetRect(&w->rect, x, y, x + std::max(width, 0), y + std::max(height, 0));
    CurrentBackend().Changed(w, Change::Geometry);
    if (repaint) {
        if (w->IsChild()) InvalidateRect(w->parent, &old, TRUE);
        InvalidateRect(hwnd, nullptr, TRUE);
    }
    return TRUE;
}

BOOL SetWindowPos(HWND hwnd, HWND, int x, int y, int cx, int cy, UINT flags)
{
    Window* w = Find(hwnd);
    if (!w) return FALSE;
    RECT r = w->rect;
    if (flags & SWP_NOMOVE) {
        x = r.left;
        y = r.top;
    }
    if (flags & SWP_NOSIZE) {
        cx = r.right - r.left;
        cy = r.bottom - r.top;
    }
    MoveWindow(hwnd, x, y, cx, cy, !(flags & SWP_NOREDRAW));
    if (flags & SWP_SHOWWINDOW) ShowWindow(hwnd, (flags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
    if (flags & SWP_HIDEWINDOW) ShowWindow(hwnd, SW_HIDE);
    return TRUE;
}

BOOL ClientToScreen(HWND hwnd, LPPOINT point)
{
    Window* w = Find(hwnd);
    if (!w || !point) return FALSE;
    POINT o = ClientOrigin(w);
    point->x += o.x;
    point->y += o.y;
    return TRUE;
}

BOOL ScreenToClient(HWND hwnd, LPPOINT point)
{
    Window* w = Find(hwnd);
    if (!w || !point) return FALSE;
    POINT o = ClientOrigin(w);
    point->x -= o.x;
    point->y -= o.y;
    return TRUE;
}

int MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count)
{
    POINT a = {0, 0}, b = {0, 0};
    if (from) ClientToScreen(from, &a);
    if (to) ClientToScreen(to, &b);
    int dx = a.x - b.x, dy = a.y - b.y;
    for (UINT i = 0; points && i < count; ++i) {
        points[i].x += dx;
        points[i].y += dy;
    }
    return MAKELONG(dx, dy);
}

// ---- Painting

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase)
{
    if (!hwnd) return FALSE;
    Window* w = Find(hwnd);
    if (!w) return FALSE;
    RECT client;
    GetClientRect(hwnd, &client);
    RECT r = client;
    if (rect && !IntersectRect(&r, rect, &client)) return TRUE;
    if (w->invalid) UnionRect(&w->update, &w->update, &r);
    else w->update = r;
    w->invalid = !IsRectEmpty(&w->update);
    if (erase) w->erase = true;
    // Children under the rectangle are drawn again over the parent.
    for (HWND child : w->children) {
        Window* c = Find(child);
        if (!c || !c->IsChild()) continue;
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
    Window* w = Find(hwnd);
    if (!w) return FALSE;
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

BOOL GetUpdateRect(HWND hwnd, LPRECT rect, BOOL)
{
    Window* w = Find(hwnd);
    if (!w) return FALSE;
    if (rect) {
        if (w->invalid) *rect = w->update;
        else SetRectEmpty(rect);
    }
    return w->invalid ? TRUE : FALSE;
}

namespace {
void UpdateTree(HWND hwnd)
{
    Window* w = Find(hwnd);
    if (!w || !IsEffectivelyVisible(w)) return;
    if (w->invalid) {
        PaintNow(w);
        if ((w = Find(hwnd)) == nullptr) return;
    }
    std::vector<HWND> children = w->children;
    for (HWND child : children) {
        Window* c = Find(child);
        if (c && c->IsChild()) UpdateTree(child);
    }
}
}  // namespace

BOOL UpdateWindow(HWND hwnd)
{
    if (!Find(hwnd) || !OnUiThread()) return FALSE;
    UpdateTree(hwnd);
    return TRUE;
}

BOOL RedrawWindow(HWND hwnd, const RECT* update, HRGN, UINT flags)
{
    if (!Find(hwnd)) return FALSE;
    if (flags & RDW_INVALIDATE) InvalidateRect(hwnd, update, (flags & RDW_ERASE) ? TRUE : FALSE);
    if (flags & RDW_VALIDATE) ValidateRect(hwnd, update);
    if (flags & RDW_UPDATENOW) UpdateWindow(hwnd);
    return TRUE;
}

// ---- Focus, activation and capture

HWND SetFocus(HWND hwnd)
{
    if (hwnd && !Find(hwnd)) return nullptr;
    HWND old = g_focus;
    if (old == hwnd) return old;
    g_focus = hwnd;
    if (old && Find(old)) SendMessageA(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    if (hwnd && g_focus == hwnd && Find(hwnd)) {
        if (Window* top = TopLevel(Find(hwnd))) {
            if (g_active != top->hwnd) SetActiveWindow(top->hwnd);
        }
        SendMessageA(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
        if (Window* w = Find(hwnd)) CurrentBackend().Changed(w, Change::Focus);
    }
    return Find(old) ? old : nullptr;
}

HWND GetFocus() { return Find(g_focus) ? g_focus : nullptr; }

HWND GetActiveWindow() { return Find(g_active) ? g_active : nullptr; }

HWND SetActiveWindow(HWND hwnd)
{
    Window* w = Find(hwnd);
    if (hwnd && (!w || w->IsChild())) return nullptr;
    HWND old = GetActiveWindow();
    if (old == hwnd) return old;
    g_active = hwnd;
    if (old) SendMessageA(old, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, IsIconic(old) ? 1 : 0),
                          reinterpret_cast<LPARAM>(hwnd));
    if (hwnd && Find(hwnd))
        SendMessageA(hwnd, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, IsIconic(hwnd) ? 1 : 0),
                     reinterpret_cast<LPARAM>(old));
    return old;
}

HWND GetForegroundWindow() { return GetActiveWindow(); }

BOOL SetForegroundWindow(HWND hwnd)
{
    if (!Find(hwnd)) return FALSE;
    SetActiveWindow(hwnd);
    return TRUE;
}

HWND SetCapture(HWND hwnd)
{
    HWND old = Find(g_capture) ? g_capture : nullptr;
    if (!Find(hwnd)) return old;
    g_capture = hwnd;
    if (old && old != hwnd) SendMessageA(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
    return old;
}

BOOL ReleaseCapture()
{
    HWND old = g_capture;
    g_capture = nullptr;
    if (old && Find(old)) SendMessageA(old, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND GetCapture() { return Find(g_capture) ? g_capture : nullptr; }

HWND WindowFromPoint(POINT point)
{
    std::vector<HWND> tops = g_topLevels;
    for (auto it = tops.rbegin(); it != tops.rend(); ++it) {
        Window* t = Find(*it);
        if (!t || !(t->style & WS_VISIBLE) || (t->style & WS_MINIMIZE)) continue;
        if (!PtInRect(&t->rect, point)) continue;
        POINT local = {point.x - t->rect.left, point.y - t->rect.top};
        return HitTest(t, local);
    }
    return nullptr;
}

BOOL GetCursorPos(LPPOINT point)
{
    if (!point) return FALSE;
    *point = CurrentBackend().CursorPos();
    return TRUE;
}

short GetKeyState(int virtualKey)
{
    if (virtualKey == VK_LBUTTON) return g_leftDown ? static_cast<short>(0x8000) : 0;
    if (virtualKey == 0x02) return g_rightDown ? static_cast<short>(0x8000) : 0;
    return 0;
}

short GetAsyncKeyState(int virtualKey) { return GetKeyState(virtualKey); }

HCURSOR SetCursor(HCURSOR cursor)
{
    static HCURSOR current = nullptr;
    HCURSOR old = current;
    current = cursor;
    return old;
}

BOOL MessageBeep(UINT) { return TRUE; }

void InitCommonControls() {}
