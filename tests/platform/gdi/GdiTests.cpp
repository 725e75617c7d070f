// Drawing into memory DCs, checked pixel by pixel.
#include <gtest/gtest.h>

#include <cairo.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/gdi/Gdi.h"
#include "platform/gdi/GdiResources.h"
#include "platform/gdi/GdiTesting.h"
#include "platform/gdi/WindowSurface.h"
#include "tests/support/HostFacts.h"
#include "tests/support/ScopedSeam.h"

namespace {

const COLORREF kRed = RGB(255, 0, 0), kGreen = RGB(0, 255, 0), kBlue = RGB(0, 0, 255);
const COLORREF kWhite = RGB(255, 255, 255), kBlack = RGB(0, 0, 0);

// A colour memory DC with a bitmap of its own, filled with one colour.
struct Canvas {
    CDC dc;
    CBitmap bitmap;
    CBitmap* old = nullptr;
    Canvas(int w, int h, COLORREF fill = kWhite)
    {
        CDC screen;
        screen.Attach(::GetDC(nullptr));
        dc.CreateCompatibleDC(&screen);
        bitmap.CreateCompatibleBitmap(&screen, w, h);
        ::ReleaseDC(nullptr, screen.Detach());
        old = dc.SelectObject(&bitmap);
        dc.FillSolidRect(0, 0, w, h, fill);
        dc.SetBkColor(kWhite);
    }
    ~Canvas() { dc.SelectObject(old); }
    COLORREF At(int x, int y) { return dc.GetPixel(x, y); }
    // Columns of the row holding a colour other than the background.
    std::vector<int> Ink(int y, int w, COLORREF bg = kWhite)
    {
        std::vector<int> xs;
        for (int x = 0; x < w; ++x)
            if (At(x, y) != bg)
                xs.push_back(x);
        return xs;
    }
};

// Leftmost and rightmost inked column and top and bottom inked row, of
// whatever inked(x, y) looks at.
template <class Inked>
RECT InkBoxWhere(int w, int h, Inked inked)
{
    RECT r = {w, h, -1, -1};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (inked(x, y)) {
                r.left = std::min<LONG>(r.left, x);
                r.right = std::max<LONG>(r.right, x);
                r.top = std::min<LONG>(r.top, y);
                r.bottom = std::max<LONG>(r.bottom, y);
            }
    return r;
}

RECT InkBox(Canvas& c, int w, int h, COLORREF bg = kWhite)
{
    return InkBoxWhere(w, h, [&](int x, int y) { return c.At(x, y) != bg; });
}

TEST(GdiBitmaps, ColourToMonochromeAndBack)
{
    Canvas picture(4, 1);
    picture.dc.SetPixel(0, 0, kGreen);
    picture.dc.SetPixel(1, 0, kRed);
    picture.dc.SetPixel(2, 0, kGreen);
    picture.dc.SetPixel(3, 0, kBlack);

    CDC maskDc;
    maskDc.CreateCompatibleDC(nullptr);
    CBitmap mask;
    ASSERT_TRUE(mask.CreateBitmap(4, 1, 1, 1, nullptr));
    BITMAP bm = {};
    ASSERT_EQ(static_cast<int>(sizeof(BITMAP)), mask.GetBitmap(&bm));
    EXPECT_EQ(4, bm.bmWidth);
    EXPECT_EQ(1, bm.bmBitsPixel);
    CBitmap* oldMask = maskDc.SelectObject(&mask);

    // Colour -> monochrome: the source's background colour becomes white.
    picture.dc.SetBkColor(kGreen);
    ASSERT_TRUE(maskDc.BitBlt(0, 0, 4, 1, &picture.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(kWhite, maskDc.GetPixel(0, 0));
    EXPECT_EQ(kBlack, maskDc.GetPixel(1, 0));
    EXPECT_EQ(kWhite, maskDc.GetPixel(2, 0));
    EXPECT_EQ(kBlack, maskDc.GetPixel(3, 0));

    // Monochrome -> colour: white takes the destination's background
    // colour, black its text colour.
    Canvas out(4, 1);
    out.dc.SetBkColor(kBlue);
    out.dc.SetTextColor(kRed);
    ASSERT_TRUE(out.dc.BitBlt(0, 0, 4, 1, &maskDc, 0, 0, SRCCOPY));
    EXPECT_EQ(kBlue, out.At(0, 0));
    EXPECT_EQ(kRed, out.At(1, 0));
    maskDc.SelectObject(oldMask);
}

// The transparency of a picture with a key colour: the mask leaves the
// background where the key colour was and the picture elsewhere.
TEST(GdiBitmaps, MaskedPictureKeepsTheBackgroundUnderTheKeyColour)
{
    const int n = 3;
    Canvas picture(n, 1);
    picture.dc.SetPixel(0, 0, kGreen);  // the key
    picture.dc.SetPixel(1, 0, kRed);
    picture.dc.SetPixel(2, 0, RGB(10, 20, 30));
    CBitmap mask;
    ASSERT_TRUE(mask.CreateBitmap(n, 1, 1, 1, nullptr));
    CDC maskDc;
    maskDc.CreateCompatibleDC(nullptr);
    CBitmap* oldMask = maskDc.SelectObject(&mask);
    picture.dc.SetBkColor(kGreen);
    maskDc.BitBlt(0, 0, n, 1, &picture.dc, 0, 0, SRCCOPY);
    // Blacken the key colour in the picture.
    picture.dc.SetTextColor(kWhite);
    picture.dc.SetBkColor(kBlack);
    picture.dc.BitBlt(0, 0, n, 1, &maskDc, 0, 0, SRCAND);
    EXPECT_EQ(kBlack, picture.At(0, 0));
    EXPECT_EQ(kRed, picture.At(1, 0));

    Canvas target(n, 1, kBlue);
    target.dc.SetBkColor(kWhite);
    target.dc.SetTextColor(kBlack);
    target.dc.BitBlt(0, 0, n, 1, &maskDc, 0, 0, SRCAND);
    target.dc.BitBlt(0, 0, n, 1, &picture.dc, 0, 0, SRCPAINT);
    EXPECT_EQ(kBlue, target.At(0, 0));
    EXPECT_EQ(kRed, target.At(1, 0));
    EXPECT_EQ(RGB(10, 20, 30), target.At(2, 0));
    maskDc.SelectObject(oldMask);
}

TEST(GdiBitmaps, CompatibleBitmapOfAFreshMemoryDcIsMonochrome)
{
    CDC dc;
    dc.CreateCompatibleDC(nullptr);
    CBitmap b;
    ASSERT_TRUE(b.CreateCompatibleBitmap(&dc, 5, 5));
    BITMAP bm = {};
    b.GetBitmap(&bm);
    EXPECT_EQ(1, bm.bmBitsPixel);
}

TEST(GdiBitmaps, BadHandlesAndFailedCreationsAreRefused)
{
    BITMAP bm = {};
    HBITMAP h = ::CreateBitmap(2, 2, 1, 32, nullptr);
    ASSERT_NE(nullptr, h);
    EXPECT_TRUE(::DeleteObject(h));
    EXPECT_EQ(0, ::GetObjectA(h, sizeof(bm), &bm));  // gone
    EXPECT_FALSE(::DeleteObject(h));
    EXPECT_EQ(nullptr, ::SelectObject(nullptr, h));
    EXPECT_EQ(nullptr, ::CreateBitmap(-1, 4, 1, 1, nullptr));

    {
        const zqtest::ScopedSeam noMonochrome(zq::gdi::SetBitmapCreationFailureHook,
                                              [](int, int, int bpp) { return bpp == 1; });
        EXPECT_EQ(nullptr, ::CreateBitmap(17, 17, 1, 1, nullptr));
        EXPECT_NE(nullptr, h = ::CreateBitmap(17, 17, 1, 32, nullptr));
    }
    ::DeleteObject(h);
}

TEST(GdiBitmaps, ASelectedBitmapIsNotDeleted)
{
    CDC dc;
    dc.CreateCompatibleDC(nullptr);
    HBITMAP h = ::CreateBitmap(2, 2, 1, 32, nullptr);
    HGDIOBJ old = ::SelectObject(dc, h);
    EXPECT_FALSE(::DeleteObject(h));
    ::SelectObject(dc, old);
    EXPECT_TRUE(::DeleteObject(h));
}

TEST(GdiShapes, FrameRectDraw3dRectAndLineEndPoints)
{
    Canvas c(10, 10);
    CBrush black(kBlack);
    CRect r(1, 1, 5, 5);
    c.dc.FrameRect(&r, &black);
    EXPECT_EQ(kBlack, c.At(1, 1));
    EXPECT_EQ(kBlack, c.At(4, 4));
    EXPECT_EQ(kWhite, c.At(5, 5));
    EXPECT_EQ(kWhite, c.At(2, 2));
    // A one-pixel border inside the rectangle: every pixel of the columns
    // left and right - 1 and the rows top and bottom - 1 between them, and
    // nothing on the right or bottom edge or outside.
    Canvas g(12, 10);
    const RECT wide = {2, 1, 9, 6};
    ::FrameRect(g.dc, &wide, black);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 12; ++x) {
            const bool within = x >= wide.left && x < wide.right && y >= wide.top && y < wide.bottom;
            const bool border = within &&
                                (x == wide.left || x == wide.right - 1 || y == wide.top || y == wide.bottom - 1);
            EXPECT_EQ(border ? kBlack : kWhite, g.At(x, y)) << "at " << x << "," << y;
        }

    Canvas d(10, 10);
    CRect q(0, 0, 4, 4);
    d.dc.Draw3dRect(&q, kRed, kBlue);
    EXPECT_EQ(kRed, d.At(0, 0));
    EXPECT_EQ(kRed, d.At(2, 0));
    EXPECT_EQ(kBlue, d.At(3, 0));  // top-right corner: the second colour
    EXPECT_EQ(kBlue, d.At(0, 3));  // bottom-left corner too
    EXPECT_EQ(kBlue, d.At(3, 3));
    EXPECT_EQ(kWhite, d.At(1, 1));

    Canvas e(10, 10);
    CPen pen(PS_SOLID, 1, kRed);
    CPen* oldPen = e.dc.SelectObject(&pen);
    e.dc.MoveTo(1, 2);
    e.dc.LineTo(6, 2);
    e.dc.LineTo(6, 8);
    e.dc.SelectObject(oldPen);
    EXPECT_EQ(kRed, e.At(1, 2));
    EXPECT_EQ(kRed, e.At(6, 2));  // drawn as the start of the second line
    EXPECT_EQ(kRed, e.At(6, 7));
    EXPECT_EQ(kWhite, e.At(6, 8));  // the end point is not drawn
    EXPECT_EQ(kWhite, e.At(0, 2));

    // NULL_BRUSH fills nothing.
    Canvas f(4, 4);
    ::FillRect(f.dc, CRect(0, 0, 4, 4), static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH)));
    EXPECT_EQ(kWhite, f.At(1, 1));
}

