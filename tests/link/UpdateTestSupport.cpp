#include "UpdateTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <mutex>
#include <sstream>

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

namespace updatetest {

namespace {

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*)
{
    remove(path);
    return 0;
}

}  // namespace

TempFolder::TempFolder(const std::string& prefix)
{
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + "-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr)
        ADD_FAILURE() << "no temp folder";
    m_path = pattern;
}

TempFolder::~TempFolder()
{
    chmod(m_path.c_str(), 0700);
    nftw(m_path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string TempFolder::Write(const std::string& name, const std::string& content) const
{
    std::string path = m_path + "/" + name;
    for (size_t slash = path.find('/', m_path.size() + 1); slash != std::string::npos;
         slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(), 0700);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out)
        ADD_FAILURE() << "cannot write " << path;
    return path;
}

std::string TempFolder::Read(const std::string& name) const
{
    std::ifstream in(m_path + "/" + name, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

namespace {
std::vector<std::string>* s_list;
size_t s_prefix;
int AddEntry(const char* path, const struct stat*, int, struct FTW*)
{
    std::string name(path);
    if (name.size() > s_prefix)
        s_list->push_back(name.substr(s_prefix + 1));
    return 0;
}
std::mutex s_listLock;
}  // namespace

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

std::string WindowsPath(const std::string& linuxPath)
{
    std::string path = "Z:" + linuxPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string RandomBytes(size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xFF);
    return bytes;
}

}  // namespace updatetest
