// The frame layer's building, stuffing and assembly, fed from memory.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "link/FrameLayer.h"

namespace {

using Bytes = std::vector<BYTE>;

class FrameCodec : public ::testing::Test {
protected:
    void SetUp() override { AllocateFrameBuffers(); }
    void TearDown() override { FreeFrameBuffers(); }

    // Hands the bytes to the layer as one completed read would.
    void Feed(const Bytes& raw)
    {
        ASSERT_LE(m_RxAvailable, m_RxConsumed) << "earlier bytes not consumed";
        ASSERT_LE(raw.size(), static_cast<size_t>(FRAME_READ_SIZE));
        if (!raw.empty())
            memcpy(m_RxBuffer, raw.data(), raw.size());
        m_RxPos = m_RxBuffer;
        m_RxAvailable = static_cast<DWORD>(raw.size());
        m_RxConsumed = 0;
    }

    // Every frame type that ReadFrame returns until the read is consumed,
    // with the payload of each.
    std::vector<std::pair<UINT, Bytes>> Drain()
    {
        std::vector<std::pair<UINT, Bytes>> frames;
        while (m_RxConsumed < m_RxAvailable) {
            UINT type = ReadFrame();
            if (type != PtNone)
                frames.emplace_back(type, Bytes(m_ReadFrame.payload, m_ReadFrame.payload + m_ReadFrame.size));
        }
        return frames;
    }

    static Bytes Stuffed(BYTE type, const Bytes& payload)
    {
        int length = BuildFrame(type, payload.data(), static_cast<int>(payload.size()));
        int count = EncodeFrame(m_TxFrame, length);
        return Bytes(m_TxEncoded, m_TxEncoded + count);
    }
};

struct WireExample {
    const char* name;
    BYTE type;
    Bytes payload;
    Bytes unstuffed;
    Bytes sent;
};

TEST_F(FrameCodec, BuildsTheWireExamplesExactly)
{
    const Bytes request = {'p', 'r', 'o', 'd', 'u', 'c', 't', '.', 'x', 'm', 'l', 0};
    const std::vector<WireExample> examples = {
        {"PtConnect", PtConnect, {}, {0x1C, 0x01, 0x00, 0x00, 0x1D}, {0x1C, 0x01, 0x00, 0x00, 0x1D}},
        {"PtDisconnect", PtDisconnect, {}, {0x1C, 0x02, 0x00, 0x00, 0x1E}, {0x1C, 0x02, 0x00, 0x00, 0x1E}},
        {"PtFileRequest",
         PtFileRequest,
         request,
         {0x1C, 0x03, 0x0C, 0x00, 0x70, 0x72, 0x6F, 0x64, 0x75, 0x63, 0x74, 0x2E, 0x78, 0x6D, 0x6C, 0x00, 0x2F},
         {0x1C, 0x03, 0x0C, 0x00, 0x70, 0x72, 0x6F, 0x64, 0x75, 0x63, 0x74, 0x2E, 0x78, 0x6D, 0x6C, 0x00, 0x2F}},
        {"PtHostNak",
         PtHostNak,
         {0, 0, 0, 0, 3},
         {0x1C, 0x04, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x1E},
         {0x1C, 0x04, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x1E}},
        {"PtFileData",
         PtFileData,
         {0x1B, 0x00, 0x00, 0x00, 0x1C},
         {0x1C, 0x06, 0x05, 0x00, 0x1B, 0x00, 0x00, 0x00, 0x1C, 0x18},
         {0x1C, 0x06, 0x05, 0x00, 0x1B, 0x00, 0x00, 0x00, 0x00, 0x1B, 0x01, 0x18}},
    };
    for (const WireExample& e : examples) {
        SCOPED_TRACE(e.name);
        int length = BuildFrame(e.type, e.payload.data(), static_cast<int>(e.payload.size()));
        EXPECT_EQ(Bytes(m_TxFrame, m_TxFrame + length), e.unstuffed);
        int count = EncodeFrame(m_TxFrame, length);
        EXPECT_EQ(Bytes(m_TxEncoded, m_TxEncoded + count), e.sent);
    }
}

TEST_F(FrameCodec, StuffsLengthAndCheckBytesAndFitsTheLargestFrame)
{
    // A payload of 27 bytes gives the length byte 0x1B; the check byte of
    // this one is 0x1C. Both go out escaped, and no 0x1C follows the start.
    Bytes payload(27, 0x00);
    payload[0] = 0x1C ^ 0x06 ^ 0x1B ^ 0x1C;
    Bytes sent = Stuffed(PtFileData, payload);
    ASSERT_GE(sent.size(), 7u);
    EXPECT_EQ(Bytes(sent.begin(), sent.begin() + 4), (Bytes{0x1C, 0x06, 0x1B, 0x00}));
    EXPECT_EQ(Bytes(sent.end() - 2, sent.end()), (Bytes{0x1B, 0x01}));
    for (size_t i = 1; i < sent.size(); ++i)
        EXPECT_NE(sent[i], 0x1C) << "at " << i;

    // The largest data frame with every payload byte escaped: type, length
    // (04 04) and check byte (0x1A) stay single.
    Bytes worst(4 + 1024, 0x1B);
    int length = BuildFrame(PtFileData, worst.data(), 4, worst.data() + 4, 1024);
    EXPECT_EQ(length, 1033);
    EXPECT_EQ(EncodeFrame(m_TxFrame, length), 4 + 2 * 1028 + 1);
    EXPECT_EQ(m_TxEncoded[2060], 0x1A);

    // A payload that does not fit the transmit block builds nothing.
    Bytes huge(FRAME_MAX_PAYLOAD + 1, 'a');
    EXPECT_EQ(BuildFrame(PtFileRequest, huge.data(), static_cast<int>(huge.size())), 0);
    EXPECT_EQ(BuildFrame(PtFileRequest, huge.data(), FRAME_MAX_PAYLOAD), FRAME_BLOCK_SIZE);
}

TEST_F(FrameCodec, AssemblesAFrameSplitAtEveryPosition)
{
    // Escapes in the length, the payload and the check byte, so that some
    // splits fall between 0x1B and its partner.
    Bytes payload = {0x1B, 0x1C, 0x00, 0x01, 0x1B, 0x1B, 0x1C, 0x42};
    payload.resize(27, 0x1C);
    Bytes sent = Stuffed(PtFileData, payload);
    for (size_t cut = 1; cut < sent.size(); ++cut) {
        SCOPED_TRACE(cut);
        Feed(Bytes(sent.begin(), sent.begin() + cut));
        EXPECT_TRUE(Drain().empty());
        Feed(Bytes(sent.begin() + cut, sent.end()));
        auto frames = Drain();
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frames[0].first, static_cast<UINT>(PtFileData));
        EXPECT_EQ(frames[0].second, payload);
    }
}

