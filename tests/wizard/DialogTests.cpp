// Dialogs from templates: pixels from dialog units, modal loops, owner draw,
// data exchange and the seams of the file dialog and the questions.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/app/CWinApp.h"
#include "platform/window/DialogTemplate.h"
#include "platform/gdi/Gdi.h"
#include "platform/window/CDialog.h"
#include "platform/window/CFileDialog.h"
#include "platform/window/Headless.h"
#include "platform/window/MessageBoxSeam.h"
#include "resources/resource.h"
#include "tests/support/ScopedSeam.h"

namespace {

const UINT WM_WORKER = WM_USER + 13;

// A button that draws itself red and notes the draw states it was asked for.
class RedButton : public CButton {
public:
    std::vector<UINT> states;
    void DrawItem(LPDRAWITEMSTRUCT dis) override
    {
        states.push_back(dis->itemState);
        CDC* dc = CDC::FromHandle(dis->hDC);
        dc->FillSolidRect(&dis->rcItem, RGB(255, 0, 0));
    }

protected:
    void PreSubclassWindow() override
    {
        SetButtonStyle((GetStyle() & 0xFFFF) | BS_OWNERDRAW, TRUE);
        CButton::PreSubclassWindow();
    }
};

class WizardLike : public CDialog {
public:
    WizardLike() : CDialog(IDD_UPDATEMANAGER_DIALOG) {}
    RedButton next;
    std::vector<WPARAM> results;
    bool initRan = false;

