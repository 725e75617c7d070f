// CNFCUMButton on the headless window system: hover tracking, clicks,
// configuration and its painting, rendered into memory DCs.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "controls/CNFCUMButton.h"
#include "platform/gdi/Gdi.h"
#include "platform/gdi/GdiResources.h"
#include "platform/gdi/GdiTesting.h"
#include "platform/window/Controls.h"
#include "platform/window/CWnd.h"
#include "platform/window/Headless.h"
#include "resources/resource.h"
#include "tests/support/ScopedSeam.h"

namespace {

const int kWidth = 135, kHeight = 26;  // a 90 x 16 unit button of the wizard
const COLORREF kText = 0x4C4333, kFace = 0xD9D7CF, kHotFace = 0xA09489;

// The parent: records hover notices and clicks.
class Parent : public CWnd {
public:
    std::vector<UINT_PTR> hovers;  // idFrom of each NM_HOVER
    int clicks = 0;

protected:
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) override
    {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header && header->code == static_cast<UINT>(NM_HOVER))
            hovers.push_back(header->idFrom);
        return CWnd::OnNotify(wParam, lParam, result);
    }
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override
    {
        if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDC_NEXT)
            ++clicks;
        return CWnd::OnCommand(wParam, lParam);
    }
};

struct PicturedButton : ::testing::Test {
    Parent parent;
    CButton other;  // another control that may hold the focus
    CButton raw;    // the control as the template makes it, before subclassing
    CNFCUMButton button;
    CFont font;

    void SetUp() override
    {
        ASSERT_TRUE(parent.CreateEx(0, "ZqTest", "wizard", WS_POPUP | WS_VISIBLE, CRect(10, 10, 330, 110), nullptr, 0));
        ::SetActiveWindow(parent.GetSafeHwnd());
        ASSERT_TRUE(other.Create("Other", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, CRect(200, 10, 260, 30), &parent, 7));
        ASSERT_TRUE(raw.Create("Next", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, CRect(10, 10, 10 + kWidth, 10 + kHeight),
                               &parent, IDC_NEXT));
        ASSERT_TRUE(button.SubclassWindow(raw.GetSafeHwnd()));
        font.CreateFont(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, FF_SWISS, "MS Shell Dlg");
        button.SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(static_cast<HFONT>(font)), FALSE);
        zq::PumpPendingMessages();
    }

    void TearDown() override
    {
        ::ReleaseCapture();
        parent.DestroyWindow();
    }

    void ConfigureLikeNext()
    {
        ASSERT_EQ(0, button.LoadImages(IDB_NEXT_HOVER, 0x00FFFF, IDB_NEXT, 0xFFFF00));
        button.SetHoverBorder(1);
        button.SetCaptionAlign(CNFCUMButton::CAPTION_LEFT | CNFCUMButton::CAPTION_VCENTER);
        button.SetImagePosition(CNFCUMButton::IMAGE_RIGHT);
        button.SetStateColor(0, kHotFace, 1);
        button.SetStateColor(1, kText, 1);
        button.SetStateColor(2, kFace, 1);
        button.SetStateColor(3, kText, 1);
    }

    void Move(int x, int y)
    {
        zq::headless::MoveMouse(parent.GetSafeHwnd(), x, y);
        zq::PumpPendingMessages();
    }
};

// A painted face, pixel by pixel.
struct Face {
    int w = kWidth, h = kHeight;
    std::vector<COLORREF> px;
    COLORREF At(int x, int y) const { return px[static_cast<size_t>(y) * w + x]; }
    // The box of pixels in the rectangle that differ from the colour.
    RECT Ink(RECT area, COLORREF bg) const
    {
        RECT r = {w, h, -1, -1};
        for (int y = area.top; y < area.bottom; ++y)
            for (int x = area.left; x < area.right; ++x)
                if (At(x, y) != bg) {
                    r.left = std::min<LONG>(r.left, x);
                    r.top = std::min<LONG>(r.top, y);
                    r.right = std::max<LONG>(r.right, x + 1);
                    r.bottom = std::max<LONG>(r.bottom, y + 1);
                }
        return r;
    }
    int Count(COLORREF c) const { return static_cast<int>(std::count(px.begin(), px.end(), c)); }
    // The box of the pixels of exactly the colour.
    RECT Box(COLORREF c) const
    {
        RECT r = {w, h, -1, -1};
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (At(x, y) == c) {
                    r.left = std::min<LONG>(r.left, x);
                    r.top = std::min<LONG>(r.top, y);
                    r.right = std::max<LONG>(r.right, x + 1);
                    r.bottom = std::max<LONG>(r.bottom, y + 1);
                }
        return r;
    }
};

