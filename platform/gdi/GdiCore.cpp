// Drawing objects, device contexts and the pixel operations on them.
#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_set>

#include "platform/base/DebugChannel.h"
#include "platform/gdi/GdiInternal.h"
#include "platform/gdi/GdiTesting.h"
#include "platform/gdi/WindowSurface.h"

namespace zq {
namespace gdi {

namespace {

std::unordered_set<const void*>& Live()
{
    static auto* live = new std::unordered_set<const void*>();
    return *live;
}

bool (*g_bitmapFailureHook)(int, int, int) = nullptr;
WindowSurfaceProvider* g_provider = nullptr;
int g_screenWidth = 1024;
int g_screenHeight = 768;

// Bitmaps larger than this many pixels are refused, as a real system runs
// out of memory for them.
constexpr long long kMaxPixels = 64LL * 1024 * 1024;

bool Intersect(RECT* r, const RECT& clip)
{
    r->left = std::max(r->left, clip.left);
    r->top = std::max(r->top, clip.top);
    r->right = std::min(r->right, clip.right);
    r->bottom = std::min(r->bottom, clip.bottom);
    return r->left < r->right && r->top < r->bottom;
}

}  // namespace

std::recursive_mutex& Lock()
{
    static auto* m = new std::recursive_mutex();
    return *m;
}

void Register(Object* object)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Live().insert(object);
}

Object* Lookup(const void* handle)
{
    if (!handle)
        return nullptr;
    std::lock_guard<std::recursive_mutex> g(Lock());
    return Live().count(handle) ? static_cast<Object*>(const_cast<void*>(handle)) : nullptr;
}

Dc* LookupDc(HDC dc)
{
    return LookupAs<Dc>(dc, Kind::Dc);
}

Bitmap::~Bitmap()
{
    if (surface)
        cairo_surface_destroy(surface);
}

Dc::~Dc()
{
    if (windowSurface)
        cairo_surface_destroy(windowSurface);
}

void ReleaseWrappers(Object* object);  // in GdiMfc.cpp

void Destroy(Object* object)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Live().erase(object);
    ReleaseWrappers(object);
    delete object;
}

Bitmap* NewBitmap(int width, int height, bool mono)
{
    if (width < 0 || height < 0)
        return nullptr;
    if (static_cast<long long>(width) * height > kMaxPixels)
        return nullptr;
    if (g_bitmapFailureHook && g_bitmapFailureHook(width, height, mono ? 1 : 32))
        return nullptr;
    auto* b = new (std::nothrow) Bitmap();
    if (!b)
        return nullptr;
    b->width = width;
    b->height = height;
    b->mono = mono;
    if (mono) {
        try {
            b->bits.assign(static_cast<size_t>(width) * height, 0);
        } catch (const std::bad_alloc&) {
            delete b;
            return nullptr;
        }
    } else {
        // A cairo surface cannot be empty; a 0-sized bitmap keeps 1 x 1.
        b->surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, std::max(width, 1), std::max(height, 1));
        if (cairo_status_t status = cairo_surface_status(b->surface); status != CAIRO_STATUS_SUCCESS) {
            DebugPrintf(DebugArea::Gdi, "cairo_image_surface_create(%d x %d): %s", width, height,
                        cairo_status_to_string(status));
            delete b;
            return nullptr;
        }
        // New colour bitmaps are black, as on Windows.
        cairo_surface_flush(b->surface);
        std::memset(cairo_image_surface_get_data(b->surface), 0,
                    static_cast<size_t>(cairo_image_surface_get_stride(b->surface)) * std::max(height, 1));
        cairo_surface_mark_dirty(b->surface);
    }
    Register(b);
    return b;
}

Bitmap* DefaultBitmap()
{
    static Bitmap* stock = [] {
        Bitmap* b = NewBitmap(1, 1, true);
        b->stock = true;
        return b;
    }();
    return stock;
}

