// The car-kit simulator checked against the system's own frame codec and
// the serial ports of the platform layer: what the link tests rely on.
#include "tests/support/CarKitSimulator.h"
#include "tests/support/Crc32Reference.h"
#include "tests/support/TempFolder.h"

#include "link/FrameLayer.h"
#include "platform/serial/Serial.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string U32(uint32_t v)
{
    std::string s;
    for (int i = 0; i < 4; ++i)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

uint32_t GetU32(const std::string& s, size_t at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(s.at(at + static_cast<size_t>(i)));
    return v;
}

struct Frame {
    int type;  // -1: nothing within the time, -2: the line has gone
    std::string payload;
};

// The PC's end of the line, built from the system's frame codec and plain
// synchronous port I/O.
class PcLine {
public:
    explicit PcLine(const std::string& port)
    {
        AllocateFrameBuffers();
        m_port = CreateFileA(port.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, m_port);
        COMMTIMEOUTS timeouts{10, 0, 200, 0, 2000};
        SetCommTimeouts(m_port, &timeouts);
        DCB dcb{};
        GetCommState(m_port, &dcb);
        dcb.BaudRate = CBR_115200;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        SetCommState(m_port, &dcb);
    }
    ~PcLine()
    {
        if (m_port != INVALID_HANDLE_VALUE)
            CloseHandle(m_port);
        FreeFrameBuffers();
    }
    void Send(BYTE type, const std::string& payload = std::string())
    {
        const int length = BuildFrame(type, payload.data(), static_cast<int>(payload.size()));
        const int stuffed = EncodeFrame(m_TxFrame, length);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(m_port, m_TxEncoded, static_cast<DWORD>(stuffed), &written, nullptr));
        ASSERT_EQ(static_cast<DWORD>(stuffed), written);
    }
    Frame Next(int timeoutMs = 5000)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            while (m_RxConsumed < m_RxAvailable) {
                const UINT type = ReadFrame();
                if (type != PtNone)
                    return {static_cast<int>(type),
                            std::string(reinterpret_cast<const char*>(m_ReadFrame.payload), m_ReadFrame.size)};
            }
            if (std::chrono::steady_clock::now() >= deadline)
                return {-1, ""};
            DWORD got = 0;
            if (!ReadFile(m_port, m_RxBuffer, FRAME_READ_SIZE, &got, nullptr))
                return {-2, ""};
            m_RxPos = m_RxBuffer;
            m_RxAvailable = got;
            m_RxConsumed = 0;
        }
    }

private:
    HANDLE m_port = INVALID_HANDLE_VALUE;
};

std::string ProductWithEveryByte()
{
    std::string doc = "<product>";
    for (int i = 0; i < 2500; ++i)
        doc += static_cast<char>((i * 37) & 0xFF);
    return doc + "</product>";
}

TEST(CarKitSimulator, AnswersConnectProductAndDisconnectOnEveryKindOfLine)
{
    const std::vector<std::vector<std::string>> lines = {
        {},
        {"--chunk", "50", "--chunk-pause", "12"},   // frames split across reads
        {"--split-escape", "--chunk-pause", "12"},  // also between 0x1B and its partner
        {"--coalesce", "--garbage", "00ff1b41"},    // several frames per write, noise between
        {"--baud", "115200"},
    };
    const std::string doc = ProductWithEveryByte();
    for (const auto& options : lines) {
        SCOPED_TRACE(options.empty() ? "plain" : options[0]);
        zqtest::CarKitSimulator sim;
        std::vector<std::string> args = options;
        args.insert(args.end(), {"--product", sim.WriteFile("product.xml", doc)});
        ASSERT_TRUE(sim.Start(args)) << sim.Error();
        PcLine pc(sim.PortName());

        pc.Send(PtConnect);
        Frame answer = pc.Next();
        EXPECT_EQ(PtConnect, answer.type);
        EXPECT_EQ("", answer.payload);

        pc.Send(PtFileRequest, std::string("product.xml", 12));
        Frame info = pc.Next();
        ASSERT_EQ(PtFileInfo, info.type);
        ASSERT_EQ(8u, info.payload.size());
        EXPECT_EQ(doc.size(), GetU32(info.payload, 0));
        EXPECT_EQ(zqtest::ReferenceCrc32(doc), GetU32(info.payload, 4));
        std::string received;
        for (uint32_t seq = 0;; ++seq) {
            Frame data = pc.Next();
            if (data.type != PtFileData) {
                EXPECT_EQ(PtFileEnd, data.type);
                break;
            }
            ASSERT_GE(data.payload.size(), 4u);
            EXPECT_EQ(seq, GetU32(data.payload, 0));
            EXPECT_LE(data.payload.size(), 1028u);
            received += data.payload.substr(4);
        }
        EXPECT_EQ(doc, received);

        pc.Send(PtDisconnect);
        EXPECT_EQ(PtDisconnect, pc.Next().type);
        ASSERT_TRUE(sim.WaitFor("rx", 3)) << "the kit's three received frames within 10 s";
        const auto rx = sim.Events("rx");
        EXPECT_EQ("1", rx[0].Get("type"));
        EXPECT_EQ("3", rx[1].Get("type"));
        EXPECT_EQ("ok", rx[1].Get("check"));
        EXPECT_EQ("2", rx[2].Get("type"));
        EXPECT_TRUE(sim.Events("noise").empty()) << "the PC's frames arrive clean";
    }
}

