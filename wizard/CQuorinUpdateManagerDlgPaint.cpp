// Painting of the wizard's pages: the texts, the step list, the device and
// the transfer information, drawn over the background picture.
#include <cstring>

#include "container/UPDATEModel.h"
#include "wizard/CQuorinUpdateManagerDlg.h"

namespace {

const COLORREF TEXT_COLOUR = 0x333333;
const COLORREF HIGHLIGHT_COLOUR = 0x4C4333;

// Distance of the lines of a multi-line text, whatever the font.
const int LINE_PITCH = 20;
// Size of the buffer a line is copied into; a longer line is cut.
const int LINE_BUFFER = 260;

// The step lines, top-down.
const int STEP_LINE_COUNT = 7;
const int STEP_TEXTS[STEP_LINE_COUNT] = {TXT_STEP_START,       TXT_STEP_UNPACKING,    TXT_STEP_CONNECTING,
                                         TXT_STEP_RECOGNIZING, TXT_STEP_TRANSFERRING, TXT_STEP_DISCONNECTING,
                                         TXT_STEP_END};

// The highlighted line of each step; -1 for a step that marks none.
const int STEP_COUNT = 8;
const int STEP_LINE[STEP_COUNT] = {0, 2, 3, -1, 1, 4, 5, 6};

}  // namespace

void CQuorinUpdateManagerDlg::OnPaint()
{
    if (IsIconic()) {
        CPaintDC dc(this);
        SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
        int iconWidth = GetSystemMetrics(SM_CXICON);
        int iconHeight = GetSystemMetrics(SM_CYICON);
        CRect rect;
        GetClientRect(&rect);
        int x = (rect.Width() - iconWidth + 1) / 2;
        int y = (rect.Height() - iconHeight + 1) / 2;
        dc.DrawIcon(x, y, m_icon);
        return;
    }
    CPaintDC dc(this);
    // Without the background and a language there is nothing to draw.
    if (!m_ready)
        return;
    CRect rect;
    GetClientRect(&rect);
    dc.BitBlt(0, 0, rect.Width(), rect.Height(), &m_memDC, 0, 0, SRCCOPY);
    DrawPage();
}

void CQuorinUpdateManagerDlg::DrawPage()
{
    const PageView* view = FindPage(m_page);
    if (!view)
        return;
    if (view->title != NO_TEXT)
        DrawPageTitle(m_texts.GetText(view->title));
    if (view->body != NO_TEXT)
        DrawPageBody(m_texts.GetText(view->body));
    if (view->footer != NO_TEXT)
        DrawPageFooter(m_texts.GetText(view->footer));
    if (view->information)
        (this->*view->information)();
    if (view->step != NO_STEP_LIST)
        DrawStepList(view->step);
}

void CQuorinUpdateManagerDlg::DrawStepList(int step)
{
    if (step < 0 || step >= STEP_COUNT)
        return;
    int highlighted = STEP_LINE[step];
    for (int line = 0; line < STEP_LINE_COUNT; ++line)
        DrawStepLine(m_texts.GetText(STEP_TEXTS[line]), line * m_stepPitch, line == highlighted);
}

void CQuorinUpdateManagerDlg::BeginText(CClientDC& dc, CFont*& previous, int height, int weight, COLORREF colour)
{
    m_font.Attach(CreateFontA(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                              CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_SWISS | DEFAULT_PITCH, "Tahoma"));
    previous = dc.SelectObject(&m_font);
    dc.SetTextColor(colour);
}

void CQuorinUpdateManagerDlg::EndText(CClientDC& dc, CFont* previous)
{
    dc.SelectObject(previous);
    m_font.DeleteObject();
}

void CQuorinUpdateManagerDlg::DrawStepLine(CString text, int offset, bool highlighted)
{
    if (highlighted)
        DrawTextBlock(m_stepListX, m_stepListY + offset, 18, FW_BOLD, HIGHLIGHT_COLOUR, text);
    else
        DrawTextBlock(m_stepListX, m_stepListY + offset, 14, FW_NORMAL, TEXT_COLOUR, text);
}

void CQuorinUpdateManagerDlg::DrawTextBlock(int x, int y, int height, int weight, COLORREF colour, const char* text)
{
    CClientDC dc(this);
    CFont* previous = nullptr;
    BeginText(dc, previous, height, weight, colour);
    DrawMultilineText(&dc, x, y, text);
    EndText(dc, previous);
}

