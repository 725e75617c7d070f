// The update session against the car-kit simulator on a pseudo-terminal.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "../support/CarKitSimulator.h"
#include "tests/support/FileLockHolder.h"
#include "tests/support/ScopedSeam.h"
#include "tests/support/link/RecordingProtocol.h"
#include "UpdateTestSupport.h"
#include "platform/paths/DrivePaths.h"
#include "container/UPDATEModel.h"
#include "link/FileCrc32.h"
#include "link/FrameLayer.h"

namespace {

using zqtest::RandomBytes;

const int RESULT_WAIT = 60000;

UPDATEDevice Device(const char* name, const char* software)
{
    UPDATEDevice device;
    device.name = name;
    device.software = software;
    return device;
}

// A simulator, a Repository folder with files and the protocol object, the
// port opened as after a successful connect.
class UpdateSession {
public:
    UpdateSession() : m_repository("zq-repository")
    {
        g_UpdateModel.Reset();
        UPDATEManager::m_CancelRequested = 0;
    }
    ~UpdateSession()
    {
        CloseSerialPort();
        g_UpdateModel.Reset();
        UPDATEManager::m_CancelRequested = 0;
    }

    // The kit and the product that the model holds use the same version.
    bool Connect(const char* model, const char* software, const std::string& scenario = "",
                 std::vector<std::string> extra = {})
    {
        std::vector<std::string> options = {"--model", model, "--software", software};
        options.insert(options.end(), extra.begin(), extra.end());
        if (!m_sim.Start(options, scenario)) {
            ADD_FAILURE() << m_sim.Error();
            return false;
        }
        g_UpdateModel.m_Product.devices.push_back(Device(model, software));
        return OpenSerialPort(m_sim.ComNumber()) == 1;
    }

    void AddFile(const std::string& name, const std::string& content)
    {
        m_repository.Write(name, content);
        m_contents.push_back({name, content});
    }

    // Sends the files in the order given, the last one as the container's
    // description, and returns the posted result: -2 when the session did
    // not start, -1 when it posted none in time.
    int Run(const std::vector<std::string>& list, const std::string& last)
    {
        g_UpdateModel.m_FileList.assign(list.begin(), list.end());
        m_protocol.SetRepositoryFolder(zq::LinuxToWindows(m_repository.Linux()).c_str());
        m_protocol.SetLastFileName(last.c_str());
        if (m_protocol.StartUpdate() != UPDATEProtocol::SESSION_STARTED)
            return -2;
        return Result();
    }
    // The posted result of the session that runs, -1 when none came in time.
    int Result()
    {
        const int result = m_protocol.WaitResult(RESULT_WAIT);
        EXPECT_NE(result, -1) << "the update session's result within " << RESULT_WAIT / 1000 << " s";
        return result;
    }

    // The names of the files that the kit saw ended, in order.
    std::vector<std::string> EndedFiles()
    {
        std::vector<std::string> names;
        for (const auto& event : m_sim.Events("file"))
            names.push_back(event.Get("name"));
        return names;
    }

    // How many frames of the type the kit received.
    int Received(int type)
    {
        int count = 0;
        for (const auto& event : m_sim.Events("rx"))
            if (event.Number("type") == type)
                count++;
        return count;
    }

