#include "raster/page_pipeline.h"

#include <new>
#include <utility>

#include "platform/last_error.h"

namespace pw {

namespace {

// The cause of a failed coding or write, never 0, so that a failed page cannot pass unnoticed.
uint32_t failureCode() {
  const uint32_t code = lastError();
  return code != kErrorSuccess ? code : kErrorGenFailure;
}

// Runs a writer call; running out of memory fails it rather than ending a coding thread.
template <typename Call>
bool guarded(Call call) {
  try {
    return call();
  } catch (const std::bad_alloc&) {
    return failWith(kErrorNotEnoughMemory);
  }
}

}  // namespace

PagePipeline::PagePipeline(int width, int height, int threads)
    : width_(width),
      height_(height),
      threads_(threads > 0 ? threads : 0),
      // One raster being drawn, one per coding thread and one queued behind them, so that the
      // drawing thread rarely waits.
      maxRasters_(static_cast<size_t>(threads_) + 2),
      maxInFlight_(static_cast<size_t>(threads_) + 1),
      // At most maxInFlight_ consecutive pages are in flight, so their slots never collide.
      ready_(maxInFlight_) {
  rasters_.push_back(std::make_unique<PageRaster>(width_, height_));
  current_ = rasters_.back().get();
}

PagePipeline::~PagePipeline() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  workReady_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void PagePipeline::start(PageWriter* writer) {
  (void)drain();
  std::lock_guard lock(mutex_);
  writer_ = writer;
  error_ = kErrorSuccess;
  pagesWritten_ = 0;
}

bool PagePipeline::submit() {
  // Without threads, and for the device's first page, the page is coded here. Most faxes have
  // one page or a few, and a one-page job gains nothing from starting threads.
  if (threads_ == 0 || nextSequence_ == 0) {
    if (error_ != kErrorSuccess) return failWith(error_);
    const bool ok = guarded([this] {
      return writer_->encodePage(*current_, &inlineCoded_) && writer_->writeCoded(inlineCoded_);
    });
    std::lock_guard lock(mutex_);
    if (!ok) {
      error_ = failureCode();
      return failWith(error_);
    }
    ++nextSequence_;
    ++nextToWrite_;
    ++pagesWritten_;
    return true;
  }

  std::unique_lock lock(mutex_);
  if (error_ != kErrorSuccess) return failWith(error_);
  if (workers_.empty()) {
    workers_.reserve(static_cast<size_t>(threads_));
    for (int i = 0; i < threads_; ++i) workers_.emplace_back([this] { work(); });
  }
  Job job;
  job.sequence = nextSequence_;
  job.raster = current_;
  queue_.push_back(std::move(job));
  ++nextSequence_;
  ++inFlight_;
  workReady_.notify_one();
  try {
    current_ = takeFreeRaster(lock);
  } catch (const std::bad_alloc&) {
    // The raster just queued still belongs to a coding thread. Fail the document, so that its
    // page is dropped uncoded, and draw on again once that raster comes back.
    error_ = kErrorNotEnoughMemory;
    progress_.wait(lock, [this] { return !free_.empty(); });
    current_ = free_.back();
    free_.pop_back();
    return failWith(error_);
  }
  return true;
}

PageRaster* PagePipeline::takeFreeRaster(std::unique_lock<std::mutex>& lock) {
  progress_.wait(lock, [this] {
    return inFlight_ < maxInFlight_ && (!free_.empty() || rasters_.size() < maxRasters_);
  });
  if (!free_.empty()) {
    PageRaster* raster = free_.back();
    free_.pop_back();
    return raster;
  }
  rasters_.push_back(std::make_unique<PageRaster>(width_, height_));
  return rasters_.back().get();
}

uint32_t PagePipeline::drain() const {
  std::unique_lock lock(mutex_);
  progress_.wait(lock, [this] { return inFlight_ == 0; });
  return error_;
}

int PagePipeline::pagesWritten() const {
  std::unique_lock lock(mutex_);
  progress_.wait(lock, [this] { return inFlight_ == 0; });
  return pagesWritten_;
}

uint32_t PagePipeline::error() const {
  std::unique_lock lock(mutex_);
  progress_.wait(lock, [this] { return inFlight_ == 0; });
  return error_;
}

size_t PagePipeline::rasterCount() const {
  std::lock_guard lock(mutex_);
  return rasters_.size();
}

void PagePipeline::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    workReady_.wait(lock, [this] { return stop_ || !queue_.empty(); });
    if (queue_.empty()) return;
    Job job = std::move(queue_.front());
    queue_.pop_front();
    if (!spareBuffers_.empty()) {
      job.coded.data = std::move(spareBuffers_.back());
      spareBuffers_.pop_back();
    }
    // After a failure the rest of the document is dropped uncoded.
    const bool wanted = error_ == kErrorSuccess;
    PageWriter* writer = writer_;
    lock.unlock();
    if (wanted) {
      job.codedOk = guarded([&] { return writer->encodePage(*job.raster, &job.coded); });
      if (!job.codedOk) job.error = failureCode();
    }
    lock.lock();
    free_.push_back(job.raster);
    job.raster = nullptr;
    const uint64_t sequence = job.sequence;
    ready_[sequence % maxInFlight_] = std::move(job);
    writeReady(lock);
    progress_.notify_all();
  }
}

// Writes the coded pages that are next in order. Only one thread writes at a time; the others
// leave their pages in ready_ for it.
void PagePipeline::writeReady(std::unique_lock<std::mutex>& lock) {
  while (!writing_) {
    std::optional<Job>& slot = ready_[nextToWrite_ % maxInFlight_];
    if (!slot) return;
    Job job = std::move(*slot);
    slot.reset();
    if (!job.codedOk && job.error != kErrorSuccess && error_ == kErrorSuccess) error_ = job.error;
    const bool write = job.codedOk && error_ == kErrorSuccess;
    bool written = false;
    uint32_t failure = kErrorSuccess;
    if (write) {
      writing_ = true;
      PageWriter* writer = writer_;
      lock.unlock();
      written = guarded([&] { return writer->writeCoded(job.coded); });
      if (!written) failure = failureCode();
      lock.lock();
      writing_ = false;
    }
    if (written) ++pagesWritten_;
    if (write && !written && error_ == kErrorSuccess) error_ = failure;
    spareBuffers_.push_back(std::move(job.coded.data));
    ++nextToWrite_;
    --inFlight_;
  }
}

}  // namespace pw
