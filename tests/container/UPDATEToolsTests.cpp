// The free-space check of the unpack step, on a fake disk and on the real one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "container/UPDATETools.h"
#include "platform/files/FileApi.h"
#include "tests/support/ScopedSeam.h"

namespace {

// Gives every measurement the same answer and records the folders asked.
class FakeDisk {
public:
    FakeDisk(ULONGLONG totalFree, ULONGLONG freeToCaller, bool works = true)
        : m_seam(zq::SetDiskSpaceProvider,
                 [this, totalFree, freeToCaller, works](const std::string& folder, zq::DiskSpace& space) {
                     m_folders.push_back(folder);
                     space.freeToCaller = freeToCaller;
                     space.total = totalFree * 2;
                     space.totalFree = totalFree;
                     return works;
                 })
    {
    }
    const std::vector<std::string>& Folders() const { return m_folders; }

private:
    std::vector<std::string> m_folders;
    zqtest::ScopedSeam<zq::DiskSpaceProvider> m_seam;  // after what it fills, so that it goes first
};

TEST(UPDATETools, PathsWithoutDriveLetterMeasureNothing)
{
    FakeDisk disk(1000000, 1000000);
    for (const char* path :
         {static_cast<const char*>(nullptr), "", "\\\\server\\share\\Repository", "Temp\\Repository", "/tmp"}) {
        EXPECT_EQ(0u, UPDATETools::GetFreeDiskSpace(path)) << (path ? path : "NULL");
        EXPECT_EQ(0, UPDATETools::HasEnoughDiskSpace(path, 0)) << (path ? path : "NULL");
    }
    EXPECT_TRUE(disk.Folders().empty());
}

TEST(UPDATETools, MeasuresTheNearestFolderAndTheBytesTheUserMayWrite)
{
    // Blocks kept for root: fewer bytes free to the caller than on the disk.
    FakeDisk disk(5000, 1000);
    EXPECT_EQ(1000u, UPDATETools::GetFreeDiskSpace("Z:\\tmp\\no such folder\\Repository"));
    ASSERT_FALSE(disk.Folders().empty());
    EXPECT_EQ("/tmp", disk.Folders()[0]);
}

TEST(UPDATETools, EqualFreeSpaceIsNotEnough)
{
    FakeDisk disk(2000, 2000);
    EXPECT_EQ(0, UPDATETools::HasEnoughDiskSpace("Z:\\tmp", 2000));
    EXPECT_EQ(1, UPDATETools::HasEnoughDiskSpace("Z:\\tmp", 1999));
}

TEST(UPDATETools, ComparesInFull64Bits)
{
    const ULONGLONG fourGiB = 4ull << 30;
    FakeDisk disk(fourGiB + 1, fourGiB + 1);
    EXPECT_EQ(1, UPDATETools::HasEnoughDiskSpace("Z:\\", fourGiB));
    EXPECT_EQ(0, UPDATETools::HasEnoughDiskSpace("Z:\\", fourGiB + 1));
    EXPECT_EQ(0, UPDATETools::HasEnoughDiskSpace("Z:\\", 2 * fourGiB));
}

TEST(UPDATETools, EveryFailedMeasurementGivesZero)
{
    FakeDisk disk(5000, 5000, false);
    EXPECT_EQ(0u, UPDATETools::GetFreeDiskSpace("Z:\\tmp"));
    EXPECT_EQ(0, UPDATETools::HasEnoughDiskSpace("Z:\\tmp", 0));
}

TEST(UPDATETools, OtherDrivesAndTheRealRoot)
{
    EXPECT_EQ(0u, UPDATETools::GetFreeDiskSpace("C:\\Temp\\Repository"));
    EXPECT_GT(UPDATETools::GetFreeDiskSpace("Z:\\tmp"), 0u);
    // A drive without a backslash measures its root. The figures are fixed
    // here: two live readings drift while other processes write.
    FakeDisk disk(7000, 7000);
    EXPECT_EQ(7000u, UPDATETools::GetFreeDiskSpace("Z:"));
    EXPECT_EQ(7000u, UPDATETools::GetFreeDiskSpace("Z:\\"));
    ASSERT_EQ(2u, disk.Folders().size());
    EXPECT_EQ(disk.Folders()[0], disk.Folders()[1]);
}

}  // namespace
