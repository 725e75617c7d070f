// Runs the registered benchmarks inside the wizard window's own modal loop
// on the headless window system, so that what is measured is the real
// window painting as it does on the screen, then closes the window.
#pragma once

#include <benchmark/benchmark.h>

#include "platform/window/Headless.h"
#include "tests/support/ScopedSeam.h"
#include "wizard/CQuorinUpdateManagerDlg.h"

inline int RunBenchmarksInWizardLoop(CQuorinUpdateManagerDlg& dlg, int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    bool ran = false;
    {
        const zqtest::ScopedSeam idle(zq::headless::SetIdleHandler, [&] {
            if (ran)
                return;
            ran = true;
            benchmark::RunSpecifiedBenchmarks();
            dlg.m_page = CQuorinUpdateManagerDlg::PAGE_WELCOME;
            dlg.EndDialog(IDCANCEL);
        });
        dlg.DoModal();
    }
    benchmark::Shutdown();
    return 0;
}