TEST_F(FrameCodec, DeliversTwoFramesOfOneReadOneAfterTheOther)
{
    Bytes both = Stuffed(PtFileInfo, {0x10, 0, 0, 0, 0x1B, 0x1C, 0xAA, 0x55});
    Bytes second = Stuffed(PtFileEnd, {});
    both.insert(both.end(), second.begin(), second.end());
    Feed(both);
    EXPECT_EQ(ReadFrame(), static_cast<UINT>(PtFileInfo));
    EXPECT_EQ(m_ReadFrame.size, 8);
    EXPECT_EQ(m_ReadFrame.payload[5], 0x1C);
    EXPECT_LT(m_RxConsumed, m_RxAvailable) << "the second frame is still unread";
    EXPECT_EQ(ReadFrame(), static_cast<UINT>(PtFileEnd));
    EXPECT_EQ(m_ReadFrame.size, 0);
    EXPECT_EQ(m_RxConsumed, m_RxAvailable);
}

TEST_F(FrameCodec, ResynchronisesOnAStartByte)
{
    const Bytes connect = {0x1C, 0x01, 0x00, 0x00, 0x1D};
    struct Case {
        const char* name;
        Bytes before;
    } cases[] = {
        {"cut-short frame", {0x1C, 0x06, 0x20, 0x00, 0x01, 0x02}},
        {"garbage", {0x41, 0x42}},
        // A stray escape just before the start byte must not change the type.
        {"stray escape", {0x1B}},
        {"frame too long for the block", {0x1C, 0x06, 0xFF, 0xFF, 0x01, 0x02, 0x03}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes raw = c.before;
        raw.insert(raw.end(), connect.begin(), connect.end());
        Feed(raw);
        auto frames = Drain();
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frames[0].first, static_cast<UINT>(PtConnect));
        EXPECT_TRUE(frames[0].second.empty());
    }
}

