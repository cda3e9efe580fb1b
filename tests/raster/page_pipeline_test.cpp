// The page pipeline: pages coded on several threads are written once each, in order, within a
// fixed number of rasters, and the first failure ends the document.
#include "raster/page_pipeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "common/temp_dir.h"
#include "device_test_util.h"
#include "pagewright/fax_device.h"
#include "platform/last_error.h"
#include "raster/fax_device.h"

namespace pw {
namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 8;

// Stamps a page number into the first row, so that the writer can tell which page it got.
void stampPage(PageRaster& raster, uint32_t number) {
  raster.clear();
  std::memcpy(raster.row(0), &number, sizeof number);
}

uint32_t pageNumber(const uint8_t* row) {
  uint32_t number = 0;
  std::memcpy(&number, row, sizeof number);
  return number;
}

// Records the pages written; coding takes a different time for each page, so that later pages
// often finish coding before earlier ones.
class RecordingWriter final : public PageWriter {
 public:
  bool open() override { return true; }

  bool encodePage(const PageRaster& page, CodedPage* coded) const override {
    const uint32_t number = pageNumber(page.row(0));
    {
      std::lock_guard lock(mutex_);
      ++coding_;
      maxCoding_ = std::max(maxCoding_, coding_);
    }
    std::this_thread::sleep_for(std::chrono::microseconds((number * 7919) % 500));
    {
      std::lock_guard lock(mutex_);
      --coding_;
      ++codedPages_;
      maxHeld_ = std::max(maxHeld_, codedPages_ - written_.size());
    }
    if (number == failCodingAt) return failWith(kErrorNotEnoughMemory);
    coded->data.assign(page.row(0), page.row(0) + sizeof number);
    coded->offset = 0;
    coded->size = sizeof number;
    return true;
  }

  bool writeCoded(const CodedPage& page) override {
    std::lock_guard lock(mutex_);
    if (writing_) concurrentWrites_ = true;
    writing_ = true;
    const uint32_t number = pageNumber(page.bytes());
    const bool ok = number != failWritingAt;
    if (ok) written_.push_back(number);
    writing_ = false;
    return ok ? true : failWith(kErrorDiskFull);
  }

  bool finish() override { return true; }
  bool commit() override { return true; }
  bool commitTo(int) override { return true; }
  void discard() override {}

  uint32_t failCodingAt = UINT32_MAX;
  uint32_t failWritingAt = UINT32_MAX;
  std::vector<uint32_t> written() const {
    std::lock_guard lock(mutex_);
    return written_;
  }
  size_t maxHeld() const { return maxHeld_; }
  int maxCoding() const { return maxCoding_; }
  bool concurrentWrites() const { return concurrentWrites_; }

