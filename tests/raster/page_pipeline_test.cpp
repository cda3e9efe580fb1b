// The page pipeline: pages coded on several threads are written once each, in order, within a
// fixed number of rasters, and the first failure ends the document.
#include "raster/page_pipeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <numeric>
#include <thread>
#include <tuple>

#include "device_test_util.h"
#include "platform/last_error.h"

namespace pw {
namespace {

std::vector<uint32_t> numbers(uint32_t count) {
  std::vector<uint32_t> result(count);
  std::iota(result.begin(), result.end(), 0u);
  return result;
}

// Records the pages written, each known by the number in its first byte. Coding takes a
// different time for each page, so that later pages often finish coding before earlier ones.
struct RecordingWriter final : PageWriter {
  bool open() override { return true; }
  bool encodePage(const PageRaster& page, CodedPage* coded) const override {
    const uint32_t number = page.row(0)[0];
    std::this_thread::sleep_for(std::chrono::microseconds((number * 7919) % 500));
    std::unique_lock lock(mutex);
    maxHeld = std::max(maxHeld, ++codedPages - written.size());
    *coded = {{page.row(0), page.row(0) + 1}, 0, 1, 0, 0};
    return number != failCodingAt || failWith(kErrorNotEnoughMemory);
  }
  bool writeCoded(const CodedPage& page) override {
    // Not under the lock, which would hide writes on two threads at once.
    if (writing.exchange(true)) concurrentWrites = true;
    const uint32_t number = page.bytes()[0];
    if (number != failWritingAt) {
      std::lock_guard lock(mutex);
      written.push_back(number);
    }
    writing = false;
    return number != failWritingAt || failWith(kErrorDiskFull);
  }
  bool finish() override { return true; }
  bool commit() override { return true; }
  bool commitTo(int) override { return true; }
  void discard() override {}

  uint32_t failCodingAt = UINT32_MAX, failWritingAt = UINT32_MAX;
  mutable std::mutex mutex;
  std::vector<uint32_t> written;               // read once the pipeline is drained
  mutable size_t codedPages = 0, maxHeld = 0;  // held: pages coded and not yet written
  std::atomic<bool> writing = false, concurrentWrites = false;
};

class PagePipelineTest : public ::testing::TestWithParam<int> {
 protected:
  // Starts a document and submits pages 0 .. count-1; returns how many submits succeeded.
  uint32_t submitPages(RecordingWriter& to, uint32_t count) {
    pipeline.start(&to);
    uint32_t accepted = 0;
    for (uint32_t i = 0; i < count; ++i) {
      pipeline.current().clear();
      pipeline.current().row(0)[0] = static_cast<uint8_t>(i);
      accepted += pipeline.submit();
    }
    return accepted;
  }

  const int threads = GetParam();
  PagePipeline pipeline{64, 8, threads};
  RecordingWriter writer;
};

TEST_P(PagePipelineTest, WritesEveryPageOnceInOrderWithinThreadsPlusTwoRasters) {
  EXPECT_EQ(submitPages(writer, 200), 200u);
  EXPECT_EQ(pipeline.drain(), kErrorSuccess);
  EXPECT_EQ(writer.written, numbers(200));
  EXPECT_EQ(pipeline.pagesWritten(), 200);
  EXPECT_FALSE(writer.concurrentWrites);
  // Without threads each page is coded and written within submit, on the one raster.
  EXPECT_LE(pipeline.rasterCount(), threads == 0 ? 1u : threads + 2u);
  EXPECT_LE(writer.maxHeld, threads + 1u);
}

// Pages before the failed one are written; none after it, though some were coded already, and
// later submits fail with the document's failure. A new document starts without it.
TEST_P(PagePipelineTest, TheFirstFailureEndsTheDocumentAtThatPage) {
  for (const auto& [codingAt, writingAt, error] :
       {std::tuple{5u, UINT32_MAX, kErrorNotEnoughMemory}, {UINT32_MAX, 3u, kErrorDiskFull}}) {
    RecordingWriter failing;
    failing.failCodingAt = codingAt;
    failing.failWritingAt = writingAt;
    EXPECT_LT(submitPages(failing, 40), 40u);
    EXPECT_EQ(pipeline.drain(), error);
    EXPECT_EQ(failing.written, numbers(std::min(codingAt, writingAt)));
    EXPECT_EQ(pipeline.pagesWritten(), static_cast<int>(std::min(codingAt, writingAt)));
    EXPECT_FALSE(pipeline.submit());
    EXPECT_TRUE(lastError() == error && pipeline.error() == error);
  }
  EXPECT_EQ(submitPages(writer, 4), 4u);
  EXPECT_EQ(pipeline.drain(), kErrorSuccess);
  EXPECT_EQ(writer.written, numbers(4));
}

INSTANTIATE_TEST_SUITE_P(Threads, PagePipelineTest, ::testing::Values(0, 1, 2, 4),
                         [](const auto& info) { return std::to_string(info.param) + "Threads"; });

// The fax device with coding threads, or with libtiff's coder, writes the same file as without.
TEST(FaxDeviceThreads, CodedOnThreadsOrByLibtiffTheFileEqualsTheOneCodedInline) {
  using namespace pw::testing;
  TempDir dir;
  std::vector<std::string> files;
  for (const auto& [threads, coder] : {std::pair{0, FaxCoder::kOwn}, std::pair{3, FaxCoder::kOwn},
                                       std::pair{0, FaxCoder::kLibtiff}}) {
    const std::string path = dir.file("fax" + std::to_string(files.size()) + ".tif");
    auto device = makeDevice(path, OutputFormat::kTiff, true, FaxCompression::kG4, threads, coder);
    drawPages(*device, 12);
    EXPECT_TRUE(device->endDoc() == 1 && device->commit());
    EXPECT_EQ(device->pagesWritten(), 12);
    files.push_back(fileBytes(path));
  }
  EXPECT_GT(files[0].size(), 0u);
  EXPECT_EQ(files[0], files[1]);
  EXPECT_EQ(files[0], files[2]);
}

}  // namespace
}  // namespace pw
