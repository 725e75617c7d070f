// transfer-bench: the update session sends a 1 MiB file of random bytes and
// a short description to carkit-sim, once with the line paced at 115200 baud
// 8N1 and once unpaced, and closes the port as soon as the session's result
// has come, as the wizard does.
//
//   transfer-bench [--runs N] [--unpaced]
//
// --runs repeats both transfers N times (default 1); --unpaced leaves out the
// paced one. A run is ok only when the kit received every file whole.
//
// At 115200 baud 8N1 the line carries 11520 bytes per second; a full data
// frame is 1033 bytes plus about 8 escape bytes for random data, so 1041
// wire bytes carry 1024 payload bytes and the limit is 11332 payload bytes
// per second. The last three lines of the output compare runs (the rates
// are the means over the ok runs):
//   runs ok: <k> of <n>
//   paced: <n> B/s = <p> % of 11332
//   unpaced: <x> MiB/s, cpu <y> s per MiB
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

#include "container/UPDATEModel.h"
#include "link/FrameLayer.h"
#include "link/UPDATEProtocol.h"
#include "tests/support/link/RecordingProtocol.h"
#include "platform/paths/DrivePaths.h"
#include "tests/support/CarKitSimulator.h"
#include "tests/support/TempFolder.h"

namespace {

const size_t FILE_SIZE = 1 << 20;
const double LINE_LIMIT = 11332.0;

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Run {
    bool ok = false;
    double seconds = 0;  // from the header to the end frame at the kit
    double cpu = 0;      // of this process, for the whole session
};

Run Transfer(bool paced, int com)
{
    Run run;
    zqtest::CarKitSimulator sim(com);
    std::vector<std::string> options = {"--fileok", "always"};
    if (paced)
        options.insert(options.end(), {"--baud", "115200"});
    if (!sim.Start(options)) {
        fprintf(stderr, "carkit-sim: %s\n", sim.Error().c_str());
        return run;
    }

    zqtest::TempFolder folder;
    std::mt19937 random(12345);
    std::string data(FILE_SIZE, '\0');
    for (char& c : data)
        c = static_cast<char>(random() & 0xFF);
    folder.Write("bench.bin", data);
    folder.Write("bench.xml", "<update/>\n");
    const std::string windowsFolder = zq::LinuxToWindows(folder.Linux());

    {
        zqtest::RecordingProtocol protocol;
        g_UpdateModel.Reset();
        g_UpdateModel.m_FileList = {"bench.bin"};
        protocol.SetRepositoryFolder(windowsFolder.c_str());
        protocol.SetLastFileName("bench.xml");
        if (OpenSerialPort(sim.ComNumber()) == 1) {
            const double cpuBefore = CpuSeconds();
            int result = protocol.StartUpdate() == UPDATEProtocol::SESSION_STARTED
                             ? protocol.WaitResult((paced ? 300 : 60) * 1000)
                             : -1;
            protocol.WaitForSession(10000);
            run.cpu = CpuSeconds() - cpuBefore;
            CloseSerialPort();
            if (result != UPDATE_RESULT_SUCCESS)
                fprintf(stderr, "update session ended with %d\n", result);
            else if (sim.WaitFor("file", 2, 10000)) {
                bool binWhole = false, xmlWhole = false;
                for (const auto& file : sim.Events("file")) {
                    if (file.Get("status") != "ok")
                        continue;
                    if (file.Get("name") == "bench.bin") {
                        run.seconds = (file.Number("t_end") - file.Number("t_header")) / 1000.0;
                        binWhole = run.seconds > 0;
                    } else if (file.Get("name") == "bench.xml") {
                        xmlWhole = true;
                    }
                }
                run.ok = binWhole && xmlWhole;
            }
            if (!run.ok)
                fprintf(stderr, "the kit did not receive every file whole\n");
        } else {
            fprintf(stderr, "cannot open COM%d\n", sim.ComNumber());
        }
        UPDATEManager::SetNotifyWindow(nullptr);
    }
    g_UpdateModel.Reset();
    return run;
}

}  // namespace

int Usage()
{
    fprintf(stderr, "usage: transfer-bench [--runs N] [--unpaced]\n");
    return 2;
}

int main(int argc, char** argv)
{
    int runs = 1;
    bool pacedToo = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--unpaced") {
            pacedToo = false;
        } else if (arg == "--runs" && i + 1 < argc) {
            runs = atoi(argv[++i]);
            if (runs < 1)
                return Usage();
        } else {
            return Usage();
        }
    }
    const int com = 200 + static_cast<int>(getpid() % 50);
    printf("transfer-bench: 1 MiB of random bytes to carkit-sim on COM%d, %d run%s\n", com, runs, runs == 1 ? "" : "s");
    fflush(stdout);
    int ok = 0, pacedOk = 0, unpacedOk = 0;
    double pacedSeconds = 0, unpacedSeconds = 0, unpacedCpu = 0;
    for (int i = 0; i < runs; ++i) {
        bool runOk = true;
        if (pacedToo) {
            Run paced = Transfer(true, com);
            runOk = runOk && paced.ok;
            if (paced.ok) {
                pacedOk++;
                pacedSeconds += paced.seconds;
            }
        }
        Run unpaced = Transfer(false, com);
        runOk = runOk && unpaced.ok;
        if (unpaced.ok) {
            unpacedOk++;
            unpacedSeconds += unpaced.seconds;
            unpacedCpu += unpaced.cpu;
        }
        if (runOk)
            ok++;
    }
    const double mib = FILE_SIZE / 1048576.0;
    printf("runs ok: %d of %d\n", ok, runs);
    if (!pacedToo) {
        printf("paced: not run\n");
    } else if (pacedOk > 0) {
        const double rate = FILE_SIZE / (pacedSeconds / pacedOk);
        printf("paced: %.0f B/s = %.1f %% of %.0f\n", rate, 100.0 * rate / LINE_LIMIT, LINE_LIMIT);
    } else {
        printf("paced: failed\n");
    }
    if (unpacedOk > 0)
        printf("unpaced: %.1f MiB/s, cpu %.2f s per MiB\n", mib / (unpacedSeconds / unpacedOk),
               unpacedCpu / unpacedOk / mib);
    else
        printf("unpaced: failed\n");
    return ok == runs ? 0 : 1;
}
