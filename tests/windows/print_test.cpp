// Conversions through Pagewright.dll onto a real GDI printer DC: Wine's PostScript driver with a
// file as its port. The PostScript goes to PW_OUTPUT_DIR, where wine_tests.sh reads its text with
// Ghostscript; the failures a real device context shows; and a heap that runs out.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "host.h"

namespace {

struct Document {
  const char* name;  // of the PostScript file kept
  const char* text;  // under C:\pw
  bool markup;
  uint32_t pages;
  DWORD error;  // the last-error value of a failed conversion, 0 for success
  std::vector<std::string> postScript = {};  // what the PostScript holds
};

int countOf(const std::string& text, const std::string& part) {
  int count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// Prints the document: the conversion, the events it reported, the PostScript it left.
void print(const Document& document, const std::vector<host::Event>& events = {}) {
  const host::Module module = host::load();
  ASSERT_NE(module.convert, nullptr);
  const std::string port = host::work("out.ps");
  DeleteFileA(port.c_str());
  const HDC dc = CreateDCA(nullptr, host::kPrinter, nullptr, nullptr);
  ASSERT_NE(dc, nullptr);
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
  SetLastError(0xDEAD);
  const int result =
      module.convert(&params, dc, host::work(document.text).c_str(), 0, &fields, &pages);
  EXPECT_EQ(GetLastError(), document.error);
  EXPECT_EQ(result, document.error ? 0 : 1);
  EXPECT_EQ(pages, document.pages);
  EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), font);  // the host's DC comes back as it was
  DeleteDC(dc);
  EXPECT_EQ(host::events, events);

  std::ifstream file(port, std::ios::binary);
  const std::string ps{std::istreambuf_iterator<char>(file), {}};
  ASSERT_FALSE(ps.empty()) << "the printer's port file " << port << " was not written";
  // The page count by the DSC comments: one %%Page each, and the trailer's %%Pages.
  EXPECT_EQ(countOf(ps, "\n%%Page: "), static_cast<int>(document.pages));
  EXPECT_EQ(ps.substr(ps.rfind("\n%%Pages: ") + 10, 2), std::to_string(document.pages) + "\n");
  for (const std::string& part : document.postScript) EXPECT_NE(ps.find(part), ps.npos) << part;
  if (const char* output = std::getenv("PW_OUTPUT_DIR")) {
    const std::string kept = std::string(output) + "\\" + document.name + ".ps";
    EXPECT_TRUE(CopyFileA(port.c_str(), kept.c_str(), FALSE)) << kept;
  }
}

// The report of a failure on path with error: "... %1: %2", the system's text for %2.
host::Event failure(WORD type, DWORD id, const std::string& path, DWORD error) {
  return {type, 0, id, {path, host::systemText(error)}};
}

TEST(Print, Plain) {
  print({"Plain", "plain.txt", false, 3, 0});
}

// Bold in the bold face, fields, a bilevel TIFF as a mask of its own size, "%3" printing a UTF-16
// file (the file mapping and the conversion to the ANSI code page), landscape text.
TEST(Print, Markup) {
  const wchar_t insert[] = L"\xFEFFInserted line one\r\nInserted caf\xE9 line\r\n";
  std::ofstream(host::work("insert.txt"), std::ios::binary)
      .write(reinterpret_cast<const char*>(insert), sizeof insert - sizeof insert[0]);
  print({"Markup", "markup.txt", true, 2, 0, {"/ImageMatrix [240 0 0 -120 0 120]", "-Bold"}});
}

// A colour TIFF comes through WIC's converter as 24-bit rows.
TEST(Print, Images) {
  print({"Images", "images.txt", true, 1, 0, {"/ImageMatrix [64 0 0 -48 0 48]"}});
}

// A missing image: "Cannot open %1: %2" with its path; the conversion fails after ending the page
// it had started.
TEST(Print, MissingImage) {
  const std::string image = host::work("images\\missing.tif");
  print({"MissingImage", "image-missing.txt", true, 1, ERROR_FILE_NOT_FOUND},
        {failure(EVENTLOG_ERROR_TYPE, 0xC0006D74, image, ERROR_FILE_NOT_FOUND)});
}

