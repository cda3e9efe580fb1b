// The fax device's hot paths: drawing a line of text, coding a page, and whole conversions of a
// long text into a TIFF file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench_text.h"
#include "converter/converter.h"
#include "raster/fax_device.h"
#include "raster/output/fax_coder.h"

namespace pw {
namespace {

// 10 point Liberation Mono at 196 lines per inch, as the command line's default font.
constexpr int kCellHeight = 27;
constexpr int kLeft = 80;
constexpr int kTop = 116;
constexpr int kLinesPerPage = 78;

LogFont monoFont() {
  LogFont font{};
  font.lfHeight = kCellHeight;
  std::strncpy(font.lfFaceName, "Liberation Mono", sizeof font.lfFaceName - 1);
  return font;
}

std::unique_ptr<FaxDevice> makeDevice(const std::string& path, FaxCompression compression,
                                      int threads) {
  FaxDeviceOptions options;
  options.outputPath = path;
  options.compression = compression;
  options.encoderThreads = threads;
  return FaxDevice::create(options);
}

// A device in a started document and page, with the monospace font selected.
struct DrawingDevice {
  std::unique_ptr<FaxDevice> device =
      makeDevice("/tmp/pwbench-unwritten.tif", FaxCompression::kG4, 0);

  DrawingDevice() {
    device->selectFont(device->createFont(monoFont()));
    device->startDoc("bench");
    device->startPage();
  }
  ~DrawingDevice() {
    // Nothing reaches the disk: the document ends without its page.
    device.reset();
  }
};

// A full page of prose as the converter lays it out.
PageRaster textPage() {
  DrawingDevice drawing;
  for (int i = 0; i < kLinesPerPage; ++i) {
    const std::string line = bench::proseLine(static_cast<std::size_t>(i));
    drawing.device->textOut(kLeft, kTop + i * kCellHeight, line.data(),
                            static_cast<int>(line.size()));
  }
  return drawing.device->raster();
}

void BM_TextOutLine(benchmark::State& state) {
  DrawingDevice drawing;
  const std::string line =
      "The quick brown fox jumps over the lazy dog; 0123456789 (fax) 'quoted' \"x\"!";
  int row = 0;
  for (auto _ : state) {
    drawing.device->textOut(kLeft, kTop + row * kCellHeight, line.data(),
                            static_cast<int>(line.size()));
    row = (row + 1) % kLinesPerPage;
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(line.size()));
}
BENCHMARK(BM_TextOutLine);

void BM_TextExtentLine(benchmark::State& state) {
  DrawingDevice drawing;
  const std::string line = bench::proseLine(7);
  TextSize size;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        drawing.device->getTextExtent(line.data(), static_cast<int>(line.size()), &size));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(line.size()));
}
BENCHMARK(BM_TextExtentLine);

// A whole page drawn as the converter draws it: the page cleared, then 78 lines of text.
void BM_DrawPage(benchmark::State& state) {
  DrawingDevice drawing;
  std::vector<std::string> lines;
  for (int i = 0; i < kLinesPerPage; ++i) lines.push_back(bench::proseLine(i));
  // Cleared as startPage does; ending the page would code it as well.
  auto& raster = const_cast<PageRaster&>(drawing.device->raster());
  for (auto _ : state) {
    raster.clear();
    for (int i = 0; i < kLinesPerPage; ++i) {
      const std::string& line = lines[static_cast<std::size_t>(i)];
      drawing.device->textOut(kLeft, kTop + i * kCellHeight, line.data(),
                              static_cast<int>(line.size()));
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DrawPage)->Unit(benchmark::kMicrosecond);

// The dense prose page, with the record of its inked rows, coded as a TIFF strip by our coder
// (libtiff:0) or by libtiff's (libtiff:1).
void codePage(benchmark::State& state, FaxCompression compression) {
  const PageRaster page = textPage();
  const FaxCoder coder = state.range(0) == 0 ? FaxCoder::kOwn : FaxCoder::kLibtiff;
  CodedPage coded;
  for (auto _ : state) {
    if (!codeFaxPage(page, compression, 196, coder, &coded)) state.SkipWithError("coding failed");
  }
  state.counters["bytes"] = static_cast<double>(coded.size);
  state.SetItemsProcessed(state.iterations());
}
void BM_CodePageG4(benchmark::State& state) {
  codePage(state, FaxCompression::kG4);
}
void BM_CodePageG3(benchmark::State& state) {
  codePage(state, FaxCompression::kG3);
}
BENCHMARK(BM_CodePageG4)->ArgName("libtiff")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CodePageG3)->ArgName("libtiff")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Whole conversions of a 100-page text into a TIFF file in the temporary directory, with the
// command line's settings; the argument is the number of coding threads.
void convertToTiff(benchmark::State& state, FaxCompression compression) {
  constexpr std::size_t kPages = 100;
  const std::string input = bench::writeTempFile(bench::proseText(kPages * kLinesPerPage));
  const std::string output = input + ".tif";
  RenderParams params{};
  params.font.lfHeight = 10;
  std::strncpy(params.font.lfFaceName, "Liberation Mono", sizeof params.font.lfFaceName - 1);
  params.pageWidthMm = 210;
  params.pageHeightMm = 297;
  params.topMarginMm = 15;
  params.bottomMarginMm = params.leftMarginMm = params.rightMarginMm = 10;
  uint32_t pages = 0;
  for (auto _ : state) {
    auto device = makeDevice(output, compression, static_cast<int>(state.range(0)));
    if (!convertText(&params, device.get(), input.c_str(), 0, nullptr, &pages) ||
        device->documentError() != 0) {
      state.SkipWithError("conversion failed");
      break;
    }
  }
  state.counters["pages/s"] = benchmark::Counter(static_cast<double>(pages) * state.iterations(),
                                                 benchmark::Counter::kIsRate);
  unlink(output.c_str());
  unlink(input.c_str());
}
void BM_ConvertToTiffG4(benchmark::State& state) {
  convertToTiff(state, FaxCompression::kG4);
}
void BM_ConvertToTiffG3(benchmark::State& state) {
  convertToTiff(state, FaxCompression::kG3);
}
// CPU is the process's, coding threads included.
BENCHMARK(BM_ConvertToTiffG4)
    ->Arg(0)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_ConvertToTiffG3)
    ->Arg(0)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

}  // namespace
}  // namespace pw