void CQuorinUpdateManagerDlg::DrawMultilineText(CDC* dc, int x, int y, const char* text)
{
    if (text == nullptr || *text == '\0')
        return;
    const char* line = text;
    for (int k = 0; *line != '\0'; ++k) {
        const char* end = strchr(line, '\n');
        size_t length = end ? static_cast<size_t>(end - line) : strlen(line);
        // A line longer than the buffer is cut, as the buffer holds it.
        char buffer[LINE_BUFFER];
        size_t kept = length < sizeof(buffer) - 1 ? length : sizeof(buffer) - 1;
        memcpy(buffer, line, kept);
        buffer[kept] = '\0';
        if (kept > 0)
            dc->TextOut(x, y + LINE_PITCH * k, buffer, static_cast<int>(kept));
        if (!end)
            break;
        line = end + 1;
    }
}

// The page texts share their left edge, below the picture's heading.
void CQuorinUpdateManagerDlg::DrawPageTitle(CString text)
{
    DrawTextBlock(160, 80, 16, FW_BOLD, TEXT_COLOUR, text);
}

void CQuorinUpdateManagerDlg::DrawPageBody(CString text)
{
    DrawTextBlock(160, 110, 13, FW_NORMAL, TEXT_COLOUR, text);
}

void CQuorinUpdateManagerDlg::DrawPageFooter(CString text)
{
    DrawTextBlock(160, 300, 13, FW_NORMAL, TEXT_COLOUR, text);
}

void CQuorinUpdateManagerDlg::DrawProgressInfo(CString fileName)
{
    CClientDC dc(this);
    CFont* previous = nullptr;
    BeginText(dc, previous, 14, FW_BOLD, TEXT_COLOUR);
    dc.TextOut(m_transferInfoX, m_fileNameY, fileName);
    dc.TextOut(m_transferInfoX, m_progressLabelY, m_texts.GetText(TXT_UPDATE_PROGRESS));
    EndText(dc, previous);
}

void CQuorinUpdateManagerDlg::DrawTransferInfo()
{
    DrawProgressInfo(m_protocol.GetCurrentFileName());
}

void CQuorinUpdateManagerDlg::EraseFileName()
{
    if (!m_ready)
        return;
    // The row of the name, from its left edge to the window's right edge and
    // down to the step bar, which it must not cover.
    CRect client;
    GetClientRect(&client);
    CClientDC dc(this);
    dc.BitBlt(m_transferInfoX, m_fileNameY, client.Width() - m_transferInfoX, m_stepBarY - m_fileNameY, &m_memDC,
              m_transferInfoX, m_fileNameY, SRCCOPY);
}

void CQuorinUpdateManagerDlg::DrawDeviceInfo()
{
    CClientDC dc(this);
    CFont* previous = nullptr;
    BeginText(dc, previous, 14, FW_NORMAL, TEXT_COLOUR);
    DrawMultilineText(&dc, m_deviceInfoX, m_deviceInfoY, m_texts.GetText(TXT_DEVICE_INFO_TITLE));
    int offset = 40;
    CString line;
    for (const UPDATEDevice& device : g_UpdateModel.m_Product.devices) {
        CString name;
        if (!g_UpdateModel.GetDisplayName(device, name))
            name = device.name;
        offset += 10;
        line.Format("%s: %s", "Device Name", static_cast<LPCSTR>(name));
        DrawMultilineText(&dc, m_deviceInfoX, m_deviceInfoY + offset, line);
        offset += 15;
        line.Format("%s: %s", "Software Version", static_cast<LPCSTR>(device.software));
        DrawMultilineText(&dc, m_deviceInfoX, m_deviceInfoY + offset, line);
        offset += 15;
        line.Format("%s: %s", "Device Variant", static_cast<LPCSTR>(device.variant));
        DrawMultilineText(&dc, m_deviceInfoX, m_deviceInfoY + offset, line);
        offset += 15;
        for (const UPDATEStringPair& board : device.boards) {
            line.Format("%s: %s", "Hardware", static_cast<LPCSTR>(board.first));
            DrawMultilineText(&dc, m_deviceInfoX, m_deviceInfoY + offset, line);
            offset += 15;
        }
    }
    EndText(dc, previous);
}