    // A reason no kit sends, to tell a NAK that leaves it from one that sets it.
    zqtest::ScopedValue<BYTE> m_nakReason{UPDATEManager::m_LastNakReason, 0xEE};
    zqtest::CarKitSimulator m_sim;
    zqtest::TempFolder m_repository;
    zqtest::RecordingProtocol m_protocol;
    std::vector<std::pair<std::string, std::string>> m_contents;
};

TEST(UpdateSession, SendsEveryFileAndTheDescriptionLast)
{
    UpdateSession session;
    ASSERT_TRUE(session.Connect("RX7150", "138"));
    const std::string a = RandomBytes(5000, 1), b = RandomBytes(2048, 2);
    const std::string xml = "<?xml version=\"1.0\"?><update/>\n";
    session.AddFile("a.bin", a);
    session.AddFile("b.bin", b);
    session.AddFile("c.bin", "");
    session.AddFile("update.xml", xml);

    EXPECT_EQ(UPDATE_RESULT_SUCCESS, session.Run({"a.bin", "b.bin", "c.bin"}, "update.xml"));

    ASSERT_TRUE(session.m_sim.WaitFor("file", 4)) << "4 files at the kit within 10 s";
    std::vector<zqtest::CarKitSimulator::Event> files = session.m_sim.Events("file");
    ASSERT_EQ(4u, files.size());
    const char* names[] = {"a.bin", "b.bin", "c.bin", "RX7150.xml"};
    const std::string* contents[] = {&a, &b, nullptr, &xml};
    FileCrc32 crc32;
    for (int i = 0; i < 4; i++) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(names[i], files[i].Get("name"));
        EXPECT_EQ("ok", files[i].Get("status")) << files[i].Get("faults");
        const std::string expected = contents[i] ? *contents[i] : "";
        EXPECT_EQ(static_cast<long long>(expected.size()), files[i].Number("size"));
        EXPECT_EQ(expected, session.m_sim.ReceivedFile(names[i]));
    }
    // 2048 bytes: sequences 0 and 1 full, 2 empty. An empty file: one empty
    // data frame and CRC 0.
    EXPECT_EQ(3, files[1].Number("frames"));
    EXPECT_EQ(1, files[2].Number("frames"));
    EXPECT_EQ(0, files[2].Number("crc"));

    // The notice comes before the renaming; the name read later is the
    // announced one.
    std::vector<std::string> announced = {"a.bin", "b.bin", "c.bin", "update.xml"};
    EXPECT_EQ(announced, session.m_protocol.NewFiles());
    EXPECT_STREQ("RX7150.xml", session.m_protocol.GetCurrentFileName());
    ASSERT_FALSE(session.m_protocol.TotalProgress().empty());
    EXPECT_EQ(a.size() + b.size() + xml.size(), session.m_protocol.TotalProgress().back());
    EXPECT_EQ(session.m_protocol.m_SumOfSizes, a.size() + b.size() + xml.size());
    EXPECT_TRUE(g_UpdateModel.m_FileList.empty());
    EXPECT_EQ(0, session.m_protocol.m_SendFileOpen);
}

// The files go out of a Repository that no other copy of the program may
// unpack into meanwhile: the session holds its lock, keeps it after its
// end until the road is over, and sends nothing from one that another
// program holds. A holder that lets go within a moment (a killed program's
// unpacker, ended by its launcher) is waited for.
TEST(UpdateSession, HoldsTheRepositoryAndSendsNothingFromOneAnotherProgramHolds)
{
    UpdateSession session;
    ASSERT_TRUE(session.Connect("RX7150", "138"));
    session.AddFile("a.bin", RandomBytes(3000, 1));
    session.AddFile("update.xml", "<update/>");
    const std::string lockFile = session.m_repository.Linux() + ".lock";
    {
        zqtest::FileLockHolder other(lockFile);
        ASSERT_TRUE(other.Holds()) << "flock did not take the lock in 5 s";
        EXPECT_EQ(-2, session.Run({"a.bin"}, "update.xml")) << "the session started";
    }
    EXPECT_EQ(0, session.Received(PtFileHeader));
    {
        zqtest::FileLockHolder other(lockFile);
        ASSERT_TRUE(other.Holds());
        // Well inside the second that a start waits, even on a loaded machine.
        std::thread letGo([&] {
            usleep(100 * 1000);
            other.End();
        });
        const int result = session.Run({"a.bin"}, "update.xml");
        letGo.join();
        EXPECT_EQ(UPDATE_RESULT_SUCCESS, result) << "a lock let go 100 ms after the start was not waited for";
    }
    EXPECT_EQ(2, session.Received(PtFileHeader));
    session.m_protocol.ReleaseRepository();

    EXPECT_EQ(UPDATE_RESULT_SUCCESS, session.Run({"a.bin"}, "update.xml"));
    EXPECT_EQ(4, session.Received(PtFileHeader));
    EXPECT_FALSE(zqtest::FileLockHolder::OthersMayLock(lockFile)) << "the Repository was given up";
    session.m_protocol.ReleaseRepository();
    EXPECT_TRUE(zqtest::FileLockHolder::OthersMayLock(lockFile));
}

