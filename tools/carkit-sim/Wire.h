// The car kit's side of the wire format: frames of start byte 0x1C, type,
// 16-bit little-endian payload length, payload and an XOR check byte; every
// byte after the start byte that is 0x1B or 0x1C goes out as 1B 00 or 1B 01.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace carkit {

using Bytes = std::vector<uint8_t>;

enum FrameType : uint8_t {
    kConnect = 1,
    kDisconnect = 2,
    kFileRequest = 3,
    kHostNak = 4,   // from the PC
    kFileInfo = 4,  // from the car kit
    kFileHeader = 5,
    kFileData = 6,
    kFileEnd = 7,
    kNak = 8,
    kFileOk = 10,
    kFileOk2 = 11,
};

struct Frame {
    uint8_t type = 0;
    Bytes payload;
    bool checkOk = true;
};

// The unstuffed frame, start and check byte included.
Bytes BuildFrame(uint8_t type, const Bytes& payload);
// The frame as it goes on the wire.
Bytes Stuff(const Bytes& frame);

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);
uint32_t GetU32(const Bytes& bytes, size_t offset);
void PutU32(Bytes& bytes, uint32_t value);

// Assembles frames from raw bytes as they arrive, in pieces of any size.
class Decoder {
public:
    struct Stats {
        uint64_t strayBytes = 0;     // bytes outside any frame
        uint64_t droppedFrames = 0;  // frames cut short by a new start byte
        uint64_t badEscapes = 0;     // 0x1B followed by neither 00 nor 01
    };

    // Feeds bytes; complete frames are appended to `frames`.
    void Feed(const uint8_t* data, size_t size, std::vector<Frame>& frames);
    const Stats& stats() const { return m_stats; }

private:
    bool m_inFrame = false;
    bool m_escape = false;
    Bytes m_buffer;  // type, length, payload, check
    Stats m_stats;
};

std::string ToHex(const Bytes& bytes);
// Parses "1c 01 00" or "1c0100"; false on a malformed text.
bool FromHex(const std::string& text, Bytes* bytes);

}  // namespace carkit
