// The Repository folder's lock file, held open unshared.
#include "link/RepositoryLock.h"

#include <chrono>
#include <cstdio>

#include "platform/threads/Threads.h"

namespace {

// A program that is killed while its unpacker writes leaves the lock held
// until the unpacker's launcher has ended it, a matter of milliseconds: a
// start waits this long for the lock before it counts the Repository as
// another live program's.
constexpr int LOCK_WAIT_MS = 1000;
constexpr DWORD LOCK_RETRY_MS = 50;

}  // namespace

RepositoryLock::RepositoryLock() : m_held(FALSE) {}

CString RepositoryLock::LockFileOf(const CString& folder)
{
    CString path = folder;
    while (path.GetLength() > 0 && path[path.GetLength() - 1] == '\\')
        path = path.Left(path.GetLength() - 1);
    return path + ".lock";
}

BOOL RepositoryLock::Take(const CString& folder)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_held && folder.CompareNoCase(m_folder) == 0)
        return TRUE;
    if (m_held) {
        m_file.Abort();
        m_held = FALSE;
    }
    // Unshared, and without modeNoInherit: the unpacker holds it as well.
    const CString path = LockFileOf(folder);
    CFileException error;
    if (!OpenWaiting(path, &error)) {
        if (error.m_cause == CFileException::sharingViolation)
            fprintf(stderr,
                    "ZQUpdateManager: the Repository %s is in use by another copy of the program, or by an unpacker "
                    "that one left running (%s is held open)\n",
                    folder.GetString(), path.GetString());
        else
            fprintf(stderr, "ZQUpdateManager: the Repository %s cannot be locked: %s does not open (error %ld)\n",
                    folder.GetString(), path.GetString(), static_cast<long>(error.m_lOsError));
        return FALSE;
    }
    m_folder = folder;
    m_held = TRUE;
    return TRUE;
}

BOOL RepositoryLock::OpenWaiting(const CString& path, CFileException* error)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(LOCK_WAIT_MS);
    for (;;) {
        if (m_file.Open(path, CFile::modeCreate | CFile::modeNoTruncate | CFile::modeReadWrite | CFile::shareExclusive,
                        error))
            return TRUE;
        if (error->m_cause != CFileException::sharingViolation || std::chrono::steady_clock::now() >= until)
            return FALSE;
        Sleep(LOCK_RETRY_MS);
    }
}

void RepositoryLock::Release()
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_held)
        return;
    m_file.Abort();
    m_held = FALSE;
}

BOOL RepositoryLock::IsHeld()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_held;
}
