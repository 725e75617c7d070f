// A protocol object that records what the sessions report instead of
// posting it to a window: for the link tests, the sessions' fuzz target and
// transfer-bench. Header only, so that a program which links only the link
// library can use it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "link/UPDATEProtocol.h"

namespace zqtest {

// A notification window that is no window: the notices go to the recorder.
class RecordingProtocol : public UPDATEProtocol {
public:
    RecordingProtocol() { SetNotifyWindow(reinterpret_cast<CWnd*>(&StandInWindow())); }
    // A session that still runs (its test returned early, by a failed
    // ASSERT) is ended at once and waited for: it must not run on after the
    // object is gone. The cancel that ends it is taken back, as the next
    // test starts with none.
    ~RecordingProtocol() override
    {
        if (!WaitForSession(0)) {
            Close();
            if (!WaitForSession(SESSION_END_WAIT_MS)) {
                std::fprintf(stderr, "a session did not end within %d ms of its close\n", SESSION_END_WAIT_MS);
                std::abort();
            }
            ResetCancel();
        }
        SetNotifyWindow(nullptr);
    }

    void NotifyStepProgress(ULONGLONG) override {}
    void NotifyTotalProgress(ULONGLONG done) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_total.push_back(done);
    }
    void NotifyNewFile() override
    {
        std::string name = GetCurrentFileName().GetString();
        std::lock_guard<std::mutex> lock(m_lock);
        m_newFiles.push_back(name);
    }
    void NotifyResult(int code) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_results.push_back(code);
        m_changed.notify_all();
    }

    // The first posted result that no earlier call has returned, or -1 when
    // none came within the time; so an object that serves one session after
    // another hands each call its own session's result. Waits for the
    // session's thread to end as well (up to 10 s).
    int WaitResult(int milliseconds)
    {
        int result = -1;
        {
            std::unique_lock<std::mutex> lock(m_lock);
            if (m_changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                   [this] { return m_results.size() > m_taken; }))
                result = m_results[m_taken++];
        }
        WaitForSession(10000);
        return result;
    }
    int ResultCount()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return static_cast<int>(m_results.size());
    }
    std::vector<std::string> NewFiles()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_newFiles;
    }
    std::vector<ULONGLONG> TotalProgress()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_total;
    }
    // Forgets what was recorded, for one object used for many sessions.
    void Reset()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_results.clear();
        m_taken = 0;
        m_newFiles.clear();
        m_total.clear();
    }

private:
    // Far beyond the time a closed session needs to end.
    static constexpr int SESSION_END_WAIT_MS = 30000;

    static char& StandInWindow()
    {
        static char window;
        return window;
    }

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<int> m_results;
    size_t m_taken = 0;  // how many of them WaitResult has returned
    std::vector<std::string> m_newFiles;
    std::vector<ULONGLONG> m_total;
};

}  // namespace zqtest
