// A virtual X server for a test program or a tool, started once and shared by
// everything in the process: GTK opens one display per process and keeps it,
// so a second server would strand the windows of the first.
//
//   const Xvfb& x = Xvfb::Shared();
//   if (!x.Ok()) ... x.Error() says why ...
//   setenv("DISPLAY", x.Display().c_str(), 1);
//
// The server picks a free display itself (-displayfd), listens on no TCP
// port and on no socket file, only on the abstract socket that Linux clients
// try first: so it neither needs nor leaves /tmp/.X11-unix, which on a
// fresh /tmp it would make and never remove. It ends with the process: at
// exit, or when the process dies, since it is told to end when its parent
// does.
//
// Header only and free of GoogleTest, so that the benchmarks can use it too.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace zqtest {

class Xvfb {
public:
    // The process's server, started at the first call.
    static const Xvfb& Shared()
    {
        static Xvfb server;
        return server;
    }

    Xvfb() { Start(); }
    ~Xvfb() { End(); }
    // Ends the server now, as a logout does: its clients lose the display.
    void End()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            int status = 0;
            waitpid(m_pid, &status, 0);
            m_pid = -1;
        }
    }
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;

    bool Ok() const { return !m_display.empty(); }
    // ":<n>", or "" when the server did not come up.
    const std::string& Display() const { return m_display; }
    const std::string& Error() const { return m_error; }

private:
    void Start()
    {
        int fds[2];
        if (pipe(fds) != 0) {
            m_error = "pipe failed";
            return;
        }
        const pid_t parent = getpid();
        m_pid = fork();
        if (m_pid < 0) {
            m_error = "fork failed";
            close(fds[0]);
            close(fds[1]);
            return;
        }
        if (m_pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != parent)
                _exit(1);
            close(fds[0]);
            int null = open("/dev/null", O_RDWR);
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-noreset", "-nolisten", "tcp", "-nolisten", "unix",
                   "-screen", "0", "1280x1024x24", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        // The server writes its display number and a newline when it is ready.
        std::string number;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
            pollfd p = {fds[0], POLLIN, 0};
            char c = 0;
            if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0 || read(fds[0], &c, 1) != 1 || c == '\n')
                break;
            number += c;
        }
        close(fds[0]);
        if (number.empty()) {
            m_error = "Xvfb did not report a display (is it installed?)";
            kill(m_pid, SIGTERM);
            int status = 0;
            waitpid(m_pid, &status, 0);
            m_pid = -1;
            return;
        }
        m_display = ":" + number;
    }

    pid_t m_pid = -1;
    std::string m_display;
    std::string m_error;
};

}  // namespace zqtest
