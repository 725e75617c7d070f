// The connect, inquiry and disconnect sessions on their worker threads,
// against the car-kit simulator on a pseudo-terminal. The sessions keep
// their real time-outs; the slow cases (20 s, 10 s, 3 s of silence) are
// cases of their own, so ctest runs them in parallel.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <string>
#include <thread>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/CarKitSimulator.h"
#include "tests/support/Crc32Reference.h"
#include "tests/support/ScopedSeam.h"
#include "LinkNotifications.h"
#include "KitSessionTest.h"
#include "LinkTestSupport.h"
#include "container/GlobalFolders.h"
#include "container/UPDATEModel.h"
#include "container/UpdateResult.h"
#include "link/FrameLayer.h"
#include "link/UPDATEProtocol.h"
#include "platform/paths/DrivePaths.h"
#include "platform/window/MessageBoxSeam.h"

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

long long MsSince(Clock::time_point since)
{
    return std::chrono::duration_cast<milliseconds>(Clock::now() - since).count();
}

const int COM = 201;
const int RESULT_WAIT = 30000;  // longer than every session's time-out

// A product description whose data frames need stuffing: five frames.
std::string ProductXml()
{
    std::string text = "<?xml version=\"1.0\"?>\n<product name=\"RX7150\"><devices><device name=\"RX7150\">"
                       "<software>138</software></device></devices></product>\n<!--";
    for (int i = 0; text.size() < 4500; ++i)
        text += static_cast<char>(i % 37 == 0 ? 0x1B : i % 41 == 0 ? 0x1C : 'a' + i % 26);
    return text + "-->\n";
}

class Sessions : public zqtest::KitSessionTest<COM> {
protected:
    void StartKit(const std::vector<std::string>& options = {}, const std::string& scenario = "")
    {
        ASSERT_TRUE(m_sim.Start(options, scenario)) << m_sim.Error() << m_sim.Log();
    }

    // Runs a session to its end and returns its result code, -1 when it
    // posted none in time.
    int Run(int (UPDATEProtocol::*start)())
    {
        m_notifications.Clear();
        EXPECT_EQ((m_protocol.*start)(), 0) << "the session did not start";
        int result = m_notifications.WaitForResult(RESULT_WAIT);
        EXPECT_NE(result, -1) << "the session's result within " << RESULT_WAIT / 1000 << " s";
        EXPECT_TRUE(m_protocol.WaitForSession(5000)) << "the session thread's end within 5 s of its result";
        return result;
    }

    // A connect that the simulator answers.
    void Connect()
    {
        ASSERT_EQ(Run(&UPDATEProtocol::StartConnect), UPDATE_RESULT_SUCCESS);
        ASSERT_NE(m_pSerialPort, nullptr);
    }

    // Frames of the type that the simulator received so far.
    int Received(int type)
    {
        int count = 0;
        for (const auto& e : m_sim.Events("rx"))
            count += e.Number("type") == type;
        return count;
    }
    // Waits up to the time for a first frame of the type to reach the kit.
    bool WaitReceived(int type, int milliseconds)
    {
        for (auto end = Clock::now() + std::chrono::milliseconds(milliseconds); Clock::now() < end;
             std::this_thread::sleep_for(std::chrono::milliseconds(20)))
            if (Received(type) > 0)
                return true;
        return Received(type) > 0;
    }

