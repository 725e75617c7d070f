// The texts of every page as they come out on the window: they stay inside
// the window, the marked step line stays out of the body column, and no two
// lines run into each other. The pages were laid out for Tahoma's metrics,
// so these checks need the Tahoma of fonts-wine.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "container/UPDATEModel.h"
#include "platform/gdi/Gdi.h"
#include "tests/wizard/WizardTestSupport.h"
#include "wizard/CQuorinUpdateManagerDlg.h"
#include "tests/support/HostFacts.h"

namespace {

using Dlg = CQuorinUpdateManagerDlg;

const int CLIENT_WIDTH = 650;
const int CLIENT_HEIGHT = 490;
// The body column starts here; the step list stands left of it.
const int BODY_LEFT = 160;


// The client area's pixels, copied out once.
struct Picture {
    std::vector<COLORREF> pixels;
    COLORREF At(int x, int y) const { return pixels[static_cast<size_t>(y) * CLIENT_WIDTH + x]; }

    static Picture Of(CWnd& wnd)
    {
        Picture p;
        p.pixels.resize(static_cast<size_t>(CLIENT_WIDTH) * CLIENT_HEIGHT);
        CClientDC dc(&wnd);
        for (int y = 0; y < CLIENT_HEIGHT; ++y)
            for (int x = 0; x < CLIENT_WIDTH; ++x)
                p.pixels[static_cast<size_t>(y) * CLIENT_WIDTH + x] = dc.GetPixel(x, y);
        return p;
    }

    // With ZQ_PAGE_PICTURES naming a folder, the pictures are kept there
    // (binary PPM) for a look at how the text comes out.
    void Keep(const std::string& name) const
    {
        const char* folder = getenv("ZQ_PAGE_PICTURES");
        if (!folder)
            return;
        FILE* f = fopen((std::string(folder) + "/" + name + ".ppm").c_str(), "wb");
        if (!f)
            return;
        fprintf(f, "P6\n%d %d\n255\n", CLIENT_WIDTH, CLIENT_HEIGHT);
        for (COLORREF c : pixels) {
            unsigned char rgb[3] = {GetRValue(c), GetGValue(c), GetBValue(c)};
            fwrite(rgb, 1, 3, f);
        }
        fclose(f);
    }
};

// Text ink: pixels where the page differs from the bare background, at
// least a quarter of the way to black.
bool Ink(const Picture& page, const Picture& bare, int x, int y)
{
    COLORREF p = page.At(x, y), b = bare.At(x, y);
    if (p == b)
        return false;
    int dark = (GetRValue(b) + GetGValue(b) + GetBValue(b)) - (GetRValue(p) + GetGValue(p) + GetBValue(p));
    return dark >= 3 * 64;
}

// The marked step line's colour (0x4C4333) is bluer than the grey of the
// other texts.
bool MarkedInk(const Picture& page, int x, int y)
{
    COLORREF p = page.At(x, y);
    return GetBValue(p) >= GetRValue(p) + 6 && GetRValue(p) < 230;
}

struct Band {
    int top, bottom;  // inked rows [top, bottom)
};

// Runs of rows that hold ink in the columns [left, right).
std::vector<Band> InkBands(const Picture& page, const Picture& bare, int left, int right)
{
    std::vector<Band> bands;
    bool open = false;
    for (int y = 0; y < CLIENT_HEIGHT; ++y) {
        bool any = false;
        for (int x = left; x < right && !any; ++x)
            any = Ink(page, bare, x, y);
        if (any && !open)
            bands.push_back({y, y + 1});
        if (any)
            bands.back().bottom = y + 1;
        open = any;
    }
    return bands;
}

class PageText : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!zqtest::TahomaInstalled())
            GTEST_SKIP() << "Tahoma of fonts-wine is not installed";
        // A product of two devices, one with three boards, for the device page.
        UPDATEDevice device;
        device.name = "CK-3100 Main Unit";
        device.software = "V4.12.07 build 1183";
        device.variant = "EU Premium";
        device.boards = {{"PCB-7730-03", ""}, {"PCB-7731-01", ""}, {"PCB-7740-02", ""}};
        UPDATEDevice display;
        display.name = "CK-3100 Display";
        display.software = "V2.03.11";
        display.variant = "Standard";
        display.boards = {{"PCB-5512-04", ""}};
        g_UpdateModel.m_Product.devices = {device, display};
    }
    void TearDown() override { g_UpdateModel.m_Product.devices.clear(); }

    zqtest::PrivateRegistry m_registry;
};

