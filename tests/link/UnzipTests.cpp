// The unpack step with the real 7za of the program folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <utility>
#include <string>
#include <vector>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/link/RecordingProtocol.h"
#include "UpdateTestSupport.h"
#include "platform/paths/DrivePaths.h"
#include "container/UPDATETools.h"
#include "link/FileCrc32.h"
#include "platform/files/CFile.h"
#include "platform/files/FileApi.h"
#include "platform/threads/Threads.h"
#include "tests/support/HostFacts.h"
#include "tests/support/Processes.h"
#include "tests/support/StandInUnpacker.h"
#include "tests/support/ScopedSeam.h"

namespace {


const int RESULT_WAIT = 60000;

std::string ProgramFolder()
{
    return zq::LinuxToWindows(ZQ_BINARY_DIR "/bin");
}

void PutLe(std::string& out, unsigned value, int bytes)
{
    for (int i = 0; i < bytes; i++)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A zip of stored entries, written byte by byte, so that a test can put any
// name, mode or checksum into it.
struct ZipEntry {
    std::string name;
    std::string data;
    unsigned unixMode = 0;  // 0: no Unix attributes
    bool badCrc = false;    // store a wrong CRC-32
};

std::string MakeZip(const std::vector<ZipEntry>& entries)
{
    FileCrc32 crc32;
    std::string zip, central;
    for (const ZipEntry& e : entries) {
        unsigned crc = crc32.Update(0, reinterpret_cast<const BYTE*>(e.data.data()), e.data.size());
        if (e.badCrc)
            crc ^= 0x5A5A5A5Au;
        const unsigned offset = static_cast<unsigned>(zip.size());
        PutLe(zip, 0x04034b50u, 4);
        PutLe(zip, 20, 2);
        PutLe(zip, 0, 2);     // flags
        PutLe(zip, 0, 2);     // stored
        PutLe(zip, 0, 2);     // time
        PutLe(zip, 0x21, 2);  // 1980-01-01
        PutLe(zip, crc, 4);
        PutLe(zip, static_cast<unsigned>(e.data.size()), 4);
        PutLe(zip, static_cast<unsigned>(e.data.size()), 4);
        PutLe(zip, static_cast<unsigned>(e.name.size()), 2);
        PutLe(zip, 0, 2);
        zip += e.name + e.data;

        PutLe(central, 0x02014b50u, 4);
        PutLe(central, e.unixMode ? (3u << 8) | 20 : 20, 2);
        PutLe(central, 20, 2);
        PutLe(central, 0, 2);
        PutLe(central, 0, 2);
        PutLe(central, 0, 2);
        PutLe(central, 0x21, 2);
        PutLe(central, crc, 4);
        PutLe(central, static_cast<unsigned>(e.data.size()), 4);
        PutLe(central, static_cast<unsigned>(e.data.size()), 4);
        PutLe(central, static_cast<unsigned>(e.name.size()), 2);
        PutLe(central, 0, 2);  // extra
        PutLe(central, 0, 2);  // comment
        PutLe(central, 0, 2);  // disk
        PutLe(central, 0, 2);  // internal attributes
        PutLe(central, e.unixMode << 16, 4);
        PutLe(central, offset, 4);
        central += e.name;
    }
    const unsigned centralOffset = static_cast<unsigned>(zip.size());
    zip += central;
    PutLe(zip, 0x06054b50u, 4);
    PutLe(zip, 0, 2);
    PutLe(zip, 0, 2);
    PutLe(zip, static_cast<unsigned>(entries.size()), 2);
    PutLe(zip, static_cast<unsigned>(entries.size()), 2);
    PutLe(zip, static_cast<unsigned>(central.size()), 4);
    PutLe(zip, centralOffset, 4);
    PutLe(zip, 0, 2);
    return zip;
}

// A folder with a Repository folder that holds a file of an earlier
// container, and a place for the container; both have blanks in their
// names.
class Unpack {
public:
    Unpack() : m_root("zq-unzip")
    {
        m_root.Write("Repo sitory/old container.xml", "<update/>");
        m_root.Write("Repo sitory/old/file.bin", "old");
    }
    std::string Repository() const { return m_root.Linux() + "/Repo sitory"; }
    std::string Container(const std::string& content, const std::string& name = "my container.zip")
    {
        return m_root.Write("in put/" + name, content);
    }
    // Starts the step on the container and returns its immediate result.
    int Start(const std::string& container, const std::string& unpacker = ProgramFolder())
    {
        return m_protocol.StartUnzip(unpacker.c_str(), zq::LinuxToWindows(Repository()).c_str(),
                                     zq::LinuxToWindows(container).c_str());
    }
    // What the Repository folder holds once the worker has posted.
    std::vector<std::string> Unpacked()
    {
        EXPECT_EQ(UPDATE_RESULT_SUCCESS, m_protocol.WaitResult(RESULT_WAIT))
            << "the unpack's result within " << RESULT_WAIT / 1000 << " s";
        std::vector<std::string> names;
        for (const std::string& name : m_root.List())
            if (name.rfind("Repo sitory/", 0) == 0)
                names.push_back(name.substr(12));
        return names;
    }

    zqtest::TempFolder m_root;
    zqtest::RecordingProtocol m_protocol;
};

TEST(Unzip, UnpacksIntoTheEmptiedRepositoryFolder)
{
    Unpack unpack;
    // A container made by 7za itself, with a sub-folder.
    zqtest::TempFolder source("zq-source");
    source.Write("update.xml", "<update/>");
    source.Write("sub dir/b.bin", zqtest::RandomBytes(5000, 1));
    const std::string container = unpack.m_root.Linux() + "/in put/my container.zip";
    mkdir((unpack.m_root.Linux() + "/in put").c_str(), 0700);
    std::string command = "cd '" + source.Linux() + "' && 7za a -tzip '" + container + "' . >/dev/null";
    ASSERT_EQ(0, system(command.c_str()));

    ASSERT_EQ(UPDATE_RESULT_SUCCESS, unpack.Start(container));
    std::vector<std::string> expected = {"sub dir", "sub dir/b.bin", "update.xml"};
    EXPECT_EQ(expected, unpack.Unpacked());
    zqtest::TempFolder& root = unpack.m_root;
    EXPECT_EQ(zqtest::RandomBytes(5000, 1), root.Read("Repo sitory/sub dir/b.bin"));
    EXPECT_EQ(1, unpack.m_protocol.ResultCount());
    EXPECT_STREQ(zq::LinuxToWindows(container).c_str(), unpack.m_protocol.m_ContainerPath);
}

TEST(Unzip, ChecksBeforeTheWorkerStarts)
{
    Unpack unpack;
    unpack.m_protocol.m_ContainerPath = "earlier";
    EXPECT_EQ(UPDATE_RESULT_UNZIP_START_ERROR, unpack.m_protocol.StartUnzip(ProgramFolder().c_str(), "Z:\\tmp", ""));
    EXPECT_STREQ("earlier", unpack.m_protocol.m_ContainerPath);

    EXPECT_EQ(UPDATE_RESULT_READ_ERROR, unpack.Start(unpack.m_root.Linux() + "/none.zip"));
    EXPECT_STREQ(zq::LinuxToWindows(unpack.Repository()).c_str(), unpack.m_protocol.m_OutputFolder);

    // A container that someone holds open unshared cannot be read.
    std::string container = unpack.Container(MakeZip({{"a.txt", "a"}}));
    CFile held;
    ASSERT_TRUE(held.Open(zq::LinuxToWindows(container).c_str(), CFile::modeRead));
    EXPECT_EQ(UPDATE_RESULT_READ_ERROR, unpack.Start(container));
    held.Close();

    // The system has no thread for the worker.
    {
        const zqtest::ScopedSeam noThreads(zq::RefuseThreadStarts, true);
        EXPECT_EQ(UPDATE_RESULT_UNZIP_START_ERROR, unpack.Start(container));
    }

    // Nothing ran: the Repository folder still holds the earlier files.
    EXPECT_EQ(0, unpack.m_protocol.ResultCount());
    EXPECT_EQ("old", unpack.m_root.Read("Repo sitory/old/file.bin"));
}

TEST(Unzip, NeedsMoreThanTwiceTheContainerSize)
{
    Unpack unpack;
    std::string container = unpack.Container(std::string(1000, 'x'));
    for (ULONGLONG free : {ULONGLONG{2000}, ULONGLONG{2001}}) {
        SCOPED_TRACE(free);
        int result = -1;
        {
            const zqtest::ScopedSeam disk(zq::SetDiskSpaceProvider, [free](const std::string&, zq::DiskSpace& space) {
                space.freeToCaller = space.totalFree = free;
                space.total = 4 * free;
                return true;
            });
            result = unpack.Start(container);
        }
        if (free == 2000) {
            EXPECT_EQ(UPDATE_RESULT_DISK_SPACE, result);
            EXPECT_EQ(0, unpack.m_protocol.ResultCount());
        } else {
            EXPECT_EQ(UPDATE_RESULT_SUCCESS, result);
            // Not a zip: nothing stays.
            EXPECT_TRUE(unpack.Unpacked().empty());
        }
    }
}

TEST(Unzip, WithoutTheUnpackerTheFolderIsEmptyAndTheResultZero)
{
    Unpack unpack;
    zqtest::TempFolder empty("zq-no7za");
    std::string container = unpack.Container(MakeZip({{"a.txt", "a"}}));
    ASSERT_EQ(UPDATE_RESULT_SUCCESS, unpack.Start(container, zq::LinuxToWindows(empty.Linux())));
    EXPECT_TRUE(unpack.Unpacked().empty());
}

using zqtest::ProcessRuns;

TEST(Unzip, AnUnpackerThatHangsIsEndedWithItsChildAndLeavesNothingBehind)
{
    // A stand-in for 7za that writes a partial file, starts a child that
    // holds on, and never ends.
    zqtest::TempFolder fake("zq-hung7za");
    Unpack unpack;
    const std::string partial = unpack.Repository() + "/partial.bin";
    const std::string childPid = fake.Linux() + "/child.pid";
    const std::string script = fake.Write("7za", "#!/bin/sh\necho part > '" + partial + "'\nsleep 600 &\necho $! > '" +
                                                     childPid + "'\nwait\n");
    ASSERT_EQ(0, chmod(script.c_str(), 0755));
    std::string container = unpack.Container(MakeZip({{"a.txt", "a"}}));
    {
        const zqtest::ScopedValue shortLimit(UPDATEProtocol::m_UnpackTimeLimit, DWORD{1000});
        ASSERT_EQ(UPDATE_RESULT_SUCCESS, unpack.Start(container, zq::LinuxToWindows(fake.Linux())));
        EXPECT_TRUE(unpack.Unpacked().empty());
    }

    const pid_t child = static_cast<pid_t>(atoi(fake.Read("child.pid").c_str()));
    ASSERT_GT(child, 0);
    for (int i = 0; i < 500 && ProcessRuns(child); ++i)
        usleep(10000);
    EXPECT_FALSE(ProcessRuns(child)) << "the unpacker's child lives on";
    if (ProcessRuns(child))
        kill(child, SIGKILL);
}

// Runs this test again as a second copy of the program, which unpacks the
// container into the Repository folder (ZQ_SECOND_COPY_* tell the child
// which); what it printed on stdout, and on stderr.
std::pair<std::string, std::string> RunSecondCopy(const std::string& repository, const std::string& container)
{
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return {"no /proc/self/exe", ""};
    self[n] = '\0';
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    zqtest::TempFolder logs("zq-second-copy");
    const std::string command = "ZQ_SECOND_COPY_REPOSITORY='" + repository + "' ZQ_SECOND_COPY_CONTAINER='" +
                                container + "' '" + self + "' --gtest_filter=" + test->test_suite_name() + "." +
                                test->name() + " > '" + logs.Linux("out") + "' 2> '" + logs.Linux("err") + "'";
    const int status = system(command.c_str());
    std::string out = logs.Read("out");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        out += "\n(the second copy failed)";
    return {out, logs.Read("err")};
}

// The second copy's part: its unpack's immediate result, and the posted one
// when it started.
void UnpackAsSecondCopy()
{
    zqtest::RecordingProtocol protocol;
    const int started = protocol.StartUnzip(ProgramFolder().c_str(),
                                            zq::LinuxToWindows(getenv("ZQ_SECOND_COPY_REPOSITORY")).c_str(),
                                            zq::LinuxToWindows(getenv("ZQ_SECOND_COPY_CONTAINER")).c_str());
    std::cout << "started " << started << "\n";
    if (started == UPDATE_RESULT_SUCCESS)
        std::cout << "posted " << protocol.WaitResult(RESULT_WAIT) << "\n";
}

// The lines of the text that start with the prefix.
std::vector<std::string> LinesStartingWith(const std::string& text, const std::string& prefix)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0)
            lines.push_back(line);
    return lines;
}

