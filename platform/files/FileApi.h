// Win32 file and folder functions over the drive view (platform/paths):
// attributes, deletion, folders, the current directory, file search with
// the Windows wildcard rules, and free disk space.
#pragma once

#include <functional>
#include <string>

#include "platform/base/KernelObject.h"
#include "platform/base/WinTypes.h"

#define INVALID_FILE_ATTRIBUTES (static_cast<DWORD>(0xFFFFFFFFu))
#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400u
#define IO_REPARSE_TAG_SYMLINK 0xA000000Cu

typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME, *PFILETIME, *LPFILETIME;

typedef struct _WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
} WIN32_FIND_DATAA, *PWIN32_FIND_DATAA, *LPWIN32_FIND_DATAA;
typedef WIN32_FIND_DATAA WIN32_FIND_DATA;
typedef LPWIN32_FIND_DATAA LPWIN32_FIND_DATA;

// Attributes of a file or folder; INVALID_FILE_ATTRIBUTES with the error
// when it does not exist. Folders are FILE_ATTRIBUTE_DIRECTORY, files
// FILE_ATTRIBUTE_ARCHIVE; without write permission READONLY is added, and
// names starting with a dot are HIDDEN. A symbolic link is described
// itself, not what it points to, as Windows describes its links:
// FILE_ATTRIBUTE_REPARSE_POINT, with DIRECTORY when it points to a folder.
DWORD GetFileAttributesA(LPCSTR lpFileName);

// Deleting an open file fails with ERROR_SHARING_VIOLATION, as the
// framework's files never let others delete them; a folder, or a link to
// one, gives ERROR_ACCESS_DENIED. A link to a file is deleted itself.
BOOL DeleteFileA(LPCSTR lpFileName);
// Only an empty folder is removed (else ERROR_DIR_NOT_EMPTY). A link to a
// folder is removed itself; the folder it points to stays as it is.
BOOL RemoveDirectoryA(LPCSTR lpPathName);

BOOL SetCurrentDirectoryA(LPCSTR lpPathName);
// The length without the NUL, or the size needed with the NUL when the
// buffer is too small (the buffer is then left as it was).
DWORD GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer);

// The path functions of the shell: whether a file or folder exists, and
// whether it is a folder (FILE_ATTRIBUTE_DIRECTORY, else FALSE).
BOOL PathFileExistsA(LPCSTR pszPath);
BOOL PathIsDirectoryA(LPCSTR pszPath);

// File search. The last part of the name is a pattern: '*' stands for any
// run of characters, '?' for one (none at a dot or at the end), "*.*" for
// every name, dots included or not; letters match in either case. A
// folder's search returns "." and ".." first (not in the root), then the
// names in sorted order. Nothing found: ERROR_FILE_NOT_FOUND; no such
// folder: ERROR_PATH_NOT_FOUND; a pattern longer than a name can be:
// ERROR_FILENAME_EXCED_RANGE. FindNextFileA ends with ERROR_NO_MORE_FILES.
// Links are listed as links (see GetFileAttributesA), never followed, so a
// walk of folders cannot leave the tree or run in a loop. A name that the
// code page cannot show (it reads with '?') gets an ASCII alternate name in
// cAlternateFileName, as Windows gives short names, which every path of
// this layer accepts in its place; the pattern matches either name.
HANDLE FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData);
BOOL FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData);
BOOL FindClose(HANDLE hFindFile);

// Free space of the file system that holds the folder (which must exist):
// first the bytes free to the caller (without the blocks kept for root),
// then the size, then all free bytes. Any out-value may be null; a null
// folder means the root.
BOOL GetDiskFreeSpaceExA(LPCSTR lpDirectoryName, PULARGE_INTEGER lpFreeBytesAvailableToCaller,
                         PULARGE_INTEGER lpTotalNumberOfBytes, PULARGE_INTEGER lpTotalNumberOfFreeBytes);
// The same in clusters; free clusters are those free to the caller. Counts
// that do not fit 32 bits make the clusters larger.
BOOL GetDiskFreeSpaceA(LPCSTR lpRootPathName, LPDWORD lpSectorsPerCluster, LPDWORD lpBytesPerSector,
                       LPDWORD lpNumberOfFreeClusters, LPDWORD lpTotalNumberOfClusters);

namespace zq {

// For tests: replaces the measurement of free space. The function gets the
// Linux folder (one that exists) and returns false to let the call fail, or
// true with the bytes free to the caller, the size and all free bytes. An
// empty function restores the real measurement. Returns the function it
// replaces.
struct DiskSpace {
    ULONGLONG freeToCaller = 0;
    ULONGLONG total = 0;
    ULONGLONG totalFree = 0;
};
using DiskSpaceProvider = std::function<bool(const std::string& linuxFolder, DiskSpace& space)>;
DiskSpaceProvider SetDiskSpaceProvider(DiskSpaceProvider provider);

// Whether a Windows file name matches a search pattern by the rules above.
bool MatchesFilePattern(const std::string& pattern, const std::string& name);

}  // namespace zq
