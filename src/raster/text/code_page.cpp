#include "raster/text/code_page.h"

#include <iconv.h>

#include <map>
#include <memory>
#include <mutex>

namespace pw {

const char* codePageName(uint8_t charSet) {
  switch (charSet) {
    case 238:
      return "WINDOWS-1250";
    case 204:
      return "WINDOWS-1251";
    case 161:
      return "WINDOWS-1253";
    case 162:
      return "WINDOWS-1254";
    case 177:
      return "WINDOWS-1255";
    case 178:
      return "WINDOWS-1256";
    case 186:
      return "WINDOWS-1257";
    case 163:
      return "WINDOWS-1258";
    case 222:
      return "CP874";
    case 255:
      return "CP437";
    default:
      return "WINDOWS-1252";
  }
}

namespace {

CodePageTable buildTable(const char* name) {
  CodePageTable table;
  for (unsigned i = 0; i < 256; ++i) table[i] = i;
  iconv_t cd = iconv_open("UTF-32LE", name);
  if (cd == reinterpret_cast<iconv_t>(-1)) return table;
  for (unsigned i = 128; i < 256; ++i) {
    char in = static_cast<char>(i);
    unsigned char out[8] = {};
    char* inPtr = &in;
    size_t inLeft = 1;
    char* outPtr = reinterpret_cast<char*>(out);
    size_t outLeft = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    // Windows-1258 and others may hold a base letter back waiting for a combining mark; the
    // flush call releases it.
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) continue;
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    if (sizeof out - outLeft >= 4) {
      table[i] = static_cast<char32_t>(out[0] | (out[1] << 8) | (out[2] << 16) |
                                       (static_cast<uint32_t>(out[3]) << 24));
    }
  }
  iconv_close(cd);
  return table;
}

}  // namespace

const CodePageTable& codePageTable(uint8_t charSet) {
  static std::mutex mutex;
  static std::map<const char*, std::unique_ptr<CodePageTable>> tables;
  const char* name = codePageName(charSet);
  std::lock_guard lock(mutex);
  std::unique_ptr<CodePageTable>& table = tables[name];
  if (!table) table = std::make_unique<CodePageTable>(buildTable(name));
  return *table;
}

}  // namespace pw
