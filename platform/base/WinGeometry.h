// Points, sizes and rectangles: the Win32 records and the framework's
// CPoint, CSize and CRect over them. Shared by the window and drawing layers.
#pragma once

#include "platform/base/WinTypes.h"

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT, *LPPOINT;

typedef struct tagSIZE {
    LONG cx;
    LONG cy;
} SIZE, *LPSIZE;

typedef struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT, *LPRECT;
typedef const RECT* LPCRECT;

BOOL SetRect(LPRECT rect, int left, int top, int right, int bottom);
BOOL SetRectEmpty(LPRECT rect);
BOOL CopyRect(LPRECT dst, const RECT* src);
BOOL IsRectEmpty(const RECT* rect);
BOOL EqualRect(const RECT* a, const RECT* b);
BOOL PtInRect(const RECT* rect, POINT pt);
BOOL OffsetRect(LPRECT rect, int dx, int dy);
BOOL InflateRect(LPRECT rect, int dx, int dy);
// FALSE and an empty result when the two do not overlap.
BOOL IntersectRect(LPRECT dst, const RECT* a, const RECT* b);
// The smallest rectangle holding both; an empty one counts as nothing.
BOOL UnionRect(LPRECT dst, const RECT* a, const RECT* b);

class CPoint : public tagPOINT {
public:
    CPoint()
    {
        x = 0;
        y = 0;
    }
    CPoint(int ix, int iy)
    {
        x = ix;
        y = iy;
    }
    CPoint(POINT p)
    {
        x = p.x;
        y = p.y;
    }
    // From a message's lParam: x in the low word, y in the high word, signed.
    explicit CPoint(LPARAM l)
    {
        x = static_cast<short>(l & 0xffff);
        y = static_cast<short>((l >> 16) & 0xffff);
    }
    void Offset(int dx, int dy)
    {
        x += dx;
        y += dy;
    }
    bool operator==(POINT p) const { return x == p.x && y == p.y; }
    bool operator!=(POINT p) const { return !(*this == p); }
    CPoint operator+(POINT p) const { return CPoint(x + p.x, y + p.y); }
    CPoint operator-(POINT p) const { return CPoint(x - p.x, y - p.y); }
};

class CSize : public tagSIZE {
public:
    CSize()
    {
        cx = 0;
        cy = 0;
    }
    CSize(int w, int h)
    {
        cx = w;
        cy = h;
    }
    CSize(SIZE s)
    {
        cx = s.cx;
        cy = s.cy;
    }
    bool operator==(SIZE s) const { return cx == s.cx && cy == s.cy; }
    bool operator!=(SIZE s) const { return !(*this == s); }
};

class CRect : public tagRECT {
public:
    CRect() { left = top = right = bottom = 0; }
    CRect(int l, int t, int r, int b)
    {
        left = l;
        top = t;
        right = r;
        bottom = b;
    }
    CRect(const RECT& r)
    {
        left = r.left;
        top = r.top;
        right = r.right;
        bottom = r.bottom;
    }
    CRect(const RECT* r)
    {
        left = r->left;
        top = r->top;
        right = r->right;
        bottom = r->bottom;
    }
    CRect(POINT topLeft, SIZE size)
    {
        left = topLeft.x;
        top = topLeft.y;
        right = left + size.cx;
        bottom = top + size.cy;
    }

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    CPoint TopLeft() const { return CPoint(left, top); }
    BOOL IsRectEmpty() const { return ::IsRectEmpty(this); }
    BOOL PtInRect(POINT p) const { return ::PtInRect(this, p); }
    void SetRect(int l, int t, int r, int b) { ::SetRect(this, l, t, r, b); }
    void SetRectEmpty() { ::SetRectEmpty(this); }
    void CopyRect(const RECT* src) { ::CopyRect(this, src); }
    BOOL EqualRect(const RECT* other) const { return ::EqualRect(this, other); }
    void OffsetRect(int dx, int dy) { ::OffsetRect(this, dx, dy); }
    void OffsetRect(POINT p) { ::OffsetRect(this, p.x, p.y); }
    void OffsetRect(SIZE s) { ::OffsetRect(this, s.cx, s.cy); }
    void InflateRect(int dx, int dy) { ::InflateRect(this, dx, dy); }
    void DeflateRect(int dx, int dy) { ::InflateRect(this, -dx, -dy); }
    BOOL IntersectRect(const RECT* a, const RECT* b) { return ::IntersectRect(this, a, b); }
    BOOL UnionRect(const RECT* a, const RECT* b) { return ::UnionRect(this, a, b); }

    operator LPRECT() { return this; }
    operator LPCRECT() const { return this; }
    bool operator==(const RECT& r) const { return ::EqualRect(this, &r) != 0; }
    bool operator!=(const RECT& r) const { return !(*this == r); }
    CRect& operator=(const RECT& r)
    {
        ::CopyRect(this, &r);
        return *this;
    }
};
