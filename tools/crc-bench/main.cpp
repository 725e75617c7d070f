// Throughput of the file CRC-32: the table-driven loop over a block in
// memory, and a whole file read in blocks of 64 KiB as the end frame needs
// it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "link/FileCrc32.h"
#include "platform/paths/DrivePaths.h"

namespace {

void Block(benchmark::State& state)
{
    FileCrc32 crc32;
    std::vector<BYTE> data(static_cast<size_t>(state.range(0)));
    for (size_t i = 0; i < data.size(); i++)
        data[i] = static_cast<BYTE>(i * 131 + 7);
    for (auto _ : state)
        benchmark::DoNotOptimize(crc32.Update(0, data.data(), data.size()));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void File(benchmark::State& state)
{
    const char* tmp = getenv("TMPDIR");
    std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/crc-bench-XXXXXX";
    int fd = mkstemp(&path[0]);
    std::vector<char> data(static_cast<size_t>(state.range(0)), 'x');
    if (fd < 0 || write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size())) {
        state.SkipWithError("cannot write the file");
        return;
    }
    close(fd);
    const std::string windowsPath = zq::LinuxToWindows(path);
    for (auto _ : state) {
        FileCrc32 crc32;
        benchmark::DoNotOptimize(crc32.Compute(windowsPath.c_str()));
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
    unlink(path.c_str());
}

}  // namespace

BENCHMARK(Block)->Arg(1024)->Arg(65536);
BENCHMARK(File)->Arg(1 << 20);
BENCHMARK_MAIN();