Face Render(CNFCUMButton& button, UINT state)
{
    CDC screen;
    screen.Attach(::GetDC(nullptr));
    CDC dc;
    dc.CreateCompatibleDC(&screen);
    CBitmap bitmap;
    bitmap.CreateCompatibleBitmap(&screen, kWidth, kHeight);
    ::ReleaseDC(nullptr, screen.Detach());
    CBitmap* old = dc.SelectObject(&bitmap);
    dc.FillSolidRect(0, 0, kWidth, kHeight, RGB(1, 2, 3));
    DRAWITEMSTRUCT item = {};
    item.CtlType = ODT_BUTTON;
    item.CtlID = IDC_NEXT;
    item.itemAction = ODA_DRAWENTIRE;
    item.itemState = state;
    item.hwndItem = button.GetSafeHwnd();
    item.hDC = dc.GetSafeHdc();
    item.rcItem = {0, 0, kWidth, kHeight};
    button.DrawItem(&item);
    Face f;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            f.px.push_back(dc.GetPixel(x, y));
    dc.SelectObject(old);
    return f;
}

// The picture's own pixels, with the background where the key colour is.
void ExpectPictureAt(const Face& f, UINT id, COLORREF key, int left, int top, COLORREF bg)
{
    CBitmap picture;
    ASSERT_TRUE(picture.LoadBitmap(id));
    CDC dc;
    dc.CreateCompatibleDC(nullptr);
    CBitmap* old = dc.SelectObject(&picture);
    int mismatches = 0;
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 17; ++x) {
            COLORREF p = dc.GetPixel(x, y);
            COLORREF want = p == key ? bg : p;
            if (f.At(left + x, top + y) != want)
                ++mismatches;
        }
    dc.SelectObject(old);
    EXPECT_EQ(0, mismatches) << "picture " << id << " at " << left << "," << top;
}

TEST_F(PicturedButton, SubclassingMakesTheControlOwnerDrawn)
{
    EXPECT_EQ(static_cast<DWORD>(BS_OWNERDRAW), button.GetStyle() & BS_TYPEMASK);
    EXPECT_EQ(0, button.m_DefaultButton);
    EXPECT_EQ(0, button.m_CheckMode);

    CButton def;
    CNFCUMButton flagged;
    ASSERT_TRUE(def.Create("Def", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, CRect(0, 50, 20, 60), &parent, 8));
    ASSERT_TRUE(flagged.SubclassWindow(def.GetSafeHwnd()));
    EXPECT_EQ(1, flagged.m_DefaultButton);
}

TEST_F(PicturedButton, HoverTakesFocusAndCaptureAndLeavingReleasesThem)
{
    other.SetFocus();
    Move(20, 20);
    EXPECT_EQ(1, button.m_Hovered);
    EXPECT_EQ(button.GetSafeHwnd(), ::GetFocus());
    EXPECT_EQ(button.GetSafeHwnd(), ::GetCapture());
    ASSERT_FALSE(parent.hovers.empty());
    EXPECT_EQ(static_cast<UINT_PTR>(IDC_NEXT), parent.hovers.back());

    Move(25, 22);  // still over the button: nothing changes
    EXPECT_EQ(1, button.m_Hovered);

    parent.hovers.clear();
    Move(250, 80);  // over the parent
    EXPECT_EQ(0, button.m_Hovered);
    EXPECT_EQ(nullptr, ::GetCapture());
    EXPECT_EQ(std::vector<UINT_PTR>{0}, parent.hovers);
}

TEST_F(PicturedButton, LeavingWithTheMouseButtonHeldKeepsTheCapture)
{
    Move(20, 20);
    zq::headless::PressMouse(parent.GetSafeHwnd(), 20, 20);
    zq::PumpPendingMessages();
    Move(250, 80);
    EXPECT_EQ(0, button.m_Hovered);
    EXPECT_EQ(button.GetSafeHwnd(), ::GetCapture());
    zq::headless::ReleaseMouse(parent.GetSafeHwnd(), 250, 80);
    zq::PumpPendingMessages();
    Move(260, 85);
    EXPECT_EQ(nullptr, ::GetCapture());
    EXPECT_EQ(0, parent.clicks);  // released outside: no click
}

