// The file CRC-32 against a bitwise reference, and files that cannot be read.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "link/FileCrc32.h"
#include "platform/files/CFile.h"
#include "UpdateTestSupport.h"
#include "platform/paths/DrivePaths.h"
#include "tests/support/Crc32Reference.h"

namespace {

TEST(FileCrc32, StandardValues)
{
    zqtest::TempFolder folder;
    struct Case {
        std::string content;
        DWORD crc;
    } cases[] = {
        {"", 0},
        {"123456789", 0xCBF43926u},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
    };
    FileCrc32 crc32;
    for (const Case& c : cases) {
        std::string path = folder.Write("f.bin", c.content);
        EXPECT_EQ(c.crc, crc32.Compute(zq::LinuxToWindows(path))) << c.content;
    }
    EXPECT_TRUE(crc32.m_ErrorText.IsEmpty());
}

TEST(FileCrc32, BlocksOfTheBufferAndOneByteMore)
{
    zqtest::TempFolder folder;
    for (size_t size : {size_t{65535}, size_t{65536}, size_t{65537}, size_t{3 * 65536 + 17}}) {
        std::string data = zqtest::RandomBytes(size, static_cast<unsigned>(size));
        std::string path = folder.Write("f.bin", data);
        FileCrc32 crc32;
        EXPECT_EQ(zqtest::ReferenceCrc32(data), crc32.Compute(zq::LinuxToWindows(path))) << size;
        EXPECT_EQ(0u, crc32.m_Remaining);
    }
}

TEST(FileCrc32, FilesThatCannotBeOpenedGiveZero)
{
    zqtest::TempFolder folder;
    FileCrc32 crc32;
    EXPECT_EQ(0u, crc32.Compute(zq::LinuxToWindows(folder.Linux() + "/missing.bin")));
    EXPECT_STREQ("open file for calculating CRC error", crc32.m_ErrorText);

    // The file is opened unshared: one that is held open cannot be read.
    std::string path = folder.Write("held.bin", "123456789");
    CFile held;
    ASSERT_TRUE(held.Open(zq::LinuxToWindows(path).c_str(), CFile::modeRead));
    FileCrc32 second;
    EXPECT_EQ(0u, second.Compute(zq::LinuxToWindows(path)));
    EXPECT_STREQ("open file for calculating CRC error", second.m_ErrorText);
    held.Close();
    EXPECT_EQ(0xCBF43926u, second.Compute(zq::LinuxToWindows(path)));
}

TEST(FileCrc32, AFolderIsNoFile)
{
    zqtest::TempFolder folder;
    FileCrc32 crc32;
    EXPECT_EQ(0u, crc32.Compute(zq::LinuxToWindows(folder.Linux())));
}

}  // namespace
