// A protocol object that records what the sessions report instead of
// posting it to a window.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "link/UPDATEProtocol.h"

namespace updatetest {

// A notification window that is no window: the notices go to the recorder.
class RecordingProtocol : public UPDATEProtocol {
public:
    RecordingProtocol();
    ~RecordingProtocol() override;

    void NotifyStepProgress(ULONGLONG done) override;
    void NotifyTotalProgress(ULONGLONG done) override;
    void NotifyNewFile() override;
    void NotifyResult(int code) override;

    // The posted result, or -1 when none came within the time. Waits for
    // the session's thread to end as well.
    int WaitResult(int milliseconds);
    std::vector<std::string> NewFiles();
    std::vector<ULONGLONG> TotalProgress();
    int ResultCount();

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<int> m_results;
    std::vector<std::string> m_newFiles;
    std::vector<ULONGLONG> m_total;
};

}  // namespace updatetest
