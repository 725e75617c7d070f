#include "RecordingProtocol.h"

#include <chrono>

namespace updatetest {

namespace {

char s_window;  // stands for the registered window

}  // namespace

RecordingProtocol::RecordingProtocol()
{
    SetNotifyWindow(reinterpret_cast<CWnd*>(&s_window));
}

RecordingProtocol::~RecordingProtocol()
{
    WaitForSession(10000);
    SetNotifyWindow(nullptr);
}

void RecordingProtocol::NotifyStepProgress(ULONGLONG) {}

void RecordingProtocol::NotifyTotalProgress(ULONGLONG done)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_total.push_back(done);
}

void RecordingProtocol::NotifyNewFile()
{
    std::string name = GetCurrentFileName().GetString();
    std::lock_guard<std::mutex> lock(m_lock);
    m_newFiles.push_back(name);
}

void RecordingProtocol::NotifyResult(int code)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_results.push_back(code);
    m_changed.notify_all();
}

int RecordingProtocol::WaitResult(int milliseconds)
{
    int result = -1;
    {
        std::unique_lock<std::mutex> lock(m_lock);
        if (m_changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                               [this] { return !m_results.empty(); }))
            result = m_results.front();
    }
    WaitForSession(10000);
    return result;
}

std::vector<std::string> RecordingProtocol::NewFiles()
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_newFiles;
}

std::vector<ULONGLONG> RecordingProtocol::TotalProgress()
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_total;
}

int RecordingProtocol::ResultCount()
{
    std::lock_guard<std::mutex> lock(m_lock);
    return static_cast<int>(m_results.size());
}

}  // namespace updatetest