Target TargetOf(Dc* dc)
{
    Target t;
    if (!dc)
        return t;
    if (dc->memory) {
        Bitmap* b = dc->bitmap;
        if (!b)
            return t;
        t.width = b->width;
        t.height = b->height;
        t.clip = {0, 0, b->width, b->height};
        if (b->mono) {
            t.mono = true;
            t.bits = b->bits.data();
        } else {
            t.surface = b->surface;
        }
    } else {
        if (!dc->windowSurface)
            return t;
        t.surface = dc->windowSurface;
        t.width = cairo_image_surface_get_width(t.surface);
        t.height = cairo_image_surface_get_height(t.surface);
        t.origin = dc->origin;
        t.clip = dc->clip;
        // Never outside the surface.
        RECT bounds = {-t.origin.x, -t.origin.y, t.width - t.origin.x, t.height - t.origin.y};
        if (!Intersect(&t.clip, bounds))
            t.clip = {0, 0, 0, 0};
    }
    if (t.surface) {
        cairo_surface_flush(t.surface);
        t.colour = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(t.surface));
        t.stride = cairo_image_surface_get_stride(t.surface) / 4;
        if (!t.colour)
            return t;
    }
    t.valid = true;
    return t;
}

void Done(const Target& t)
{
    if (t.surface)
        cairo_surface_mark_dirty(t.surface);
}

namespace {

inline void PutPixel(const Target& t, int x, int y, COLORREF c)
{
    if (x < t.clip.left || x >= t.clip.right || y < t.clip.top || y >= t.clip.bottom)
        return;
    int px = x + t.origin.x, py = y + t.origin.y;
    if (t.mono)
        t.bits[static_cast<size_t>(py) * t.width + px] = MonoOf(c);
    else
        t.colour[static_cast<size_t>(py) * t.stride + px] = 0xFF000000u | ToPixel(c);
}

void FillTarget(const Target& t, RECT r, COLORREF c)
{
    if (!Intersect(&r, t.clip))
        return;
    if (t.mono) {
        uint8_t v = MonoOf(c);
        for (int y = r.top; y < r.bottom; ++y)
            std::memset(&t.bits[static_cast<size_t>(y + t.origin.y) * t.width + r.left + t.origin.x], v,
                        static_cast<size_t>(r.right - r.left));
    } else {
        uint32_t p = 0xFF000000u | ToPixel(c);
        for (int y = r.top; y < r.bottom; ++y) {
            uint32_t* row = t.colour + static_cast<size_t>(y + t.origin.y) * t.stride + t.origin.x;
            std::fill(row + r.left, row + r.right, p);
        }
    }
}

}  // namespace

void FillPixels(Dc* dc, RECT r, COLORREF colour)
{
    Target t = TargetOf(dc);
    if (!t.valid)
        return;
    FillTarget(t, r, colour);
    Done(t);
}

}  // namespace gdi
}  // namespace zq

using namespace zq::gdi;

namespace zq {
namespace gdi {

WindowSurfaceProvider* SetWindowSurfaceProvider(WindowSurfaceProvider* provider)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    WindowSurfaceProvider* previous = g_provider;
    g_provider = provider;
    return previous;
}

WindowSurfaceProvider* GetWindowSurfaceProvider()
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    return g_provider;
}

void SetScreenSize(int width, int height)
{
    g_screenWidth = width;
    g_screenHeight = height;
}

BitmapCreationFailureHook SetBitmapCreationFailureHook(BitmapCreationFailureHook hook)
{
    BitmapCreationFailureHook previous = g_bitmapFailureHook;
    g_bitmapFailureHook = hook;
    return previous;
}

bool IconPixels(HICON handle, int* width, int* height, std::vector<uint32_t>* argb)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Icon* i = LookupAs<Icon>(handle, Kind::Icon);
    if (!i)
        return false;
    *width = i->width;
    *height = i->height;
    *argb = i->argb;
    return true;
}

}  // namespace gdi
}  // namespace zq

// ---- System colours and metrics

