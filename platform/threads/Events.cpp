// Events, WaitForSingleObject, WaitForMultipleObjects and Sleep.
#include "platform/threads/Threads.h"

#include <chrono>
#include <thread>
#include <vector>

namespace {

class EventObject : public zq::KernelObject {
public:
    EventObject(bool manualReset, bool signalled) : m_manualReset(manualReset), m_signalled(signalled) {}

    bool IsWaitable() const override { return true; }
    bool IsSignalledLocked() const override { return m_signalled; }
    void ConsumeLocked() override
    {
        if (!m_manualReset)
            m_signalled = false;
    }
    void SetLocked(bool signalled) { m_signalled = signalled; }

private:
    const bool m_manualReset;
    bool m_signalled;
};

BOOL SetEventState(HANDLE hEvent, bool signalled)
{
    auto event = zq::LookupHandleOrFail<EventObject>(hEvent);
    if (!event)
        return FALSE;
    {
        std::lock_guard<std::mutex> lock(zq::KernelLock());
        event->SetLocked(signalled);
    }
    if (signalled)
        zq::NotifyKernelWaiters();
    return TRUE;
}

}  // namespace

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCSTR)
{
    return zq::RegisterHandle(std::make_shared<EventObject>(bManualReset != FALSE, bInitialState != FALSE));
}

BOOL SetEvent(HANDLE hEvent)
{
    return SetEventState(hEvent, true);
}

BOOL ResetEvent(HANDLE hEvent)
{
    return SetEventState(hEvent, false);
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds)
{
    return WaitForMultipleObjects(1, &hHandle, FALSE, dwMilliseconds);
}

DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll, DWORD dwMilliseconds)
{
    if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || lpHandles == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    // The objects are held for the whole wait, so a handle closed meanwhile
    // cannot free an object under the waiter.
    std::vector<std::shared_ptr<zq::KernelObject>> objects;
    objects.reserve(nCount);
    for (DWORD i = 0; i < nCount; ++i) {
        auto object = zq::LookupHandle(lpHandles[i]);
        if (!object || !object->IsWaitable()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        objects.push_back(std::move(object));
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwMilliseconds);
    // The observer hears of the wait once it has to block, outside the lock
    // (it may signal events itself), and of its end after the lock is gone.
    struct Blocking {
        bool told = false;
        ~Blocking()
        {
            if (told)
                zq::TellBlockingWait(false);
        }
    } blocking;
    std::unique_lock<std::mutex> lock(zq::KernelLock());
    for (;;) {
        if (bWaitAll) {
            bool all = true;
            for (const auto& object : objects)
                all = all && object->IsSignalledLocked();
            if (all) {
                for (const auto& object : objects)
                    object->ConsumeLocked();
                return WAIT_OBJECT_0;
            }
        } else {
            for (DWORD i = 0; i < nCount; ++i) {
                if (objects[i]->IsSignalledLocked()) {
                    objects[i]->ConsumeLocked();
                    return WAIT_OBJECT_0 + i;
                }
            }
        }
        if (dwMilliseconds == 0)
            return WAIT_TIMEOUT;
        if (!blocking.told) {
            blocking.told = true;
            lock.unlock();
            zq::TellBlockingWait(true);
            lock.lock();
            continue;
        }
        if (dwMilliseconds == INFINITE) {
            zq::KernelCondition().wait(lock);
        } else if (zq::KernelCondition().wait_until(lock, deadline) == std::cv_status::timeout) {
            // One last look: a signal may have come with the time-out.
            dwMilliseconds = 0;
        }
    }
}

void Sleep(DWORD dwMilliseconds)
{
    if (dwMilliseconds == 0)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}