TEST(GdiText, OpaqueAndTransparentTextOut)
{
    CFont font;
    ASSERT_TRUE(font.CreateFont(13, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, FF_SWISS, "Tahoma"));
    Canvas c(100, 20, kWhite);
    CFont* oldFont = c.dc.SelectObject(&font);
    CSize ext = c.dc.GetTextExtent("Hello");
    EXPECT_GT(ext.cx, 10);
    EXPECT_EQ(13, ext.cy);  // a positive height is the cell height
    c.dc.SetBkColor(kBlue);
    c.dc.SetTextColor(kRed);
    c.dc.TextOut(0, 0, CString("Hello"));
    // Opaque: the whole cell takes the background colour, ink in between.
    EXPECT_EQ(kBlue, c.At(0, 12));
    EXPECT_EQ(kWhite, c.At(ext.cx, 0));
    c.dc.SetBkMode(TRANSPARENT);
    c.dc.TextOut(0, 0, CString(""));
    Canvas t(100, 20, kWhite);
    t.dc.SelectObject(&font);
    t.dc.SetBkMode(TRANSPARENT);
    t.dc.SetBkColor(kBlue);
    t.dc.TextOut(0, 0, CString("Hello"));
    EXPECT_EQ(kWhite, t.At(0, 12));
    EXPECT_FALSE(t.Ink(6, 100).empty());
    t.dc.SelectObject(oldFont);
    c.dc.SelectObject(oldFont);
}

