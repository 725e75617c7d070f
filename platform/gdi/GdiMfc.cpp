// The framework's drawing classes over the GDI handles, and icons.
#include <algorithm>
#include <cstring>

#include "platform/gdi/GdiInternal.h"
#include "platform/gdi/WindowSurface.h"

namespace zq {
namespace gdi {

// The handle is going away: a temporary wrapper goes with it, a permanent
// object keeps living without a handle.
void ReleaseWrappers(Object* object)
{
    if (object->kind == Kind::Dc) {
        auto* dc = static_cast<Dc*>(object);
        if (dc->permanent)
            dc->permanent->m_hDC = nullptr;
        if (dc->temporary) {
            dc->temporary->m_hDC = nullptr;
            delete dc->temporary;
        }
        dc->permanent = dc->temporary = nullptr;
        return;
    }
    if (object->permanent)
        object->permanent->m_hObject = nullptr;
    if (object->temporary) {
        object->temporary->m_hObject = nullptr;
        delete object->temporary;
    }
    object->permanent = object->temporary = nullptr;
}

HDC BeginWindowPaint(HWND hwnd, RECT* paintRect)
{
    WindowSurfaceProvider* provider = GetWindowSurfaceProvider();
    if (!provider || !hwnd)
        return nullptr;
    return provider->BeginPaint(hwnd, paintRect);
}

void EndWindowPaint(HWND hwnd, HDC dc)
{
    WindowSurfaceProvider* provider = GetWindowSurfaceProvider();
    if (provider && hwnd)
        provider->EndPaint(hwnd, dc);
}

}  // namespace gdi
}  // namespace zq

using namespace zq::gdi;

// ---- CGdiObject and its kinds

CGdiObject::~CGdiObject()
{
    DeleteObject();
}

BOOL CGdiObject::Attach(HGDIOBJ object)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Object* o = Lookup(object);
    if (!o)
        return FALSE;
    if (m_hObject)
        Detach();
    m_hObject = object;
    o->permanent = this;
    return TRUE;
}

HGDIOBJ CGdiObject::Detach()
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    HGDIOBJ h = m_hObject;
    if (Object* o = Lookup(h))
        if (o->permanent == this)
            o->permanent = nullptr;
    m_hObject = nullptr;
    return h;
}

BOOL CGdiObject::DeleteObject()
{
    if (!m_hObject)
        return FALSE;
    HGDIOBJ h = Detach();
    return ::DeleteObject(h);
}

int CGdiObject::GetObject(int size, LPVOID buffer) const
{
    return ::GetObjectA(m_hObject, size, buffer);
}

CGdiObject* CGdiObject::FromHandle(HGDIOBJ handle)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Object* o = Lookup(handle);
    if (!o || o->kind == Kind::Dc)
        return nullptr;
    if (o->permanent)
        return o->permanent;
    if (!o->temporary) {
        CGdiObject* w = nullptr;
        switch (o->kind) {
        case Kind::Pen:
            w = new CPen();
            break;
        case Kind::Brush:
            w = new CBrush();
            break;
        case Kind::Font:
            w = new CFont();
            break;
        case Kind::Bitmap:
            w = new CBitmap();
            break;
        default:
            w = new CGdiObject();
            break;
        }
        w->m_hObject = handle;
        o->temporary = w;
    }
    return o->temporary;
}

BOOL CPen::CreatePen(int style, int width, COLORREF colour)
{
    return Attach(::CreatePen(style, width, colour));
}

BOOL CBrush::CreateSolidBrush(COLORREF colour)
{
    return Attach(::CreateSolidBrush(colour));
}

BOOL CFont::CreateFont(int height, int width, int escapement, int orientation, int weight, BYTE italic, BYTE underline,
                       BYTE strikeOut, BYTE charSet, BYTE outPrecision, BYTE clipPrecision, BYTE quality,
                       BYTE pitchAndFamily, LPCSTR face)
{
    return Attach(::CreateFontA(height, width, escapement, orientation, weight, italic, underline, strikeOut, charSet,
                                outPrecision, clipPrecision, quality, pitchAndFamily, face));
}

BOOL CBitmap::CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits)
{
    return Attach(::CreateBitmap(width, height, planes, bitsPerPixel, bits));
}

BOOL CBitmap::CreateCompatibleBitmap(CDC* dc, int width, int height)
{
    return Attach(::CreateCompatibleBitmap(dc ? dc->m_hDC : nullptr, width, height));
}

