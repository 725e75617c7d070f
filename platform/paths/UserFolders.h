// The per-user folders of the program on Linux, where Windows has the
// user's profile: settings (the registry file, the COM-port links) and a
// private temporary folder. One rule for every caller, so the registry, the
// COM map and the car-kit simulator never disagree on where a user's files
// are.
//
// Only absolute values of XDG_CONFIG_HOME, XDG_CACHE_HOME and HOME count (a
// relative one would depend on the working folder); after them the home
// folder of the passwd entry; "/" when there is none.
//
// This piece uses libc only, so that tools outside the layer can compile it
// in as it is.
#pragma once

#include <string>

namespace zq {

// The user's home folder (Linux form, never relative).
std::string UserHomeFolder();

// $XDG_CONFIG_HOME/zqupdatemanager, else <home>/.config/zqupdatemanager.
std::string UserConfigFolder();

// $XDG_CACHE_HOME/zqupdatemanager, else <home>/.cache/zqupdatemanager.
std::string UserCacheFolder();

}  // namespace zq
