// The CRC-32 of the IEEE polynomial, reflected (the one zip files and the
// car kit use), computed bit by bit without a table: the reference that the
// table-driven code of the link and of the simulator is checked against.
//
// Header only and free of GoogleTest, like the other host helpers.
#pragma once

#include <cstdint>
#include <string>

namespace zqtest {

inline uint32_t ReferenceCrc32(const std::string& bytes)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ ((crc & 1u) ? 0xEDB88320u : 0u);
    }
    return ~crc;
}

}  // namespace zqtest
