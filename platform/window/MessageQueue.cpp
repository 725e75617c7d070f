// The message queue: posted messages and raw input in one queue, the
// routing that gives raw input its window when it is taken, and the
// dispatch.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>

#include "platform/window/Backend.h"
#include "platform/window/CWnd.h"
#include "platform/window/UiThreadCalls.h"
#include "platform/window/WindowTable.h"

#define ERROR_INVALID_WINDOW_HANDLE 1400L

namespace zq {
namespace win {

HWND g_lastDownWindow = nullptr;

namespace {

bool g_leftDown = false;

std::mutex g_queueLock;
std::condition_variable g_queueCond;
std::deque<MSG> g_queue;
bool g_quitPosted = false;
int g_quitCode = 0;

// Double clicks: a second press within this time and distance is one.
const int kDoubleClickMs = 500;
const int kDoubleClickDistance = 4;
POINT g_lastDownPoint = {0, 0};
std::chrono::steady_clock::time_point g_lastDownTime;

const size_t kQueueQuota = 10000;
#define ERROR_NOT_ENOUGH_QUOTA 1816L

DWORD NowMs()
{
    using namespace std::chrono;
    return static_cast<DWORD>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void Enqueue(const MSG& msg)
{
    {
        std::lock_guard<std::mutex> lock(g_queueLock);
        g_queue.push_back(msg);
    }
    g_queueCond.notify_all();
    CurrentBackend().Wake();
}

// A filter of 0 to 0 lets every message through, as on Windows.
bool InFilterRange(UINT message, UINT lo, UINT hi)
{
    return (lo == 0 && hi == 0) || (message >= lo && message <= hi);
}

bool Matches(const MSG& m, HWND hwnd, UINT lo, UINT hi)
{
    if (hwnd && m.hwnd != hwnd)
        return false;
    return InFilterRange(m.message, lo, hi);
}

}  // namespace

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

void PurgeQueue(HWND hwnd)
{
    std::lock_guard<std::mutex> lock(g_queueLock);
    g_queue.erase(std::remove_if(g_queue.begin(), g_queue.end(), [hwnd](const MSG& m) { return m.hwnd == hwnd; }),
                  g_queue.end());
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

// A raw key as the message of the window with the focus (or of the active
// window). False when neither exists any more.
bool KeyMessageFromRaw(const MSG& raw, MSG* out)
{
    HWND target = g_focus && Find(g_focus) ? g_focus : g_active;
    if (!Find(target))
        return false;
    out->hwnd = target;
    out->message = static_cast<UINT>(raw.lParam);
    out->wParam = raw.wParam;
    out->lParam = 1;
    return true;
}

// The left button's state as the taking of a button message leaves it, and
// the double click: a second press on the same window, soon enough and
// near enough, becomes WM_LBUTTONDBLCLK. The message as it is delivered.
UINT TakeLeftButton(UINT message, HWND target, POINT screen)
{
    if (message == WM_LBUTTONUP)
        g_leftDown = false;
    if (message != WM_LBUTTONDOWN)
        return message;
    g_leftDown = true;
    auto now = std::chrono::steady_clock::now();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - g_lastDownTime).count();
    bool dbl = target == g_lastDownWindow && ms <= kDoubleClickMs &&
               std::abs(screen.x - g_lastDownPoint.x) <= kDoubleClickDistance &&
               std::abs(screen.y - g_lastDownPoint.y) <= kDoubleClickDistance;
    if (dbl) {
        g_lastDownWindow = nullptr;
        return WM_LBUTTONDBLCLK;
    }
    g_lastDownWindow = target;
    g_lastDownPoint = screen;
    g_lastDownTime = now;
    return message;
}

// Raw pointer input as the message of the window that captured the mouse,
// or else of the enabled window under the pointer, in its client
// coordinates. False when there is no such window.
bool MouseMessageFromRaw(const MSG& raw, MSG* out, bool commit)
{
    Window* top = Find(raw.hwnd);
    if (!top)
        return false;
    UINT message = static_cast<UINT>(raw.wParam & 0xFFFF);
    UINT keyFlags = static_cast<UINT>(raw.wParam >> 16);
    POINT clientPoint = CPoint(raw.lParam);
    bool leftDown = g_leftDown;
    if (message == WM_LBUTTONDOWN)
        leftDown = true;
    if (message == WM_LBUTTONUP)
        leftDown = false;
    if (leftDown)
        keyFlags |= MK_LBUTTON;
    POINT screen = ClientOrigin(top);
    screen.x += clientPoint.x;
    screen.y += clientPoint.y;
    HWND target = Find(g_capture) ? g_capture : nullptr;
    bool captured = target != nullptr;
    if (!captured) {
        target = HitTest(top, clientPoint);
        if (!IsEffectivelyEnabled(Find(target)))
            return false;
    }
    Window* t = Find(target);
    if (!t)
        return false;
    POINT origin = ClientOrigin(t);
    if (commit) {
        message = TakeLeftButton(message, target, screen);
        if (message == WM_MOUSEMOVE && !captured)
            SendMessageA(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        if (!Find(target))
            return false;
    }
    out->hwnd = target;
    out->message = message;
    out->wParam = keyFlags;
    out->lParam = MAKELPARAM(screen.x - origin.x, screen.y - origin.y);
    out->pt = screen;
    return true;
}

// Turns raw input into the message of its window; other messages pass as
// they are. With commit, the side effects of taking it happen too (button
// state, double-click detection, WM_SETCURSOR); callers commit only without
// the queue lock. False when the input has no window to go to.
bool MessageFromRawInput(const MSG& raw, MSG* out, bool commit)
{
    *out = raw;
    if (raw.message == kRawKey)
        return KeyMessageFromRaw(raw, out);
    if (raw.message == kRawMouse)
        return MouseMessageFromRaw(raw, out, commit);
    return true;
}

// What the search of the queue found.
enum class Found { Nothing, Message, RawInput };

// The first queued message that matches the filter, as its window will get
// it. Messages whose window is gone and raw input that has no window to go
// to are dropped on the way. With PM_REMOVE the message leaves the queue,
// and raw input is handed out as it was queued, so that the effects of
// taking it happen once the lock is released. Called with the queue lock
// held.
Found SearchQueue(MSG* out, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags)
{
    for (auto it = g_queue.begin(); it != g_queue.end();) {
        if (it->hwnd && !Find(it->hwnd)) {
            it = g_queue.erase(it);
            continue;
        }
        MSG resolved;
        if (!MessageFromRawInput(*it, &resolved, false)) {
            it = g_queue.erase(it);
            continue;
        }
        if (!Matches(resolved, hwnd, filterMin, filterMax)) {
            ++it;
            continue;
        }
        if (!(removeFlags & PM_REMOVE)) {
            *out = resolved;
            return Found::Message;
        }
        const bool raw = it->message == kRawMouse || it->message == kRawKey;
        *out = raw ? *it : resolved;
        g_queue.erase(it);
        return raw ? Found::RawInput : Found::Message;
    }
    return Found::Nothing;
}

// WM_QUIT, for a peek without a filter once a quit is posted. Called with
// the queue lock held, after the queue had nothing to give.
bool TakeQuit(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags)
{
    if (!g_quitPosted || hwnd || filterMin != 0 || filterMax != 0)
        return false;
    *msg = MSG{};
    msg->message = WM_QUIT;
    msg->wParam = static_cast<WPARAM>(g_quitCode);
    if (removeFlags & PM_REMOVE)
        g_quitPosted = false;
    return true;
}

// The next queued message that matches the filter, or else WM_QUIT. Raw
// input that is taken has its effects here; input that lost its window
// meanwhile is dropped and the queue searched again.
bool TakeQueuedOrQuit(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags)
{
    for (;;) {
        MSG taken = {};
        Found found;
        {
            std::lock_guard<std::mutex> lock(g_queueLock);
            found = SearchQueue(&taken, hwnd, filterMin, filterMax, removeFlags);
            if (found == Found::Nothing)
                return TakeQuit(msg, hwnd, filterMin, filterMax, removeFlags);
        }
        if (found == Found::Message) {
            *msg = taken;
            return true;
        }
        if (MessageFromRawInput(taken, msg, true))
            return true;
    }
}

// WM_PAINT for a window that needs painting, when the filter lets it
// through: it comes when nothing else waits, as on Windows.
bool TakePaint(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax)
{
    if (!InFilterRange(WM_PAINT, filterMin, filterMax))
        return false;
    Window* w = AnyInvalid(hwnd);
    if (!w)
        return false;
    *msg = MSG{};
    msg->hwnd = w->hwnd;
    msg->message = WM_PAINT;
    msg->time = NowMs();
    return true;
}

}  // namespace

}  // namespace win
}  // namespace zq

using namespace zq::win;

// ---- Queue

LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    // From another thread the UI thread handles it, as Windows hands a
    // message to the thread of its window; 0 when it cannot.
    if (!OnUiThread())
        return OnUiThreadOr<LRESULT>(0, [=] { return SendMessageA(hwnd, message, wParam, lParam); });
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
    if (!msg)
        return FALSE;
    // The queue is the UI thread's: another thread has no messages.
    if (!OnUiThread())
        return FALSE;
    // What other threads handed over runs first, as Windows delivers sent
    // messages before it returns a posted one.
    if (IsUiThread())
        RunWaitingCalls();
    if (TakeQueuedOrQuit(msg, hwnd, filterMin, filterMax, removeFlags))
        return TRUE;
    return TakePaint(msg, hwnd, filterMin, filterMax) ? TRUE : FALSE;
}

BOOL GetMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax)
{
    if (!msg || !OnUiThread())
        return -1;
    for (;;) {
        if (PeekMessageA(msg, hwnd, filterMin, filterMax, PM_REMOVE))
            return msg->message != WM_QUIT;
        if (!CurrentBackend().WaitForEvents(-1)) {
            // Nothing came within the backend's bound.
            if (!PeekMessageA(msg, hwnd, filterMin, filterMax, PM_REMOVE))
                return -1;
            return msg->message != WM_QUIT;
        }
    }
}

LRESULT DispatchMessageA(const MSG* msg)
{
    if (!msg || !msg->hwnd)
        return 0;
    Window* w = Find(msg->hwnd);
    if (!w)
        return 0;
    // A paint handler that does not validate must not make the loop spin:
    // the window counts as painted afterwards.
    if (msg->message == WM_PAINT)
        return PaintNow(w);
    return Deliver(w, msg->message, msg->wParam, msg->lParam);
}

BOOL TranslateMessage(const MSG*)
{
    return FALSE;
}
