// The notifications to the wizard window, the cancel flag with its events, and
// the folder names and utilities of the update engine.
#include "link/UPDATEManager.h"

#include "platform/threads/Threads.h"

#include "container/UPDATEModel.h"
#include "platform/files/CFileFind.h"
#include "platform/files/FileApi.h"
#include "platform/window/CWnd.h"
#include "platform/window/WinUser.h"

std::atomic<CWnd*> UPDATEManager::m_pNotifyWnd{nullptr};
std::atomic<int> UPDATEManager::m_CancelRequested(0);
BYTE UPDATEManager::m_LastNakReason = 0;
CString UPDATEManager::m_LastFileName;
CString UPDATEManager::m_AppFolder;
CString UPDATEManager::m_TempFolder;
CString UPDATEManager::m_RepositoryFolder;

namespace {

// done * 100 / total in 64 bits, truncated; 0 for a total of 0. The low 32
// bits are posted, so a value above the total gives more than 100.
WPARAM Percentage(ULONGLONG done, ULONGLONG total)
{
    if (total == 0)
        return 0;
    return static_cast<WPARAM>(static_cast<DWORD>(done * 100 / total));
}

}  // namespace

UPDATEManager::UPDATEManager() : m_pThread(nullptr), m_StepTotal(0), m_TotalSize(0), m_DoneBytes(0)
{
    m_LastFileName = "";
}

UPDATEManager::~UPDATEManager() = default;

CWnd* UPDATEManager::SetNotifyWindow(CWnd* window)
{
    return m_pNotifyWnd.exchange(window);
}

void UPDATEManager::Post(UINT message, WPARAM wParam)
{
    CWnd* window = m_pNotifyWnd;
    if (window != nullptr)
        ::PostMessageA(window->GetSafeHwnd(), message, wParam, 0);
}

void UPDATEManager::NotifyStepProgress(ULONGLONG done)
{
    Post(WM_STEP_PROGRESS, Percentage(done, m_StepTotal));
}

void UPDATEManager::NotifyTotalProgress(ULONGLONG done)
{
    Post(WM_TOTAL_PROGRESS, Percentage(done, m_TotalSize));
}

void UPDATEManager::SetStepTotal(ULONGLONG total)
{
    m_StepTotal = total;
}

void UPDATEManager::SetTotalSize(ULONGLONG total)
{
    m_TotalSize = total;
    m_DoneBytes = 0;
}

void UPDATEManager::NotifyNewFile()
{
    Post(WM_UPDATE_INFO_CHANGED, 0);
}

void UPDATEManager::Cancel()
{
    m_CancelRequested = 1;
    SetEvent(CancelEvent());
}

void UPDATEManager::ResetCancel()
{
    TakeCancel();
}

bool UPDATEManager::TakeCancel()
{
    // The event goes first: a Cancel between the two steps leaves the flag
    // set, and the event is set again by it.
    ResetEvent(CancelEvent());
    return m_CancelRequested.exchange(0) != 0;
}

HANDLE UPDATEManager::CancelEvent()
{
    static const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    return event;
}

void UPDATEManager::NotifyResult(int code)
{
    Post(WM_UPDATE_RESULT, static_cast<WPARAM>(code));
}

void UPDATEManager::ClearFileList()
{
    g_UpdateModel.m_FileList.clear();
}

void UPDATEManager::SetTempFolder(CString folder)
{
    m_TempFolder = folder;
}

void UPDATEManager::SetAppFolder(CString folder)
{
    m_AppFolder = folder;
}

void UPDATEManager::SetRepositoryFolder(CString folder)
{
    m_RepositoryFolder = folder;
}

CString UPDATEManager::GetTempFolder()
{
    return m_TempFolder;
}

CString UPDATEManager::GetAppFolder()
{
    return m_AppFolder;
}

CString UPDATEManager::GetRepositoryFolder()
{
    return m_RepositoryFolder;
}

void UPDATEManager::DeleteFolderContents(CString folder)
{
    CString pattern = folder;
    if (pattern.IsEmpty() || pattern[pattern.GetLength() - 1] != '\\')
        pattern += "\\";
    pattern += "*.*";
    CFileFind finder;
    BOOL more = finder.FindFile(pattern);
    while (more) {
        more = finder.FindNextFile();
        if (finder.IsDots())
            continue;
        CString path = finder.GetFilePath();
        if (finder.IsDirectory() && finder.MatchesMask(FILE_ATTRIBUTE_REPARSE_POINT)) {
            // A link to a folder: the link goes, never what it points to.
            RemoveDirectoryA(path);
        } else if (finder.IsDirectory()) {
            DeleteFolderContents(path);
            RemoveDirectoryA(path);
        } else {
            DeleteFileA(path);
        }
    }
    finder.Close();
}

int UPDATEManager::IsFolderEmpty(CString folder)
{
    if (folder.IsEmpty())
        return 1;
    CFileFind finder;
    BOOL more = finder.FindFile(folder + "\\*.*");
    while (more) {
        more = finder.FindNextFile();
        if (!finder.IsDots()) {
            finder.Close();
            return 0;
        }
    }
    finder.Close();
    return 1;
}
