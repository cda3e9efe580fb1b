// Finished pages handed from the drawing thread to coding threads and written in page order.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "raster/output/page_writer.h"
#include "raster/page_raster.h"

namespace pw {

/// Owns the page rasters of a device. The drawing thread draws on current() and hands it over
/// with submit(); coding threads code the pages in parallel and the coded pages are written one
/// at a time, in the order they were submitted. At most threads + 2 rasters and threads + 1
/// coded pages exist at once, whatever the page count. With no threads, submit() codes and
/// writes the page itself, as it does with the device's first page (threads start with the
/// second). One drawing thread at a time.
class PagePipeline {
 public:
  PagePipeline(int width, int height, int threads);
  ~PagePipeline();
  PagePipeline(const PagePipeline&) = delete;
  PagePipeline& operator=(const PagePipeline&) = delete;

  /// The raster to draw on; it belongs to the drawing thread until the next submit().
  PageRaster& current() { return *current_; }
  const PageRaster& current() const { return *current_; }

  /// Starts a document written by writer, which must stay alive until drain() returns.
  void start(PageWriter* writer);
  /// Queues the current raster as the document's next page and makes a free raster current,
  /// waiting while all are in use. False, with the first failure's code as last error, when a
  /// page of the document has already failed; the page is then dropped.
  [[nodiscard]] bool submit();
  /// Waits until every submitted page is written or dropped; returns the document's first
  /// failure (a Win32 code) or 0.
  uint32_t drain() const;

  /// Pages written, once those submitted are written.
  int pagesWritten() const;
  /// The document's first failure, once the pages submitted are written; 0 when none.
  uint32_t error() const;
  /// Rasters allocated so far, for checking the bound.
  size_t rasterCount() const;

 private:
  struct Job {
    uint64_t sequence = 0;
    PageRaster* raster = nullptr;
    CodedPage coded;
    bool codedOk = false;
    uint32_t error = 0;
  };

  void work();
  void writeReady(std::unique_lock<std::mutex>& lock);
  PageRaster* takeFreeRaster(std::unique_lock<std::mutex>& lock);

  const int width_;
  const int height_;
  const int threads_;
  const size_t maxRasters_;
  const size_t maxInFlight_;

  mutable std::mutex mutex_;
  std::condition_variable workReady_;         // a job was queued, or stop
  mutable std::condition_variable progress_;  // a raster was freed or a page written
  std::vector<std::unique_ptr<PageRaster>> rasters_;
  std::vector<PageRaster*> free_;
  PageRaster* current_ = nullptr;
  PageWriter* writer_ = nullptr;
  std::deque<Job> queue_;
  std::vector<std::optional<Job>> ready_;  // coded pages by sequence modulo maxInFlight_
  std::vector<std::vector<uint8_t>> spareBuffers_;
  CodedPage inlineCoded_;  // reused by the threadless mode
  uint64_t nextSequence_ = 0;
  uint64_t nextToWrite_ = 0;
  size_t inFlight_ = 0;
  bool writing_ = false;
  bool stop_ = false;
  int pagesWritten_ = 0;
  uint32_t error_ = 0;
  std::vector<std::thread> workers_;
};

}  // namespace pw