TEST(GdiText, DrawTextWrapsAtWordsAndCentresEachLine)
{
    CFont font;
    font.CreateFont(13, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, FF_SWISS, "Tahoma");
    Canvas c(200, 60);
    CFont* oldFont = c.dc.SelectObject(&font);
    const int wide = c.dc.GetTextExtent("aaaa bbbb").cx;
    const int shortLine = c.dc.GetTextExtent("cc").cx;
    // Room for "aaaa bbbb" but not for the whole text: two lines.
    CRect r(10, 5, 10 + wide + 2, 5);
    int h = c.dc.DrawText(CString("aaaa bbbb cc"), &r, DT_WORDBREAK | DT_CALCRECT);
    EXPECT_EQ(26, h);
    EXPECT_EQ(10, r.left);
    EXPECT_EQ(5, r.top);
    EXPECT_EQ(10 + wide, r.right);  // the extent of the widest line
    EXPECT_EQ(5 + 26, r.bottom);
    EXPECT_EQ(kWhite, c.At(12, 10));  // nothing drawn

    c.dc.SetBkMode(TRANSPARENT);
    c.dc.DrawText(CString("aaaa bbbb cc"), &r, DT_CENTER | DT_WORDBREAK);
    RECT first = {200, 0, -1, 0}, second = {200, 0, -1, 0};
    for (int y = 5; y < 18; ++y)
        for (int x : c.Ink(y, 200)) {
            first.left = std::min<LONG>(first.left, x);
            first.right = std::max<LONG>(first.right, x);
        }
    for (int y = 18; y < 31; ++y)
        for (int x : c.Ink(y, 200)) {
            second.left = std::min<LONG>(second.left, x);
            second.right = std::max<LONG>(second.right, x);
        }
    ASSERT_LT(first.left, 200);
    ASSERT_LT(second.left, 200);
    // The short second line stands in the middle of the block.
    int centre = 10 + wide / 2;
    EXPECT_NEAR(centre, (second.left + second.right) / 2, 2);
    EXPECT_GT(second.left, 10 + (wide - shortLine) / 2 - 3);
    EXPECT_LE(first.left, 12);

    // A single word wider than the rectangle keeps its line; the extent grows.
    CRect narrow(0, 0, 5, 0);
    c.dc.DrawText(CString("wideword"), &narrow, DT_WORDBREAK | DT_CALCRECT);
    EXPECT_EQ(c.dc.GetTextExtent("wideword").cx, narrow.Width());
    EXPECT_EQ(13, narrow.Height());
    c.dc.SelectObject(oldFont);
}

