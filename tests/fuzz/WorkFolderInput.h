// Shared by the XML reader fuzz targets: each input is written as one file
// in a temp folder that g_WorkFolder names, for the reader to read back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <limits.h>
#include <unistd.h>

#include "container/GlobalFolders.h"

namespace {

// The Windows form of an absolute Linux path.
CString WinPath(std::string path)
{
    for (char& ch : path)
        if (ch == '/')
            ch = '\\';
    return CString("Z:" + path);
}

std::string g_folder;
std::string g_file;

void Cleanup()
{
    remove(g_file.c_str());
    rmdir(g_folder.c_str());
}

void Prepare(const char* fileName)
{
    char exe[PATH_MAX] = {0};
    if (readlink("/proc/self/exe", exe, sizeof(exe) - 1) > 0)
        g_ProgramPath = WinPath(exe);  // the program folder holds libexpat.dll
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/zqfuzz.XXXXXX";
    if (mkdtemp(&pattern[0]) != NULL)
        g_folder = pattern;
    g_file = g_folder + "/" + fileName;
    atexit(Cleanup);
    g_WorkFolder = WinPath(g_folder);
}

// Writes the input as fileName in the work folder, which the first call
// makes; false when the file cannot be written.
bool WriteWorkFile(const char* fileName, const uint8_t* data, size_t size)
{
    static bool prepared = (Prepare(fileName), true);
    (void)prepared;
    FILE* out = fopen(g_file.c_str(), "wb");
    if (out == NULL)
        return false;
    fwrite(data, 1, size, out);
    fclose(out);
    return true;
}

}  // namespace
