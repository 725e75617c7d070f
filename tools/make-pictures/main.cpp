// Draws the program's pictures (background, button pictures, flags, icon)
// and writes them as a C++ source that registers them as resources.
// Usage: make-pictures <output.cpp> [folder for PNG copies to look at]
#include <cairo.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

struct Rgb {
    int r, g, b;
};

// The palette of the wizard window.
const Rgb kSlate = {51, 67, 76};         // dark text and banner
const Rgb kHoverFace = {137, 148, 160};  // button face while hovered
const Rgb kFace = {207, 215, 217};       // button face otherwise
const Rgb kWhite = {255, 255, 255};
const Rgb kAccent = {214, 120, 40};
const Rgb kGrey = {168, 170, 172};

struct Picture {
    int id;
    const char* name;
    bool icon;
    int width, height;
    std::vector<uint32_t> argb;
};

uint32_t Pack(Rgb c, int a = 255)
{
    return (static_cast<uint32_t>(a) << 24) | (c.r << 16) | (c.g << 8) | c.b;
}

// Renders a shape's coverage (cairo path drawn by the callback, filled in
// white) into an A8 mask.
std::vector<uint8_t> Coverage(int w, int h, const std::function<void(cairo_t*)>& path)
{
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
    cairo_t* cr = cairo_create(s);
    path(cr);
    cairo_destroy(cr);
    cairo_surface_flush(s);
    std::vector<uint8_t> out(static_cast<size_t>(w) * h);
    const uint8_t* d = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            out[static_cast<size_t>(y) * w + x] = d[y * stride + x];
    cairo_surface_destroy(s);
    return out;
}

Rgb Mix(Rgb a, Rgb b, int alpha)
{
    return {(a.r * (255 - alpha) + b.r * alpha + 127) / 255, (a.g * (255 - alpha) + b.g * alpha + 127) / 255,
            (a.b * (255 - alpha) + b.b * alpha + 127) / 255};
}

// A button picture: a round badge with a symbol. Pixels outside the badge
// take the key colour; its anti-aliased rim is blended against the face
// colour the button shows behind it, so the edge looks smooth there.
Picture Button(int id, const char* name, Rgb key, Rgb face, Rgb badge, Rgb symbol,
               const std::function<void(cairo_t*)>& drawSymbol)
{
    const int n = 17;
    auto disc = Coverage(n, n, [](cairo_t* cr) {
        cairo_arc(cr, 8.5, 8.5, 8.0, 0, 2 * M_PI);
        cairo_fill(cr);
    });
    auto sym = Coverage(n, n, drawSymbol);
    Picture p{id, name, false, n, n, {}};
    for (int i = 0; i < n * n; ++i) {
        if (disc[i] == 0) {
            p.argb.push_back(Pack(key));
            continue;
        }
        Rgb c = Mix(face, badge, disc[i]);
        c = Mix(c, symbol, sym[i]);
        // Never the key colour by accident.
        if (c.r == key.r && c.g == key.g && c.b == key.b)
            c.b ^= 1;
        p.argb.push_back(Pack(c));
    }
    return p;
}

void Triangle(cairo_t* cr, bool right)
{
    if (right) {
        cairo_move_to(cr, 6.5, 4.5);
        cairo_line_to(cr, 12.5, 8.5);
        cairo_line_to(cr, 6.5, 12.5);
    } else {
        cairo_move_to(cr, 10.5, 4.5);
        cairo_line_to(cr, 4.5, 8.5);
        cairo_line_to(cr, 10.5, 12.5);
    }
    cairo_close_path(cr);
    cairo_fill(cr);
}

void Dots(cairo_t* cr)
{
    for (double x : {4.5, 8.5, 12.5}) {
        cairo_arc(cr, x, 8.5, 1.5, 0, 2 * M_PI);
        cairo_fill(cr);
    }
}

void Cross(cairo_t* cr)
{
    cairo_set_line_width(cr, 2.0);
    cairo_move_to(cr, 5.5, 5.5);
    cairo_line_to(cr, 11.5, 11.5);
    cairo_move_to(cr, 11.5, 5.5);
    cairo_line_to(cr, 5.5, 11.5);
    cairo_stroke(cr);
}

