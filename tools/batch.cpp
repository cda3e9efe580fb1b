#include "batch.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace pw::cli {

namespace {

std::string summary(const std::vector<std::string>& inputs,
                    const std::vector<ConversionResult>& results) {
  std::size_t converted = 0;
  uint32_t pages = 0;
  std::string failed;
  for (std::size_t i = 0; i < results.size(); ++i) {
    if (results[i].ok) {
      ++converted;
      pages += results[i].pages;
    } else {
      failed += (failed.empty() ? "" : ", ") + inputs[i];
    }
  }
  std::string line = "converted " + std::to_string(converted) + " of " +
                     std::to_string(inputs.size()) + " files, " + pagesText(pages);
  if (!failed.empty()) line += "; failed: " + failed;
  return line;
}

}  // namespace

int runConversions(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs,
                   const ConversionSettings& settings, unsigned threads, Console& console) {
  std::vector<ConversionResult> results(inputs.size());
  const std::size_t workerCount = std::clamp<std::size_t>(threads, 1, inputs.size());
  std::atomic<std::size_t> next = 0;
  const bool several = inputs.size() > 1;
  if (several) console.startProgress(inputs.size());

  auto work = [&] {
    for (std::size_t i = next++; i < inputs.size(); i = next++) {
      results[i] = convertFile(inputs[i], outputs[i], settings, console);
      if (results[i].ok) {
        console.result(results[i].written + ": " + pagesText(results[i].pages));
      } else {
        console.message(Severity::kError, inputs[i] + ": " + results[i].problem);
      }
      if (several) console.advanceProgress(inputs[i]);
    }
  };
  if (workerCount == 1) {
    work();
  } else {
    std::vector<std::thread> workers;
    workers.reserve(workerCount);
    for (std::size_t i = 0; i < workerCount; ++i) workers.emplace_back(work);
    for (std::thread& worker : workers) worker.join();
  }

  if (several) {
    console.endProgress();
    console.status(summary(inputs, results));
  }
  const bool allOk =
      std::all_of(results.begin(), results.end(), [](const ConversionResult& r) { return r.ok; });
  return allOk ? 0 : 1;
}

}  // namespace pw::cli
