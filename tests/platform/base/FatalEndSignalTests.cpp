// The signal handlers of a fatal end: which signals run the actions before
// the program ends by them, and which dispositions they leave as they were.
// Each case runs in a child of its own, as the handlers stay for the rest
// of a process.
#include "platform/base/FatalEnd.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

namespace {

int s_actionsRan = -1;  // the write end of the child's pipe

void TellTheActionsRan()
{
    const char ran = 'r';
    (void)!write(s_actionsRan, &ran, 1);
}

void EndByExit9(int)
{
    _exit(9);
}

struct Case {
    const char* what;
    int signalNumber;
    void (*before)(int);  // the disposition before the handlers; null for the default
    bool actions;         // the actions run
    int signalled;        // the signal the child dies by, or 0
    int exitCode;         // else its exit code
};

}  // namespace

TEST(FatalEndSignals, RunTheActionsThenEndAsTheSignalWouldHave)
{
    const Case cases[] = {
        {"a user's end", SIGTERM, nullptr, true, SIGTERM, 0},
        {"a pipe that lost its reader", SIGPIPE, nullptr, true, SIGPIPE, 0},
        {"a fault", SIGSEGV, nullptr, true, SIGSEGV, 0},
        {"a stray SIGUSR1", SIGUSR1, nullptr, true, SIGUSR1, 0},
        // Started under nohup: a hang-up is no end.
        {"a hang-up ignored from the start", SIGHUP, SIG_IGN, false, 0, 7},
        // A sanitizer's handler, for instance, still has its say after the actions.
        {"a handler that was there first", SIGBUS, EndByExit9, true, 0, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int ran[2];
        ASSERT_EQ(pipe(ran), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const struct rlimit noCore = {0, 0};
            setrlimit(RLIMIT_CORE, &noCore);
            close(ran[0]);
            s_actionsRan = ran[1];
            // The default stands for the default, also where a sanitizer
            // put a handler of its own.
            signal(c.signalNumber, c.before != nullptr ? c.before : SIG_DFL);
            zq::AtFatalEnd(TellTheActionsRan);
            zq::RunFatalEndActionsOnSignals();
            raise(c.signalNumber);
            _exit(7);
        }
        close(ran[1]);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        char byte = 0;
        EXPECT_EQ(read(ran[0], &byte, 1) == 1, c.actions);
        close(ran[0]);
        if (c.signalled != 0) {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signalled) << "status " << status;
        } else {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == c.exitCode) << "status " << status;
        }
    }
}