void Gear(cairo_t* cr)
{
    cairo_set_line_width(cr, 2.0);
    for (int i = 0; i < 4; ++i) {
        double a = i * M_PI / 4;
        cairo_move_to(cr, 8.5 + 5 * std::cos(a), 8.5 + 5 * std::sin(a));
        cairo_line_to(cr, 8.5 - 5 * std::cos(a), 8.5 - 5 * std::sin(a));
    }
    cairo_stroke(cr);
    cairo_arc(cr, 8.5, 8.5, 3.5, 0, 2 * M_PI);
    cairo_fill(cr);
}

std::vector<uint32_t> Render(int w, int h, const std::function<void(cairo_t*)>& draw, bool alpha)
{
    cairo_surface_t* s = cairo_image_surface_create(alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, w, h);
    cairo_t* cr = cairo_create(s);
    draw(cr);
    cairo_destroy(cr);
    cairo_surface_flush(s);
    std::vector<uint32_t> out;
    const uint8_t* d = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t p = reinterpret_cast<const uint32_t*>(d + y * stride)[x];
            if (!alpha) {
                out.push_back(0xFF000000u | p);
                continue;
            }
            // cairo keeps premultiplied colour; resources hold straight alpha.
            uint32_t a = p >> 24;
            if (a == 0) {
                out.push_back(0);
                continue;
            }
            uint32_t r = ((p >> 16) & 0xFF) * 255 / a, g = ((p >> 8) & 0xFF) * 255 / a, b = (p & 0xFF) * 255 / a;
            out.push_back((a << 24) | (r << 16) | (g << 8) | b);
        }
    cairo_surface_destroy(s);
    return out;
}

void SetColour(cairo_t* cr, Rgb c, double a = 1.0)
{
    cairo_set_source_rgba(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0, a);
}

// 650 x 500: a dark banner with signal arcs, a white page where the texts
// are painted, and a light band behind the buttons.
Picture Background()
{
    Picture p{129, "IDB_BACKGROUND", false, 650, 500, {}};
    p.argb = Render(
        650, 500,
        [](cairo_t* cr) {
            SetColour(cr, kWhite);
            cairo_paint(cr);
            SetColour(cr, kSlate);
            cairo_rectangle(cr, 0, 0, 650, 62);
            cairo_fill(cr);
            SetColour(cr, kAccent);
            cairo_rectangle(cr, 0, 62, 650, 3);
            cairo_fill(cr);
            // A car kit sending: a small device and three arcs, on the right.
            SetColour(cr, kFace);
            cairo_rectangle(cr, 560, 20, 14, 24);
            cairo_fill(cr);
            cairo_set_line_width(cr, 3);
            for (int i = 1; i <= 3; ++i) {
                SetColour(cr, kFace, 1.0 - 0.25 * (i - 1));
                cairo_arc(cr, 567, 32, 10.0 + 9 * i, -M_PI / 4, M_PI / 4);
                cairo_stroke(cr);
            }
            // A thin line under the step list column.
            SetColour(cr, kFace);
            cairo_rectangle(cr, 20, 330, 110, 1);
            cairo_fill(cr);
            // The band behind the buttons.
            SetColour(cr, kHoverFace);
            cairo_rectangle(cr, 0, 446, 650, 1);
            cairo_fill(cr);
            SetColour(cr, kFace);
            cairo_rectangle(cr, 0, 447, 650, 53);
            cairo_fill(cr);
        },
        false);
    return p;
}

Picture GermanFlag()
{
    Picture p{191, "IDB_LANG_GERMAN", false, 32, 20, {}};
    p.argb = Render(
        32, 20,
        [](cairo_t* cr) {
            cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
            SetColour(cr, {0, 0, 0});
            cairo_rectangle(cr, 0, 0, 32, 7);
            cairo_fill(cr);
            SetColour(cr, {221, 0, 0});
            cairo_rectangle(cr, 0, 7, 32, 6);
            cairo_fill(cr);
            SetColour(cr, {255, 206, 0});
            cairo_rectangle(cr, 0, 13, 32, 7);
            cairo_fill(cr);
        },
        false);
    return p;
}