const int PAGES[] = {Dlg::PAGE_WELCOME,       Dlg::PAGE_SELECT_CONTAINER, Dlg::PAGE_PREPARE_CONNECTION,
                     Dlg::PAGE_SELECT_PORT,   Dlg::PAGE_CONNECTING,       Dlg::PAGE_READING_DEVICE,
                     Dlg::PAGE_UNPACKING,     Dlg::PAGE_DEVICE_INFO,      Dlg::PAGE_TRANSFERRING,
                     Dlg::PAGE_DISCONNECTING, Dlg::PAGE_SUCCESS,          Dlg::PAGE_ERROR};

TEST_F(PageText, EveryPageInBothLanguagesFitsAndKeepsItsLinesApart)
{
    const char* const languageNames[] = {"english", "german"};
    Dlg dlg;
    zqtest::RunModal(dlg, [&] {
        for (int language : {LanguageTexts::LANGUAGE_ENGLISH, LanguageTexts::LANGUAGE_GERMAN}) {
            dlg.m_texts.SetLanguage(language);
            dlg.m_page = -1;  // a page that paints nothing over the background
            dlg.RedrawWindow();
            const Picture bare = Picture::Of(dlg);
            for (int pageId : PAGES) {
                dlg.m_page = pageId;
                dlg.RedrawWindow();
                const Picture page = Picture::Of(dlg);
                const std::string name = std::string(languageNames[language]) + " page " + std::to_string(pageId);
                page.Keep(std::string(languageNames[language]) + "-page-" + std::to_string(pageId));

                // Text cut by the right edge leaves its ink in the last columns.
                int edge = 0;
                for (int y = 0; y < CLIENT_HEIGHT; ++y)
                    for (int x = CLIENT_WIDTH - 6; x < CLIENT_WIDTH; ++x)
                        edge += Ink(page, bare, x, y);
                EXPECT_EQ(0, edge) << name << ": ink at the right edge";

                // Where the marked step line reaches into the body column, it
                // keeps clear of the other texts in its rows.
                for (int y = 100; y < 110 + 7 * 30; ++y) {
                    int marked = -1;
                    for (int x = 0; x < CLIENT_WIDTH; ++x)
                        if (MarkedInk(page, x, y))
                            marked = x;
                    if (marked < BODY_LEFT)
                        continue;
                    int other = CLIENT_WIDTH;
                    for (int x = BODY_LEFT; x < CLIENT_WIDTH && other == CLIENT_WIDTH; ++x)
                        if (Ink(page, bare, x, y) && !MarkedInk(page, x, y))
                            other = x;
                    EXPECT_GT(other, marked + 2) << name << ": the marked step line runs into the text at row " << y;
                }

                // Each run of inked rows is one line: two lines that touch
                // make a run taller than the tallest cell (18).
                for (auto column : {std::make_pair(0, BODY_LEFT), std::make_pair(BODY_LEFT, CLIENT_WIDTH)})
                    for (const Band& band : InkBands(page, bare, column.first, column.second))
                        EXPECT_LE(band.bottom - band.top, 18) << name << ": rows " << band.top << " to " << band.bottom
                                                              << " in columns from " << column.first;
            }
        }
    });
}

// The success page ends its body under the step list: the marked last step
// line, drawn opaque, must leave the body's lines whole.
TEST_F(PageText, TheMarkedLastStepLeavesTheSuccessPageBodyWhole)
{
    Dlg dlg;
    zqtest::RunModal(dlg, [&] {
        for (int language : {LanguageTexts::LANGUAGE_ENGLISH, LanguageTexts::LANGUAGE_GERMAN}) {
            dlg.m_texts.SetLanguage(language);
            dlg.m_page = Dlg::PAGE_SUCCESS;
            dlg.RedrawWindow();
            const Picture withSteps = Picture::Of(dlg);
            // The same body alone, over the bare background.
            dlg.m_page = -1;
            dlg.RedrawWindow();
            const Picture bare = Picture::Of(dlg);
            dlg.DrawPageBody(dlg.m_texts.GetText(TXT_UPDATE_DONE));
            const Picture bodyOnly = Picture::Of(dlg);
            for (int y = 110; y < CLIENT_HEIGHT; ++y)
                for (int x = BODY_LEFT; x < CLIENT_WIDTH; ++x)
                    if (Ink(bodyOnly, bare, x, y)) {
                        ASSERT_EQ(bodyOnly.At(x, y), withSteps.At(x, y))
                            << "language " << language << ": body pixel " << x << ", " << y << " lost";
                    }
        }
    });
}