DWORD GetSysColor(int index)
{
    // The classic Windows scheme.
    static const COLORREF colours[] = {
        RGB(212, 208, 200), RGB(58, 110, 165),  RGB(10, 36, 106),   RGB(128, 128, 128), RGB(212, 208, 200),
        RGB(255, 255, 255), RGB(0, 0, 0),       RGB(0, 0, 0),       RGB(0, 0, 0),       RGB(255, 255, 255),
        RGB(212, 208, 200), RGB(212, 208, 200), RGB(128, 128, 128), RGB(10, 36, 106),   RGB(255, 255, 255),
        RGB(212, 208, 200), RGB(128, 128, 128), RGB(128, 128, 128), RGB(0, 0, 0),       RGB(212, 208, 200),
        RGB(255, 255, 255), RGB(64, 64, 64),    RGB(212, 208, 200), RGB(0, 0, 0),       RGB(255, 255, 225),
        RGB(181, 181, 181), RGB(0, 0, 128),     RGB(166, 202, 240), RGB(192, 192, 192), RGB(49, 106, 197),
        RGB(236, 233, 216),
    };
    if (index < 0 || index >= static_cast<int>(sizeof(colours) / sizeof(colours[0])))
        return 0;
    return colours[index];
}

int GetSystemMetrics(int index)
{
    switch (index) {
    case SM_CXSCREEN:
        return zq::gdi::g_screenWidth;
    case SM_CYSCREEN:
        return zq::gdi::g_screenHeight;
    case SM_CXICON:
    case SM_CYICON:
        return 32;
    case SM_CXSMICON:
    case SM_CYSMICON:
        return 16;
    default:
        return 0;
    }
}

// ---- Objects

HGDIOBJ GetStockObject(int index)
{
    static Object* stock[18] = {};
    if (index < 0 || index >= 18)
        return nullptr;
    std::lock_guard<std::recursive_mutex> g(Lock());
    if (!stock[index]) {
        Object* o = nullptr;
        switch (index) {
        case WHITE_BRUSH:
        case LTGRAY_BRUSH:
        case GRAY_BRUSH:
        case DKGRAY_BRUSH:
        case BLACK_BRUSH:
        case NULL_BRUSH: {
            static const COLORREF c[] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0x000000, 0};
            auto* b = new Brush();
            b->colour = c[index];
            b->null = index == NULL_BRUSH;
            o = b;
            break;
        }
        case WHITE_PEN:
        case BLACK_PEN:
        case NULL_PEN: {
            auto* p = new Pen();
            p->colour = index == WHITE_PEN ? 0xFFFFFF : 0;
            p->style = index == NULL_PEN ? PS_NULL : PS_SOLID;
            o = p;
            break;
        }
        case SYSTEM_FONT:
        case DEFAULT_GUI_FONT: {
            auto* f = new Font();
            f->log.lfHeight = index == SYSTEM_FONT ? 16 : -11;
            f->log.lfWeight = index == SYSTEM_FONT ? FW_BOLD : FW_NORMAL;
            std::strcpy(f->log.lfFaceName, index == SYSTEM_FONT ? "Tahoma" : "MS Shell Dlg");
            o = f;
            break;
        }
        default:
            return nullptr;
        }
        o->stock = true;
        Register(o);
        stock[index] = o;
    }
    return reinterpret_cast<HGDIOBJ>(stock[index]);
}

Font* zq::gdi::DefaultFont()
{
    return static_cast<Font*>(static_cast<Object*>(reinterpret_cast<void*>(GetStockObject(SYSTEM_FONT))));
}

