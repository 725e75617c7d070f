// Drawing: device contexts, bitmaps, pens, brushes, fonts and the painting
// calls of GDI, with the framework's CDC, CGdiObject and its kinds over them.
// Device contexts draw into software surfaces, so every picture the program
// paints can be checked without a display.
#pragma once

#include "platform/base/WinGeometry.h"
#include "platform/base/WinTypes.h"
#include "platform/strings/CString.h"

// ---- Raster operations of BitBlt
#define SRCCOPY 0x00CC0020u
#define SRCPAINT 0x00EE0086u
#define SRCAND 0x008800C6u
#define SRCINVERT 0x00660046u
#define NOTSRCCOPY 0x00330008u
#define BLACKNESS 0x00000042u
#define WHITENESS 0x00FF0062u

// ---- Background modes
#define TRANSPARENT 1
#define OPAQUE 2

// ---- Stock objects
#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define HOLLOW_BRUSH NULL_BRUSH
#define WHITE_PEN 6
#define BLACK_PEN 7
#define NULL_PEN 8
#define SYSTEM_FONT 13
#define DEFAULT_GUI_FONT 17

// ---- Pens
#define PS_SOLID 0
#define PS_NULL 5

// ---- Fonts
#define FW_DONTCARE 0
#define FW_NORMAL 400
#define FW_SEMIBOLD 600
#define FW_BOLD 700
#define ANSI_CHARSET 0
#define DEFAULT_CHARSET 1
#define OUT_DEFAULT_PRECIS 0
#define CLIP_DEFAULT_PRECIS 0
#define DEFAULT_QUALITY 0
#define DEFAULT_PITCH 0
#define FIXED_PITCH 1
#define VARIABLE_PITCH 2
#define FF_DONTCARE (0 << 4)
#define FF_ROMAN (1 << 4)
#define FF_SWISS (2 << 4)
#define FF_MODERN (3 << 4)
#define LF_FACESIZE 32

// ---- DrawText
#define DT_TOP 0x0000
#define DT_LEFT 0x0000
#define DT_CENTER 0x0001
#define DT_RIGHT 0x0002
#define DT_VCENTER 0x0004
#define DT_BOTTOM 0x0008
#define DT_WORDBREAK 0x0010
#define DT_SINGLELINE 0x0020
#define DT_EXPANDTABS 0x0040
#define DT_NOCLIP 0x0100
#define DT_CALCRECT 0x0400
#define DT_NOPREFIX 0x0800

// ---- DrawState
#define DST_ICON 0x0003
#define DSS_NORMAL 0x0000
#define DSS_DISABLED 0x0020

// ---- GetObject types
#define OBJ_PEN 1
#define OBJ_BRUSH 2
#define OBJ_DC 3
#define OBJ_FONT 6
#define OBJ_BITMAP 7
#define OBJ_MEMDC 10

// Clip box results.
#define NULLREGION 1
#define SIMPLEREGION 2
#define ERROR_REGION 0

#define CLR_INVALID 0xFFFFFFFFu

// ---- System colours (the classic Windows scheme) and metrics
#define COLOR_SCROLLBAR 0
#define COLOR_BACKGROUND 1
#define COLOR_WINDOW 5
#define COLOR_WINDOWTEXT 8
#define COLOR_BTNFACE 15
#define COLOR_3DFACE COLOR_BTNFACE
#define COLOR_BTNSHADOW 16
#define COLOR_3DSHADOW COLOR_BTNSHADOW
#define COLOR_GRAYTEXT 17
#define COLOR_BTNTEXT 18
#define COLOR_BTNHIGHLIGHT 20
#define COLOR_3DHIGHLIGHT COLOR_BTNHIGHLIGHT
#define COLOR_3DDKSHADOW 21
#define COLOR_3DLIGHT 22
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define SM_CXICON 11
#define SM_CYICON 12
#define SM_CXSMICON 49
#define SM_CYSMICON 50

DWORD GetSysColor(int index);
int GetSystemMetrics(int index);

// ---- Records
typedef struct tagBITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
} BITMAP, *LPBITMAP;

