// GetEnvironmentVariableA and SetEnvironmentVariableA, and the private "TMP"
// supplied when neither "TMP" nor "TEMP" is set.
#include "platform/paths/Environment.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/base/DebugChannel.h"
#include "platform/paths/DrivePaths.h"
#include "platform/paths/UserFolders.h"
#include "platform/strings/Codepage.h"

extern char** environ;

namespace {

// Every read takes this lock, so that two threads never make or repair the
// private temporary folder at the same time.
std::mutex& EnvironmentLock()
{
    static std::mutex lock;
    return lock;
}

bool IsTempName(const std::string& name)
{
    return zq::EqualNoCaseCp1252(name, "TMP") || zq::EqualNoCaseCp1252(name, "TEMP");
}

// The value of the variable of that name, exact name first, then any
// letter case.
bool FindVariable(const std::string& name, std::string& value)
{
    if (const char* exact = getenv(name.c_str())) {
        value = exact;
        return true;
    }
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const char* equals = strchr(*entry, '=');
        if (equals == nullptr)
            continue;
        const std::string entryName(*entry, static_cast<size_t>(equals - *entry));
        if (zq::EqualNoCaseCp1252(entryName, name)) {
            value = equals + 1;
            return true;
        }
    }
    return false;
}

// One level of the private temporary folder: made with mode 0700 when
// missing; it must be a folder (not a link) of this user that no one else
// may write or, for the last level, enter. A folder of this user that
// others may use is made private again.
bool PrivateLevel(const std::string& folder, bool last)
{
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        zq::DebugFailure(zq::DebugArea::Paths, "mkdir", folder.c_str(), errno);
        return false;
    }
    struct stat st;
    if (lstat(folder.c_str(), &st) != 0) {
        zq::DebugFailure(zq::DebugArea::Paths, "lstat", folder.c_str(), errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != geteuid()) {
        zq::ReportFailure(zq::DebugArea::Paths, "%s is not a folder of this user; it is not used for temporary files",
                          folder.c_str());
        return false;
    }
    const mode_t others = last ? 077 : 022;
    if ((st.st_mode & others) != 0 && chmod(folder.c_str(), st.st_mode & 07777 & ~others) != 0) {
        zq::DebugFailure(zq::DebugArea::Paths, "chmod", folder.c_str(), errno);
        return false;
    }
    return true;
}

// The temporary folder of a user who set neither TMP nor TEMP: a folder
// that only the user can reach, as Windows gives every user one, never a
// fixed name in a folder that every user can write.
bool PrivateTempFolder(std::string& folder)
{
    const std::string cache = zq::UserCacheFolder();
    // The levels above the program's own folder are the user's business;
    // they are only made when missing.
    for (size_t slash = cache.find('/', 1); slash != std::string::npos; slash = cache.find('/', slash + 1)) {
        const std::string level = cache.substr(0, slash);
        if (mkdir(level.c_str(), 0700) != 0 && errno != EEXIST) {
            zq::DebugFailure(zq::DebugArea::Paths, "mkdir", level.c_str(), errno);
            return false;
        }
    }
    if (!PrivateLevel(cache, false) || !PrivateLevel(cache + "/tmp", true))
        return false;
    folder = cache + "/tmp";
    return true;
}

// The value the system sees, in Windows-1252.
bool ReadVariable(const std::string& name, std::string& value)
{
    std::string raw;
    bool found = FindVariable(name, raw);
    if (IsTempName(name)) {
        if (!found && zq::EqualNoCaseCp1252(name, "TMP")) {
            std::string tmp, temp;
            const bool anyTmp = FindVariable("TMP", tmp) && !tmp.empty();
            const bool anyTemp = FindVariable("TEMP", temp) && !temp.empty();
            if (!anyTmp && !anyTemp)
                found = PrivateTempFolder(raw);
        }
        if (found && !raw.empty() && raw[0] == '/') {
            value = zq::LinuxToWindows(raw);
            return true;
        }
    }
    if (found)
        value = zq::Utf8ToCp1252(raw);
    return found;
}

}  // namespace

DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size)
{
    if (name == nullptr || *name == '\0' || strchr(name, '=') != nullptr) {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    std::string value;
    {
        std::lock_guard<std::mutex> guard(EnvironmentLock());
        if (!ReadVariable(zq::Cp1252ToUtf8(name), value)) {
            SetLastError(ERROR_ENVVAR_NOT_FOUND);
            return 0;
        }
    }
    const DWORD needed = static_cast<DWORD>(value.size() + 1);
    if (buffer == nullptr || size < needed)
        return needed;
    memcpy(buffer, value.c_str(), needed);
    if (value.empty())
        SetLastError(ERROR_SUCCESS);
    return needed - 1;
}