TEST(GdiText, SingleLineVerticalCentre)
{
    CFont font;
    font.CreateFont(13, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, FF_SWISS, "Tahoma");
    Canvas c(100, 40);
    c.dc.SelectObject(&font);
    c.dc.SetTextColor(kBlack);
    CRect r(0, 0, 100, 40);
    c.dc.DrawText(CString("Mid"), &r, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
    RECT box = InkBox(c, 100, 40);
    EXPECT_GE(box.top, 13);
    EXPECT_LE(box.bottom, 27);
    c.dc.SelectStockObject(SYSTEM_FONT);
}

TEST(GdiText, FaceThatIsNotInstalledFallsBackAndStillDraws)
{
    CFont missing, dialog, tahoma;
    missing.CreateFont(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, FF_SWISS, "No Such Face 123");
    dialog.CreateFont(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, FF_SWISS, "MS Shell Dlg");
    tahoma.CreateFont(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, FF_SWISS, "Tahoma");
    Canvas c(200, 20);
    c.dc.SelectObject(&missing);
    CSize m = c.dc.GetTextExtent("Update Manager");
    c.dc.TextOut(0, 0, CString("Update Manager"));
    EXPECT_GT(m.cx, 0);
    EXPECT_FALSE(c.Ink(6, 200).empty());
    c.dc.SelectObject(&dialog);
    CSize d = c.dc.GetTextExtent("Update Manager");
    c.dc.SelectObject(&tahoma);
    CSize t = c.dc.GetTextExtent("Update Manager");
    EXPECT_EQ(t.cx, d.cx);  // MS Shell Dlg is Tahoma
    // Tahoma (from fonts-wine) is narrower than the fallback.
    if (zqtest::TahomaInstalled()) {
        EXPECT_LT(t.cx, m.cx);
    }
    c.dc.SelectStockObject(SYSTEM_FONT);
}

// The ink box of an A8 cairo surface.
RECT CairoInkBox(cairo_surface_t* surface)
{
    cairo_surface_flush(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    return InkBoxWhere(cairo_image_surface_get_width(surface), cairo_image_surface_get_height(surface),
                       [&](int x, int y) { return data[y * stride + x] != 0; });
}

// The bytes 0x80-0x9F are where Windows-1252 and Latin-1 differ (Latin-1
// has control characters there): each is drawn as the glyph of its real
// code point, as cairo itself draws that code point in the same face and
// size, in advance and in ink. ASCII and 0xA0-0xFF would pass with either
// code page, and do, as the umlaut shows.
TEST(GdiText, WindowsCodePageLettersAreTheirUnicodeCharacters)
{
    const int em = 100;
    const struct {
        const char* cp1252;
        const char* utf8;  // the code point's own encoding
        const char* name;
    } letters[] = {
        {"\x80", "\u20AC", "euro sign U+20AC"},
        {"\x84", "\u201E", "double low-9 quotation mark U+201E"},
        {"\x8C", "\u0152", "ligature OE U+0152"},
        {"\x99", "\u2122", "trade mark sign U+2122"},
        // Above 0x9F the two code pages agree; the German umlaut is there.
        {"\xE4", "\u00E4", "a with diaeresis U+00E4"},
    };
    CFont font;
    font.CreateFont(-em, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, FF_SWISS, "DejaVu Sans");
    for (const auto& letter : letters) {
        Canvas c(2 * em, 2 * em);
        c.dc.SelectObject(&font);
        TEXTMETRIC metrics = {};
        c.dc.GetTextMetrics(&metrics);
        const int x = 20, y = 20;
        const CSize extent = c.dc.GetTextExtent(letter.cp1252);
        c.dc.SetTextColor(kBlack);
        c.dc.SetBkMode(TRANSPARENT);
        c.dc.TextOut(x, y, CString(letter.cp1252));
        const RECT drawn = InkBox(c, 2 * em, 2 * em);
        c.dc.SelectStockObject(SYSTEM_FONT);

        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, 2 * em, 2 * em);
        cairo_t* cr = cairo_create(surface);
        cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr, em);
        cairo_text_extents_t real;
        cairo_text_extents(cr, letter.utf8, &real);
        cairo_move_to(cr, x, y + metrics.tmAscent);
        cairo_show_text(cr, letter.utf8);
        cairo_destroy(cr);
        const RECT expected = CairoInkBox(surface);
        cairo_surface_destroy(surface);

        // Hinting may move an edge by a pixel or two at this size.
        EXPECT_NEAR(extent.cx, real.x_advance, 2) << letter.name;
        EXPECT_NEAR(drawn.left, expected.left, 2) << letter.name;
        EXPECT_NEAR(drawn.right, expected.right, 2) << letter.name;
        EXPECT_NEAR(drawn.top, expected.top, 2) << letter.name;
        EXPECT_NEAR(drawn.bottom, expected.bottom, 2) << letter.name;
    }
}

