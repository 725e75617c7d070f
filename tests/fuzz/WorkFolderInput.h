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
#include "platform/paths/DrivePaths.h"
#include "tests/support/TempFolder.h"

namespace {

// The Windows form of an absolute Linux path.
CString WinPath(const std::string& path)
{
    return CString(zq::LinuxToWindows(path));
}

std::string g_file;

void Prepare(const char* fileName)
{
    char exe[PATH_MAX] = {0};
    if (readlink("/proc/self/exe", exe, sizeof(exe) - 1) > 0)
        g_ProgramPath = WinPath(exe);  // the program folder holds libexpat.dll
    // Removed with the input file in it when the process ends.
    static zqtest::TempFolder folder;
    g_file = folder.Linux(fileName);
    g_WorkFolder = WinPath(folder.Linux());
}

// Writes the input as fileName in the work folder, which the first call
// makes; false when the file cannot be written.
bool WriteWorkFile(const char* fileName, const uint8_t* data, size_t size)
{
    static bool prepared = (Prepare(fileName), true);
    (void)prepared;
    FILE* out = fopen(g_file.c_str(), "wb");
    if (out == nullptr)
        return false;
    fwrite(data, 1, size, out);
    fclose(out);
    return true;
}

}  // namespace
