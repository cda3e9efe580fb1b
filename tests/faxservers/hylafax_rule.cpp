// Prints the command HylaFAX's sendfax would run for a file: its type rules pick the rule and
// expand it with the job's page size and resolution, as HylaFAX's own library does it.
//   hylafax_rule RULES FILE PAGESIZE VRES OUTPUT PAGESIZES_DB
// libhylafax (from Debian's hylafax-client, found on LD_LIBRARY_PATH) is loaded at run time, as
// the build machine need not have it. It reads its page sizes from /etc/hylafax/pagesizes; this
// program serves it PAGESIZES_DB under that name instead, by defining fopen itself.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

const char* pageSizes = nullptr;

// HylaFAX's string: its length and its characters, as libhylafax lays them out.
struct FxStr {
  unsigned length;
  char* data;
};

template <typename Function>
Function symbol(void* library, const char* name) {
  void* address = dlsym(library, name);
  if (!address) std::fprintf(stderr, "libhylafax lacks %s\n", name);
  return reinterpret_cast<Function>(address);
}

}  // namespace

extern "C" FILE* fopen(const char* path, const char* mode) {
  using Open = FILE* (*)(const char*, const char*);
  static const auto real = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "fopen"));
  if (pageSizes && path && std::strcmp(path, "/etc/hylafax/pagesizes") == 0) path = pageSizes;
  return real(path, mode);
}

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr, "usage: hylafax_rule RULES FILE PAGESIZE VRES OUTPUT PAGESIZES_DB\n");
    return 2;
  }
  pageSizes = argv[6];
  void* library = dlopen("libhylafax-6.0.so.7", RTLD_NOW | RTLD_GLOBAL);
  if (!library) {
    std::fprintf(stderr, "%s\n", dlerror());
    return 2;
  }
  // Member functions called as the C++ ABI has them: `this` first, and a returned FxStr by a
  // pointer passed ahead of it.
  const auto construct = symbol<void (*)(FxStr*, const char*)>(library, "_ZN5fxStrC1EPKc");
  const auto read = symbol<void* (*)(const FxStr*)>(library, "_ZN9TypeRules4readERK5fxStr");
  const auto match = symbol<const void* (*)(const void*, const void*, unsigned)>(
      library, "_ZNK9TypeRules5matchEPKvj");
  const auto format =
      symbol<void (*)(FxStr*, const void*, const FxStr*, const FxStr*, float, float, const FxStr*,
                      const FxStr*)>(library, "_ZNK8TypeRule10getFmtdCmdERK5fxStrS2_ffS2_S2_");
  if (!construct || !read || !match || !format) return 2;

  FxStr rulesPath, input, output, dataFormat, pageSize, command;
  construct(&rulesPath, argv[1]);
  construct(&input, argv[2]);
  construct(&pageSize, argv[3]);
  construct(&output, argv[5]);
  construct(&dataFormat, "1");  // sendfax always asks its converters for 1-D coding
  void* rules = read(&rulesPath);
  if (!rules) return 2;
  // sendfax types a file by its first 512 bytes.
  std::ifstream file(argv[2], std::ios::binary);
  std::string head(512, '\0');
  file.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<size_t>(file.gcount()));
  const void* rule = match(rules, head.data(), static_cast<unsigned>(head.size()));
  if (!rule) {
    std::fprintf(stderr, "no rule for %s\n", argv[2]);
    return 1;
  }
  format(&command, rule, &input, &output, 204.0f, std::stof(argv[4]), &dataFormat, &pageSize);
  std::printf("%s\n", command.data);
  return 0;
}
