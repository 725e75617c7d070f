// Calls that a worker hands to the UI thread and waits for: a message box,
// a message sent to a window, a window changed. The UI thread runs them when
// it next looks at its queue (GetMessageA, PeekMessageA, every modal loop),
// as Windows delivers a message sent from another thread, so GTK is only
// ever entered by the thread that runs the windows. Only platform/window
// uses this header.
#pragma once

#include <functional>

namespace zq {
namespace win {

// Runs call on the UI thread and waits until it has run; TRUE then. FALSE
// when the UI thread cannot run it: it waits on a kernel object (perhaps for
// the caller, as a closing window waits for its worker), its windows are all
// gone, or it took nothing from its queue for a long time. Callers then go on
// with the answer of a call that failed. Not on the UI thread.
bool CallOnUiThread(const std::function<void()>& call);

// What op returns when run on the UI thread, or failed when it cannot run
// there. For the window operations called from another thread.
template <class Result, class Op>
Result OnUiThreadOr(Result failed, Op op)
{
    Result result = failed;
    if (!CallOnUiThread([&] { result = op(); }))
        return failed;
    return result;
}

// The UI thread runs the calls that wait. GetMessageA and PeekMessageA call
// it first.
void RunWaitingCalls();

// The calls that wait are given up: their callers go on with FALSE. The
// window system calls it when its last window goes.
void GiveUpWaitingCalls();

}  // namespace win
}  // namespace zq
