// Free disk space for the unpack step: whether the drive that holds the
// Repository folder has room for the unpacked container.
#pragma once

#include "platform/base/WinTypes.h"

class UPDATETools {
public:
    UPDATETools() {}
    virtual ~UPDATETools() {}

    // All free bytes of the drive that the path names (not only those free
    // to this user); 0 when the path has no drive letter or nothing can be
    // measured.
    static ULONGLONG GetFreeDiskSpace(const char* path);
    // 1 when the drive has strictly more free bytes than required, else 0.
    static int HasEnoughDiskSpace(const char* path, ULONGLONG required);
};
