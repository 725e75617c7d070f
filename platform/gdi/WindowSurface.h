// The seam between the drawing layer and the window layer. The window layer
// keeps the pixels of its windows in cairo image surfaces and installs a
// provider; GetDC, CClientDC and CPaintDC then draw into those surfaces.
// Only platform/ uses this header.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <vector>

#include "platform/gdi/Gdi.h"

namespace zq {
namespace gdi {

struct WindowSurface {
    // The image surface (RGB24 or ARGB32) that holds the window's pixels;
    // the DC takes a reference of its own while it is open.
    cairo_surface_t* surface = nullptr;
    // Where the window's client point (0, 0) lies on the surface.
    POINT origin = {0, 0};
    // The part of the client area that may be drawn, in client coordinates
    // (the client rectangle clipped by the parents).
    RECT clip = {0, 0, 0, 0};
};

class WindowSurfaceProvider {
public:
    virtual ~WindowSurfaceProvider() = default;
    // The surface of a window's client area; false for a window without one.
    virtual bool Acquire(HWND hwnd, WindowSurface* out) = 0;
    // A DC of the window was released; the pixels within clip (client
    // coordinates) may have changed.
    virtual void Released(HWND hwnd, const RECT& clip)
    {
        (void)hwnd;
        (void)clip;
    }
    // The paint cycle of CPaintDC: BeginPaint gives the DC (normally from
    // GetDC) and the rectangle to paint, and validates the window; EndPaint
    // releases the DC.
    virtual HDC BeginPaint(HWND hwnd, RECT* paintRect) = 0;
    virtual void EndPaint(HWND hwnd, HDC dc) = 0;
};

// Installs the provider (nullptr removes it) and returns the one it replaces.
// Without one, GetDC of a window fails and CPaintDC draws nowhere.
WindowSurfaceProvider* SetWindowSurfaceProvider(WindowSurfaceProvider* provider);
WindowSurfaceProvider* GetWindowSurfaceProvider();

// The pixels of an icon as 0xAARRGGBB values, rows top-down; for the native
// side's window icon.
bool IconPixels(HICON icon, int* width, int* height, std::vector<uint32_t>* argb);

// The screen size that GetSystemMetrics reports (SM_CXSCREEN, SM_CYSCREEN).
void SetScreenSize(int width, int height);

// Adds the folder of the dialog font (Debian's fonts-wine) to fontconfig's
// configuration, once. The native side calls it before its toolkit reads the
// font list, so that its widgets find Tahoma as the drawing layer does.
void EnsureFontsConfigured();

}  // namespace gdi
}  // namespace zq