Picture EnglishFlag()
{
    Picture p{192, "IDB_LANG_ENGLISH", false, 32, 20, {}};
    p.argb = Render(
        32, 20,
        [](cairo_t* cr) {
            const Rgb blue = {1, 33, 105}, red = {200, 16, 46};
            SetColour(cr, blue);
            cairo_paint(cr);
            // Diagonals, white with a narrower red line.
            cairo_set_line_width(cr, 4);
            SetColour(cr, kWhite);
            cairo_move_to(cr, 0, 0);
            cairo_line_to(cr, 32, 20);
            cairo_move_to(cr, 32, 0);
            cairo_line_to(cr, 0, 20);
            cairo_stroke(cr);
            cairo_set_line_width(cr, 1.4);
            SetColour(cr, red);
            cairo_move_to(cr, 0, 0);
            cairo_line_to(cr, 32, 20);
            cairo_move_to(cr, 32, 0);
            cairo_line_to(cr, 0, 20);
            cairo_stroke(cr);
            // The upright cross, white edged.
            SetColour(cr, kWhite);
            cairo_rectangle(cr, 13, 0, 6, 20);
            cairo_rectangle(cr, 0, 7, 32, 6);
            cairo_fill(cr);
            SetColour(cr, red);
            cairo_rectangle(cr, 14, 0, 4, 20);
            cairo_rectangle(cr, 0, 8, 32, 4);
            cairo_fill(cr);
        },
        false);
    return p;
}

// 32 x 32 with alpha: a rounded slate square with an upward arrow over a
// bar, the sign of an update.
Picture WindowIcon()
{
    Picture p{128, "IDR_MAINFRAME", true, 32, 32, {}};
    p.argb = Render(
        32, 32,
        [](cairo_t* cr) {
            double r = 6;
            cairo_new_sub_path(cr);
            cairo_arc(cr, 31 - r, 1 + r, r, -M_PI / 2, 0);
            cairo_arc(cr, 31 - r, 31 - r, r, 0, M_PI / 2);
            cairo_arc(cr, 1 + r, 31 - r, r, M_PI / 2, M_PI);
            cairo_arc(cr, 1 + r, 1 + r, r, M_PI, 1.5 * M_PI);
            cairo_close_path(cr);
            SetColour(cr, kSlate);
            cairo_fill(cr);
            SetColour(cr, kWhite);
            cairo_move_to(cr, 16, 5);
            cairo_line_to(cr, 25, 15);
            cairo_line_to(cr, 19.5, 15);
            cairo_line_to(cr, 19.5, 22);
            cairo_line_to(cr, 12.5, 22);
            cairo_line_to(cr, 12.5, 15);
            cairo_line_to(cr, 7, 15);
            cairo_close_path(cr);
            cairo_fill(cr);
            SetColour(cr, kAccent);
            cairo_rectangle(cr, 7, 24, 18, 3);
            cairo_fill(cr);
        },
        true);
    return p;
}

// Runs of equal pixels: (count, pixel) pairs.
std::vector<uint32_t> Runs(const std::vector<uint32_t>& px)
{
    std::vector<uint32_t> out;
    for (size_t i = 0; i < px.size();) {
        size_t j = i;
        while (j < px.size() && px[j] == px[i])
            ++j;
        out.push_back(static_cast<uint32_t>(j - i));
        out.push_back(px[i]);
        i = j;
    }
    return out;
}

// Every picture of the program, in the order of their resource ids.
std::vector<Picture> AllPictures()
{
    const Rgb green = {0, 255, 0}, cyan = {0, 255, 255}, yellow = {255, 255, 0};
    std::vector<Picture> pictures;
    pictures.push_back(WindowIcon());
    pictures.push_back(Background());
    // Exit and Setup sit on white; the others on the button band.
    pictures.push_back(Button(172, "IDB_EXIT_HOVER", green, {250, 250, 250}, kAccent, kWhite, Cross));
    pictures.push_back(Button(173, "IDB_EXIT", green, kWhite, kSlate, kWhite, Cross));
    pictures.push_back(Button(174, "IDB_SETUP", green, kWhite, kSlate, kWhite, Gear));
    pictures.push_back(Button(175, "IDB_SETUP_HOVER", green, {250, 250, 250}, kAccent, kWhite, Gear));
    auto left = [](cairo_t* cr) { Triangle(cr, false); };
    auto right = [](cairo_t* cr) { Triangle(cr, true); };
    pictures.push_back(Button(176, "IDB_BACK", green, kFace, kSlate, kWhite, left));
    pictures.push_back(Button(177, "IDB_BACK_HOVER", green, kHoverFace, kAccent, kWhite, left));
    pictures.push_back(Button(178, "IDB_NEXT", cyan, kFace, kSlate, kWhite, right));
    pictures.push_back(Button(179, "IDB_NEXT_HOVER", yellow, kHoverFace, kAccent, kWhite, right));
    pictures.push_back(Button(185, "IDB_BROWSE_HOVER", green, kHoverFace, kAccent, kWhite, Dots));
    pictures.push_back(Button(186, "IDB_BROWSE", green, kFace, kSlate, kWhite, Dots));
    // The disabled Next is shown as the normal picture, so its key is the
    // normal picture's.
    pictures.push_back(Button(187, "IDB_NEXT_DISABLED", cyan, kFace, kGrey, {235, 235, 235}, right));
    pictures.push_back(Button(188, "IDB_BACK_DISABLED", green, kFace, kGrey, {235, 235, 235}, left));
    pictures.push_back(Button(189, "IDB_BROWSE_DISABLED", green, kFace, kGrey, {235, 235, 235}, Dots));
    pictures.push_back(GermanFlag());
    pictures.push_back(EnglishFlag());
    return pictures;
}

