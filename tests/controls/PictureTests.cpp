// The program's pictures, icon and string as the buttons and the wizard
// window load them.
#include <gtest/gtest.h>

#include "platform/gdi/Gdi.h"
#include "platform/gdi/GdiResources.h"
#include "resources/resource.h"

namespace {

struct Expected {
    UINT id;
    int width, height;
    COLORREF key;  // 0xFFFFFFFF: no key colour
};

const Expected kPictures[] = {
    {IDB_BACKGROUND, 650, 500, 0xFFFFFFFFu},
    {IDB_EXIT_HOVER, 17, 17, 0x00FF00},
    {IDB_EXIT, 17, 17, 0x00FF00},
    {IDB_SETUP, 17, 17, 0x00FF00},
    {IDB_SETUP_HOVER, 17, 17, 0x00FF00},
    {IDB_BACK, 17, 17, 0x00FF00},
    {IDB_BACK_HOVER, 17, 17, 0x00FF00},
    {IDB_NEXT, 17, 17, 0xFFFF00},
    {IDB_NEXT_HOVER, 17, 17, 0x00FFFF},
    {IDB_BROWSE_HOVER, 17, 17, 0x00FF00},
    {IDB_BROWSE, 17, 17, 0x00FF00},
    {IDB_NEXT_DISABLED, 17, 17, 0xFFFF00},
    {IDB_BACK_DISABLED, 17, 17, 0x00FF00},
    {IDB_BROWSE_DISABLED, 17, 17, 0x00FF00},
    {IDB_LANG_GERMAN, 32, 20, 0xFFFFFFFFu},
    {IDB_LANG_ENGLISH, 32, 20, 0xFFFFFFFFu},
};

TEST(Pictures, EveryPictureLoadsWithItsSizeAndKeyColour)
{
    for (const Expected& e : kPictures) {
        SCOPED_TRACE(e.id);
        HBITMAP h = static_cast<HBITMAP>(
            ::LoadImageA(nullptr, MAKEINTRESOURCE(e.id), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
        ASSERT_NE(nullptr, h);
        BITMAP bm = {};
        ASSERT_EQ(static_cast<int>(sizeof(bm)), ::GetObjectA(h, sizeof(bm), &bm));
        EXPECT_EQ(e.width, bm.bmWidth);
        EXPECT_EQ(e.height, bm.bmHeight);
        CDC dc;
        dc.CreateCompatibleDC(nullptr);
        HGDIOBJ old = ::SelectObject(dc, h);
        if (e.key != 0xFFFFFFFFu) {
            // The corners are transparent, the middle is not.
            EXPECT_EQ(e.key, dc.GetPixel(0, 0));
            EXPECT_EQ(e.key, dc.GetPixel(16, 16));
            EXPECT_NE(e.key, dc.GetPixel(8, 8));
        }
        ::SelectObject(dc, old);
        EXPECT_TRUE(::DeleteObject(h));
    }
}

TEST(Pictures, TheBackgroundIsWhiteWhereThePagesDrawText)
{
    CBitmap background;
    ASSERT_TRUE(background.LoadBitmap(IDB_BACKGROUND));
    CDC dc;
    dc.CreateCompatibleDC(nullptr);
    CBitmap* old = dc.SelectObject(&background);
    // Step list, titles, body, device and transfer information, footer.
    const RECT areas[] = {{20, 110, 150, 320}, {160, 80, 640, 440}};
    for (const RECT& r : areas)
        for (int y = r.top; y < r.bottom; y += 3)
            for (int x = r.left; x < r.right; x += 3)
                ASSERT_EQ(0xFFFFFFu, dc.GetPixel(x, y)) << x << "," << y;
    dc.SelectObject(old);
}

TEST(Pictures, IconAndString)
{
    HICON icon = ::LoadIcon(nullptr, MAKEINTRESOURCE(IDR_MAINFRAME));
    ASSERT_NE(nullptr, icon);
    EXPECT_EQ(icon, ::LoadIcon(nullptr, MAKEINTRESOURCE(IDR_MAINFRAME)));  // shared
    CDC dc;
    dc.CreateCompatibleDC(nullptr);
    CBitmap b;
    ASSERT_TRUE(b.CreateBitmap(32, 32, 1, 32, nullptr));
    CBitmap* old = dc.SelectObject(&b);
    dc.FillSolidRect(0, 0, 32, 32, RGB(0, 255, 0));
    EXPECT_TRUE(dc.DrawIcon(0, 0, icon));
    EXPECT_EQ(RGB(0, 255, 0), dc.GetPixel(0, 0));  // a transparent corner
    EXPECT_NE(RGB(0, 255, 0), dc.GetPixel(16, 16));
    dc.SelectObject(old);

    char text[128];
    ASSERT_GT(::LoadStringA(nullptr, IDP_OLE_INIT_FAILED, text, sizeof(text)), 0);
    EXPECT_STREQ("OLE initialization failed.  Make sure that the OLE libraries are the correct version.", text);
}

}  // namespace
