#include "platform/paths/Environment.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/paths/DrivePaths.h"
#include "platform/strings/Codepage.h"

extern char** environ;

namespace {

// getenv and setenv are not safe against each other across threads; every
// call of the layer takes this lock.
std::mutex& EnvironmentLock()
{
    static std::mutex lock;
    return lock;
}

bool IsTempName(const std::string& name)
{
    return zq::EqualNoCaseCp1252(name, "TMP") || zq::EqualNoCaseCp1252(name, "TEMP");
}

// The variable of that name, exact name first, then any letter case: its
// name as stored and its value.
bool FindVariable(const std::string& name, std::string& value, std::string* storedName = nullptr)
{
    if (const char* exact = getenv(name.c_str())) {
        value = exact;
        if (storedName != nullptr)
            *storedName = name;
        return true;
    }
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const char* equals = strchr(*entry, '=');
        if (equals == nullptr)
            continue;
        const std::string entryName(*entry, static_cast<size_t>(equals - *entry));
        if (zq::EqualNoCaseCp1252(entryName, name)) {
            value = equals + 1;
            if (storedName != nullptr)
                *storedName = entryName;
            return true;
        }
    }
    return false;
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
            if (!anyTmp && !anyTemp) {
                const char* tmpdir = getenv("TMPDIR");
                raw = (tmpdir != nullptr && tmpdir[0] == '/') ? tmpdir : "/tmp";
                found = true;
            }
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

} // namespace

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

BOOL SetEnvironmentVariableA(LPCSTR name, LPCSTR value)
{
    if (name == nullptr || *name == '\0' || strchr(name, '=') != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string linuxName = zq::Cp1252ToUtf8(name);
    std::lock_guard<std::mutex> guard(EnvironmentLock());
    std::string oldValue;
    FindVariable(linuxName, oldValue, &linuxName);
    if (value == nullptr) {
        unsetenv(linuxName.c_str());
        return TRUE;
    }
    std::string linuxValue;
    const bool drivePath = value[0] != '\0' && value[1] == ':';
    if (!(IsTempName(linuxName) && drivePath && zq::WindowsToLinux(value, linuxValue)))
        linuxValue = zq::Cp1252ToUtf8(value);
    if (setenv(linuxName.c_str(), linuxValue.c_str(), 1) != 0) {
        SetLastError(Win32ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}
