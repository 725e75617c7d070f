// The painters of the wizard's pages, drawn into a memory surface.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "platform/gdi/Gdi.h"
#include "tests/wizard/PageViews.h"
#include "tests/wizard/WizardTestSupport.h"
#include "wizard/CQuorinUpdateManagerDlg.h"

namespace {

const int WIDTH = 400;
const int HEIGHT = 120;

class Surface {
public:
    Surface()
    {
        m_dc.CreateCompatibleDC(nullptr);
        m_bitmap.CreateBitmap(WIDTH, HEIGHT, 1, 32, nullptr);
        m_old = m_dc.SelectObject(&m_bitmap);
        m_dc.FillSolidRect(0, 0, WIDTH, HEIGHT, RGB(255, 255, 255));
    }
    ~Surface() { m_dc.SelectObject(m_old); }

    CDC* dc() { return &m_dc; }
    // Pixels that are not white in the rows [top, top + height) and the
    // columns [left, right).
    int Ink(int top, int height, int left = 0, int right = WIDTH)
    {
        int count = 0;
        for (int y = top; y < top + height && y < HEIGHT; ++y)
            for (int x = left; x < right; ++x)
                if (m_dc.GetPixel(x, y) != RGB(255, 255, 255))
                    ++count;
        return count;
    }

private:
    CDC m_dc;
    CBitmap m_bitmap;
    CBitmap* m_old = nullptr;
};

class Painting : public ::testing::Test {
protected:
    zqtest::PrivateRegistry m_registry;
};

TEST_F(Painting, LinesStandTwentyPixelsApartAndAnEmptyLineKeepsItsPlace)
{
    CQuorinUpdateManagerDlg dlg;
    Surface surface;
    dlg.DrawMultilineText(surface.dc(), 10, 0, "Hello\n\nWorld\n");
    EXPECT_GT(surface.Ink(0, 20), 0) << "first line";
    EXPECT_EQ(surface.Ink(20, 20), 0) << "the empty line draws nothing";
    EXPECT_GT(surface.Ink(40, 20), 0) << "third line";
    EXPECT_EQ(surface.Ink(60, 60), 0) << "a closing line break adds no line";
}

TEST_F(Painting, EmptyTextDrawsNothing)
{
    CQuorinUpdateManagerDlg dlg;
    Surface surface;
    dlg.DrawMultilineText(surface.dc(), 0, 0, "");
    dlg.DrawMultilineText(surface.dc(), 0, 0, "\n\n");
    EXPECT_EQ(surface.Ink(0, HEIGHT), 0);
}

TEST_F(Painting, ALineLongerThanTheLineBufferIsCutAndTheNextStillDrawn)
{
    // A device name from the car kit may be this long.
    std::string text(1000, 'W');
    text += "\nx";
    CQuorinUpdateManagerDlg dlg;
    Surface surface;
    dlg.DrawMultilineText(surface.dc(), 0, 0, text.c_str());
    EXPECT_GT(surface.Ink(0, 20), 0);
    EXPECT_GT(surface.Ink(20, 20), 0);
}

// Pixels of the window's client area in the rectangle that are exactly the
// colour.
int CountColour(CWnd& wnd, const RECT& rect, COLORREF colour)
{
    CClientDC dc(&wnd);
    int count = 0;
    for (int y = rect.top; y < rect.bottom; ++y)
        for (int x = rect.left; x < rect.right; ++x)
            if (dc.GetPixel(x, y) == colour)
                ++count;
    return count;
}

TEST_F(Painting, EachPageMarksItsStepLineAndShowsItsTexts)
{
    using Dlg = CQuorinUpdateManagerDlg;
    const COLORREF highlight = 0x4C4333;
    const COLORREF text = 0x333333;
    Dlg dlg;
    zqtest::RunModal(dlg, [&] {
        for (const zqtest::PageView& view : zqtest::PAGE_VIEWS) {
            dlg.m_page = view.page;
            dlg.RedrawWindow();
            for (int line = 0; line < 7; ++line) {
                CRect band(20, 110 + 30 * line, 150, 110 + 30 * line + 20);
                int marked = CountColour(dlg, band, highlight);
                if (zqtest::STEP_LINES[line] == view.marked) {
                    EXPECT_GT(marked, 0) << "page " << view.page << " line " << line;
                } else {
                    EXPECT_EQ(marked, 0) << "page " << view.page << " line " << line;
                }
                if (view.marked < 0) {
                    EXPECT_EQ(CountColour(dlg, band, text), 0) << "no step list on page " << view.page;
                }
            }
            // The page's own texts, not just some text, and nothing else.
            EXPECT_EQ(zqtest::ShownPageDifference(dlg), "");
        }
    });
}

TEST_F(Painting, TheTransferPageShowsEachNewFileAsSoonAsItIsAnnounced)
{
    using Dlg = CQuorinUpdateManagerDlg;
    Dlg dlg;
    zqtest::RunModal(dlg, [&] {
        dlg.m_page = Dlg::PAGE_TRANSFERRING;
        dlg.m_protocol.m_CurrentFileName = "RX7150_Firmware_V139.bin";
        dlg.RedrawWindow();
        // The next file's notice alone must put its name on the window: no
        // repaint comes before the user looks.
        dlg.m_protocol.m_CurrentFileName = "english_prompts_of_the_car_kit.lng";
        dlg.SendMessage(WM_UPDATE_INFO_CHANGED, 0, 0);
        EXPECT_EQ(zqtest::ShownPageDifference(dlg, false), "") << "right after the notice of a new file";
        // A shorter name after a longer one keeps nothing of the longer one.
        dlg.m_protocol.m_CurrentFileName = "RX7150.xml";
        dlg.SendMessage(WM_UPDATE_INFO_CHANGED, 0, 0);
        EXPECT_EQ(zqtest::ShownPageDifference(dlg, false), "") << "right after a shorter name's notice";
    });
}

TEST_F(Painting, ButtonsShowTheirBackgroundColours)
{
    CQuorinUpdateManagerDlg dlg;
    const COLORREF grey = 0xD9D7CF, system = GetSysColor(COLOR_BTNFACE);
    ASSERT_NE(system, grey);
    // The face of each shown button when neither hovered nor pressed; Back
    // and Browse are disabled on the first page, which leaves their face.
    const struct {
        CNFCUMButton& button;
        COLORREF face;
    } cases[] = {
        {dlg.m_btnNext, grey},   {dlg.m_btnBack, grey},      {dlg.m_btnBrowse, grey},
        {dlg.m_btnGerman, grey}, {dlg.m_btnEnglish, system},
    };
    zqtest::RunModal(dlg, [&] {
        dlg.RedrawWindow();
        for (const auto& c : cases) {
            CRect rect;
            c.button.GetWindowRect(&rect);
            dlg.ScreenToClient(&rect);
            // The face is what most of the button shows.
            std::map<COLORREF, int> seen;
            CClientDC dc(&dlg);
            for (int y = rect.top; y < rect.bottom; ++y)
                for (int x = rect.left; x < rect.right; ++x)
                    ++seen[dc.GetPixel(x, y)];
            auto most = std::max_element(seen.begin(), seen.end(),
                                         [](const auto& a, const auto& b) { return a.second < b.second; });
            EXPECT_EQ(most->first, c.face) << "button " << c.button.GetDlgCtrlID();
        }
    });
}

}  // namespace
