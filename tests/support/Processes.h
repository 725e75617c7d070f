// The machine's processes as /proc shows them, for the tests that check that
// nothing the program started lives on, and what a process holds open.
//
// Header only and free of GoogleTest, like the other host helpers.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace zqtest {

// The fields of /proc/<pid>/stat that the tests look at.
struct ProcessEntry {
    char state = 0;  // 'Z' for a zombie: it has ended, only its reaping is left
    pid_t parent = 0;
    pid_t group = 0;
};

// The process's entry; false when it is gone.
inline bool ReadProcessEntry(pid_t pid, ProcessEntry& entry)
{
    // Read with read(2): a process that ends while its entry is read makes
    // the read fail with ESRCH, which a std::ifstream throws as an exception.
    const int fd = open(("/proc/" + std::to_string(pid) + "/stat").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    std::string text;
    char buffer[512];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(n));
    close(fd);
    // "pid (name) state ppid pgrp ...": the name may hold blanks and ')'.
    const size_t close = text.rfind(')');
    if (close == std::string::npos)
        return false;
    std::istringstream fields(text.substr(close + 1));
    return static_cast<bool>(fields >> entry.state >> entry.parent >> entry.group);
}

// Whether the process runs; a zombie has ended.
inline bool ProcessRuns(pid_t pid)
{
    ProcessEntry entry;
    return ReadProcessEntry(pid, entry) && entry.state != 'Z';
}

// Every process of the machine, by its id.
inline std::map<pid_t, ProcessEntry> AllProcesses()
{
    std::map<pid_t, ProcessEntry> all;
    DIR* proc = opendir("/proc");
    if (!proc)
        return all;
    while (dirent* item = readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(std::atoi(item->d_name));
        ProcessEntry entry;
        if (pid > 0 && ReadProcessEntry(pid, entry))
            all[pid] = entry;
    }
    closedir(proc);
    return all;
}

// The processes below the given one, children of children included.
inline std::set<pid_t> Descendants(pid_t ancestor)
{
    const std::map<pid_t, ProcessEntry> all = AllProcesses();
    std::set<pid_t> found = {ancestor};
    for (bool grew = true; grew;) {
        grew = false;
        for (const auto& [pid, p] : all)
            if (found.count(p.parent) && found.insert(pid).second)
                grew = true;
    }
    found.erase(ancestor);
    return found;
}

// The processes of the groups that still run (zombies have ended).
inline std::vector<pid_t> RunningInGroups(const std::set<pid_t>& groups)
{
    std::vector<pid_t> running;
    for (const auto& [pid, p] : AllProcesses())
        if (groups.count(p.group) && p.state != 'Z')
            running.push_back(pid);
    return running;
}

// The paths that the process's open descriptors lead to; empty when it is
// gone.
inline std::vector<std::string> OpenPaths(pid_t pid)
{
    std::vector<std::string> paths;
    const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return paths;
    while (dirent* entry = readdir(dir)) {
        char target[4096];
        const ssize_t n = readlink((folder + "/" + entry->d_name).c_str(), target, sizeof target - 1);
        if (n > 0)
            paths.emplace_back(target, static_cast<size_t>(n));
    }
    closedir(dir);
    return paths;
}

}  // namespace zqtest
