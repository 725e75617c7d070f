// Another process that holds a file's flock lock, as a second copy of the
// program holds a lock file, for the tests of what the program does then.
// Header only and free of GoogleTest, like the other host helpers.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace zqtest {

class FileLockHolder {
public:
    // Starts the holder, one process (sleep) whose descriptor of the file
    // the shell before it locked with flock(1); waits up to 5 s for the lock.
    explicit FileLockHolder(const std::string& path) : m_path(path)
    {
        const std::string pidFile = path + ".holder";
        const std::string command = "sh -c 'exec 9>\"$0\"; flock -x 9; exec sleep 600' '" + path +
                                    "' >/dev/null 2>&1 & echo $! > '" + pidFile + "'";
        if (system(command.c_str()) == 0)
            std::ifstream(pidFile) >> m_pid;
        unlink(pidFile.c_str());
        for (int i = 0; i < 500 && m_pid > 0 && OthersMayLock(path); ++i)
            usleep(10000);
    }
    ~FileLockHolder() { End(); }
    FileLockHolder(const FileLockHolder&) = delete;
    FileLockHolder& operator=(const FileLockHolder&) = delete;

    // Whether the lock is held, as a process other than the holder finds.
    bool Holds() const { return m_pid > 0 && !OthersMayLock(m_path); }
    // Ends the holder, and with it its lock.
    void End()
    {
        if (m_pid <= 0)
            return;
        kill(m_pid, SIGKILL);
        // A child of system()'s shell, which has ended: init reaps it.
        for (int i = 0; i < 500 && kill(m_pid, 0) == 0 && !OthersMayLock(m_path); ++i)
            usleep(10000);
        m_pid = 0;
    }

    // Whether a process of its own can take the file's exclusive flock lock
    // at once (flock(1), which releases it again).
    static bool OthersMayLock(const std::string& path)
    {
        return system(("flock -n -x '" + path + "' true").c_str()) == 0;
    }

private:
    std::string m_path;
    pid_t m_pid = 0;
};

}  // namespace zqtest
