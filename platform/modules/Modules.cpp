// LoadLibraryA, GetProcAddress and FreeLibrary over dlopen, and the built-in
// kernel32.dll.
#include "platform/modules/Modules.h"

#include "platform/base/DebugChannel.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>

#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "platform/files/FileApi.h"
#include "platform/paths/DrivePaths.h"
#include "platform/strings/Codepage.h"

namespace {

struct ModuleTable {
    std::mutex lock;
    std::map<HMODULE, int> references;  // dlopen handles and their loads
};

ModuleTable& Table()
{
    static ModuleTable* table = new ModuleTable;  // outlives static users
    return *table;
}

// The built-in kernel32.dll: its handle is the address of this object.
char g_kernel32;

HMODULE Kernel32Handle()
{
    return reinterpret_cast<HMODULE>(&g_kernel32);
}

template <typename Function>
FARPROC AsProc(Function function)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

FARPROC Kernel32Proc(const char* name)
{
    if (strcmp(name, "GetDiskFreeSpaceExA") == 0)
        return AsProc(&GetDiskFreeSpaceExA);
    if (strcmp(name, "GetDiskFreeSpaceA") == 0)
        return AsProc(&GetDiskFreeSpaceA);
    return nullptr;
}

bool IsFile(const std::string& linuxPath)
{
    struct stat st;
    return !linuxPath.empty() && stat(linuxPath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

HMODULE LoadLibraryA(LPCSTR lpLibFileName)
{
    if (lpLibFileName == nullptr || *lpLibFileName == '\0') {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::string name(lpLibFileName);
    const size_t separator = name.find_last_of("\\/");
    const bool bare = separator == std::string::npos && !(name.size() >= 2 && name[1] == ':');
    const std::string last = separator == std::string::npos ? name : name.substr(separator + 1);
    if (last.find('.') == std::string::npos)
        name += ".dll";

    std::string linuxPath;
    if (bare) {
        if (zq::EqualNoCaseCp1252(name, "kernel32.dll"))
            return Kernel32Handle();
        const std::string folder = zq::ProgramLinuxFolder();
        std::string candidate;
        if (!folder.empty()) {
            const std::string inFolder = zq::LinuxToWindows(folder) + "\\" + name;
            if (zq::WindowsToLinux(inFolder.c_str(), candidate) && IsFile(candidate))
                linuxPath = candidate;
        }
        if (linuxPath.empty() && zq::WindowsToLinux(name.c_str(), candidate) && IsFile(candidate))
            linuxPath = candidate;
    } else {
        std::string candidate;
        if (zq::WindowsToLinux(name.c_str(), candidate) && IsFile(candidate))
            linuxPath = candidate;
    }
    if (linuxPath.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    void* library = dlopen(linuxPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* reason = dlerror();
        zq::DebugPrintf(zq::DebugArea::Modules, "dlopen(\"%s\"): %s", linuxPath.c_str(),
                        reason != nullptr ? reason : "failed");
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    HMODULE module = reinterpret_cast<HMODULE>(library);
    ModuleTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    ++table.references[module];
    return module;
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName)
{
    // A pointer below 64 KiB is an ordinal, which no library here exports.
    if (lpProcName == nullptr || reinterpret_cast<uintptr_t>(lpProcName) < 0x10000) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    if (hModule == Kernel32Handle()) {
        FARPROC proc = Kernel32Proc(lpProcName);
        if (proc == nullptr)
            SetLastError(ERROR_PROC_NOT_FOUND);
        return proc;
    }
    void* library = reinterpret_cast<void*>(hModule);
    {
        ModuleTable& table = Table();
        std::lock_guard<std::mutex> guard(table.lock);
        if (table.references.count(hModule) == 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
    }
    void* symbol = dlsym(library, lpProcName);
    if (symbol == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    // dlsym also searches the libraries that this one depends on; Windows
    // finds only the module's own exports.
    struct link_map* map = nullptr;
    Dl_info info;
    if (dlinfo(library, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr && dladdr(symbol, &info) != 0 &&
        info.dli_fname != nullptr && map->l_name != nullptr && strcmp(info.dli_fname, map->l_name) != 0) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(symbol));
}

BOOL FreeLibrary(HMODULE hLibModule)
{
    if (hLibModule == Kernel32Handle())
        return TRUE;
    ModuleTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.references.find(hLibModule);
    if (it == table.references.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (--it->second == 0)
        table.references.erase(it);
    dlclose(reinterpret_cast<void*>(hLibModule));
    return TRUE;
}