typedef struct tagLOGFONTA {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    CHAR lfFaceName[LF_FACESIZE];
} LOGFONTA, LOGFONT, *LPLOGFONTA, *LPLOGFONT;

typedef struct tagLOGPEN {
    UINT lopnStyle;
    POINT lopnWidth;
    COLORREF lopnColor;
} LOGPEN;

typedef struct tagLOGBRUSH {
    UINT lbStyle;
    COLORREF lbColor;
    ULONG_PTR lbHatch;
} LOGBRUSH;
#define BS_SOLID 0
#define BS_NULL 1

typedef struct tagTEXTMETRICA {
    LONG tmHeight;
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading;
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
} TEXTMETRICA, TEXTMETRIC, *LPTEXTMETRICA;

// ---- Win32 functions
HDC CreateCompatibleDC(HDC reference);  // null: compatible with the screen
BOOL DeleteDC(HDC dc);
// The client area of a window (through the window layer's surfaces); null
// gives a DC of the screen.
HDC GetDC(HWND hwnd);
int ReleaseDC(HWND hwnd, HDC dc);

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
BOOL DeleteObject(HGDIOBJ object);
HGDIOBJ GetStockObject(int index);
int GetObjectA(HGDIOBJ object, int size, LPVOID buffer);
#define GetObject GetObjectA

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits);
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
HBRUSH CreateSolidBrush(COLORREF colour);
HPEN CreatePen(int style, int width, COLORREF colour);
HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic, DWORD underline,
                  DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                  DWORD pitchAndFamily, LPCSTR face);
#define CreateFont CreateFontA
HFONT CreateFontIndirectA(const LOGFONTA* font);

COLORREF SetTextColor(HDC dc, COLORREF colour);
COLORREF SetBkColor(HDC dc, COLORREF colour);
int SetBkMode(HDC dc, int mode);

BOOL BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, DWORD rop);
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
int FrameRect(HDC dc, const RECT* rect, HBRUSH brush);
BOOL MoveToEx(HDC dc, int x, int y, LPPOINT previous);
BOOL LineTo(HDC dc, int x, int y);
COLORREF GetPixel(HDC dc, int x, int y);
COLORREF SetPixel(HDC dc, int x, int y, COLORREF colour);
int GetClipBox(HDC dc, LPRECT rect);

BOOL TextOutA(HDC dc, int x, int y, LPCSTR text, int length);
#define TextOut TextOutA
int DrawTextA(HDC dc, LPCSTR text, int length, LPRECT rect, UINT format);
#define DrawText DrawTextA
BOOL GetTextExtentPoint32A(HDC dc, LPCSTR text, int length, LPSIZE size);
#define GetTextExtentPoint32 GetTextExtentPoint32A
BOOL GetTextMetricsA(HDC dc, LPTEXTMETRICA metrics);
#define GetTextMetrics GetTextMetricsA

BOOL DrawIcon(HDC dc, int x, int y, HICON icon);
typedef BOOL (*DRAWSTATEPROC)(HDC, LPARAM, WPARAM, int, int);
BOOL DrawStateA(HDC dc, HBRUSH brush, DRAWSTATEPROC proc, LPARAM data, WPARAM wData, int x, int y, int width,
                int height, UINT flags);
#define DrawState DrawStateA
BOOL DestroyIcon(HICON icon);
// A bitmap of the program's resources (platform/gdi/GdiResources.h).
HBITMAP LoadBitmapA(HINSTANCE instance, LPCSTR name);
#define LoadBitmap LoadBitmapA
BOOL DestroyCursor(HCURSOR cursor);

// ---- The framework's drawing objects
class CGdiObject {
public:
    CGdiObject() = default;
    virtual ~CGdiObject();
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;

    HGDIOBJ m_hObject = nullptr;

    operator HGDIOBJ() const { return m_hObject; }
    BOOL Attach(HGDIOBJ object);
    HGDIOBJ Detach();
    BOOL DeleteObject();
    int GetObject(int size, LPVOID buffer) const;
    // The permanent object attached to the handle, else a temporary one
    // that lives as long as the handle.
    static CGdiObject* FromHandle(HGDIOBJ object);
};

