// The Windows-1252 / UTF-8 conversion tables and the code page's letter case.
#include "platform/strings/Codepage.h"

#include <cstdint>

namespace zq {
namespace {

// Unicode code points of the bytes 0x80 to 0x9F in Windows-1252.
const uint16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void AppendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

char ToCp1252(uint32_t cp)
{
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return static_cast<char>(cp);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == cp)
            return static_cast<char>(0x80 + i);
    return '?';
}

}  // namespace

std::string Cp1252ToUtf8(const std::string& cp1252)
{
    std::string out;
    out.reserve(cp1252.size() + cp1252.size() / 4);
    for (unsigned char c : cp1252) {
        if (c < 0x80)
            out.push_back(static_cast<char>(c));
        else if (c < 0xA0)
            AppendUtf8(out, kHigh[c - 0x80]);
        else
            AppendUtf8(out, c);
    }
    return out;
}

std::string Utf8ToCp1252(const std::string& utf8)
{
    std::string out;
    out.reserve(utf8.size());
    size_t i = 0, n = utf8.size();
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        int extra = (c >= 0xF0 && c <= 0xF4) ? 3 : (c >= 0xE0) ? 2 : (c >= 0xC2 && c <= 0xDF) ? 1 : -1;
        if (c >= 0xF5)
            extra = -1;
        if (extra < 0 || i + static_cast<size_t>(extra) >= n) {
            out.push_back('?');
            ++i;
            continue;
        }
        uint32_t cp = c & (extra == 1 ? 0x1F : extra == 2 ? 0x0F : 0x07);
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            unsigned char cc = static_cast<unsigned char>(utf8[i + static_cast<size_t>(k)]);
            if ((cc & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (cc & 0x3F);
        }
        // Overlong forms and surrogates are invalid UTF-8.
        if (ok && ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
                   (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF))))
            ok = false;
        if (!ok) {
            out.push_back('?');
            ++i;
            continue;
        }
        out.push_back(ToCp1252(cp));
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

unsigned char FoldCp1252(unsigned char c)
{
    if (c >= 'a' && c <= 'z')
        return static_cast<unsigned char>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return static_cast<unsigned char>(c - 0x20);
    switch (c) {
    case 0x9A:
        return 0x8A;  // s caron
    case 0x9C:
        return 0x8C;  // oe
    case 0x9E:
        return 0x8E;  // z caron
    case 0xFF:
        return 0x9F;  // y diaeresis
    default:
        return c;
    }
}

bool EqualNoCaseCp1252(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldCp1252(static_cast<unsigned char>(a[i])) != FoldCp1252(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace zq