// The tables of a TrueType file that Windows sizes a font from, read from
// the file itself.
struct FaceTables {
    int unitsPerEm = 0;
    int winAscent = 0, winDescent = 0;
    int capHeight = 0;
};

bool ReadFaceTables(const char* path, FaceTables* out)
{
    FILE* f = fopen(path, "rb");
    if (!f)
        return false;
    std::vector<unsigned char> data;
    unsigned char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), f)) > 0)
        data.insert(data.end(), buffer, buffer + n);
    fclose(f);
    auto u16 = [&](size_t at) { return at + 2 <= data.size() ? (data[at] << 8) | data[at + 1] : 0; };
    auto u32 = [&](size_t at) { return (static_cast<size_t>(u16(at)) << 16) | u16(at + 2); };
    const int tables = u16(4);
    size_t head = 0, os2 = 0;
    for (int i = 0; i < tables; ++i) {
        const size_t record = 12 + 16 * static_cast<size_t>(i);
        if (record + 16 > data.size())
            return false;
        std::string tag(reinterpret_cast<const char*>(&data[record]), 4);
        if (tag == "head")
            head = u32(record + 8);
        if (tag == "OS/2")
            os2 = u32(record + 8);
    }
    if (!head || !os2)
        return false;
    out->unitsPerEm = u16(head + 18);
    out->winAscent = u16(os2 + 74);
    out->winDescent = u16(os2 + 76);
    out->capHeight = u16(os2) >= 2 ? u16(os2 + 88) : 0;
    return out->unitsPerEm > 0;
}


