// Random content for the update, unpack and CRC tests.
#include "UpdateTestSupport.h"

#include <random>

#include "container/UPDATEModel.h"

namespace zqtest {

std::string RandomBytes(size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xFF);
    return bytes;
}

void SetUpModelToSend(const std::string& file)
{
    g_UpdateModel.Reset();
    UPDATEDevice device;
    device.name = "RX7150";
    device.software = "138";
    g_UpdateModel.m_Product.devices.push_back(device);
    g_UpdateModel.m_FileList = {file.c_str()};
}

}  // namespace zqtest
