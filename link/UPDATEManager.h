// The base of the update engine and the channel from the worker sessions to
// the wizard window: progress, the notice of a new file and each session's
// result go out as posted window messages to the one registered window. It
// also keeps the process-wide cancel flag, the folder names and the name of
// the file that is always sent last, and offers two folder utilities.
#pragma once

#include <atomic>

#include "platform/base/WinTypes.h"
#include "platform/strings/CString.h"
#include "platform/window/WinUser.h"

class CWnd;
class CWinThread;

// Messages from the workers to the wizard window, always posted.
#define WM_TOTAL_PROGRESS (WM_USER + 10)       // overall progress in percent
#define WM_STEP_PROGRESS (WM_USER + 11)        // the current step or file in percent
#define WM_UPDATE_RESULT (WM_USER + 13)        // a worker ended: its result code
#define WM_UPDATE_INFO_CHANGED (WM_USER + 14)  // a new file is being sent

class UPDATEManager {
public:
    UPDATEManager();
    virtual ~UPDATEManager();

    virtual void NotifyStepProgress(ULONGLONG done);
    virtual void NotifyTotalProgress(ULONGLONG done);
    virtual void SetStepTotal(ULONGLONG total);
    virtual void SetTotalSize(ULONGLONG total);
    virtual void NotifyNewFile();
    // Cancel sets the flag and signals CancelEvent; ResetCancel clears both.
    virtual void Cancel();
    virtual void ResetCancel();
    // Clears the flag and the event together; whether the flag was set.
    static bool TakeCancel();
    // Manual-reset, signalled while the cancel flag is set, so that a
    // session's wait ends as soon as a cancel arrives.
    static HANDLE CancelEvent();
    virtual void NotifyResult(int code);
    virtual void ClearFileList();
    virtual void SetTempFolder(CString folder);
    virtual void SetAppFolder(CString folder);
    virtual void SetRepositoryFolder(CString folder);

    // The window that the sessions' notices go to; returns the one it replaces.
    static CWnd* SetNotifyWindow(CWnd* window);

    CString GetTempFolder();
    CString GetAppFolder();
    CString GetRepositoryFolder();

    // Deletes every file and sub-folder below the folder; the folder stays.
    // Links are removed themselves, never followed. What cannot be deleted
    // stays; IsFolderEmpty tells whether anything did.
    void DeleteFolderContents(CString folder);
    // 1 when the folder holds no entry besides "." and "..", else 0.
    int IsFolderEmpty(CString folder);

    CWinThread* m_pThread;  // the session that runs on this object, or null
    ULONGLONG m_StepTotal;  // divisor of the step progress
    ULONGLONG m_TotalSize;  // divisor of the total progress
    ULONGLONG m_DoneBytes;  // bytes of the files of this update already sent

    // Set by the UI thread (a closing window clears it while the session
    // still posts), read by the session with every notice: atomic.
    static std::atomic<CWnd*> m_pNotifyWnd;
    // Set by the UI thread, tested and cleared by the running session; atomic
    // because both threads touch it while the session runs.
    static std::atomic<int> m_CancelRequested;
    static BYTE m_LastNakReason;
    static CString m_LastFileName;
    static CString m_AppFolder;
    static CString m_TempFolder;
    static CString m_RepositoryFolder;

protected:
    // Posts a message to the registered window; nothing without one.
    void Post(UINT message, WPARAM wParam);
};
