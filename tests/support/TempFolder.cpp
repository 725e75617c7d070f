#include "TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

#include <ftw.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string MakeTop()
{
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && base[0] == '/' ? base : "/tmp") + "/zqtest-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) {
        ADD_FAILURE() << "cannot make a temporary folder from " << pattern;
        return std::string();
    }
    return pattern;
}

int RemoveEntry(const char* path, const struct stat*, int type, struct FTW*)
{
    // A test may have taken the rights away to provoke a failure.
    if (type == FTW_DP)
        chmod(path, 0700);
    remove(path);
    return 0;
}

// nftw passes no context to its callback.
std::mutex s_listLock;
std::vector<std::string>* s_list;
size_t s_prefix;

int AddEntry(const char* path, const struct stat*, int, struct FTW*)
{
    std::string name(path);
    if (name.size() > s_prefix)
        s_list->push_back(name.substr(s_prefix + 1));
    return 0;
}

}  // namespace

TempFolder::TempFolder() : m_top(MakeTop()), m_path(m_top) {}

TempFolder::TempFolder(const std::string& name) : m_top(MakeTop()), m_path(m_top + "/" + name)
{
    if (!m_top.empty() && mkdir(m_path.c_str(), 0777) != 0)
        ADD_FAILURE() << "cannot make " << m_path;
}

TempFolder::~TempFolder()
{
    if (m_top.empty())
        return;
    chmod(m_top.c_str(), 0700);
    if (m_path != m_top)
        chmod(m_path.c_str(), 0700);
    nftw(m_top.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string TempFolder::Write(const std::string& name, const std::string& bytes) const
{
    const std::string path = Linux(name);
    for (size_t slash = path.find('/', m_path.size() + 1); slash != std::string::npos;
         slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(), 0777);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        ADD_FAILURE() << "cannot write " << path;
    return path;
}

std::string TempFolder::Read(const std::string& name) const
{
    std::ifstream in(Linux(name), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void TempFolder::MakeFolder(const std::string& name) const
{
    mkdir(Linux(name).c_str(), 0777);
}

void TempFolder::Link(const std::string& name, const std::string& target) const
{
    EXPECT_EQ(symlink(target.c_str(), Linux(name).c_str()), 0) << name;
}

bool TempFolder::Exists(const std::string& name) const
{
    struct stat st;
    return lstat(Linux(name).c_str(), &st) == 0;
}

std::vector<std::string> TempFolder::List() const
{
    std::lock_guard<std::mutex> lock(s_listLock);
    std::vector<std::string> names;
    s_list = &names;
    s_prefix = m_path.size();
    nftw(m_path.c_str(), AddEntry, 16, FTW_PHYS);
    std::sort(names.begin(), names.end());
    return names;
}

ScopedEnvironmentVariable::ScopedEnvironmentVariable(const std::string& name, const char* value) : m_name(name)
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

ScopedEnvironmentVariable::~ScopedEnvironmentVariable()
{
    if (m_hadOld)
        setenv(m_name.c_str(), m_old.c_str(), 1);
    else
        unsetenv(m_name.c_str());
}

ScopedXdgConfigHome::ScopedXdgConfigHome() : m_variable("XDG_CONFIG_HOME", m_folder.Linux()) {}

KeepCurrentDirectory::KeepCurrentDirectory()
{
    char buffer[PATH_MAX];
    if (getcwd(buffer, sizeof buffer) != nullptr)
        m_saved = buffer;
}

KeepCurrentDirectory::~KeepCurrentDirectory()
{
    if (!m_saved.empty() && chdir(m_saved.c_str()) != 0)
        ADD_FAILURE() << "cannot go back to " << m_saved;
}
