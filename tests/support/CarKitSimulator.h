// The car-kit simulator (tools/carkit-sim) as a child process for the tests.
//
// The object makes a temporary folder and points XDG_CONFIG_HOME of this
// process at it (the destructor restores the old value and removes the
// folder), so the COM map and the per-user registry of the test are its own
// and tests can run in parallel with the same COM number. Build it before
// any thread that reads the environment starts.
//
//   CarKitSimulator sim(201);
//   ASSERT_TRUE(sim.Start({"--model", "RX7150", "--software", "138"},
//                         "on data seq=3 do nak 2 1\n"));
//   ... the system opens "\\.\COM201" ...
//   ASSERT_TRUE(sim.WaitFor("file", 2)) << "two files at the kit within 10 s";
//   EXPECT_EQ("ok", sim.Events("file")[0].Get("status"));
//   sim.Stop();
//
// Ports above 128 have no default device, so a test never reaches real
// hardware through them, even after the simulator has gone.
#pragma once

#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

#include "tests/support/TempFolder.h"

namespace zqtest {

class CarKitSimulator {
public:
    // One line of the simulator's report: "<name> key=value ...".
    struct Event {
        std::string name;
        std::map<std::string, std::string> fields;
        // The field's value, "" when it is missing.
        std::string Get(const std::string& key) const;
        long long Number(const std::string& key) const;
    };

    explicit CarKitSimulator(int comNumber = 201);
    ~CarKitSimulator();
    CarKitSimulator(const CarKitSimulator&) = delete;
    CarKitSimulator& operator=(const CarKitSimulator&) = delete;

    // Starts carkit-sim with the extra options and scenario rules (written to
    // a script file), and waits up to timeoutMs until its port is linked.
    // False, with Error() set, when it did not come up.
    bool Start(const std::vector<std::string>& options = {}, const std::string& scenario = "", int timeoutMs = 10000);
    // Ends it (SIGTERM; SIGKILL when it has not ended after 5 s) and reaps
    // it. Safe to call twice, and called by the destructor.
    void Stop();
    // Whether the process still runs (an unplugged kit ends by itself).
    bool Running();

    int ComNumber() const { return m_com; }
    // "\\.\COM<n>", as the system opens it.
    std::string PortName() const;
    const std::string& PtyPath() const { return m_pty; }
    // The temporary folder, also XDG_CONFIG_HOME while the object lives.
    const std::string& Folder() const { return m_folder; }
    // Where received files are stored (passed as --receive-dir).
    std::string ReceivedFolder() const { return m_folder + "/received"; }
    // Writes a file into the folder and returns its path (e.g. a product.xml
    // for "--product").
    std::string WriteFile(const std::string& name, const std::string& content) const;

    std::vector<Event> Report() const;
    std::vector<Event> Events(const std::string& name) const;
    // Waits until the report holds at least `count` events of that name.
    bool WaitFor(const std::string& name, size_t count = 1, int timeoutMs = 10000) const;
    // The content of a received file ("" when there is none).
    std::string ReceivedFile(const std::string& name) const;
    // What the simulator printed (its options errors, among others).
    std::string Log() const;
    const std::string& Error() const { return m_error; }

private:
    int m_com;
    ScopedXdgConfigHome m_home;
    std::string m_folder = m_home.Linux();
    pid_t m_pid = -1;
    std::string m_pty;
    std::string m_error;
};

}  // namespace zqtest