// Conversions that end before a page: no page, the last error and one report with its cause
// ("Cannot open %1: %2" with the path as given and the system's text; "No text file named";
// "StartDoc failed when converting %1: %2"), and the host's DC with its own font.
TEST(Reports, ConversionsThatCannotStart) {
  const host::Module module = host::load();
  ASSERT_NE(module.convert, nullptr);
  const HDC printer = CreateDCA(nullptr, host::kPrinter, nullptr, nullptr);
  ASSERT_NE(printer, nullptr);
  // A memory DC has no document to start; the conversion gives the cause GDI leaves.
  const HDC memory = CreateCompatibleDC(nullptr);
  DOCINFOA info{sizeof info, "probe", nullptr, nullptr, 0};
  SetLastError(0);
  EXPECT_LT(StartDocA(memory, &info), 1);
  const DWORD cause = GetLastError();  // 0 under Wine
  const std::string file = "C:\\no such directory\\..\\missing.txt";
  const std::string text = host::work("plain.txt");
  const struct {
    HDC dc;
    std::string path;
    DWORD error;
    host::Event event;
  } cases[] = {
      {printer, file, ERROR_FILE_NOT_FOUND,
       failure(EVENTLOG_ERROR_TYPE, 0xC0006D74, file, ERROR_FILE_NOT_FOUND)},
      {printer, "", 0xDEAD, {EVENTLOG_ERROR_TYPE, 0, 0xC0006D6A, {}}},  // last error left as it was
      {memory,
       text,
       cause,
       {EVENTLOG_ERROR_TYPE, 0, 0xC0006D92, {text, cause ? host::systemText(cause) : "error 0"}}},
  };
  const RenderParams params = host::a4Page();
  for (const auto& [dc, path, error, event] : cases) {
    host::events.clear();
    const HGDIOBJ font = GetCurrentObject(dc, OBJ_FONT);
    uint32_t pages = 12345;
    SetLastError(0xDEAD);
    EXPECT_EQ(module.convert(&params, dc, path.c_str(), 0, nullptr, &pages), 0) << path;
    EXPECT_EQ(GetLastError(), error) << path;
    EXPECT_EQ(pages, 0u);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), font);
    EXPECT_EQ(host::events, std::vector<host::Event>{event});
  }
  DeleteDC(memory);
  DeleteDC(printer);
}

// The module's heap refuses blocks from a size on: its calls of msvcrt's malloc, calloc and
// realloc go, through its import table, to versions that fail from refuseFrom.
std::size_t refuseFrom = SIZE_MAX;

void* __cdecl cappedMalloc(std::size_t size) {
  return size >= refuseFrom ? nullptr : std::malloc(size);
}
void* __cdecl cappedCalloc(std::size_t count, std::size_t size) {
  return size != 0 && count >= refuseFrom / size ? nullptr : std::calloc(count, size);
}
void* __cdecl cappedRealloc(void* block, std::size_t size) {
  return size >= refuseFrom ? nullptr : std::realloc(block, size);
}

// Points module's import of function from msvcrt.dll at replacement.
bool redirectImport(HMODULE module, const char* function, void* replacement) {
  auto* base = reinterpret_cast<BYTE*>(module);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
      base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const DWORD imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
  for (auto* dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports); dll->Name; ++dll) {
    if (_stricmp(reinterpret_cast<const char*>(base + dll->Name), "msvcrt.dll") != 0) continue;
    auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->OriginalFirstThunk);
    auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
    for (; name->u1.AddressOfData; ++name, ++slot) {
      if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal) ||
          std::strcmp(
              reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData)->Name,
              function) != 0) {
        continue;
      }
      DWORD protection = 0;
      if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection)) return false;
      slot->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
      return VirtualProtect(slot, sizeof *slot, protection, &protection);
    }
  }
  return false;
}

// Every conversion ends with result 1, or 0 and last error 8 or 14; the host lives on.
TEST(OutOfMemory, ConversionsFailCleanly) {
  const host::Module module = host::load();
  ASSERT_NE(module.convert, nullptr);
  ASSERT_TRUE(redirectImport(module.handle, "malloc", reinterpret_cast<void*>(cappedMalloc)));
  ASSERT_TRUE(redirectImport(module.handle, "calloc", reinterpret_cast<void*>(cappedCalloc)));
  ASSERT_TRUE(redirectImport(module.handle, "realloc", reinterpret_cast<void*>(cappedRealloc)));
  const RenderParams params = host::a4Page();
  int failures = 0;
  for (const std::size_t limit : {16384, 60000, 131072, 1 << 20}) {
    const HDC dc = CreateDCA(nullptr, host::kPrinter, nullptr, nullptr);
    ASSERT_NE(dc, nullptr);
    uint32_t pages = 0;
    refuseFrom = limit;
    const int result =
        module.convert(&params, dc, host::work("plain.txt").c_str(), 0, nullptr, &pages);
    const DWORD error = GetLastError();
    refuseFrom = SIZE_MAX;
    EXPECT_TRUE(result == 1 || error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY)
        << limit << " bytes: result " << result << ", error " << error;
    failures += result == 0;
    DeleteDC(dc);
  }
  EXPECT_GT(failures, 0);  // the cap was felt
}

}  // namespace