// While one program unpacks into the Repository, a second copy of the
// program cannot: its unpack does not start (the wizard shows the unzip
// error for that), stderr says why in one line, and nothing of the first's
// files is removed or replaced. The unpacker holds the lock too, so a
// killed first copy's unpacker keeps the Repository its own. Once the first
// has ended its unpack, the second copy's goes through.
TEST(Unzip, ASecondCopyCannotUnpackWhileTheFirstDoes)
{
    if (getenv("ZQ_SECOND_COPY_REPOSITORY") != nullptr) {
        UnpackAsSecondCopy();
        return;
    }
    zqtest::TempFolder fake("zq-slow7za");
    ASSERT_EQ(0, chmod(fake.Write("7za", zqtest::SlowUnpackerScript()).c_str(), 0755));
    Unpack first;
    const std::string ignored = first.Container(MakeZip({{"a.txt", "a"}}));
    ASSERT_EQ(UPDATE_RESULT_SUCCESS, first.Start(ignored, zq::LinuxToWindows(fake.Linux())));
    for (int i = 0; i < 1000 && !first.m_root.Exists("Repo sitory/f2"); ++i)
        usleep(10000);
    ASSERT_TRUE(first.m_root.Exists("Repo sitory/f2")) << "the stand-in unpacker wrote nothing in 10 s";

    // The stand-in's writer, a child of the unpacker, holds the lock file.
    const pid_t writer = static_cast<pid_t>(atoi(fake.Read("writer.pid").c_str()));
    ASSERT_GT(writer, 0);
    const std::string lockFile = first.Repository() + ".lock";
    const std::vector<std::string> held = zqtest::OpenPaths(writer);
    const bool writerHoldsTheLock = std::find(held.begin(), held.end(), lockFile) != held.end();
    EXPECT_TRUE(writerHoldsTheLock) << "the unpacker does not hold " << lockFile;

    const std::string container = first.Container(MakeZip({{"f0", "second copy"}, {"update.xml", "<update/>"}}),
                                                  "second.zip");
    const auto [out, err] = RunSecondCopy(first.Repository(), container);
    EXPECT_NE(out.find("started " + std::to_string(UPDATE_RESULT_UNZIP_START_ERROR) + "\n"), std::string::npos) << out;
    const std::vector<std::string> said = LinesStartingWith(err, "ZQUpdateManager: ");
    ASSERT_EQ(said.size(), 1u) << err;
    EXPECT_NE(said[0].find("in use by another copy of the program"), std::string::npos) << said[0];

    // The first's files, all of the stand-in's and whole.
    const std::vector<std::string> names = first.m_root.List();
    int files = 0;
    for (const std::string& name : names) {
        if (name.rfind("Repo sitory/", 0) != 0)
            continue;
        const std::string file = name.substr(12);
        EXPECT_TRUE(file[0] == 'f' && file.find_first_not_of("0123456789", 1) == std::string::npos) << file;
        const std::string bytes = first.m_root.Read(name);
        EXPECT_TRUE(bytes == "x\n" || bytes == "") << file << ": " << bytes;  // the last may be being written
        ++files;
    }
    EXPECT_GE(files, 3);
    EXPECT_EQ(first.m_root.Read("Repo sitory/f0"), "x\n");

    // The first's unpack ends: the folder is free again.
    first.m_protocol.Close();
    EXPECT_EQ(UPDATE_RESULT_CANCELLED, first.m_protocol.WaitResult(RESULT_WAIT))
        << "the closed unpack's result within " << RESULT_WAIT / 1000 << " s";
    const auto [after, afterErr] = RunSecondCopy(first.Repository(), container);
    EXPECT_NE(after.find("posted 0\n"), std::string::npos) << after << afterErr;
    EXPECT_EQ(first.m_root.Read("Repo sitory/f0"), "second copy");
}

