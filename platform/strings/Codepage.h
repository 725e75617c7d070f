// Conversion between the system's Windows-1252 bytes and the UTF-8 of Linux
// file names, window texts and fonts. Used inside platform/ and by the
// container's XML reader, which gets UTF-8 from expat.
#pragma once

#include <string>

namespace zq {

// Every Windows-1252 byte has a UTF-8 form; the five bytes that the code
// page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to U+0081... as
// Windows' own conversion does.
std::string Cp1252ToUtf8(const std::string& cp1252);

// Characters that Windows-1252 cannot hold, and bytes that are not valid
// UTF-8, become '?', as an ANSI Windows program sees such names.
std::string Utf8ToCp1252(const std::string& utf8);

// A Windows-1252 letter folded to upper case, as Windows compares file,
// registry and environment names: ASCII and the accented letters of the code
// page, the pairs 0xE0-0xFE / 0xC0-0xDE (but for the signs 0xF7 and 0xD7)
// and 0x9A/0x8A, 0x9C/0x8C, 0x9E/0x8E, 0xFF/0x9F. 0xDF and 0xB5 have no
// capital of their own in the code page and stay as they are.
unsigned char FoldCp1252(unsigned char c);
bool EqualNoCaseCp1252(const std::string& a, const std::string& b);

}  // namespace zq
