// The drive view of the file system. The system sees the whole Linux file
// system as drive Z: with backslash separators and Windows-1252 names;
// Z:\home\me\a b.zip is /home/me/a b.zip. Other drive letters name nothing.
//
// These helpers are for the other areas of the layer (files, process,
// serial, registry, the file dialog); the system itself never calls them.
#pragma once

#include <string>
#include <vector>

#include "platform/base/WinTypes.h"

namespace zq {

// Turns a Windows path (Windows-1252) into the Linux path (UTF-8) it names.
// Forward slashes count as separators, "." and ".." are resolved by the text
// of the path as Windows does, and a relative path, "\dir" or "Z:dir" is
// taken from the current directory. A name that does not exist as written
// but exists in another letter case is found, since Windows names do not
// depend on case; the first such name in sorted order wins. A name that
// is missing in every case may be the alternate name of an entry (see
// AlternateName).
//
// Fails with ERROR_PATH_NOT_FOUND for an empty path or another drive
// letter, ERROR_BAD_NETPATH for a network path (\\server\share) and
// ERROR_INVALID_NAME for wildcards (* ? " < > |), control characters or a
// colon inside a name. On failure linuxPath is left empty and error (when
// given) holds the code; SetLastError is not called.
bool WindowsToLinux(const char* windowsPath, std::string& linuxPath, DWORD* error = nullptr);

// Turns a Linux path (UTF-8) into its Windows form (Windows-1252): an
// absolute path gets the drive Z:, the root is "Z:\". Characters that
// Windows-1252 cannot hold, and a backslash inside a Linux name, become '?'.
// A relative path only has its separators and code page changed.
std::string LinuxToWindows(const std::string& linuxPath);

// The full Windows form of a path as GetFullPathName gives it: drive, root
// and the current directory added, "." and ".." resolved, letter case as
// written. False (with the error as WindowsToLinux gives it) when the path
// names nothing on this machine.
bool FullWindowsPath(const char* windowsPath, std::string& fullPath, DWORD* error = nullptr);

// Whether a Linux name (UTF-8) cannot be reached through its Windows form:
// it holds characters that Windows-1252 lacks, bytes that are not UTF-8, a
// backslash or a character that Windows forbids in names.
bool NeedsAlternateName(const std::string& linuxName);

// The ASCII name by which such an entry is reached, as Windows offers a
// short name: '~', seven hex digits from the whole name and the name's
// extension when it is short ASCII ("~1F3A9C0.XML"). Stable for the name.
std::string AlternateName(const std::string& linuxName);

// The current directory, in Linux form; empty if it cannot be read.
std::string CurrentLinuxDirectory();

// The folder of the running executable (from /proc/self/exe), in Linux
// form, without a trailing slash; empty if it cannot be read.
std::string ProgramLinuxFolder();

// The Win32 error for a Linux path that was not found (ENOENT or ENOTDIR):
// ERROR_FILE_NOT_FOUND when its folder exists, else ERROR_PATH_NOT_FOUND.
DWORD MissingPathError(const std::string& linuxPath);

// The pieces of the text between the separators, empty pieces left out:
// the names of a Linux path or a registry key, the folders of PATH.
std::vector<std::string> SplitAt(const std::string& text, char separator);

// The first count pieces, with the separator between each two.
std::string JoinFirst(const std::vector<std::string>& pieces, size_t count, char separator);

}  // namespace zq