TEST(UpdateSession, TheTotalIsSummedAfreshForEverySession)
{
    // The sum of the sizes starts from nothing in every session, and again
    // after a file that cannot be opened (that file ends the session with a
    // read error when its turn comes).
    UpdateSession session;
    session.AddFile("a.bin", RandomBytes(3000, 20));
    session.AddFile("d.xml", "<update/>");
    session.m_protocol.SetRepositoryFolder(zq::LinuxToWindows(session.m_repository.Linux()).c_str());
    session.m_protocol.SetLastFileName("d.xml");
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        g_UpdateModel.m_FileList = {"a.bin"};
        EXPECT_EQ(3000u + 9u, session.m_protocol.PrepareFileList());
    }
    g_UpdateModel.m_FileList = {"a.bin", "missing.bin"};
    EXPECT_EQ(9u, session.m_protocol.PrepareFileList());
}

// Answers of the kit that the session gets over: it still ends well, every
// file arrives whole, and the kit sees the files ended in the order given.
TEST(UpdateSession, KitAnswersThatTheSessionGetsOver)
{
    const std::vector<std::string> PACED = {"--baud", "115200"};
    const int NO_REFUSAL = 0xEE;  // the fixture's value: no PtNak came
    struct File {
        const char* name;
        size_t size;
        unsigned seed;
    };
    struct Case {
        const char* what;
        std::string scenario;
        std::vector<std::string> options;
        std::vector<File> files;  // then the description d.xml, sent last
        std::vector<std::string> ended;
        int nakReason;                         // the last reason the kit gave
        int rewinds = 0;                       // at least, of the first file
        std::chrono::milliseconds atLeast{0};  // the session takes this long at least
    } cases[] = {
        // Paced, and larger than what the line buffers (about 20 KiB), so
        // that the request arrives while the data still go out.
        {"a resend continues from the asked sequence",
         "on data seq=6 do nak 2 3\n",
         PACED,
         {{"a.bin", 40 * 1024 + 100, 3}},
         {"a.bin", "d.xml"},
         NAK_REASON_RESEND,
         1},
        {"a requeue while sending appends the ended file before the description",
         "on header name=c.bin do nak 0; answer\n",
         PACED,
         {{"a.bin", 3000, 4}, {"b.bin", 3000, 5}, {"c.bin", 40 * 1024, 6}},
         {"a.bin", "b.bin", "c.bin", "b.bin", "d.xml"},
         NAK_REASON_REQUEUE},
        {"a requeue while waiting for the confirmation goes on with the next file",
         "on end name=a.bin do nak 0; silence\n",
         {},
         {{"a.bin", 3000, 7}, {"b.bin", 3000, 8}},
         {"a.bin", "b.bin", "a.bin", "d.xml"},
         NAK_REASON_REQUEUE},
        // The confirmation is waited for 10 s before the next file goes.
        {"a file that is not confirmed is followed by the next after the wait",
         "on end name=a.bin do silence\n",
         {},
         {{"a.bin", 3000, 9}},
         {"a.bin", "d.xml"},
         NO_REFUSAL,
         0,
         std::chrono::milliseconds(10000 - 200)},
        // A piece that completes no frame leaves each state waiting, while
        // sending (an ignored PtNak) and while waiting for the confirmations.
        {"answers cut into pieces of three bytes are read whole",
         "on data seq=1 do nak 10\n",
         {"--chunk", "3", "--chunk-pause", "40"},
         {{"a.bin", 5000, 16}, {"b.bin", 500, 17}},
         {"a.bin", "b.bin", "d.xml"},
         10},
        {"reasons above nine and a resend after the end are ignored",
         "on data seq=1 do nak 10\non end name=a.bin do nak 2 0; answer\non end name=b.bin do nak 255; answer\n",
         {},
         {{"a.bin", 5000, 10}, {"b.bin", 500, 11}},
         {"a.bin", "b.bin", "d.xml"},
         255},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        UpdateSession session;
        ASSERT_TRUE(session.Connect("RX7150", "138", c.scenario, c.options));
        std::vector<std::string> list;
        for (const File& file : c.files) {
            session.AddFile(file.name, RandomBytes(file.size, file.seed));
            list.push_back(file.name);
        }
        session.AddFile("d.xml", "<update/>");
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(UPDATE_RESULT_SUCCESS, session.Run(list, "d.xml"));
        EXPECT_GE(std::chrono::steady_clock::now() - start, c.atLeast)
            << std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count()
            << " ms that the session took, at least " << c.atLeast.count() << " expected";
        EXPECT_EQ(c.nakReason, UPDATEManager::m_LastNakReason);
        ASSERT_TRUE(session.m_sim.WaitFor("file", c.ended.size())) << c.ended.size() << " files at the kit within 10 s";
        EXPECT_EQ(c.ended, session.EndedFiles());
        const zqtest::CarKitSimulator::Event first = session.m_sim.Events("file")[0];
        EXPECT_EQ("ok", first.Get("status")) << first.Get("faults");
        EXPECT_GE(first.Number("rewinds"), c.rewinds);
        for (const auto& sent : session.m_contents)
            if (sent.first != "d.xml") {
                EXPECT_EQ(sent.second, session.m_sim.ReceivedFile(sent.first)) << sent.first;
            }
    }
}

