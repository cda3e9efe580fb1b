// The host program's own preparations: the event-log recording that every test reads, and the
// printer that wine_tests.sh setup installs by running PrefixSetup (not a CTest test of its own).
#include <gtest/gtest.h>
#include <windows.h>
#include <winspool.h>

#include <cstring>
#include <fstream>

#include "host.h"

namespace {

BOOL WINAPI recordEvent(HANDLE source, WORD type, WORD category, DWORD id, PSID, WORD count, DWORD,
                        LPCSTR* strings, LPVOID) {
  host::events.push_back({type, category, id, {strings, strings + count}});
  return source != nullptr;
}

// Overwrites the start of advapi32's ReportEventA with a jump to recordEvent, before any module
// is loaded: mov rax, recordEvent; jmp rax.
bool recordEvents() {
  auto* target = host::exported<unsigned char*>(LoadLibraryA("advapi32.dll"), "ReportEventA");
  unsigned char jump[] = {0x48, 0xB8, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xE0};
  const auto destination = reinterpret_cast<ULONG_PTR>(&recordEvent);
  std::memcpy(jump + 2, &destination, sizeof destination);
  DWORD protection = 0;
  if (!target || !VirtualProtect(target, sizeof jump, PAGE_EXECUTE_READWRITE, &protection)) {
    return false;
  }
  std::memcpy(target, jump, sizeof jump);
  VirtualProtect(target, sizeof jump, protection, &protection);
  return FlushInstructionCache(GetCurrentProcess(), target, sizeof jump);
}

const bool recording = recordEvents();

TEST(PrefixSetup, InstallsThePostScriptPrinter) {
  ASSERT_TRUE(recording);
  // Wine's generic PPD, the one its spooler falls back on, ends at the first NUL of the resource.
  const HMODULE winspool = LoadLibraryA("winspool.drv");
  const HRSRC resource = FindResourceA(winspool, MAKEINTRESOURCEA(1), "PPDFILE");
  ASSERT_NE(resource, nullptr);
  const auto* ppdText = static_cast<const char*>(LockResource(LoadResource(winspool, resource)));
  const std::string ppd = host::work("generic.ppd");
  std::ofstream(ppd, std::ios::binary)
      << std::string(ppdText, strnlen(ppdText, SizeofResource(winspool, resource)));

  char driverName[] = "Wine PostScript Driver";
  char wineps[] = "wineps.drv";
  char raw[] = "RAW";
  DRIVER_INFO_3A driver{};
  driver.cVersion = 3;
  driver.pName = driverName;
  driver.pDriverPath = driver.pConfigFile = wineps;
  driver.pDataFile = const_cast<char*>(ppd.c_str());
  driver.pDefaultDataType = raw;
  ASSERT_TRUE(AddPrinterDriverExA(nullptr, 3, reinterpret_cast<BYTE*>(&driver),
                                  APD_COPY_NEW_FILES | APD_COPY_FROM_DIRECTORY))
      << GetLastError();

  std::string printer = host::kPrinter;
  std::string port = host::work("out.ps");
  char processor[] = "WinPrint";
  PRINTER_INFO_2A info{};
  info.pPrinterName = printer.data();
  info.pPortName = port.data();
  info.pDriverName = driverName;
  info.pPrintProcessor = processor;
  info.pDatatype = raw;
  info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
  const HANDLE added = AddPrinterA(nullptr, 2, reinterpret_cast<BYTE*>(&info));
  ASSERT_TRUE(added || GetLastError() == ERROR_PRINTER_ALREADY_EXISTS) << GetLastError();
  if (added) ClosePrinter(added);
  const HDC dc = CreateDCA(nullptr, host::kPrinter, nullptr, nullptr);
  ASSERT_NE(dc, nullptr);
  DeleteDC(dc);
}

}  // namespace
