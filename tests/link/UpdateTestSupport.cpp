// Random content for the update, unpack and CRC tests.
#include "UpdateTestSupport.h"

#include <random>

namespace zqtest {

std::string RandomBytes(size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xFF);
    return bytes;
}

}  // namespace zqtest
