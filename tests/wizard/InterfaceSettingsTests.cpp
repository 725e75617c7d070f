// The stored COM port and the list of the machine's serial ports.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/registry/Registry.h"
#include "platform/serial/Serial.h"
#include "tests/support/ScopedSeam.h"
#include "tests/support/TempFolder.h"
#include "wizard/InterfaceSettings.h"

namespace {

// Every test gets a per-user registry of its own.
class PortSetting : public ::testing::Test {
protected:
    static void Store(const std::string& bytes, DWORD type = REG_SZ)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\ZQUpdateManager\\Settings", 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, "PortNumber", 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                 static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    zqtest::ScopedXdgConfigHome m_home;
};

TEST_F(PortSetting, ReadsTheNumberAfterCom)
{
    InterfaceSettings settings;
    EXPECT_EQ(settings.ReadPortNumber(), 0) << "nothing stored";
    struct Case {
        std::string stored;  // the value's bytes
        int number;
    } cases[] = {
        {std::string("COM12\0", 6), 12},
        {"COM9", 9},  // stored without its NUL
        {std::string("com3\0", 5), 0},
        {std::string("COM\0", 4), 0},
        {std::string("COMx\0", 5), 0},
        {std::string("COM5abc\0", 8), 5},
        {std::string("COM 7\0", 6), 7},
        {std::string("7\0", 2), 0},
        {std::string("CO\0", 3), 0},
        {std::string("COM4\0"
                     "99",
                     7),
         4},                                         // the text ends at its NUL
        {"COM" + std::string(97, '1'), 0x7FFFFFFF},  // 100 bytes, beyond int: kept in range
        {"COM" + std::string(98, '1'), 0},           // 101 bytes: no usable value
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        Store(c.stored);
        EXPECT_EQ(settings.ReadPortNumber(), c.number);
    }
}

TEST_F(PortSetting, StoresTheTextUnchangedWithItsNul)
{
    InterfaceSettings settings;
    ASSERT_EQ(settings.WritePortNumber("COM12"), 1);
    EXPECT_EQ(settings.ReadPortNumber(), 12);
    ASSERT_EQ(settings.WritePortNumber("7"), 1);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\ZQUpdateManager\\Settings", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    BYTE data[16];
    DWORD type = 0;
    DWORD length = sizeof(data);
    ASSERT_EQ(RegQueryValueExA(key, "PortNumber", nullptr, &type, data, &length), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), length), std::string("7\0", 2));
    EXPECT_EQ(settings.ReadPortNumber(), 0);
}

TEST_F(PortSetting, ListsTheSerialPortsInRegistryOrder)
{
    const zqtest::ScopedSeam ports(zq::SetSerialCommProvider, [] {
        return zq::SerialCommList{
            {"/dev/ttyS1", "COM2"},
            {"/dev/ttyUSB0", "COM33"},
            {"/dev/ttyUSB1", "COM1234567890"},
            {"/dev/ttyUSB2", std::string(250, 'C')},  // data too long for the buffer
            {"/dev/rfcomm0", "COM2"},                 // another device under the same name
        };
    });
    InterfaceSettings settings;
    settings.m_comPorts.push_back(ComPortName{"OLD"});
    settings.EnumerateComPorts();
    ASSERT_EQ(settings.m_comPorts.size(), 4u);
    EXPECT_EQ(std::string(settings.m_comPorts[0].name, 10), std::string("COM2\0\0\0\0\0\0", 10));
    EXPECT_EQ(std::string(settings.m_comPorts[1].name, 10), std::string("COM33\0\0\0\0\0", 10));
    EXPECT_EQ(std::string(settings.m_comPorts[2].name, 10), "COM1234567");
    EXPECT_EQ(std::string(settings.m_comPorts[3].name, 10), std::string("COM2\0\0\0\0\0\0", 10));

    const zqtest::ScopedSeam none(zq::SetSerialCommProvider, nullptr);
    settings.EnumerateComPorts();
    EXPECT_TRUE(settings.m_comPorts.empty()) << "no SERIALCOMM key, no ports";
}

}  // namespace
