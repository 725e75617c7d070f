// Helpers for the container tests: a temporary folder per test with small
// files written into it, seen by the system in its Windows form (drive Z:),
// and the process-wide folder names pointed at it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include "container/GlobalFolders.h"
#include "platform/strings/CString.h"

namespace zqtest {

// The Windows form of an absolute Linux path.
inline CString WinPath(const std::string& linuxPath)
{
    std::string win = "Z:" + linuxPath;
    for (char& ch : win)
        if (ch == '/')
            ch = '\\';
    return CString(win);
}

class TempFolder {
public:
    TempFolder()
    {
        const char* base = getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/zqcontainer.XXXXXX";
        char* made = mkdtemp(&pattern[0]);
        EXPECT_NE(made, nullptr);
        m_path = pattern;
    }
    ~TempFolder()
    {
        nftw(m_path.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return remove(p); }, 16,
             FTW_DEPTH | FTW_PHYS);
    }
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }
    CString Win() const { return WinPath(m_path); }
    CString WinFile(const std::string& name) const { return WinPath(File(name)); }

    void Write(const std::string& name, const std::string& bytes) const
    {
        std::ofstream out(File(name), std::ios::binary);
        out << bytes;
    }
    void MakeFolder(const std::string& name) const { mkdir(File(name).c_str(), 0700); }
    void Link(const std::string& name, const std::string& target) const
    {
        EXPECT_EQ(symlink(target.c_str(), File(name).c_str()), 0);
    }

private:
    std::string m_path;
};

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
    const char* candidates[] = {"/lib/x86_64-linux-gnu/libz.so.1", "/usr/lib/x86_64-linux-gnu/libz.so.1",
                                "/lib/aarch64-linux-gnu/libz.so.1", "/usr/lib/aarch64-linux-gnu/libz.so.1",
                                "/usr/lib/libz.so.1", "/lib/libz.so.1"};
    for (const char* candidate : candidates)
        if (access(candidate, R_OK) == 0)
            return candidate;
    return "";
}

// Points g_ProgramPath and g_WorkFolder at the given values for one test and
// restores them afterwards.
class FolderNames {
public:
    FolderNames(const CString& programPath, const CString& workFolder)
        : m_program(g_ProgramPath), m_work(g_WorkFolder)
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
