// Fonts through fontconfig and cairo, and the text calls: TextOut, DrawText,
// the text extent. Texts are Windows-1252 and drawn as UTF-8.
#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <strings.h>
#include <sys/stat.h>

#include "platform/gdi/GdiInternal.h"
#include "platform/strings/Codepage.h"

namespace zq {
namespace gdi {

namespace {

// Debian's fonts-wine puts a free Tahoma here, a folder fontconfig does not
// search by default; the pages were laid out for its metrics.
const char kWineFonts[] = "/usr/share/wine/fonts";

// A family that is always there, for faces that are not installed.
const char kFallbackFamily[] = "DejaVu Sans";

std::string FamilyFor(const char* face)
{
    std::string f = face ? face : "";
    // The dialog font's alias, as Windows resolves it.
    if (strcasecmp(f.c_str(), "MS Shell Dlg") == 0 || strcasecmp(f.c_str(), "MS Shell Dlg 2") == 0 ||
        strcasecmp(f.c_str(), "MS Sans Serif") == 0 || f.empty())
        return "Tahoma";
    return f;
}

}  // namespace

void EnsureFontsConfigured()
{
    static std::once_flag once;
    std::call_once(once, [] {
        FcInit();
        struct stat st;
        if (stat(kWineFonts, &st) == 0 && S_ISDIR(st.st_mode))
            FcConfigAppFontAddDir(nullptr, reinterpret_cast<const FcChar8*>(kWineFonts));
    });
}

Font::~Font()
{
    if (scaled) cairo_scaled_font_destroy(scaled);
}

namespace {

// Is the family (as the user asked for it) really installed? fontconfig
// always matches something; a face that is not there falls back.
bool FamilyInstalled(const std::string& family)
{
    FcPattern* p = FcPatternCreate();
    FcPatternAddString(p, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcObjectSet* os = FcObjectSetBuild(FC_FAMILY, nullptr);
    FcFontSet* set = FcFontList(nullptr, p, os);
    bool found = set && set->nfont > 0;
    if (set) FcFontSetDestroy(set);
    FcObjectSetDestroy(os);
    FcPatternDestroy(p);
    return found;
}

cairo_scaled_font_t* MakeScaled(cairo_font_face_t* face, double em)
{
    cairo_matrix_t matrix, ctm;
    cairo_matrix_init_scale(&matrix, em, em);
    cairo_matrix_init_identity(&ctm);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_scaled_font_t* scaled = cairo_scaled_font_create(face, &matrix, &ctm, options);
    cairo_font_options_destroy(options);
    if (cairo_scaled_font_status(scaled) != CAIRO_STATUS_SUCCESS) {
        cairo_scaled_font_destroy(scaled);
        return nullptr;
    }
    return scaled;
}

}  // namespace

bool ResolveFont(Font* font)
{
    if (font->resolved) return font->scaled != nullptr;
    font->resolved = true;
    EnsureFontsConfigured();
    std::string family = FamilyFor(font->log.lfFaceName);
    if (!FamilyInstalled(family)) family = kFallbackFamily;

    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(kFallbackFamily));
    int weight = font->log.lfWeight >= 600 ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR;
    FcPatternAddInteger(pattern, FC_WEIGHT, weight);
    FcPatternAddInteger(pattern, FC_SLANT, font->log.lfItalic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return false;
    FcChar8* matched = nullptr;
    if (FcPatternGetString(match, FC_FAMILY, 0, &matched) == FcResultMatch && matched)
        font->family = reinterpret_cast<const char*>(matched);
    cairo_font_face_t* face = cairo_ft_font_face_create_for_pattern(match);
    FcPatternDestroy(match);
    if (cairo_font_face_status(face) != CAIRO_STATUS_SUCCESS) {
        cairo_font_face_destroy(face);
        return false;
    }

    // A positive height is the cell height (ascent + descent), a negative
    // one the character height (the em); 0 is a default size.
    int h = font->log.lfHeight;
    if (h == 0) h = -12;
    double em = -h;
    if (h > 0) {
        cairo_scaled_font_t* probe = MakeScaled(face, 1000.0);
        if (!probe) {
            cairo_font_face_destroy(face);
            return false;
        }
        cairo_font_extents_t fe;
        cairo_scaled_font_extents(probe, &fe);
        cairo_scaled_font_destroy(probe);
        double cell = fe.ascent + fe.descent;
        em = cell > 0 ? h * 1000.0 / cell : h;
    }
    font->scaled = MakeScaled(face, em);
    cairo_font_face_destroy(face);
    if (!font->scaled) return false;
    cairo_font_extents_t fe;
    cairo_scaled_font_extents(font->scaled, &fe);
    font->ascent = static_cast<int>(std::lround(fe.ascent));
    font->height = h > 0 ? h : static_cast<int>(std::lround(fe.ascent + fe.descent));
    font->descent = std::max(0, font->height - font->ascent);
    cairo_text_extents_t te;
    cairo_scaled_font_text_extents(font->scaled, "x", &te);
    font->aveCharWidth = static_cast<int>(std::lround(te.x_advance));
    return true;
}

int TextWidth(Font* font, const std::string& cp1252)
{
    if (cp1252.empty() || !ResolveFont(font)) return 0;
    std::string utf8 = Cp1252ToUtf8(cp1252);
    cairo_text_extents_t te;
    cairo_scaled_font_text_extents(font->scaled, utf8.c_str(), &te);
    return static_cast<int>(std::lround(te.x_advance));
}

// Draws one line with its cell's top-left corner at (x, y), in the DC's text
// colour, over a box of the background colour when the mode is opaque.
void DrawTextLine(Dc* dc, int x, int y, const std::string& cp1252, const RECT* clipRect)
{
    Font* font = dc->font ? dc->font : DefaultFont();
    if (!ResolveFont(font)) return;
    Target t = TargetOf(dc);
    if (!t.valid) return;
    int width = TextWidth(font, cp1252);
    RECT box = {x, y, x + width, y + font->height};
    RECT clip = t.clip;
    if (clipRect) {
        clip.left = std::max(clip.left, clipRect->left);
        clip.top = std::max(clip.top, clipRect->top);
        clip.right = std::min(clip.right, clipRect->right);
        clip.bottom = std::min(clip.bottom, clipRect->bottom);
    }
    if (dc->bkMode == OPAQUE) {
        RECT cell = box;
        cell.left = std::max(cell.left, clip.left);
        cell.top = std::max(cell.top, clip.top);
        cell.right = std::min(cell.right, clip.right);
        cell.bottom = std::min(cell.bottom, clip.bottom);
        if (cell.left < cell.right && cell.top < cell.bottom) FillPixels(dc, cell, dc->bkColour);
        t = TargetOf(dc);
    }
    // Glyphs may reach past their cell (descenders of small sizes, italics,
    // overhangs); as on Windows they are not cut at the cell, only by the
    // clipping.
    const int margin = std::max(2, font->height / 2);
    RECT r = {box.left - margin, box.top - margin, box.right + margin, box.bottom + margin};
    r.left = std::max(r.left, clip.left);
    r.top = std::max(r.top, clip.top);
    r.right = std::min(r.right, clip.right);
    r.bottom = std::min(r.bottom, clip.bottom);
    if (r.left >= r.right || r.top >= r.bottom) return;
    const int w = r.right - r.left, h = r.bottom - r.top;
    cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
    if (cairo_surface_status(mask) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(mask);
        return;
    }
    cairo_t* cr = cairo_create(mask);
    cairo_set_scaled_font(cr, font->scaled);
    cairo_move_to(cr, x - r.left, y - r.top + font->ascent);
    std::string utf8 = Cp1252ToUtf8(cp1252);
    cairo_show_text(cr, utf8.c_str());
    cairo_destroy(cr);
    cairo_surface_flush(mask);
    const uint8_t* a = cairo_image_surface_get_data(mask);
    const int mstride = cairo_image_surface_get_stride(mask);
    const uint32_t fg = ToPixel(dc->textColour);
    const uint8_t fgBit = MonoOf(dc->textColour);
    for (int yy = 0; yy < h; ++yy) {
        for (int xx = 0; xx < w; ++xx) {
            unsigned alpha = a[yy * mstride + xx];
            if (!alpha) continue;
            int px = r.left + xx + t.origin.x, py = r.top + yy + t.origin.y;
            if (t.mono) {
                if (alpha >= 128) t.bits[static_cast<size_t>(py) * t.width + px] = fgBit;
                continue;
            }
            uint32_t& p = t.colour[static_cast<size_t>(py) * t.stride + px];
            uint32_t out = 0;
            for (int shift = 0; shift <= 16; shift += 8) {
                unsigned d = (p >> shift) & 0xFF, s = (fg >> shift) & 0xFF;
                out |= ((d * (255 - alpha) + s * alpha + 127) / 255) << shift;
            }
            p = 0xFF000000u | out;
        }
    }
    cairo_surface_destroy(mask);
    Done(t);
}

namespace {

// '&' marks the next character as a keyboard mnemonic and is not drawn;
// "&&" is one '&'.
std::string StripPrefix(const std::string& s)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '&') {
            if (i + 1 < s.size() && s[i + 1] == '&') {
                out += '&';
                ++i;
            }
            continue;
        }
        out += s[i];
    }
    return out;
}

// Splits the text into the lines DrawText draws: at line feeds (unless
// single-line) and, with word breaks, where the next word would pass the
// width. A word wider than the width keeps a line of its own.
std::vector<std::string> Lines(Font* font, const std::string& text, UINT format, int maxWidth)
{
    std::vector<std::string> paragraphs;
    if (format & DT_SINGLELINE) {
        std::string one;
        for (char c : text)
            if (c != '\r' && c != '\n') one += c;
        paragraphs.push_back(one);
    } else {
        std::string cur;
        for (size_t i = 0; i < text.size(); ++i) {
            char c = text[i];
            if (c == '\r') {
                if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
                paragraphs.push_back(cur);
                cur.clear();
            } else if (c == '\n') {
                paragraphs.push_back(cur);
                cur.clear();
            } else {
                cur += c;
            }
        }
        paragraphs.push_back(cur);
    }
    if (!(format & DT_WORDBREAK) || (format & DT_SINGLELINE)) return paragraphs;

    std::vector<std::string> lines;
    for (const std::string& para : paragraphs) {
        std::string line;
        size_t i = 0;
        bool any = false;
        while (i < para.size()) {
            // The next word with the blanks before it.
            size_t start = i;
            while (i < para.size() && para[i] == ' ') ++i;
            size_t wordStart = i;
            while (i < para.size() && para[i] != ' ') ++i;
            std::string blanks = para.substr(start, wordStart - start);
            std::string word = para.substr(wordStart, i - wordStart);
            std::string candidate = line + blanks + word;
            if (!any || TextWidth(font, candidate) <= maxWidth) {
                line = candidate;
                any = true;
            } else {
                lines.push_back(line);
                // Blanks at a break are dropped.
                line = word;
            }
        }
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

}  // namespace gdi
}  // namespace zq

using namespace zq::gdi;

BOOL TextOutA(HDC handle, int x, int y, LPCSTR text, int length)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Dc* dc = LookupDc(handle);
    if (!dc || (!text && length > 0)) return FALSE;
    if (length <= 0) return TRUE;
    DrawTextLine(dc, x, y, std::string(text, static_cast<size_t>(length)), nullptr);
    return TRUE;
}