// ---- CDC

CDC::~CDC()
{
    if (m_hDC)
        DeleteDC();
}

BOOL CDC::Attach(HDC handle)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Dc* dc = LookupDc(handle);
    if (!dc)
        return FALSE;
    if (m_hDC)
        Detach();
    m_hDC = m_hAttribDC = handle;
    dc->permanent = this;
    return TRUE;
}

HDC CDC::Detach()
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    HDC h = m_hDC;
    if (Dc* dc = LookupDc(h))
        if (dc->permanent == this)
            dc->permanent = nullptr;
    m_hDC = m_hAttribDC = nullptr;
    return h;
}

CDC* CDC::FromHandle(HDC handle)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Dc* dc = LookupDc(handle);
    if (!dc)
        return nullptr;
    if (dc->permanent)
        return dc->permanent;
    if (!dc->temporary) {
        dc->temporary = new CDC();
        dc->temporary->m_hDC = dc->temporary->m_hAttribDC = handle;
    }
    return dc->temporary;
}

BOOL CDC::CreateCompatibleDC(CDC* reference)
{
    HDC h = ::CreateCompatibleDC(reference ? reference->m_hDC : nullptr);
    return h ? Attach(h) : FALSE;
}

BOOL CDC::DeleteDC()
{
    if (!m_hDC)
        return FALSE;
    HDC h = Detach();
    return ::DeleteDC(h);
}

CGdiObject* CDC::SelectObject(CGdiObject* object)
{
    if (!object)
        return nullptr;
    HGDIOBJ old = ::SelectObject(m_hDC, object->m_hObject);
    return old ? CGdiObject::FromHandle(old) : nullptr;
}

CGdiObject* CDC::SelectStockObject(int index)
{
    HGDIOBJ old = ::SelectObject(m_hDC, ::GetStockObject(index));
    return old ? CGdiObject::FromHandle(old) : nullptr;
}

BOOL CDC::BitBlt(int x, int y, int width, int height, CDC* src, int srcX, int srcY, DWORD rop)
{
    return ::BitBlt(m_hDC, x, y, width, height, src ? src->m_hDC : nullptr, srcX, srcY, rop);
}

void CDC::FillRect(LPCRECT rect, CBrush* brush)
{
    ::FillRect(m_hDC, rect, brush ? static_cast<HBRUSH>(*brush) : nullptr);
}

void CDC::FrameRect(LPCRECT rect, CBrush* brush)
{
    ::FrameRect(m_hDC, rect, brush ? static_cast<HBRUSH>(*brush) : nullptr);
}

void CDC::FillSolidRect(LPCRECT rect, COLORREF colour)
{
    ::SetBkColor(m_hDC, colour);
    std::lock_guard<std::recursive_mutex> g(Lock());
    if (Dc* dc = LookupDc(m_hDC))
        FillPixels(dc, *rect, colour);
}

void CDC::FillSolidRect(int x, int y, int width, int height, COLORREF colour)
{
    RECT r = {std::min(x, x + width), std::min(y, y + height), std::max(x, x + width), std::max(y, y + height)};
    FillSolidRect(&r, colour);
}

void CDC::Draw3dRect(LPCRECT rect, COLORREF topLeft, COLORREF bottomRight)
{
    Draw3dRect(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, topLeft, bottomRight);
}

// The top and left edges in the first colour, the right and bottom edges in
// the second; the corners top-right and bottom-left belong to the second.
void CDC::Draw3dRect(int x, int y, int cx, int cy, COLORREF topLeft, COLORREF bottomRight)
{
    FillSolidRect(x, y, cx - 1, 1, topLeft);
    FillSolidRect(x, y, 1, cy - 1, topLeft);
    FillSolidRect(x + cx, y, -1, cy, bottomRight);
    FillSolidRect(x, y + cy, cx, -1, bottomRight);
}

CPoint CDC::MoveTo(int x, int y)
{
    POINT old = {0, 0};
    ::MoveToEx(m_hDC, x, y, &old);
    return CPoint(old);
}

CSize CDC::GetTextExtent(LPCSTR text, int length) const
{
    SIZE s = {0, 0};
    ::GetTextExtentPoint32A(m_hDC, text, length, &s);
    return CSize(s);
}

BOOL CDC::DrawState(CPoint point, CSize size, HICON icon, UINT flags, HBRUSH brush)
{
    return ::DrawStateA(m_hDC, brush, nullptr, reinterpret_cast<LPARAM>(icon), 0, point.x, point.y, size.cx, size.cy,
                        (flags & ~0xFu) | DST_ICON);
}

