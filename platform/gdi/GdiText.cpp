// Fonts through fontconfig and cairo, and the text calls: TextOut, DrawText,
// the text extent. Texts are Windows-1252 and drawn as UTF-8.
#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <tuple>
#include <strings.h>
#include <sys/stat.h>

#include "platform/base/DebugChannel.h"
#include "platform/gdi/GdiInternal.h"
#include "platform/gdi/WindowSurface.h"
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
        if (!FcInit())
            DebugFailure(DebugArea::Gdi, "FcInit", nullptr, 0);
        struct stat st;
        if (stat(kWineFonts, &st) == 0 && S_ISDIR(st.st_mode) &&
            !FcConfigAppFontAddDir(nullptr, reinterpret_cast<const FcChar8*>(kWineFonts)))
            DebugFailure(DebugArea::Gdi, "FcConfigAppFontAddDir", kWineFonts, 0);
    });
}

Font::~Font()
{
    if (drawn && drawn != scaled)
        cairo_scaled_font_destroy(drawn);
    if (scaled)
        cairo_scaled_font_destroy(scaled);
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
    if (set)
        FcFontSetDestroy(set);
    FcObjectSetDestroy(os);
    FcPatternDestroy(p);
    return found;
}

void SetBool(FcPattern* p, const char* object, bool value)
{
    FcPatternDel(p, object);
    FcPatternAddBool(p, object, value ? FcTrue : FcFalse);
}

// The face fontconfig picks for the family, weight and slant, with the
// rendering fixed here rather than left to the system's configuration, so
// the layout is the same on every machine. With outlines only, embedded
// bitmap strikes are not used; emboldened, the glyphs are drawn heavier.
cairo_font_face_t* MatchFace(const std::string& family, int fcWeight, bool italic, bool outlinesOnly, bool embolden)
{
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(kFallbackFamily));
    FcPatternAddInteger(pattern, FC_WEIGHT, fcWeight);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) {
        DebugPrintf(DebugArea::Gdi, "FcFontMatch(\"%s\"): no font", family.c_str());
        return nullptr;
    }
    SetBool(match, FC_EMBEDDED_BITMAP, !outlinesOnly);
    SetBool(match, FC_EMBOLDEN, embolden);
    SetBool(match, FC_HINTING, true);
    FcPatternDel(match, FC_HINT_STYLE);
    FcPatternAddInteger(match, FC_HINT_STYLE, FC_HINT_SLIGHT);
    SetBool(match, FC_ANTIALIAS, true);
    cairo_font_face_t* face = cairo_ft_font_face_create_for_pattern(match);
    FcPatternDestroy(match);
    if (cairo_status_t status = cairo_font_face_status(face); status != CAIRO_STATUS_SUCCESS) {
        DebugPrintf(DebugArea::Gdi, "cairo_ft_font_face_create_for_pattern(\"%s\"): %s", family.c_str(),
                    cairo_status_to_string(status));
        cairo_font_face_destroy(face);
        return nullptr;
    }
    return face;
}

cairo_scaled_font_t* MakeScaled(cairo_font_face_t* face, double em)
{
    if (!face)
        return nullptr;
    cairo_matrix_t matrix, ctm;
    cairo_matrix_init_scale(&matrix, em, em);
    cairo_matrix_init_identity(&ctm);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_scaled_font_t* scaled = cairo_scaled_font_create(face, &matrix, &ctm, options);
    cairo_font_options_destroy(options);
    if (cairo_status_t status = cairo_scaled_font_status(scaled); status != CAIRO_STATUS_SUCCESS) {
        DebugPrintf(DebugArea::Gdi, "cairo_scaled_font_create(%g): %s", em, cairo_status_to_string(status));
        cairo_scaled_font_destroy(scaled);
        return nullptr;
    }
    return scaled;
}

// The vertical metrics Windows builds a font's cell from, in font units:
// the OS/2 table's usWinAscent and usWinDescent, hhea's ascender and
// descender for a face without an OS/2 table.
struct FaceMetrics {
    double unitsPerEm = 0;
    double ascent = 0;
    double descent = 0;
    double averageWidth = 0;  // OS/2 xAvgCharWidth; 0 when unknown
    double maxWidth = 0;      // hhea advanceWidthMax
};

