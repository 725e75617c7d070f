// A full repaint of the wizard window (background copy, page texts with
// their fonts made per painter, step list, buttons) for the pages with the
// most text, run inside the window's modal loop.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "container/UPDATEModel.h"
#include "wizard/CQuorinUpdateManagerDlg.h"
#include "bench-support/RunInWizardLoop.h"
#include "tests/support/TempFolder.h"

namespace {

struct Case {
    const char* name;
    int page;
};

const Case CASES[] = {
    {"welcome", CQuorinUpdateManagerDlg::PAGE_WELCOME},
    {"bluetooth help", CQuorinUpdateManagerDlg::PAGE_PREPARE_CONNECTION},
    {"device info", CQuorinUpdateManagerDlg::PAGE_DEVICE_INFO},
    {"transfer", CQuorinUpdateManagerDlg::PAGE_TRANSFERRING},
};

}  // namespace

int main(int argc, char** argv)
{
    // The registry of a temporary folder, so no stored language is touched.
    zqtest::ScopedXdgConfigHome home;

    UPDATEDevice device;
    device.name = "RX7150";
    device.software = "138";
    device.variant = "EU";
    device.boards = {{"P1", "A"}, {"P2", "B"}, {"P3", "C"}};
    g_UpdateModel.m_Product.devices = {device, device};

    CQuorinUpdateManagerDlg dlg;
    for (const Case& c : CASES) {
        benchmark::RegisterBenchmark((std::string("repaint/") + c.name).c_str(), [&dlg, c](benchmark::State& state) {
            dlg.m_page = c.page;
            for (auto _ : state)
                dlg.RedrawWindow();
        })->Unit(benchmark::kMicrosecond);
    }
    return RunBenchmarksInWizardLoop(dlg, argc, argv);
}