// Windows makes a positive height the cell of usWinAscent + usWinDescent and
// a negative one the em; the glyphs drawn are of that em.
TEST(GdiText, CellAndEmFollowTheFontFilesWindowsMetrics)
{
    FaceTables t;
    if (!ReadFaceTables(zqtest::TahomaPath(), &t))
        GTEST_SKIP() << "Tahoma of fonts-wine is not installed";
    ASSERT_GT(t.capHeight, 0);
    for (int height : {13, 14, 16, 18, 24, -11, -15}) {
        const double em = height > 0 ? height * double(t.unitsPerEm) / (t.winAscent + t.winDescent) : -height;
        const double scale = em / t.unitsPerEm;
        const int ascent = static_cast<int>(std::lround(t.winAscent * scale));
        const int cell = height > 0 ? height : ascent + static_cast<int>(std::lround(t.winDescent * scale));
        CFont font;
        ASSERT_TRUE(font.CreateFont(height, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, FF_SWISS, "Tahoma"));
        Canvas c(60, 40);
        CFont* old = c.dc.SelectObject(&font);
        TEXTMETRICA tm = {};
        ASSERT_TRUE(c.dc.GetTextMetrics(&tm));
        EXPECT_EQ(cell, tm.tmHeight) << height;
        EXPECT_EQ(ascent, tm.tmAscent) << height;
        EXPECT_EQ(cell - ascent, tm.tmDescent) << height;
        EXPECT_EQ(cell - std::lround(em), tm.tmInternalLeading) << height;
        EXPECT_EQ(cell, c.dc.GetTextExtent("H").cy) << height;

        // "H" stands on the baseline, tmAscent below the top, and is as tall
        // as the file's cap height at that em.
        c.dc.SetTextColor(kBlack);
        c.dc.SetBkMode(TRANSPARENT);
        c.dc.TextOut(4, 0, CString("H"));
        RECT ink = InkBox(c, 60, 40);
        EXPECT_NEAR(ascent - 1, ink.bottom, 1) << height;
        EXPECT_NEAR(t.capHeight * scale, ink.bottom - ink.top + 1, 1.0) << height;
        c.dc.SelectObject(old);
    }
}

