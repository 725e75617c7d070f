// Temporary folders and environment variables for one test or benchmark.
// Everything here is undone when the object goes: the folder is removed with
// all it holds, the variable gets its old value back (or is unset again).
//
// Only Linux paths are handed out; the Windows form of a path is always
// zq::LinuxToWindows(folder.Linux(...)), so a test sees exactly the names the
// system makes (Windows-1252, drive Z:).
//
// Header only and free of GoogleTest, so that the benchmarks can use it too.
// A folder that cannot be made or a file that cannot be written throws
// std::runtime_error, which fails the test that needed it.
#pragma once

#include <dirent.h>
#include <ftw.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace zqtest {

class TempFolder {
public:
    // A new empty folder below $TMPDIR (or /tmp).
    TempFolder() : m_top(MakeTop()), m_path(m_top) {}
    // The same with a folder of that name inside it, which Linux() then
    // names; the name may hold blanks and UTF-8 letters.
    explicit TempFolder(const std::string& name) : m_top(MakeTop()), m_path(m_top + "/" + name)
    {
        if (mkdir(m_path.c_str(), 0777) != 0) {
            Remove(m_top);
            throw std::runtime_error("cannot make " + m_path);
        }
    }
    ~TempFolder() { Remove(m_top); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Linux path of the folder, or of a name in it.
    const std::string& Linux() const { return m_path; }
    std::string Linux(const std::string& name) const { return m_path + "/" + name; }

    // Writes the file (making the folders on its way) and returns its path.
    std::string Write(const std::string& name, const std::string& bytes) const
    {
        const std::string path = Linux(name);
        for (size_t slash = path.find('/', m_path.size() + 1); slash != std::string::npos;
             slash = path.find('/', slash + 1))
            mkdir(path.substr(0, slash).c_str(), 0777);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out)
            throw std::runtime_error("cannot write " + path);
        return path;
    }
    // The file's bytes; "" when there is none.
    std::string Read(const std::string& name) const
    {
        std::ifstream in(Linux(name), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }
    void MakeFolder(const std::string& name) const { mkdir(Linux(name).c_str(), 0777); }
    // A symbolic link `name` that points at `target`.
    void Link(const std::string& name, const std::string& target) const
    {
        if (symlink(target.c_str(), Linux(name).c_str()) != 0)
            throw std::runtime_error("cannot link " + Linux(name));
    }
    // Whether the name exists (a dangling link counts).
    bool Exists(const std::string& name) const
    {
        struct stat st;
        return lstat(Linux(name).c_str(), &st) == 0;
    }
    // Names of every file and folder below, relative and sorted.
    std::vector<std::string> List() const
    {
        std::vector<std::string> names;
        s_list = &names;
        s_prefix = m_path.size();
        nftw(m_path.c_str(), AddEntry, 16, FTW_PHYS);
        s_list = nullptr;
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    static std::string MakeTop()
    {
        const char* base = getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && base[0] == '/' ? base : "/tmp") + "/zqtest-XXXXXX";
        if (mkdtemp(&pattern[0]) == nullptr)
            throw std::runtime_error("cannot make a temporary folder from " + pattern);
        return pattern;
    }
    // A test may have taken the rights away from a folder to provoke a
    // failure; its owner gives them back before emptying it, which root
    // never needs but every other user does.
    static void Remove(const std::string& path)
    {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0)
            return;
        if (!S_ISDIR(st.st_mode)) {
            unlink(path.c_str());
            return;
        }
        chmod(path.c_str(), 0700);
        std::vector<std::string> names;
        if (DIR* dir = opendir(path.c_str())) {
            while (const dirent* entry = readdir(dir)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..")
                    names.push_back(name);
            }
            closedir(dir);
        }
        for (const std::string& name : names)
            Remove(path + "/" + name);
        rmdir(path.c_str());
    }
    // nftw hands its callback no context; each thread lists on its own.
    static int AddEntry(const char* path, const struct stat*, int, struct FTW*)
    {
        const std::string name(path);
        if (name.size() > s_prefix)
            s_list->push_back(name.substr(s_prefix + 1));
        return 0;
    }
    static inline thread_local std::vector<std::string>* s_list = nullptr;
    static inline thread_local size_t s_prefix = 0;

    std::string m_top;
    std::string m_path;
};

// Sets (or, with nullptr, unsets) one environment variable while it lives.
class ScopedEnvironmentVariable {
public:
    ScopedEnvironmentVariable(const std::string& name, const char* value) : m_name(name)
    {
        if (const char* old = getenv(name.c_str())) {
            m_hadOld = true;
            m_old = old;
        }
        if (value != nullptr)
            setenv(name.c_str(), value, 1);
        else
            unsetenv(name.c_str());
    }
    ScopedEnvironmentVariable(const std::string& name, const std::string& value)
        : ScopedEnvironmentVariable(name, value.c_str())
    {
    }
    ~ScopedEnvironmentVariable()
    {
        if (m_hadOld)
            setenv(m_name.c_str(), m_old.c_str(), 1);
        else
            unsetenv(m_name.c_str());
    }
    ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
    ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

private:
    std::string m_name;
    std::string m_old;
    bool m_hadOld = false;
};

// XDG_CONFIG_HOME pointed at an empty folder of its own, so the per-user
// registry and the COM port links start empty and no test sees another's.
class ScopedXdgConfigHome {
public:
    ScopedXdgConfigHome() : m_variable("XDG_CONFIG_HOME", m_folder.Linux()) {}
    const std::string& Linux() const { return m_folder.Linux(); }

private:
    TempFolder m_folder;
    ScopedEnvironmentVariable m_variable;
};

// Puts the current directory back to where it was.
class KeepCurrentDirectory {
public:
    KeepCurrentDirectory()
    {
        char buffer[PATH_MAX];
        if (getcwd(buffer, sizeof buffer) != nullptr)
            m_saved = buffer;
    }
    ~KeepCurrentDirectory()
    {
        if (!m_saved.empty() && chdir(m_saved.c_str()) != 0) {
            // Nothing to go back to; the next test starts where this one ended.
        }
    }
    KeepCurrentDirectory(const KeepCurrentDirectory&) = delete;
    KeepCurrentDirectory& operator=(const KeepCurrentDirectory&) = delete;

private:
    std::string m_saved;
};

}  // namespace zqtest