TEST_F(PicturedButton, PointerArrivingWithTheMouseButtonHeldDoesNotHover)
{
    zq::headless::PressMouse(parent.GetSafeHwnd(), 250, 80);
    zq::PumpPendingMessages();
    Move(20, 20);
    EXPECT_EQ(0, button.m_Hovered);
    zq::headless::ReleaseMouse(parent.GetSafeHwnd(), 20, 20);
    zq::PumpPendingMessages();
}

TEST_F(PicturedButton, FocusLossAndDeactivationEndTheHover)
{
    Move(20, 20);
    ASSERT_EQ(1, button.m_Hovered);
    other.SetFocus();
    EXPECT_EQ(0, button.m_Hovered);
    EXPECT_EQ(0u, parent.hovers.back());

    Move(20, 20);
    ::ReleaseCapture();
    Move(21, 20);
    ASSERT_EQ(1, button.m_Hovered);
    button.SendMessage(WM_CANCELMODE);
    EXPECT_EQ(0, button.m_Hovered);

    ::ReleaseCapture();
    Move(22, 20);
    ASSERT_EQ(1, button.m_Hovered);
    button.EnableWindow(FALSE);
    EXPECT_EQ(0, button.m_Hovered);
}

TEST_F(PicturedButton, DoubleClickCountsAsTwoClicks)
{
    zq::headless::Click(parent.GetSafeHwnd(), 30, 20);
    zq::headless::Click(parent.GetSafeHwnd(), 30, 20);
    zq::PumpPendingMessages();
    EXPECT_EQ(2, parent.clicks);
}

TEST_F(PicturedButton, ConfigurationValuesOutOfRange)
{
    button.SetImagePosition(1);
    zq::PumpPendingMessages();  // painted and valid again
    RECT update;
    for (int bad : {3, -1}) {
        button.SetImagePosition(bad);
        EXPECT_EQ(1, button.m_ImagePosition);
        EXPECT_TRUE(::GetUpdateRect(button.GetSafeHwnd(), &update, FALSE));  // repainted all the same
        zq::PumpPendingMessages();
    }

    const COLORREF before = button.m_StateColors[3];
    EXPECT_EQ(3, button.SetStateColor(4, RGB(9, 9, 9), 1));
    EXPECT_EQ(before, button.m_StateColors[3]);
    EXPECT_EQ(0, button.SetStateColor(2, RGB(7, 7, 7), 2));
    EXPECT_EQ(RGB(7, 7, 7), button.m_StateColors[2]);
    EXPECT_FALSE(::GetUpdateRect(button.GetSafeHwnd(), &update, FALSE));  // 2 is not 1: no repaint
    EXPECT_EQ(0, button.SetStateColor(2, RGB(8, 8, 8), 1));
    EXPECT_TRUE(::GetUpdateRect(button.GetSafeHwnd(), &update, FALSE));

    button.SetCaptionAlign(0xFF);  // stored as given
    EXPECT_EQ(0xFF, button.m_CaptionAlign);
}

TEST_F(PicturedButton, NormalFaceHasItsColourAndSecondPictureRightOfTheCaption)
{
    ConfigureLikeNext();
    Face f = Render(button, 0);
    // No border when neither hovered nor pressed.
    EXPECT_EQ(kFace, f.At(0, 0));
    EXPECT_EQ(kFace, f.At(kWidth - 1, kHeight - 1));
    // The picture: 3 pixels from the right edge, centred vertically.
    ExpectPictureAt(f, IDB_NEXT, 0xFFFF00, kWidth - 17 - 3, (kHeight - 17) / 2, kFace);
    // The caption: left in the space before the picture (from 3), 10 pixels
    // further in as it is narrow, centred vertically, in the text colour.
    RECT ink = f.Ink({0, 0, kWidth - 20, kHeight}, kFace);
    EXPECT_GE(ink.left, 13);
    EXPECT_LE(ink.left, 15);
    EXPECT_NEAR((ink.top + ink.bottom) / 2.0, kHeight / 2.0, 3);
    EXPECT_GT(f.Count(kText), 0);
}