BOOL GetTextExtentPoint32A(HDC handle, LPCSTR text, int length, LPSIZE size)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Dc* dc = LookupDc(handle);
    if (!dc || !size || (!text && length > 0)) return FALSE;
    Font* font = dc->font ? dc->font : DefaultFont();
    if (!ResolveFont(font)) return FALSE;
    size->cx = length > 0 ? TextWidth(font, std::string(text, static_cast<size_t>(length))) : 0;
    size->cy = font->height;
    return TRUE;
}

BOOL GetTextMetricsA(HDC handle, LPTEXTMETRICA tm)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Dc* dc = LookupDc(handle);
    if (!dc || !tm) return FALSE;
    Font* font = dc->font ? dc->font : DefaultFont();
    if (!ResolveFont(font)) return FALSE;
    std::memset(tm, 0, sizeof(*tm));
    tm->tmHeight = font->height;
    tm->tmAscent = font->ascent;
    tm->tmDescent = font->descent;
    tm->tmAveCharWidth = font->aveCharWidth;
    tm->tmMaxCharWidth = font->aveCharWidth * 2;
    tm->tmWeight = font->log.lfWeight;
    return TRUE;
}

int DrawTextA(HDC handle, LPCSTR text, int length, LPRECT rect, UINT format)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Dc* dc = LookupDc(handle);
    if (!dc || !rect || !text) return 0;
    std::string s = length < 0 ? std::string(text) : std::string(text, static_cast<size_t>(length));
    if (!(format & DT_NOPREFIX)) s = StripPrefix(s);
    Font* font = dc->font ? dc->font : DefaultFont();
    if (!ResolveFont(font)) return 0;
    const int W = rect->right - rect->left;
    std::vector<std::string> lines = Lines(font, s, format, W);
    std::vector<int> widths;
    int widest = 0;
    for (const std::string& l : lines) {
        widths.push_back(TextWidth(font, l));
        widest = std::max(widest, widths.back());
    }
    const int lineHeight = font->height;
    const int total = lineHeight * static_cast<int>(lines.size());
    if (format & DT_CALCRECT) {
        // The rectangle keeps its left and top and takes the text's extent.
        rect->right = rect->left + widest;
        rect->bottom = rect->top + total;
        return total;
    }
    int top = rect->top;
    if (format & DT_SINGLELINE) {
        if (format & DT_VCENTER)
            top = rect->top + (rect->bottom - rect->top - lineHeight) / 2;
        else if (format & DT_BOTTOM)
            top = rect->bottom - lineHeight;
    }
    // The rectangle clips, but the glyphs' overhang past the line cells
    // (descenders) stays visible, as Windows' glyphs fit their cells.
    RECT clipRect = *rect;
    const int overhang = std::max(2, lineHeight / 4);
    ::InflateRect(&clipRect, overhang, overhang);
    const RECT* clip = (format & DT_NOCLIP) ? nullptr : &clipRect;
    for (size_t i = 0; i < lines.size(); ++i) {
        int x = rect->left;
        if (format & DT_CENTER)
            x = rect->left + (W - widths[i]) / 2;
        else if (format & DT_RIGHT)
            x = rect->right - widths[i];
        int y = top + static_cast<int>(i) * lineHeight;
        if (!lines[i].empty()) DrawTextLine(dc, x, y, lines[i], clip);
    }
    if (format & (DT_VCENTER | DT_BOTTOM)) return top - rect->top + total;
    return total;
}

#if defined(__SANITIZE_ADDRESS__)
// fontconfig keeps a few blocks of its configuration parse unreachable for
// the life of the process; that is the library's, not ours.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
#endif
