// A host whose heap refuses large allocations: Pagewright.dll's calls of msvcrt's malloc, calloc
// and realloc are redirected (in its import table) to versions that fail from a threshold on.
// Every conversion must end with result 1, or 0 and last error 8 or 14; the process lives on.
//
//   alloc_host <dll> <printer> <text>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host_check.h"

namespace {

size_t refuseFrom = SIZE_MAX;

void* __cdecl cappedMalloc(size_t size) {
  return size >= refuseFrom ? nullptr : std::malloc(size);
}

void* __cdecl cappedCalloc(size_t count, size_t size) {
  if (size != 0 && count >= refuseFrom / size) return nullptr;
  return std::calloc(count, size);
}

void* __cdecl cappedRealloc(void* block, size_t size) {
  return size >= refuseFrom ? nullptr : std::realloc(block, size);
}

// Points module's import of function from dll at replacement.
bool redirectImport(HMODULE module, const char* dll, const char* function, void* replacement) {
  auto* base = reinterpret_cast<BYTE*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       entry->Name != 0; ++entry) {
    if (_stricmp(reinterpret_cast<const char*>(base + entry->Name), dll) != 0) continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* named =
          reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(named->Name), function) != 0) continue;
      DWORD protection = 0;
      if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE,
                          &protection)) {
        return false;
      }
      slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
      return true;
    }
  }
  return false;
}

RenderParams page() {
  RenderParams params{};
  params.font.lfHeight = 10;
  params.font.lfWeight = FW_NORMAL;
  params.font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
  std::snprintf(params.font.lfFaceName, sizeof params.font.lfFaceName, "Courier New");
  params.pageWidthMm = 210;
  params.pageHeightMm = 297;
  params.topMarginMm = params.bottomMarginMm = params.leftMarginMm = params.rightMarginMm = 10;
  return params;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  const host::Module module = host::loadModule(argv[1]);
  if (!CHECK(module.convert != nullptr)) return host::finish("alloc_host");
  CHECK(
      redirectImport(module.handle, "msvcrt.dll", "malloc", reinterpret_cast<void*>(cappedMalloc)));
  CHECK(
      redirectImport(module.handle, "msvcrt.dll", "calloc", reinterpret_cast<void*>(cappedCalloc)));
  CHECK(redirectImport(module.handle, "msvcrt.dll", "realloc",
                       reinterpret_cast<void*>(cappedRealloc)));
  const RenderParams params = page();
  for (const size_t limit : {size_t{16384}, size_t{60000}, size_t{131072}, size_t{1} << 20}) {
    const HDC dc = CreateDCA(nullptr, argv[2], nullptr, nullptr);
    if (!CHECK(dc != nullptr)) break;
    uint32_t pages = 0;
    refuseFrom = limit;
    const int result = module.convert(&params, dc, argv[3], 0, nullptr, &pages);
    const DWORD error = GetLastError();
    refuseFrom = SIZE_MAX;
    host::note("%zu bytes: result %d, last error %lu, %u page(s)", limit, result, error, pages);
    CHECK(result == 1 || error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY);
    DeleteDC(dc);
  }
  return host::finish("alloc_host");
}