TEST_F(PicturedButton, HoveredAndPressedFacesFrameAndShift)
{
    ConfigureLikeNext();
    const COLORREF highlight = ::GetSysColor(COLOR_BTNHIGHLIGHT), shadow = ::GetSysColor(COLOR_BTNSHADOW);
    button.m_Hovered = 1;
    Face hovered = Render(button, 0);
    // Raised frame, the hot face colour and the first picture.
    EXPECT_EQ(highlight, hovered.At(0, 0));
    EXPECT_EQ(shadow, hovered.At(kWidth - 1, kHeight - 1));
    EXPECT_EQ(kHotFace, hovered.At(2, 2));
    ExpectPictureAt(hovered, IDB_NEXT_HOVER, 0x00FFFF, kWidth - 20, (kHeight - 17) / 2, kHotFace);

    Face pressed = Render(button, ODS_SELECTED);
    // Sunken frame; picture and caption one pixel right and down.
    EXPECT_EQ(shadow, pressed.At(0, 0));
    EXPECT_EQ(highlight, pressed.At(kWidth - 1, kHeight - 1));
    ExpectPictureAt(pressed, IDB_NEXT_HOVER, 0x00FFFF, kWidth - 19, (kHeight - 17) / 2 + 1, kHotFace);
    RECT a = hovered.Ink({2, 2, kWidth - 22, kHeight - 2}, kHotFace);
    RECT b = pressed.Ink({2, 2, kWidth - 22, kHeight - 2}, kHotFace);
    EXPECT_EQ(a.left + 1, b.left);
    EXPECT_EQ(a.top + 1, b.top);
}

TEST_F(PicturedButton, ThePaintCycleDrawsTheButtonOnItsWindow)
{
    ConfigureLikeNext();
    button.Invalidate(TRUE);
    zq::PumpPendingMessages();
    CClientDC dc(&button);
    ASSERT_NE(nullptr, dc.GetSafeHdc());
    Face f;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            f.px.push_back(dc.GetPixel(x, y));
    EXPECT_EQ(kFace, f.At(1, 1));
    ExpectPictureAt(f, IDB_NEXT, 0xFFFF00, kWidth - 20, (kHeight - 17) / 2, kFace);
    RECT caption = f.Ink({0, 2, kWidth - 20, kHeight - 2}, kFace);
    EXPECT_GE(caption.left, 13);  // the caption, left of the picture
    EXPECT_LT(caption.right, kWidth - 20);
}

TEST_F(PicturedButton, DefaultAlignmentCentresTheCaptionBothWays)
{
    Face f = Render(button, 0);  // no picture, alignment 0x30
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    RECT ink = f.Ink({0, 0, kWidth, kHeight}, face);
    EXPECT_NEAR((ink.left + ink.right) / 2.0, kWidth / 2.0, 2);
    EXPECT_NEAR((ink.top + ink.bottom) / 2.0, kHeight / 2.0, 3);
}

// Each alignment bit moves the caption by its own offset from where it
// stands without any: a measured extent of w x h in the face of W x H.
TEST_F(PicturedButton, CaptionAlignmentBitsMoveTheCaption)
{
    CDC dc;
    dc.CreateCompatibleDC(nullptr);
    CFont* old = dc.SelectObject(&font);
    auto extent = [&](const CString& text) {
        CRect r(0, 0, kWidth, kHeight);
        dc.DrawText(text, text.GetLength(), &r, DT_WORDBREAK | DT_CALCRECT);
        return CSize(r.Width(), r.Height());
    };
    const CString narrow = "Next";
    CString wide = "M";  // too wide for a 10-pixel margin on either side
    while (extent(wide).cx < kWidth - 20)
        wide += "M";
    const CSize n = extent(narrow), m = extent(wide);
    dc.SelectObject(old);
    ASSERT_LE(m.cx, kWidth - 10);

    using B = CNFCUMButton;
    struct Case {
        int flags;
        CString caption;
        int dx, dy;
    } cases[] = {
        {B::CAPTION_LEFT, narrow, 10, 0},
        {B::CAPTION_RIGHT, narrow, kWidth - n.cx - 10, 0},
        {B::CAPTION_BOTTOM, narrow, 0, kHeight - n.cy},
        {B::CAPTION_HCENTER, narrow, (kWidth - n.cx) / 2, 0},
        {B::CAPTION_LEFT | B::CAPTION_VCENTER, narrow, 10, (kHeight - n.cy) / 2},
        {B::CAPTION_RIGHT | B::CAPTION_BOTTOM, narrow, kWidth - n.cx - 10, kHeight - n.cy},
        {B::CAPTION_LEFT, wide, 0, 0},
        {B::CAPTION_RIGHT, wide, kWidth - m.cx, 0},
    };
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    const RECT all = {0, 0, kWidth, kHeight};
    for (const Case& c : cases) {
        button.SetWindowText(c.caption);
        button.SetCaptionAlign(0);
        const RECT home = Render(button, 0).Ink(all, face);
        button.SetCaptionAlign(c.flags);
        const RECT moved = Render(button, 0).Ink(all, face);
        EXPECT_EQ(home.left + c.dx, moved.left) << "flags " << c.flags << " " << c.caption.GetString();
        EXPECT_EQ(home.top + c.dy, moved.top) << "flags " << c.flags << " " << c.caption.GetString();
    }
}

