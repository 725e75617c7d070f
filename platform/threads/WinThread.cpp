// Worker threads over pthreads: CWinThread, AfxBeginThread, AfxEndThread and
// thread priorities.
#include "platform/threads/Threads.h"

#include "platform/base/DebugChannel.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <new>

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// The kernel side of a thread: its end is what a wait on the handle sees.
class ThreadObject : public zq::KernelObject {
public:
    bool IsWaitable() const override { return true; }
    bool IsSignalledLocked() const override { return ended; }

    // All guarded by zq::KernelLock().
    bool ended = false;
    bool started = false;
    DWORD exitCode = STILL_ACTIVE;
    DWORD suspendCount = 0;
    int priority = THREAD_PRIORITY_NORMAL;
    pid_t tid = 0;  // Linux thread id once the thread runs
    CWinThread* owner = nullptr;
    size_t stackSize = 0;
};

struct ThreadExit {
    UINT code;
};

thread_local CWinThread* t_currentThread = nullptr;

std::atomic<DWORD> g_nextThreadId{1};

bool IsValidPriority(int priority)
{
    return (priority >= THREAD_PRIORITY_LOWEST && priority <= THREAD_PRIORITY_HIGHEST) ||
           priority == THREAD_PRIORITY_IDLE || priority == THREAD_PRIORITY_TIME_CRITICAL;
}

// Applies a Win32 priority as the nice value of one Linux thread, relative to
// the main thread. A failure (raising without the privilege) leaves the
// thread at the priority it had: it is told on the threads channel only.
void ApplyPriority(pid_t tid, int priority)
{
    if (tid == 0)
        return;
    errno = 0;
    int base = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
    if (base == -1 && errno != 0)
        base = 0;
    int nice = base - priority;
    if (priority == THREAD_PRIORITY_IDLE)
        nice = 19;
    else if (priority == THREAD_PRIORITY_TIME_CRITICAL)
        nice = -20;
    if (nice > 19)
        nice = 19;
    if (nice < -20)
        nice = -20;
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice) != 0)
        zq::DebugFailure(zq::DebugArea::Threads, "setpriority", nullptr, errno);
}

struct StartInfo {
    CWinThread* thread;
    std::shared_ptr<ThreadObject> object;
};

void* ThreadEntry(void* arg)
{
    std::unique_ptr<StartInfo> info(static_cast<StartInfo*>(arg));
    std::shared_ptr<ThreadObject> object = info->object;
    CWinThread* thread = info->thread;
    info.reset();

    {
        std::lock_guard<std::mutex> lock(zq::KernelLock());
        object->tid = static_cast<pid_t>(syscall(SYS_gettid));
        ApplyPriority(object->tid, object->priority);
    }

    t_currentThread = thread;
    UINT code = 0;
    try {
        UINT result = thread->m_pfnThreadProc(thread->m_pThreadParams);
        // Returning from the procedure ends the thread as AfxEndThread does.
        AfxEndThread(result, TRUE);
    } catch (const ThreadExit& exit) {
        code = exit.code;
    }
    t_currentThread = nullptr;

    // The thread object may be gone by now; only the kernel side is touched.
    {
        std::lock_guard<std::mutex> lock(zq::KernelLock());
        object->exitCode = code;
        object->ended = true;
        object->owner = nullptr;
    }
    zq::NotifyKernelWaiters();
    return nullptr;
}

// Set by the tests' seam: no Linux thread is started.
std::atomic<bool> g_threadStartsRefused{false};

// Starts the Linux thread. Called with zq::KernelLock() held.
bool StartLocked(const std::shared_ptr<ThreadObject>& object)
{
    if (g_threadStartsRefused)
        return false;
    pthread_attr_t attr;
    if (int rc = pthread_attr_init(&attr); rc != 0) {
        zq::DebugFailure(zq::DebugArea::Threads, "pthread_attr_init", nullptr, rc);
        return false;
    }
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (object->stackSize != 0) {
        size_t size = object->stackSize;
        if (size < static_cast<size_t>(PTHREAD_STACK_MIN))
            size = PTHREAD_STACK_MIN;
        long page = sysconf(_SC_PAGESIZE);
        if (page > 0)
            size = (size + static_cast<size_t>(page) - 1) / static_cast<size_t>(page) * static_cast<size_t>(page);
        // The thread still starts, with the system's default stack.
        if (int rc = pthread_attr_setstacksize(&attr, size); rc != 0)
            zq::DebugFailure(zq::DebugArea::Threads, "pthread_attr_setstacksize", nullptr, rc);
    }
    auto* info = new (std::nothrow) StartInfo{object->owner, object};
    if (info == nullptr) {
        pthread_attr_destroy(&attr);
        return false;
    }
    pthread_t id;
    int rc = pthread_create(&id, &attr, ThreadEntry, info);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        zq::DebugFailure(zq::DebugArea::Threads, "pthread_create", nullptr, rc);
        delete info;
        return false;
    }
    object->started = true;
    return true;
}

}  // namespace