// Links planted in the Repository folder before the unpack: a link to a
// folder elsewhere, one to the folder itself and one above it. The cleanup
// removes the links and leaves their targets; the unpack goes on.
TEST(Unzip, LinksInTheRepositoryAreRemovedNotFollowed)
{
    Unpack unpack;
    zqtest::TempFolder elsewhere("zq-elsewhere");
    elsewhere.Write("keep/precious.bin", "precious");
    const std::string repository = unpack.Repository();
    ASSERT_EQ(0, symlink((elsewhere.Linux() + "/keep").c_str(), (repository + "/oldlink").c_str()));
    ASSERT_EQ(0, symlink(".", (repository + "/dot").c_str()));
    ASSERT_EQ(0, symlink("..", (repository + "/old/up").c_str()));
    std::string container = unpack.Container(MakeZip({{"update.xml", "<update/>"}}));
    ASSERT_EQ(UPDATE_RESULT_SUCCESS, unpack.Start(container));
    EXPECT_EQ((std::vector<std::string>{"update.xml"}), unpack.Unpacked());
    EXPECT_EQ("precious", elsewhere.Read("keep/precious.bin"));
}

// A cleanup that leaves anything behind ends as an unpack that failed, and
// the unpacker does not run: an old description must never pass for the
// new container's.
TEST(Unzip, ARepositoryThatCannotBeEmptiedFailsTheUnpack)
{
    struct Case {
        const char* what;
        // False when this machine cannot make the case.
        bool (*plant)(Unpack& unpack, const std::string& elsewhere);
    } cases[] = {
        {"an entry that cannot be deleted",
         [](Unpack& unpack, const std::string&) {
             const std::string old = unpack.Repository() + "/old";
             if (geteuid() != 0)
                 return chmod(old.c_str(), 0500) == 0;
             // root deletes what it likes, but not an immutable file.
             int fd = open((old + "/file.bin").c_str(), O_RDONLY);
             int flags = 0;
             const bool done = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                               (flags |= FS_IMMUTABLE_FL, ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
             if (fd >= 0)
                 close(fd);
             return done;
         }},
        {"a Repository that is a link",
         [](Unpack& unpack, const std::string& elsewhere) {
             const std::string repository = unpack.Repository();
             return system(("rm -rf '" + repository + "'").c_str()) == 0 &&
                    symlink(elsewhere.c_str(), repository.c_str()) == 0;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Unpack unpack;
        zqtest::TempFolder elsewhere("zq-elsewhere");
        elsewhere.Write("precious.bin", "precious");
        // Lets the folder go again, whatever the test found.
        struct Release {
            std::string old;
            ~Release()
            {
                chmod(old.c_str(), 0700);
                int fd = open((old + "/file.bin").c_str(), O_RDONLY);
                int flags = 0;
                if (fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_IMMUTABLE_FL)) {
                    flags &= ~FS_IMMUTABLE_FL;
                    ioctl(fd, FS_IOC_SETFLAGS, &flags);
                }
                if (fd >= 0)
                    close(fd);
            }
        } release{unpack.Repository() + "/old"};
        if (!c.plant(unpack, elsewhere.Linux())) {
            std::cout << "skipped: " << c.what << "\n";
            continue;
        }
        std::string container = unpack.Container(MakeZip({{"update.xml", "<update/>"}}));
        ASSERT_EQ(UPDATE_RESULT_SUCCESS, unpack.Start(container));
        EXPECT_EQ(UPDATE_RESULT_UNZIP_ERROR, unpack.m_protocol.WaitResult(RESULT_WAIT))
            << "the unpack's result within " << RESULT_WAIT / 1000 << " s";
        EXPECT_EQ("precious", elsewhere.Read("precious.bin"));
        struct stat st;
        EXPECT_NE(0, stat((unpack.Repository() + "/update.xml").c_str(), &st)) << "the unpacker ran";
    }
}

// A small file system of its own, mounted for the test where this user may
// mount one.
class SmallFileSystem {
public:
    explicit SmallFileSystem(const std::string& folder, const char* size) : m_folder(folder)
    {
        mkdir(m_folder.c_str(), 0700);
        m_mounted = mount("tmpfs", m_folder.c_str(), "tmpfs", 0, (std::string("size=") + size).c_str()) == 0;
    }
    ~SmallFileSystem()
    {
        if (m_mounted)
            umount2(m_folder.c_str(), MNT_DETACH);
    }
    bool Mounted() const { return m_mounted; }

private:
    std::string m_folder;
    bool m_mounted = false;
};

// The Repository on a 1 MiB file system of its own, inside a drive whose
// root has plenty of room: the room that counts is that of the small one.
TEST(Unzip, TheRoomOfTheFileSystemThatHoldsTheRepositoryCounts)
{
    Unpack unpack;
    SmallFileSystem small(unpack.m_root.Linux() + "/small", "1m");
    if (!small.Mounted())
        GTEST_SKIP() << "no tmpfs can be mounted here";
    // The Repository folder does not exist yet; its parent is measured.
    const std::string repository = unpack.m_root.Linux() + "/small/Repository";
    const std::string big = unpack.Container(MakeZip({{"big.bin", zqtest::RandomBytes(600000, 4)}}));
    EXPECT_EQ(UPDATE_RESULT_DISK_SPACE,
              unpack.m_protocol.StartUnzip(ProgramFolder().c_str(), zq::LinuxToWindows(repository).c_str(),
                                           zq::LinuxToWindows(big).c_str()));
    const std::string fits = unpack.Container(MakeZip({{"update.xml", "<update/>"}}), "small.zip");
    ASSERT_EQ(UPDATE_RESULT_SUCCESS,
              unpack.m_protocol.StartUnzip(ProgramFolder().c_str(), zq::LinuxToWindows(repository).c_str(),
                                           zq::LinuxToWindows(fits).c_str()));
    EXPECT_EQ(UPDATE_RESULT_SUCCESS, unpack.m_protocol.WaitResult(RESULT_WAIT))
        << "the unpack's result within " << RESULT_WAIT / 1000 << " s";
    EXPECT_EQ("<update/>", unpack.m_root.Read("small/Repository/update.xml"));
}

// The free bytes measured for a folder that does not exist yet are those of
// the file system of its nearest folder, as far as this user may write.
TEST(Unzip, FreeSpaceIsThatOfTheNearestExistingFolder)
{
    const zqtest::TwoFileSystems pair = zqtest::ShmBesideRoot();
    if (!pair.missing.empty())
        GTEST_SKIP() << pair.missing;
    const struct statvfs& rootVfs = pair.root;
    const struct statvfs& shmVfs = pair.shm;
    const double rootFree = static_cast<double>(rootVfs.f_bavail) * rootVfs.f_frsize;
    const double shmFree = static_cast<double>(shmVfs.f_bavail) * shmVfs.f_frsize;
    const double drift = 64.0 * 1024 * 1024;  // others write meanwhile
    if (std::fabs(rootFree - shmFree) < 16 * drift)
        GTEST_SKIP() << "both file systems have about the same room";
    EXPECT_NEAR(shmFree, static_cast<double>(UPDATETools::GetFreeDiskSpace("Z:\\dev\\shm\\no such\\Repository")),
                drift);
    EXPECT_NEAR(rootFree, static_cast<double>(UPDATETools::GetFreeDiskSpace("Z:\\no such\\Repository")), drift);
}

TEST(Unzip, AFailedUnpackLeavesNothingBehind)
{
    const std::string good = MakeZip({{"update.xml", "<update/>"}, {"big.bin", zqtest::RandomBytes(20000, 2)}});
    struct Case {
        const char* what;
        std::string content;
    } cases[] = {
        {"not a zip", zqtest::RandomBytes(3000, 3)},
        {"truncated", good.substr(0, good.size() - 200)},
        {"crc error", MakeZip({{"update.xml", "<update/>"}, {"big.bin", zqtest::RandomBytes(20000, 2), 0, true}})},
        {"empty file", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Unpack unpack;
        ASSERT_EQ(UPDATE_RESULT_SUCCESS, unpack.Start(unpack.Container(c.content)));
        EXPECT_TRUE(unpack.Unpacked().empty());
    }
}

TEST(Unzip, EntriesCannotWriteOutsideTheRepositoryFolder)
{
    Unpack unpack;
    const std::string root = unpack.m_root.Linux();
    const std::string parent = root.substr(0, root.rfind('/'));
    const std::string far = root.substr(root.rfind('/') + 1) + "-escape3.txt";
    std::string container = unpack.Container(MakeZip({
        {"../escape.txt", "1"},
        {"../../" + far, "7"},
        {"sub/../../escape2.txt", "2"},
        {root.substr(1) + "/abs.txt", "3"},
        {root + "/abs2.txt", "4"},
        {"link", root, 0120777},
        {"link/through.txt", "5"},
        {"up", "..", 0120777},
        {"up/through2.txt", "6"},
        {"ok.txt", "ok"},
    }));
    ASSERT_EQ(UPDATE_RESULT_SUCCESS, unpack.Start(container));
    unpack.Unpacked();
    std::vector<std::string> outside;
    for (const std::string& name : unpack.m_root.List())
        if (name.rfind("Repo sitory", 0) != 0 && name.rfind("in put", 0) != 0)
            outside.push_back(name);
    EXPECT_TRUE(outside.empty()) << outside.front();
    EXPECT_NE(0, access((parent + "/" + far).c_str(), F_OK));
    unlink((parent + "/" + far).c_str());
}

TEST(Unzip, PathsWithQuotesAreNoContainers)
{
    // No Windows file name holds a double quote, so the container cannot be
    // opened and nothing runs: no quoted argument of 7za can be broken up.
    Unpack unpack;
    std::string container = unpack.Container(MakeZip({{"a.txt", "a"}}), "a\" \"b.zip");
    EXPECT_EQ(UPDATE_RESULT_READ_ERROR, unpack.Start(container));
    EXPECT_EQ(0, unpack.m_protocol.ResultCount());
    EXPECT_EQ("old", unpack.m_root.Read("Repo sitory/old/file.bin"));
}

}  // namespace
