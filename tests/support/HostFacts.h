// Facts about the host that several tests depend on, each known in one place.
//
// Header only and free of GoogleTest, so that the benchmarks can use it too.
#pragma once

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <string>

namespace zqtest {

// The free Tahoma of Debian's fonts-wine, which the pages were laid out for.
inline const char* TahomaPath()
{
    return "/usr/share/wine/fonts/tahoma.ttf";
}
inline bool TahomaInstalled()
{
    return access(TahomaPath(), R_OK) == 0;
}

// /dev/shm beside "/" as a second file system, for the tests that measure
// each folder on its own file system.
struct TwoFileSystems {
    struct statvfs root {};
    struct statvfs shm {};
    // Why the pair cannot serve here; "" when it can.
    std::string missing;
};

inline TwoFileSystems ShmBesideRoot()
{
    TwoFileSystems pair;
    struct stat root, shm;
    if (stat("/", &root) != 0 || stat("/dev/shm", &shm) != 0 || root.st_dev == shm.st_dev)
        pair.missing = "/dev/shm is not a file system of its own here";
    else if (statvfs("/", &pair.root) != 0 || statvfs("/dev/shm", &pair.shm) != 0)
        pair.missing = "statvfs failed on / or /dev/shm";
    return pair;
}

}  // namespace zqtest
