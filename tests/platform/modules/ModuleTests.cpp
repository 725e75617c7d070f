// Loading expat from the program folder, failing libraries, and the built-in
// kernel32.dll.
#include "platform/files/FileApi.h"
#include "platform/modules/Modules.h"
#include "platform/paths/DrivePaths.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/ScopedSeam.h"
#include "tests/support/TempFolder.h"

namespace {

// The program folder: the build puts libexpat.dll beside the tests.
std::string ProgramFolder()
{
    return zq::LinuxToWindows(zq::ProgramLinuxFolder());
}

template <typename Function>
Function ProcAs(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

TEST(Modules, LoadsExpatFromTheProgramFolder)
{
    const std::string path = ProgramFolder() + "\\libexpat.dll";
    HMODULE expat = LoadLibraryA(path.c_str());
    ASSERT_NE(nullptr, expat) << path << " error " << GetLastError();

    typedef void* (*ParserCreate)(const char*);
    typedef void (*ParserFree)(void*);
    ParserCreate create = ProcAs<ParserCreate>(expat, "XML_ParserCreate");
    ParserFree release = ProcAs<ParserFree>(expat, "XML_ParserFree");
    ASSERT_NE(nullptr, create);
    ASSERT_NE(nullptr, release);
    void* parser = create(nullptr);
    EXPECT_NE(nullptr, parser);
    release(parser);

    EXPECT_EQ(nullptr, GetProcAddress(expat, "XML_NoSuchFunction"));
    EXPECT_EQ(ERROR_PROC_NOT_FOUND, GetLastError());
    EXPECT_EQ(nullptr, GetProcAddress(expat, "xml_parsercreate"));  // names are exact
    EXPECT_EQ(nullptr, GetProcAddress(expat, "malloc"));            // of a dependency
    EXPECT_EQ(ERROR_PROC_NOT_FOUND, GetLastError());
    EXPECT_EQ(nullptr, GetProcAddress(expat, nullptr));

    // A bare name is looked for in the program folder.
    HMODULE again = LoadLibraryA("LIBEXPAT.DLL");
    EXPECT_EQ(expat, again);
    EXPECT_TRUE(FreeLibrary(again));
    EXPECT_TRUE(FreeLibrary(expat));
    // Released: the handle is no longer known, and nothing crashes.
    EXPECT_EQ(nullptr, GetProcAddress(expat, "XML_Parse"));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
    EXPECT_FALSE(FreeLibrary(expat));
    EXPECT_EQ(nullptr, GetProcAddress(nullptr, "XML_Parse"));
}

TEST(Modules, MissingOrBrokenLibrariesFailCleanly)
{
    zqtest::TempFolder temp("zq files");
    temp.Write("libexpat.dll", "this is not a library");
    struct Case {
        std::string name;
        DWORD error;
    } cases[] = {
        {zq::LinuxToWindows(temp.Linux()) + "\\missing\\libexpat.dll", ERROR_MOD_NOT_FOUND},
        {"C:\\Windows\\System32\\libexpat.dll", ERROR_MOD_NOT_FOUND},
        {"no_such_library_here.dll", ERROR_MOD_NOT_FOUND},
        {"", ERROR_MOD_NOT_FOUND},
        {zq::LinuxToWindows(temp.Linux("libexpat.dll")), ERROR_BAD_EXE_FORMAT},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_EQ(nullptr, LoadLibraryA(c.name.c_str())) << c.name;
        EXPECT_EQ(c.error, GetLastError()) << c.name;
    }
    EXPECT_EQ(nullptr, LoadLibraryA(nullptr));
}

TEST(Modules, Kernel32OffersTheDiskSpaceQueries)
{
    HMODULE kernel32 = LoadLibraryA("kernel32.dll");
    ASSERT_NE(nullptr, kernel32);
    typedef BOOL (*DiskFreeEx)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
    DiskFreeEx query = ProcAs<DiskFreeEx>(kernel32, "GetDiskFreeSpaceExA");
    ASSERT_NE(nullptr, query);
    EXPECT_NE(nullptr, GetProcAddress(kernel32, "GetDiskFreeSpaceA"));
    EXPECT_EQ(nullptr, GetProcAddress(kernel32, "CreateFileW"));

    const zqtest::ScopedSeam disk(zq::SetDiskSpaceProvider, [](const std::string&, zq::DiskSpace& space) {
        space.totalFree = 4242;
        return true;
    });
    zqtest::TempFolder repository("Repository");
    ULARGE_INTEGER available, total, free;
    EXPECT_TRUE(query(zq::LinuxToWindows(repository.Linux()).c_str(), &available, &total, &free));
    EXPECT_EQ(4242u, free.QuadPart);
    EXPECT_TRUE(FreeLibrary(kernel32));
}

}  // namespace
