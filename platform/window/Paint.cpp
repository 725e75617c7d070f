// Painting: the pixels of the windows, the paint cycle and the default
// painting of the layer's windows. Every window draws into the software
// surface of its top-level window, at its own place and clipped to itself
// and its parents, so the surface is the composed picture of the window.
#include <cairo.h>

#include "platform/base/DebugChannel.h"
#include "platform/gdi/Gdi.h"
#include "platform/gdi/WindowSurface.h"
#include "platform/window/Backend.h"
#include "platform/window/WindowTree.h"

namespace zq {
namespace win {
namespace {

class SurfaceProvider : public gdi::WindowSurfaceProvider {
public:
    bool Acquire(HWND hwnd, gdi::WindowSurface* out) override
    {
        Window* w = Find(hwnd);
        Window* top = TopLevel(w);
        if (!w || !top || !OnUiThread())
            return false;
        auto* surface = static_cast<cairo_surface_t*>(TopLevelSurface(top));
        if (!surface)
            return false;
        POINT o = ClientOrigin(w), t = ClientOrigin(top);
        out->surface = surface;
        out->origin = POINT{o.x - t.x, o.y - t.y};
        // The client rectangle, clipped by every parent's client area.
        RECT clip;
        GetClientRect(hwnd, &clip);
        for (Window* p = w; p && p->IsChild();) {
            Window* parent = Find(p->parent);
            if (!parent)
                break;
            RECT pr;
            GetClientRect(parent->hwnd, &pr);
            POINT po = ClientOrigin(parent);
            OffsetRect(&pr, po.x - o.x, po.y - o.y);
            IntersectRect(&clip, &clip, &pr);
            p = parent;
        }
        out->clip = clip;
        return true;
    }

    void Released(HWND hwnd, const RECT& clip) override
    {
        Window* w = Find(hwnd);
        Window* top = TopLevel(w);
        if (!w || !top)
            return;
        POINT o = ClientOrigin(w), t = ClientOrigin(top);
        RECT r = clip;
        OffsetRect(&r, o.x - t.x, o.y - t.y);
        CurrentBackend().Drawn(top, r);
    }

    HDC BeginPaint(HWND hwnd, RECT* paintRect) override
    {
        Window* w = Find(hwnd);
        if (!w)
            return nullptr;
        RECT update;
        if (w->invalid)
            update = w->update;
        else
            GetClientRect(hwnd, &update);
        bool erase = w->erase;
        ValidateRect(hwnd, nullptr);
        if (paintRect)
            *paintRect = update;
        HDC dc = ::GetDC(hwnd);
        if (erase && dc)
            SendMessageA(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        return dc;
    }

    void EndPaint(HWND hwnd, HDC dc) override
    {
        if (dc)
            ::ReleaseDC(hwnd, dc);
    }
};

SurfaceProvider& Provider()
{
    static SurfaceProvider provider;
    static bool installed = [] {
        gdi::SetWindowSurfaceProvider(&provider);
        return true;
    }();
    (void)installed;
    return provider;
}

// Installed before any window can paint.
const bool g_providerInstalled = (Provider(), true);

}  // namespace

void* TopLevelSurface(Window* top)
{
    if (!top || top->IsChild())
        return nullptr;
    int width = std::max<int>(1, top->rect.right - top->rect.left);
    int height = std::max<int>(1, top->rect.bottom - top->rect.top);
    auto* surface = static_cast<cairo_surface_t*>(top->surface);
    if (surface &&
        (cairo_image_surface_get_width(surface) != width || cairo_image_surface_get_height(surface) != height)) {
        cairo_surface_destroy(surface);
        surface = nullptr;
    }
    if (!surface) {
        surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
        if (cairo_status_t status = cairo_surface_status(surface); status != CAIRO_STATUS_SUCCESS) {
            DebugPrintf(DebugArea::Window, "cairo_image_surface_create(%d x %d): %s", width, height,
                        cairo_status_to_string(status));
            cairo_surface_destroy(surface);
            surface = nullptr;
        }
        top->surface = surface;
    }
    return surface;
}

void ReleaseSurface(Window* w)
{
    if (w->surface)
        cairo_surface_destroy(static_cast<cairo_surface_t*>(w->surface));
    w->surface = nullptr;
}

LRESULT DefaultPaint(Window* w)
{
    Provider();
    HWND hwnd = w->hwnd;
    RECT paint;
    HDC dc = Provider().BeginPaint(hwnd, &paint);
    w = Find(hwnd);
    if (w && dc && w->kind == WindowKind::Button && (w->style & BS_TYPEMASK) == BS_OWNERDRAW && w->parent) {
        // An owner-drawn button asks its parent to draw it.
        DRAWITEMSTRUCT dis = {};
        dis.CtlType = ODT_BUTTON;
        dis.CtlID = static_cast<UINT>(w->id);
        dis.itemAction = ODA_DRAWENTIRE;
        if (w->pushed)
            dis.itemState |= ODS_SELECTED;
        if (GetFocus() == hwnd)
            dis.itemState |= ODS_FOCUS;
        if (!IsEffectivelyEnabled(w))
            dis.itemState |= ODS_DISABLED;
        if ((w->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            dis.itemState |= ODS_DEFAULT;
        dis.hwndItem = hwnd;
        dis.hDC = dc;
        GetClientRect(hwnd, &dis.rcItem);
        SendMessageA(w->parent, WM_DRAWITEM, static_cast<WPARAM>(w->id), reinterpret_cast<LPARAM>(&dis));
    }
    Provider().EndPaint(hwnd, dc);
    return 0;
}

LRESULT DefaultErase(Window* w, HDC dc)
{
    // Dialogs and plain windows show the button face colour; the controls
    // leave their background to their own painting.
    if (!dc || (w->kind != WindowKind::Dialog && w->kind != WindowKind::Plain))
        return 1;
    RECT client;
    GetClientRect(w->hwnd, &client);
    HBRUSH brush = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    FillRect(dc, &client, brush);
    DeleteObject(brush);
    return 1;
}

}  // namespace win
}  // namespace zq

HDC BeginPaint(HWND hwnd, LPPAINTSTRUCT paint)
{
    PAINTSTRUCT local = {};
    zq::win::Window* w = zq::win::Find(hwnd);
    local.fErase = w && w->erase;
    local.hdc = zq::win::Provider().BeginPaint(hwnd, &local.rcPaint);
    if (paint)
        *paint = local;
    return local.hdc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* paint)
{
    if (paint)
        zq::win::Provider().EndPaint(hwnd, paint->hdc);
    return TRUE;
}