    std::string ProductPath() const { return m_work + "/product.xml"; }
    std::string ReadProduct() const
    {
        std::ifstream in(ProductPath(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
};

// ---- The whole road, with the ways the car kit's bytes may arrive ----

class WholeRoad : public Sessions, public ::testing::WithParamInterface<std::vector<std::string>> {};

std::string WholeRoadName(const ::testing::TestParamInfo<std::vector<std::string>>& info)
{
    const char* names[] = {"Plain", "SplitAcrossReads", "CoalescedWithGarbage", "PacedLine"};
    return names[info.index];
}

TEST_P(WholeRoad, FetchesProductXmlByteForByte)
{
    const std::string xml = ProductXml();
    std::vector<std::string> options = {"--product", m_sim.WriteFile("kit-product.xml", xml)};
    options.insert(options.end(), GetParam().begin(), GetParam().end());
    ASSERT_NO_FATAL_FAILURE(StartKit(options));

    ASSERT_NO_FATAL_FAILURE(Connect());
    EXPECT_EQ(m_protocol.m_SpecialUpdate, 0);
    EXPECT_EQ(Run(&UPDATEProtocol::StartInquiry), UPDATE_RESULT_SUCCESS);
    std::string written = ReadProduct();
    EXPECT_EQ(written.size(), xml.size());
    EXPECT_TRUE(written == xml) << "product.xml differs from what the kit sent";
    EXPECT_EQ(UPDATEProtocol::m_RxFileSize, xml.size());
    EXPECT_EQ(UPDATEProtocol::m_RxFileCrc, zqtest::ReferenceCrc32(xml)) << "the announced CRC is kept";
    // The request names the file with its terminating NUL.
    EXPECT_EQ(Received(PtFileRequest), 1);
    for (const auto& e : m_sim.Events("rx"))
        if (e.Number("type") == PtFileRequest) {
            EXPECT_EQ(e.Number("len"), static_cast<long long>(sizeof("product.xml")));
        }
    EXPECT_EQ(m_notifications.Values(WM_STEP_PROGRESS), (std::vector<WPARAM>{0, 25, 50, 75, 100}));
    EXPECT_TRUE(m_sim.Events("noise").empty()) << "the PC's frames reached the kit whole";

    g_UpdateModel.m_FileList.push_back("stale.bin");
    EXPECT_EQ(Run(&UPDATEProtocol::StartDisconnect), UPDATE_RESULT_DEVICE_DISCONNECTED);
    EXPECT_EQ(m_pSerialPort, nullptr);
    EXPECT_TRUE(g_UpdateModel.m_FileList.empty()) << "the model is emptied";
    EXPECT_EQ(Received(PtHostNak), 0);
}

INSTANTIATE_TEST_SUITE_P(Link, WholeRoad,
                         ::testing::Values(std::vector<std::string>{},
                                           std::vector<std::string>{"--chunk", "61", "--split-escape", "--chunk-pause",
                                                                    "15"},
                                           std::vector<std::string>{"--coalesce", "--garbage", "41421B"},
                                           std::vector<std::string>{"--baud", "115200"}),
                         WholeRoadName);

// ---- Connect ----

struct ConnectCase {
    const char* name;
    std::vector<std::string> options;
    const char* scenario;
    int result;
    bool portOpen;
};

void PrintTo(const ConnectCase& c, std::ostream* os)
{
    *os << c.name;
}

class ConnectAnswers : public Sessions, public ::testing::WithParamInterface<ConnectCase> {};

TEST_P(ConnectAnswers, EndWithTheirResultCode)
{
    const ConnectCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(StartKit(c.options, c.scenario));
    EXPECT_EQ(Run(&UPDATEProtocol::StartConnect), c.result);
    EXPECT_EQ(m_pSerialPort != nullptr, c.portOpen);
    if (c.result == UPDATE_RESULT_SUCCESS) {
        EXPECT_EQ(m_protocol.m_SpecialUpdate, c.options.empty() ? 0 : 1);
    }
    // The connect session answers no frame with PtHostNak.
    std::this_thread::sleep_for(milliseconds(200));
    EXPECT_EQ(Received(PtHostNak), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Connect, ConnectAnswers,
    ::testing::Values(
        ConnectCase{"Answer", {}, "", UPDATE_RESULT_SUCCESS, true},
        ConnectCase{"AnswerWithPayload", {"--connect-payload", "01"}, "", UPDATE_RESULT_SUCCESS, true},
        ConnectCase{"Disconnect", {}, "on connect do disconnect; silence\n", UPDATE_RESULT_DEVICE_DISCONNECTED, false},
        ConnectCase{"NakReason0", {}, "on connect do nak 0; silence\n", UPDATE_RESULT_DEVICE_NAK, false},
        ConnectCase{"NakReason9", {}, "on connect do nak 9; silence\n", UPDATE_RESULT_DEVICE_NAK, false},
        ConnectCase{"NakAbove9Ignored", {}, "on connect do nak 10; nak 255; answer\n", UPDATE_RESULT_SUCCESS, true},
        ConnectCase{
            "NakWithoutReasonIgnored", {}, "on connect do send 8 00000000; answer\n", UPDATE_RESULT_SUCCESS, true},
        ConnectCase{"OtherFramesIgnored",
                    {},
                    "on connect do send 6 000000000102; fileok; send 42; answer\n",
                    UPDATE_RESULT_SUCCESS,
                    true},
        ConnectCase{"CorruptFrameThenAnswer",
                    {},
                    "on connect do truncate 3; connect 01; answer\n",
                    UPDATE_RESULT_SUCCESS,
                    true}),
    [](const ::testing::TestParamInfo<ConnectCase>& info) { return info.param.name; });

TEST_F(Sessions, ConnectTimesOutAfterTwentySilentSeconds)
{
    // The ignored NAK starts the 20 s wait again.
    ASSERT_NO_FATAL_FAILURE(StartKit({}, "on connect do delay 2000; nak 12; silence\n"));
    auto start = Clock::now();
    EXPECT_EQ(Run(&UPDATEProtocol::StartConnect), UPDATE_RESULT_TIMEOUT);
    EXPECT_GE(MsSince(start), 22000 - 200) << "ms of the session, from its start to its timeout";
    EXPECT_EQ(m_pSerialPort, nullptr);
}

TEST_F(Sessions, ConnectWithoutAUsablePortEndsWithPortErrorAtOnce)
{
    ASSERT_NO_FATAL_FAILURE(StartKit());
    zqtest::LinkCom(9, "/nonexistent/zq-device");
    const char* texts[] = {"Port7", "COM", "COMX", "COM9", "COM457", "com201"};
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        zqtest::StorePortNumber(text);
        EXPECT_EQ(Run(&UPDATEProtocol::StartConnect), UPDATE_RESULT_PORT_ERROR);
        EXPECT_EQ(m_pSerialPort, nullptr);
    }
    // Held by another program: the open is exclusive.
    zqtest::StorePortNumber("COM201");
    HANDLE other = CreateFileA(m_sim.PortName().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Run(&UPDATEProtocol::StartConnect), UPDATE_RESULT_PORT_ERROR);
    CloseHandle(other);
    EXPECT_TRUE(m_sim.Events("rx").empty()) << "nothing was sent";
}

TEST_F(Sessions, ConnectWithoutAStoredPortEndsWithPortError)
{
    zqtest::ConfigFolder fresh;  // a registry without "PortNumber"
    EXPECT_EQ(Run(&UPDATEProtocol::StartConnect), UPDATE_RESULT_PORT_ERROR);
    EXPECT_EQ(m_pSerialPort, nullptr);
}

TEST_F(Sessions, ConnectCancelledBeforeItStartsOpensNoPort)
{
    ASSERT_NO_FATAL_FAILURE(StartKit());
    m_protocol.Cancel();
    auto start = Clock::now();
    EXPECT_EQ(Run(&UPDATEProtocol::StartConnect), UPDATE_RESULT_CANCELLED);
    EXPECT_GE(MsSince(start), 200) << "ms of the cancelled session, from its start to its end";
    EXPECT_EQ(UPDATEManager::m_CancelRequested, 0);
    EXPECT_EQ(m_pSerialPort, nullptr);
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_TRUE(m_sim.Events("rx").empty());
}

TEST_F(Sessions, ConnectCancelEndsTheWaitAtOnce)
{
    ASSERT_NO_FATAL_FAILURE(StartKit({}, "on connect do delay 3000; nak 12; silence\n"));
    m_notifications.Clear();
    ASSERT_EQ(m_protocol.StartConnect(), UPDATEProtocol::SESSION_STARTED);
    ASSERT_TRUE(m_sim.WaitFor("rx", 1)) << "the connect frame at the kit within 10 s";
    m_protocol.Cancel();
    auto cancelled = Clock::now();
    EXPECT_EQ(m_notifications.WaitForResult(RESULT_WAIT), UPDATE_RESULT_CANCELLED)
        << "the cancelled session's result within " << RESULT_WAIT / 1000 << " s";
    // The cancel wakes the wait: the session ends before the kit's late
    // answer would have ended it.
    EXPECT_LT(MsSince(cancelled), 2500) << "ms from the cancel to the session's result";
    EXPECT_TRUE(m_sim.Events("tx").empty());  // the kit had not answered yet
    EXPECT_TRUE(m_protocol.WaitForSession(5000)) << "the session thread's end within 5 s of its result";
    EXPECT_EQ(m_pSerialPort, nullptr);
}

TEST_F(Sessions, ConnectEndsWhenTheCarKitIsUnplugged)
{
    ASSERT_NO_FATAL_FAILURE(StartKit({}, "on connect do unplug\n"));
    auto start = Clock::now();
    EXPECT_EQ(Run(&UPDATEProtocol::StartConnect), UPDATE_RESULT_DEVICE_DISCONNECTED);
    EXPECT_LT(MsSince(start), 20000) << "ms of the session, from its start to the unplug's result";
    EXPECT_EQ(m_pSerialPort, nullptr);
}

// ---- Inquiry ----

// PtFileInfo for a 9-byte file, a data frame and the end frame, as the
// simulator's "send" writes them.
const std::string INFO = "send 4 0900000000000000";
const std::string END = "send 7";

struct InquiryCase {
    const char* name;
    std::string scenario;
    int result;
    bool hostNak;  // a PtHostNak with reason 3 went back
    std::string written;
};

void PrintTo(const InquiryCase& c, std::ostream* os)
{
    *os << c.name;
}

class InquiryAnswers : public Sessions, public ::testing::WithParamInterface<InquiryCase> {};

TEST_P(InquiryAnswers, EndWithTheirResultCode)
{
    const InquiryCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(StartKit({}, c.scenario));
    ASSERT_NO_FATAL_FAILURE(Connect());
    EXPECT_EQ(Run(&UPDATEProtocol::StartInquiry), c.result);
    EXPECT_EQ(ReadProduct(), c.written);
    EXPECT_NE(m_pSerialPort, nullptr) << "the inquiry leaves the port open";
    std::vector<WPARAM> steps = m_notifications.Values(WM_STEP_PROGRESS);
    ASSERT_GE(steps.size(), 3u);
    EXPECT_EQ(steps.front(), 0u);
    EXPECT_EQ(steps.back(), 100u);
    if (c.hostNak) {
        ASSERT_TRUE(WaitReceived(PtHostNak, 2000)) << "the PC's NAK at the kit within 2 s";
        EXPECT_EQ(Received(PtHostNak), 1);
        for (const auto& e : m_sim.Events("rx"))
            if (e.Number("type") == PtHostNak) {
                EXPECT_EQ(e.Number("reason"), NAK_REASON_UNEXPECTED_COMMAND);
            }
    } else {
        std::this_thread::sleep_for(milliseconds(200));
        EXPECT_EQ(Received(PtHostNak), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Inquiry, InquiryAnswers,
    ::testing::Values(
        InquiryCase{"DisconnectBeforeInfo", "on request do disconnect; silence\n", UPDATE_RESULT_DEVICE_DISCONNECTED,
                    false, ""},
        InquiryCase{"DisconnectInData", "on request do " + INFO + "; disconnect; silence\n",
                    UPDATE_RESULT_DEVICE_DISCONNECTED, false, ""},
        InquiryCase{"NakBeforeInfo", "on request do nak 5; silence\n", UPDATE_RESULT_DEVICE_NAK, false, ""},
        InquiryCase{"NakReason9", "on request do nak 9; silence\n", UPDATE_RESULT_DEVICE_NAK, false, ""},
        InquiryCase{"NakInData", "on request do " + INFO + "; nak 0; silence\n", UPDATE_RESULT_DEVICE_NAK, false, ""},
        InquiryCase{"NakAbove9Ignored",
                    "on request do nak 10; " + INFO + "; nak 200; send 6 0000000078; " + END + "; silence\n",
                    UPDATE_RESULT_SUCCESS, false, "x"},
        InquiryCase{"DataBeforeInfo", "on request do send 6 0000000078; silence\n", UPDATE_RESULT_UNEXPECTED_COMMAND,
                    true, ""},
        InquiryCase{"ConfirmationBeforeInfo", "on request do fileok 11; silence\n", UPDATE_RESULT_UNEXPECTED_COMMAND,
                    true, ""},
        InquiryCase{"SecondInfo", "on request do " + INFO + "; " + INFO + "; silence\n",
                    UPDATE_RESULT_UNEXPECTED_COMMAND, true, ""},
        InquiryCase{"ConnectInData", "on request do " + INFO + "; connect; silence\n", UPDATE_RESULT_UNEXPECTED_COMMAND,
                    true, ""},
        InquiryCase{"UnknownTypeInData", "on request do " + INFO + "; send 99; silence\n",
                    UPDATE_RESULT_UNEXPECTED_COMMAND, true, ""},
        InquiryCase{
            "SequenceGap",
            "on request do " + INFO +
                "; send 6 0000000030; send 6 0100000031; send 6 0300000033; send 6 0200000032; send 6 0400000034; " +
                END + "; silence\n",
            UPDATE_RESULT_SUCCESS, false, "012"},
        InquiryCase{"ShortDataDropped",
                    "on request do " + INFO + "; send 6 0000; send 6 0000000061; " + END + "; silence\n",
                    UPDATE_RESULT_SUCCESS, false, "a"}),
    [](const ::testing::TestParamInfo<InquiryCase>& info) { return info.param.name; });

TEST_F(Sessions, InquiryTimesOutWithoutFileInformation)
{
    ASSERT_NO_FATAL_FAILURE(StartKit({}, "on request do silence\n"));
    ASSERT_NO_FATAL_FAILURE(Connect());
    auto start = Clock::now();
    EXPECT_EQ(Run(&UPDATEProtocol::StartInquiry), UPDATE_RESULT_TIMEOUT);
    EXPECT_GE(MsSince(start), 10000 - 200) << "ms of the session, from its start to its timeout";
}

TEST_F(Sessions, InquiryTimesOutInTheMiddleOfTheData)
{
    ASSERT_NO_FATAL_FAILURE(StartKit({}, "on request do " + INFO + "; send 6 000000006162; silence\n"));
    ASSERT_NO_FATAL_FAILURE(Connect());
    EXPECT_EQ(Run(&UPDATEProtocol::StartInquiry), UPDATE_RESULT_TIMEOUT);
    EXPECT_EQ(ReadProduct(), "ab") << "closed whatever the result";
}

TEST_F(Sessions, InquiryCancelledAtItsStartSendsNoRequest)
{
    ASSERT_NO_FATAL_FAILURE(StartKit());
    ASSERT_NO_FATAL_FAILURE(Connect());
    std::ofstream(ProductPath(), std::ios::binary) << "earlier";
    m_protocol.Cancel();
    EXPECT_EQ(Run(&UPDATEProtocol::StartInquiry), UPDATE_RESULT_CANCELLED);
    EXPECT_EQ(m_notifications.Values(WM_STEP_PROGRESS), (std::vector<WPARAM>{0, 100}));
    EXPECT_EQ(UPDATEManager::m_CancelRequested, 0);
    EXPECT_EQ(ReadProduct(), "earlier");
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(Received(PtFileRequest), 0);
}

TEST_F(Sessions, InquiryEndsWhenTheCarKitIsUnpluggedInTheMiddle)
{
    ASSERT_NO_FATAL_FAILURE(StartKit({}, "on request do " + INFO + "; send 6 0000000061; delay 100; unplug\n"));
    ASSERT_NO_FATAL_FAILURE(Connect());
    auto start = Clock::now();
    EXPECT_EQ(Run(&UPDATEProtocol::StartInquiry), UPDATE_RESULT_DEVICE_DISCONNECTED);
    EXPECT_LT(MsSince(start), 10000) << "ms of the session, from its start to the unplug's result";
}

TEST_F(Sessions, InquiryWithoutAnOpenPortEndsAtOnce)
{
    ASSERT_NO_FATAL_FAILURE(StartKit());
    auto start = Clock::now();
    EXPECT_EQ(Run(&UPDATEProtocol::StartInquiry), UPDATEProtocol::RESULT_LINK_LOST);
    EXPECT_LT(MsSince(start), 5000) << "ms of the session, from its start to its result";
    EXPECT_EQ(m_notifications.Values(WM_STEP_PROGRESS), (std::vector<WPARAM>{0, 25, 100}));
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_TRUE(m_sim.Events("rx").empty());
}

TEST_F(Sessions, InquiryOnAFullDiskReportsNoSuccess)
{
    ASSERT_NO_FATAL_FAILURE(StartKit({"--product", m_sim.WriteFile("kit-product.xml", ProductXml())}));
    ASSERT_NO_FATAL_FAILURE(Connect());
    // The disk fills up after 2000 bytes of product.xml. Only this process
    // is limited: the simulator runs already.
    // The write beyond the limit fails instead of ending the process.
    const zqtest::ScopedSignal fileTooLarge(SIGXFSZ, SIG_IGN);
    ASSERT_TRUE(fileTooLarge.Set());
    {
        const zqtest::ScopedResourceLimit fullDisk(RLIMIT_FSIZE, 2000);
        ASSERT_TRUE(fullDisk.Set());
        EXPECT_EQ(Run(&UPDATEProtocol::StartInquiry), UPDATE_RESULT_TIMEOUT);
    }
    EXPECT_NE(m_pSerialPort, nullptr);
}

// What stands where product.xml is received, before the inquiry. An earlier
// inquiry's copy never survives the next inquiry: where the new one cannot
// be created (a box, and the session reads on to its end with the link's
// result), nothing readable is left, and an old copy that could not be
// written over (reached through a link, or not writable by this user) is
// replaced by the new one. An old copy that cannot even be removed (its
// folder is not this user's to change) stays, and the protocol says that
// this inquiry wrote none.
TEST_F(Sessions, AnInquiryNeverLeavesAnEarlierProductXmlToBeRead)
{
    const std::string xml = ProductXml();
    const std::string earlier = "<product name=\"RX5230\"/>";
    const std::string elsewhere = m_sim.WriteFile("earlier-product.xml", earlier);
    struct Case {
        const char* what;
        const char* folder;  // the work folder, below the prepared one
        // Plants what stands at the path; false when this user cannot have it.
        std::function<bool(const std::string& path)> plant;
        bool box;   // the new product.xml cannot be created
        bool kept;  // the earlier copy cannot be removed
    } cases[] = {
        {"no work folder", "/missing", [](const std::string&) { return true; }, true, false},
        {"a folder of that name", "", [](const std::string& path) { return mkdir(path.c_str(), 0700) == 0; }, true,
         false},
        {"an earlier copy reached through a link", "",
         [&](const std::string& path) { return symlink(elsewhere.c_str(), path.c_str()) == 0; }, false, false},
        // As a copy that a run under another user left: root writes every
        // file, so only another user meets this one.
        {"an earlier copy this user may not write", "",
         [&](const std::string& path) {
             std::ofstream(path) << earlier;
             return geteuid() != 0 && chmod(path.c_str(), 0444) == 0;
         },
         false, false},
        // As in a shared temporary folder, where another user's file can be
        // neither removed nor replaced; root changes every folder.
        {"an earlier copy in a folder this user may not change", "/locked",
         [&](const std::string& path) {
             const std::string folder = path.substr(0, path.rfind('/'));
             mkdir(folder.c_str(), 0700);
             std::ofstream(path) << earlier;
             return geteuid() != 0 && chmod(path.c_str(), 0444) == 0 && chmod(folder.c_str(), 0555) == 0;
         },
         true, true},
    };
    ASSERT_NO_FATAL_FAILURE(StartKit({"--product", m_sim.WriteFile("kit-product.xml", xml)}));
    ASSERT_NO_FATAL_FAILURE(Connect());
    const CString workFolder = g_WorkFolder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string product = m_work + c.folder + "/product.xml";
        g_WorkFolder = workFolder + c.folder;
        if (!c.plant(product)) {
            std::cout << "not planted for this user: " << c.what << "\n";
        } else {
            zq::RecordingMessageBoxResponder boxes;
            EXPECT_EQ(Run(&UPDATEProtocol::StartInquiry), UPDATE_RESULT_SUCCESS);
            EXPECT_EQ(m_protocol.ReceivedProductXml(), c.box ? FALSE : TRUE);
            if (c.box) {
                ASSERT_EQ(boxes.Count(), 1u);
                EXPECT_EQ(boxes.Calls()[0].text, "Open file error (product.xml)");
                EXPECT_EQ(boxes.Calls()[0].type & 0xF, static_cast<UINT>(MB_OK));
                struct stat st;
                EXPECT_EQ(stat(product.c_str(), &st) == 0 && S_ISREG(st.st_mode), c.kept)
                    << "a description is left, or one that cannot be removed went";
            } else {
                EXPECT_EQ(boxes.Count(), 0u);
                EXPECT_TRUE(ReadProduct() == xml) << "the earlier copy stands in place of the kit's";
                std::ifstream in(elsewhere);
                EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), earlier) << "a link was followed";
            }
        }
        // The session makes no folder, and the next case starts afresh.
        EXPECT_EQ(access((m_work + "/missing").c_str(), F_OK), -1);
        chmod((m_work + "/locked").c_str(), 0700);
        unlink((m_work + "/locked/product.xml").c_str());
        rmdir((m_work + "/locked").c_str());
        g_WorkFolder = workFolder;
        rmdir(ProductPath().c_str());
        unlink(ProductPath().c_str());
    }
}

// ---- Disconnect ----

struct DisconnectCase {
    const char* name;
    const char* scenario;
    int result;
    bool hostNak;
};

void PrintTo(const DisconnectCase& c, std::ostream* os)
{
    *os << c.name;
}

class DisconnectAnswers : public Sessions, public ::testing::WithParamInterface<DisconnectCase> {};

TEST_P(DisconnectAnswers, EndWithTheirResultCodeAndCloseThePort)
{
    const DisconnectCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(StartKit({}, c.scenario));
    ASSERT_NO_FATAL_FAILURE(Connect());
    g_UpdateModel.m_FileList.push_back("a.bin");
    EXPECT_EQ(Run(&UPDATEProtocol::StartDisconnect), c.result);
    EXPECT_EQ(m_pSerialPort, nullptr);
    EXPECT_TRUE(g_UpdateModel.m_FileList.empty());
    if (c.hostNak) {
        EXPECT_TRUE(WaitReceived(PtHostNak, 2000)) << "the PC's NAK at the kit within 2 s";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Disconnect, DisconnectAnswers,
    ::testing::Values(DisconnectCase{"Confirmed", "", UPDATE_RESULT_DEVICE_DISCONNECTED, false},
                      DisconnectCase{"ResendNakIgnored", "on disconnect do nak 2; nak 77; answer\n",
                                     UPDATE_RESULT_DEVICE_DISCONNECTED, false},
                      DisconnectCase{"Nak", "on disconnect do nak 3; silence\n", UPDATE_RESULT_DEVICE_NAK, false},
                      DisconnectCase{"OtherFrame", "on disconnect do send 6 00000000; silence\n",
                                     UPDATE_RESULT_UNEXPECTED_COMMAND, true},
                      DisconnectCase{"Silence", "on disconnect do silence\n", UPDATE_RESULT_TIMEOUT, false}),
    [](const ::testing::TestParamInfo<DisconnectCase>& info) { return info.param.name; });

TEST_F(Sessions, DisconnectWithoutAnOpenPortEndsAtOnce)
{
    ASSERT_NO_FATAL_FAILURE(StartKit());
    g_UpdateModel.m_FileList.push_back("a.bin");
    EXPECT_EQ(Run(&UPDATEProtocol::StartDisconnect), UPDATEProtocol::RESULT_LINK_LOST);
    EXPECT_TRUE(g_UpdateModel.m_FileList.empty());
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_TRUE(m_sim.Events("rx").empty());
}

}  // namespace
