// A process-wide seam of the code under test (a responder, a provider, a
// hook, a switch), or one of its process-wide variables, set for one scope. The seam's setter installs the value and
// returns the one it replaces; that one goes back when the guard goes,
// however the scope ends: at its end, by an ASSERT that returns early, or by
// an exception. A reset at the end of a test's body would be skipped by the
// first two, and the next test of the same program would find the seam
// still set, often with a function that refers to the ended test's locals.
//
//   zqtest::ScopedSeam disk(zq::SetDiskSpaceProvider, [&](const std::string&, zq::DiskSpace& space) {...});
//
// Declare the guard after everything its value refers to, so that the value
// is taken out before they go.
//
// Header only and free of GoogleTest, so that the benchmarks can use it too.
#pragma once

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

}  // namespace zqtest
