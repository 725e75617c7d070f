// Conversion between the system's Windows-1252 bytes and the UTF-8 of Linux
// file names, window texts and fonts. Used only inside platform/.
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

} // namespace zq
