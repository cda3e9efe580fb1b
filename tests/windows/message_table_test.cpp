// The message table of both modules, loaded as data files (so the 32-bit one will do), against
// the message list they were built from.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "host.h"

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
      out += kInserts[*++p - '1'];
    } else {
      out += *p;
    }
  }
  return out + "\r\n";
}

std::string format(HMODULE module, DWORD id) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY,
      module, id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), reinterpret_cast<char*>(&text), 0,
      reinterpret_cast<va_list*>(const_cast<char**>(kInserts)));
  std::string formatted(text ? text : "", length);
  if (text) LocalFree(text);
  return formatted;
}

// Every id formats from the module with its inserts and CR LF (check_dll.sh checks the table's
// layout).
void expectEveryMessage(const std::string& path) {
  const HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  for (const Message& message : kMessages) {
    EXPECT_EQ(format(module, message.id), withInserts(message.text)) << std::hex << message.id;
  }
  EXPECT_EQ(format(module, 0xC0006D75), "");  // next to a real id
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
  FreeLibrary(module);
}

TEST(MessageTable, HoldsEveryMessageInThe64BitModule) {
  expectEveryMessage(host::work("Pagewright.dll"));
}

TEST(MessageTable, HoldsEveryMessageInThe32BitModule) {
  const std::string path = host::work("Pagewright-i686.dll");
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "no " << path;
  expectEveryMessage(path);
}

}  // namespace
