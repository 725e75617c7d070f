// Helpers of the wizard tests: a per-user registry of the test's own, the
// folders that start-up sets kept for the test, a way to run a test's steps
// while a dialog is open modally on the headless window system, a click on a
// button as the user gives it, the wait for a page, and the clicks that lead
// the wizard to a page.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "container/GlobalFolders.h"
#include "link/UPDATEManager.h"
#include "platform/registry/Registry.h"
#include "platform/window/CWnd.h"
#include "platform/window/Headless.h"
#include "platform/paths/DrivePaths.h"
#include "tests/support/ScopedSeam.h"
#include "tests/support/TempFolder.h"
#include "resources/resource.h"
#include "wizard/CQuorinUpdateManagerDlg.h"

namespace zqtest {

// Points XDG_CONFIG_HOME at a folder of the test's own, so the registry
// starts empty and no test touches another's values.
using PrivateRegistry = zqtest::ScopedXdgConfigHome;

// Puts back what start-up's folder set-up changes, however the test ends:
// CQuorinUpdateManagerApp::SetUpFolders, which InitInstance calls too, sets
// the program's path, the work and temporary folders, the program folder
// and the current directory, which the tests after would otherwise inherit.
class KeepStartupFolders {
    KeepCurrentDirectory m_directory;
    ScopedValue<CString> m_programPath{g_ProgramPath, g_ProgramPath};
    ScopedValue<CString> m_workFolder{g_WorkFolder, g_WorkFolder};
    ScopedValue<CString> m_appFolder{UPDATEManager::m_AppFolder, UPDATEManager::m_AppFolder};
    ScopedValue<CString> m_tempFolder{UPDATEManager::m_TempFolder, UPDATEManager::m_TempFolder};
};

inline void StoreSetting(const char* name, const std::string& text)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\ZQUpdateManager\\Settings", 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>(text.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

inline std::string ReadSetting(const char* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\ZQUpdateManager\\Settings", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "(no key)";
    char value[256] = {};
    DWORD length = sizeof(value) - 1;
    LONG status = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &length);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? std::string(value) : "(none)";
}

// Runs the steps once the dialog's modal loop waits for the first time, then
// ends the dialog with endCode; a negative endCode leaves the ending to the
// steps, unless they return early by a failed ASSERT: then the dialog ends
// with IDABORT, as its loop would otherwise wait for good. Returns what
// DoModal returned.
template <class Dialog>
INT_PTR RunModal(Dialog& dialog, const std::function<void()>& steps, int endCode = IDCANCEL)
{
    bool ran = false;
    const zqtest::ScopedSeam idle(zq::headless::SetIdleHandler, [&] {
        if (ran)
            return;
        ran = true;
        steps();
        if (endCode >= 0)
            dialog.EndDialog(endCode);
        else if (::testing::Test::HasFatalFailure())
            dialog.EndDialog(IDABORT);
    });
    INT_PTR result = dialog.DoModal();
    EXPECT_TRUE(ran) << "the dialog's modal loop never waited";
    return result;
}

// Runs each step when the dialog's modal loop waits, one step a wait, so
// that what a step leaves queued (a key press, a posted message) goes
// through the loop itself, as the user's would, before the next step. Ends
// the dialog with IDABORT after the last step, or after a step that failed
// an ASSERT: the steps after it would wait for what never comes. Returns
// what DoModal returned and, in stepsRun, how many steps ran before the
// loop ended.
template <class Dialog>
INT_PTR RunModalSteps(Dialog& dialog, const std::vector<std::function<void()>>& steps, size_t* stepsRun = nullptr)
{
    size_t next = 0;
    bool inStep = false;
    bool ending = false;
    const zqtest::ScopedSeam idle(zq::headless::SetIdleHandler, [&] {
        // A step that pumps messages itself waits too; the next step must
        // not start inside it.
        if (inStep || ending)
            return;
        if (next < steps.size() && !::testing::Test::HasFatalFailure()) {
            inStep = true;
            steps[next++]();
            inStep = false;
        } else {
            ending = true;
            dialog.EndDialog(IDABORT);
        }
    });
    INT_PTR result = dialog.DoModal();
    if (stepsRun)
        *stepsRun = next;
    return result;
}

// Clicks the centre of a button with the pointer, as the user does: a
// disabled button lets the click through to its window, which ignores it.
// The input is handled message by message until the window's page changes,
// so that the result of a worker that the click started stays in the queue.
template <class Dialog>
void ClickOn(Dialog& dialog, CWnd& button)
{
    CRect rect;
    button.GetWindowRect(&rect);
    dialog.ScreenToClient(&rect);
    zq::headless::Click(dialog.GetSafeHwnd(), (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    const int page = dialog.m_page;
    MSG msg;
    while (dialog.m_page == page && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// Waits, handling the window's messages, until the wizard shows the page;
// a failure says which page it shows after the time.
inline ::testing::AssertionResult WaitForPage(CQuorinUpdateManagerDlg& dlg, int page, int ms = 10000)
{
    if (zq::PumpMessagesUntil([&] { return dlg.m_page == page; }, ms))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the wizard did not come to page " << page << " within " << ms
                                         << " ms; it shows page " << dlg.m_page;
}

// Clicks through the wizard as the user does until it shows the page: Next
// on the pages that wait for the user, Browse for the container (the test's
// file dialog responder picks it), COM<com> typed on the port page; while a
// worker runs, its result is awaited. Fails when the wizard ends on the
// success or the error page instead, or has not come to the page within a
// minute. `pages` gets every page seen on the way, in order.
inline ::testing::AssertionResult ClickThroughTo(CQuorinUpdateManagerDlg& dlg, int page, int com,
                                                 std::vector<int>* pages = nullptr)
{
    using Dlg = CQuorinUpdateManagerDlg;
    const int seconds = 60;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        const int at = dlg.m_page;
        if (pages && (pages->empty() || pages->back() != at))
            pages->push_back(at);
        if (at == page)
            return ::testing::AssertionSuccess();
        if (std::chrono::steady_clock::now() >= until)
            return ::testing::AssertionFailure()
                   << "the wizard did not come to page " << page << " within " << seconds << " s; it shows page " << at;
        switch (at) {
        case Dlg::PAGE_WELCOME:
        case Dlg::PAGE_PREPARE_CONNECTION:
        case Dlg::PAGE_DEVICE_INFO:
            ClickOn(dlg, dlg.m_btnNext);
            break;
        case Dlg::PAGE_SELECT_CONTAINER:
            ClickOn(dlg, dlg.m_btnBrowse);
            break;
        case Dlg::PAGE_SELECT_PORT:
            dlg.GetDlgItem(IDC_COMPORT_COMBO)->SetWindowText(("COM" + std::to_string(com)).c_str());
            ClickOn(dlg, dlg.m_btnNext);
            break;
        case Dlg::PAGE_SUCCESS:
        case Dlg::PAGE_ERROR:
            return ::testing::AssertionFailure() << "the wizard ended on page " << at << " before page " << page;
        default:  // a worker runs
            zq::PumpMessagesUntil([&] { return dlg.m_page != at; }, 1000);
            break;
        }
    }
}

}  // namespace zqtest