TEST_F(FrameCodec, DecodesEscapesAsTheCarKitSendsThem)
{
    struct Case {
        Bytes payloadOnWire;
        Bytes decoded;
    } cases[] = {
        {{0x1B, 0x00}, {0x1B}},       {{0x1B, 0x01}, {0x1C}}, {{0x1B, 0x1B, 0x00}, {0x1B}},  // a lone escape is dropped
        {{0x1B, 0x41}, {0x41}},  // an escape with another partner too
        {{0x00, 0x01}, {0x00, 0x01}},
    };
    for (const Case& c : cases) {
        BYTE n = static_cast<BYTE>(c.decoded.size());
        Bytes raw = {0x1C, 0x42, n, 0x00};
        raw.insert(raw.end(), c.payloadOnWire.begin(), c.payloadOnWire.end());
        raw.push_back(0x99);  // the check byte is not verified
        Feed(raw);
        auto frames = Drain();
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frames[0].first, 0x42u);
        EXPECT_EQ(frames[0].second, c.decoded);
    }
}

TEST_F(FrameCodec, KeepsTheLargestFrameAndSkipsLongerOnes)
{
    // 2046 payload bytes fill the block exactly.
    Bytes largest(2046, 0x33);
    Bytes raw = {0x1C, 0x06, 0xFE, 0x07};
    raw.insert(raw.end(), largest.begin(), largest.end());
    raw.push_back(0x00);
    Feed(Bytes(raw.begin(), raw.begin() + 2048));
    EXPECT_TRUE(Drain().empty());
    Feed(Bytes(raw.begin() + 2048, raw.end()));
    auto frames = Drain();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].second, largest);

    // One byte more cannot be held: the frame is skipped, and reads without
    // any start byte leave the block alone until the next frame begins.
    raw[2] = 0xFF;
    raw.insert(raw.end() - 1, 0x33);
    Feed(Bytes(raw.begin(), raw.begin() + 2048));
    EXPECT_TRUE(Drain().empty());
    for (int i = 0; i < 4; ++i) {
        Feed(Bytes(2048, 0x41));
        EXPECT_TRUE(Drain().empty());
        EXPECT_LE(m_FramePos, m_FrameBuffer + FRAME_BLOCK_SIZE);
    }
    Feed({0x1C, 0x02, 0x00, 0x00, 0x1E});
    frames = Drain();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].first, static_cast<UINT>(PtDisconnect));
}

TEST_F(FrameCodec, LosesAFrameOfTypeZeroAndAcceptsGarbageThatLooksLikeOne)
{
    Feed({0x1C, 0x00, 0x00, 0x00, 0x1C});
    EXPECT_TRUE(Drain().empty());
    // Bytes after a completed frame in a later read are assembled as if a
    // frame had begun; only a start byte resynchronises.
    Feed({0x1C, 0x01, 0x00, 0x00, 0x1D});
    EXPECT_EQ(Drain().size(), 1u);
    Feed({0x02, 0x00, 0x00, 0x77});
    auto frames = Drain();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].first, static_cast<UINT>(PtDisconnect));
}

TEST_F(FrameCodec, RoundTripsRandomFramesInRandomReads)
{
    std::mt19937 rng(12345);
    std::vector<std::pair<UINT, Bytes>> expected;
    Bytes wire;
    for (int i = 0; i < 200; ++i) {
        BYTE type = static_cast<BYTE>(1 + rng() % 12);
        Bytes payload(rng() % 300);
        for (BYTE& b : payload)
            b = static_cast<BYTE>(0x1A + rng() % 4);  // mostly 0x1B and 0x1C
        Bytes sent = Stuffed(type, payload);
        wire.insert(wire.end(), sent.begin(), sent.end());
        expected.emplace_back(type, payload);
    }
    std::vector<std::pair<UINT, Bytes>> received;
    for (size_t pos = 0; pos < wire.size();) {
        size_t n = std::min<size_t>(wire.size() - pos, 1 + rng() % FRAME_READ_SIZE);
        Feed(Bytes(wire.begin() + pos, wire.begin() + pos + n));
        pos += n;
        auto frames = Drain();
        received.insert(received.end(), frames.begin(), frames.end());
    }
    EXPECT_EQ(received, expected);
}

}  // namespace
