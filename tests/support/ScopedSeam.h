// A process-wide seam of the code under test (a responder, a provider, a
// hook, a switch), one of its process-wide variables, a signal's disposition
// or a resource limit, set for one scope. The seam's setter installs the
// value and returns the one it replaces; that one goes back when the guard
// goes, however the scope ends: at its end, by an ASSERT that returns early,
// or by an exception. A reset at the end of a test's body would be skipped
// by the first two, and the next test of the same program would find the
// seam still set, often with a function that refers to the ended test's
// locals.
//
//   zqtest::ScopedSeam disk(zq::SetDiskSpaceProvider, [&](const std::string&, zq::DiskSpace& space) {...});
//
// Declare the guard after everything its value refers to, so that the value
// is taken out before they go.
//
// Header only and free of GoogleTest, so that the benchmarks can use it too.
#pragma once

#include <signal.h>
#include <sys/resource.h>

#include <utility>

namespace zqtest {

template <typename Value>
class ScopedSeam {
public:
    using Setter = Value (*)(Value);

    ScopedSeam(Setter set, Value value) : m_set(set), m_previous(set(std::move(value))) {}
    ~ScopedSeam() { m_set(std::move(m_previous)); }
    ScopedSeam(const ScopedSeam&) = delete;
    ScopedSeam& operator=(const ScopedSeam&) = delete;

private:
    Setter m_set;
    Value m_previous;
};

// The value's type is the setter's, whatever is given (a lambda, nullptr).
template <typename Value, typename Given>
ScopedSeam(Value (*)(Value), Given&&) -> ScopedSeam<Value>;

// The same for a process-wide variable (a static member, a global) that a
// test sets itself: its old value goes back when the guard goes.
//
//   zqtest::ScopedValue shortLimit(UPDATEProtocol::m_UnpackTimeLimit, DWORD{1000});
template <typename Value>
class ScopedValue {
public:
    ScopedValue(Value& variable, Value value) : m_variable(variable), m_previous(std::move(variable))
    {
        m_variable = std::move(value);
    }
    ~ScopedValue() { m_variable = std::move(m_previous); }
    ScopedValue(const ScopedValue&) = delete;
    ScopedValue& operator=(const ScopedValue&) = delete;

private:
    Value& m_variable;
    Value m_previous;
};

// The value's type is the variable's, whatever is given.
template <typename Value, typename Given>
ScopedValue(Value&, Given&&) -> ScopedValue<Value>;

// A signal's disposition for one scope, the one before back at its end.
//
//   zqtest::ScopedSignal ignoreFileSize(SIGXFSZ, SIG_IGN);
class ScopedSignal {
public:
    ScopedSignal(int signal, sighandler_t handler) : m_signal(signal)
    {
        struct sigaction action {};
        action.sa_handler = handler;
        sigemptyset(&action.sa_mask);
        m_set = sigaction(signal, &action, &m_previous) == 0;
    }
    ~ScopedSignal()
    {
        if (m_set)
            sigaction(m_signal, &m_previous, nullptr);
    }
    // False when the disposition could not be set.
    bool Set() const { return m_set; }
    ScopedSignal(const ScopedSignal&) = delete;
    ScopedSignal& operator=(const ScopedSignal&) = delete;

private:
    int m_signal;
    struct sigaction m_previous {};
    bool m_set = false;
};

// The soft limit of one of this process's resources lowered for one scope;
// the limits before go back at its end. A child started meanwhile inherits
// the lower limit.
//
//   zqtest::ScopedResourceLimit smallFiles(RLIMIT_FSIZE, 2000);
class ScopedResourceLimit {
public:
    using Resource = decltype(RLIMIT_FSIZE);

    ScopedResourceLimit(Resource resource, rlim_t soft) : m_resource(resource)
    {
        if (getrlimit(resource, &m_previous) != 0)
            return;
        rlimit limited = m_previous;
        limited.rlim_cur = soft;
        m_set = setrlimit(resource, &limited) == 0;
    }
    ~ScopedResourceLimit()
    {
        if (m_set)
            setrlimit(m_resource, &m_previous);
    }
    // False when the limit could not be set.
    bool Set() const { return m_set; }
    ScopedResourceLimit(const ScopedResourceLimit&) = delete;
    ScopedResourceLimit& operator=(const ScopedResourceLimit&) = delete;

private:
    Resource m_resource;
    rlimit m_previous{};
    bool m_set = false;
};

}  // namespace zqtest
