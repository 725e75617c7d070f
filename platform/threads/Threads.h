// Events, waits, Sleep and worker threads (CWinThread, AfxBeginThread,
// AfxEndThread), with the Win32 and MFC behaviour the system relies on.
//
// Offered: CreateEventA, SetEvent, ResetEvent, WaitForSingleObject,
// WaitForMultipleObjects, Sleep, ResumeThread, SetThreadPriority,
// GetThreadPriority, GetExitCodeThread, CWinThread, AfxBeginThread,
// AfxEndThread, and for the tests zq::RefuseThreadStarts. Handles are closed
// with CloseHandle (platform/base/KernelObject.h).
//
// Waits: the first signalled handle in array order wins; a satisfied wait
// consumes only the auto-reset event that it returns. A time-out of 0 tests
// and returns at once, INFINITE waits without a limit.
//
// Threads: AfxEndThread ends the calling thread by unwinding its stack to the
// thread's entry (a private exception), so destructors of the thread's locals
// run. Code on a worker thread must therefore not swallow it with catch (...)
// without rethrowing. It must only be called on a thread that AfxBeginThread
// or CWinThread::CreateThread started.
#pragma once

#include "platform/base/KernelObject.h"

#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED_0 0x00000080u
#define WAIT_FAILED 0xFFFFFFFFu
#define MAXIMUM_WAIT_OBJECTS 64

#define THREAD_PRIORITY_IDLE (-15)
#define THREAD_PRIORITY_LOWEST (-2)
#define THREAD_PRIORITY_BELOW_NORMAL (-1)
#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_ABOVE_NORMAL 1
#define THREAD_PRIORITY_HIGHEST 2
#define THREAD_PRIORITY_TIME_CRITICAL 15
#define THREAD_PRIORITY_ERROR_RETURN 0x7fffffff

// lpName is accepted and ignored: every event is a private object.
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState, LPCSTR lpName);
BOOL SetEvent(HANDLE hEvent);
BOOL ResetEvent(HANDLE hEvent);

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll, DWORD dwMilliseconds);

void Sleep(DWORD dwMilliseconds);

// The priority is carried out as the thread's nice value relative to the
// process (below normal is one step nicer); where Linux refuses a change
// (raising needs privileges) the thread keeps running as it was.
DWORD ResumeThread(HANDLE hThread);
BOOL SetThreadPriority(HANDLE hThread, int nPriority);
int GetThreadPriority(HANDLE hThread);
BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode);

typedef UINT (*AFX_THREADPROC)(LPVOID);

class CWnd;

class CWinThread {
public:
    // A thread object without a thread procedure, the base of the
    // application object.
    CWinThread();
    CWinThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam);
    // Closes m_hThread. The thread itself is not stopped.
    virtual ~CWinThread();

    // Creates the thread; with CREATE_SUSPENDED it starts on the last
    // ResumeThread. FALSE when no thread could be created.
    BOOL CreateThread(DWORD dwCreateFlags = 0, UINT nStackSize = 0, LPSECURITY_ATTRIBUTES lpSecurityAttrs = nullptr);
    DWORD ResumeThread();
    BOOL SetThreadPriority(int nPriority);
    int GetThreadPriority();
    operator HANDLE() const { return m_hThread; }

    // Deletes the object when m_bAutoDelete is set.
    virtual void Delete();

    virtual BOOL InitInstance() { return FALSE; }
    virtual int ExitInstance() { return 0; }

    HANDLE m_hThread = nullptr;
    DWORD m_nThreadID = 0;
    BOOL m_bAutoDelete = TRUE;
    CWnd* m_pMainWnd = nullptr;
    AFX_THREADPROC m_pfnThreadProc = nullptr;
    LPVOID m_pThreadParams = nullptr;

private:
    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;
};

// Creates a worker thread that runs pfnThreadProc(pParam) at the given
// priority. The returned object deletes itself when the thread ends (unless
// m_bAutoDelete is cleared first). Null when no thread could be created.
CWinThread* AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam, int nPriority = THREAD_PRIORITY_NORMAL,
                           UINT nStackSize = 0, DWORD dwCreateFlags = 0,
                           LPSECURITY_ATTRIBUTES lpSecurityAttrs = nullptr);

namespace zq {

// For tests: while refused, no thread starts, as when the system has none
// left to give: AfxBeginThread returns null, or, for a suspended thread,
// its ResumeThread fails. Returns whether they were refused before.
bool RefuseThreadStarts(bool refused);

}  // namespace zq

// Ends the calling worker thread with the exit code; with bDelete the thread
// object is deleted first when it is marked for auto-delete.
[[noreturn]] void AfxEndThread(UINT nExitCode, BOOL bDelete = TRUE);