static HGDIOBJ H(Object* o)
{
    return reinterpret_cast<HGDIOBJ>(o);
}

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits)
{
    if (planes != 1 || (bitsPerPixel != 1 && bitsPerPixel != 24 && bitsPerPixel != 32)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (width == 0 || height == 0)
        width = height = 1;
    Bitmap* b = NewBitmap(width, height, bitsPerPixel == 1);
    if (!b) {
        SetLastError(width < 0 || height < 0 ? ERROR_INVALID_PARAMETER : ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (bits) {
        const uint8_t* src = static_cast<const uint8_t*>(bits);
        // Rows of a device-dependent bitmap are padded to 16 bits.
        if (b->mono) {
            size_t rowBytes = ((static_cast<size_t>(width) + 15) / 16) * 2;
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    b->bits[static_cast<size_t>(y) * width + x] = (src[y * rowBytes + x / 8] >> (7 - x % 8)) & 1;
        } else {
            size_t bpp = bitsPerPixel / 8;
            size_t rowBytes = ((static_cast<size_t>(width) * bpp + 1) / 2) * 2;
            uint32_t* data = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(b->surface));
            int stride = cairo_image_surface_get_stride(b->surface) / 4;
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    const uint8_t* p = src + y * rowBytes + x * bpp;  // blue, green, red
                    data[y * stride + x] = 0xFF000000u | (p[2] << 16) | (p[1] << 8) | p[0];
                }
            cairo_surface_mark_dirty(b->surface);
        }
    }
    return reinterpret_cast<HBITMAP>(H(b));
}

HBITMAP CreateCompatibleBitmap(HDC handle, int width, int height)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Dc* dc = LookupDc(handle);
    if (!dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // A memory DC makes bitmaps of the kind it holds: a new one holds the
    // monochrome default bitmap.
    bool mono = dc->memory && dc->bitmap && dc->bitmap->mono;
    if (width == 0 || height == 0)
        return CreateBitmap(1, 1, 1, 1, nullptr);
    return CreateBitmap(width, height, 1, mono ? 1 : 32, nullptr);
}

HBRUSH CreateSolidBrush(COLORREF colour)
{
    auto* b = new Brush();
    b->colour = colour & 0xFFFFFF;
    Register(b);
    return reinterpret_cast<HBRUSH>(H(b));
}

HPEN CreatePen(int style, int width, COLORREF colour)
{
    auto* p = new Pen();
    p->style = style == PS_NULL ? PS_NULL : PS_SOLID;
    p->width = std::max(width, 1);
    p->colour = colour & 0xFFFFFF;
    Register(p);
    return reinterpret_cast<HPEN>(H(p));
}

HFONT CreateFontIndirectA(const LOGFONTA* log)
{
    if (!log)
        return nullptr;
    auto* f = new Font();
    f->log = *log;
    f->log.lfFaceName[LF_FACESIZE - 1] = 0;
    Register(f);
    return reinterpret_cast<HFONT>(H(f));
}

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic, DWORD underline,
                  DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                  DWORD pitchAndFamily, LPCSTR face)
{
    LOGFONTA log = {};
    log.lfHeight = height;
    log.lfWidth = width;
    log.lfEscapement = escapement;
    log.lfOrientation = orientation;
    log.lfWeight = weight;
    log.lfItalic = static_cast<BYTE>(italic);
    log.lfUnderline = static_cast<BYTE>(underline);
    log.lfStrikeOut = static_cast<BYTE>(strikeOut);
    log.lfCharSet = static_cast<BYTE>(charSet);
    log.lfOutPrecision = static_cast<BYTE>(outPrecision);
    log.lfClipPrecision = static_cast<BYTE>(clipPrecision);
    log.lfQuality = static_cast<BYTE>(quality);
    log.lfPitchAndFamily = static_cast<BYTE>(pitchAndFamily);
    if (face)
        std::strncpy(log.lfFaceName, face, LF_FACESIZE - 1);
    return CreateFontIndirectA(&log);
}

BOOL DeleteObject(HGDIOBJ handle)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Object* o = Lookup(handle);
    if (!o || o->kind == Kind::Dc || o->kind == Kind::Icon)
        return FALSE;
    if (o->stock)
        return TRUE;
    // An object selected into a DC stays, as on Windows.
    if (o->kind == Kind::Bitmap && static_cast<Bitmap*>(o)->selectedIn)
        return FALSE;
    Destroy(o);
    return TRUE;
}