// Each picture as <name>.png in the folder, to look at.
bool WritePngs(const std::vector<Picture>& pictures, const std::string& folder)
{
    bool written = true;
    for (const Picture& p : pictures) {
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, p.width, p.height);
        cairo_surface_flush(s);
        auto* d = cairo_image_surface_get_data(s);
        int stride = cairo_image_surface_get_stride(s);
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x) {
                uint32_t v = p.argb[static_cast<size_t>(y) * p.width + x];
                uint32_t a = v >> 24;
                uint32_t r = ((v >> 16) & 0xFF) * a / 255, g = ((v >> 8) & 0xFF) * a / 255, b = (v & 0xFF) * a / 255;
                reinterpret_cast<uint32_t*>(d + y * stride)[x] = (a << 24) | (r << 16) | (g << 8) | b;
            }
        cairo_surface_mark_dirty(s);
        std::string path = folder + "/" + p.name + ".png";
        if (cairo_surface_write_to_png(s, path.c_str()) != CAIRO_STATUS_SUCCESS) {
            std::fprintf(stderr, "make-pictures: cannot write %s\n", path.c_str());
            written = false;
        }
        cairo_surface_destroy(s);
    }
    return written;
}

// The pictures as the source of the resources library. 0 when it was
// written whole, 1 when not.
int WriteSource(const std::vector<Picture>& pictures, const char* path)
{
    FILE* f = std::fopen(path, "w");
    if (!f) {
        std::perror(path);
        return 1;
    }
    std::fprintf(f, "// Generated by tools/make-pictures: the program's pictures as runs of\n"
                    "// (count, 0xAARRGGBB) pairs, registered as resources at start.\n"
                    "#include <cstddef>\n#include <cstdint>\n#include <vector>\n\n"
                    "#include \"platform/gdi/GdiResources.h\"\n\nnamespace {\n\n"
                    "std::vector<uint32_t> Expand(const uint32_t* runs, size_t count, size_t pixels)\n{\n"
                    "    std::vector<uint32_t> out;\n    out.reserve(pixels);\n"
                    "    for (size_t i = 0; i + 1 < count; i += 2) out.insert(out.end(), runs[i], runs[i + 1]);\n"
                    "    return out;\n}\n\n");
    for (const Picture& p : pictures) {
        std::vector<uint32_t> runs = Runs(p.argb);
        std::fprintf(f, "// %s (%d), %d x %d\nconst uint32_t k%s[] = {", p.name, p.id, p.width, p.height, p.name);
        for (size_t i = 0; i < runs.size(); ++i)
            std::fprintf(f, "%s0x%x,", i % 12 == 0 ? "\n    " : " ", runs[i]);
        std::fprintf(
            f, "\n};\nstd::vector<uint32_t> Make%s() { return Expand(k%s, sizeof(k%s) / sizeof(k%s[0]), %d); }\n\n",
            p.name, p.name, p.name, p.name, p.width * p.height);
    }
    std::fprintf(f, "struct Registrar {\n    Registrar()\n    {\n");
    for (const Picture& p : pictures)
        std::fprintf(f, "        zq::gdi::Register%sResource(%d, %d, %d, Make%s);\n", p.icon ? "Icon" : "Bitmap", p.id,
                     p.width, p.height, p.name);
    std::fprintf(f, "    }\n} registrar;\n\n}  // namespace\n");
    return std::fclose(f) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: make-pictures <output.cpp> [png-folder]\n");
        return 2;
    }
    const std::vector<Picture> pictures = AllPictures();
    if (argc == 3 && !WritePngs(pictures, argv[2]))
        return 1;
    return WriteSource(pictures, argv[1]);
}
