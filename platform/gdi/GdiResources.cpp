// The resource registry and its loaders.
#include "platform/gdi/GdiResources.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "platform/gdi/GdiInternal.h"

namespace zq {
namespace gdi {

namespace {

struct Picture {
    int width = 0, height = 0;
    PixelMaker make = nullptr;
    std::vector<uint32_t> pixels;  // once made
    bool made = false;
    HICON shared = nullptr;  // icons: the one LoadIconA hands out
};

struct Registry {
    std::map<UINT, Picture> bitmaps, icons;
    std::map<UINT, std::string> strings;
};

Registry& Reg()
{
    static auto* r = new Registry();
    return *r;
}

const std::vector<uint32_t>* PixelsOf(Picture& p)
{
    if (!p.made) {
        p.made = true;
        if (p.make)
            p.pixels = p.make();
    }
    if (p.pixels.size() != static_cast<size_t>(p.width) * p.height)
        return nullptr;
    return &p.pixels;
}

// Resource names are ids (MAKEINTRESOURCE) or "#123".
bool IdOf(LPCSTR name, UINT* id)
{
    if (!name)
        return false;
    if (IS_INTRESOURCE(name)) {
        *id = static_cast<UINT>(reinterpret_cast<ULONG_PTR>(name));
        return true;
    }
    if (name[0] == '#') {
        char* end = nullptr;
        unsigned long v = std::strtoul(name + 1, &end, 10);
        if (end && *end == 0 && v <= 0xFFFF) {
            *id = static_cast<UINT>(v);
            return true;
        }
    }
    return false;
}

HBITMAP BitmapFromPixels(int width, int height, const std::vector<uint32_t>& px)
{
    HBITMAP h = ::CreateBitmap(width, height, 1, 32, nullptr);
    Bitmap* b = LookupAs<Bitmap>(h, Kind::Bitmap);
    if (!b)
        return nullptr;
    cairo_surface_flush(b->surface);
    auto* data = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(b->surface));
    int stride = cairo_image_surface_get_stride(b->surface) / 4;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            data[y * stride + x] = 0xFF000000u | (px[static_cast<size_t>(y) * width + x] & 0xFFFFFF);
    cairo_surface_mark_dirty(b->surface);
    return h;
}

// A picture of that size, not drawn yet: it is made on its first use.
Picture NewPicture(int width, int height, PixelMaker make)
{
    Picture p;
    p.width = width;
    p.height = height;
    p.make = make;
    return p;
}

}  // namespace

void RegisterBitmapResource(UINT id, int width, int height, PixelMaker make)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Reg().bitmaps[id] = NewPicture(width, height, make);
}

void RegisterIconResource(UINT id, int width, int height, PixelMaker make)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Reg().icons[id] = NewPicture(width, height, make);
}

void RegisterStringResource(UINT id, const char* text)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Reg().strings[id] = text ? text : "";
}

HICON CreateIconFromPixels(int width, int height, const std::vector<uint32_t>& argb)
{
    if (width <= 0 || height <= 0 || argb.size() != static_cast<size_t>(width) * height)
        return nullptr;
    auto* icon = new Icon();
    icon->width = width;
    icon->height = height;
    icon->argb = argb;
    Register(icon);
    return reinterpret_cast<HICON>(static_cast<Object*>(icon));
}

}  // namespace gdi
}  // namespace zq

using namespace zq::gdi;

HBITMAP LoadBitmapA(HINSTANCE, LPCSTR name)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    UINT id = 0;
    if (!IdOf(name, &id)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    auto it = Reg().bitmaps.find(id);
    if (it == Reg().bitmaps.end()) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    // Each load gets its own bitmap, so the decoded pixels are not kept:
    // the background alone would hold 1.3 MB for the program's whole life.
    Picture& p = it->second;
    std::vector<uint32_t> made;
    const std::vector<uint32_t>* px = &p.pixels;
    if (p.make) {
        made = p.make();
        px = &made;
    }
    if (px->size() != static_cast<size_t>(p.width) * p.height) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return BitmapFromPixels(p.width, p.height, *px);
}

HICON LoadIconA(HINSTANCE, LPCSTR name)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    UINT id = 0;
    if (!IdOf(name, &id))
        return nullptr;
    auto it = Reg().icons.find(id);
    if (it == Reg().icons.end()) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    Picture& p = it->second;
    if (!p.shared) {
        const std::vector<uint32_t>* px = PixelsOf(p);
        if (!px)
            return nullptr;
        p.shared = CreateIconFromPixels(p.width, p.height, *px);
        if (Object* o = Lookup(p.shared))
            o->stock = true;
    }
    return p.shared;
}

HANDLE LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int, int, UINT flags)
{
    if (type == IMAGE_BITMAP)
        return LoadBitmapA(instance, name);
    if (type == IMAGE_ICON || type == IMAGE_CURSOR) {
        HICON shared = LoadIconA(instance, name);
        if (!shared || (flags & LR_SHARED))
            return shared;
        // Not shared: a copy the caller destroys.
        std::lock_guard<std::recursive_mutex> g(Lock());
        Icon* icon = LookupAs<Icon>(shared, Kind::Icon);
        return icon ? CreateIconFromPixels(icon->width, icon->height, icon->argb) : nullptr;
    }
    return nullptr;
}

int LoadStringA(HINSTANCE, UINT id, LPSTR buffer, int bufferSize)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    if (!buffer || bufferSize <= 0)
        return 0;
    auto it = Reg().strings.find(id);
    if (it == Reg().strings.end()) {
        buffer[0] = 0;
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    size_t n = std::min(it->second.size(), static_cast<size_t>(bufferSize - 1));
    std::memcpy(buffer, it->second.data(), n);
    buffer[n] = 0;
    return static_cast<int>(n);
}

HINSTANCE AfxGetResourceHandle()
{
    // One module holds everything; any non-null value names it.
    static char module;
    return reinterpret_cast<HINSTANCE>(&module);
}

BOOL CBitmap::LoadBitmap(UINT id)
{
    return Attach(::LoadBitmapA(nullptr, MAKEINTRESOURCE(id)));
}

BOOL CBitmap::LoadBitmap(LPCSTR name)
{
    return Attach(::LoadBitmapA(nullptr, name));
}
