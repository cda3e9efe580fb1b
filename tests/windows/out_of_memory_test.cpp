// A host whose heap runs short: the module must fail the conversion with a memory error and
// leave the host running.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "host.h"

namespace {

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
