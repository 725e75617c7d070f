// A full repaint of the wizard window as its paint handler does it: the
// background copied from its memory DC, the page's texts with fonts created
// and deleted per painter, the step list, and the five visible buttons each
// drawn through their double buffer. The window surfaces are software
// surfaces, as on the screen.
#include <benchmark/benchmark.h>

#include <cairo.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "controls/CNFCUMButton.h"
#include "platform/gdi/Gdi.h"
#include "platform/gdi/GdiResources.h"
#include "platform/gdi/WindowSurface.h"
#include "platform/window/Controls.h"
#include "platform/window/CWnd.h"
#include "resources/resource.h"

namespace {

const int kClientWidth = 650, kClientHeight = 490;

// One surface for the whole client area; each window draws at its origin.
struct Surfaces : zq::gdi::WindowSurfaceProvider {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kClientWidth, kClientHeight);
    std::map<HWND, RECT> windows;  // client rectangles on the surface
    ~Surfaces() override { cairo_surface_destroy(surface); }
    bool Acquire(HWND hwnd, zq::gdi::WindowSurface* out) override
    {
        auto it = windows.find(hwnd);
        if (it == windows.end()) return false;
        out->surface = surface;
        out->origin = {it->second.left, it->second.top};
        out->clip = {0, 0, it->second.right - it->second.left, it->second.bottom - it->second.top};
        return true;
    }
    HDC BeginPaint(HWND hwnd, RECT* paint) override
    {
        HDC dc = ::GetDC(hwnd);
        if (dc) ::GetClipBox(dc, paint);
        return dc;
    }
    void EndPaint(HWND hwnd, HDC dc) override { ::ReleaseDC(hwnd, dc); }
};

struct ButtonSpec {
    UINT id;
    const char* caption;
    RECT rect;
    UINT hot, normal;
    COLORREF hotKey, normalKey;
};

// Dialog units 6 x 13 per 4 x 8: the wizard's button rectangles in pixels.
const ButtonSpec kButtons[] = {
    {IDC_BACK, "Back", {357, 458, 492, 484}, IDB_BACK_HOVER, IDB_BACK, 0x00FF00, 0x00FF00},
    {IDC_NEXT, "Next", {495, 458, 630, 484}, IDB_NEXT_HOVER, IDB_NEXT, 0x00FFFF, 0xFFFF00},
    {IDC_BROWSE, "Browse", {219, 458, 354, 484}, IDB_BROWSE_HOVER, IDB_BROWSE, 0x00FF00, 0x00FF00},
    {IDC_LANG_ENGLISH, "", {58, 458, 97, 484}, IDB_LANG_ENGLISH, IDB_LANG_ENGLISH, 0x00FF00, 0x00FF00},
    {IDC_LANG_GERMAN, "", {15, 458, 52, 484}, IDB_LANG_GERMAN, IDB_LANG_GERMAN, 0x00FF00, 0x00FF00},
};

struct Wizard {
    Surfaces surfaces;
    CWnd window;
    std::vector<std::unique_ptr<CButton>> raw;
    std::vector<std::unique_ptr<CNFCUMButton>> buttons;
    CDC memDC;
    CBitmap background;
    CFont dialogFont;

