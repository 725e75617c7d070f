// The per-user config, cache and home folders, from the XDG variables, $HOME
// and the passwd entry.
#include "platform/paths/UserFolders.h"

#include <cstdlib>

#include <pwd.h>
#include <unistd.h>

namespace {

const char kProgramFolderName[] = "zqupdatemanager";

bool IsAbsolute(const char* path)
{
    return path != nullptr && path[0] == '/';
}

// The base of an XDG folder: the variable when it is absolute, else the
// home folder joined with the fallback (".config", ".cache").
std::string XdgBase(const char* variable, const char* homeSubfolder)
{
    const char* value = std::getenv(variable);
    if (IsAbsolute(value))
        return value;
    std::string home = zq::UserHomeFolder();
    if (home.size() > 1 && home.back() == '/')
        home.pop_back();
    return (home == "/" ? std::string() : home) + "/" + homeSubfolder;
}

}  // namespace

namespace zq {

std::string UserHomeFolder()
{
    const char* home = std::getenv("HOME");
    if (IsAbsolute(home))
        return home;
    if (const struct passwd* pw = getpwuid(getuid())) {
        if (IsAbsolute(pw->pw_dir))
            return pw->pw_dir;
    }
    return "/";
}

std::string UserConfigFolder()
{
    return XdgBase("XDG_CONFIG_HOME", ".config") + "/" + kProgramFolderName;
}

std::string UserCacheFolder()
{
    return XdgBase("XDG_CACHE_HOME", ".cache") + "/" + kProgramFolderName;
}

}  // namespace zq