FaceMetrics MetricsOf(cairo_font_face_t* face)
{
    FaceMetrics m;
    cairo_scaled_font_t* probe = MakeScaled(face, 100.0);
    if (!probe)
        return m;
    FT_Face ft = cairo_ft_scaled_font_lock_face(probe);
    if (ft) {
        m.unitsPerEm = ft->units_per_EM;
        const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2));
        const auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(ft, FT_SFNT_HHEA));
        if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
            m.ascent = os2->usWinAscent;
            m.descent = os2->usWinDescent;
            m.averageWidth = os2->xAvgCharWidth;
        } else if (hhea && hhea->Ascender - hhea->Descender > 0) {
            m.ascent = hhea->Ascender;
            m.descent = -hhea->Descender;
        } else {
            m.ascent = ft->ascender;
            m.descent = -ft->descender;
        }
        if (hhea)
            m.maxWidth = hhea->advance_Width_Max;
        cairo_ft_scaled_font_unlock_face(probe);
    }
    cairo_scaled_font_destroy(probe);
    if (m.unitsPerEm <= 0 || m.ascent + m.descent <= 0)
        m = FaceMetrics();
    return m;
}

// How wide a vertical stroke is drawn: the ink of "l" across its rows, the
// median over the rows that have ink, in pixels.
double StemWidth(cairo_scaled_font_t* scaled, double em)
{
    const int size = static_cast<int>(std::ceil(em)) * 2 + 4;
    cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, size, size);
    cairo_t* cr = cairo_create(mask);
    cairo_set_scaled_font(cr, scaled);
    cairo_move_to(cr, 2, size - em / 2 - 2);
    cairo_show_text(cr, "l");
    cairo_destroy(cr);
    cairo_surface_flush(mask);
    const uint8_t* a = cairo_image_surface_get_data(mask);
    const int stride = cairo_image_surface_get_stride(mask);
    std::vector<double> rows;
    for (int y = 0; a && y < size; ++y) {
        unsigned sum = 0;
        for (int x = 0; x < size; ++x)
            sum += a[y * stride + x];
        if (sum)
            rows.push_back(sum / 255.0);
    }
    cairo_surface_destroy(mask);
    if (rows.empty())
        return 0;
    std::nth_element(rows.begin(), rows.begin() + rows.size() / 2, rows.end());
    return rows[rows.size() / 2];
}

// A bold stroke at least this much heavier than the regular one reads as
// bold; a bold face that draws lighter is emboldened.
const double kBoldStem = 1.2;

// A resolved font, shared by every font object asking for the same face,
// weight, slant and height: the pages create and delete their fonts on
// each paint.
struct Resolved {
    cairo_scaled_font_t* scaled = nullptr;
    cairo_scaled_font_t* drawn = nullptr;
    int ascent = 0, descent = 0, height = 0, em = 0, aveCharWidth = 0, maxCharWidth = 0;
};

// The metrics of a resolved font from its face's, for the height asked
// for (h: the cell when positive, the em when negative) at that em.
void SetMetrics(const FaceMetrics& m, int h, double em, Resolved* out)
{
    const double scale = em / m.unitsPerEm;
    out->em = static_cast<int>(std::lround(em));
    out->ascent = static_cast<int>(std::lround(m.ascent * scale));
    if (h > 0) {
        out->height = h;
        out->descent = std::max(0, h - out->ascent);
    } else {
        out->descent = static_cast<int>(std::lround(m.descent * scale));
        out->height = out->ascent + out->descent;
    }
    if (m.averageWidth > 0) {
        out->aveCharWidth = static_cast<int>(std::lround(m.averageWidth * scale));
    } else {
        cairo_text_extents_t te;
        cairo_scaled_font_text_extents(out->scaled, "x", &te);
        out->aveCharWidth = static_cast<int>(std::lround(te.x_advance));
    }
    out->maxCharWidth = m.maxWidth > 0 ? static_cast<int>(std::lround(m.maxWidth * scale)) : out->aveCharWidth * 2;
}

// A bold face that draws no heavier than the regular one (bitmap strikes
// drawn at regular weight, or a family without a bold face) is drawn from
// the regular outlines, emboldened, at the bold face's advances, so the
// text keeps its layout. That emboldened font, or null when the bold face
// is heavy enough (or no font could be made).
cairo_scaled_font_t* EmboldenedIfLight(const std::string& family, bool italic, double em,
                                       cairo_scaled_font_t* boldScaled)
{
    cairo_font_face_t* regularFace = MatchFace(family, FC_WEIGHT_REGULAR, italic, false, false);
    cairo_scaled_font_t* regular = MakeScaled(regularFace, em);
    if (regularFace)
        cairo_font_face_destroy(regularFace);
    if (!regular)
        return nullptr;
    cairo_scaled_font_t* heavy = nullptr;
    const double regularStem = StemWidth(regular, em);
    const double boldStem = StemWidth(boldScaled, em);
    if (regularStem > 0 && boldStem < kBoldStem * regularStem) {
        cairo_font_face_t* outlines = MatchFace(family, FC_WEIGHT_REGULAR, italic, true, true);
        heavy = MakeScaled(outlines, em);
        if (outlines)
            cairo_font_face_destroy(outlines);
    }
    cairo_scaled_font_destroy(regular);
    return heavy;
}