// The median ink across the horizontal runs of a drawn text: a stroke's
// width, in pixels.
double StrokeWidth(int height, int weight, const char* face)
{
    const char* sample = "Data were successfully sent to the hands-free car kit";
    CFont font;
    font.CreateFont(height, 0, 0, 0, weight, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, FF_SWISS, face);
    const int w = 600, h = 40;
    Canvas c(w, h);
    CFont* old = c.dc.SelectObject(&font);
    c.dc.SetTextColor(kBlack);
    c.dc.SetBkMode(TRANSPARENT);
    c.dc.TextOut(2, 2, CString(sample));
    c.dc.SelectObject(old);
    std::vector<double> runs;
    for (int y = 0; y < h; ++y) {
        double run = 0;
        for (int x = 0; x <= w; ++x) {
            const int dark = x < w ? 255 - GetRValue(c.At(x, y)) : 0;
            if (dark >= 32) {
                run += dark / 255.0;
            } else if (run > 0) {
                runs.push_back(run);
                run = 0;
            }
        }
    }
    if (runs.empty())
        return 0;
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

TEST(GdiText, BoldStrokesAreHeavierThanRegular)
{
    if (!zqtest::TahomaInstalled())
        GTEST_SKIP() << "Tahoma of fonts-wine is not installed";
    for (const char* face : {"Tahoma", "No Such Face 123"})
        for (int height : {13, 14, 16, 18}) {
            const double regular = StrokeWidth(height, FW_NORMAL, face);
            const double bold = StrokeWidth(height, FW_BOLD, face);
            ASSERT_GT(regular, 0) << face << " " << height;
            EXPECT_GE(bold / regular, 1.2) << face << " " << height << ": " << bold << " against " << regular;
        }
}

// What GetTextExtent and GetTextMetrics say is where the ink is: the text
// ends at its extent and stays inside its cell, regular and bold.
TEST(GdiText, ExtentAndCellHoldTheInk)
{
    const char* text = "Data were successfully sent";
    for (int height : {13, 14, 16, 18})
        for (int weight : {FW_NORMAL, FW_BOLD}) {
            CFont font;
            font.CreateFont(height, 0, 0, 0, weight, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, FF_SWISS, "Tahoma");
            Canvas c(300, 40);
            CFont* old = c.dc.SelectObject(&font);
            const CSize extent = c.dc.GetTextExtent(text);
            c.dc.SetTextColor(kBlack);
            c.dc.SetBkMode(TRANSPARENT);
            c.dc.TextOut(10, 10, CString(text));
            RECT ink = InkBox(c, 300, 40);
            // A glyph may overhang its advance by a pixel, as on Windows.
            EXPECT_GE(ink.left, 10 - 1) << height << " " << weight;
            EXPECT_LE(ink.right, 10 + extent.cx) << height << " " << weight;
            EXPECT_GE(ink.right, 10 + extent.cx - 3) << height << " " << weight;
            EXPECT_GE(ink.top, 10) << height << " " << weight;
            EXPECT_LT(ink.bottom, 10 + extent.cy) << height << " " << weight;
            c.dc.SelectObject(old);
        }
}

// A window surface given by a provider, as the window layer does.
struct FakeWindows : zq::gdi::WindowSurfaceProvider {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 50, 40);
    int released = 0;
    ~FakeWindows() override { cairo_surface_destroy(surface); }
    bool Acquire(HWND, zq::gdi::WindowSurface* out) override
    {
        out->surface = surface;
        out->origin = {10, 5};
        out->clip = {0, 0, 20, 20};
        return true;
    }
    void Released(HWND, const RECT&) override { ++released; }
    HDC BeginPaint(HWND hwnd, RECT* paint) override
    {
        *paint = {0, 0, 20, 20};
        return ::GetDC(hwnd);
    }
    void EndPaint(HWND hwnd, HDC dc) override { ::ReleaseDC(hwnd, dc); }
};

struct FakeWnd {
    HWND GetSafeHwnd() const { return reinterpret_cast<HWND>(0x1234); }
};

TEST(GdiWindowDc, DrawsIntoTheProvidersSurfaceAtTheClientOrigin)
{
    FakeWindows windows;
    const zqtest::ScopedSeam provider(zq::gdi::SetWindowSurfaceProvider, &windows);
    FakeWnd wnd;
    {
        CPaintDC dc(&wnd);
        ASSERT_NE(nullptr, dc.m_hDC);
        EXPECT_EQ(20, dc.m_rcPaint.right);
        dc.FillSolidRect(0, 0, 100, 100, kRed);  // clipped to the client area
        RECT clip;
        dc.GetClipBox(&clip);
        EXPECT_EQ(20, clip.right);
    }
    EXPECT_EQ(1, windows.released);
    {
        CClientDC dc(&wnd);
        EXPECT_EQ(kRed, dc.GetPixel(0, 0));
    }
    cairo_surface_flush(windows.surface);
    auto* px = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(windows.surface));
    int stride = cairo_image_surface_get_stride(windows.surface) / 4;
    EXPECT_EQ(0xFF0000u, px[5 * stride + 10] & 0xFFFFFF);
    EXPECT_EQ(0xFF0000u, px[24 * stride + 29] & 0xFFFFFF);
    EXPECT_EQ(0u, px[25 * stride + 30] & 0xFFFFFF);
    EXPECT_EQ(0u, px[4 * stride + 10] & 0xFFFFFF);
    const zqtest::ScopedSeam noProvider(zq::gdi::SetWindowSurfaceProvider, nullptr);
    CClientDC none(&wnd);
    EXPECT_EQ(nullptr, none.m_hDC);
}