class CPen : public CGdiObject {
public:
    CPen() = default;
    CPen(int style, int width, COLORREF colour) { CreatePen(style, width, colour); }
    BOOL CreatePen(int style, int width, COLORREF colour);
    operator HPEN() const { return reinterpret_cast<HPEN>(m_hObject); }
    static CPen* FromHandle(HPEN pen)
    {
        return static_cast<CPen*>(CGdiObject::FromHandle(reinterpret_cast<HGDIOBJ>(pen)));
    }
};

class CBrush : public CGdiObject {
public:
    CBrush() = default;
    explicit CBrush(COLORREF colour) { CreateSolidBrush(colour); }
    BOOL CreateSolidBrush(COLORREF colour);
    operator HBRUSH() const { return reinterpret_cast<HBRUSH>(m_hObject); }
    static CBrush* FromHandle(HBRUSH brush)
    {
        return static_cast<CBrush*>(CGdiObject::FromHandle(reinterpret_cast<HGDIOBJ>(brush)));
    }
};

class CFont : public CGdiObject {
public:
    BOOL CreateFont(int height, int width, int escapement, int orientation, int weight, BYTE italic, BYTE underline,
                    BYTE strikeOut, BYTE charSet, BYTE outPrecision, BYTE clipPrecision, BYTE quality,
                    BYTE pitchAndFamily, LPCSTR face);
    operator HFONT() const { return reinterpret_cast<HFONT>(m_hObject); }
    static CFont* FromHandle(HFONT font)
    {
        return static_cast<CFont*>(CGdiObject::FromHandle(reinterpret_cast<HGDIOBJ>(font)));
    }
};

class CDC;

class CBitmap : public CGdiObject {
public:
    BOOL LoadBitmap(UINT id);
    BOOL LoadBitmap(LPCSTR name);
    BOOL CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits);
    BOOL CreateCompatibleBitmap(CDC* dc, int width, int height);
    int GetBitmap(BITMAP* bitmap) const { return GetObject(sizeof(BITMAP), bitmap); }
    operator HBITMAP() const { return reinterpret_cast<HBITMAP>(m_hObject); }
    static CBitmap* FromHandle(HBITMAP bitmap)
    {
        return static_cast<CBitmap*>(CGdiObject::FromHandle(reinterpret_cast<HGDIOBJ>(bitmap)));
    }
};

class CDC {
public:
    CDC() = default;
    virtual ~CDC();
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    HDC m_hDC = nullptr;
    HDC m_hAttribDC = nullptr;

    operator HDC() const { return m_hDC; }
    HDC GetSafeHdc() const { return m_hDC; }
    BOOL Attach(HDC dc);
    HDC Detach();
    static CDC* FromHandle(HDC dc);

    BOOL CreateCompatibleDC(CDC* reference);
    BOOL DeleteDC();

    CGdiObject* SelectObject(CGdiObject* object);
    CPen* SelectObject(CPen* pen) { return static_cast<CPen*>(SelectObject(static_cast<CGdiObject*>(pen))); }
    CBrush* SelectObject(CBrush* brush) { return static_cast<CBrush*>(SelectObject(static_cast<CGdiObject*>(brush))); }
    CFont* SelectObject(CFont* font) { return static_cast<CFont*>(SelectObject(static_cast<CGdiObject*>(font))); }
    CBitmap* SelectObject(CBitmap* bitmap)
    {
        return static_cast<CBitmap*>(SelectObject(static_cast<CGdiObject*>(bitmap)));
    }
    CGdiObject* SelectStockObject(int index);

    COLORREF SetTextColor(COLORREF colour) { return ::SetTextColor(m_hDC, colour); }
    COLORREF SetBkColor(COLORREF colour) { return ::SetBkColor(m_hDC, colour); }
    int SetBkMode(int mode) { return ::SetBkMode(m_hDC, mode); }
    int GetClipBox(LPRECT rect) const { return ::GetClipBox(m_hDC, rect); }

