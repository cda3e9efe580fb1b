// Runs conversions of literal texts onto a recording surface and captures the reports.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "common/recording_surface.h"
#include "common/temp_dir.h"
#include "converter/converter.h"
#include "eventlog/event_reporter.h"

namespace pw::testing {

struct CapturedEvent {
  uint32_t id = 0;
  uint16_t type = 0;
  std::vector<std::string> inserts;
  std::string text;
};

class CaptureSink : public EventSink {
 public:
  bool write(const EventRecord& record) override;
  std::vector<CapturedEvent> events;
};

/// A4, 10 mm margins, 12 pt font, no extra line spacing: on the recording surface at 196 dpi that
/// is left 101, right 1627, top 77, bottom 2214 and a line advance of 20.
RenderParams defaultParams();

/// Builds JobFields values in the line-list layout from plain strings ("a\nb" is two lines).
class FieldTable {
 public:
  FieldTable& set(int index, std::string_view lines);
  const JobFields* get() const { return &fields_; }

 private:
  JobFields fields_{};
  std::vector<std::string> storage_ = std::vector<std::string>(PW_JOB_FIELD_COUNT);
};

class ConversionTest : public ::testing::Test {
 protected:
  void SetUp() override { moduleReporter().setHostSink(&sink); }
  void TearDown() override { moduleReporter().setHostSink(nullptr); }

  /// Writes text to a file and converts it; returns the result.
  int convert(std::string_view text, const JobFields* fields = nullptr);
  /// Converts an existing path (or null) as given.
  int convertPath(const char* textPath, const JobFields* fields = nullptr,
                  FileOpener* files = nullptr);
  /// The ids of the captured reports, in order.
  std::vector<uint32_t> eventIds() const;

  RenderParams params = defaultParams();
  RecordingSurface surface;
  CaptureSink sink;
  TempDir dir;
  std::string path;
  uint32_t pages = 12345;
};

}  // namespace pw::testing