DWORD ResumeThread(HANDLE hThread)
{
    auto object = zq::LookupHandleOrFail<ThreadObject>(hThread);
    if (!object)
        return static_cast<DWORD>(-1);
    std::lock_guard<std::mutex> lock(zq::KernelLock());
    DWORD previous = object->suspendCount;
    if (previous > 0) {
        if (previous == 1 && !object->started && !StartLocked(object)) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return static_cast<DWORD>(-1);
        }
        object->suspendCount = previous - 1;
    }
    return previous;
}

BOOL SetThreadPriority(HANDLE hThread, int nPriority)
{
    auto object = zq::LookupHandleOrFail<ThreadObject>(hThread);
    if (!object)
        return FALSE;
    if (!IsValidPriority(nPriority)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(zq::KernelLock());
    object->priority = nPriority;
    if (!object->ended)
        ApplyPriority(object->tid, nPriority);
    return TRUE;
}

int GetThreadPriority(HANDLE hThread)
{
    auto object = zq::LookupHandleOrFail<ThreadObject>(hThread);
    if (!object)
        return THREAD_PRIORITY_ERROR_RETURN;
    std::lock_guard<std::mutex> lock(zq::KernelLock());
    return object->priority;
}

BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode)
{
    return zq::ReadExitCode<ThreadObject>(hThread, lpExitCode,
                                          [](const ThreadObject& thread) { return thread.exitCode; });
}

CWinThread::CWinThread() = default;

CWinThread::CWinThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam)
    : m_pfnThreadProc(pfnThreadProc), m_pThreadParams(pParam)
{
}

CWinThread::~CWinThread()
{
    if (m_hThread != nullptr) {
        auto object = zq::LookupHandleAs<ThreadObject>(m_hThread);
        if (object) {
            std::lock_guard<std::mutex> lock(zq::KernelLock());
            if (object->owner == this)
                object->owner = nullptr;
        }
        CloseHandle(m_hThread);
        m_hThread = nullptr;
    }
}

BOOL CWinThread::CreateThread(DWORD dwCreateFlags, UINT nStackSize, LPSECURITY_ATTRIBUTES)
{
    if (m_pfnThreadProc == nullptr || m_hThread != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto object = std::make_shared<ThreadObject>();
    object->owner = this;
    object->stackSize = nStackSize;
    object->suspendCount = (dwCreateFlags & CREATE_SUSPENDED) ? 1 : 0;
    HANDLE handle = zq::RegisterHandle(object);
    // The handle is stored before the thread can run, so the thread may use
    // its own object at once.
    m_hThread = handle;
    m_nThreadID = g_nextThreadId.fetch_add(1);
    if (object->suspendCount == 0) {
        std::lock_guard<std::mutex> lock(zq::KernelLock());
        if (!StartLocked(object)) {
            object->owner = nullptr;
            m_hThread = nullptr;
            m_nThreadID = 0;
            CloseHandle(handle);
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return FALSE;
        }
    }
    return TRUE;
}

DWORD CWinThread::ResumeThread()
{
    return ::ResumeThread(m_hThread);
}

BOOL CWinThread::SetThreadPriority(int nPriority)
{
    return ::SetThreadPriority(m_hThread, nPriority);
}

int CWinThread::GetThreadPriority()
{
    return ::GetThreadPriority(m_hThread);
}

void CWinThread::Delete()
{
    if (m_bAutoDelete)
        delete this;
}

bool zq::RefuseThreadStarts(bool refused)
{
    return g_threadStartsRefused.exchange(refused);
}

CWinThread* AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam, int nPriority, UINT nStackSize,
                           DWORD dwCreateFlags, LPSECURITY_ATTRIBUTES lpSecurityAttrs)
{
    if (pfnThreadProc == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* thread = new (std::nothrow) CWinThread(pfnThreadProc, pParam);
    if (thread == nullptr)
        return nullptr;
    // Created suspended, so that the priority is in force before the first
    // instruction of the procedure runs.
    if (!thread->CreateThread(dwCreateFlags | CREATE_SUSPENDED, nStackSize, lpSecurityAttrs)) {
        thread->Delete();
        return nullptr;
    }
    thread->SetThreadPriority(nPriority);
    if (!(dwCreateFlags & CREATE_SUSPENDED) && thread->ResumeThread() == static_cast<DWORD>(-1)) {
        delete thread;
        return nullptr;
    }
    return thread;
}

void AfxEndThread(UINT nExitCode, BOOL bDelete)
{
    CWinThread* thread = t_currentThread;
    if (thread != nullptr && bDelete)
        thread->Delete();
    throw ThreadExit{nExitCode};
}
