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

using WaitedObjects = std::vector<std::shared_ptr<zq::KernelObject>>;

// The objects that the handles name, held for the whole wait, so that a
// handle closed meanwhile cannot free an object under the waiter. False,
// with the last error set, when a handle names no object that can be
// waited for.
bool HoldWaitedObjects(DWORD count, const HANDLE* handles, WaitedObjects& objects)
{
    objects.reserve(count);
    for (DWORD i = 0; i < count; ++i) {
        auto object = zq::LookupHandle(handles[i]);
        if (!object || !object->IsWaitable()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return false;
        }
        objects.push_back(std::move(object));
    }
    return true;
}

// Whether the signals end the wait, and if so takes them: all of the
// objects' when waitAll (*index 0), else the first signalled one's (*index
// its place). Called with zq::KernelLock() held.
bool TakeSignalLocked(const WaitedObjects& objects, bool waitAll, DWORD* index)
{
    if (waitAll) {
        for (const auto& object : objects) {
            if (!object->IsSignalledLocked())
                return false;
        }
        for (const auto& object : objects)
            object->ConsumeLocked();
        *index = 0;
        return true;
    }
    for (DWORD i = 0; i < objects.size(); ++i) {
        if (objects[i]->IsSignalledLocked()) {
            objects[i]->ConsumeLocked();
            *index = i;
            return true;
        }
    }
    return false;
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
    WaitedObjects objects;
    if (!HoldWaitedObjects(nCount, lpHandles, objects))
        return WAIT_FAILED;

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
        DWORD index = 0;
        if (TakeSignalLocked(objects, bWaitAll != FALSE, &index))
            return WAIT_OBJECT_0 + index;
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
