// The table of the actions of a fatal end and the signal handlers that run
// them.
#include "platform/base/FatalEnd.h"

#include <csignal>
#include <cstring>

namespace {

zq::SignalSafeSet<zq::FatalEndAction, 8> s_actions;

const int FATAL_SIGNALS[] = {SIGTERM, SIGHUP, SIGINT, SIGQUIT, SIGABRT};

void RunActionsThenEndBySignal(int signalNumber)
{
    zq::RunFatalEndActions();
    // The signal is blocked while its handler runs, so the raised one is
    // taken with the default action once the handler returns.
    signal(signalNumber, SIG_DFL);
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
    for (int signalNumber : FATAL_SIGNALS)
        sigaction(signalNumber, &action, nullptr);
}

}  // namespace zq
