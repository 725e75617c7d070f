// What each page of the wizard shows the user: its title, body and footer
// texts, the information painted beside them and the marked line of the
// step list; and a check that the window shows exactly that.
#pragma once

#include <string>
#include <vector>

#include "container/UPDATEModel.h"
#include "platform/gdi/Gdi.h"
#include "texts/LanguageTexts.h"
#include "wizard/CQuorinUpdateManagerDlg.h"

namespace zqtest {

enum class Information { NONE, DEVICE, TRANSFER };

struct PageView {
    int page;
    int title, body, footer;  // catalogue texts, -1 for none
    Information information;
    int marked;  // the text of the marked step line, -1 for no step list
};

using Dlg = CQuorinUpdateManagerDlg;

// The step lines, top-down.
const int STEP_LINES[7] = {TXT_STEP_START,        TXT_STEP_UNPACKING,     TXT_STEP_CONNECTING, TXT_STEP_RECOGNIZING,
                           TXT_STEP_TRANSFERRING, TXT_STEP_DISCONNECTING, TXT_STEP_END};

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

// A text as the page painters draw it: Tahoma of the height and weight in
// the colour, each line's top-left corner 20 pixels below the one before
// (an empty line draws nothing but keeps its place), or the whole text as
// one line.
inline void DrawPageText(CWnd& wnd, int x, int y, int height, int weight, COLORREF colour, const std::string& text,
                         bool oneLine = false)
{
    CClientDC dc(&wnd);
    CFont font;
    font.CreateFont(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                    DEFAULT_QUALITY, FF_SWISS | DEFAULT_PITCH, "Tahoma");
    CFont* previous = dc.SelectObject(&font);
    dc.SetTextColor(colour);
    if (oneLine) {
        dc.TextOut(x, y, text.c_str(), static_cast<int>(text.size()));
    } else {
        size_t start = 0;
        for (int k = 0; start < text.size(); ++k) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos)
                end = text.size();
            if (end > start)
                dc.TextOut(x, y + 20 * k, text.c_str() + start, static_cast<int>(end - start));
            start = end + 1;
        }
    }
    dc.SelectObject(previous);
}

const COLORREF PAGE_TEXT_COLOUR = 0x333333;
const COLORREF MARKED_STEP_COLOUR = 0x4C4333;

// The device information: its heading at (290, 150), then for each device
// of the car kit its name (the container's display name when it has one),
// software, variant and boards, in the fixed English captions.
inline void DrawExpectedDeviceInfo(Dlg& dlg)
{
    auto line = [&](int offset, const std::string& text) {
        DrawPageText(dlg, 290, 150 + offset, 14, FW_NORMAL, PAGE_TEXT_COLOUR, text);
    };
    line(0, std::string(dlg.m_texts.GetText(TXT_DEVICE_INFO_TITLE)));
    int offset = 40;
    for (const UPDATEDevice& device : g_UpdateModel.m_Product.devices) {
        CString name = device.name;
        g_UpdateModel.GetDisplayName(device, name);
        line(offset += 10, "Device Name: " + std::string(name));
        line(offset += 15, "Software Version: " + std::string(device.software));
        line(offset += 15, "Device Variant: " + std::string(device.variant));
        offset += 15;
        for (const UPDATEStringPair& board : device.boards) {
            line(offset, "Hardware: " + std::string(board.first));
            offset += 15;
        }
    }
}

// "" when the window, painted anew, shows its current page as the view of
// that page says; otherwise what differs. The expected picture is drawn
// over the bare background with the fonts, colours and places of the page
// painters, in the order in which a page is painted: texts, information,
// step list. With repaint false the window is compared as it stands, as
// the user sees it after the last notice it drew.
inline std::string ShownPageDifference(Dlg& dlg, bool repaint = true)
{
    const int page = dlg.m_page;
    const PageView* view = ViewOf(page);
    if (!view)
        return "page " + std::to_string(page) + " has no view";
    if (repaint)
        dlg.RedrawWindow();
    const std::vector<COLORREF> shown = ClientPixels(dlg);

    dlg.m_page = -1;  // paints nothing over the background
    dlg.RedrawWindow();
    auto text = [&](int id) { return std::string(dlg.m_texts.GetText(id)); };
    if (view->title >= 0)
        DrawPageText(dlg, 160, 80, 16, FW_BOLD, PAGE_TEXT_COLOUR, text(view->title));
    if (view->body >= 0)
        DrawPageText(dlg, 160, 110, 13, FW_NORMAL, PAGE_TEXT_COLOUR, text(view->body));
    if (view->footer >= 0)
        DrawPageText(dlg, 160, 300, 13, FW_NORMAL, PAGE_TEXT_COLOUR, text(view->footer));
    if (view->information == Information::DEVICE)
        DrawExpectedDeviceInfo(dlg);
    if (view->information == Information::TRANSFER) {
        const std::string name(dlg.m_protocol.GetCurrentFileName());
        DrawPageText(dlg, 200, 280, 14, FW_BOLD, PAGE_TEXT_COLOUR, name, true);
        DrawPageText(dlg, 200, 330, 14, FW_BOLD, PAGE_TEXT_COLOUR, text(TXT_UPDATE_PROGRESS), true);
    }
    if (view->marked >= 0)
        for (int line = 0; line < 7; ++line) {
            if (STEP_LINES[line] == view->marked)
                DrawPageText(dlg, 20, 110 + 30 * line, 18, FW_BOLD, MARKED_STEP_COLOUR, text(STEP_LINES[line]));
            else
                DrawPageText(dlg, 20, 110 + 30 * line, 14, FW_NORMAL, PAGE_TEXT_COLOUR, text(STEP_LINES[line]));
        }
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

}  // namespace zqtest