 private:
  mutable std::mutex mutex_;
  mutable int coding_ = 0;
  mutable int maxCoding_ = 0;
  mutable size_t codedPages_ = 0;
  mutable size_t maxHeld_ = 0;
  bool writing_ = false;
  bool concurrentWrites_ = false;
  std::vector<uint32_t> written_;
};

std::vector<uint32_t> numbers(uint32_t count) {
  std::vector<uint32_t> result(count);
  for (uint32_t i = 0; i < count; ++i) result[i] = i;
  return result;
}

class PagePipelineTest : public ::testing::TestWithParam<int> {
 protected:
  // Submits pages 0 .. count-1; returns how many submits succeeded.
  uint32_t submitPages(PagePipeline& pipeline, uint32_t count) {
    uint32_t accepted = 0;
    for (uint32_t i = 0; i < count; ++i) {
      stampPage(pipeline.current(), i);
      if (pipeline.submit()) ++accepted;
    }
    return accepted;
  }
  RecordingWriter writer;
};

TEST_P(PagePipelineTest, WritesEveryPageOnceInOrder) {
  PagePipeline pipeline(kWidth, kHeight, GetParam());
  pipeline.start(&writer);
  EXPECT_EQ(submitPages(pipeline, 60), 60u);
  EXPECT_EQ(pipeline.drain(), kErrorSuccess);
  EXPECT_EQ(writer.written(), numbers(60));
  EXPECT_EQ(pipeline.pagesWritten(), 60);
  EXPECT_FALSE(writer.concurrentWrites());
}

TEST_P(PagePipelineTest, HoldsAtMostThreadsPlusTwoRastersWhateverThePageCount) {
  PagePipeline pipeline(kWidth, kHeight, GetParam());
  pipeline.start(&writer);
  (void)submitPages(pipeline, 200);
  EXPECT_EQ(pipeline.drain(), kErrorSuccess);
  EXPECT_LE(pipeline.rasterCount(), static_cast<size_t>(GetParam()) + 2);
  EXPECT_LE(writer.maxHeld(), static_cast<size_t>(GetParam()) + 1);
  EXPECT_LE(writer.maxCoding(), std::max(GetParam(), 1));
}

TEST_P(PagePipelineTest, ACodingFailureEndsTheDocumentAtThatPage) {
  writer.failCodingAt = 5;
  PagePipeline pipeline(kWidth, kHeight, GetParam());
  pipeline.start(&writer);
  const uint32_t accepted = submitPages(pipeline, 40);
  EXPECT_EQ(pipeline.drain(), kErrorNotEnoughMemory);
  // Pages before the failed one are written; none after it, though some were coded already.
  EXPECT_EQ(writer.written(), numbers(5));
  EXPECT_LT(accepted, 40u);
  // Later submits fail with the document's failure.
  stampPage(pipeline.current(), 99);
  EXPECT_FALSE(pipeline.submit());
  EXPECT_EQ(lastError(), kErrorNotEnoughMemory);
  EXPECT_EQ(pipeline.error(), kErrorNotEnoughMemory);
}

TEST_P(PagePipelineTest, AWriteFailureEndsTheDocumentAtThatPage) {
  writer.failWritingAt = 3;
  PagePipeline pipeline(kWidth, kHeight, GetParam());
  pipeline.start(&writer);
  (void)submitPages(pipeline, 30);
  EXPECT_EQ(pipeline.drain(), kErrorDiskFull);
  EXPECT_EQ(writer.written(), numbers(3));
  EXPECT_EQ(pipeline.pagesWritten(), 3);
}

TEST_P(PagePipelineTest, ANewDocumentStartsWithoutTheLastOnesFailure) {
  writer.failWritingAt = 2;
  PagePipeline pipeline(kWidth, kHeight, GetParam());
  pipeline.start(&writer);
  (void)submitPages(pipeline, 4);
  EXPECT_EQ(pipeline.drain(), kErrorDiskFull);

  RecordingWriter second;
  pipeline.start(&second);
  EXPECT_EQ(pipeline.error(), kErrorSuccess);
  EXPECT_EQ(submitPages(pipeline, 4), 4u);
  EXPECT_EQ(pipeline.drain(), kErrorSuccess);
  EXPECT_EQ(second.written(), numbers(4));
}

INSTANTIATE_TEST_SUITE_P(Threads, PagePipelineTest, ::testing::Values(0, 1, 2, 4),
                         [](const auto& info) {
                           // Appending, not "t" + ...: GCC 12 warns falsely (-Wrestrict) there.
                           std::string name = std::to_string(info.param);
                           name.insert(0, 1, 't');
                           return name;
                         });

TEST(PagePipelineThreadless, CodesAndWritesWithinSubmitOnOneRaster) {
  RecordingWriter writer;
  PagePipeline pipeline(kWidth, kHeight, 0);
  pipeline.start(&writer);
  PageRaster* first = &pipeline.current();
  stampPage(pipeline.current(), 0);
  ASSERT_TRUE(pipeline.submit());
  EXPECT_EQ(writer.written(), numbers(1));
  EXPECT_EQ(&pipeline.current(), first);
  EXPECT_EQ(pipeline.rasterCount(), 1u);
}

// The fax device with coding threads writes the same file as without.
TEST(FaxDeviceThreads, CodedOnThreadsTheFileEqualsTheOneCodedInline) {
  pw::testing::TempDir dir;
  std::vector<std::vector<uint8_t>> files;
  for (const int threads : {0, 3}) {
    FaxDeviceOptions options;
    options.outputPath = dir.file("fax" + std::to_string(threads) + ".tif");
    options.compression = FaxCompression::kG4;
    options.paper = Paper::kCustom;
    options.customHeightMm = 30;
    options.encoderThreads = threads;
    auto device = FaxDevice::create(options);
    ASSERT_NE(device, nullptr);
    ASSERT_GE(device->startDoc("doc"), 1);
    device->selectFont(device->createFont(pw::testing::makeFont("Courier New", -30)));
    for (int page = 0; page < 12; ++page) {
      ASSERT_EQ(device->startPage(), 1);
      const std::string text = "page " + std::to_string(page);
      device->textOut(20 * page, 10 + 5 * page, text.data(), static_cast<int>(text.size()));
      ASSERT_EQ(device->endPage(), 1);
    }
    ASSERT_EQ(device->endDoc(), 1);
    ASSERT_TRUE(device->commit());
    EXPECT_EQ(device->pagesWritten(), 12);
    std::vector<uint8_t> bytes;
    FILE* file = std::fopen(options.outputPath.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
      bytes.push_back(static_cast<uint8_t>(c));
    }
    std::fclose(file);
    files.push_back(std::move(bytes));
  }
  EXPECT_GT(files[0].size(), 0u);
  EXPECT_EQ(files[0], files[1]);
}

TEST(FaxDeviceThreads, TheCInterfaceTakesUpTo64ThreadsOrNone) {
  pw::testing::TempDir dir;
  const std::string path = dir.file("fax.tif");
  PwFaxDeviceOptions options{};
  options.outputPath = path.c_str();
  for (const uint32_t threads : {0u, 1u, 64u, PW_FAX_NO_ENCODER_THREADS}) {
    options.encoderThreads = threads;
    PwSurface* device = pwCreateFaxDevice(&options);
    EXPECT_NE(device, nullptr) << threads;
    pwDestroySurface(device);
  }
  options.encoderThreads = 65;
  EXPECT_EQ(pwCreateFaxDevice(&options), nullptr);
  EXPECT_EQ(pwGetLastError(), kErrorInvalidParameter);
}

}  // namespace
}  // namespace pw
