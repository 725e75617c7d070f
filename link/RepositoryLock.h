// The lock that makes the Repository folder one program's. While a program
// unpacks into the folder or sends from it, it holds the lock file beside
// the folder ("<folder>.lock") open unshared; a second copy of the program
// cannot open it and so leaves the folder alone. The file is opened
// inheritable and the unpacker inherits it, so that when the program ends
// while its unpacker still writes (a kill, a crash), the lock stays held
// until the unpacker has ended too.
//
// The file lies beside the folder, not in it: the search for the
// container's description and the update session see only what the folder
// holds, and emptying the folder never meets it. It stays in place when the
// lock is given up; removing it would let a second program lock a new file
// of the same name while a third still holds the old one.
#pragma once

#include <mutex>

#include "platform/base/WinTypes.h"
#include "platform/files/CFile.h"
#include "platform/strings/CString.h"

class RepositoryLock {
public:
    RepositoryLock();
    RepositoryLock(const RepositoryLock&) = delete;
    RepositoryLock& operator=(const RepositoryLock&) = delete;

    // Holds the lock of the folder: TRUE when it is held, also when it was
    // held already. The lock of another folder is given up first. A lock
    // that another process holds is waited for up to a second, as a killed
    // program's unpacker still holds it until its launcher has ended it.
    // FALSE when the lock file does not open, with one line to stderr that
    // says why (another program holds it, or the error).
    BOOL Take(const CString& folder);
    // Gives the lock up; nothing happens when none is held.
    void Release();
    BOOL IsHeld();

    // The lock file of a folder.
    static CString LockFileOf(const CString& folder);

private:
    BOOL OpenWaiting(const CString& path, CFileException* error);

    std::mutex m_lock;
    CFile m_file;
    CString m_folder;
    BOOL m_held;
};