bool Resolve(const LOGFONTA& log, Resolved* out)
{
    std::string family = FamilyFor(log.lfFaceName);
    if (!FamilyInstalled(family))
        family = kFallbackFamily;
    const bool bold = log.lfWeight >= FW_SEMIBOLD;
    const bool italic = log.lfItalic != 0;
    cairo_font_face_t* face = MatchFace(family, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR, italic, false, false);
    if (!face)
        return false;
    const FaceMetrics m = MetricsOf(face);
    if (m.unitsPerEm <= 0) {
        cairo_font_face_destroy(face);
        return false;
    }

    // A positive height is the cell (the Windows ascent plus descent), a
    // negative one the character height (the em); 0 is a default size.
    int h = log.lfHeight;
    if (h == 0)
        h = -12;
    const double em = h > 0 ? h * m.unitsPerEm / (m.ascent + m.descent) : -h;
    out->scaled = MakeScaled(face, em);
    cairo_font_face_destroy(face);
    if (!out->scaled)
        return false;
    out->drawn = out->scaled;
    SetMetrics(m, h, em, out);
    if (bold) {
        cairo_scaled_font_t* heavy = EmboldenedIfLight(family, italic, em, out->scaled);
        if (heavy)
            out->drawn = heavy;
    }
    return true;
}

}  // namespace

bool ResolveFont(Font* font)
{
    if (font->resolved)
        return font->scaled != nullptr;
    font->resolved = true;
    EnsureFontsConfigured();

    struct Key {
        std::string face;
        LONG height;
        bool bold, italic;
        bool operator<(const Key& o) const
        {
            return std::tie(face, height, bold, italic) < std::tie(o.face, o.height, o.bold, o.italic);
        }
    };
    static std::mutex mutex;
    // Kept for the life of the process, as the fonts' own caches are.
    static auto* cache = new std::map<Key, Resolved>();
    char name[LF_FACESIZE + 1] = {};
    std::memcpy(name, font->log.lfFaceName, LF_FACESIZE);
    Key key{name, font->log.lfHeight, font->log.lfWeight >= FW_SEMIBOLD, font->log.lfItalic != 0};

    std::lock_guard<std::mutex> g(mutex);
    auto it = cache->find(key);
    if (it == cache->end()) {
        Resolved r;
        if (!Resolve(font->log, &r))
            return false;
        it = cache->emplace(key, r).first;
    }
    const Resolved& r = it->second;
    font->scaled = cairo_scaled_font_reference(r.scaled);
    font->drawn = r.drawn == r.scaled ? font->scaled : cairo_scaled_font_reference(r.drawn);
    font->ascent = r.ascent;
    font->descent = r.descent;
    font->height = r.height;
    font->em = r.em;
    font->aveCharWidth = r.aveCharWidth;
    font->maxCharWidth = r.maxCharWidth;
    return true;
}

int TextWidth(Font* font, const std::string& cp1252)
{
    if (cp1252.empty() || !ResolveFont(font))
        return 0;
    std::string utf8 = Cp1252ToUtf8(cp1252);
    cairo_text_extents_t te;
    cairo_scaled_font_text_extents(font->scaled, utf8.c_str(), &te);
    return static_cast<int>(std::lround(te.x_advance));
}

namespace {

// Shows the text with its baseline starting at (x, y): the glyphs of the
// font's drawing face at the advances of its layout face.
void ShowText(cairo_t* cr, Font* font, double x, double y, const std::string& utf8)
{
    cairo_glyph_t* placed = nullptr;
    int count = 0;
    if (cairo_scaled_font_text_to_glyphs(font->scaled, x, y, utf8.c_str(), static_cast<int>(utf8.size()), &placed,
                                         &count, nullptr, nullptr, nullptr) != CAIRO_STATUS_SUCCESS)
        return;
    cairo_scaled_font_t* drawn = font->scaled;
    if (font->drawn != font->scaled) {
        cairo_glyph_t* glyphs = nullptr;
        int n = 0;
        // One glyph per character in both faces, so the glyphs of the
        // drawing face take the places of the layout face, each centred on
        // the advance it replaces.
        if (cairo_scaled_font_text_to_glyphs(font->drawn, x, y, utf8.c_str(), static_cast<int>(utf8.size()), &glyphs,
                                             &n, nullptr, nullptr, nullptr) == CAIRO_STATUS_SUCCESS &&
            n == count) {
            for (int i = 0; i < n; ++i) {
                cairo_text_extents_t slot, glyph;
                cairo_scaled_font_glyph_extents(font->scaled, &placed[i], 1, &slot);
                cairo_scaled_font_glyph_extents(font->drawn, &glyphs[i], 1, &glyph);
                placed[i].index = glyphs[i].index;
                placed[i].x += std::floor((slot.x_advance - glyph.x_advance) / 2);
            }
            drawn = font->drawn;
        }
        cairo_glyph_free(glyphs);
    }
    cairo_set_scaled_font(cr, drawn);
    cairo_show_glyphs(cr, placed, count);
    cairo_glyph_free(placed);
}

}  // namespace

