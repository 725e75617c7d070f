// Temporary folders and environment variables for one test. Everything here
// is undone when the object goes: the folder is removed with all it holds,
// the variable gets its old value back (or is unset again).
//
// Only Linux paths are handed out; the Windows form of a path is always
// zq::LinuxToWindows(folder.Linux(...)), so tests see exactly the names the
// system makes (Windows-1252, drive Z:).
#pragma once

#include <string>
#include <vector>

class TempFolder {
public:
    // A new empty folder below $TMPDIR (or /tmp).
    TempFolder();
    // The same with a folder of that name inside it, which Linux() then
    // names; the name may hold blanks and UTF-8 letters.
    explicit TempFolder(const std::string& name);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Linux path of the folder, or of a name in it.
    const std::string& Linux() const { return m_path; }
    std::string Linux(const std::string& name) const { return m_path + "/" + name; }

    // Writes the file (making the folders on its way) and returns its path.
    std::string Write(const std::string& name, const std::string& bytes) const;
    // The file's bytes; "" when there is none.
    std::string Read(const std::string& name) const;
    void MakeFolder(const std::string& name) const;
    // A symbolic link `name` that points at `target`.
    void Link(const std::string& name, const std::string& target) const;
    // Whether the name exists (a dangling link counts).
    bool Exists(const std::string& name) const;
    // Names of every file and folder below, relative and sorted.
    std::vector<std::string> List() const;

private:
    std::string m_top;
    std::string m_path;
};

// Sets (or, with nullptr, unsets) one environment variable while it lives.
class ScopedEnvironmentVariable {
public:
    ScopedEnvironmentVariable(const std::string& name, const char* value);
    ScopedEnvironmentVariable(const std::string& name, const std::string& value)
        : ScopedEnvironmentVariable(name, value.c_str())
    {
    }
    ~ScopedEnvironmentVariable();
    ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
    ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

private:
    std::string m_name;
    std::string m_old;
    bool m_hadOld = false;
};

// XDG_CONFIG_HOME pointed at an empty folder of the test's own, so the
// per-user registry and the COM port links start empty and no test sees
// another's.
class ScopedXdgConfigHome {
public:
    ScopedXdgConfigHome();
    const std::string& Linux() const { return m_folder.Linux(); }
    const TempFolder& Folder() const { return m_folder; }

private:
    TempFolder m_folder;
    ScopedEnvironmentVariable m_variable;
};

// Puts the current directory back to where it was.
class KeepCurrentDirectory {
public:
    KeepCurrentDirectory();
    ~KeepCurrentDirectory();
    KeepCurrentDirectory(const KeepCurrentDirectory&) = delete;
    KeepCurrentDirectory& operator=(const KeepCurrentDirectory&) = delete;

private:
    std::string m_saved;
};