TEST(UpdateSession, RejectionWhileSendingEndsTheFileThenTheSession)
{
    for (int reason : {1, 3, 9}) {
        SCOPED_TRACE(reason);
        UpdateSession session;
        ASSERT_TRUE(session.Connect("RX7150", "138", "on data seq=2 do nak " + std::to_string(reason) + "\n",
                                    {"--baud", "115200"}));
        session.AddFile("a.bin", RandomBytes(40 * 1024, 9));
        session.AddFile("d.xml", "<update/>");
        EXPECT_EQ(UPDATE_RESULT_DEVICE_NAK, session.Run({"a.bin"}, "d.xml"));
        EXPECT_EQ(reason, UPDATEManager::m_LastNakReason);
        // The current file still got its end frame; nothing followed it.
        ASSERT_TRUE(session.m_sim.WaitFor("file", 1, 20000)) << "1 files at the kit within 20 s";
        usleep(100 * 1000);
        EXPECT_EQ(1, session.Received(PtFileEnd));
        EXPECT_EQ(1, session.Received(PtFileHeader));
        EXPECT_TRUE(g_UpdateModel.m_FileList.empty());
    }
}

TEST(UpdateSession, RejectionWhileWaitingForTheConfirmation)
{
    UpdateSession session;
    ASSERT_TRUE(session.Connect("RX7150", "138", "on end name=a.bin do nak 4; silence\n"));
    session.AddFile("a.bin", RandomBytes(3000, 12));
    session.AddFile("d.xml", "<update/>");
    EXPECT_EQ(UPDATE_RESULT_DEVICE_NAK, session.Run({"a.bin"}, "d.xml"));
    EXPECT_EQ(4, UPDATEManager::m_LastNakReason);
    EXPECT_EQ(1, session.Received(PtFileHeader));
}