TEST(GdiResources, UnknownIdsLoadNothing)
{
    EXPECT_EQ(nullptr, ::LoadBitmap(nullptr, MAKEINTRESOURCE(9999)));
    EXPECT_EQ(nullptr, ::LoadImageA(nullptr, MAKEINTRESOURCE(9999), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
    EXPECT_EQ(nullptr, ::LoadIcon(nullptr, MAKEINTRESOURCE(9999)));
    char buf[8] = "x";
    EXPECT_EQ(0, ::LoadStringA(nullptr, 9999, buf, sizeof(buf)));
    EXPECT_STREQ("", buf);
}

TEST(GdiResources, RegisteredPicturesLoadByIdAndStringsAreCutToTheBuffer)
{
    zq::gdi::RegisterBitmapResource(9001, 2, 1, [] { return std::vector<uint32_t>{0xFF00FF00u, 0xFFFF0000u}; });
    zq::gdi::RegisterStringResource(9002, "abcdef");
    CBitmap b;
    ASSERT_TRUE(b.LoadBitmap(9001));
    BITMAP bm = {};
    b.GetBitmap(&bm);
    EXPECT_EQ(2, bm.bmWidth);
    CDC dc;
    dc.CreateCompatibleDC(nullptr);
    CBitmap* old = dc.SelectObject(&b);
    EXPECT_EQ(kGreen, dc.GetPixel(0, 0));
    EXPECT_EQ(kRed, dc.GetPixel(1, 0));
    // Each load is a bitmap of its own: drawing into one leaves the next
    // load as the resource is.
    dc.SetPixel(0, 0, kRed);
    dc.SelectObject(old);
    CBitmap again;
    ASSERT_TRUE(again.LoadBitmap(9001));
    old = dc.SelectObject(&again);
    EXPECT_EQ(kGreen, dc.GetPixel(0, 0));
    EXPECT_EQ(kRed, dc.GetPixel(1, 0));
    dc.SelectObject(old);
    // A picture whose pixels do not fill its size loads nothing, every time.
    zq::gdi::RegisterBitmapResource(9003, 2, 2, [] { return std::vector<uint32_t>{0xFF00FF00u}; });
    EXPECT_EQ(nullptr, ::LoadBitmap(nullptr, MAKEINTRESOURCE(9003)));
    EXPECT_EQ(nullptr, ::LoadBitmap(nullptr, MAKEINTRESOURCE(9003)));
    char buf[4];
    EXPECT_EQ(3, ::LoadStringA(nullptr, 9002, buf, sizeof(buf)));
    EXPECT_STREQ("abc", buf);
}

}  // namespace

namespace {

TEST(GdiIcons, DisabledIconIsEmbossedInTheSystemColours)
{
    // A dark square with a transparent border.
    std::vector<uint32_t> argb(8 * 8, 0);
    for (int y = 2; y < 6; ++y)
        for (int x = 2; x < 6; ++x)
            argb[y * 8 + x] = 0xFF202020u;
    HICON icon = zq::gdi::CreateIconFromPixels(8, 8, argb);
    ASSERT_NE(nullptr, icon);
    Canvas c(10, 10, RGB(1, 2, 3));
    ASSERT_TRUE(
        c.dc.DrawState(CPoint(0, 0), CSize(8, 8), icon, DST_ICON | DSS_DISABLED, static_cast<CBrush*>(nullptr)));
    EXPECT_EQ(::GetSysColor(COLOR_BTNSHADOW), c.At(2, 2));
    EXPECT_EQ(::GetSysColor(COLOR_BTNHIGHLIGHT), c.At(6, 6));  // the highlight copy, one pixel right and down
    EXPECT_EQ(RGB(1, 2, 3), c.At(0, 0));
    ASSERT_TRUE(c.dc.DrawState(CPoint(0, 0), CSize(8, 8), icon, DST_ICON, static_cast<CBrush*>(nullptr)));
    EXPECT_EQ(RGB(0x20, 0x20, 0x20), c.At(2, 2));
    EXPECT_TRUE(::DestroyIcon(icon));
    EXPECT_FALSE(::DrawIcon(c.dc, 0, 0, icon));  // gone
}

}  // namespace
