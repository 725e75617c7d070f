// What the layer must undo however the program ends: the actions that end
// its children and give its ports back, run at a fatal end (a signal, the
// display's loss, ExitProcess), where no destructor runs.
//
// Each action may run inside a signal handler, so it must be
// async-signal-safe: no lock, no allocation, only plain system calls on
// what a fixed table of atomics holds.
#pragma once

#include <atomic>

namespace zq {

// A fixed table of non-zero values (pids, descriptors, actions) for the
// actions of a fatal end: plain atomics, with no lock and no allocation, so
// that a signal handler may walk it while other threads add and remove.
// Zero marks a free slot.
template <class T, int Size>
class SignalSafeSet {
public:
    // Constant: a table at namespace scope is empty before any code runs.
    constexpr SignalSafeSet() = default;

    // Adds the value unless it is there already; false when the table is
    // full.
    bool Add(T value)
    {
        for (auto& slot : m_slots) {
            T empty{};
            if (slot.compare_exchange_strong(empty, value) || empty == value)
                return true;
        }
        return false;
    }

    void Remove(T value)
    {
        for (auto& slot : m_slots) {
            T held = value;
            if (slot.compare_exchange_strong(held, T{}))
                return;
        }
    }

    void Clear()
    {
        for (auto& slot : m_slots)
            slot.store(T{});
    }

    // Calls each(value) for every value held, in slot order.
    // Async-signal-safe when each is.
    template <class Each>
    void ForEach(Each each) const
    {
        for (const auto& slot : m_slots) {
            const T value = slot.load();
            if (value != T{})
                each(value);
        }
    }

private:
    std::atomic<T> m_slots[Size]{};
};

using FatalEndAction = void (*)();

// Adds the action once (a second call with the same action does nothing).
// There is room for a handful of actions, one per area that needs one;
// false when it is full.
bool AtFatalEnd(FatalEndAction action);

// Runs every action added, in the order added. Async-signal-safe.
void RunFatalEndActions();

// On every signal that would end the program and that can be caught (the
// ones sent to end it, such as SIGTERM, SIGHUP, SIGINT, SIGQUIT or
// SIGPIPE, and those of a crash: SIGABRT, and so an uncaught exception,
// SIGSEGV, SIGBUS, SIGFPE, SIGILL) the actions run first, then the program
// ends by the signal as it would have, with its exit status and, where the
// signal leaves one, its core. A handler that was in place before (a
// sanitizer's) runs after the actions; a signal that the program was
// started to ignore stays ignored.
void RunFatalEndActionsOnSignals();

}  // namespace zq
