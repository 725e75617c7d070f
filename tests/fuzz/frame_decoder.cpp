// Feeds arbitrary bytes to the frame assembly in reads of arbitrary sizes,
// and builds and stuffs frames of arbitrary payloads. ASan reports any
// access outside the layer's blocks.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "link/FrameLayer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    AllocateFrameBuffers();
    if (size > 0 && (data[0] & 0x80) != 0) {
        // The sending side: the rest of the input is one payload.
        int length = BuildFrame(data[0] & 0x0F, data + 1, static_cast<int>(size - 1));
        if (length > 0)
            EncodeFrame(m_TxFrame, length);
        FreeFrameBuffers();
        return 0;
    }
    size_t pos = size > 0 ? 1 : 0;
    unsigned seed = size > 0 ? data[0] : 0;
    volatile BYTE sink = 0;
    while (pos < size) {
        // Read sizes from 1 to 2048 bytes, driven by the input itself.
        seed = seed * 1103515245u + 12345u;
        size_t n = 1 + (seed >> 8) % FRAME_READ_SIZE;
        if (n > size - pos)
            n = size - pos;
        memcpy(m_RxBuffer, data + pos, n);
        m_RxPos = m_RxBuffer;
        m_RxAvailable = static_cast<DWORD>(n);
        m_RxConsumed = 0;
        pos += n;
        while (m_RxConsumed < m_RxAvailable) {
            if (ReadFrame() != PtNone) {
                for (int i = 0; i < m_ReadFrame.size; ++i)
                    sink = sink ^ m_ReadFrame.payload[i];
            }
        }
    }
    (void)sink;
    FreeFrameBuffers();
    return 0;
}
