// Checks the message-table resource of a Pagewright.dll against the message list it was built
// from: every id formats from the module with its inserts, in US English, as ANSI text ending in
// CR LF, and the table holds nothing else.
//
//   messages_host <dll>   (loaded as a data file, so a DLL of either architecture will do)
#include <windows.h>

#include <string>
#include <vector>

#include "host_check.h"

namespace {

struct Message {
  DWORD id;
  const char* text;
};

constexpr Message kMessages[] = {
#define PW_MESSAGE(id, name, text) {id, text},
#include "messages.def"
#undef PW_MESSAGE
};

const char* const kInserts[] = {"<first>", "<second>", "<third>", "<fourth>"};

std::string withInserts(const char* text) {
  std::string out;
  for (const char* p = text; *p; ++p) {
    if (p[0] == '%' && p[1] >= '1' && p[1] <= '4') {
      out += kInserts[p[1] - '1'];
      ++p;
    } else {
      out += *p;
    }
  }
  return out + "\r\n";
}

BOOL CALLBACK collectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR found) {
  reinterpret_cast<std::vector<WORD>*>(found)->push_back(language);
  return TRUE;
}

// The table's raw layout: blocks of consecutive ids, each entry a length, flags (0 ANSI, 1
// UTF-16) and the text.
void checkTableLayout(HMODULE module) {
  std::vector<WORD> languages;
  EnumResourceLanguagesA(module, reinterpret_cast<LPCSTR>(RT_MESSAGETABLE), MAKEINTRESOURCEA(1),
                         collectLanguage, reinterpret_cast<LONG_PTR>(&languages));
  CHECK_EQ(languages.size(), 1);
  if (!languages.empty()) CHECK_EQ(languages[0], 0x0409);

  const HRSRC resource =
      FindResourceExA(module, reinterpret_cast<LPCSTR>(RT_MESSAGETABLE), MAKEINTRESOURCEA(1),
                      MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  if (!CHECK(resource != nullptr)) return;
  const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(module, resource)));
  if (!CHECK(data != nullptr)) return;
  const auto* table = reinterpret_cast<const MESSAGE_RESOURCE_DATA*>(data);
  std::size_t entries = 0;
  for (DWORD b = 0; b < table->NumberOfBlocks; ++b) {
    const MESSAGE_RESOURCE_BLOCK& block = table->Blocks[b];
    const BYTE* at = data + block.OffsetToEntries;
    for (DWORD id = block.LowId; id <= block.HighId; ++id) {
      const auto* entry = reinterpret_cast<const MESSAGE_RESOURCE_ENTRY*>(at);
      bool known = false;
      for (const Message& message : kMessages) known = known || message.id == id;
      if (!CHECK(known)) host::note("unexpected id 0x%08lx", id);
      CHECK_EQ(entry->Flags, 0);
      ++entries;
      at += entry->Length;
    }
  }
  CHECK_EQ(entries, sizeof kMessages / sizeof kMessages[0]);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: messages_host <dll>\n");
    return 2;
  }
  const HMODULE module = LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!CHECK(module != nullptr)) return host::finish("messages_host");
  checkTableLayout(module);

  DWORD_PTR arguments[4];
  for (int i = 0; i < 4; ++i) arguments[i] = reinterpret_cast<DWORD_PTR>(kInserts[i]);
  for (const Message& message : kMessages) {
    char* text = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                           FORMAT_MESSAGE_ARGUMENT_ARRAY,
                       module, message.id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                       reinterpret_cast<char*>(&text), 0, reinterpret_cast<va_list*>(arguments));
    if (!CHECK(length > 0)) {
      host::note("id 0x%08lx: FormatMessageA failed, error %lu", message.id, GetLastError());
      continue;
    }
    CHECK_TEXT(std::string(text, length), withInserts(message.text));
    LocalFree(text);
  }

  // An id next to a real one is not in the table.
  char* text = nullptr;
  SetLastError(0);
  CHECK_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                              FORMAT_MESSAGE_IGNORE_INSERTS,
                          module, 0xC0006D75, 0, reinterpret_cast<char*>(&text), 0, nullptr),
           0);
  CHECK_EQ(GetLastError(), ERROR_MR_MID_NOT_FOUND);
  if (text) LocalFree(text);
  FreeLibrary(module);
  return host::finish("messages_host");
}
