// Frames built, stuffed and decoded; the CRC-32 and the hex and number
// helpers of the car kit's side.
#include "Wire.h"

#include <cctype>

namespace carkit {

namespace {

const uint8_t kStart = 0x1C;
const uint8_t kEscape = 0x1B;

}  // namespace

Bytes BuildFrame(uint8_t type, const Bytes& payload)
{
    Bytes frame;
    frame.reserve(payload.size() + 5);
    frame.push_back(kStart);
    frame.push_back(type);
    frame.push_back(static_cast<uint8_t>(payload.size() & 0xFF));
    frame.push_back(static_cast<uint8_t>((payload.size() >> 8) & 0xFF));
    frame.insert(frame.end(), payload.begin(), payload.end());
    uint8_t check = 0;
    for (uint8_t b : frame)
        check ^= b;
    frame.push_back(check);
    return frame;
}

Bytes Stuff(const Bytes& frame)
{
    Bytes wire;
    wire.reserve(frame.size() * 2);
    for (size_t i = 0; i < frame.size(); ++i) {
        const uint8_t b = frame[i];
        if (i > 0 && (b == kStart || b == kEscape)) {
            wire.push_back(kEscape);
            wire.push_back(b == kEscape ? 0x00 : 0x01);
        } else {
            wire.push_back(b);
        }
    }
    return wire;
}

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc)
{
    static uint32_t table[256];
    static bool built = false;
    if (!built) {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            table[n] = c;
        }
        built = true;
    }
    crc = ~crc;
    for (size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

uint32_t GetU32(const Bytes& bytes, size_t offset)
{
    if (bytes.size() < offset + 4)
        return 0;
    return static_cast<uint32_t>(bytes[offset]) | (static_cast<uint32_t>(bytes[offset + 1]) << 8) |
           (static_cast<uint32_t>(bytes[offset + 2]) << 16) | (static_cast<uint32_t>(bytes[offset + 3]) << 24);
}

void PutU32(Bytes& bytes, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void Decoder::Feed(const uint8_t* data, size_t size, std::vector<Frame>& frames)
{
    for (size_t i = 0; i < size; ++i) {
        const uint8_t raw = data[i];
        if (raw == kStart) {
            if (m_inFrame)
                ++m_stats.droppedFrames;
            m_inFrame = true;
            m_escape = false;
            m_buffer.clear();
            continue;
        }
        if (!m_inFrame) {
            ++m_stats.strayBytes;
            continue;
        }
        uint8_t value;
        if (m_escape) {
            m_escape = false;
            if (raw == 0x00) {
                value = kEscape;
            } else if (raw == 0x01) {
                value = kStart;
            } else {
                ++m_stats.badEscapes;
                value = raw;
            }
        } else if (raw == kEscape) {
            m_escape = true;
            continue;
        } else {
            value = raw;
        }
        m_buffer.push_back(value);
        if (m_buffer.size() < 3)
            continue;
        const size_t length = m_buffer[1] | (static_cast<size_t>(m_buffer[2]) << 8);
        if (m_buffer.size() < length + 4)
            continue;
        Frame frame;
        frame.type = m_buffer[0];
        frame.payload.assign(m_buffer.begin() + 3, m_buffer.begin() + 3 + static_cast<long>(length));
        uint8_t check = kStart;
        for (size_t k = 0; k + 1 < m_buffer.size(); ++k)
            check ^= m_buffer[k];
        frame.checkOk = check == m_buffer.back();
        frames.push_back(std::move(frame));
        m_inFrame = false;
        m_buffer.clear();
    }
}

std::string ToHex(const Bytes& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

bool FromHex(const std::string& text, Bytes* bytes)
{
    bytes->clear();
    int high = -1;
    for (char c : text) {
        if (c == ' ' || c == ',' || c == ':')
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
        int v = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                                                            : (std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
        if (high < 0) {
            high = v;
        } else {
            bytes->push_back(static_cast<uint8_t>(high * 16 + v));
            high = -1;
        }
    }
    return high < 0;
}

}  // namespace carkit
