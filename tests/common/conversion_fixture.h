// Runs conversions of literal texts onto a recording surface and captures the reports.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
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
  bool write(const EventRecord& record) override {
    events.push_back({record.id,
                      record.type,
                      {record.inserts, record.inserts + record.insertCount},
                      record.text});
    return true;
  }
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

/// Text files in memory, read at most blockSize bytes at a time; at its end a file fails to read
/// with endError unless that is 0. A path not held fails to open with 2 (not found).
class MemoryFiles : public FileOpener {
 public:
  std::unique_ptr<FileReader> openForReading(const char* path) override;
  std::map<std::string, std::string> texts;
  uint32_t blockSize = kReadBlockSize, endError = 0;
  std::vector<std::string> opened;  // every path asked for
};

/// A host's name lookup: notes every name; finds it as prefix + name, or as everyName when that
/// is set; a name containing "lost" is not found, with lostError.
class Locator : public NameLocator {
 public:
  bool locate(const char* name, std::string* path) override;
  std::string prefix, everyName;
  uint32_t lostError = 32;  // sharing violation
  std::vector<std::string> names;
};

/// One conversion of a table: the text, what is drawn (RecordingSurface::drawing), the pages
/// counted and the id of the one report, if any; setup changes the page description first.
struct Row {
  std::string text, drawn;
  uint32_t pages = 1;
  uint32_t event = 0;
  void (*setup)(RenderParams&) = nullptr;
};

class ConversionTest : public ::testing::Test {
 protected:
  void SetUp() override { moduleReporter().setHostSink(&sink); }
  void TearDown() override { moduleReporter().setHostSink(nullptr); }

  /// Writes text to a file and converts it with services; returns the result.
  int convert(std::string_view text, const JobFields* fields = nullptr);
  /// Converts an existing path (or null) as given.
  int convertPath(const char* textPath, const JobFields* fields = nullptr);
  /// Converts each row on a fresh surface, with params as they are plus the row's setup and with
  /// rowFields, and expects it to succeed as the row says.
  void check(const std::vector<Row>& rows);
  /// A fresh surface and no reports.
  void reset() {
    surface = RecordingSurface();
    sink.events.clear();
  }
  /// The ids of the captured reports, in order.
  std::vector<uint32_t> eventIds() const;

  RenderParams params = defaultParams();
  ConversionServices services;
  RecordingSurface surface;
  CaptureSink sink;
  TempDir dir;
  const JobFields* rowFields = nullptr;
  std::string path;
  uint32_t pages = 12345;
};

}  // namespace pw::testing