// Sends one file as the update session does; `crcDelta` spoils the end
// frame's CRC and `skip` leaves out one data frame.
void SendFile(PcLine& pc, const std::string& name, const std::string& content, uint32_t crcDelta = 0, int skip = -1)
{
    pc.Send(PtFileHeader, U32(static_cast<uint32_t>(content.size())) + name + '\0');
    for (uint32_t seq = 0;; ++seq) {
        const std::string block = content.substr(std::min<size_t>(content.size(), seq * 1024u), 1024);
        if (static_cast<int>(seq) != skip)
            pc.Send(PtFileData, U32(seq) + block);
        if (block.size() < 1024)
            break;
    }
    pc.Send(PtFileEnd, U32(static_cast<uint32_t>(content.size())) + U32(zqtest::ReferenceCrc32(content) + crcDelta));
}

TEST(CarKitSimulator, ChecksReceivedFilesAndConfirmsAsTheModelWould)
{
    EXPECT_EQ(0xCBF43926u, zqtest::ReferenceCrc32("123456789"));
    struct Case {
        std::vector<std::string> options;
        int confirmation;  // 0: none
    };
    const Case cases[] = {
        {{"--model", "RX7150", "--software", "138"}, 10},
        {{"--model", "RX7150", "--software", "137"}, 0},
        {{"--model", "RX9000", "--fileok-type", "11"}, 11},
    };
    std::string twoBlocks(2048, '\0');
    for (size_t i = 0; i < twoBlocks.size(); ++i)
        twoBlocks[i] = static_cast<char>(i % 29 == 0 ? 0x1B : i % 31 == 0 ? 0x1C : i);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options[1]);
        zqtest::CarKitSimulator sim;
        ASSERT_TRUE(sim.Start(c.options)) << sim.Error();
        PcLine pc(sim.PortName());

        SendFile(pc, "a.bin", twoBlocks);
        SendFile(pc, "b.bin", "short", 1);
        SendFile(pc, "c.bin", twoBlocks, 0, 1);
        SendFile(pc, "empty.bin", "");
        pc.Send(PtDisconnect);
        // A good file is confirmed (or not) before the next frame is read.
        if (c.confirmation) {
            EXPECT_EQ(c.confirmation, pc.Next().type);
            EXPECT_EQ(c.confirmation, pc.Next().type);  // the empty file
        }
        EXPECT_EQ(PtDisconnect, pc.Next().type);

        ASSERT_TRUE(sim.WaitFor("file", 4)) << "the kit's four received files within 10 s";
        const auto files = sim.Events("file");
        EXPECT_EQ("ok", files[0].Get("status"));
        EXPECT_EQ("3", files[0].Get("frames"));  // 1024, 1024 and an empty one
        EXPECT_EQ(twoBlocks, sim.ReceivedFile("a.bin"));
        EXPECT_EQ("bad", files[1].Get("status"));
        EXPECT_EQ("crc", files[1].Get("faults"));
        EXPECT_EQ("bad", files[2].Get("status"));
        EXPECT_EQ("size,crc,seq", files[2].Get("faults"));
        EXPECT_EQ("ok", files[3].Get("status"));
        EXPECT_EQ("0", files[3].Get("received"));
    }
}

TEST(CarKitSimulator, MisbehavesAsTheScenarioSaysAndCanBeUnplugged)
{
    zqtest::CarKitSimulator sim;
    // No confirmation of the file: the requeue NAK is the kit's last word.
    ASSERT_TRUE(sim.Start({"--connect-payload", "0102", "--fileok", "never"},
                          "on connect do nak 12 5; answer\n"
                          "on request do send 9 abcd; silence\n"
                          "on data last=1 do nak 0 7\n"
                          "on disconnect do unplug   # the kit goes without an answer\n"))
        << sim.Error();
    PcLine pc(sim.PortName());

    pc.Send(PtConnect);
    Frame nak = pc.Next();
    ASSERT_EQ(PtNak, nak.type);
    ASSERT_EQ(5u, nak.payload.size());
    EXPECT_EQ(5u, GetU32(nak.payload, 0));
    EXPECT_EQ(12, static_cast<unsigned char>(nak.payload[4]));
    Frame answer = pc.Next();
    EXPECT_EQ(PtConnect, answer.type);
    EXPECT_EQ("\x01\x02", answer.payload);

    pc.Send(PtFileRequest, std::string("product.xml", 12));
    Frame odd = pc.Next();
    EXPECT_EQ(9, odd.type);
    EXPECT_EQ("\xab\xcd", odd.payload);
    EXPECT_EQ(-1, pc.Next(300).type) << "silence: no PtFileInfo";

    SendFile(pc, "x.bin", std::string(1500, 'x'));
    Frame requeue = pc.Next();
    ASSERT_EQ(PtNak, requeue.type);
    EXPECT_EQ(7u, GetU32(requeue.payload, 0));
    EXPECT_EQ(0, requeue.payload[4]);

    pc.Send(PtDisconnect);
    EXPECT_EQ(-2, pc.Next().type) << "the unplugged line fails the read";
    ASSERT_TRUE(sim.WaitFor("exit")) << "the kit's end within 10 s";
    EXPECT_EQ("unplug", sim.Events("exit")[0].Get("reason"));
}

