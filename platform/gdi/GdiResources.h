// The program's pictures, icon and strings as resources: the resource area
// registers them at start, LoadBitmap, LoadImageA, LoadIconA and LoadStringA
// find them by id. There is one resource module, so the instance handle
// passed to the loaders is not looked at.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/gdi/Gdi.h"

#ifndef MAKEINTRESOURCE
#define MAKEINTRESOURCEA(i) (reinterpret_cast<LPSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#define MAKEINTRESOURCE MAKEINTRESOURCEA
#endif
#ifndef IS_INTRESOURCE
#define IS_INTRESOURCE(r) ((reinterpret_cast<ULONG_PTR>(r) >> 16) == 0)
#endif

#ifndef ERROR_RESOURCE_NAME_NOT_FOUND
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L
#endif

#define IMAGE_BITMAP 0
#define IMAGE_ICON 1
#define IMAGE_CURSOR 2
#define LR_DEFAULTCOLOR 0x00000000
#define LR_LOADTRANSPARENT 0x00000020
#define LR_DEFAULTSIZE 0x00000040
#define LR_SHARED 0x00008000

HANDLE LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int width, int height, UINT flags);
#define LoadImage LoadImageA
// Icons from LoadIconA are shared: they stay until the process ends.
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
#define LoadIcon LoadIconA
// Copies the string into the buffer (cut to fit, NUL-terminated) and returns
// its length; 0 when there is no such string.
int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int bufferSize);
#define LoadString LoadStringA

// The module that holds the program's resources.
HINSTANCE AfxGetResourceHandle();

namespace zq {
namespace gdi {

// A picture's pixels as 0xAARRGGBB, rows top-down; made on first use.
// Bitmaps ignore the alpha; icons use it.
typedef std::vector<uint32_t> (*PixelMaker)();
void RegisterBitmapResource(UINT id, int width, int height, PixelMaker make);
void RegisterIconResource(UINT id, int width, int height, PixelMaker make);
void RegisterStringResource(UINT id, const char* text);
// An icon from pixels, owned by the caller (DestroyIcon).
HICON CreateIconFromPixels(int width, int height, const std::vector<uint32_t>& argb);

}  // namespace gdi
}  // namespace zq