// A picture on the left stands 3 pixels in from the edge, and the caption's
// space starts after the picture's width and those 3 pixels; within it the
// caption keeps its alignment. A solid picture wider than tall keeps its
// width apart from its height and from the 17 pixels of the wizard's own.
TEST_F(PicturedButton, PictureOnTheLeftMovesTheCaptionByItsWidthAndMargin)
{
    const int w = 24, h = 12, margin = 3;
    const COLORREF blue = RGB(0, 0, 255);
    std::vector<uint8_t> bits(static_cast<size_t>(w * 4) * h, 0);
    for (int i = 0; i < w * h; ++i)
        bits[static_cast<size_t>(i) * 4] = 255;
    HBITMAP solid = ::CreateBitmap(w, h, 1, 32, bits.data());
    ASSERT_NE(nullptr, solid);
    button.SetCaptionAlign(CNFCUMButton::CAPTION_LEFT | CNFCUMButton::CAPTION_VCENTER);
    button.SetStateColor(2, kFace, 0);
    button.SetStateColor(3, kText, 0);
    const RECT alone = Render(button, 0).Box(kText);
    ASSERT_LT(alone.left, alone.right) << "no caption drawn";

    ASSERT_EQ(0, button.SetImages(solid, RGB(0, 255, 0), nullptr, 0));
    button.SetImagePosition(CNFCUMButton::IMAGE_LEFT);
    const Face f = Render(button, 0);
    const RECT picture = f.Box(blue);
    EXPECT_EQ(margin, picture.left);
    EXPECT_EQ(margin + w, picture.right);
    EXPECT_EQ((kHeight - h) / 2, picture.top);
    const RECT caption = f.Box(kText);
    EXPECT_EQ(alone.left + w + margin, caption.left);
    EXPECT_EQ(alone.top, caption.top);
}

// The caption takes the text colour of its state: the hot one while hovered
// or pressed, the normal one otherwise, each on its own face colour.
TEST_F(PicturedButton, EachStateDrawsTheCaptionInItsOwnTextColour)
{
    const COLORREF normalText = RGB(0, 0, 160), hotText = RGB(160, 0, 0);
    button.SetStateColor(0, kHotFace, 0);
    button.SetStateColor(1, hotText, 0);
    button.SetStateColor(2, kFace, 0);
    button.SetStateColor(3, normalText, 0);
    struct Case {
        const char* name;
        int hovered;
        UINT state;
        COLORREF face, text, otherText;
    } cases[] = {
        {"normal", 0, 0, kFace, normalText, hotText},
        {"hovered", 1, 0, kHotFace, hotText, normalText},
        {"pressed", 0, ODS_SELECTED, kHotFace, hotText, normalText},
    };
    for (const Case& c : cases) {
        button.m_Hovered = c.hovered;
        const Face f = Render(button, c.state);
        EXPECT_EQ(c.face, f.At(2, 2)) << c.name;
        EXPECT_GT(f.Count(c.text), 0) << c.name;
        EXPECT_EQ(0, f.Count(c.otherText)) << c.name;
    }
}