TEST(UpdateSession, UnexpectedFramesAreAnsweredWithHostNak)
{
    struct Case {
        const char* scenario;
        const char* what;
    } cases[] = {
        {"on header name=a.bin do fileok; answer\n", "PtFileOK while sending"},
        {"on end name=a.bin do send 6 00000000; silence\n", "data while waiting for PtFileOK"},
        {"on data seq=1 do send 1\n", "connect while sending"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        UpdateSession session;
        ASSERT_TRUE(session.Connect("RX7150", "138", c.scenario, {"--baud", "115200"}));
        session.AddFile("a.bin", RandomBytes(40 * 1024, 13));
        session.AddFile("d.xml", "<update/>");
        EXPECT_EQ(UPDATE_RESULT_UNEXPECTED_COMMAND, session.Run({"a.bin"}, "d.xml"));
        // The PtHostNak is the session's last frame; the kit reads it once
        // it has read what the line holds.
        for (int i = 0; i < 100 && session.Received(PtHostNak) == 0; i++)
            usleep(100 * 1000);
        EXPECT_EQ(1, session.Received(PtHostNak));
        for (const auto& event : session.m_sim.Events("rx"))
            if (event.Number("type") == PtHostNak) {
                EXPECT_EQ(NAK_REASON_UNEXPECTED_COMMAND, event.Number("reason"));
            }
    }
}

TEST(UpdateSession, DisconnectEndsTheSession)
{
    UpdateSession session;
    ASSERT_TRUE(session.Connect("RX7150", "138", "on header nth=2 do disconnect; silence\n"));
    session.AddFile("a.bin", RandomBytes(3000, 14));
    session.AddFile("b.bin", RandomBytes(30000, 15));
    session.AddFile("d.xml", "<update/>");
    EXPECT_EQ(UPDATE_RESULT_DEVICE_DISCONNECTED, session.Run({"a.bin", "b.bin"}, "d.xml"));
}

TEST(UpdateSession, AFileThatCannotBeOpenedEndsTheSessionWithAReadError)
{
    // A missing file, a folder, and entries that would read outside the
    // Repository folder, or reach inside it through "..", although the file
    // is there.
    zqtest::TempFolder outside("zq-outside");
    outside.Write("secret.bin", "secret");
    const std::string outsideName = outside.Linux().substr(outside.Linux().rfind('/') + 1);
    const std::string entries[] = {
        "missing.bin",
        "..\\" + outsideName + "\\secret.bin",
        "sub\\..\\..\\" + outsideName + "\\secret.bin",
        "sub\\..\\c.bin",  // the container check's rule: no ".." at all
        "sub",
        zq::LinuxToWindows(outside.Linux() + "/secret.bin"),
        "\\" + zq::LinuxToWindows(outside.Linux() + "/secret.bin").substr(3),
    };
    for (const std::string& entry : entries) {
        SCOPED_TRACE(entry);
        UpdateSession session;
        ASSERT_TRUE(session.Connect("RX7150", "138"));
        session.AddFile("a.bin", RandomBytes(3000, 16));
        session.AddFile("c.bin", RandomBytes(300, 17));
        session.AddFile("sub/x.bin", "x");
        session.AddFile("d.xml", "<update/>");
        EXPECT_EQ(UPDATE_RESULT_READ_ERROR, session.Run({"a.bin", entry, "c.bin"}, "d.xml"));
        ASSERT_TRUE(session.m_sim.WaitFor("file", 1)) << "1 files at the kit within 10 s";
        usleep(100 * 1000);
        std::vector<std::string> ended = {"a.bin"};
        EXPECT_EQ(ended, session.EndedFiles());
        EXPECT_EQ("ok", session.m_sim.Events("file")[0].Get("status"));
        EXPECT_EQ(1, session.Received(PtFileHeader));
        EXPECT_EQ(0, session.m_protocol.m_SendFileOpen);
    }
}

TEST(UpdateSession, AFileThatCannotBeReadEndsTheSessionWithAReadError)
{
    UpdateSession session;
    ASSERT_TRUE(session.Connect("RX7150", "138"));
    session.AddFile("d.xml", "<update/>");
    // Opens, but every read fails.
    ASSERT_EQ(0, symlink("/proc/self/mem", (session.m_repository.Linux() + "/mem.bin").c_str()));
    EXPECT_EQ(UPDATE_RESULT_READ_ERROR, session.Run({"mem.bin"}, "d.xml"));
    EXPECT_EQ(0, session.m_protocol.m_SendFileOpen);
    EXPECT_TRUE(g_UpdateModel.m_FileList.empty());
}

TEST(UpdateSession, EveryFrameReachesTheKitWhenThePortClosesRightAfterTheResult)
{
    // An RX7150 at 137 confirms no file, so the result follows the
    // description's end frame at once; the port is closed at once after it,
    // as the bench and the wizard's disconnect do. Each try must find the
    // description whole at the kit. The kit confirms the file before the
    // description only, which the program waits for: a confirmation of the
    // description would come after the close and meet the next try.
    UpdateSession session;
    ASSERT_TRUE(session.Connect("RX7150", "137", "on end name=a.bin always do fileok\n"));
    const std::string a = RandomBytes(3000, 30);
    std::string xml = "<?xml version=\"1.0\"?><update>";
    for (int i = 0; i < 20; i++)
        xml += "<file name=\"part" + std::to_string(i) + ".bin\"/>";
    xml += "</update>\n";
    session.AddFile("a.bin", a);
    session.AddFile("d.xml", xml);
    for (int run = 0; run < 30; run++) {
        SCOPED_TRACE(run);
        if (run > 0) {
            ASSERT_EQ(1, OpenSerialPort(session.m_sim.ComNumber()));
        }
        ASSERT_EQ(UPDATE_RESULT_SUCCESS, session.Run({"a.bin"}, "d.xml"));
        CloseSerialPort();
        ASSERT_TRUE(session.m_sim.WaitFor("file", 2u * (run + 1), 5000))
            << "the files of run " << run << " at the kit within 5 s";
        const std::vector<zqtest::CarKitSimulator::Event> files = session.m_sim.Events("file");
        const zqtest::CarKitSimulator::Event& last = files.back();
        EXPECT_EQ("d.xml", last.Get("name"));
        ASSERT_EQ("ok", last.Get("status")) << last.Get("faults");
    }
    EXPECT_EQ(xml, session.m_sim.ReceivedFile("d.xml"));
}

TEST(UpdateSession, AFrameThatCannotGoOutEndsTheSessionAsALostLink)
{
    // The kit stops reading for longer than a write may take: the write
    // that fills the line ends short at its time-out, its frame is lost, and
    // the session must not go on with the next sequence number.
    UpdateSession session;
    ASSERT_TRUE(session.Connect("RX7150", "138", "on data seq=2 do delay 4000\n"));
    session.AddFile("a.bin", RandomBytes(400 * 1024, 31));
    session.AddFile("d.xml", "<update/>");
    EXPECT_EQ(UPDATEProtocol::RESULT_LINK_LOST, session.Run({"a.bin"}, "d.xml"));
    EXPECT_TRUE(g_UpdateModel.m_FileList.empty());
    EXPECT_EQ(0, session.m_protocol.m_SendFileOpen);
    EXPECT_EQ(0, session.Received(PtFileEnd));
}

TEST(UpdateSession, APtNakTooShortForItsReasonIsIgnored)
{
    // The reason is payload byte 4. Read past a 4-byte payload it would be
    // the check byte: 1 for 11000000 (a rejection), 0 for 10000000 (a
    // requeue, or a rejection once the end frame is out).
    struct Case {
        const char* scenario;
        const char* what;
        bool whileSending;
    } cases[] = {
        {"on data seq=1 do send 8 11000000\n", "while sending, would reject", true},
        {"on data seq=1 do send 8 10000000\n", "while sending, would requeue", true},
        {"on data seq=1 do send 8 00\n", "one byte", true},
        {"on data seq=1 do send 8\n", "empty", true},
        {"on end name=a.bin do send 8 10000000; answer\n", "while the end frame goes out", false},
        {"on end name=a.bin do delay 300; send 8 11000000; delay 300; answer\n", "while waiting for PtFileOK", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        UpdateSession session;
        // Paced and larger than what the line buffers, so that the NAK comes
        // while the data still go out.
        std::vector<std::string> extra;
        if (c.whileSending)
            extra = {"--baud", "115200"};
        ASSERT_TRUE(session.Connect("RX7150", "138", c.scenario, extra));
        session.AddFile("a.bin", RandomBytes(c.whileSending ? 24 * 1024 : 3000, 32));
        session.AddFile("d.xml", "<update/>");
        EXPECT_EQ(UPDATE_RESULT_SUCCESS, session.Run({"a.bin"}, "d.xml"));
        ASSERT_TRUE(session.m_sim.WaitFor("file", 2)) << "2 files at the kit within 10 s";
        std::vector<std::string> order = {"a.bin", "d.xml"};
        EXPECT_EQ(order, session.EndedFiles());
        EXPECT_EQ("ok", session.m_sim.Events("file")[0].Get("status"));
        EXPECT_EQ(0xEE, UPDATEManager::m_LastNakReason) << "a NAK without a reason leaves the last one";
    }
}

TEST(UpdateSession, EmptyListAndCancel)
{
    {
        UpdateSession session;
        ASSERT_TRUE(session.Connect("RX7150", "138"));
        g_UpdateModel.m_FileList.clear();
        session.m_protocol.SetRepositoryFolder(zq::LinuxToWindows(session.m_repository.Linux()).c_str());
        ASSERT_EQ(UPDATEProtocol::SESSION_STARTED, session.m_protocol.StartUpdate());
        EXPECT_EQ(UPDATE_RESULT_NO_DATA, session.Result());
        EXPECT_TRUE(g_UpdateModel.m_FileList.empty());
        EXPECT_EQ(0, session.Received(PtFileHeader));
    }
    {
        UpdateSession session;
        ASSERT_TRUE(session.Connect("RX7150", "138"));
        session.AddFile("a.bin", "a");
        session.AddFile("d.xml", "<update/>");
        UPDATEManager::m_CancelRequested = 1;
        EXPECT_EQ(UPDATE_RESULT_CANCELLED, session.Run({"a.bin"}, "d.xml"));
        EXPECT_EQ(0, UPDATEManager::m_CancelRequested.load());
        EXPECT_EQ(0, session.Received(PtFileHeader));
    }
    {
        // A cancel during the transfer takes effect at the next turn.
        UpdateSession session;
        ASSERT_TRUE(session.Connect("RX7150", "138", "", {"--baud", "115200"}));
        session.AddFile("a.bin", RandomBytes(200 * 1024, 18));
        session.AddFile("d.xml", "<update/>");
        g_UpdateModel.m_FileList = {"a.bin"};
        session.m_protocol.SetRepositoryFolder(zq::LinuxToWindows(session.m_repository.Linux()).c_str());
        session.m_protocol.SetLastFileName("d.xml");
        ASSERT_EQ(UPDATEProtocol::SESSION_STARTED, session.m_protocol.StartUpdate());
        ASSERT_TRUE(session.m_sim.WaitFor("header", 1)) << "1 headers at the kit within 10 s";
        UPDATEManager::m_CancelRequested = 1;
        EXPECT_EQ(UPDATE_RESULT_CANCELLED, session.Result());
        EXPECT_EQ(0, session.m_protocol.m_SendFileOpen);
        EXPECT_TRUE(g_UpdateModel.m_FileList.empty());
    }
}

TEST(IsFileOkExpected, ByTheFirstKnownDeviceAndBeforeTheLastFile)
{
    struct Case {
        std::vector<UPDATEDevice> devices;
        bool expected;
    } cases[] = {
        {{Device("RX7150", "137")}, false},
        {{Device("RX7150", "138")}, true},
        {{Device("RX7150", " +200abc")}, true},
        {{Device("RX7150", "abc")}, false},
        {{Device("RX5230", "111")}, false},
        {{Device("RX5230", "112")}, true},
        {{Device("Other", "1")}, true},
        {{Device("Other", "1"), Device("RX5230", "100")}, false},
        {{Device("RX7150", "137"), Device("Other", "1")}, false},
        {{Device("rx7150", "100")}, true},
        {{}, false},
    };
    const zqtest::ScopedValue model(g_UpdateModel, UPDATEModel());
    const zqtest::ScopedValue fileIndex(UPDATEProtocol::m_FileIndex, DWORD{0});
    g_UpdateModel.m_FileList = {"a.bin", "b.bin", "c.bin", "d.xml"};
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); i++) {
        SCOPED_TRACE(i);
        g_UpdateModel.m_Product.devices = cases[i].devices;
        UPDATEProtocol::m_FileIndex = 1;
        EXPECT_EQ(cases[i].expected, IsFileOkExpected());
        // The next file is the description: always time to confirm.
        UPDATEProtocol::m_FileIndex = 3;
        EXPECT_TRUE(IsFileOkExpected());
    }
}

TEST(UpdateSession, RequeueKeepsTheEarlierEntryAndTheDescriptionLast)
{
    const zqtest::ScopedValue model(g_UpdateModel, UPDATEModel());
    zqtest::RecordingProtocol protocol;
    g_UpdateModel.m_FileList = {"a.bin", "b.bin", "c.bin"};
    protocol.SetLastFileName("d.xml");
    protocol.PrepareFileList();
    protocol.m_EndedIndex = 1;
    protocol.RequeueFile();
    std::vector<CString> expected = {"a.bin", "b.bin", "c.bin", "b.bin", "d.xml"};
    EXPECT_EQ(expected, g_UpdateModel.m_FileList);
}

}  // namespace
