// The objects behind the drawing handles. Only platform/gdi uses this header.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/gdi/Gdi.h"

class CGdiObject;
class CDC;

namespace zq {
namespace gdi {

enum class Kind { Pen, Brush, Font, Bitmap, Dc, Icon };

struct Object {
    explicit Object(Kind k) : kind(k) {}
    virtual ~Object() = default;
    Kind kind;
    bool stock = false;
    CGdiObject* permanent = nullptr;  // the framework object attached to it
    CGdiObject* temporary = nullptr;  // the wrapper FromHandle made
};

struct Pen : Object {
    Pen() : Object(Kind::Pen) {}
    int style = PS_SOLID;
    int width = 1;
    COLORREF colour = 0;
};

struct Brush : Object {
    Brush() : Object(Kind::Brush) {}
    bool null = false;
    COLORREF colour = 0;
};

struct Font : Object {
    Font() : Object(Kind::Font) {}
    ~Font() override;
    LOGFONTA log = {};
    // Resolved on first use.
    bool resolved = false;
    cairo_scaled_font_t* scaled = nullptr;  // the layout: advances and extents
    cairo_scaled_font_t* drawn = nullptr;   // the glyphs drawn; may be `scaled`
    int ascent = 0;
    int descent = 0;
    int height = 0;  // cell height: the line height
    int em = 0;      // character height
    int aveCharWidth = 0;
    int maxCharWidth = 0;
};

struct Dc;
struct Bitmap : Object {
    Bitmap() : Object(Kind::Bitmap) {}
    ~Bitmap() override;
    int width = 0;
    int height = 0;
    bool mono = false;
    std::vector<uint8_t> bits;           // monochrome: one byte (0 or 1) per pixel
    cairo_surface_t* surface = nullptr;  // colour: an RGB24 image surface
    Dc* selectedIn = nullptr;
};

struct Icon : Object {
    Icon() : Object(Kind::Icon) {}
    int width = 0;
    int height = 0;
    std::vector<uint32_t> argb;  // premultiplied is not used: straight alpha
};

struct Dc : Object {
    Dc() : Object(Kind::Dc) {}
    ~Dc() override;
    bool memory = false;
    HWND window = nullptr;  // a window's DC
    cairo_surface_t* windowSurface = nullptr;
    POINT origin = {0, 0};     // DC (0, 0) on the window surface
    RECT clip = {0, 0, 0, 0};  // DC coordinates
    Bitmap* bitmap = nullptr;  // memory DCs
    Pen* pen = nullptr;
    Brush* brush = nullptr;
    Font* font = nullptr;
    COLORREF textColour = 0x000000;
    COLORREF bkColour = 0xFFFFFF;
    int bkMode = OPAQUE;
    POINT pos = {0, 0};
    CDC* permanent = nullptr;
    CDC* temporary = nullptr;
};

// All live objects; handles are checked against it, so a stale or foreign
// handle is refused instead of followed.
std::recursive_mutex& Lock();
void Register(Object* object);
Object* Lookup(const void* handle);
template <class T>
T* LookupAs(const void* handle, Kind kind)
{
    Object* o = Lookup(handle);
    return o && o->kind == kind ? static_cast<T*>(o) : nullptr;
}
Dc* LookupDc(HDC dc);
// Unregisters and deletes; the framework wrappers let go of the handle.
void Destroy(Object* object);

Bitmap* NewBitmap(int width, int height, bool mono);
Bitmap* DefaultBitmap();  // the 1 x 1 monochrome bitmap of a new memory DC
Font* DefaultFont();

// A drawing target resolved from a DC: pixels, size and clip.
struct Target {
    bool valid = false;
    bool mono = false;
    uint32_t* colour = nullptr;  // 0x00RRGGBB per pixel
    int stride = 0;              // in pixels
    uint8_t* bits = nullptr;     // monochrome
    int width = 0, height = 0;   // of the pixel store
    POINT origin = {0, 0};       // DC (0, 0) in the pixel store
    RECT clip = {0, 0, 0, 0};    // DC coordinates
    cairo_surface_t* surface = nullptr;
};
Target TargetOf(Dc* dc);
void Done(const Target& t);  // marks a cairo surface dirty

inline uint32_t ToPixel(COLORREF c)
{
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}
inline COLORREF ToColorRef(uint32_t p)
{
    return ((p >> 16) & 0xFF) | (p & 0xFF00) | ((p & 0xFF) << 16);
}
// The monochrome bit a colour gives when drawn on a monochrome bitmap.
inline uint8_t MonoOf(COLORREF c)
{
    return (GetRValue(c) + GetGValue(c) + GetBValue(c)) >= 3 * 128 ? 1 : 0;
}

// Lays a colour (0x00RRGGBB) with a coverage of 0 to 255 over one pixel of
// the store (store coordinates, inside it). A monochrome store takes the
// colour's bit where the coverage is at least half.
inline void BlendPixel(const Target& t, int sx, int sy, uint32_t colour, unsigned alpha)
{
    if (!alpha)
        return;
    if (t.mono) {
        if (alpha >= 128)
            t.bits[static_cast<size_t>(sy) * t.width + sx] = MonoOf(ToColorRef(colour));
        return;
    }
    uint32_t& p = t.colour[static_cast<size_t>(sy) * t.stride + sx];
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        unsigned d = (p >> shift) & 0xFF, s = (colour >> shift) & 0xFF;
        out |= ((d * (255 - alpha) + s * alpha + 127) / 255) << shift;
    }
    p = 0xFF000000u | out;
}

// Fills a rectangle in DC coordinates, clipped.
void FillPixels(Dc* dc, RECT r, COLORREF colour);

// Text: an alpha coverage of the text for blending.
bool ResolveFont(Font* font);
int TextWidth(Font* font, const std::string& cp1252);
void DrawTextLine(Dc* dc, int x, int y, const std::string& cp1252, const RECT* clip);

}  // namespace gdi
}  // namespace zq
