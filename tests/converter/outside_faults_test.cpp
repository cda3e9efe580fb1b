// Faults of the outside world, each driven for real: a text file cut, removed or grown while it is
// read, a font configuration without fonts.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>

#include "common/conversion_fixture.h"
#include "eventlog/message_table.h"
#include "pagewright/fax_device.h"
#include "platform/last_error.h"

namespace pw::testing {
namespace {

namespace fs = std::filesystem;

// Converts text onto a fax device writing TIFF pages to directory/out; prints what happened on
// stderr, for the death-test matcher.
[[noreturn]] void convertOntoFaxDeviceAndExit(const TempDir& dir, const std::string& text) {
  CaptureSink sink;
  moduleReporter().setHostSink(&sink);
  fs::create_directory(dir.path() / "out");
  const std::string output = (dir.path() / "out" / "fax.tif").string();
  PwFaxDeviceOptions options{};
  options.outputPath = output.c_str();
  PwSurface* device = pwCreateFaxDevice(&options);
  if (!device) std::_Exit(3);
  const RenderParams params = defaultParams();
  uint32_t pages = 0;
  const int result = pagewright(&params, device, text.c_str(), 0, nullptr, &pages);
  const uint32_t error = pwGetLastError();
  if (result) (void)pwFaxDeviceCommit(device);
  pwDestroySurface(device);
  const auto files = std::distance(fs::directory_iterator(dir.path() / "out"), {});
  std::fprintf(stderr, "result=%d pages=%u error=%u files=%td %s\n", result, pages, error, files,
               sink.events.empty() ? "" : sink.events[0].text.c_str());
  // The child runs the test afresh, with a folder of its own that no destructor will remove.
  std::error_code ignored;
  fs::remove_all(dir.path(), ignored);
  std::_Exit(0);
}

// Changes the text file as soon as the first line is drawn, while the converter is still in its
// first read block: a file cut short or removed ends the conversion with a read error.
struct MeddlingSurface : RecordingSurface {
  std::function<void()> meddle;
  bool textOut(int x, int y, const char* text, int count) override {
    if (meddle) std::exchange(meddle, nullptr)();
    return RecordingSurface::textOut(x, y, text, count);
  }
};

using ChangingTextFileTest = ConversionTest;

TEST_F(ChangingTextFileTest, CutOrRemovedWhileReadFailsGrownIsRead) {
  for (const char* change : {"cut", "removed", "grew"}) {
    SCOPED_TRACE(change);
    sink.events.clear();
    std::string text;  // more than one read block
    while (text.size() <= 2 * kReadBlockSize)
      text += "the quick brown fox jumps over the lazy dog\n";
    path = dir.write("input.txt", text);
    const bool grew = change[0] == 'g';
    MeddlingSurface meddling;
    meddling.meddle = [&] {
      if (change[0] == 'c') fs::resize_file(path, 100);
      if (change[0] == 'r') fs::remove(path);
      if (grew) std::ofstream(path, std::ios::app) << "appended\n";
    };
    EXPECT_EQ(convertText(&params, &meddling, path.c_str(), 0, nullptr, &pages), grew ? 1 : 0);
    // What was read before is laid out and the document is closed properly.
    EXPECT_EQ(meddling.count("endDoc"), 1);
    EXPECT_EQ(meddling.liveFonts(), 0);
    if (grew) {
      EXPECT_EQ(meddling.texts().back(), "appended");
    } else {
      EXPECT_THAT(eventIds(), ::testing::ElementsAre(msg::kErrorReading));
      EXPECT_EQ(sink.events[0].inserts.back(), errorText(kErrorFileInvalid));
    }
  }
}

TEST(MissingFontsTest, AnEmptyFontConfigurationFailsAsCreateFontFailed) {
  // fontconfig reads its configuration once per process: the child must be a fresh one.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  TempDir dir;
  const std::string config =
      dir.write("fonts.conf", "<?xml version=\"1.0\"?>\n<fontconfig><cachedir>" +
                                  dir.file("cache") + "</cachedir></fontconfig>\n");
  setenv("FONTCONFIG_FILE", config.c_str(), 1);
  EXPECT_EXIT(convertOntoFaxDeviceAndExit(dir, dir.write("letter.txt", "Dear Sir,\n")),
              ::testing::ExitedWithCode(0),
              "result=0 pages=0 error=2 files=0 Create font failed when converting .*letter.txt: ");
  unsetenv("FONTCONFIG_FILE");
}

}  // namespace
}  // namespace pw::testing
