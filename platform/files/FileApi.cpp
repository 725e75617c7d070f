// The Win32 file and folder functions: attributes, deletion, folders, the
// current directory, the file search and its wildcard matching, free space.
#include "platform/files/FileApi.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>
#include <vector>

#include "platform/base/DebugChannel.h"
#include "platform/files/OpenFiles.h"
#include "platform/paths/DrivePaths.h"
#include "platform/strings/Codepage.h"

namespace {

// Converts the path or sets the error and fails.
bool ToLinux(LPCSTR windowsPath, std::string& linuxPath)
{
    DWORD error = ERROR_SUCCESS;
    if (!zq::WindowsToLinux(windowsPath, linuxPath, &error)) {
        SetLastError(error);
        return false;
    }
    return true;
}

DWORD ErrorOf(int err, const std::string& linuxPath)
{
    if (err == ENOENT || err == ENOTDIR)
        return zq::MissingPathError(linuxPath);
    return Win32ErrorFromErrno(err);
}

// Fails with the Win32 error of errno and sends the call to the debug
// channel.
void FailCall(const char* call, const std::string& linuxPath, int err)
{
    zq::DebugFailure(zq::DebugArea::Files, call, linuxPath.c_str(), err);
    SetLastError(ErrorOf(err, linuxPath));
}

// The entry itself, a link included: never what a link points to.
// linkToFolder tells whether it is a link to a folder.
bool StatEntry(int dirFd, const char* name, struct stat& st, bool& linkToFolder)
{
    linkToFolder = false;
    if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    struct stat target;
    if (S_ISLNK(st.st_mode) && fstatat(dirFd, name, &target, 0) == 0)
        linkToFolder = S_ISDIR(target.st_mode);
    return true;
}

DWORD AttributesOf(const struct stat& st, bool linkToFolder, const std::string& name)
{
    DWORD attributes = S_ISDIR(st.st_mode) || linkToFolder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (S_ISLNK(st.st_mode))
        attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    else if (!(st.st_mode & S_IWUSR))
        attributes |= FILE_ATTRIBUTE_READONLY;
    if (name.size() > 1 && name[0] == '.' && name != "..")
        attributes |= FILE_ATTRIBUTE_HIDDEN;
    return attributes;
}

FILETIME FileTimeOf(const struct timespec& ts)
{
    // 100-nanosecond steps since 1601-01-01.
    const ULONGLONG seconds = static_cast<ULONGLONG>(ts.tv_sec + 11644473600LL);
    const ULONGLONG ticks = seconds * 10000000ULL + static_cast<ULONGLONG>(ts.tv_nsec) / 100;
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return ft;
}

// A Windows name in the form that compares without regard to case.
std::string FoldedName(const std::string& windowsName)
{
    std::string folded;
    for (char c : windowsName)
        folded.push_back(static_cast<char>(zq::FoldCp1252(static_cast<unsigned char>(c))));
    return folded;
}

class FindObject : public zq::KernelObject {
public:
    std::vector<WIN32_FIND_DATAA> entries;
    size_t next = 0;
};

std::mutex& ProviderLock()
{
    static std::mutex lock;
    return lock;
}

std::function<bool(const std::string&, zq::DiskSpace&)>& Provider()
{
    static std::function<bool(const std::string&, zq::DiskSpace&)> provider;
    return provider;
}

bool MeasureDisk(LPCSTR folder, zq::DiskSpace& space)
{
    std::string linuxPath = "/";
    if (folder != nullptr && !ToLinux(folder, linuxPath))
        return false;
    // The folder must exist, with the provider of tests too, so that the
    // caller's search for the nearest existing folder is the real one.
    struct stat st;
    if (stat(linuxPath.c_str(), &st) != 0) {
        FailCall("stat", linuxPath, errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_DIRECTORY);
        return false;
    }
    std::function<bool(const std::string&, zq::DiskSpace&)> provider;
    {
        std::lock_guard<std::mutex> guard(ProviderLock());
        provider = Provider();
    }
    if (provider) {
        if (provider(linuxPath, space))
            return true;
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    struct statvfs vfs;
    if (statvfs(linuxPath.c_str(), &vfs) != 0) {
        FailCall("statvfs", linuxPath, errno);
        return false;
    }
    const ULONGLONG unit = vfs.f_frsize != 0 ? vfs.f_frsize : vfs.f_bsize;
    space.freeToCaller = static_cast<ULONGLONG>(vfs.f_bavail) * unit;
    space.total = static_cast<ULONGLONG>(vfs.f_blocks) * unit;
    space.totalFree = static_cast<ULONGLONG>(vfs.f_bfree) * unit;
    return true;
}

}  // namespace

DWORD GetFileAttributesA(LPCSTR lpFileName)
{
    std::string linuxPath;
    if (!ToLinux(lpFileName, linuxPath))
        return INVALID_FILE_ATTRIBUTES;
    struct stat st;
    bool linkToFolder = false;
    if (!StatEntry(AT_FDCWD, linuxPath.c_str(), st, linkToFolder)) {
        SetLastError(ErrorOf(errno, linuxPath));
        return INVALID_FILE_ATTRIBUTES;
    }
    const size_t slash = linuxPath.rfind('/');
    return AttributesOf(st, linkToFolder, linuxPath.substr(slash == std::string::npos ? 0 : slash + 1));
}

BOOL DeleteFileA(LPCSTR lpFileName)
{
    std::string linuxPath;
    if (!ToLinux(lpFileName, linuxPath))
        return FALSE;
    struct stat st;
    bool linkToFolder = false;
    if (!StatEntry(AT_FDCWD, linuxPath.c_str(), st, linkToFolder)) {
        SetLastError(ErrorOf(errno, linuxPath));
        return FALSE;
    }
    if (S_ISDIR(st.st_mode) || linkToFolder) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (zq::IsFileOpenInProcess(st.st_dev, st.st_ino)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    if (unlink(linuxPath.c_str()) != 0) {
        FailCall("unlink", linuxPath, errno);
        return FALSE;
    }
    return TRUE;
}

BOOL RemoveDirectoryA(LPCSTR lpPathName)
{
    std::string linuxPath;
    if (!ToLinux(lpPathName, linuxPath))
        return FALSE;
    struct stat st;
    bool linkToFolder = false;
    if (StatEntry(AT_FDCWD, linuxPath.c_str(), st, linkToFolder) && linkToFolder) {
        if (unlink(linuxPath.c_str()) != 0) {
            FailCall("unlink", linuxPath, errno);
            return FALSE;
        }
        return TRUE;
    }
    if (rmdir(linuxPath.c_str()) != 0) {
        const int err = errno;
        zq::DebugFailure(zq::DebugArea::Files, "rmdir", linuxPath.c_str(), err);
        if (err == ENOTDIR || (err == EINVAL && lstat(linuxPath.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)))
            SetLastError(ERROR_DIRECTORY);
        else if (err == ENOTEMPTY || err == EEXIST)
            SetLastError(ERROR_DIR_NOT_EMPTY);
        else
            SetLastError(ErrorOf(err, linuxPath));
        return FALSE;
    }
    return TRUE;
}

BOOL SetCurrentDirectoryA(LPCSTR lpPathName)
{
    std::string linuxPath;
    if (!ToLinux(lpPathName, linuxPath))
        return FALSE;
    if (chdir(linuxPath.c_str()) != 0) {
        const int err = errno;
        zq::DebugFailure(zq::DebugArea::Files, "chdir", linuxPath.c_str(), err);
        struct stat st;
        if (err == ENOTDIR && stat(linuxPath.c_str(), &st) == 0)
            SetLastError(ERROR_DIRECTORY);
        else
            SetLastError(ErrorOf(err, linuxPath));
        return FALSE;
    }
    return TRUE;
}

DWORD GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer)
{
    const std::string cwd = zq::CurrentLinuxDirectory();
    if (cwd.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return 0;
    }
    const std::string windows = zq::LinuxToWindows(cwd);
    const DWORD needed = static_cast<DWORD>(windows.size() + 1);
    if (lpBuffer == nullptr || nBufferLength < needed)
        return needed;
    memcpy(lpBuffer, windows.c_str(), needed);
    return needed - 1;
}

BOOL PathFileExistsA(LPCSTR pszPath)
{
    return GetFileAttributesA(pszPath) != INVALID_FILE_ATTRIBUTES ? TRUE : FALSE;
}

BOOL PathIsDirectoryA(LPCSTR pszPath)
{
    const DWORD attributes = GetFileAttributesA(pszPath);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return FALSE;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? static_cast<BOOL>(FILE_ATTRIBUTE_DIRECTORY) : FALSE;
}

namespace zq {
namespace {

// One element of a compiled file pattern; a literal keeps its folded
// character.
struct PatternElement {
    enum Kind { Literal, Star, DosStar, Question, Dot } kind;
    unsigned char ch;
};

// The pattern as the elements that the matching walks, with the Windows
// rules for stars and dots before and after wildcards.
std::vector<PatternElement> CompilePattern(const std::string& patternText)
{
    const std::string pattern = patternText == "*.*" ? std::string("*") : patternText;
    std::vector<PatternElement> elements;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(pattern[i]);
        if (c == '*') {
            // A star before a dot does not run past the name's last dot:
            // "*." finds the names without one.
            const bool beforeDot = i + 1 < pattern.size() && pattern[i + 1] == '.';
            elements.push_back({beforeDot ? PatternElement::DosStar : PatternElement::Star, 0});
        } else if (c == '?') {
            elements.push_back({PatternElement::Question, 0});
        } else if (c == '.' && (i + 1 == pattern.size() || pattern[i + 1] == '*' || pattern[i + 1] == '?')) {
            // A dot before a wildcard or at the end also matches the end of
            // a name without one: "name.*" finds "name".
            elements.push_back({PatternElement::Dot, 0});
        } else {
            elements.push_back({PatternElement::Literal, FoldCp1252(c)});
        }
    }
    return elements;
}

// Whether the elements match the whole name: row p of the table marks the
// positions of the name that the first p elements can reach.
bool MatchesElements(const std::vector<PatternElement>& elements, const std::string& name)
{
    const size_t n = name.size();
    const size_t lastDot = name.rfind('.');
    const size_t columns = n + 1;
    std::vector<char> reach((elements.size() + 1) * columns, 0);
    reach[0] = 1;
    for (size_t p = 0; p < elements.size(); ++p) {
        char* row = &reach[p * columns];
        char* nextRow = &reach[(p + 1) * columns];
        for (size_t i = 0; i <= n; ++i) {
            if (!row[i])
                continue;
            const bool atEnd = i == n;
            const unsigned char c = atEnd ? 0 : static_cast<unsigned char>(name[i]);
            switch (elements[p].kind) {
            case PatternElement::Star:
                nextRow[i] = 1;
                if (!atEnd)
                    row[i + 1] = 1;
                break;
            case PatternElement::DosStar:
                nextRow[i] = 1;
                if (!atEnd && i != lastDot)
                    row[i + 1] = 1;
                break;
            case PatternElement::Question:
                if (atEnd || c == '.')
                    nextRow[i] = 1;
                else
                    nextRow[i + 1] = 1;
                break;
            case PatternElement::Dot:
                if (atEnd)
                    nextRow[i] = 1;
                else if (c == '.')
                    nextRow[i + 1] = 1;
                break;
            case PatternElement::Literal:
                if (!atEnd && FoldCp1252(c) == elements[p].ch)
                    nextRow[i + 1] = 1;
                break;
            }
        }
    }
    return reach[elements.size() * columns + n] != 0;
}

}  // namespace

bool MatchesFilePattern(const std::string& pattern, const std::string& name)
{
    return MatchesElements(CompilePattern(pattern), name);
}

DiskSpaceProvider SetDiskSpaceProvider(DiskSpaceProvider provider)
{
    std::lock_guard<std::mutex> guard(ProviderLock());
    DiskSpaceProvider previous = std::move(Provider());
    Provider() = std::move(provider);
    return previous;
}

}  // namespace zq