TEST(CarKitSimulator, AfterItsDisconnectWaitsForThePcToCloseTheLine)
{
    {
        zqtest::CarKitSimulator sim;
        ASSERT_TRUE(sim.Start({"--exit-after-disconnect"})) << sim.Error();
        {
            PcLine pc(sim.PortName());
            pc.Send(PtDisconnect);
            // A PC that is slow to read still finds the answer and the line.
            usleep(500 * 1000);
            EXPECT_TRUE(sim.Running());
            EXPECT_EQ(PtDisconnect, pc.Next().type);
        }
        ASSERT_TRUE(sim.WaitFor("exit", 1, 5000)) << "the kit's end within 5 s";
        EXPECT_EQ("disconnect", sim.Events("exit")[0].Get("reason"));
        EXPECT_EQ("pc", sim.Events("exit")[0].Get("hangup"));
    }
    {
        // A PC that never closes: the kit ends on its own after its wait.
        zqtest::CarKitSimulator sim;
        ASSERT_TRUE(sim.Start({"--exit-after-disconnect"})) << sim.Error();
        PcLine pc(sim.PortName());
        pc.Send(PtDisconnect);
        EXPECT_EQ(PtDisconnect, pc.Next().type);
        ASSERT_TRUE(sim.WaitFor("exit", 1, 10000)) << "the kit's end within 10 s";
        EXPECT_EQ("timeout", sim.Events("exit")[0].Get("hangup"));
    }
}

TEST(CarKitSimulator, RejectsABadScenario)
{
    // Each bad scenario with its line and what its error says; comments and
    // empty lines count as lines.
    struct Case {
        const char* scenario;
        const char* says;
    };
    const Case cases[] = {
        {"on connect do explode\n", "line 1: unknown action 'explode'"},
        {"\n# a comment\non bogus do answer\n", "line 3: unknown event 'bogus'"},
        {"connect do answer now\n", "line 1: expected 'on <event> ... do <action>'"},
        {"on data seq do answer\n", "line 1: expected key=value, got 'seq'"},
        {"on data times=x do answer\n", "line 1: times=N"},
        {"on data always seq=x do answer\n", "line 1: seq=N"},
        {"on data colour=red do answer\n", "line 1: unknown selector 'colour'"},
        {"on data seq=1 last=1\n", "line 1: missing 'do'"},
        {"on data seq=1 do ; ;\n", "line 1: no action"},
        {"on data do answer;nak\n", "line 1: nak REASON [SEQ]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scenario);
        zqtest::CarKitSimulator sim;
        EXPECT_FALSE(sim.Start({}, c.scenario));
        EXPECT_NE(std::string::npos, sim.Error().find(c.says)) << sim.Error();
    }
}

TEST(CarKitSimulator, EndsWhenTheProcessThatStartedItHasEnded)
{
    // A starter process starts the kit as the tests do and dies at once.
    zqtest::TempFolder folder;
    const std::string simulator = std::string(ZQ_BINARY_DIR) + "/bin/carkit-sim";
    const std::string ready = folder.Linux("ready"), report = folder.Linux("report.txt");
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t starter = fork();
    ASSERT_GE(starter, 0);
    if (starter == 0) {
        const std::string self = std::to_string(getpid());
        const pid_t kit = fork();
        if (kit == 0) {
            execl(simulator.c_str(), simulator.c_str(), "--parent", self.c_str(), "--ready-file", ready.c_str(),
                  "--report", report.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        _exit(write(fds[1], &kit, sizeof kit) == sizeof kit ? 0 : 1);
    }
    close(fds[1]);
    pid_t kit = 0;
    const bool told = read(fds[0], &kit, sizeof kit) == sizeof kit;
    close(fds[0]);
    int status = 0;
    waitpid(starter, &status, 0);
    ASSERT_TRUE(told && kit > 0);

    bool ended = false;
    for (int i = 0; i < 500 && !ended; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ended = folder.Read("report.txt").find("exit t=") != std::string::npos;
    }
    EXPECT_TRUE(ended) << "the kit lives on";
    EXPECT_NE(folder.Read("report.txt").find("reason=parent"), std::string::npos) << folder.Read("report.txt");
    if (!ended)
        kill(kit, SIGKILL);
}

}  // namespace
