// What each page of the wizard shows the user: its title, body and footer
// texts, the information painted beside them and the marked line of the
// step list; and a check that the window shows exactly that.
#pragma once

#include <string>
#include <vector>

#include "platform/gdi/Gdi.h"
#include "texts/LanguageTexts.h"
#include "wizard/CQuorinUpdateManagerDlg.h"

namespace wizardtest {

enum class Information { NONE, DEVICE, TRANSFER };

struct PageView {
    int page;
    int title, body, footer;  // catalogue texts, -1 for none
    Information information;
    int marked;  // the text of the marked step line, -1 for no step list
};

using Dlg = CQuorinUpdateManagerDlg;

// The step lines, top-down.
const int STEP_LINES[7] = {TXT_STEP_START,       TXT_STEP_UNPACKING,    TXT_STEP_CONNECTING,
                           TXT_STEP_RECOGNIZING, TXT_STEP_TRANSFERRING, TXT_STEP_DISCONNECTING,
                           TXT_STEP_END};

const PageView PAGE_VIEWS[] = {
    {Dlg::PAGE_WELCOME, TXT_WELCOME_TITLE, TXT_WELCOME_BODY, TXT_WELCOME_FOOTER, Information::NONE, -1},
    {Dlg::PAGE_SELECT_CONTAINER, -1, TXT_SELECT_CONTAINER, -1, Information::NONE, TXT_STEP_START},
    {Dlg::PAGE_UNPACKING, -1, TXT_UNPACKING, -1, Information::NONE, TXT_STEP_UNPACKING},
    {Dlg::PAGE_PREPARE_CONNECTION, -1, TXT_BLUETOOTH_HELP, -1, Information::NONE, TXT_STEP_CONNECTING},
    {Dlg::PAGE_SELECT_PORT, -1, TXT_SELECT_PORT, -1, Information::NONE, TXT_STEP_CONNECTING},
    {Dlg::PAGE_CONNECTING, -1, TXT_CONNECTING, -1, Information::NONE, TXT_STEP_CONNECTING},
    {Dlg::PAGE_READING_DEVICE, -1, TXT_READING_DEVICE, -1, Information::NONE, TXT_STEP_RECOGNIZING},
    {Dlg::PAGE_DEVICE_INFO, -1, -1, -1, Information::DEVICE, TXT_STEP_RECOGNIZING},
    {Dlg::PAGE_TRANSFERRING, -1, TXT_SENDING, -1, Information::TRANSFER, TXT_STEP_TRANSFERRING},
    {Dlg::PAGE_DISCONNECTING, -1, -1, -1, Information::NONE, TXT_STEP_DISCONNECTING},
    {Dlg::PAGE_SUCCESS, -1, TXT_UPDATE_DONE, -1, Information::NONE, TXT_STEP_END},
    {Dlg::PAGE_DISCONNECTING_AFTER_ERROR, -1, -1, -1, Information::NONE, TXT_STEP_DISCONNECTING},
    {Dlg::PAGE_ERROR, -1, TXT_UPDATE_ERROR, -1, Information::NONE, TXT_STEP_END},
};

inline const PageView* ViewOf(int page)
{
    for (const PageView& view : PAGE_VIEWS)
        if (view.page == page)
            return &view;
    return nullptr;
}

// The client area's pixels.
inline std::vector<COLORREF> ClientPixels(CWnd& wnd)
{
    CRect rect;
    wnd.GetClientRect(&rect);
    std::vector<COLORREF> pixels;
    pixels.reserve(static_cast<size_t>(rect.Width()) * rect.Height());
    CClientDC dc(&wnd);
    for (int y = 0; y < rect.Height(); ++y)
        for (int x = 0; x < rect.Width(); ++x)
            pixels.push_back(dc.GetPixel(x, y));
    return pixels;
}

// "" when the window, painted anew, shows its current page as the view of
// that page says; otherwise what differs. The expected picture is drawn
// with the window's own text painters over the bare background, in the
// order in which a page is painted: texts, information, step list.
inline std::string ShownPageDifference(Dlg& dlg)
{
    const int page = dlg.m_page;
    const PageView* view = ViewOf(page);
    if (!view)
        return "page " + std::to_string(page) + " has no view";
    dlg.RedrawWindow();
    const std::vector<COLORREF> shown = ClientPixels(dlg);

    dlg.m_page = -1;  // paints nothing over the background
    dlg.RedrawWindow();
    if (view->title >= 0)
        dlg.DrawPageTitle(dlg.m_texts.GetText(view->title));
    if (view->body >= 0)
        dlg.DrawPageBody(dlg.m_texts.GetText(view->body));
    if (view->footer >= 0)
        dlg.DrawPageFooter(dlg.m_texts.GetText(view->footer));
    if (view->information == Information::DEVICE)
        dlg.DrawDeviceInfo();
    if (view->information == Information::TRANSFER)
        dlg.DrawProgressInfo(dlg.m_protocol.GetCurrentFileName());
    if (view->marked >= 0)
        for (int line = 0; line < 7; ++line)
            dlg.DrawStepLine(dlg.m_texts.GetText(STEP_LINES[line]), 30 * line, STEP_LINES[line] == view->marked);
    const std::vector<COLORREF> expected = ClientPixels(dlg);
    dlg.m_page = page;
    dlg.RedrawWindow();

    CRect rect;
    dlg.GetClientRect(&rect);
    // The step list stands left of the texts' column at x 160.
    int steps = 0, texts = 0;
    for (size_t i = 0; i < shown.size(); ++i)
        if (shown[i] != expected[i])
            ++(static_cast<int>(i % rect.Width()) < 160 ? steps : texts);
    if (steps == 0 && texts == 0)
        return "";
    return "page " + std::to_string(page) + ": " + std::to_string(steps) + " pixels of the step list and " +
           std::to_string(texts) + " of the texts differ from what the page shows";
}

}  // namespace wizardtest