namespace {

// A search's folder (with its separator, or the bare drive) and its pattern.
// Sets the last error and returns false for a pattern no name can match.
bool SplitSearch(const std::string& text, std::string& folder, std::string& pattern)
{
    const size_t separator = text.find_last_of("\\/");
    if (separator != std::string::npos) {
        folder = text.substr(0, separator + 1);
        pattern = text.substr(separator + 1);
    } else if (text.size() >= 2 && text[1] == ':') {
        folder = text.substr(0, 2);
        pattern = text.substr(2);
    } else {
        pattern = text;
    }
    if (pattern.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    // No name is longer than 255 characters, so neither is a pattern; this
    // also bounds the work of matching a pattern from a file's contents.
    if (pattern.size() > 255) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    for (unsigned char c : pattern) {
        if (c < 0x20 || c == '"' || c == '<' || c == '>' || c == '|' || c == ':') {
            SetLastError(ERROR_INVALID_NAME);
            return false;
        }
    }
    return true;
}

// The searched folder, opened; null with the last error set.
DIR* OpenSearchFolder(const std::string& folder, std::string& linuxFolder)
{
    if (folder.empty()) {
        linuxFolder = zq::CurrentLinuxDirectory();
    } else if (!ToLinux(folder.c_str(), linuxFolder)) {
        return nullptr;
    }
    DIR* dir = opendir(linuxFolder.c_str());
    if (dir == nullptr) {
        const int err = errno;
        zq::DebugFailure(zq::DebugArea::Files, "opendir", linuxFolder.c_str(), err);
        SetLastError(err == ENOENT || err == ENOTDIR ? ERROR_PATH_NOT_FOUND : Win32ErrorFromErrno(err));
    }
    return dir;
}

struct Found {
    std::string sortKey;
    std::string linuxName;
    WIN32_FIND_DATAA data;
};

// What the search reports of one entry.
WIN32_FIND_DATAA FindDataOf(const struct stat& st, bool linkToFolder, const std::string& linuxName,
                            const std::string& windowsName, const std::string& alternate)
{
    WIN32_FIND_DATAA data;
    memset(&data, 0, sizeof(data));
    data.dwFileAttributes = AttributesOf(st, linkToFolder, linuxName);
    if (S_ISLNK(st.st_mode))
        data.dwReserved0 = IO_REPARSE_TAG_SYMLINK;
    memcpy(data.cAlternateFileName, alternate.data(), std::min(alternate.size(), sizeof(data.cAlternateFileName) - 1));
    data.ftCreationTime = FileTimeOf(st.st_mtim);
    data.ftLastAccessTime = FileTimeOf(st.st_atim);
    data.ftLastWriteTime = FileTimeOf(st.st_mtim);
    if (S_ISREG(st.st_mode)) {
        const ULONGLONG size = static_cast<ULONGLONG>(st.st_size);
        data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
        data.nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
    }
    const size_t length = std::min(windowsName.size(), static_cast<size_t>(MAX_PATH - 1));
    memcpy(data.cFileName, windowsName.data(), length);
    return data;
}

// The order of the results: "." and ".." first, then the names without
// regard to letter case.
std::string SortKeyOf(const std::string& linuxName, const std::string& windowsName)
{
    const std::string first = linuxName == "."    ? std::string(1, '\x01')
                              : linuxName == ".." ? std::string(1, '\x02')
                                                  : std::string();
    return first + FoldedName(windowsName);
}

// The entries of the folder whose name or alternate name matches the pattern.
std::vector<Found> MatchingEntries(DIR* dir, bool isRoot, const std::string& pattern)
{
    std::vector<std::string> linuxNames;
    while (struct dirent* entry = readdir(dir))
        linuxNames.push_back(entry->d_name);
    // An alternate name that another entry bears as its own name would lead
    // to that entry; such an entry gets none.
    std::set<std::string> ownNames;
    for (const std::string& linuxName : linuxNames)
        if (!zq::NeedsAlternateName(linuxName))
            ownNames.insert(FoldedName(zq::Utf8ToCp1252(linuxName)));
    std::vector<Found> found;
    for (const std::string& linuxName : linuxNames) {
        const bool dots = linuxName == "." || linuxName == "..";
        // The drive's root has no "." and ".." entries on Windows.
        if (dots && isRoot)
            continue;
        std::string windowsName = zq::Utf8ToCp1252(linuxName);
        std::replace(windowsName.begin(), windowsName.end(), '\\', '?');
        std::string alternate = !dots && zq::NeedsAlternateName(linuxName) ? zq::AlternateName(linuxName)
                                                                           : std::string();
        if (!alternate.empty() && ownNames.count(FoldedName(alternate)) != 0)
            alternate.clear();
        if (!zq::MatchesFilePattern(pattern, windowsName) &&
            (alternate.empty() || !zq::MatchesFilePattern(pattern, alternate)))
            continue;
        struct stat st;
        bool linkToFolder = false;
        if (!StatEntry(dirfd(dir), linuxName.c_str(), st, linkToFolder))
            continue;
        found.push_back({SortKeyOf(linuxName, windowsName), linuxName,
                         FindDataOf(st, linkToFolder, linuxName, windowsName, alternate)});
    }
    return found;
}

}  // namespace

HANDLE FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData)
{
    if (lpFileName == nullptr || lpFindFileData == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string folder;
    std::string pattern;
    if (!SplitSearch(lpFileName, folder, pattern))
        return INVALID_HANDLE_VALUE;
    std::string linuxFolder;
    DIR* dir = OpenSearchFolder(folder, linuxFolder);
    if (dir == nullptr)
        return INVALID_HANDLE_VALUE;
    std::vector<Found> found = MatchingEntries(dir, linuxFolder == "/", pattern);
    closedir(dir);
    if (found.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        if (a.sortKey != b.sortKey)
            return a.sortKey < b.sortKey;
        return a.linuxName < b.linuxName;
    });
    auto search = std::make_shared<FindObject>();
    search->entries.reserve(found.size());
    for (const Found& item : found)
        search->entries.push_back(item.data);
    *lpFindFileData = search->entries[0];
    search->next = 1;
    HANDLE handle = zq::RegisterHandle(search);
    if (handle == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

BOOL FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData)
{
    auto search = zq::LookupHandleOrFail<FindObject>(hFindFile);
    if (!search)
        return FALSE;
    if (lpFindFileData == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (search->next >= search->entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *lpFindFileData = search->entries[search->next++];
    return TRUE;
}

BOOL FindClose(HANDLE hFindFile)
{
    if (!zq::LookupHandleOrFail<FindObject>(hFindFile))
        return FALSE;
    return CloseHandle(hFindFile);
}

BOOL GetDiskFreeSpaceExA(LPCSTR lpDirectoryName, PULARGE_INTEGER lpFreeBytesAvailableToCaller,
                         PULARGE_INTEGER lpTotalNumberOfBytes, PULARGE_INTEGER lpTotalNumberOfFreeBytes)
{
    zq::DiskSpace space;
    if (!MeasureDisk(lpDirectoryName, space))
        return FALSE;
    if (lpFreeBytesAvailableToCaller != nullptr)
        lpFreeBytesAvailableToCaller->QuadPart = space.freeToCaller;
    if (lpTotalNumberOfBytes != nullptr)
        lpTotalNumberOfBytes->QuadPart = space.total;
    if (lpTotalNumberOfFreeBytes != nullptr)
        lpTotalNumberOfFreeBytes->QuadPart = space.totalFree;
    return TRUE;
}

BOOL GetDiskFreeSpaceA(LPCSTR lpRootPathName, LPDWORD lpSectorsPerCluster, LPDWORD lpBytesPerSector,
                       LPDWORD lpNumberOfFreeClusters, LPDWORD lpTotalNumberOfClusters)
{
    zq::DiskSpace space;
    if (!MeasureDisk(lpRootPathName, space))
        return FALSE;
    // Sectors of 512 bytes where the counts allow it, single bytes where
    // they do not; clusters grow until the counts fit 32 bits.
    const ULONGLONG bytesPerSector = (space.freeToCaller % 512 == 0 && space.total % 512 == 0) ? 512 : 1;
    ULONGLONG sectorsPerCluster = 1;
    while (space.total / (bytesPerSector * sectorsPerCluster) > 0xFFFFFFFFull ||
           space.freeToCaller / (bytesPerSector * sectorsPerCluster) > 0xFFFFFFFFull)
        sectorsPerCluster *= 2;
    const ULONGLONG cluster = bytesPerSector * sectorsPerCluster;
    if (lpSectorsPerCluster != nullptr)
        *lpSectorsPerCluster = static_cast<DWORD>(sectorsPerCluster);
    if (lpBytesPerSector != nullptr)
        *lpBytesPerSector = static_cast<DWORD>(bytesPerSector);
    if (lpNumberOfFreeClusters != nullptr)
        *lpNumberOfFreeClusters = static_cast<DWORD>(space.freeToCaller / cluster);
    if (lpTotalNumberOfClusters != nullptr)
        *lpTotalNumberOfClusters = static_cast<DWORD>(space.total / cluster);
    return TRUE;
}
