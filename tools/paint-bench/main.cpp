// A full repaint of the real wizard window on the transfer page (background
// copy, page texts with their fonts made per painter, the step list and the
// owner-drawn buttons), and the repaint of one of its buttons alone. The
// window runs modally on the headless window system and draws into the same
// software surface as on the screen.
#include <benchmark/benchmark.h>

#include <cairo.h>

#include <cstdlib>
#include <string>

#include "platform/gdi/WindowSurface.h"
#include "wizard/CQuorinUpdateManagerDlg.h"
#include "bench-support/RunInWizardLoop.h"
#include "tests/support/TempFolder.h"

namespace {

// To look at what is measured: ZQ_PAINT_BENCH_PNG=/tmp/paint.png
void WritePicture(HWND hwnd)
{
    const char* png = std::getenv("ZQ_PAINT_BENCH_PNG");
    zq::gdi::WindowSurfaceProvider* provider = zq::gdi::GetWindowSurfaceProvider();
    zq::gdi::WindowSurface surface;
    if (png && provider && provider->Acquire(hwnd, &surface))
        cairo_surface_write_to_png(surface.surface, png);
}

}  // namespace

int main(int argc, char** argv)
{
    // The registry of a temporary folder, so no stored language is touched.
    zqtest::ScopedXdgConfigHome home;

    CQuorinUpdateManagerDlg dlg;
    benchmark::RegisterBenchmark("full repaint/transfer page", [&dlg](benchmark::State& state) {
        dlg.m_page = CQuorinUpdateManagerDlg::PAGE_TRANSFERRING;
        dlg.RedrawWindow();  // fonts resolved once, as after the first paint
        WritePicture(dlg.GetSafeHwnd());
        for (auto _ : state)
            dlg.RedrawWindow();
        state.SetLabel("650 x 490 client area with its buttons");
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("button repaint/Next", [&dlg](benchmark::State& state) {
        for (auto _ : state)
            dlg.m_btnNext.RedrawWindow();
    })->Unit(benchmark::kMicrosecond);

    return RunBenchmarksInWizardLoop(dlg, argc, argv);
}