    Wizard()
    {
        zq::gdi::SetWindowSurfaceProvider(&surfaces);
        window.CreateEx(0, "ZqBench", "wizard", WS_POPUP | WS_VISIBLE, CRect(0, 0, kClientWidth, kClientHeight),
                        nullptr, 0);
        surfaces.windows[window.GetSafeHwnd()] = {0, 0, kClientWidth, kClientHeight};
        dialogFont.CreateFont(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, FF_SWISS, "MS Shell Dlg");
        for (const ButtonSpec& b : kButtons) {
            raw.push_back(std::make_unique<CButton>());
            raw.back()->Create(b.caption, WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, b.rect, &window, b.id);
            buttons.push_back(std::make_unique<CNFCUMButton>());
            CNFCUMButton& button = *buttons.back();
            button.SubclassWindow(raw.back()->GetSafeHwnd());
            button.SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(static_cast<HFONT>(dialogFont)), FALSE);
            button.LoadImages(b.hot, b.hotKey, b.normal, b.normalKey);
            if (*b.caption) {
                button.SetHoverBorder(1);
                button.SetCaptionAlign(0x21);
                button.SetImagePosition(2);
            }
            button.SetStateColor(0, 0xA09489, 1);
            button.SetStateColor(1, 0x4C4333, 1);
            button.SetStateColor(2, 0xD9D7CF, 1);
            button.SetStateColor(3, 0x4C4333, 1);
            surfaces.windows[button.GetSafeHwnd()] = b.rect;
        }
        CClientDC client(&window);
        memDC.CreateCompatibleDC(&client);
        background.LoadBitmap(IDB_BACKGROUND);
        memDC.SelectObject(&background);
    }

    ~Wizard()
    {
        window.DestroyWindow();
        zq::gdi::SetWindowSurfaceProvider(nullptr);
    }

    // One painter: its own font and client DC, lines 20 pixels apart.
    void Text(int x, int y, int height, int weight, COLORREF colour, const char* text)
    {
        CFont font;
        font.CreateFont(height, 0, 0, 0, weight, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, FF_SWISS, "Tahoma");
        CClientDC dc(&window);
        CFont* old = dc.SelectObject(&font);
        dc.SetTextColor(colour);
        const char* line = text;
        for (int k = 0; *line; ++k) {
            const char* end = std::strchr(line, '\n');
            int n = end ? static_cast<int>(end - line) : static_cast<int>(std::strlen(line));
            if (n > 0) dc.TextOut(x, y + 20 * k, line, n);
            if (!end) break;
            line = end + 1;
        }
        dc.SelectObject(old);
        font.DeleteObject();
    }

    void Paint()
    {
        {
            CPaintDC dc(&window);
            dc.BitBlt(0, 0, kClientWidth, kClientHeight, &memDC, 0, 0, SRCCOPY);
            // The transfer page: its body, the file being sent and the step list.
            Text(160, 110, 13, 400, 0x333333,
                 "The update files are being sent to the hands-free car kit.\nPlease do not switch off the device\n"
                 "and do not disconnect it until the transfer has finished.");
            Text(200, 280, 14, 700, 0x333333, "RX7150_Firmware_V138.bin");
            Text(200, 330, 14, 700, 0x333333, "Update progress:");
            const char* steps[] = {"1. Start.", "2. Unpacking.", "3. Connecting.", "4. Recognizing Device.",
                                   "5. Transfering.", "6. Disconnecting.", "7. End Of Update."};
            for (int i = 0; i < 7; ++i) {
                bool on = i == 4;
                Text(20, 110 + 30 * i, on ? 18 : 14, on ? 700 : 400, on ? 0x4C4333 : 0x333333, steps[i]);
            }
        }
        // The owner-drawn buttons, each on its own client DC.
        for (auto& b : buttons) {
            CClientDC dc(b.get());
            DRAWITEMSTRUCT item = {};
            item.CtlType = ODT_BUTTON;
            item.CtlID = static_cast<UINT>(b->GetDlgCtrlID());
            item.itemAction = ODA_DRAWENTIRE;
            item.hwndItem = b->GetSafeHwnd();
            item.hDC = dc.GetSafeHdc();
            b->GetClientRect(&item.rcItem);
            b->DrawItem(&item);
        }
    }
};

void BM_FullRepaint(benchmark::State& state)
{
    Wizard wizard;
    wizard.Paint();  // fonts resolved once, as after the first paint
    // To look at what is measured: ZQ_PAINT_BENCH_PNG=/tmp/paint.png
    if (const char* png = std::getenv("ZQ_PAINT_BENCH_PNG")) cairo_surface_write_to_png(wizard.surfaces.surface, png);
    for (auto _ : state) {
        wizard.Paint();
        benchmark::ClobberMemory();
    }
    state.SetLabel("650 x 490 client area, 5 buttons, transfer page");
}
BENCHMARK(BM_FullRepaint)->Unit(benchmark::kMillisecond);

void BM_ButtonDrawItem(benchmark::State& state)
{
    Wizard wizard;
    CNFCUMButton& next = *wizard.buttons[1];
    for (auto _ : state) {
        CClientDC dc(&next);
        DRAWITEMSTRUCT item = {};
        item.CtlType = ODT_BUTTON;
        item.hwndItem = next.GetSafeHwnd();
        item.hDC = dc.GetSafeHdc();
        next.GetClientRect(&item.rcItem);
        next.DrawItem(&item);
    }
}
BENCHMARK(BM_ButtonDrawItem)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
