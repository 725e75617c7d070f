// The car kit's behaviour: the answers the PC relies on, the checks of every
// file it receives, and the misbehaviour that the options and the scenario
// ask for.
#pragma once

#include "Line.h"
#include "Scenario.h"
#include "Wire.h"

#include <chrono>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace carkit {

// The report: one line per event, "<event> key=value ...", appended to a
// file as it happens. Values are percent-encoded (blank, '%', '=', control
// and non-ASCII bytes), so a line splits on blanks and each field on its
// first '='.
class Report {
public:
    bool Open(const std::string& path);
    void Add(const std::string& event, const std::vector<std::pair<std::string, std::string>>& fields = {});
    ~Report();

private:
    int m_fd = -1;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

struct Config {
    std::string model = "RX7150";
    // 138 is the first software of the RX7150 that confirms each file, so the
    // default kit runs an update without the PC's 10 s wait for a confirmation
    // that never comes; --software 137 gives that wait.
    std::string software = "138";
    std::string product;                 // the product.xml served
    Bytes connectPayload;                // the payload of the connect answer
    std::vector<uint32_t> productOrder;  // sequence numbers of product.xml's data frames, in order
    std::string fileOk = "auto";         // auto (by model and version), always, never
    uint8_t fileOkType = kFileOk;
    std::string receiveDir;  // where received files are stored ("" none)
    bool coalesce = false;   // all frames of one answer in one write
    Bytes garbage;           // bytes sent before every frame
    bool silent = false;     // no normal answers at all
    bool exitAfterDisconnect = false;
    std::vector<Rule> rules;
};

class CarKit {
public:
    CarKit(Config config, Line& line, Report& report);

    void OnBytes(const uint8_t* data, size_t size);
    bool Unplugged() const { return m_unplug; }
    bool Finished() const { return m_finished; }
    // Whether this kit confirms each file with PtFileOK.
    bool ConfirmsFiles() const;

private:
    struct Reception {
        bool active = false;
        std::string name;
        uint32_t announced = 0;
        bool headerOk = true;
        Bytes data;
        uint32_t expected = 0;
        uint32_t frames = 0;
        uint32_t gaps = 0;
        uint32_t rewinds = 0;
        long long lastShortSeq = -1;
        bool lastFrameFull = false;
        bool dataAfterLast = false;
        bool oversize = false;
        long long tHeader = 0, tFirst = -1, tLast = -1;
    };

    void Handle(const Frame& frame);
    bool Matches(Rule& rule, const std::string& event, const Frame& frame, int nth) const;
    void Perform(const Action& action, const Frame& frame, const std::string& event, bool* answered, bool* silenced);
    void Answer(const Frame& frame, const std::string& event);
    void Receive(const Frame& frame, const std::string& event);
    void EndFile(const Frame& frame);
    void Send(uint8_t type, const Bytes& payload);
    void SendRaw(const Bytes& bytes);
    void Flush();
    long long Now() const;

    Config m_config;
    Line& m_line;
    Report& m_report;
    Decoder m_decoder;
    Decoder::Stats m_reportedStats;
    Bytes m_out;
    std::map<std::string, int> m_counts;
    Reception m_rx;
    bool m_lastFileOk = false;
    std::string m_corruptNext;  // "", "payload" or "check"
    long m_truncateNext = -1;
    bool m_unplug = false;
    bool m_finished = false;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

}  // namespace carkit