int GetObjectA(HGDIOBJ handle, int size, LPVOID buffer)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Object* o = Lookup(handle);
    if (!o) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    auto give = [&](const void* record, int recordSize) {
        if (!buffer)
            return recordSize;
        if (size < recordSize)
            return 0;
        std::memcpy(buffer, record, static_cast<size_t>(recordSize));
        return recordSize;
    };
    switch (o->kind) {
    case Kind::Bitmap: {
        auto* b = static_cast<Bitmap*>(o);
        BITMAP bm = {};
        bm.bmWidth = b->width;
        bm.bmHeight = b->height;
        bm.bmPlanes = 1;
        bm.bmBitsPixel = b->mono ? 1 : 32;
        bm.bmWidthBytes = b->mono ? ((b->width + 15) / 16) * 2 : b->width * 4;
        return give(&bm, sizeof(bm));
    }
    case Kind::Font:
        return give(&static_cast<Font*>(o)->log, sizeof(LOGFONTA));
    case Kind::Pen: {
        auto* p = static_cast<Pen*>(o);
        LOGPEN lp = {static_cast<UINT>(p->style), {p->width, 0}, p->colour};
        return give(&lp, sizeof(lp));
    }
    case Kind::Brush: {
        auto* b = static_cast<Brush*>(o);
        LOGBRUSH lb = {static_cast<UINT>(b->null ? BS_NULL : BS_SOLID), b->colour, 0};
        return give(&lb, sizeof(lb));
    }
    default:
        return 0;
    }
}

// ---- Device contexts

static Dc* NewDc()
{
    auto* dc = new Dc();
    dc->pen = static_cast<Pen*>(Lookup(GetStockObject(BLACK_PEN)));
    dc->brush = static_cast<Brush*>(Lookup(GetStockObject(WHITE_BRUSH)));
    dc->font = DefaultFont();
    return dc;
}

HDC CreateCompatibleDC(HDC reference)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    if (reference && !LookupDc(reference)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    Dc* dc = NewDc();
    dc->memory = true;
    dc->bitmap = DefaultBitmap();
    Register(dc);
    return reinterpret_cast<HDC>(dc);
}

HDC GetDC(HWND hwnd)
{
    Dc* dc = nullptr;
    if (!hwnd) {
        // The screen: a colour surface of its own that nothing shows.
        static cairo_surface_t* screen = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
        std::lock_guard<std::recursive_mutex> g(Lock());
        dc = NewDc();
        dc->windowSurface = cairo_surface_reference(screen);
        dc->clip = {0, 0, 1, 1};
    } else {
        WindowSurfaceProvider* provider = GetWindowSurfaceProvider();
        WindowSurface s;
        if (!provider || !provider->Acquire(hwnd, &s) || !s.surface ||
            cairo_surface_get_type(s.surface) != CAIRO_SURFACE_TYPE_IMAGE)
            return nullptr;
        std::lock_guard<std::recursive_mutex> g(Lock());
        dc = NewDc();
        dc->window = hwnd;
        dc->windowSurface = cairo_surface_reference(s.surface);
        dc->origin = s.origin;
        dc->clip = s.clip;
    }
    Register(dc);
    return reinterpret_cast<HDC>(dc);
}

static void DeselectAll(Dc* dc)
{
    if (dc->bitmap && dc->bitmap->selectedIn == dc)
        dc->bitmap->selectedIn = nullptr;
    dc->bitmap = nullptr;
}

int ReleaseDC(HWND hwnd, HDC handle)
{
    HWND window = nullptr;
    RECT clip = {0, 0, 0, 0};
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        Dc* dc = LookupDc(handle);
        if (!dc || dc->memory)
            return 0;
        window = dc->window;
        clip = dc->clip;
        (void)hwnd;
        DeselectAll(dc);
        Destroy(dc);
    }
    if (window) {
        if (WindowSurfaceProvider* provider = GetWindowSurfaceProvider())
            provider->Released(window, clip);
    }
    return 1;
}

BOOL DeleteDC(HDC handle)
{
    HWND window = nullptr;
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        Dc* dc = LookupDc(handle);
        if (!dc)
            return FALSE;
        window = dc->window;
    }
    if (window)
        return ReleaseDC(window, handle);
    std::lock_guard<std::recursive_mutex> g(Lock());
    Dc* dc = LookupDc(handle);
    if (!dc)
        return FALSE;
    DeselectAll(dc);
    Destroy(dc);
    return TRUE;
}