// A button that is not flat draws a raised 3-D edge, a shadow frame when
// pressed, and a black frame outside either when focused or the default.
TEST_F(PicturedButton, ButtonThatIsNotFlatHasAThreeDimensionalEdge)
{
    button.m_Flat = 0;
    button.SetStateColor(0, kHotFace, 0);
    button.SetStateColor(2, kFace, 0);
    const COLORREF highlight = ::GetSysColor(COLOR_BTNHIGHLIGHT), light = ::GetSysColor(COLOR_3DLIGHT),
                   dark = ::GetSysColor(COLOR_3DDKSHADOW), shadow = ::GetSysColor(COLOR_BTNSHADOW),
                   black = RGB(0, 0, 0);
    const int r = kWidth - 1, b = kHeight - 1;
    struct Pixel {
        int x, y;
        COLORREF colour;
    };
    struct Case {
        const char* name;
        UINT state;
        int defaultButton;
        std::vector<Pixel> pixels;
    } cases[] = {
        {"raised",
         0,
         0,
         {{0, 0, highlight},
          {1, 1, light},
          {r, 0, dark},
          {0, b, dark},
          {r, b, dark},
          {r - 1, b - 1, shadow},
          {2, 2, kFace}}},
        {"pressed", ODS_SELECTED, 0, {{0, 0, shadow}, {r, b, shadow}, {1, 1, kHotFace}}},
        {"focused",
         ODS_FOCUS,
         0,
         {{0, 0, black},
          {r, b, black},
          {1, 1, highlight},
          {2, 2, light},
          {r - 1, b - 1, dark},
          {r - 2, b - 2, shadow},
          {3, 3, kFace}}},
        {"default", 0, 1, {{0, 0, black}, {1, 1, highlight}, {r - 1, b - 1, dark}}},
        {"focused and pressed", ODS_FOCUS | ODS_SELECTED, 0, {{0, 0, black}, {1, 1, shadow}, {2, 2, kHotFace}}},
    };
    for (const Case& c : cases) {
        button.m_DefaultButton = c.defaultButton;
        Face f = Render(button, c.state);
        for (const Pixel& p : c.pixels)
            EXPECT_EQ(p.colour, f.At(p.x, p.y)) << c.name << " at " << p.x << "," << p.y;
    }
}

TEST_F(PicturedButton, DisabledCaptionIsEmbossed)
{
    ConfigureLikeNext();
    Face f = Render(button, ODS_DISABLED);
    const COLORREF highlight = ::GetSysColor(COLOR_BTNHIGHLIGHT), shadow = ::GetSysColor(COLOR_BTNSHADOW);
    EXPECT_GT(f.Count(shadow), 0);
    EXPECT_GT(f.Count(highlight), 0);
    // The state colours play no part in the caption.
    RECT ink = f.Ink({0, 0, kWidth - 20, kHeight}, kFace);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth - 20; ++x)
            ASSERT_NE(kText, f.At(x, y)) << x << "," << y;
    // The highlight copy lies one pixel right of the shadow copy.
    int shadowLeft = kWidth, highlightRight = -1, shadowRight = -1;
    for (int y = 0; y < kHeight; ++y)
        for (int x = ink.left; x < ink.right; ++x) {
            if (f.At(x, y) == shadow) {
                shadowLeft = std::min(shadowLeft, x);
                shadowRight = std::max(shadowRight, x);
            }
            if (f.At(x, y) == highlight)
                highlightRight = std::max(highlightRight, x);
        }
    EXPECT_GT(highlightRight, shadowRight);
    // A picture is drawn as for an enabled button.
    ExpectPictureAt(f, IDB_NEXT, 0xFFFF00, kWidth - 20, (kHeight - 17) / 2, kFace);
}

TEST_F(PicturedButton, PictureWithoutItsKeyColourIsAFullRectangle)
{
    // 17 pixels of 4 bytes (blue, green, red, unused) a row.
    std::vector<uint8_t> bits(static_cast<size_t>(17 * 4) * 17, 0);
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 17; ++x)
            bits[y * 68 + x * 4 + 2] = 255;
    HBITMAP solid = ::CreateBitmap(17, 17, 1, 32, bits.data());
    ASSERT_NE(nullptr, solid);
    ASSERT_EQ(0, button.SetImages(solid, RGB(0, 255, 0), nullptr, 0));
    button.SetWindowText("");
    Face f = Render(button, 0);
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    RECT ink = f.Ink({0, 0, kWidth, kHeight}, face);
    EXPECT_EQ(17, ink.right - ink.left);
    EXPECT_EQ(17, ink.bottom - ink.top);
    EXPECT_EQ((kWidth - 17) / 2, ink.left);  // no caption: centred
    EXPECT_EQ(17 * 17, f.Count(RGB(255, 0, 0)));
}

