// Building, stuffing and assembling frames. The port side of the layer (open,
// close, waits and the senders) is in FramePort.cpp.
#include "link/FrameLayer.h"

#include <cstring>

namespace {

const BYTE START_BYTE = 0x1C;
const BYTE ESCAPE_BYTE = 0x1B;

// Before the first frame is parsed the received payload points here, so
// that it is never null.
BYTE* s_EmptyPayload = nullptr;

}  // namespace

BYTE* m_TxFrame = nullptr;
BYTE* m_TxFramePos = nullptr;
BYTE* m_TxEncoded = nullptr;
BYTE* m_RxBuffer = nullptr;
BYTE* m_RxPos = nullptr;
DWORD m_RxAvailable = 0;
DWORD m_RxConsumed = 0;
int m_ReadPending = 0;
BYTE m_PrevRawByte = 0;
BYTE* m_FrameBuffer = nullptr;
BYTE* m_FramePos = nullptr;
DWORD m_FrameLength = 0;
int m_FrameDiscarding = 0;
UPDATEFrame m_ReadFrame = {0, 0, nullptr};

void AllocateFrameBuffers()
{
    FreeFrameBuffers();
    m_TxFrame = new BYTE[FRAME_BLOCK_SIZE]();
    m_TxEncoded = new BYTE[FRAME_ENCODED_SIZE]();
    m_RxBuffer = new BYTE[FRAME_BLOCK_SIZE]();
    m_FrameBuffer = new BYTE[FRAME_BLOCK_SIZE]();
    s_EmptyPayload = new BYTE[FRAME_BLOCK_SIZE]();
    m_TxFramePos = m_TxFrame;
    m_RxPos = m_RxBuffer;
    m_FramePos = m_FrameBuffer;
    m_RxAvailable = 0;
    m_RxConsumed = 0;
    m_ReadPending = 0;
    m_PrevRawByte = 0;
    m_FrameLength = 0;
    m_FrameDiscarding = 0;
    m_ReadFrame.type = PtNone;
    m_ReadFrame.size = 0;
    m_ReadFrame.payload = s_EmptyPayload;
}

void FreeFrameBuffers()
{
    delete[] m_TxFrame;
    delete[] m_TxEncoded;
    delete[] m_RxBuffer;
    delete[] m_FrameBuffer;
    delete[] s_EmptyPayload;
    m_TxFrame = m_TxFramePos = m_TxEncoded = nullptr;
    m_RxBuffer = m_RxPos = nullptr;
    m_FrameBuffer = m_FramePos = nullptr;
    s_EmptyPayload = nullptr;
    m_RxAvailable = 0;
    m_RxConsumed = 0;
    m_FrameLength = 0;
    m_ReadFrame.payload = nullptr;
}

int BuildFrame(BYTE type, const void* part1, int length1, const void* part2, int length2)
{
    if (length1 < 0 || length2 < 0 || length1 + length2 > FRAME_MAX_PAYLOAD)
        return 0;
    int size = length1 + length2;
    m_TxFramePos = m_TxFrame;
    *m_TxFramePos++ = START_BYTE;
    *m_TxFramePos++ = type;
    *m_TxFramePos++ = static_cast<BYTE>(size & 0xFF);
    *m_TxFramePos++ = static_cast<BYTE>((size >> 8) & 0xFF);
    if (length1 > 0) {
        memcpy(m_TxFramePos, part1, length1);
        m_TxFramePos += length1;
    }
    if (length2 > 0) {
        memcpy(m_TxFramePos, part2, length2);
        m_TxFramePos += length2;
    }
    BYTE check = 0;
    for (const BYTE* p = m_TxFrame; p < m_TxFramePos; ++p)
        check ^= *p;
    *m_TxFramePos++ = check;
    return static_cast<int>(m_TxFramePos - m_TxFrame);
}

int EncodeFrame(const BYTE* frame, int length)
{
    if (length <= 0)
        return 0;
    // Even a frame longer than the transmit block cannot overrun the
    // stuffed block: the copy stops where a byte pair would not fit.
    int count = 0;
    m_TxEncoded[count++] = frame[0];
    for (int i = 1; i < length; ++i) {
        BYTE b = frame[i];
        if (b == ESCAPE_BYTE || b == START_BYTE) {
            if (count + 2 > FRAME_ENCODED_SIZE)
                break;
            m_TxEncoded[count++] = ESCAPE_BYTE;
            m_TxEncoded[count++] = (b == ESCAPE_BYTE) ? 0x00 : 0x01;
        } else {
            if (count + 1 > FRAME_ENCODED_SIZE)
                break;
            m_TxEncoded[count++] = b;
        }
    }
    return count;
}

int DecodeBytes(int count)
{
    BYTE* frameEnd = m_FrameBuffer + FRAME_BLOCK_SIZE;
    int given = 0;
    for (int i = 0; i < count; ++i) {
        BYTE raw = *m_RxPos;
        if (raw == START_BYTE)
            break;
        int value = -1;
        if (raw == ESCAPE_BYTE)
            value = -1;
        else if (m_PrevRawByte == ESCAPE_BYTE && raw == 0x00)
            value = ESCAPE_BYTE;
        else if (m_PrevRawByte == ESCAPE_BYTE && raw == 0x01)
            value = START_BYTE;
        else
            value = raw;
        // Bytes beyond the block cannot belong to a frame that fits it, and
        // a frame that is being skipped keeps nothing.
        if (value >= 0 && !m_FrameDiscarding && m_FramePos < frameEnd) {
            *m_FramePos++ = static_cast<BYTE>(value);
            ++given;
        }
        m_PrevRawByte = raw;
        ++m_RxPos;
        ++m_RxConsumed;
    }
    return given;
}

UINT ReadFrame()
{
    if (m_RxAvailable <= m_RxConsumed)
        return PtNone;
    if (*m_RxPos == START_BYTE) {
        // A start byte is a raw byte like any other for the escape state:
        // a stray 0x1B before it must not turn the type byte 0x01 into 0x1C.
        m_PrevRawByte = START_BYTE;
        ++m_RxPos;
        ++m_RxConsumed;
        m_FramePos = m_FrameBuffer;
        m_FrameLength = 0;
        m_FrameDiscarding = 0;
    }
    m_FrameLength += DecodeBytes(static_cast<int>(m_RxAvailable - m_RxConsumed));
    if (m_FrameDiscarding || m_FrameLength < 4)
        return PtNone;
    int type = m_FrameBuffer[0];
    WORD size = static_cast<WORD>(m_FrameBuffer[1] + 256 * m_FrameBuffer[2]);
    if (size + 4 > FRAME_BLOCK_SIZE) {
        // The frame cannot fit the block: skip it up to the next start byte.
        m_FrameDiscarding = 1;
        m_FramePos = m_FrameBuffer;
        m_FrameLength = 0;
        return PtNone;
    }
    if (m_FrameLength < static_cast<DWORD>(size) + 4)
        return PtNone;
    m_ReadFrame.type = type;
    m_ReadFrame.size = size;
    m_ReadFrame.payload = m_FrameBuffer + 3;
    m_FrameLength = 0;
    m_FramePos = m_FrameBuffer;
    return static_cast<UINT>(type);
}

int ReceivedNakReason()
{
    if (m_ReadFrame.size < 5)
        return NAK_REASON_MISSING;
    return m_ReadFrame.payload[4];
}
