// The Windows code pages that a font record's character set names, as byte-to-Unicode tables.
#pragma once

#include <array>
#include <cstdint>

namespace pw {

using CodePageTable = std::array<char32_t, 256>;

/// The Unicode character of every byte for the code page of a LOGFONT character set: 0 (ANSI)
/// and unknown sets give Windows-1252, 238 Windows-1250, 204 Windows-1251, 161 Windows-1253,
/// 162 Windows-1254, 177 Windows-1255, 178 Windows-1256, 186 Windows-1257, 163 Windows-1258,
/// 222 Windows-874, 255 (OEM) code page 437. Bytes a code page leaves undefined map to themselves.
/// Tables are built once per process and shared between threads.
const CodePageTable& codePageTable(uint8_t charSet);

/// The iconv name of the code page that codePageTable(charSet) follows.
const char* codePageName(uint8_t charSet);

}  // namespace pw
