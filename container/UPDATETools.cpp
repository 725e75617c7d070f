#include "container/UPDATETools.h"

#include "platform/files/FileApi.h"
#include "platform/modules/Modules.h"
#include "platform/strings/CString.h"

namespace {

typedef BOOL (*GetDiskFreeSpaceExProc)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);

} // namespace

ULONGLONG UPDATETools::GetFreeDiskSpace(const char* path)
{
    if (path == NULL || path[0] == '\0' || path[1] != ':')
        return 0;

    // The drive's root: the text before the first backslash and one
    // backslash. A path such as "C:" without a backslash measures "C:\".
    CString root(path);
    int slash = root.Find('\\');
    if (slash >= 0)
        root = root.Left(slash);
    root += "\\";

    ULARGE_INTEGER toCaller, total, totalFree;
    if (GetDiskFreeSpaceExA(root, &toCaller, &total, &totalFree))
        return totalFree.QuadPart;

    HMODULE kernel = LoadLibraryA("kernel32.dll");
    if (kernel == NULL)
        return 0;
    // Through the generic function type, which converts to any other.
    GetDiskFreeSpaceExProc proc = reinterpret_cast<GetDiskFreeSpaceExProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "GetDiskFreeSpaceExA")));
    if (proc != NULL && proc(path, &toCaller, &total, &totalFree))
        return totalFree.QuadPart;

    DWORD sectorsPerCluster, bytesPerSector, freeClusters, clusters;
    if (GetDiskFreeSpaceA(path, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters))
        return static_cast<ULONGLONG>(sectorsPerCluster) * bytesPerSector * freeClusters;
    return 0;
}

int UPDATETools::HasEnoughDiskSpace(const char* path, ULONGLONG required)
{
    return GetFreeDiskSpace(path) > required ? 1 : 0;
}