// ---- Window DCs

CPaintDC::CPaintDC(HWND hwnd, int) : m_hWnd(hwnd)
{
    HDC h = BeginWindowPaint(hwnd, &m_rcPaint);
    if (h)
        Attach(h);
}

CPaintDC::~CPaintDC()
{
    HDC h = Detach();
    if (h)
        EndWindowPaint(m_hWnd, h);
}

CClientDC::CClientDC(HWND hwnd, int) : m_hWnd(hwnd)
{
    HDC h = ::GetDC(hwnd);
    if (h)
        Attach(h);
}

CClientDC::~CClientDC()
{
    HDC h = Detach();
    if (h)
        ::ReleaseDC(m_hWnd, h);
}

// ---- Icons

namespace {

void BlendIcon(Dc* dc, Icon* icon, int x, int y, int width, int height, int mode)
{
    Target t = TargetOf(dc);
    if (!t.valid)
        return;
    const COLORREF highlight = GetSysColor(COLOR_BTNHIGHLIGHT), shadow = GetSysColor(COLOR_BTNSHADOW);
    auto put = [&](int px, int py, uint32_t argb) {
        if (px < t.clip.left || px >= t.clip.right || py < t.clip.top || py >= t.clip.bottom)
            return;
        BlendPixel(t, px + t.origin.x, py + t.origin.y, argb & 0xFFFFFF, argb >> 24);
    };
    // Scaled to the size asked for by nearest pixel.
    auto sample = [&](int xx, int yy) {
        int ix = icon->width * xx / width, iy = icon->height * yy / height;
        return icon->argb[static_cast<size_t>(iy) * icon->width + ix];
    };
    if (mode == 0) {
        for (int yy = 0; yy < height; ++yy)
            for (int xx = 0; xx < width; ++xx)
                put(x + xx, y + yy, sample(xx, yy));
    } else {
        // Disabled: the dark parts of the picture embossed, a highlight one
        // pixel right and down with the shadow on top.
        auto dark = [&](uint32_t argb) {
            if ((argb >> 24) < 128)
                return false;
            unsigned lum = (((argb >> 16) & 0xFF) * 30 + ((argb >> 8) & 0xFF) * 59 + (argb & 0xFF) * 11) / 100;
            return lum < 192;
        };
        for (int yy = 0; yy < height; ++yy)
            for (int xx = 0; xx < width; ++xx)
                if (dark(sample(xx, yy)))
                    put(x + xx + 1, y + yy + 1, 0xFF000000u | ToPixel(highlight));
        for (int yy = 0; yy < height; ++yy)
            for (int xx = 0; xx < width; ++xx)
                if (dark(sample(xx, yy)))
                    put(x + xx, y + yy, 0xFF000000u | ToPixel(shadow));
    }
    Done(t);
}

}  // namespace

BOOL DrawIcon(HDC handle, int x, int y, HICON iconHandle)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Dc* dc = LookupDc(handle);
    Icon* icon = LookupAs<Icon>(iconHandle, Kind::Icon);
    if (!dc || !icon || icon->width <= 0 || icon->height <= 0)
        return FALSE;
    BlendIcon(dc, icon, x, y, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0);
    return TRUE;
}

BOOL DrawStateA(HDC handle, HBRUSH, DRAWSTATEPROC, LPARAM data, WPARAM, int x, int y, int width, int height, UINT flags)
{
    if ((flags & 0xF) != DST_ICON)
        return FALSE;
    std::lock_guard<std::recursive_mutex> g(Lock());
    Dc* dc = LookupDc(handle);
    Icon* icon = LookupAs<Icon>(reinterpret_cast<void*>(data), Kind::Icon);
    if (!dc || !icon || icon->width <= 0 || icon->height <= 0)
        return FALSE;
    if (width <= 0)
        width = icon->width;
    if (height <= 0)
        height = icon->height;
    BlendIcon(dc, icon, x, y, width, height, (flags & DSS_DISABLED) ? 1 : 0);
    return TRUE;
}

BOOL DestroyIcon(HICON handle)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Icon* icon = LookupAs<Icon>(handle, Kind::Icon);
    if (!icon)
        return FALSE;
    if (!icon->stock)
        Destroy(icon);
    return TRUE;
}

BOOL DestroyCursor(HCURSOR cursor)
{
    return DestroyIcon(cursor);
}