    BOOL PreTranslateMessage(MSG* msg) override
    {
        if (msg->message == WM_KEYDOWN && msg->wParam == VK_ESCAPE)
            return TRUE;
        return CDialog::PreTranslateMessage(msg);
    }

protected:
    void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, IDC_NEXT, next); }
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        initRan = true;
        return TRUE;
    }
    afx_msg LRESULT OnWorker(WPARAM wParam, LPARAM)
    {
        results.push_back(wParam);
        return 1;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(WizardLike, CDialog)
    ON_MESSAGE(WM_WORKER, &WizardLike::OnWorker)
END_MESSAGE_MAP()

TEST(Dialogs, WizardTemplateBecomesItsWindowInPixels)
{
    WizardLike dlg;
    CRect client, next, combo;
    bool infoHidden = false, infoDisabled = false, exitHidden = false;
    CString caption, nextText;
    const zqtest::ScopedSeam idle(zq::headless::SetIdleHandler, [&] {
        dlg.GetClientRect(&client);
        dlg.GetDlgItem(IDC_NEXT)->GetWindowRect(&next);
        dlg.ScreenToClient(&next);
        dlg.GetDlgItem(IDC_COMPORT_COMBO)->GetWindowRect(&combo);
        dlg.ScreenToClient(&combo);
        infoHidden = !dlg.GetDlgItem(IDC_INFO)->IsWindowVisible();
        infoDisabled = !dlg.GetDlgItem(IDC_INFO)->IsWindowEnabled();
        exitHidden = !dlg.GetDlgItem(IDC_EXIT)->IsWindowVisible();
        dlg.GetWindowText(caption);
        dlg.GetDlgItem(IDC_NEXT)->GetWindowText(nextText);
        dlg.EndDialog(77);
    });
    EXPECT_EQ(dlg.DoModal(), 77);
    EXPECT_TRUE(dlg.initRan);
    EXPECT_EQ(client, CRect(0, 0, 650, 490));
    EXPECT_EQ(next, CRect(495, 458, 630, 484));
    EXPECT_EQ(combo, CRect(198, 357, 392, 436));
    EXPECT_TRUE(infoHidden);
    EXPECT_TRUE(infoDisabled);
    EXPECT_TRUE(exitHidden);
    EXPECT_EQ(caption, "Aldemar Zubeh\xf6r Update Manager");
    EXPECT_EQ(nextText, "Next");
    EXPECT_EQ(dlg.GetSafeHwnd(), nullptr);  // the window is gone after DoModal
}

TEST(Dialogs, ModalLoopDispatchesWorkerMessagesAndKeys)
{
    WizardLike dlg;
    std::thread worker;
    int step = 0;
    const zqtest::ScopedSeam idle(zq::headless::SetIdleHandler, [&] {
        HWND hwnd = dlg.GetSafeHwnd();
        if (step == 0) {
            worker = std::thread([hwnd] {
                for (int i = 0; i < 50; ++i)
                    PostMessageA(hwnd, WM_WORKER, static_cast<WPARAM>(i), 0);
            });
            worker.join();
            step = 1;
        } else if (step == 1 && dlg.results.size() == 50) {
            // Escape is swallowed by the dialog's PreTranslateMessage...
            zq::headless::PressKey(VK_ESCAPE);
            step = 2;
        } else if (step == 2) {
            // ...Return is the framework's OK.
            zq::headless::PressKey(VK_RETURN);
            step = 3;
        }
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    ASSERT_EQ(dlg.results.size(), 50u);
    for (size_t i = 0; i < 50; ++i)
        EXPECT_EQ(dlg.results[i], i);
}

TEST(Dialogs, MessageForDialogClosedMeanwhileIsDropped)
{
    HWND hwnd = nullptr;
    {
        WizardLike dlg;
        const zqtest::ScopedSeam idle(zq::headless::SetIdleHandler, [&] {
            hwnd = dlg.GetSafeHwnd();
            PostMessageA(hwnd, WM_WORKER, 1, 0);
            dlg.EndDialog(IDCANCEL);
        });
        dlg.DoModal();
    }
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(zq::PumpPendingMessages(), 0);
}

TEST(Dialogs, OwnerDrawnButtonPaintsWithItsDrawState)
{
    WizardLike dlg;
    COLORREF pixel = 0;
    std::vector<UINT> states;
    int step = 0;
    const zqtest::ScopedSeam idle(zq::headless::SetIdleHandler, [&] {
        HWND top = dlg.GetSafeHwnd();
        switch (step++) {
        case 0:
            // The first paint is over; the button has been drawn once.
            dlg.next.SetFocus();
            break;
        case 1:
            zq::headless::MoveMouse(top, 500, 460);
            zq::headless::PressMouse(top, 500, 460);
            break;
        case 2: {
            CClientDC dc(&dlg);
            pixel = dc.GetPixel(500, 460);
            zq::headless::ReleaseMouse(top, 500, 460);
            break;
        }
        case 3:
            dlg.next.EnableWindow(FALSE);
            break;
        default:
            states = dlg.next.states;
            dlg.EndDialog(IDOK);
        }
    });
    dlg.DoModal();
    EXPECT_EQ(pixel, RGB(255, 0, 0));
    ASSERT_GE(states.size(), 4u);
    bool sawFocus = false, sawSelected = false;
    for (UINT s : states) {
        sawFocus |= (s & ODS_FOCUS) != 0;
        sawSelected |= (s & ODS_SELECTED) != 0;
    }
    EXPECT_TRUE(sawFocus);
    EXPECT_TRUE(sawSelected);
    EXPECT_NE(states.back() & ODS_DISABLED, 0u);
}

class SettingsLike : public CDialog {
public:
    SettingsLike() : CDialog(IDD_INTERFACE_SETTINGS) {}
    CButton check;
    int force = 0;

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Control(pDX, IDC_FORCE_UPDATE, check);
        DDX_Check(pDX, IDC_FORCE_UPDATE, force);
    }
};

TEST(Dialogs, CheckBoxExchangeRunsOnOpenAndOnOkOnly)
{
    struct Case {
        UINT endKey;  // VK_RETURN (OK) or VK_ESCAPE (Cancel)
        int expected;
    };
    for (Case c : {Case{VK_RETURN, 1}, Case{VK_ESCAPE, 0}}) {
        SettingsLike dlg;
        int step = 0;
        const zqtest::ScopedSeam idle(zq::headless::SetIdleHandler, [&] {
            if (step++ == 0) {
                // A click on the check box ticks it.
                CRect r;
                dlg.check.GetWindowRect(&r);
                dlg.ScreenToClient(&r);
                zq::headless::Click(dlg.GetSafeHwnd(), r.left + 3, r.top + 3);
            } else if (step == 2) {
                EXPECT_EQ(dlg.check.GetCheck(), BST_CHECKED);
                zq::headless::PressKey(c.endKey);
            }
        });
        dlg.DoModal();
        EXPECT_EQ(dlg.force, c.expected);
    }
}

TEST(Dialogs, MissingTemplateAndForgottenDialogEndWithMinusOne)
{
    CDialog none(4242);
    EXPECT_EQ(none.DoModal(), -1);
    const zqtest::ScopedSeam shortWait(zq::headless::SetIdleTimeout, 100);
    CDialog forgotten(IDD_ABOUTBOX);
    EXPECT_EQ(forgotten.DoModal(), -1);
}

TEST(Dialogs, FileDialogAndQuestionsGoThroughTheirSeams)
{
    CWinApp app("ZqTest");
    std::vector<zq::FileDialogCall> calls;
    const zqtest::ScopedSeam files(zq::SetFileDialogResponder, [&](const zq::FileDialogCall& call, CString* path) {
        calls.push_back(call);
        if (calls.size() == 1)
            return false;
        *path = "Z:\\tmp\\update.zip";
        return true;
    });
    CFileDialog first(TRUE, nullptr, nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, "ZIP Files (*.zip)|*.zip||");
    EXPECT_EQ(first.DoModal(), IDCANCEL);
    EXPECT_EQ(first.GetPathName(), "");
    CFileDialog second(TRUE, nullptr, nullptr, OFN_HIDEREADONLY, "ZIP Files (*.zip)|*.zip||");
    EXPECT_EQ(second.DoModal(), IDOK);
    EXPECT_EQ(second.GetPathName(), "Z:\\tmp\\update.zip");
    EXPECT_EQ(second.GetFileName(), "update.zip");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].filter, "ZIP Files (*.zip)|*.zip||");
    EXPECT_TRUE(calls[0].open);
}

TEST(DialogUnits, ConvertWithShellDlgBaseUnits)
{
    EXPECT_EQ(zq::DialogUnitsToPixelsX(433), 650);
    EXPECT_EQ(zq::DialogUnitsToPixelsY(302), 490);
    EXPECT_EQ(CRect(zq::DialogUnitsToPixels(330, 282, 90, 16)), CRect(495, 458, 630, 484));
}

}  // namespace