// Widths measured on Windows at the pages' fonts: the step line at Tahoma 18
// bold, the longest line of the connection help at Tahoma 13.
TEST_F(PageText, StringWidthsAreThoseOfWindows)
{
    struct Case {
        int height, weight, language, text;
        int width;
    } cases[] = {
        {18, FW_BOLD, LanguageTexts::LANGUAGE_ENGLISH, TXT_STEP_END, 117},
        {13, FW_NORMAL, LanguageTexts::LANGUAGE_ENGLISH, TXT_BLUETOOTH_HELP, 443},
        {13, FW_NORMAL, LanguageTexts::LANGUAGE_GERMAN, TXT_BLUETOOTH_HELP, 467},
    };
    LanguageTexts texts;
    texts.LoadEnglishTexts();
    texts.LoadGermanTexts();
    CDC dc;
    dc.CreateCompatibleDC(nullptr);
    for (const Case& c : cases) {
        CFont font;
        ASSERT_TRUE(font.CreateFont(c.height, 0, 0, 0, c.weight, 0, 0, 0, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                                    CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_SWISS | DEFAULT_PITCH, "Tahoma"));
        CFont* old = dc.SelectObject(&font);
        std::string text = static_cast<const char*>(texts.GetTextFor(c.language, c.text));
        int widest = 0;
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos)
                end = text.size();
            widest = std::max<int>(widest, dc.GetTextExtent(text.c_str() + start, static_cast<int>(end - start)).cx);
            start = end + 1;
        }
        EXPECT_NEAR(c.width, widest, 2) << "text " << c.text << " language " << c.language;
        dc.SelectObject(old);
    }
}

// The ink of the longest help line and of the marked last step end where
// their widths say.
TEST_F(PageText, DrawnLinesEndWhereTheirWidthsSay)
{
    struct Case {
        int page, language;
        int top, left, right;  // the rows and columns searched
        int end;               // where the text ends: position plus width
    } cases[] = {
        {Dlg::PAGE_SUCCESS, LanguageTexts::LANGUAGE_ENGLISH, 290, 0, BODY_LEFT, 20 + 117},
        {Dlg::PAGE_PREPARE_CONNECTION, LanguageTexts::LANGUAGE_ENGLISH, 110, BODY_LEFT, CLIENT_WIDTH, 160 + 443},
        {Dlg::PAGE_PREPARE_CONNECTION, LanguageTexts::LANGUAGE_GERMAN, 110, BODY_LEFT, CLIENT_WIDTH, 160 + 467},
    };
    Dlg dlg;
    zqtest::RunModal(dlg, [&] {
        for (const Case& c : cases) {
            dlg.m_texts.SetLanguage(c.language);
            dlg.m_page = -1;
            dlg.RedrawWindow();
            const Picture bare = Picture::Of(dlg);
            dlg.m_page = c.page;
            dlg.RedrawWindow();
            const Picture page = Picture::Of(dlg);
            int rightmost = -1;
            const int bottom = c.page == Dlg::PAGE_SUCCESS ? c.top + 20 : 400;
            for (int y = c.top; y < bottom; ++y)
                for (int x = c.left; x < c.right; ++x)
                    if (Ink(page, bare, x, y))
                        rightmost = std::max(rightmost, x);
            // The last glyph's ink ends a pixel or two before its advance.
            EXPECT_LE(rightmost, c.end + 1) << "page " << c.page << " language " << c.language;
            EXPECT_GE(rightmost, c.end - 4) << "page " << c.page << " language " << c.language;
        }
    });
}

}  // namespace
