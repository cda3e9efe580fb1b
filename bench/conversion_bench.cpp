// Whole conversions of a large plain text onto a surface that draws nothing: the cost of the read
// loop and the layout alone.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "converter/converter.h"
#include "eventlog/event_reporter.h"

namespace pw {
namespace {

// Measures like a monospace font of 17 x 33 pixels and draws nothing.
class NullSurface final : public DrawingSurface {
 public:
  int getDeviceCaps(int index) override { return index == kLogPixelsX ? 204 : 196; }
  FontHandle createFont(const LogFont&) override { return this; }
  FontHandle selectFont(FontHandle) override { return nullptr; }
  void deleteFont(FontHandle) override {}
  int startDoc(const char*) override { return 1; }
  int startPage() override { return 1; }
  int endPage() override { return 1; }
  int endDoc() override { return 1; }
  bool getTextExtent(const char*, int count, TextSize* size) override {
    size->cx = count * 17;
    size->cy = 33;
    return true;
  }
  bool textOut(int, int, const char*, int) override { return true; }
  int setBkMode(int) override { return 1; }
  int setDIBitsToDevice(int, int, uint32_t, uint32_t, int, int, uint32_t, uint32_t, const void*,
                        const BitmapInfoHeader*, uint32_t) override {
    return 1;
  }
};

std::string writeText(std::size_t bytes) {
  static const char kLine[] =
      "The quick brown fox jumps over the lazy dog while the fax line hums along.\r\n";
  std::string text;
  text.reserve(bytes + sizeof kLine);
  for (int line = 0; text.size() < bytes; ++line) {
    text += kLine;
    if (line % 66 == 65) text += '\f';
  }
  char path[] = "/tmp/pwbench-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    std::perror("bench text");
  }
  close(fd);
  return path;
}

void wholeConversion(benchmark::State& state, uint32_t markup) {
  const std::string path = writeText(static_cast<std::size_t>(state.range(0)));
  RenderParams params{};
  params.font.lfHeight = 10;
  params.pageWidthMm = 210;
  params.pageHeightMm = 297;
  params.topMarginMm = params.bottomMarginMm = 10;
  params.leftMarginMm = params.rightMarginMm = 10;
  params.directivesEnabled = markup;
  NullSurface surface;
  uint32_t pages = 0;
  for (auto _ : state) {
    if (!convertText(&params, &surface, path.c_str(), 0, nullptr, &pages)) {
      state.SkipWithError("conversion failed");
    }
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
  state.counters["pages"] = pages;
  unlink(path.c_str());
}

void BM_PlainText(benchmark::State& state) {
  wholeConversion(state, 0);
}
void BM_PlainTextMarkupOn(benchmark::State& state) {
  wholeConversion(state, 1);
}

BENCHMARK(BM_PlainText)->Arg(8 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainTextMarkupOn)->Arg(8 << 20)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pw
