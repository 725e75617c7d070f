// What the layer must undo however the program ends: the actions that end
// its children and give its ports back, run at a fatal end (a signal, the
// display's loss, ExitProcess), where no destructor runs.
//
// Each action may run inside a signal handler, so it must be
// async-signal-safe: no lock, no allocation, only plain system calls on
// what a fixed table of atomics holds.
#pragma once

namespace zq {

using FatalEndAction = void (*)();

// Adds the action once (a second call with the same action does nothing).
// There is room for a handful of actions, one per area that needs one;
// false when it is full.
bool AtFatalEnd(FatalEndAction action);

// Runs every action added, in the order added. Async-signal-safe.
void RunFatalEndActions();

// On SIGTERM, SIGHUP, SIGINT, SIGQUIT and SIGABRT (abort, and so an
// uncaught exception) the actions run first, then the program ends by the
// signal as it would have, with its exit status and, for SIGQUIT and
// SIGABRT, its core.
void RunFatalEndActionsOnSignals();

}  // namespace zq
