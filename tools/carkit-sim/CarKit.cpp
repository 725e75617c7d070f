// The car kit: its answers to each frame, the checks of the files it receives,
// its misbehaviour, and its report.
#include "CarKit.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace carkit {

namespace {

std::string Encode(const std::string& value)
{
    std::string out;
    char hex[4];
    for (unsigned char c : value) {
        if (c <= ' ' || c == '%' || c == '=' || c >= 0x7F) {
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string Hex32(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

const char* EventOf(uint8_t type)
{
    switch (type) {
    case kConnect:
        return "connect";
    case kDisconnect:
        return "disconnect";
    case kFileRequest:
        return "request";
    case kHostNak:
        return "hostnak";
    case kFileHeader:
        return "header";
    case kFileData:
        return "data";
    case kFileEnd:
        return "end";
    default:
        return "frame";
    }
}

// The name inside a request or header payload, up to its NUL.
std::string NameAt(const Bytes& payload, size_t offset, bool* terminated)
{
    std::string name;
    *terminated = false;
    for (size_t i = offset; i < payload.size(); ++i) {
        if (payload[i] == 0) {
            *terminated = i + 1 == payload.size();
            break;
        }
        name += static_cast<char>(payload[i]);
    }
    return name;
}

// A received name as a file name in the receive folder: no folders, no "..".
std::string SafeFileName(const std::string& name)
{
    std::string safe;
    for (char c : name)
        safe += (c == '/' || c == '\\' || c == '\0') ? '_' : c;
    if (safe.empty() || safe == "." || safe == "..")
        safe = "_" + safe;
    return safe;
}

}  // namespace

bool Report::Open(const std::string& path)
{
    m_fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    return m_fd >= 0;
}

Report::~Report()
{
    if (m_fd >= 0)
        close(m_fd);
}

void Report::Add(const std::string& event, const std::vector<std::pair<std::string, std::string>>& fields)
{
    const long long ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_start).count();
    std::string line = event + " t=" + std::to_string(ms);
    for (const auto& field : fields)
        line += ' ' + field.first + '=' + Encode(field.second);
    line += '\n';
    if (m_fd >= 0) {
        // One write per line, so a reader never sees half a line.
        ssize_t ignored = write(m_fd, line.data(), line.size());
        (void)ignored;
    }
}

CarKit::CarKit(Config config, Line& line, Report& report) : m_config(std::move(config)), m_line(line), m_report(report)
{
}

long long CarKit::Now() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_start).count();
}

bool CarKit::ConfirmsFiles() const
{
    if (m_config.fileOk == "always")
        return true;
    if (m_config.fileOk == "never")
        return false;
    // Older software of these two models does not confirm files.
    const long version = std::strtol(m_config.software.c_str(), nullptr, 10);
    if (m_config.model == "RX7150")
        return version > 137;
    if (m_config.model == "RX5230")
        return version > 111;
    return true;
}

void CarKit::OnBytes(const uint8_t* data, size_t size)
{
    std::vector<Frame> frames;
    m_decoder.Feed(data, size, frames);
    const Decoder::Stats& s = m_decoder.stats();
    if (s.strayBytes != m_reportedStats.strayBytes || s.droppedFrames != m_reportedStats.droppedFrames ||
        s.badEscapes != m_reportedStats.badEscapes) {
        m_report.Add("noise", {{"stray", std::to_string(s.strayBytes)},
                               {"dropped", std::to_string(s.droppedFrames)},
                               {"badescape", std::to_string(s.badEscapes)}});
        m_reportedStats = s;
    }
    for (const Frame& frame : frames) {
        if (m_unplug || m_finished)
            return;
        Handle(frame);
    }
}

void CarKit::Handle(const Frame& frame)
{
    const std::string event = EventOf(frame.type);
    std::vector<std::pair<std::string, std::string>> fields = {{"type", std::to_string(frame.type)},
                                                               {"len", std::to_string(frame.payload.size())},
                                                               {"check", frame.checkOk ? "ok" : "bad"}};
    if (frame.type == kFileData || frame.type == kHostNak)
        fields.emplace_back("seq", std::to_string(GetU32(frame.payload, 0)));
    if (frame.type == kHostNak && frame.payload.size() >= 5)
        fields.emplace_back("reason", std::to_string(frame.payload[4]));
    m_report.Add("rx", fields);

    const std::string endedName = m_rx.name;
    Receive(frame, event);

    const int nth = ++m_counts[event];
    const int nthAny = ++m_counts["*any"];
    bool answered = false;
    bool silenced = m_config.silent;
    for (Rule& rule : m_config.rules) {
        const bool any = rule.event == "any";
        if (!any && rule.event != event)
            continue;
        if (!Matches(rule, event == "end" ? endedName : std::string(), frame, any ? nthAny : nth))
            continue;
        ++rule.fired;
        m_report.Add("rule", {{"line", std::to_string(rule.line)}, {"event", event}});
        for (const Action& action : rule.actions) {
            Perform(action, frame, event, &answered, &silenced);
            if (m_unplug)
                return;
        }
    }
    if (!answered && !silenced)
        Answer(frame, event);
    Flush();
    if (frame.type == kDisconnect && m_config.exitAfterDisconnect)
        m_finished = true;
}

bool CarKit::Matches(Rule& rule, const std::string& endedName, const Frame& frame, int nth) const
{
    if (rule.times != 0 && rule.fired >= rule.times)
        return false;
    for (const auto& selector : rule.selectors) {
        const std::string& key = selector.first;
        const unsigned long value = std::strtoul(selector.second.c_str(), nullptr, 0);
        if (key == "nth" && static_cast<unsigned long>(nth) != value)
            return false;
        if (key == "type" && frame.type != value)
            return false;
        if (key == "seq" && (frame.type != kFileData || frame.payload.size() < 4 || GetU32(frame.payload, 0) != value))
            return false;
        if (key == "last" &&
            (frame.type != kFileData || frame.payload.size() < 4 || (frame.payload.size() - 4 < 1024) != (value != 0)))
            return false;
        if (key == "name") {
            bool terminated;
            std::string name;
            if (frame.type == kFileRequest)
                name = NameAt(frame.payload, 0, &terminated);
            else if (frame.type == kFileHeader)
                name = NameAt(frame.payload, 4, &terminated);
            else if (frame.type == kFileEnd)
                name = endedName;
            if (name != selector.second)
                return false;
        }
    }
    return true;
}

void CarKit::Perform(const Action& action, const Frame& frame, const std::string& event, bool* answered, bool* silenced)
{
    const std::string& verb = action.verb;
    auto number = [&](size_t i, unsigned long fallback) {
        return i < action.args.size() ? std::strtoul(action.args[i].c_str(), nullptr, 0) : fallback;
    };
    Bytes bytes;
    if (verb == "answer") {
        if (!*answered)
            Answer(frame, event);
        *answered = true;
    } else if (verb == "silence") {
        *silenced = true;
    } else if (verb == "send") {
        if (action.args.size() > 1)
            FromHex(action.args[1], &bytes);
        Send(static_cast<uint8_t>(number(0, 0)), bytes);
    } else if (verb == "nak") {
        PutU32(bytes, static_cast<uint32_t>(number(1, 0)));
        bytes.push_back(static_cast<uint8_t>(number(0, 0)));
        Send(kNak, bytes);
    } else if (verb == "connect") {
        if (!action.args.empty())
            FromHex(action.args[0], &bytes);
        Send(kConnect, bytes);
    } else if (verb == "disconnect") {
        Send(kDisconnect, bytes);
    } else if (verb == "fileok") {
        Send(static_cast<uint8_t>(number(0, m_config.fileOkType)), bytes);
    } else if (verb == "raw") {
        FromHex(action.args[0], &bytes);
        SendRaw(bytes);
    } else if (verb == "corrupt") {
        m_corruptNext = action.args.empty() ? "payload" : "check";
    } else if (verb == "truncate") {
        m_truncateNext = static_cast<long>(number(0, 0));
    } else if (verb == "delay") {
        Flush();
        std::this_thread::sleep_for(std::chrono::milliseconds(number(0, 0)));
    } else if (verb == "unplug") {
        Flush();
        m_report.Add("unplug");
        m_unplug = true;
    }
}

void CarKit::Answer(const Frame& frame, const std::string& event)
{
    if (event == "connect") {
        Send(kConnect, m_config.connectPayload);
    } else if (event == "disconnect") {
        Send(kDisconnect, {});
    } else if (event == "request") {
        bool terminated;
        const std::string name = NameAt(frame.payload, 0, &terminated);
        if (name != "product.xml") {
            // This kit has no other file to give.
            Bytes nak;
            PutU32(nak, 0);
            nak.push_back(1);
            Send(kNak, nak);
            return;
        }
        const std::string& doc = m_config.product;
        const uint32_t crc = Crc32(reinterpret_cast<const uint8_t*>(doc.data()), doc.size());
        Bytes info;
        PutU32(info, static_cast<uint32_t>(doc.size()));
        PutU32(info, crc);
        Send(kFileInfo, info);
        std::vector<uint32_t> order = m_config.productOrder;
        if (order.empty()) {
            const uint32_t count = static_cast<uint32_t>(doc.empty() ? 1 : (doc.size() + 1023) / 1024);
            for (uint32_t i = 0; i < count; ++i)
                order.push_back(i);
        }
        for (uint32_t seq : order) {
            Bytes data;
            PutU32(data, seq);
            const size_t at = static_cast<size_t>(seq) * 1024;
            if (at < doc.size()) {
                const size_t n = std::min<size_t>(1024, doc.size() - at);
                data.insert(data.end(), doc.begin() + static_cast<long>(at), doc.begin() + static_cast<long>(at + n));
            }
            Send(kFileData, data);
            if (m_unplug)
                return;
        }
        Send(kFileEnd, info);
    } else if (event == "end") {
        if (m_lastFileOk && ConfirmsFiles())
            Send(m_config.fileOkType, {});
    }
}

void CarKit::Receive(const Frame& frame, const std::string& event)
{
    if (event == "header") {
        if (m_rx.active) {
            m_report.Add("file", {{"name", m_rx.name}, {"status", "bad"}, {"faults", "no-end"}});
        }
        m_rx = Reception();
        m_rx.active = true;
        bool terminated = false;
        m_rx.name = NameAt(frame.payload, 4, &terminated);
        m_rx.announced = GetU32(frame.payload, 0);
        m_rx.headerOk = frame.payload.size() >= 5 && terminated && frame.checkOk;
        m_rx.tHeader = Now();
        m_report.Add(
            "header",
            {{"name", m_rx.name}, {"size", std::to_string(m_rx.announced)}, {"ok", m_rx.headerOk ? "1" : "0"}});
    } else if (event == "data") {
        if (!m_rx.active) {
            m_report.Add("error", {{"what", "data-without-header"}});
            return;
        }
        if (frame.payload.size() < 4) {
            m_report.Add("error", {{"what", "short-data-frame"}});
            return;
        }
        const uint32_t seq = GetU32(frame.payload, 0);
        const size_t length = frame.payload.size() - 4;
        ++m_rx.frames;
        if (m_rx.tFirst < 0)
            m_rx.tFirst = Now();
        m_rx.tLast = Now();
        if (length > 1024)
            m_rx.oversize = true;
        if (seq < m_rx.expected) {
            // The PC repeats from an earlier frame.
            ++m_rx.rewinds;
            const size_t at = static_cast<size_t>(seq) * 1024;
            if (at <= m_rx.data.size())
                m_rx.data.resize(at);
            if (m_rx.lastShortSeq >= static_cast<long long>(seq))
                m_rx.lastShortSeq = -1;
        } else if (seq > m_rx.expected) {
            ++m_rx.gaps;
            m_report.Add(
                "gap",
                {{"name", m_rx.name}, {"expected", std::to_string(m_rx.expected)}, {"seq", std::to_string(seq)}});
        }
        if (m_rx.lastShortSeq >= 0)
            m_rx.dataAfterLast = true;
        m_rx.data.insert(m_rx.data.end(), frame.payload.begin() + 4, frame.payload.end());
        m_rx.expected = seq + 1;
        m_rx.lastFrameFull = length == 1024;
        if (length < 1024)
            m_rx.lastShortSeq = seq;
    } else if (event == "end") {
        EndFile(frame);
    }
}

void CarKit::EndFile(const Frame& frame)
{
    if (!m_rx.active) {
        m_report.Add("error", {{"what", "end-without-header"}});
        m_lastFileOk = false;
        return;
    }
    const uint32_t endSize = GetU32(frame.payload, 0);
    const uint32_t endCrc = GetU32(frame.payload, 4);
    const uint32_t crc = Crc32(m_rx.data.data(), m_rx.data.size());
    std::string faults;
    auto fault = [&faults](const char* what) { faults += faults.empty() ? what : std::string(",") + what; };
    if (!m_rx.headerOk)
        fault("header");
    if (frame.payload.size() != 8 || !frame.checkOk)
        fault("end-frame");
    if (m_rx.frames == 0)
        fault("no-data");
    if (m_rx.announced != m_rx.data.size() || endSize != m_rx.data.size())
        fault("size");
    if (endCrc != crc)
        fault("crc");
    if (m_rx.gaps > 0)
        fault("seq");
    if (m_rx.dataAfterLast)
        fault("data-after-last");
    if (m_rx.lastFrameFull)
        fault("last-frame-full");
    if (m_rx.oversize)
        fault("oversize");
    m_lastFileOk = faults.empty();

    std::string stored;
    if (!m_config.receiveDir.empty()) {
        stored = m_config.receiveDir + "/" + SafeFileName(m_rx.name);
        FILE* out = std::fopen(stored.c_str(), "wb");
        if (out) {
            if (!m_rx.data.empty())
                std::fwrite(m_rx.data.data(), 1, m_rx.data.size(), out);
            std::fclose(out);
        } else {
            stored.clear();
        }
    }
    m_report.Add("file", {{"name", m_rx.name},
                          {"size", std::to_string(m_rx.announced)},
                          {"end_size", std::to_string(endSize)},
                          {"received", std::to_string(m_rx.data.size())},
                          {"crc", Hex32(endCrc)},
                          {"received_crc", Hex32(crc)},
                          {"frames", std::to_string(m_rx.frames)},
                          {"gaps", std::to_string(m_rx.gaps)},
                          {"rewinds", std::to_string(m_rx.rewinds)},
                          {"status", m_lastFileOk ? "ok" : "bad"},
                          {"faults", faults},
                          {"stored", stored},
                          {"t_header", std::to_string(m_rx.tHeader)},
                          {"t_first", std::to_string(m_rx.tFirst)},
                          {"t_last", std::to_string(m_rx.tLast)},
                          {"t_end", std::to_string(Now())}});
    m_rx = Reception();
    m_rx.name = "";
}

void CarKit::Send(uint8_t type, const Bytes& payload)
{
    Bytes frame = BuildFrame(type, payload);
    if (m_corruptNext == "payload" && frame.size() > 5)
        frame[frame.size() - 2] ^= 0x55;
    else if (!m_corruptNext.empty())
        frame.back() ^= 0x55;
    const bool corrupted = !m_corruptNext.empty();
    m_corruptNext.clear();
    Bytes wire = Stuff(frame);
    bool truncated = false;
    if (m_truncateNext >= 0 && static_cast<size_t>(m_truncateNext) < wire.size()) {
        wire.resize(static_cast<size_t>(m_truncateNext));
        truncated = true;
    }
    m_truncateNext = -1;
    std::vector<std::pair<std::string, std::string>> fields = {{"type", std::to_string(type)},
                                                               {"len", std::to_string(payload.size())}};
    if (type == kFileData || type == kNak)
        fields.emplace_back("seq", std::to_string(GetU32(payload, 0)));
    if (type == kNak && payload.size() >= 5)
        fields.emplace_back("reason", std::to_string(payload[4]));
    if (corrupted)
        fields.emplace_back("corrupted", "1");
    if (truncated)
        fields.emplace_back("truncated", std::to_string(wire.size()));
    m_report.Add("tx", fields);
    m_out.insert(m_out.end(), m_config.garbage.begin(), m_config.garbage.end());
    m_out.insert(m_out.end(), wire.begin(), wire.end());
    if (!m_config.coalesce)
        Flush();
}

void CarKit::SendRaw(const Bytes& bytes)
{
    m_report.Add("txraw", {{"bytes", ToHex(bytes)}});
    m_out.insert(m_out.end(), bytes.begin(), bytes.end());
    if (!m_config.coalesce)
        Flush();
}

void CarKit::Flush()
{
    if (m_out.empty())
        return;
    Bytes out;
    out.swap(m_out);
    if (!m_line.Write(out))
        m_report.Add("error", {{"what", "write-failed"}});
}

}  // namespace carkit
