// The car kit's end of the serial line: the master side of a pseudo-terminal
// whose slave the PC opens as its COM port. Writes can be split into pieces
// with pauses between them (so that the PC's reads end in the middle of a
// frame), and both directions can be paced to a line speed (8N1: 10 bits a
// byte).
#pragma once

#include "Wire.h"

#include <chrono>
#include <csignal>
#include <string>

namespace carkit {

class Line {
public:
    struct Options {
        unsigned baud = 0;         // 0: as fast as the pty takes it
        size_t chunk = 0;          // 0: whole writes
        int chunkPauseMs = 30;     // longer than the PC's read interval time-out
        bool splitEscape = false;  // cut every write right after each 0x1B
    };

    explicit Line(const Options& options, volatile std::sig_atomic_t* stop) : m_options(options), m_stop(stop) {}
    ~Line() { Close(); }

    bool Open(std::string* error);
    const std::string& SlavePath() const { return m_slavePath; }
    bool IsOpen() const { return m_master >= 0; }

    // Writes the bytes; false when the line is closed or a stop was asked.
    bool Write(const Bytes& bytes);
    // Up to `size` bytes as the line delivers them, waiting up to timeoutMs:
    // the count, 0 for none yet, -1 when the line is unusable.
    long Read(uint8_t* buffer, size_t size, int timeoutMs);
    // The far side goes: the PC sees its line hang up.
    void Close();
    // Waits up to timeoutMs until the PC has closed its side of the line,
    // discarding what it still sends; true when it did.
    bool WaitForHangUp(int timeoutMs);

private:
    using Clock = std::chrono::steady_clock;
    bool WriteAll(const uint8_t* data, size_t size);
    Clock::duration ByteTime(size_t bytes) const;

    Options m_options;
    volatile std::sig_atomic_t* m_stop;
    int m_master = -1;
    int m_slave = -1;  // kept open, so the master never sees a hang-up while the PC has the port closed
    std::string m_slavePath;
    Clock::time_point m_txFree{};
    Clock::time_point m_rxClock{};
};

}  // namespace carkit