HGDIOBJ SelectObject(HDC handle, HGDIOBJ object)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Dc* dc = LookupDc(handle);
    Object* o = Lookup(object);
    if (!dc || !o)
        return nullptr;
    switch (o->kind) {
    case Kind::Pen: {
        Object* old = dc->pen;
        dc->pen = static_cast<Pen*>(o);
        return H(old);
    }
    case Kind::Brush: {
        Object* old = dc->brush;
        dc->brush = static_cast<Brush*>(o);
        return H(old);
    }
    case Kind::Font: {
        Object* old = dc->font;
        dc->font = static_cast<Font*>(o);
        return H(old);
    }
    case Kind::Bitmap: {
        auto* b = static_cast<Bitmap*>(o);
        if (!dc->memory)
            return nullptr;
        if (b == dc->bitmap)
            return H(b);
        // A bitmap lives in one DC at a time; the stock one may be in many.
        if (b->selectedIn && !b->stock)
            return nullptr;
        Bitmap* old = dc->bitmap;
        if (old && old->selectedIn == dc)
            old->selectedIn = nullptr;
        dc->bitmap = b;
        if (!b->stock)
            b->selectedIn = dc;
        return H(old);
    }
    default:
        return nullptr;
    }
}

COLORREF SetTextColor(HDC handle, COLORREF colour)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Dc* dc = LookupDc(handle);
    if (!dc)
        return CLR_INVALID;
    COLORREF old = dc->textColour;
    dc->textColour = colour & 0xFFFFFF;
    return old;
}

COLORREF SetBkColor(HDC handle, COLORREF colour)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Dc* dc = LookupDc(handle);
    if (!dc)
        return CLR_INVALID;
    COLORREF old = dc->bkColour;
    dc->bkColour = colour & 0xFFFFFF;
    return old;
}

int SetBkMode(HDC handle, int mode)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Dc* dc = LookupDc(handle);
    if (!dc || (mode != OPAQUE && mode != TRANSPARENT))
        return 0;
    int old = dc->bkMode;
    dc->bkMode = mode;
    return old;
}

int GetClipBox(HDC handle, LPRECT rect)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Dc* dc = LookupDc(handle);
    if (!dc || !rect)
        return ERROR_REGION;
    Target t = TargetOf(dc);
    *rect = t.clip;
    return ::IsRectEmpty(rect) ? NULLREGION : SIMPLEREGION;
}