TEST_F(PicturedButton, TheSamePictureForBothLooksAlikeInEveryState)
{
    button.SetWindowText("");
    ASSERT_EQ(0, button.LoadImages(IDB_LANG_GERMAN, 0x00FF00, IDB_LANG_GERMAN, 0x00FF00));
    const int left = (kWidth - 32) / 2, top = (kHeight - 20) / 2;
    auto flag = [&](const Face& f, int dx) {
        std::vector<COLORREF> px;
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 32; ++x)
                px.push_back(f.At(left + dx + x, top + dx + y));
        return px;
    };
    const auto normal = flag(Render(button, 0), 0);
    button.m_Hovered = 1;
    EXPECT_EQ(normal, flag(Render(button, 0), 0));
    EXPECT_EQ(normal, flag(Render(button, ODS_SELECTED), 1));  // pressed: one pixel right and down
}

TEST_F(PicturedButton, BadPictures)
{
    // Pictures that do not load: no pictures, no failure.
    EXPECT_EQ(0, button.LoadImages(9998, 0x00FF00, 9999, 0x00FF00));
    Face f = Render(button, 0);
    EXPECT_EQ(0, f.Count(RGB(0, 255, 0)));

    // A handle whose size cannot be read.
    HBITMAP gone = reinterpret_cast<HBITMAP>(static_cast<uintptr_t>(0x10));
    HBITMAP second = ::CreateBitmap(17, 17, 1, 32, nullptr);
    EXPECT_EQ(1, button.SetImages(gone, 0x00FF00, second, 0x00FF00));
    BITMAP bm;
    EXPECT_EQ(0, ::GetObjectA(second, sizeof(bm), &bm));  // the button let go of the second one too

    // A mask that cannot be made: all pictures go.
    HBITMAP hot = static_cast<HBITMAP>(::LoadImageA(nullptr, MAKEINTRESOURCE(IDB_BACK_HOVER), IMAGE_BITMAP, 0, 0, 0));
    HBITMAP normal = static_cast<HBITMAP>(::LoadImageA(nullptr, MAKEINTRESOURCE(IDB_BACK), IMAGE_BITMAP, 0, 0, 0));
    {
        const zqtest::ScopedSeam noMasks(zq::gdi::SetBitmapCreationFailureHook,
                                         [](int, int, int bpp) { return bpp == 1; });
        EXPECT_EQ(2, button.SetImages(hot, 0x00FF00, normal, 0x00FF00));
    }
    EXPECT_EQ(0, ::GetObjectA(hot, sizeof(bm), &bm));
    EXPECT_EQ(0, ::GetObjectA(normal, sizeof(bm), &bm));
    Face g = Render(button, 0);
    EXPECT_EQ(0, g.Count(RGB(0, 255, 0)));
}

TEST_F(PicturedButton, CaptionInAFaceThatIsNotInstalledIsStillDrawn)
{
    CFont missing;
    missing.CreateFont(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, FF_SWISS, "No Such Face 123");
    button.SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(static_cast<HFONT>(missing)), FALSE);
    button.SetStateColor(3, RGB(0, 0, 0), 0);
    Face f = Render(button, 0);
    EXPECT_GT(f.Count(RGB(0, 0, 0)), 0);
    button.SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(static_cast<HFONT>(font)), FALSE);
}

TEST_F(PicturedButton, CheckModeDrawsCheckedAsPressedWithoutShiftAndAClickTakesTheCheckAway)
{
    button.m_CheckMode = 1;
    ConfigureLikeNext();
    const Face unchecked = Render(button, 0);
    button.m_Checked = 1;
    Face checked = Render(button, 0);
    EXPECT_EQ(::GetSysColor(COLOR_BTNSHADOW), checked.At(0, 0));  // sunken
    ExpectPictureAt(checked, IDB_NEXT_HOVER, 0x00FFFF, kWidth - 20, (kHeight - 17) / 2, kHotFace);

    // A click takes the check away again, and the parent still hears of it.
    zq::headless::Click(parent.GetSafeHwnd(), 30, 20);
    zq::PumpPendingMessages();
    other.SetFocus();  // which ends the hover, so that the face is not the hovered one
    zq::PumpPendingMessages();
    EXPECT_EQ(0, button.m_Checked);
    EXPECT_EQ(1, parent.clicks);
    EXPECT_TRUE(Render(button, 0).px == unchecked.px) << "the face after the click is not the unchecked one";
}

}  // namespace
