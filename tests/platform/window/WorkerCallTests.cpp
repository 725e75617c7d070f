// What a worker thread asks of the windows: a box, a sent message, a window
// changed. The UI thread does it while the worker waits; when the UI thread
// cannot (it waits itself, perhaps for that worker, or its windows are
// gone) the worker goes on at once with the answer of a box closed without
// a choice.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "platform/app/CWinApp.h"
#include "platform/gdi/GdiResources.h"
#include "platform/threads/Threads.h"
#include "platform/window/CWnd.h"
#include "platform/window/Headless.h"
#include "platform/window/MessageBoxSeam.h"

namespace {

const UINT WM_ASKED = WM_USER + 40;

class Top : public CWnd {
public:
    std::atomic<int> paints{0};
    std::thread::id askedOn;

    BOOL CreateTop()
    {
        return CreateEx(0, "ZqWorkerCalls", "top", WS_POPUP | WS_VISIBLE, CRect(10, 10, 110, 60), nullptr, 0);
    }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_ASKED) {
            askedOn = std::this_thread::get_id();
            return 42;
        }
        if (message == WM_PAINT)
            ++paints;
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

// Pumps on this thread until the worker's future is ready; false when it
// was not within the bound.
template <class T>
bool PumpUntilReady(std::future<T>& result, int milliseconds)
{
    return zq::PumpMessagesUntil([&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                                 milliseconds);
}

// The worker tells that it asks now; the UI thread gives its call the time
// to reach the queue, far more than a loaded machine needs. Should it come
// later all the same, the case still holds: the box is answered as one
// asked during the UI thread's wait.
void UntilAsked(HANDLE asking)
{
    ASSERT_EQ(WaitForSingleObject(asking, 10000), WAIT_OBJECT_0) << "the worker did not ask within 10 s";
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
}

}  // namespace

// The box of a worker is asked on the UI thread, with its owner disabled and
// the application's title as caption; the window goes on painting while it
// is open; the worker waits for the answer and goes on with it.
TEST(WorkerCalls, AWorkersBoxIsShownByTheUiThreadWhileTheWindowPaints)
{
    zq::gdi::RegisterStringResource(AFX_IDS_APP_TITLE, "Zq Worker Title");
    CWinApp app(nullptr);
    app.SetCurrentHandles();
    Top top;
    ASSERT_TRUE(top.CreateTop());
    app.m_pMainWnd = &top;
    zq::PumpPendingMessages();

    const std::thread::id ui = std::this_thread::get_id();
    std::thread::id answeredOn;
    BOOL ownerEnabled = TRUE;
    int paintsDuringBox = 0;
    zq::RecordingMessageBoxResponder boxes({IDCANCEL});
    boxes.onCall = [&](const zq::MessageBoxCall&) {
        answeredOn = std::this_thread::get_id();
        ownerEnabled = top.IsWindowEnabled();
        // The window repaints while the box is open.
        const int before = top.paints;
        top.Invalidate();
        zq::PumpMessagesUntil([&] { return top.paints > before; }, 5000);
        paintsDuringBox = top.paints - before;
    };
    auto answer = std::async(std::launch::async, [] { return AfxMessageBox("From the worker", MB_OKCANCEL); });
    ASSERT_TRUE(PumpUntilReady(answer, 10000)) << "the worker's box was not answered within 10 s";
    EXPECT_EQ(answer.get(), IDCANCEL);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(answeredOn, ui);
    EXPECT_EQ(std::string(boxes.Calls()[0].caption), "Zq Worker Title");
    EXPECT_EQ(boxes.Calls()[0].owner, top.GetSafeHwnd());
    EXPECT_FALSE(ownerEnabled);
    EXPECT_EQ(paintsDuringBox, 1);
    EXPECT_TRUE(top.IsWindowEnabled());
    app.m_pMainWnd = nullptr;
    top.DestroyWindow();
}

// A message sent, and a window changed, from a worker are handled by the UI
// thread; the worker has no focus, active window or capture of its own.
TEST(WorkerCalls, SentMessagesAndWindowChangesOfAWorkerRunOnTheUiThread)
{
    Top top;
    ASSERT_TRUE(top.CreateTop());
    top.SetFocus();
    const HWND hwnd = top.GetSafeHwnd();
    auto seen = std::async(std::launch::async, [] { return GetFocus() == nullptr && GetActiveWindow() == nullptr; });
    EXPECT_TRUE(seen.get());
    EXPECT_EQ(GetFocus(), hwnd);
    auto sent = std::async(std::launch::async, [hwnd] {
        LRESULT r = SendMessageA(hwnd, WM_ASKED, 0, 0);
        SetWindowTextA(hwnd, "renamed");
        EnableWindow(hwnd, FALSE);
        return r;
    });
    ASSERT_TRUE(PumpUntilReady(sent, 10000)) << "the worker's calls were not handled within 10 s";
    EXPECT_EQ(sent.get(), 42);
    EXPECT_EQ(top.askedOn, std::this_thread::get_id());
    CString text;
    top.GetWindowText(text);
    EXPECT_EQ(std::string(text), "renamed");
    EXPECT_FALSE(top.IsWindowEnabled());
    top.DestroyWindow();
}

// The UI thread waits for the worker (as a closing window waits for its
// session) while the worker asks for a box, before that wait began or while
// it runs: the worker's box is not shown, the worker goes on at once with
// the answer of a box closed without a choice, and the UI's wait ends.
TEST(WorkerCalls, ABoxAskedWhileTheUiThreadWaitsForTheWorkerIsAnsweredAtOnce)
{
    const struct {
        UINT type;
        int answer;
        bool askFirst;  // the box waits in the queue before the UI's wait begins
    } cases[] = {
        {MB_OK, IDOK, true},
        {MB_OK, IDOK, false},
        {MB_OKCANCEL, IDCANCEL, true},
        {MB_YESNO | MB_ICONQUESTION, IDNO, false},
        {MB_YESNOCANCEL, IDCANCEL, true},
        {MB_RETRYCANCEL, IDCANCEL, false},
        {MB_ABORTRETRYIGNORE, IDABORT, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << (c.askFirst ? ", asked first" : ", asked later"));
        Top top;
        ASSERT_TRUE(top.CreateTop());
        zq::PumpPendingMessages();
        zq::RecordingMessageBoxResponder boxes;
        HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        HANDLE asking = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        const HWND hwnd = top.GetSafeHwnd();
        std::atomic<int> answer{0};
        std::thread worker([&] {
            if (!c.askFirst)
                WaitForSingleObject(go, 10000);
            SetEvent(asking);
            answer = MessageBoxA(hwnd, "From the worker", "caption", c.type);
            SetEvent(done);
        });
        if (c.askFirst)
            UntilAsked(asking);
        else
            SetEvent(go);
        const auto start = std::chrono::steady_clock::now();
        const DWORD waited = WaitForSingleObject(done, 20000);
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        worker.join();
        EXPECT_EQ(waited, WAIT_OBJECT_0) << "the UI thread's wait for the worker lasted " << ms << " ms";
        EXPECT_LT(ms, 10000) << "the UI thread's wait for the worker lasted " << ms << " ms";
        EXPECT_EQ(answer, c.answer);
        EXPECT_EQ(boxes.Count(), 0u);
        CloseHandle(go);
        CloseHandle(asking);
        CloseHandle(done);
        top.DestroyWindow();
    }
}

// The window goes while a worker's box waits to be shown: no loop is left
// to show it, and the worker goes on.
TEST(WorkerCalls, ABoxWaitingWhenTheLastWindowGoesIsAnswered)
{
    Top top;
    ASSERT_TRUE(top.CreateTop());
    zq::RecordingMessageBoxResponder boxes;
    const HWND hwnd = top.GetSafeHwnd();
    HANDLE asking = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    auto answer = std::async(std::launch::async, [hwnd, asking] {
        SetEvent(asking);
        return MessageBoxA(hwnd, "late", "caption", MB_OKCANCEL);
    });
    UntilAsked(asking);
    top.DestroyWindow();
    CloseHandle(asking);
    ASSERT_EQ(answer.wait_for(std::chrono::seconds(10)), std::future_status::ready)
        << "the worker still waited 10 s after the last window went";
    EXPECT_EQ(answer.get(), IDCANCEL);
    EXPECT_EQ(boxes.Count(), 0u);
}
