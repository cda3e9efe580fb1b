// Conversions through Pagewright.dll onto a real GDI printer DC: Wine's PostScript driver with a
// file as its port. The PostScript goes to PW_OUTPUT_DIR, where wine_tests.sh reads its text with
// Ghostscript; and the failures a real device context shows.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "host.h"

namespace {

struct Document {
  const char* name;  // of the PostScript file kept; none for a conversion without a page
  std::string path;
  bool markup;
  uint32_t pages;
  DWORD error;  // the last-error value of a failed conversion, 0 for success
  std::vector<host::Event> events = {};      // what the conversion reported
  std::vector<std::string> postScript = {};  // what the PostScript holds
};

// Prints the document on dc, by default the printer's: the conversion, the events it reported,
// the PostScript it left.
void print(const Document& document, HDC dc = nullptr) {
  const host::Module module = host::load();
  ASSERT_NE(module.convert, nullptr);
  const std::string port = host::work("out.ps");
  DeleteFileA(port.c_str());
  const HDC printer = CreateDCA(nullptr, host::kPrinter, nullptr, nullptr);
  ASSERT_NE(printer, nullptr);
  if (!dc) dc = printer;
  RenderParams params = host::a4Page();
  params.directivesEnabled = document.markup;
  params.imageDirectory = "C:\\pw\\images";
  // Each field is a list of lines ending in an empty one; field 3 names a file whose lines "%3"
  // prints.
  JobFields fields{};
  fields.entries[3] = "C:\\pw\\insert.txt\0";
  fields.entries[24] = "Alice\0";
  fields.entries[37] = "Quarterly figures\0";
  const HGDIOBJ font = GetCurrentObject(dc, OBJ_FONT);
  uint32_t pages = 12345;
  host::events.clear();
  SetLastError(0xDEAD);
  const int result = module.convert(&params, dc, document.path.c_str(), 0, &fields, &pages);
  EXPECT_EQ(GetLastError(), document.error);
  EXPECT_EQ(result, document.error || !document.pages ? 0 : 1);
  EXPECT_EQ(pages, document.pages);
  EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), font);  // the host's DC comes back as it was
  DeleteDC(printer);
  EXPECT_EQ(host::events, document.events);
  if (!document.name) return;

  std::ifstream file(port, std::ios::binary);
  const std::string ps{std::istreambuf_iterator<char>(file), {}};
  ASSERT_FALSE(ps.empty()) << "the printer's port file " << port << " was not written";
  // The page count by the DSC comments: one %%Page each, and the trailer's %%Pages.
  const std::regex page("\n%%Page: ");
  EXPECT_EQ(std::distance(std::sregex_iterator(ps.begin(), ps.end(), page), {}), document.pages);
  EXPECT_EQ(ps.substr(ps.rfind("\n%%Pages: ") + 10, 2), std::to_string(document.pages) + "\n");
  for (const std::string& part : document.postScript) EXPECT_NE(ps.find(part), ps.npos) << part;
  if (const char* output = std::getenv("PW_OUTPUT_DIR")) {
    const std::string kept = std::string(output) + "\\" + document.name + ".ps";
    EXPECT_TRUE(CopyFileA(port.c_str(), kept.c_str(), FALSE)) << kept;
  }
}

// The report "Cannot open %1: %2" of path, the system's text for error as %2.
host::Event cannotOpen(const std::string& path, DWORD error) {
  return {EVENTLOG_ERROR_TYPE, 0, 0xC0006D74, {path, host::systemText(error)}};
}

TEST(Print, Plain) {
  print({"Plain", host::work("plain.txt"), false, 3, 0});
}

// Bold in the bold face, fields, a bilevel TIFF as a mask of its own size, "%3" printing a UTF-16
// file (the file mapping and the conversion to the ANSI code page), landscape text.
TEST(Print, Markup) {
  const wchar_t insert[] = L"\xFEFFInserted line one\r\nInserted caf\xE9 line\r\n";
  std::ofstream(host::work("insert.txt"), std::ios::binary)
      .write(reinterpret_cast<const char*>(insert), sizeof insert - sizeof insert[0]);
  const std::vector<std::string> postScript = {"/ImageMatrix [240 0 0 -120 0 120]", "-Bold"};
  print({"Markup", host::work("markup.txt"), true, 2, 0, {}, postScript});
}

// A colour TIFF comes through WIC's converter as 24-bit rows.
TEST(Print, Images) {
  print({"Images", host::work("images.txt"), true, 1, 0, {}, {"/ImageMatrix [64 0 0 -48 0 48]"}});
}

// A missing image: "Cannot open %1: %2" with its path; the conversion fails after ending the page
// it had started.
TEST(Print, MissingImage) {
  const host::Event event = cannotOpen(host::work("images\\missing.tif"), ERROR_FILE_NOT_FOUND);
  print({"MissingImage", host::work("image-missing.txt"), true, 1, ERROR_FILE_NOT_FOUND, {event}});
}

// Conversions that end before a page: no page, the last error and one report with its cause
// ("Cannot open %1: %2" with the path as given and the system's text; "No text file named";
// "StartDoc failed when converting %1: %2"), and the host's DC with its own font.
TEST(Reports, ConversionsThatCannotStart) {
  const std::string file = "C:\\no such directory\\..\\missing.txt";
  print({nullptr, file, false, 0, ERROR_FILE_NOT_FOUND, {cannotOpen(file, ERROR_FILE_NOT_FOUND)}});
  // The last error left as it was.
  print({nullptr, "", false, 0, 0xDEAD, {{EVENTLOG_ERROR_TYPE, 0, 0xC0006D6A, {}}}});
  // A memory DC has no document to start; the conversion gives the cause GDI leaves.
  const HDC memory = CreateCompatibleDC(nullptr);
  DOCINFOA info{sizeof info, "probe", nullptr, nullptr, 0};
  SetLastError(0);
  EXPECT_LT(StartDocA(memory, &info), 1);
  const DWORD cause = GetLastError();  // 0 under Wine
  const std::string text = host::work("plain.txt");
  const std::string says = cause ? host::systemText(cause) : "error 0";
  print({nullptr, text, false, 0, cause, {{EVENTLOG_ERROR_TYPE, 0, 0xC0006D92, {text, says}}}},
        memory);
  DeleteDC(memory);
}

}  // namespace
