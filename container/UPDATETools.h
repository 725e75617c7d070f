// Free disk space for the unpack step: whether the drive that holds the
// Repository folder has room for the unpacked container.
#pragma once

#include "platform/base/WinTypes.h"

class UPDATETools {
public:
    UPDATETools() {}
    virtual ~UPDATETools() {}

    // The bytes this user may write on the file system that holds the path
    // (its nearest existing folder); 0 when the path has no drive letter or
    // nothing can be measured.
    static ULONGLONG GetFreeDiskSpace(const char* path);
    // 1 when the drive has strictly more free bytes than required, else 0.
    static int HasEnoughDiskSpace(const char* path, ULONGLONG required);
};
