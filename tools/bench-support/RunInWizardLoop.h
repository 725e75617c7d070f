// Runs the registered benchmarks inside the wizard window's own modal loop
// on the headless window system, so that what is measured is the real
// window painting as it does on the screen, then closes the window.
#pragma once

#include <benchmark/benchmark.h>

#include "platform/window/Headless.h"
#include "wizard/CQuorinUpdateManagerDlg.h"

inline int RunBenchmarksInWizardLoop(CQuorinUpdateManagerDlg& dlg, int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    bool ran = false;
    zq::headless::SetIdleHandler([&] {
        if (ran)
            return;
        ran = true;
        benchmark::RunSpecifiedBenchmarks();
        dlg.m_page = CQuorinUpdateManagerDlg::PAGE_WELCOME;
        dlg.EndDialog(IDCANCEL);
    });
    dlg.DoModal();
    zq::headless::SetIdleHandler(nullptr);
    benchmark::Shutdown();
    return 0;
}
