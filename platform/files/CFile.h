// CFile and CFileException: the framework's binary file and its error.
//
// Files follow the Windows rules of sharing: a file opened without a share
// flag (the default) cannot be opened a second time until it is closed, and
// the second opener fails with a sharing violation. The rules hold between
// the files of this process exactly and, roughly, between processes (an
// unshared file takes an exclusive lock that other processes of the layer
// respect).
//
// As the framework's, a file is inheritable unless it is opened with
// modeNoInherit: a child that CreateProcessA starts with bInheritHandles
// TRUE while the file is open holds it too, and with it the file's share
// lock against other processes, until the child ends.
#pragma once

#include <memory>

#include "platform/base/CException.h"
#include "platform/base/WinTypes.h"
#include "platform/strings/CString.h"

namespace zq {
class FileObject;
}

class CFileException : public CException {
public:
    enum {
        none,
        genericException,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile,
    };

    explicit CFileException(int cause = none, LONG lOsError = -1, LPCTSTR lpszArchiveName = nullptr);

    // The cause that belongs to a Win32 error code.
    static int OsErrorToException(LONG lOsError);
    // Throws a new CFileException for the Win32 error code.
    [[noreturn]] static void ThrowOsError(LONG lOsError, LPCTSTR lpszFileName = nullptr);

    int m_cause;
    LONG m_lOsError;
    CString m_strFileName;
};

class CFile {
public:
    enum OpenFlags {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,
        typeBinary = 0x8000,
    };
    enum SeekPosition { begin = 0x0, current = 0x1, end = 0x2 };

    CFile();
    // Opens the file; a failure throws CFileException*.
    CFile(LPCTSTR lpszFileName, UINT nOpenFlags);
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;
    // Closes a file that is still open; errors are not reported.
    virtual ~CFile();

    // FALSE on failure, with the cause in *pError when given. A file that
    // is still open is closed first.
    virtual BOOL Open(LPCTSTR lpszFileName, UINT nOpenFlags, CFileException* pError = nullptr);

    // Each of these throws CFileException* on failure, also when the file is
    // not open (invalidFile).
    virtual UINT Read(void* lpBuf, UINT nCount);  // fewer bytes only at the end
    virtual void Write(const void* lpBuf, UINT nCount);
    virtual ULONGLONG Seek(LONGLONG lOff, UINT nFrom);
    virtual ULONGLONG GetLength() const;
    virtual ULONGLONG GetPosition() const;
    virtual void Flush();
    // Closes the file; nothing happens when it is not open.
    virtual void Close();
    // Closes the file without reporting any error.
    virtual void Abort();

    HANDLE m_hFile;

private:
    std::shared_ptr<zq::FileObject> m_object;
    CString m_strFileName;
};
