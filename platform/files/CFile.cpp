// CFile over the open-file table, with the Windows share rules, and
// CFileException.
#include "platform/files/CFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "platform/files/OpenFiles.h"
#include "platform/paths/DrivePaths.h"


CFileException::CFileException(int cause, LONG lOsError, LPCTSTR lpszArchiveName)
    : m_cause(cause), m_lOsError(lOsError), m_strFileName(lpszArchiveName)
{
}

int CFileException::OsErrorToException(LONG lOsError)
{
    switch (lOsError) {
    case 0:
        return none;
    case ERROR_FILE_NOT_FOUND:
        return fileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_FILENAME_EXCED_RANGE:
        return badPath;
    case ERROR_TOO_MANY_OPEN_FILES:
        return tooManyOpenFiles;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return accessDenied;
    case ERROR_INVALID_HANDLE:
        return invalidFile;
    case ERROR_DIR_NOT_EMPTY:
        return removeCurrentDir;
    case ERROR_SEEK:
    case ERROR_NEGATIVE_SEEK:
        return badSeek;
    case ERROR_GEN_FAILURE:
    case ERROR_NOT_READY:
        return hardIO;
    case ERROR_SHARING_VIOLATION:
        return sharingViolation;
    case ERROR_LOCK_VIOLATION:
        return lockViolation;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return diskFull;
    case ERROR_HANDLE_EOF:
        return endOfFile;
    default:
        return genericException;
    }
}

void CFileException::ThrowOsError(LONG lOsError, LPCTSTR lpszFileName)
{
    throw new CFileException(OsErrorToException(lOsError), lOsError, lpszFileName);
}

namespace {

int DescriptorOf(const std::shared_ptr<zq::FileObject>& object)
{
    return object ? object->fd : -1;
}

}  // namespace

CFile::CFile() : m_hFile(INVALID_HANDLE_VALUE) {}

CFile::CFile(LPCTSTR lpszFileName, UINT nOpenFlags) : m_hFile(INVALID_HANDLE_VALUE)
{
    CFileException error;
    if (!Open(lpszFileName, nOpenFlags, &error))
        CFileException::ThrowOsError(error.m_lOsError, error.m_strFileName);
}

CFile::~CFile()
{
    Abort();
}

BOOL CFile::Open(LPCTSTR lpszFileName, UINT nOpenFlags, CFileException* pError)
{
    Abort();
    DWORD code = ERROR_SUCCESS;
    std::string fullPath;
    std::string linuxPath;
    const UINT access = nOpenFlags & 0x3;
    const UINT share = nOpenFlags & 0x70;
    if (lpszFileName == nullptr || access == 0x3 || share > shareDenyNone) {
        code = ERROR_INVALID_PARAMETER;
    } else if (!zq::FullWindowsPath(lpszFileName, fullPath, &code) ||
               !zq::WindowsToLinux(lpszFileName, linuxPath, &code)) {
        // code is set
    } else {
        const bool read = access == modeRead || access == modeReadWrite;
        const bool write = access == modeWrite || access == modeReadWrite;
        // Without a share flag, and with shareExclusive, nobody else may
        // open the file: the framework's default.
        const bool shareRead = share == shareDenyWrite || share == shareDenyNone;
        const bool shareWrite = share == shareDenyRead || share == shareDenyNone;
        zq::FileCreation creation = zq::FileCreation::OpenExisting;
        if (nOpenFlags & modeCreate)
            creation = (nOpenFlags & modeNoTruncate) ? zq::FileCreation::OpenOrCreate
                                                     : zq::FileCreation::CreateOrTruncate;
        m_object = zq::OpenSharedFile(linuxPath, read, write, shareRead, shareWrite, creation, code);
    }
    if (!m_object) {
        if (pError != nullptr) {
            pError->m_cause = CFileException::OsErrorToException(static_cast<LONG>(code));
            pError->m_lOsError = static_cast<LONG>(code);
            pError->m_strFileName = lpszFileName;
        }
        SetLastError(code);
        return FALSE;
    }
    // The framework's files are inheritable unless modeNoInherit says not.
    if (!(nOpenFlags & modeNoInherit)) {
        m_object->inheritable = true;
        zq::SetDescriptorInheritable(m_object->fd, true);
    }
    m_hFile = zq::RegisterHandle(m_object);
    m_strFileName = fullPath.c_str();
    return TRUE;
}

