// Throughput of the frame layer for full data frames (1024 data bytes), with
// plain payloads and with payloads in which every byte must be escaped. The
// line itself carries about 11.5 kB/s at 115200 baud 8N1.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "link/FrameLayer.h"

namespace {

std::vector<BYTE> Payload(BYTE fill)
{
    std::vector<BYTE> payload(4 + 1024, fill);
    payload[0] = 27;
    return payload;
}

void BuildAndStuff(benchmark::State& state)
{
    AllocateFrameBuffers();
    std::vector<BYTE> payload = Payload(static_cast<BYTE>(state.range(0)));
    for (auto _ : state) {
        int length = BuildFrame(PtFileData, payload.data(), static_cast<int>(payload.size()));
        benchmark::DoNotOptimize(EncodeFrame(m_TxFrame, length));
    }
    state.SetBytesProcessed(state.iterations() * 1024);
    FreeFrameBuffers();
}

void Assemble(benchmark::State& state)
{
    AllocateFrameBuffers();
    std::vector<BYTE> payload = Payload(static_cast<BYTE>(state.range(0)));
    int length = BuildFrame(PtFileData, payload.data(), static_cast<int>(payload.size()));
    int count = EncodeFrame(m_TxFrame, length);
    std::vector<BYTE> wire(m_TxEncoded, m_TxEncoded + count);
    for (auto _ : state) {
        // In reads of at most 2048 bytes, as the port delivers them.
        size_t done = 0;
        UINT type = PtNone;
        while (done < wire.size()) {
            size_t n = wire.size() - done < 2048 ? wire.size() - done : 2048;
            memcpy(m_RxBuffer, wire.data() + done, n);
            m_RxPos = m_RxBuffer;
            m_RxAvailable = static_cast<DWORD>(n);
            m_RxConsumed = 0;
            done += n;
            while (m_RxConsumed < m_RxAvailable)
                type = ReadFrame();
        }
        benchmark::DoNotOptimize(type);
    }
    state.SetBytesProcessed(state.iterations() * 1024);
    FreeFrameBuffers();
}

}  // namespace

// Argument: the fill byte, 0x41 (nothing to escape) or 0x1B (all escaped).
BENCHMARK(BuildAndStuff)->Arg(0x41)->Arg(0x1B);
BENCHMARK(Assemble)->Arg(0x41)->Arg(0x1B);
BENCHMARK_MAIN();
