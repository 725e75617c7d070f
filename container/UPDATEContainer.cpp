// The container's file checks: the file-name rule for names inside a folder and
// the check that the vds patterns find their files.
#include "container/UPDATEContainer.h"

#include "platform/files/Files.h"

namespace {

// Whether the search for the pattern finds an entry that is not a folder.
bool FindsAFile(const CString& pattern)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    bool file = false;
    do {
        file = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    } while (!file && FindNextFileA(search, &found));
    FindClose(search);
    return file;
}

bool IsSeparator(char ch)
{
    return ch == '\\' || ch == '/';
}

}  // namespace

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
                if (!FindsAFile(path))
                    return false;
            }
        }
    }
    return true;
}

bool UPDATEContainer::IsNameInsideFolder(const CString& name)
{
    const int length = name.GetLength();
    if (length == 0 || IsSeparator(name[0]))
        return false;
    if (name.Find(':') >= 0)
        return false;
    int start = 0;
    for (;;) {
        int end = start;
        while (end < length && !IsSeparator(name[end]))
            ++end;
        const int part = end - start;
        if (part == 2 && name[start] == '.' && name[start + 1] == '.')
            return false;
        if (end == length)  // the last component must name a file
            return part > 0 && !(part == 1 && name[start] == '.');
        start = end + 1;
    }
}