// Draws one line with its cell's top-left corner at (x, y), in the DC's text
// colour, over a box of the background colour when the mode is opaque.
void DrawTextLine(Dc* dc, int x, int y, const std::string& cp1252, const RECT* clipRect)
{
    Font* font = dc->font ? dc->font : DefaultFont();
    if (!ResolveFont(font))
        return;
    Target t = TargetOf(dc);
    if (!t.valid)
        return;
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
        if (cell.left < cell.right && cell.top < cell.bottom)
            FillPixels(dc, cell, dc->bkColour);
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
    if (r.left >= r.right || r.top >= r.bottom)
        return;
    const int w = r.right - r.left, h = r.bottom - r.top;
    cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
    if (cairo_surface_status(mask) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(mask);
        return;
    }
    cairo_t* cr = cairo_create(mask);
    ShowText(cr, font, x - r.left, y - r.top + font->ascent, Cp1252ToUtf8(cp1252));
    cairo_destroy(cr);
    cairo_surface_flush(mask);
    const uint8_t* a = cairo_image_surface_get_data(mask);
    const int mstride = cairo_image_surface_get_stride(mask);
    const uint32_t fg = ToPixel(dc->textColour);
    for (int yy = 0; yy < h; ++yy)
        for (int xx = 0; xx < w; ++xx)
            BlendPixel(t, r.left + xx + t.origin.x, r.top + yy + t.origin.y, fg, a[yy * mstride + xx]);
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
            if (c != '\r' && c != '\n')
                one += c;
        paragraphs.push_back(one);
    } else {
        std::string cur;
        for (size_t i = 0; i < text.size(); ++i) {
            char c = text[i];
            if (c == '\r') {
                if (i + 1 < text.size() && text[i + 1] == '\n')
                    ++i;
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
    if (!(format & DT_WORDBREAK) || (format & DT_SINGLELINE))
        return paragraphs;

    std::vector<std::string> lines;
    for (const std::string& para : paragraphs) {
        std::string line;
        size_t i = 0;
        bool any = false;
        while (i < para.size()) {
            // The next word with the blanks before it.
            size_t start = i;
            while (i < para.size() && para[i] == ' ')
                ++i;
            size_t wordStart = i;
            while (i < para.size() && para[i] != ' ')
                ++i;
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
    if (!dc || (!text && length > 0))
        return FALSE;
    if (length <= 0)
        return TRUE;
    DrawTextLine(dc, x, y, std::string(text, static_cast<size_t>(length)), nullptr);
    return TRUE;
}

BOOL GetTextExtentPoint32A(HDC handle, LPCSTR text, int length, LPSIZE size)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Dc* dc = LookupDc(handle);
    if (!dc || !size || (!text && length > 0))
        return FALSE;
    Font* font = dc->font ? dc->font : DefaultFont();
    if (!ResolveFont(font))
        return FALSE;
    size->cx = length > 0 ? TextWidth(font, std::string(text, static_cast<size_t>(length))) : 0;
    size->cy = font->height;
    return TRUE;
}

BOOL GetTextMetricsA(HDC handle, LPTEXTMETRICA tm)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Dc* dc = LookupDc(handle);
    if (!dc || !tm)
        return FALSE;
    Font* font = dc->font ? dc->font : DefaultFont();
    if (!ResolveFont(font))
        return FALSE;
    std::memset(tm, 0, sizeof(*tm));
    tm->tmHeight = font->height;
    tm->tmAscent = font->ascent;
    tm->tmDescent = font->descent;
    tm->tmInternalLeading = std::max(0, font->height - font->em);
    tm->tmAveCharWidth = font->aveCharWidth;
    tm->tmMaxCharWidth = font->maxCharWidth;
    tm->tmWeight = font->log.lfWeight;
    return TRUE;
}

int DrawTextA(HDC handle, LPCSTR text, int length, LPRECT rect, UINT format)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Dc* dc = LookupDc(handle);
    if (!dc || !rect || !text)
        return 0;
    std::string s = length < 0 ? std::string(text) : std::string(text, static_cast<size_t>(length));
    if (!(format & DT_NOPREFIX))
        s = StripPrefix(s);
    Font* font = dc->font ? dc->font : DefaultFont();
    if (!ResolveFont(font))
        return 0;
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
        if (!lines[i].empty())
            DrawTextLine(dc, x, y, lines[i], clip);
    }
    if (format & (DT_VCENTER | DT_BOTTOM))
        return top - rect->top + total;
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
