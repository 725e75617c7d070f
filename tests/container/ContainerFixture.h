// Helpers for the container tests: Windows forms of the temporary folders' paths
// (drive Z:), and the process-wide folder names pointed at them.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include <unistd.h>

#include "container/GlobalFolders.h"
#include "platform/paths/DrivePaths.h"
#include "platform/strings/CString.h"
#include "tests/support/TempFolder.h"

namespace zqtest {

// The Windows form of a Linux path, as a CString for the system's calls.
inline CString WinPath(const std::string& linuxPath)
{
    return CString(zq::LinuxToWindows(linuxPath));
}


// The program's path as start-up sets it: the test executable in the program
// folder that holds the libexpat.dll link.
inline CString RealProgramPath()
{
    return WinPath(std::string(ZQ_BINARY_DIR) + "/bin/test_container");
}

// A shared library of the host that is not expat, for a libexpat.dll that
// lacks expat's functions.
inline std::string OtherSharedLibrary()
{
    const char* candidates[] = {"/lib/x86_64-linux-gnu/libz.so.1",
                                "/usr/lib/x86_64-linux-gnu/libz.so.1",
                                "/lib/aarch64-linux-gnu/libz.so.1",
                                "/usr/lib/aarch64-linux-gnu/libz.so.1",
                                "/usr/lib/libz.so.1",
                                "/lib/libz.so.1"};
    for (const char* candidate : candidates)
        if (access(candidate, R_OK) == 0)
            return candidate;
    return "";
}

// Points g_ProgramPath and g_WorkFolder at the given values for one test and
// restores them afterwards.
class FolderNames {
public:
    FolderNames(const CString& programPath, const CString& workFolder) : m_program(g_ProgramPath), m_work(g_WorkFolder)
    {
        g_ProgramPath = programPath;
        g_WorkFolder = workFolder;
    }
    ~FolderNames()
    {
        g_ProgramPath = m_program;
        g_WorkFolder = m_work;
    }

private:
    CString m_program;
    CString m_work;
};

}  // namespace zqtest
