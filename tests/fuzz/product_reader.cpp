// Arbitrary bytes as the car kit's product.xml, read into the update model.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <limits.h>
#include <unistd.h>

#include "container/GlobalFolders.h"
#include "container/UPDATEModel.h"

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

void Prepare()
{
    char exe[PATH_MAX] = {0};
    if (readlink("/proc/self/exe", exe, sizeof(exe) - 1) > 0)
        g_ProgramPath = WinPath(exe);  // the program folder holds libexpat.dll
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/zqfuzz.XXXXXX";
    if (mkdtemp(&pattern[0]) != NULL)
        g_folder = pattern;
    g_file = g_folder + "/product.xml";
    atexit(Cleanup);
    g_WorkFolder = WinPath(g_folder);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool prepared = (Prepare(), true);
    (void)prepared;
    FILE* out = fopen(g_file.c_str(), "wb");
    if (out == NULL)
        return 0;
    fwrite(data, 1, size, out);
    fclose(out);
    g_UpdateModel.ReadProductXml();
    g_UpdateModel.Reset();
    return 0;
}
