// Faults of the outside world, each driven for real: a file-size limit while pages are written,
// a text file truncated or deleted while it is read, a font configuration without fonts.
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
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

// Text of many pages, so that the device writes long after the document started.
std::string pagesOfText(int pages) {
  std::string text;
  for (int page = 0; page < pages; ++page) {
    for (int line = 0; line < 60; ++line) {
      text += "Page " + std::to_string(page) + " line " + std::to_string(line) +
              ": the quick brown fox jumps over the lazy dog 0123456789\n";
    }
    text += '\f';
  }
  return text;
}

// Converts text onto a fax device writing to directory/out.<extension> with the file size limited
// to limit bytes (0: unlimited); prints what happened on stderr, for the death-test matcher.
[[noreturn]] void convertOntoFaxDeviceAndExit(const TempDir& dir, const std::string& text,
                                              uint32_t format, const char* extension,
                                              rlim_t limit) {
  if (limit) {
    // Ignored, SIGXFSZ no longer ends the process: the write fails with EFBIG instead.
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limits{limit, limit};
    setrlimit(RLIMIT_FSIZE, &limits);
  }
  CaptureSink sink;
  moduleReporter().setHostSink(&sink);
  fs::create_directory(dir.path() / "out");
  const std::string output = (dir.path() / "out" / "fax.").string() + extension;
  PwFaxDeviceOptions options{};
  options.outputPath = output.c_str();
  options.format = format;
  PwSurface* device = pwCreateFaxDevice(&options);
  if (!device) std::_Exit(3);
  const RenderParams params = defaultParams();
  uint32_t pages = 0, written = 0, documentError = 0;
  const int result = pagewright(&params, device, text.c_str(), 0, nullptr, &pages);
  const uint32_t error = pwGetLastError();
  (void)pwFaxDeviceStatus(device, &written, &documentError);
  if (result) (void)pwFaxDeviceCommit(device);
  pwDestroySurface(device);
  const auto files = std::distance(fs::directory_iterator(dir.path() / "out"), {});
  std::fprintf(stderr, "result=%d pages=%u error=%u documentError=%u files=%td %s\n", result, pages,
               error, documentError, files, sink.events.empty() ? "" : sink.events[0].text.c_str());
  std::_Exit(0);
}

class FileSizeLimitTest : public ::testing::TestWithParam<std::pair<uint32_t, const char*>> {};

TEST_P(FileSizeLimitTest, AFailedWriteFailsTheDocumentAndLeavesNoFile) {
  TempDir dir;
  const auto [format, extension] = GetParam();
  // 8 pages of fax output take far more than 20 KB.
  const std::string text = dir.write("letter.txt", pagesOfText(8));
  EXPECT_EXIT(convertOntoFaxDeviceAndExit(dir, text, format, extension, 20000),
              ::testing::ExitedWithCode(0), "result=1 pages=8 error=0 documentError=223 files=0");
  // Without the limit the same conversion succeeds, so the limit is what failed it.
  EXPECT_EXIT(convertOntoFaxDeviceAndExit(dir, text, format, extension, 0),
              ::testing::ExitedWithCode(0), "result=1 pages=8 error=0 documentError=0 files=[1-9]");
}

INSTANTIATE_TEST_SUITE_P(Formats, FileSizeLimitTest,
                         ::testing::Values(std::pair{PW_FAX_FORMAT_TIFF, "tif"},
                                           std::pair{PW_FAX_FORMAT_PDF, "pdf"},
                                           std::pair{PW_FAX_FORMAT_PNG, "png"}));

// A surface that does something to the text file as soon as the first line is drawn, while the
// converter is still in its first read block.
class MeddlingSurface : public RecordingSurface {
 public:
  std::function<void()> meddle;
  bool textOut(int x, int y, const char* text, int count) override {
    if (meddle) std::exchange(meddle, nullptr)();
    return RecordingSurface::textOut(x, y, text, count);
  }
};

using ChangingTextFileTest = ConversionTest;

TEST_F(ChangingTextFileTest, ShrinkingEndsWithErrorReadingGrowingIsFine) {
  const struct {
    void (*action)(const std::string& text);
    int result;
  } cases[] = {
      {[](const std::string& text) { fs::resize_file(text, 100); }, 0},
      {[](const std::string& text) { fs::remove(text); }, 0},
      {[](const std::string& text) {
         std::FILE* file = std::fopen(text.c_str(), "ab");
         std::fputs("appended\n", file);
         std::fclose(file);
       },
       1},
  };
  for (const auto& c : cases) {
    sink.events.clear();
    // More than one read block, so that the converter reads again after the meddling.
    path = dir.write("input.txt", pagesOfText(40));
    ASSERT_GT(fs::file_size(path), kReadBlockSize);
    MeddlingSurface meddling;
    meddling.meddle = [&] { c.action(path); };
    EXPECT_EQ(convertText(&params, &meddling, path.c_str(), 0, nullptr, &pages), c.result);
    // What was read before is laid out and the document is closed properly.
    EXPECT_GT(pages, 0u);
    EXPECT_EQ(meddling.count("endDoc"), 1);
    EXPECT_EQ(meddling.liveFonts(), 0);
    if (c.result) {
      EXPECT_EQ(meddling.texts().back(), "appended");
    } else {
      EXPECT_EQ(lastError(), kErrorFileInvalid);
      ASSERT_EQ(sink.events.size(), 1u);
      EXPECT_EQ(sink.events[0].id, msg::kErrorReading);
      EXPECT_THAT(sink.events[0].inserts,
                  ::testing::ElementsAre(path, errorText(kErrorFileInvalid)));
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
  EXPECT_EXIT(convertOntoFaxDeviceAndExit(dir, dir.write("letter.txt", "Dear Sir,\n"),
                                          PW_FAX_FORMAT_TIFF, "tif", 0),
              ::testing::ExitedWithCode(0),
              "result=0 pages=0 error=2 documentError=0 files=0 Create font failed when "
              "converting .*letter.txt: ");
  unsetenv("FONTCONFIG_FILE");
}

}  // namespace
}  // namespace pw::testing