namespace {

bool IsBlitRop(DWORD rop)
{
    return rop == SRCCOPY || rop == SRCAND || rop == SRCPAINT || rop == SRCINVERT || rop == NOTSRCCOPY ||
           rop == BLACKNESS || rop == WHITENESS;
}

// One source row, from store pixel (sx, sy), as the pixels of a monochrome
// destination: the source DC's background colour gives white (1), every
// other colour black (0).
void FetchMonoRow(const Target& s, int sx, int sy, uint32_t srcBk, std::vector<uint8_t>& row)
{
    const int w = static_cast<int>(row.size());
    if (s.mono) {
        std::memcpy(row.data(), &s.bits[static_cast<size_t>(sy) * s.width + sx], static_cast<size_t>(w));
    } else {
        const uint32_t* in = s.colour + static_cast<size_t>(sy) * s.stride + sx;
        for (int i = 0; i < w; ++i)
            row[i] = (in[i] & 0xFFFFFF) == srcBk ? 1 : 0;
    }
}

// The same for a colour destination: monochrome white gives the destination
// DC's background colour, black its text colour.
void FetchColourRow(const Target& s, int sx, int sy, uint32_t dstBk, uint32_t dstText, std::vector<uint32_t>& row)
{
    const int w = static_cast<int>(row.size());
    if (s.mono) {
        const uint8_t* in = &s.bits[static_cast<size_t>(sy) * s.width + sx];
        for (int i = 0; i < w; ++i)
            row[i] = in[i] ? dstBk : dstText;
    } else {
        const uint32_t* in = s.colour + static_cast<size_t>(sy) * s.stride + sx;
        for (int i = 0; i < w; ++i)
            row[i] = in[i] & 0xFFFFFF;
    }
}

// A converted row laid on the destination's row by the raster operation.
void CombineMonoRow(uint8_t* out, const std::vector<uint8_t>& row, DWORD rop)
{
    for (size_t i = 0; i < row.size(); ++i) {
        uint8_t v = row[i];
        switch (rop) {
        case SRCCOPY:
            out[i] = v;
            break;
        case SRCAND:
            out[i] &= v;
            break;
        case SRCPAINT:
            out[i] |= v;
            break;
        case SRCINVERT:
            out[i] ^= v;
            break;
        default:
            out[i] = v ^ 1;
            break;
        }
    }
}

void CombineColourRow(uint32_t* out, const std::vector<uint32_t>& row, DWORD rop)
{
    for (size_t i = 0; i < row.size(); ++i) {
        uint32_t v = row[i], o = out[i] & 0xFFFFFF;
        switch (rop) {
        case SRCCOPY:
            o = v;
            break;
        case SRCAND:
            o &= v;
            break;
        case SRCPAINT:
            o |= v;
            break;
        case SRCINVERT:
            o ^= v;
            break;
        default:
            o = ~v & 0xFFFFFF;
            break;
        }
        out[i] = 0xFF000000u | o;
    }
}

// The pixels of the destination rectangle r (clipped, DC coordinates), from
// the source at the offset (dx, dy).
void BlitRows(Dc* dst, const Target& d, Dc* src, const Target& s, const RECT& r, int dx, int dy, DWORD rop)
{
    // Source and destination may be the same store; copy the source rows first.
    const size_t w = static_cast<size_t>(r.right - r.left);
    std::vector<uint32_t> colourRow(d.mono ? 0 : w);
    std::vector<uint8_t> monoRow(d.mono ? w : 0);
    const uint32_t srcBk = ToPixel(src->bkColour);
    const uint32_t dstBk = ToPixel(dst->bkColour), dstText = ToPixel(dst->textColour);
    for (int yy = r.top; yy < r.bottom; ++yy) {
        const int sy = yy + dy + s.origin.y, sx = r.left + dx + s.origin.x;
        const int py = yy + d.origin.y, px = r.left + d.origin.x;
        if (d.mono) {
            FetchMonoRow(s, sx, sy, srcBk, monoRow);
            CombineMonoRow(&d.bits[static_cast<size_t>(py) * d.width + px], monoRow, rop);
        } else {
            FetchColourRow(s, sx, sy, dstBk, dstText, colourRow);
            CombineColourRow(d.colour + static_cast<size_t>(py) * d.stride + px, colourRow, rop);
        }
    }
}

}  // namespace

// BitBlt: every pixel is converted to the destination's kind first, then
// combined by the raster operation.
BOOL BitBlt(HDC dstHandle, int x, int y, int width, int height, HDC srcHandle, int srcX, int srcY, DWORD rop)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Dc* dst = LookupDc(dstHandle);
    if (!dst)
        return FALSE;
    bool needsSource = rop != BLACKNESS && rop != WHITENESS;
    Dc* src = needsSource ? LookupDc(srcHandle) : nullptr;
    if (needsSource && !src)
        return FALSE;
    if (!IsBlitRop(rop))
        return FALSE;
    if (width <= 0 || height <= 0)
        return TRUE;
    Target d = TargetOf(dst);
    if (!d.valid)
        return FALSE;
    if (!needsSource) {
        FillTarget(d, {x, y, x + width, y + height}, rop == WHITENESS ? 0xFFFFFF : 0);
        Done(d);
        return TRUE;
    }
    Target s = TargetOf(src);
    if (!s.valid)
        return FALSE;
    // Clip the destination rectangle by its clip and by the source's.
    RECT r = {x, y, x + width, y + height};
    RECT sr = {s.clip.left - srcX + x, s.clip.top - srcY + y, s.clip.right - srcX + x, s.clip.bottom - srcY + y};
    if (!Intersect(&r, d.clip) || !Intersect(&r, sr))
        return TRUE;
    BlitRows(dst, d, src, s, r, srcX - x, srcY - y, rop);
    Done(d);
    return TRUE;
}

