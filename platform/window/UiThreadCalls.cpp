// Calls handed from other threads to the UI thread, and the watch on the UI
// thread's own waits that keeps them from waiting for a thread that waits
// for them.
#include "platform/window/UiThreadCalls.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

#include "platform/base/KernelObject.h"
#include "platform/window/WindowTree.h"

namespace zq {
namespace win {
namespace {

// A UI thread that takes nothing from its queue for this long answers no
// one: a call still waiting then is given up, so a worker never hangs on a
// window that stopped (a call that runs, a box the user has open, is never
// timed).
const auto kTakeBound = std::chrono::seconds(30);

struct PendingCall {
    enum State { Waiting, Running, Ran, GivenUp };
    std::function<void()> call;
    State state = Waiting;
};

std::mutex g_callLock;
std::condition_variable g_callEnded;
std::deque<std::shared_ptr<PendingCall>> g_calls;
// The UI thread waits on a kernel object: what it is asked now cannot run
// before that wait ends, which may be waiting for the asking thread.
int g_uiWaits = 0;

void GiveUpLocked()
{
    for (const auto& pending : g_calls)
        pending->state = PendingCall::GivenUp;
    g_calls.clear();
    g_callEnded.notify_all();
}

void OnBlockingWait(bool begins)
{
    if (!IsUiThread())
        return;
    std::lock_guard<std::mutex> lock(g_callLock);
    if (begins) {
        ++g_uiWaits;
        GiveUpLocked();
    } else if (g_uiWaits > 0) {
        --g_uiWaits;
    }
}

// Installed before any thread can wait on a window.
const bool g_watchInstalled = (SetBlockingWaitObserver(&OnBlockingWait), true);

}  // namespace

bool CallOnUiThread(const std::function<void()>& call)
{
    auto pending = std::make_shared<PendingCall>();
    pending->call = call;
    {
        std::lock_guard<std::mutex> lock(g_callLock);
        if (g_uiWaits > 0 || !UiThreadKnown())
            return false;
        g_calls.push_back(pending);
    }
    // A message without a window wakes the UI thread's wait for messages,
    // on either backend; taking it does nothing.
    PostMessageA(nullptr, WM_NULL, 0, 0);
    std::unique_lock<std::mutex> lock(g_callLock);
    const auto until = std::chrono::steady_clock::now() + kTakeBound;
    while (pending->state == PendingCall::Waiting) {
        if (g_callEnded.wait_until(lock, until) == std::cv_status::timeout && pending->state == PendingCall::Waiting) {
            for (auto it = g_calls.begin(); it != g_calls.end(); ++it) {
                if (*it == pending) {
                    g_calls.erase(it);
                    break;
                }
            }
            pending->state = PendingCall::GivenUp;
        }
    }
    g_callEnded.wait(lock, [&] { return pending->state != PendingCall::Running; });
    return pending->state == PendingCall::Ran;
}

void RunWaitingCalls()
{
    for (;;) {
        std::shared_ptr<PendingCall> next;
        {
            std::lock_guard<std::mutex> lock(g_callLock);
            if (g_calls.empty())
                return;
            next = g_calls.front();
            g_calls.pop_front();
            next->state = PendingCall::Running;
        }
        // The caller goes on however the call ends.
        struct Ended {
            PendingCall* pending;
            ~Ended()
            {
                {
                    std::lock_guard<std::mutex> lock(g_callLock);
                    pending->state = PendingCall::Ran;
                }
                g_callEnded.notify_all();
            }
        } ended{next.get()};
        next->call();
    }
}

void GiveUpWaitingCalls()
{
    std::lock_guard<std::mutex> lock(g_callLock);
    GiveUpLocked();
}

}  // namespace win
}  // namespace zq
