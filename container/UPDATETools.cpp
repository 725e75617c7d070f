// The free-space check of the unpack step.
#include "container/UPDATETools.h"

#include "platform/files/FileApi.h"
#include "platform/modules/Modules.h"
#include "platform/strings/CString.h"

namespace {

typedef BOOL (*GetDiskFreeSpaceExProc)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);

}  // namespace

ULONGLONG UPDATETools::GetFreeDiskSpace(const char* path)
{
    if (path == nullptr || path[0] == '\0' || path[1] != ':')
        return 0;

    // The file system that holds the path, which need not exist yet (the
    // unpacker makes the Repository folder): its nearest folder that does,
    // up to the drive's root. A drive may hold several file systems, and the
    // bytes that count are those the user may write, not those kept for
    // the administrator.
    ULARGE_INTEGER toCaller, total, totalFree;
    CString folder(path);
    for (;;) {
        CString query = folder;
        if (query.GetLength() == 2)
            query += "\\";
        if (GetDiskFreeSpaceExA(query, &toCaller, &total, &totalFree))
            return toCaller.QuadPart;
        int slash = folder.ReverseFind('\\');
        if (slash < 0)
            break;
        folder = folder.Left(slash);
    }

    HMODULE kernel = LoadLibraryA("kernel32.dll");
    if (kernel == nullptr)
        return 0;
    // Through the generic function type, which converts to any other.
    GetDiskFreeSpaceExProc proc = reinterpret_cast<GetDiskFreeSpaceExProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "GetDiskFreeSpaceExA")));
    if (proc != nullptr && proc(path, &toCaller, &total, &totalFree))
        return toCaller.QuadPart;

    DWORD sectorsPerCluster, bytesPerSector, freeClusters, clusters;
    if (GetDiskFreeSpaceA(path, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters))
        return static_cast<ULONGLONG>(sectorsPerCluster) * bytesPerSector * freeClusters;
    return 0;
}

int UPDATETools::HasEnoughDiskSpace(const char* path, ULONGLONG required)
{
    return GetFreeDiskSpace(path) > required ? 1 : 0;
}
