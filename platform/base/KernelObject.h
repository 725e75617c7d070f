// Kernel objects and their handles: the common base of events, threads,
// processes, serial ports and every other object that the system reaches
// through a HANDLE and releases with CloseHandle.
//
// A handle is a number from a process-wide table of live objects, never a
// pointer, so a stale, closed or made-up handle is found missing and the call
// fails with ERROR_INVALID_HANDLE instead of touching freed memory.
//
// Deriving an object of another area (for instance the serial port):
//
//   class SerialPortObject : public zq::KernelObject {
//   public:
//       void OnCloseHandle() override;   // stop I/O, close the descriptor
//   };
//
//   HANDLE CreateFileA(...) {
//       auto port = std::make_shared<SerialPortObject>(...);
//       return zq::RegisterHandle(port);
//   }
//   BOOL ReadFile(HANDLE h, ...) {
//       auto port = zq::LookupHandleAs<SerialPortObject>(h);
//       if (!port) { SetLastError(ERROR_INVALID_HANDLE); return FALSE; }
//       ...
//   }
//
// CloseHandle removes the handle from the table and then calls
// OnCloseHandle once, outside every lock of this file. A call that looked the
// object up before the close keeps its shared_ptr and finishes safely; the
// object is destroyed when the last such reference goes.
//
// Waiting: the state that makes an object signalled (an event's flag, a
// thread's end, a completed read) is guarded by one process-wide lock,
// zq::KernelLock(). Whoever changes that state takes the lock, changes it and
// then calls zq::NotifyKernelWaiters() so that waiting threads look again.
// An object that can be waited on overrides IsSignalledLocked (and
// ConsumeLocked when a satisfied wait changes it, as with an auto-reset
// event); both are called with the lock held and must not take it again.
#pragma once

#include "platform/base/WinTypes.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

typedef struct _SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *PSECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

// The exit code of a thread or process that still runs.
#define STILL_ACTIVE 259u

// Closes a kernel object's handle. FALSE with ERROR_INVALID_HANDLE for a
// handle that is not open.
BOOL CloseHandle(HANDLE hObject);

namespace zq {

class KernelObject {
public:
    KernelObject() = default;
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;
    virtual ~KernelObject();

    // Whether WaitForSingleObject and WaitForMultipleObjects accept the
    // object. Objects that are not waitable make a wait fail with
    // ERROR_INVALID_HANDLE.
    virtual bool IsWaitable() const { return false; }
    // Called with KernelLock() held.
    virtual bool IsSignalledLocked() const { return false; }
    // Called with KernelLock() held when a wait returns because of this
    // object: an auto-reset event clears itself here.
    virtual void ConsumeLocked() {}
    // Called once when the handle is closed, without any lock held.
    virtual void OnCloseHandle() {}
};

// Adds the object to the table and returns its new handle (never null, never
// INVALID_HANDLE_VALUE). A null object gives a null handle.
HANDLE RegisterHandle(std::shared_ptr<KernelObject> object);

// The live object behind a handle, or null.
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);

// The live object behind a handle when it is of type T, else null.
template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle)
{
    return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}

// As LookupHandleAs, and a missing object sets ERROR_INVALID_HANDLE, as
// every function that takes a handle reports it.
template <class T>
std::shared_ptr<T> LookupHandleOrFail(HANDLE handle)
{
    auto object = LookupHandleAs<T>(handle);
    if (!object)
        SetLastError(ERROR_INVALID_HANDLE);
    return object;
}

// Number of open handles (for leak checks in tests).
size_t OpenHandleCount();

// The lock that guards the signal state of every waitable object.
std::mutex& KernelLock();

// The condition variable that the wait functions sleep on, always with
// KernelLock(). Other areas normally wait through WaitForSingleObject.
std::condition_variable& KernelCondition();

// What GetExitCodeProcess and GetExitCodeThread share: the exit code that
// code(object) reads from the object of type T behind the handle, under
// KernelLock(). Fails as every function that takes a handle does, and with
// ERROR_INVALID_PARAMETER when exitCode is null.
template <class T, class Code>
BOOL ReadExitCode(HANDLE handle, LPDWORD exitCode, Code code)
{
    auto object = LookupHandleOrFail<T>(handle);
    if (!object)
        return FALSE;
    if (exitCode == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(KernelLock());
    *exitCode = code(*object);
    return TRUE;
}

// Wakes every thread that waits on kernel objects, so that it tests its
// objects again. Call it after changing a signal state, with or without
// KernelLock() held.
void NotifyKernelWaiters();

// Handle inheritance. Every descriptor of the layer is close-on-exec; one
// marked inheritable here reaches each child that CreateProcessA starts with
// bInheritHandles TRUE, under the same number, as Windows hands a child the
// handles that were made inheritable. The mark must go before the
// descriptor is closed.
void SetDescriptorInheritable(int descriptor, bool inheritable);
// The descriptors marked inheritable, and a lock that keeps every one of
// them open (its mark cannot go) while it is held: for the start of a child.
std::unique_lock<std::mutex> LockInheritableDescriptors(std::vector<int>& descriptors);

// Told, without any lock held, when a thread's wait on kernel objects has to
// block (begins true) and when that wait ends (begins false); waits that are
// satisfied at once or have a time-out of 0 are not told. The window system
// watches its thread with it: while that thread waits, nothing handed to it
// by another thread can run. One observer for the process; null removes it.
using BlockingWaitObserver = void (*)(bool begins);
void SetBlockingWaitObserver(BlockingWaitObserver observer);
// Called by the wait functions.
void TellBlockingWait(bool begins);

}  // namespace zq