int FillRect(HDC handle, const RECT* rect, HBRUSH brushHandle)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Dc* dc = LookupDc(handle);
    Brush* brush = LookupAs<Brush>(brushHandle, Kind::Brush);
    if (!dc || !rect || !brush)
        return 0;
    if (!brush->null)
        FillPixels(dc, *rect, brush->colour);
    return 1;
}

int FrameRect(HDC handle, const RECT* rect, HBRUSH brushHandle)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Dc* dc = LookupDc(handle);
    Brush* brush = LookupAs<Brush>(brushHandle, Kind::Brush);
    if (!dc || !rect || !brush)
        return 0;
    const RECT& r = *rect;
    if (r.right <= r.left || r.bottom <= r.top || brush->null)
        return 1;
    FillPixels(dc, {r.left, r.top, r.right, r.top + 1}, brush->colour);
    FillPixels(dc, {r.left, r.bottom - 1, r.right, r.bottom}, brush->colour);
    FillPixels(dc, {r.left, r.top, r.left + 1, r.bottom}, brush->colour);
    FillPixels(dc, {r.right - 1, r.top, r.right, r.bottom}, brush->colour);
    return 1;
}

BOOL MoveToEx(HDC handle, int x, int y, LPPOINT previous)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Dc* dc = LookupDc(handle);
    if (!dc)
        return FALSE;
    if (previous)
        *previous = dc->pos;
    dc->pos = {x, y};
    return TRUE;
}

// A line from the current position to (x, y), without its end point.
BOOL LineTo(HDC handle, int x, int y)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Dc* dc = LookupDc(handle);
    if (!dc)
        return FALSE;
    int x0 = dc->pos.x, y0 = dc->pos.y;
    dc->pos = {x, y};
    if (!dc->pen || dc->pen->style == PS_NULL)
        return TRUE;
    Target t = TargetOf(dc);
    if (!t.valid)
        return FALSE;
    const int half = (dc->pen->width - 1) / 2;
    int ddx = std::abs(x - x0), sx = x0 < x ? 1 : -1;
    int ddy = -std::abs(y - y0), sy = y0 < y ? 1 : -1;
    int err = ddx + ddy;
    while (!(x0 == x && y0 == y)) {
        if (dc->pen->width <= 1)
            PutPixel(t, x0, y0, dc->pen->colour);
        else
            FillTarget(t, {x0 - half, y0 - half, x0 - half + dc->pen->width, y0 - half + dc->pen->width},
                       dc->pen->colour);
        int e2 = 2 * err;
        if (e2 >= ddy) {
            err += ddy;
            x0 += sx;
        }
        if (e2 <= ddx) {
            err += ddx;
            y0 += sy;
        }
    }
    Done(t);
    return TRUE;
}

COLORREF GetPixel(HDC handle, int x, int y)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Target t = TargetOf(LookupDc(handle));
    if (!t.valid || x < t.clip.left || x >= t.clip.right || y < t.clip.top || y >= t.clip.bottom)
        return CLR_INVALID;
    int px = x + t.origin.x, py = y + t.origin.y;
    if (t.mono)
        return t.bits[static_cast<size_t>(py) * t.width + px] ? 0xFFFFFF : 0x000000;
    return ToColorRef(t.colour[static_cast<size_t>(py) * t.stride + px] & 0xFFFFFF);
}

COLORREF SetPixel(HDC handle, int x, int y, COLORREF colour)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Target t = TargetOf(LookupDc(handle));
    if (!t.valid || x < t.clip.left || x >= t.clip.right || y < t.clip.top || y >= t.clip.bottom)
        return CLR_INVALID;
    PutPixel(t, x, y, colour);
    Done(t);
    return t.mono ? (MonoOf(colour) ? 0xFFFFFF : 0) : (colour & 0xFFFFFF);
}