    BOOL BitBlt(int x, int y, int width, int height, CDC* src, int srcX, int srcY, DWORD rop);
    void FillRect(LPCRECT rect, CBrush* brush);
    void FrameRect(LPCRECT rect, CBrush* brush);
    // Sets the background colour to the colour, as the framework does.
    void FillSolidRect(LPCRECT rect, COLORREF colour);
    void FillSolidRect(int x, int y, int width, int height, COLORREF colour);
    void Draw3dRect(LPCRECT rect, COLORREF topLeft, COLORREF bottomRight);
    void Draw3dRect(int x, int y, int width, int height, COLORREF topLeft, COLORREF bottomRight);
    CPoint MoveTo(int x, int y);
    CPoint MoveTo(POINT point) { return MoveTo(point.x, point.y); }
    BOOL LineTo(int x, int y) { return ::LineTo(m_hDC, x, y); }
    BOOL LineTo(POINT point) { return LineTo(point.x, point.y); }
    COLORREF GetPixel(int x, int y) const { return ::GetPixel(m_hDC, x, y); }
    COLORREF SetPixel(int x, int y, COLORREF colour) { return ::SetPixel(m_hDC, x, y, colour); }

    BOOL TextOut(int x, int y, LPCSTR text, int length) { return ::TextOutA(m_hDC, x, y, text, length); }
    BOOL TextOut(int x, int y, const CString& text) { return TextOut(x, y, text, text.GetLength()); }
    int DrawText(LPCSTR text, int length, LPRECT rect, UINT format)
    {
        return ::DrawTextA(m_hDC, text, length, rect, format);
    }
    int DrawText(const CString& text, LPRECT rect, UINT format)
    {
        return DrawText(text, text.GetLength(), rect, format);
    }
    CSize GetTextExtent(LPCSTR text, int length) const;
    CSize GetTextExtent(const CString& text) const { return GetTextExtent(text, text.GetLength()); }
    BOOL GetTextMetrics(LPTEXTMETRICA metrics) const { return ::GetTextMetricsA(m_hDC, metrics); }

    BOOL DrawIcon(int x, int y, HICON icon) { return ::DrawIcon(m_hDC, x, y, icon); }
    BOOL DrawIcon(POINT point, HICON icon) { return DrawIcon(point.x, point.y, icon); }
    BOOL DrawState(CPoint point, CSize size, HICON icon, UINT flags, HBRUSH brush = nullptr);
    BOOL DrawState(CPoint point, CSize size, HICON icon, UINT flags, CBrush* brush)
    {
        return DrawState(point, size, icon, flags, brush ? static_cast<HBRUSH>(*brush) : nullptr);
    }
};

// The window layer begins and ends the paint cycle and gives the DCs of a
// window's client area (platform/gdi/WindowSurface.h).
namespace zq {
namespace gdi {
HDC BeginWindowPaint(HWND hwnd, RECT* paintRect);
void EndWindowPaint(HWND hwnd, HDC dc);
}  // namespace gdi
}  // namespace zq

// The paint DC of a window: opened in the window's WM_PAINT handler, it
// validates the window and draws into its client area.
class CPaintDC : public CDC {
public:
    template <class Wnd>
    explicit CPaintDC(Wnd* wnd) : CPaintDC(wnd ? wnd->GetSafeHwnd() : static_cast<HWND>(nullptr), 0)
    {
    }
    ~CPaintDC() override;
    HWND m_hWnd = nullptr;
    RECT m_rcPaint = {0, 0, 0, 0};

private:
    CPaintDC(HWND hwnd, int);
};

// A DC of a window's client area, for drawing outside WM_PAINT.
class CClientDC : public CDC {
public:
    template <class Wnd>
    explicit CClientDC(Wnd* wnd) : CClientDC(wnd ? wnd->GetSafeHwnd() : static_cast<HWND>(nullptr), 0)
    {
    }
    ~CClientDC() override;
    HWND m_hWnd = nullptr;

private:
    CClientDC(HWND hwnd, int);
};
