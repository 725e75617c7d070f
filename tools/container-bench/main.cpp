// Reading a container description of n common files, n language packages
// and n vd_data libraries, and selecting the files for one device. First it
// prints the reader's time for a description nested 1,000,000 deep, as the
// line "nested 1000000: T s".
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "container/GlobalFolders.h"
#include "container/UPDATEModel.h"
#include "platform/paths/DrivePaths.h"
#include "texts/LanguageTexts.h"

namespace {

CString WinPath(const std::string& path)
{
    return CString(zq::LinuxToWindows(path));
}

std::string WriteFile(const std::string& name, const std::string& bytes)
{
    const char* base = getenv("TMPDIR");
    std::string path = std::string(base && *base ? base : "/tmp") + "/container-bench-" + std::to_string(getpid()) +
                       "_" + name + ".xml";
    FILE* out = fopen(path.c_str(), "wb");
    if (out) {
        fwrite(bytes.data(), 1, bytes.size(), out);
        fclose(out);
    }
    return path;
}

std::string WriteDescription(int n)
{
    std::string xml = "<update version='2.0'><device name='HF1' variant='EU' id='1'><hardware>"
                      "<board pcb='P1' revision='A'/></hardware></device><files><common>";
    for (int i = 0; i < n; ++i)
        xml += "<file name='common" + std::to_string(i) + ".bin' size='1024' md5='0123456789abcdef'/>";
    xml += "</common><langs>";
    for (int i = 0; i < n; ++i)
        xml += "<lang name='L" + std::to_string(i) + "'><file name='l" + std::to_string(i) +
               ".bin'/><requires name='vds' version='2.0'/></lang>";
    xml += "</langs><vd_data>";
    for (int i = 0; i < n; ++i)
        xml += "<lang name='L" + std::to_string(i) + "'><lib name='vds' version='2.0'><file name='v" +
               std::to_string(i) + ".bin'/></lib></lang>";
    xml += "</vd_data></files></update>";
    return WriteFile(std::to_string(n), xml);
}

void SetProgramPath()
{
    char exe[PATH_MAX] = {0};
    if (readlink("/proc/self/exe", exe, sizeof(exe) - 1) > 0)
        g_ProgramPath = WinPath(exe);
}

void ReadDescription(benchmark::State& state)
{
    SetProgramPath();
    std::string path = WriteDescription(static_cast<int>(state.range(0)));
    CString winPath = WinPath(path);
    for (auto _ : state) {
        if (g_UpdateModel.ParseResourceXml(winPath) != 1)
            state.SkipWithError("description not accepted");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * 3);
    remove(path.c_str());
    g_UpdateModel.Reset();
}
BENCHMARK(ReadDescription)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

void SelectFiles(benchmark::State& state)
{
    SetProgramPath();
    std::string path = WriteDescription(static_cast<int>(state.range(0)));
    g_UpdateModel.ParseResourceXml(WinPath(path));
    UPDATEDevice device = g_UpdateModel.m_Container.devices.at(0);
    device.software = "1.0";
    for (int i = 0; i < state.range(0); ++i)
        device.langs.push_back({CString("L") + std::to_string(i).c_str(), "0", {{"vds", "1.0"}}});
    g_UpdateModel.m_Product.devices.push_back(device);
    LanguageTexts texts;
    texts.LoadLanguageNames();
    texts.SetLanguage(LanguageTexts::LANGUAGE_ENGLISH);
    for (auto _ : state)
        benchmark::DoNotOptimize(g_UpdateModel.GetFileList(0, texts));
    state.counters["files"] = static_cast<double>(g_UpdateModel.m_FileList.size());
    remove(path.c_str());
    g_UpdateModel.Reset();
}
BENCHMARK(SelectFiles)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

// A description whose device holds elements nested depth deep, followed by
// a files element that qualifies; the median of three reads, in seconds.
double ReadNested(int depth)
{
    std::string xml = "<update version='2.0'><device name='HF1'>";
    xml.reserve(static_cast<size_t>(depth) * 7 + 1000);
    for (int i = 0; i < depth; ++i)
        xml += "<a>";
    for (int i = 0; i < depth; ++i)
        xml += "</a>";
    xml += "</device><files><common><file name='a.bin'/></common></files></update>";
    std::string path = WriteFile("nested", xml);
    CString winPath = WinPath(path);
    double times[3];
    for (double& time : times) {
        auto start = std::chrono::steady_clock::now();
        int accepted = g_UpdateModel.ParseResourceXml(winPath);
        time = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (accepted != 1)
            fprintf(stderr, "nested description not accepted\n");
    }
    remove(path.c_str());
    g_UpdateModel.Reset();
    std::sort(times, times + 3);
    return times[1];
}

}  // namespace

int main(int argc, char** argv)
{
    SetProgramPath();
    printf("nested 1000000: %.3f s\n", ReadNested(1000000));
    fflush(stdout);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
