#include "container/UPDATEContainer.h"

#include "platform/files/Files.h"

bool UPDATEContainer::CheckVdsFiles(CString folder) const
{
    for (const UPDATEVdData& entry : vd_data) {
        for (const UPDATELibrary& library : entry.libs) {
            if (library.name != "vds")
                continue;
            for (const UPDATEFile& file : library.files) {
                if (!IsNameInsideFolder(file.name))
                    return false;
                CString path;
                path.Format("%s\\%s", folder.GetString(), file.name.GetString());
                WIN32_FIND_DATAA found;
                HANDLE search = FindFirstFileA(path, &found);
                if (search == INVALID_HANDLE_VALUE)
                    return false;
                FindClose(search);
            }
        }
    }
    return true;
}

bool UPDATEContainer::IsNameInsideFolder(const CString& name)
{
    if (name.GetLength() >= 1 && (name[0] == '\\' || name[0] == '/'))
        return false;
    if (name.Find(':') >= 0)
        return false;  // a drive ("C:\x", "C:x") or a stream name
    // No component may be "..".
    int start = 0;
    const int length = name.GetLength();
    while (start <= length) {
        int end = start;
        while (end < length && name[end] != '\\' && name[end] != '/')
            ++end;
        if (end - start == 2 && name[start] == '.' && name[start + 1] == '.')
            return false;
        start = end + 1;
    }
    return true;
}
