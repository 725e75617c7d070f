// A temporary folder for one test, removed with everything in it.
#pragma once

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/paths/DrivePaths.h"

class TempFolder {
public:
    // The name part may hold blanks and UTF-8 letters.
    explicit TempFolder(const std::string& name = "zq files")
    {
        const char* base = getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && base[0] == '/' ? base : "/tmp") + "/zqtest-XXXXXX";
        char* made = mkdtemp(&pattern[0]);
        m_top = made != nullptr ? made : "";
        m_path = m_top + "/" + name;
        mkdir(m_path.c_str(), 0777);
    }
    ~TempFolder()
    {
        if (!m_top.empty())
            nftw(m_top.c_str(), Remove, 16, FTW_DEPTH | FTW_PHYS);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Linux path of the folder, or of a name in it.
    const std::string& Linux() const { return m_path; }
    std::string Linux(const std::string& name) const { return m_path + "/" + name; }
    // The same in Windows form (Windows-1252).
    std::string Windows() const { return zq::LinuxToWindows(m_path); }
    std::string Windows(const std::string& name) const { return zq::LinuxToWindows(Linux(name)); }

    void Write(const std::string& name, const std::string& bytes) const
    {
        std::ofstream out(Linux(name), std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    std::string Read(const std::string& name) const
    {
        std::ifstream in(Linux(name), std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    void MakeFolder(const std::string& name) const { mkdir(Linux(name).c_str(), 0777); }
    bool Exists(const std::string& name) const
    {
        struct stat st;
        return lstat(Linux(name).c_str(), &st) == 0;
    }

private:
    static int Remove(const char* path, const struct stat*, int, struct FTW*)
    {
        ::remove(path);
        return 0;
    }
    std::string m_top;
    std::string m_path;
};

// Runs the current directory back to where it was.
class KeepCurrentDirectory {
public:
    KeepCurrentDirectory() : m_saved(zq::CurrentLinuxDirectory()) {}
    ~KeepCurrentDirectory()
    {
        if (!m_saved.empty() && chdir(m_saved.c_str()) != 0) {
        }
    }

private:
    std::string m_saved;
};
