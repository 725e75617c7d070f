// The frame layer on a real port: a pseudo-terminal whose other side the
// test plays.
#include <gtest/gtest.h>

#include <thread>

#include "LinkTestSupport.h"
#include "link/FrameLayer.h"
#include "link/SERIALInterface.h"
#include "platform/serial/Serial.h"
#include "platform/threads/Threads.h"

using zqtest::Bytes;
using zqtest::WireFrame;

namespace {

const int COM = 7;

class FramePort : public ::testing::Test {
protected:
    void SetUp() override
    {
        AllocateFrameBuffers();
        m_config.LinkCom(COM, m_line.Slave());
    }
    void TearDown() override
    {
        CloseSerialPort();
        FreeFrameBuffers();
    }

    // Waits for the next complete frame; PtNone when none comes in time.
    static UINT NextFrame(DWORD milliseconds = 2000)
    {
        for (int turn = 0; turn < 50; ++turn) {
            if (WaitForEvent(milliseconds) != EVENT_READ_IND)
                return PtNone;
            UINT type = ReadFrame();
            if (type != PtNone)
                return type;
        }
        return PtNone;
    }

    static Bytes Payload() { return Bytes(m_ReadFrame.payload, m_ReadFrame.payload + m_ReadFrame.size); }

    zqtest::ConfigFolder m_config;
    zqtest::PtyLine m_line;
};

TEST_F(FramePort, SendsEveryFrameWholeAndInOrder)
{
    ASSERT_EQ(OpenSerialPort(COM), 1);
    SendConnect();
    EXPECT_EQ(m_line.Receive(5), (Bytes{0x1C, 0x01, 0x00, 0x00, 0x1D}))
        << "what came on the line until it was quiet for 5 s";
    EXPECT_EQ(WaitForEvent(2000), static_cast<UINT>(EVENT_TRANSMIT_DONE)) << "the frame sent within 2 s";

    // The second frame is issued before the first one's completion has
    // been seen; it waits for it and reuses nothing that is still in use.
    Bytes data(4 + 1024, 0x1B);
    Bytes end = {0x00, 0x04, 0x00, 0x00, 0x1C, 0x1C, 0x1C, 0x1C};
    ASSERT_EQ(SendFrame(PtFileData, data.data(), 4, data.data() + 4, 1024), 1);
    ASSERT_EQ(SendFrame(PtFileEnd, end.data(), static_cast<int>(end.size())), 1);
    Bytes expected = WireFrame(PtFileData, data);
    Bytes endWire = WireFrame(PtFileEnd, end);
    expected.insert(expected.end(), endWire.begin(), endWire.end());
    EXPECT_EQ(m_line.Receive(expected.size()), expected) << "what came on the line until it was quiet for 5 s";
    EXPECT_EQ(WaitForEvent(2000), static_cast<UINT>(EVENT_TRANSMIT_DONE)) << "the frame sent within 2 s";
    EXPECT_EQ(WaitForEvent(100), static_cast<UINT>(EVENT_TIMEOUT)) << "no further event within 100 ms";
}

TEST_F(FramePort, AssemblesFramesSplitAcrossReadsAndSeveralInOneRead)
{
    ASSERT_EQ(OpenSerialPort(COM), 1);
    Bytes first = WireFrame(PtFileInfo, {0x1B, 0x00, 0x00, 0x00, 0x1C, 0x1B, 0x1C, 0x1B});
    Bytes second = WireFrame(PtFileEnd, {});
    // The cut falls between an escape byte and its partner; the pause ends
    // the first read.
    Bytes head(first.begin(), first.begin() + 5);
    ASSERT_EQ(head.back(), 0x1B);
    m_line.Send(head);
    ASSERT_EQ(WaitForEvent(2000), static_cast<UINT>(EVENT_READ_IND)) << "the frame received within 2 s";
    EXPECT_EQ(ReadFrame(), static_cast<UINT>(PtNone));
    Bytes rest(first.begin() + 5, first.end());
    rest.insert(rest.end(), second.begin(), second.end());
    m_line.Send(rest);
    ASSERT_EQ(NextFrame(), static_cast<UINT>(PtFileInfo));
    EXPECT_EQ(Payload(), (Bytes{0x1B, 0x00, 0x00, 0x00, 0x1C, 0x1B, 0x1C, 0x1B}));
    // The second frame came with the same read: reported at once.
    ASSERT_EQ(WaitForEvent(0), static_cast<UINT>(EVENT_READ_IND));
    EXPECT_EQ(ReadFrame(), static_cast<UINT>(PtFileEnd));
}

TEST_F(FramePort, ResynchronisesOnTheNextStartByte)
{
    ASSERT_EQ(OpenSerialPort(COM), 1);
    Bytes raw = {0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x1B};  // garbage, then a stray escape
    Bytes cut = WireFrame(PtFileData, Bytes(40, 0x55));
    raw.insert(raw.end(), cut.begin(), cut.begin() + 20);  // a frame cut short
    Bytes good = WireFrame(PtConnect, {});
    raw.insert(raw.end(), good.begin(), good.end());
    m_line.Send(raw);
    EXPECT_EQ(NextFrame(), static_cast<UINT>(PtConnect));
    EXPECT_EQ(m_ReadFrame.size, 0);
}

TEST_F(FramePort, KeepsTheReadOutstandingOverATimeOut)
{
    ASSERT_EQ(OpenSerialPort(COM), 1);
    EXPECT_EQ(WaitForEvent(100), static_cast<UINT>(EVENT_TIMEOUT)) << "no further event within 100 ms";
    EXPECT_EQ(m_ReadPending, 1);
    m_line.Send(WireFrame(PtDisconnect, {}));
    EXPECT_EQ(NextFrame(), static_cast<UINT>(PtDisconnect));
}

TEST_F(FramePort, ReportsALineWhoseOtherSideWentAway)
{
    ASSERT_EQ(OpenSerialPort(COM), 1);
    EXPECT_EQ(WaitForEvent(100), static_cast<UINT>(EVENT_TIMEOUT)) << "no further event within 100 ms";
    m_line.Unplug();
    EXPECT_EQ(WaitForEvent(5000), static_cast<UINT>(EVENT_ERROR)) << "the lost line reported within 5 s";
    EXPECT_EQ(WaitForEvent(5000), static_cast<UINT>(EVENT_ERROR)) << "the lost line reported again within 5 s";
}

TEST_F(FramePort, AFrameThatDoesNotGoOutWholeIsReported)
{
    // The car kit reads nothing. Once the line holds all it can, a write
    // ends short at its 750 ms time-out and the kit would get a cut frame:
    // neither the wait nor the next sender may take that as sent.
    ASSERT_EQ(OpenSerialPort(COM), 1);
    Bytes data(4 + 1024, 0x55);
    UINT event = EVENT_TRANSMIT_DONE;
    for (int frame = 0; frame < 64 && event == EVENT_TRANSMIT_DONE; ++frame) {
        ASSERT_EQ(SendFrame(PtFileData, data.data(), 4, data.data() + 4, 1024), 1);
        event = WaitForEvent(5000);
    }
    EXPECT_EQ(event, static_cast<UINT>(EVENT_ERROR));

    // Back to back, as the end frame follows the last data frame.
    m_line.ReceiveUntilQuiet(100);
    int sent = 1;
    for (int frame = 0; frame < 64 && sent == 1; ++frame)
        sent = SendFrame(PtFileData, data.data(), 4, data.data() + 4, 1024);
    EXPECT_EQ(sent, 0);
}

TEST_F(FramePort, OpensNoPortThatCannotBeUsed)
{
    m_config.LinkCom(9, "/nonexistent/zq-device");
    EXPECT_EQ(OpenSerialPort(9), 0);
    EXPECT_EQ(m_pSerialPort, nullptr);

    // Held by another program: the open is exclusive.
    HANDLE other = CreateFileA("\\\\.\\COM7", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    EXPECT_EQ(OpenSerialPort(COM), 0);
    EXPECT_EQ(m_pSerialPort, nullptr);
    CloseHandle(other);
    EXPECT_EQ(OpenSerialPort(COM), 1);
    CloseSerialPort();

    // COM263 must not reach COM7 through its low byte.
    EXPECT_EQ(OpenSerialPort(COM + 256), 0);
    EXPECT_EQ(OpenSerialPort(-1), 0);
    EXPECT_EQ(m_pSerialPort, nullptr);
}

TEST_F(FramePort, WithoutAPortWritesNothingAndWaitsForNothing)
{
    EXPECT_EQ(SendConnect(), 1);
    EXPECT_EQ(WaitForEvent(20000), static_cast<UINT>(EVENT_ERROR)) << "the stalled write reported within 20 s";
    EXPECT_TRUE(m_line.ReceiveUntilQuiet(50).empty()) << "what came on the line until it was quiet for 50 ms";
}

TEST_F(FramePort, SerialPortOpensWithTheCarKitsLineSettings)
{
    SERIALInterface port;
    EXPECT_EQ(port.m_PortNumber, 6);
    port.ClosePort();  // never opened: nothing happens
    port.SetPortNumber(COM);
    ASSERT_EQ(port.Open(), 0);
    EXPECT_STREQ(port.m_PortName, "\\\\.\\COM7");
    EXPECT_EQ(port.m_Dcb.BaudRate, static_cast<DWORD>(CBR_115200));
    EXPECT_EQ(port.m_Dcb.ByteSize, 8);
    EXPECT_EQ(port.m_Dcb.Parity, NOPARITY);
    EXPECT_EQ(port.m_Dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(port.m_Dcb.fOutxCtsFlow, 1u);
    EXPECT_EQ(port.m_Dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
    EXPECT_EQ(port.m_Dcb.fOutX, 0u);
    EXPECT_EQ(port.m_Dcb.fInX, 0u);
    EXPECT_EQ(port.m_Timeouts.ReadIntervalTimeout, 10u);
    EXPECT_EQ(port.m_Timeouts.WriteTotalTimeoutConstant, 750u);

    // A write that completes at once returns its count and signals too.
    const BYTE bytes[3] = {1, 2, 3};
    int written = port.Write(bytes, 3);
    EXPECT_EQ(WaitForSingleObject(port.GetWriteEvent(), 2000), WAIT_OBJECT_0) << "the write's event within 2 s";
    EXPECT_TRUE(written == 3 || written == 0);
    EXPECT_EQ(m_line.Receive(3), (Bytes{1, 2, 3})) << "what came on the line until it was quiet for 5 s";

    // A read that completes leaves its event signalled until the next one.
    m_line.Send({7, 8});
    BYTE buffer[16];
    int got = port.Read(buffer, sizeof(buffer));
    ASSERT_EQ(WaitForSingleObject(port.GetReadEvent(), 2000), WAIT_OBJECT_0) << "the read's event within 2 s";
    DWORD count = 0;
    ASSERT_TRUE(GetOverlappedResult(port.GetHandle(), port.GetReadOverlapped(), &count, FALSE));
    EXPECT_TRUE(got == 0 || got == static_cast<int>(count));
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(WaitForSingleObject(port.GetReadEvent(), 0), WAIT_OBJECT_0);
    port.Read(buffer, sizeof(buffer));
    EXPECT_EQ(WaitForSingleObject(port.GetReadEvent(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    port.ClosePort();
    EXPECT_EQ(port.m_IsOpen, 0);
    EXPECT_EQ(port.GetHandle(), nullptr);
    EXPECT_EQ(port.Write(bytes, 3), 0);
}

TEST_F(FramePort, ReadsTheStoredPortNumber)
{
    EXPECT_EQ(QueryPortNumber(), -1) << "nothing stored";
    struct Case {
        const char* text;
        bool withNul;
        int number;
    } cases[] = {
        {"COM7", true, 7},  {"COM12", true, 12}, {"COMX", true, 0}, {"Port7", true, -1},
        {"com3", true, -1}, {"COM5", false, 5},  {"CO", true, -1},  {"COM", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        zqtest::StorePortNumber(c.text, c.withNul);
        EXPECT_EQ(QueryPortNumber(), c.number);
    }
}

}  // namespace
