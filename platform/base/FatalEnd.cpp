// The table of the actions of a fatal end and the signal handlers that run
// them.
#include "platform/base/FatalEnd.h"

#include <csignal>
#include <cstring>

namespace {

zq::SignalSafeSet<zq::FatalEndAction, 8> s_actions;

// Every signal whose default action ends the program and that a handler
// can catch: those a user or the system sends (SIGTERM, SIGHUP, SIGINT,
// SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGPIPE, the resource limits) and
// those of a crash (SIGABRT, and so an uncaught exception; SIGSEGV,
// SIGBUS, SIGFPE, SIGILL, SIGSYS). The profiling timers are left to the
// profilers that use them.
const int FATAL_SIGNALS[] = {SIGTERM, SIGHUP,  SIGINT,  SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGPIPE,
                             SIGXCPU, SIGXFSZ, SIGABRT, SIGSEGV, SIGBUS,  SIGFPE,  SIGILL,  SIGSYS};

// What each signal did before: a handler that was there already (a
// sanitizer's) still has its turn after the actions.
struct sigaction s_previous[NSIG];

void RunActionsThenEndBySignal(int signalNumber)
{
    zq::RunFatalEndActions();
    // The signal is blocked while its handler runs, so the raised one is
    // taken by the earlier disposition once the handler returns; so is a
    // fault's, whose instruction faults again.
    sigaction(signalNumber, &s_previous[signalNumber], nullptr);
    raise(signalNumber);
}

}  // namespace

namespace zq {

bool AtFatalEnd(FatalEndAction action)
{
    return s_actions.Add(action);
}

void RunFatalEndActions()
{
    s_actions.ForEach([](FatalEndAction action) { action(); });
}

void RunFatalEndActionsOnSignals()
{
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = RunActionsThenEndBySignal;
    // A second fatal signal waits until the first one's actions are done.
    sigemptyset(&action.sa_mask);
    for (int signalNumber : FATAL_SIGNALS)
        sigaddset(&action.sa_mask, signalNumber);
    for (int signalNumber : FATAL_SIGNALS) {
        struct sigaction previous;
        if (sigaction(signalNumber, nullptr, &previous) != 0)
            continue;
        // A signal that the program was started to ignore (nohup) is not
        // an end; and the handler is put in place once only, so that the
        // earlier disposition stays the one from before it.
        if (previous.sa_handler == SIG_IGN || previous.sa_handler == RunActionsThenEndBySignal)
            continue;
        s_previous[signalNumber] = previous;
        sigaction(signalNumber, &action, nullptr);
    }
}

}  // namespace zq