UINT CFile::Read(void* lpBuf, UINT nCount)
{
    const int fd = DescriptorOf(m_object);
    if (fd < 0)
        CFileException::ThrowOsError(ERROR_INVALID_HANDLE, m_strFileName);
    if (!m_object->canRead)
        CFileException::ThrowOsError(ERROR_ACCESS_DENIED, m_strFileName);
    if (nCount == 0)
        return 0;
    if (lpBuf == nullptr)
        CFileException::ThrowOsError(ERROR_INVALID_PARAMETER, m_strFileName);
    char* out = static_cast<char*>(lpBuf);
    UINT done = 0;
    while (done < nCount) {
        const ssize_t n = read(fd, out + done, nCount - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            CFileException::ThrowOsError(static_cast<LONG>(Win32ErrorFromErrno(errno)), m_strFileName);
        }
        if (n == 0)
            break;
        done += static_cast<UINT>(n);
    }
    return done;
}

void CFile::Write(const void* lpBuf, UINT nCount)
{
    const int fd = DescriptorOf(m_object);
    if (fd < 0)
        CFileException::ThrowOsError(ERROR_INVALID_HANDLE, m_strFileName);
    if (!m_object->canWrite)
        CFileException::ThrowOsError(ERROR_ACCESS_DENIED, m_strFileName);
    if (nCount == 0)
        return;
    if (lpBuf == nullptr)
        CFileException::ThrowOsError(ERROR_INVALID_PARAMETER, m_strFileName);
    const char* in = static_cast<const char*>(lpBuf);
    UINT done = 0;
    while (done < nCount) {
        const ssize_t n = write(fd, in + done, nCount - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            CFileException::ThrowOsError(static_cast<LONG>(Win32ErrorFromErrno(errno)), m_strFileName);
        }
        if (n == 0)
            CFileException::ThrowOsError(ERROR_DISK_FULL, m_strFileName);
        done += static_cast<UINT>(n);
    }
}

ULONGLONG CFile::Seek(LONGLONG lOff, UINT nFrom)
{
    const int fd = DescriptorOf(m_object);
    if (fd < 0)
        CFileException::ThrowOsError(ERROR_INVALID_HANDLE, m_strFileName);
    int whence;
    switch (nFrom) {
    case begin:
        whence = SEEK_SET;
        break;
    case current:
        whence = SEEK_CUR;
        break;
    case end:
        whence = SEEK_END;
        break;
    default:
        CFileException::ThrowOsError(ERROR_INVALID_PARAMETER, m_strFileName);
    }
    const off_t position = lseek(fd, static_cast<off_t>(lOff), whence);
    if (position < 0) {
        // A target before the file's start is the one way lseek refuses a
        // regular file.
        const LONG code = errno == EINVAL ? ERROR_NEGATIVE_SEEK : static_cast<LONG>(Win32ErrorFromErrno(errno));
        CFileException::ThrowOsError(code, m_strFileName);
    }
    return static_cast<ULONGLONG>(position);
}

ULONGLONG CFile::GetLength() const
{
    const int fd = DescriptorOf(m_object);
    if (fd < 0)
        CFileException::ThrowOsError(ERROR_INVALID_HANDLE, m_strFileName);
    struct stat st;
    if (fstat(fd, &st) != 0)
        CFileException::ThrowOsError(static_cast<LONG>(Win32ErrorFromErrno(errno)), m_strFileName);
    return static_cast<ULONGLONG>(st.st_size);
}

ULONGLONG CFile::GetPosition() const
{
    const int fd = DescriptorOf(m_object);
    if (fd < 0)
        CFileException::ThrowOsError(ERROR_INVALID_HANDLE, m_strFileName);
    const off_t position = lseek(fd, 0, SEEK_CUR);
    if (position < 0)
        CFileException::ThrowOsError(static_cast<LONG>(Win32ErrorFromErrno(errno)), m_strFileName);
    return static_cast<ULONGLONG>(position);
}

void CFile::Flush()
{
    const int fd = DescriptorOf(m_object);
    if (fd < 0)
        return;
    if (m_object->canWrite && fsync(fd) != 0 && errno != EINVAL)
        CFileException::ThrowOsError(static_cast<LONG>(Win32ErrorFromErrno(errno)), m_strFileName);
}

void CFile::Close()
{
    DWORD error = 0;
    if (m_object) {
        error = m_object->CloseNow();
        if (m_hFile != INVALID_HANDLE_VALUE)
            CloseHandle(m_hFile);
        m_object.reset();
    }
    m_hFile = INVALID_HANDLE_VALUE;
    CString name = m_strFileName;
    m_strFileName.Empty();
    if (error != 0)
        CFileException::ThrowOsError(static_cast<LONG>(error), name);
}

void CFile::Abort()
{
    if (m_object) {
        m_object->CloseNow();
        if (m_hFile != INVALID_HANDLE_VALUE)
            CloseHandle(m_hFile);
        m_object.reset();
    }
    m_hFile = INVALID_HANDLE_VALUE;
    m_strFileName.Empty();
}
