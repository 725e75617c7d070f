// Events, waits and worker threads, with their time-outs, priorities and the
// ends of their objects.
#include "platform/threads/Threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

long ElapsedMs(Clock::time_point since)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

struct Events {
    HANDLE h[3];
    Events()
    {
        h[0] = CreateEventA(nullptr, TRUE, FALSE, nullptr);   // manual reset
        h[1] = CreateEventA(nullptr, FALSE, FALSE, nullptr);  // auto reset
        h[2] = CreateEventA(nullptr, FALSE, FALSE, "named");  // auto reset, name ignored
    }
    ~Events()
    {
        for (HANDLE e : h)
            CloseHandle(e);
    }
};

TEST(Events, FirstSignalledInArrayOrderWinsAndOnlyItIsConsumed)
{
    Events ev;
    ASSERT_TRUE(SetEvent(ev.h[2]));
    ASSERT_TRUE(SetEvent(ev.h[1]));
    EXPECT_EQ(WaitForMultipleObjects(3, ev.h, FALSE, 0), WAIT_OBJECT_0 + 1);
    // The later auto-reset event was not returned, so it is still set.
    EXPECT_EQ(WaitForMultipleObjects(3, ev.h, FALSE, 0), WAIT_OBJECT_0 + 2);
    EXPECT_EQ(WaitForMultipleObjects(3, ev.h, FALSE, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    // A manual-reset event stays set through any number of waits.
    ASSERT_TRUE(SetEvent(ev.h[0]));
    ASSERT_TRUE(SetEvent(ev.h[1]));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(WaitForMultipleObjects(3, ev.h, FALSE, 0), WAIT_OBJECT_0);
    ASSERT_TRUE(ResetEvent(ev.h[0]));
    EXPECT_EQ(WaitForMultipleObjects(3, ev.h, FALSE, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForSingleObject(ev.h[1], 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST(Events, InitialStateAndWaitAll)
{
    HANDLE set = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    HANDLE unset = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE both[2] = {set, unset};
    EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    // A failed wait-all consumes nothing.
    SetEvent(unset);
    EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(set, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(WaitForSingleObject(unset, 0), WAIT_OBJECT_0);
    CloseHandle(set);
    CloseHandle(unset);
}

TEST(Events, TimeOutIsKept)
{
    Events ev;
    auto start = Clock::now();
    EXPECT_EQ(WaitForMultipleObjects(3, ev.h, FALSE, 60), static_cast<DWORD>(WAIT_TIMEOUT))
        << "a wait of 60 ms on events nobody set ended otherwise";
    EXPECT_GE(ElapsedMs(start), 60) << "ms that a wait of 60 ms on events nobody set took";
    start = Clock::now();
    EXPECT_EQ(WaitForSingleObject(ev.h[0], 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_LT(ElapsedMs(start), 1000) << "ms that a wait of 0 ms took";
}

TEST(Events, BadHandlesFailCleanly)
{
    HANDLE e = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    ASSERT_NE(e, nullptr);
    ASSERT_TRUE(CloseHandle(e));

    struct Case {
        const char* what;
        HANDLE handle;
    } cases[] = {
        {"closed", e},
        {"null", nullptr},
        {"invalid value", INVALID_HANDLE_VALUE},
        {"made up", reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x12345678))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetLastError(0);
        EXPECT_EQ(WaitForSingleObject(c.handle, 0), WAIT_FAILED);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_FALSE(SetEvent(c.handle));
        EXPECT_FALSE(ResetEvent(c.handle));
        EXPECT_FALSE(CloseHandle(c.handle));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }

    // One bad handle among good ones fails the whole wait, even when a good
    // one is signalled.
    HANDLE good = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    HANDLE mixed[2] = {good, e};
    EXPECT_EQ(WaitForMultipleObjects(2, mixed, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleObjects(0, mixed, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    CloseHandle(good);
}

struct Signaller {
    HANDLE event;
    DWORD delayMs;
};

UINT SignalLater(LPVOID param)
{
    auto* s = static_cast<Signaller*>(param);
    Sleep(s->delayMs);
    SetEvent(s->event);
    return 0;
}

TEST(Threads, WorkerWakesWaiter)
{
    HANDLE events[2] = {CreateEventA(nullptr, FALSE, FALSE, nullptr), CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    // Static: a worker that did not signal in time may still read it after
    // the test has returned.
    static Signaller s;
    s = Signaller{events[1], 30};
    auto start = Clock::now();
    ASSERT_NE(AfxBeginThread(SignalLater, &s, THREAD_PRIORITY_BELOW_NORMAL), nullptr);
    EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, 10000), WAIT_OBJECT_0 + 1) << "the worker's signal within 10 s";
    EXPECT_GE(ElapsedMs(start), 30) << "ms until the signal that the worker gives after 30 ms woke the wait";

    s = Signaller{events[0], 20};
    ASSERT_NE(AfxBeginThread(SignalLater, &s), nullptr);
    ResetEvent(events[1]);
    EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, 10000), WAIT_OBJECT_0) << "the worker's signal within 10 s";
    CloseHandle(events[0]);
    CloseHandle(events[1]);
}

struct PriorityProbe {
    HANDLE done;
    std::atomic<int> nice{-100};
};

UINT ReportNice(LPVOID param)
{
    auto* probe = static_cast<PriorityProbe*>(param);
    errno = 0;
    probe->nice = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
    SetEvent(probe->done);
    return 0;
}

TEST(Threads, BelowNormalRunsNicer)
{
    const int base = getpriority(PRIO_PROCESS, 0);
    if (base >= 19)
        GTEST_SKIP() << "the process already runs at the lowest priority";
    // Static: a worker that did not report in time may still write into it
    // after the test has returned.
    static PriorityProbe probe;
    probe.done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(AfxBeginThread(ReportNice, &probe, THREAD_PRIORITY_BELOW_NORMAL), nullptr);
    ASSERT_EQ(WaitForSingleObject(probe.done, 10000), WAIT_OBJECT_0) << "the probe thread's report within 10 s";
    EXPECT_EQ(probe.nice.load(), base + 1);

    ResetEvent(probe.done);
    ASSERT_NE(AfxBeginThread(ReportNice, &probe, THREAD_PRIORITY_NORMAL), nullptr);
    ASSERT_EQ(WaitForSingleObject(probe.done, 10000), WAIT_OBJECT_0) << "the probe thread's report within 10 s";
    EXPECT_EQ(probe.nice.load(), base);
    CloseHandle(probe.done);
}

struct Sentinel {
    std::atomic<bool>* destroyed;
    ~Sentinel() { *destroyed = true; }
};

std::atomic<bool> g_localDestroyed{false};

void EndFromDeepInside()
{
    Sentinel local{&g_localDestroyed};
    AfxEndThread(7);
}

UINT EndsItself(LPVOID)
{
    EndFromDeepInside();
    return 99;
}

// Waits until the handle has been closed, which the thread object's
// destructor does: proof that the object was deleted.
bool HandleGoesAway(HANDLE h)
{
    for (int i = 0; i < 1000; ++i) {
        if (!zq::LookupHandle(h))
            return true;
        Sleep(5);
    }
    return false;
}

TEST(Threads, AutoDeleteOnEndAndOnReturn)
{
    const size_t handlesBefore = zq::OpenHandleCount();

    // Suspended, so that the handle can be read before the object goes.
    CWinThread* t = AfxBeginThread(EndsItself, nullptr, THREAD_PRIORITY_BELOW_NORMAL, 0, CREATE_SUSPENDED);
    ASSERT_NE(t, nullptr);
    HANDLE h = t->m_hThread;
    EXPECT_EQ(t->GetThreadPriority(), THREAD_PRIORITY_BELOW_NORMAL);
    EXPECT_EQ(t->ResumeThread(), 1u);
    EXPECT_TRUE(HandleGoesAway(h));
    EXPECT_TRUE(g_localDestroyed.load());

    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    static Signaller s;  // static, as in WorkerWakesWaiter
    s = Signaller{done, 0};
    t = AfxBeginThread(SignalLater, &s, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    ASSERT_NE(t, nullptr);
    h = t->m_hThread;
    t->ResumeThread();
    EXPECT_EQ(WaitForSingleObject(done, 10000), WAIT_OBJECT_0) << "the resumed thread's end within 10 s";
    EXPECT_TRUE(HandleGoesAway(h));
    CloseHandle(done);
    EXPECT_LE(zq::OpenHandleCount(), handlesBefore);  // threads of earlier tests may still be ending
}

UINT ReturnsFortyTwo(LPVOID)
{
    return 42;
}

TEST(Threads, KeptObjectIsSignalledWithExitCode)
{
    const size_t handlesBefore = zq::OpenHandleCount();
    CWinThread* t = AfxBeginThread(ReturnsFortyTwo, nullptr, THREAD_PRIORITY_NORMAL, 64 * 1024, CREATE_SUSPENDED);
    ASSERT_NE(t, nullptr);
    t->m_bAutoDelete = FALSE;
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(t->m_hThread, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_FALSE(GetExitCodeThread(t->m_hThread, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(WaitForSingleObject(t->m_hThread, 50), static_cast<DWORD>(WAIT_TIMEOUT))
        << "the suspended thread ended within 50 ms";
    EXPECT_EQ(t->ResumeThread(), 1u);
    EXPECT_EQ(t->ResumeThread(), 0u);
    ASSERT_EQ(WaitForSingleObject(*t, 10000), WAIT_OBJECT_0) << "the resumed thread's end within 10 s";
    ASSERT_TRUE(GetExitCodeThread(t->m_hThread, &code));
    EXPECT_EQ(code, 42u);
    EXPECT_FALSE(t->SetThreadPriority(7));
    delete t;
    EXPECT_LE(zq::OpenHandleCount(), handlesBefore);  // threads of earlier tests may still be ending
}

}  // namespace
