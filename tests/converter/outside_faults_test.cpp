// Faults of the outside world, each driven for real: a file-size limit while pages are written,
// a text file truncated or deleted while it is read, a font configuration without fonts.
#include <sys/resource.h>
#include <unistd.h>

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
using ::testing::ElementsAre;

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

std::size_t filesIn(const fs::path& directory) {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(directory)) ++count;
  return count;
}

// Converts text onto a fax device writing to directory/out.<extension>; prints what happened on
// stderr, for the death-test matcher, and exits.
[[noreturn]] void convertOntoFaxDeviceAndExit(const TempDir& dir, const std::string& text,
                                              uint32_t format, const char* extension) {
  const std::string output = (dir.path() / "out" / "fax.").string() + extension;
  PwFaxDeviceOptions options{};
  options.outputPath = output.c_str();
  options.format = format;
  PwSurface* device = pwCreateFaxDevice(&options);
  if (!device) std::_Exit(3);
  RenderParams params = defaultParams();
  uint32_t pages = 0;
  const int result = pagewright(&params, device, text.c_str(), 0, nullptr, &pages);
  uint32_t written = 0;
  uint32_t documentError = 0;
  (void)pwFaxDeviceStatus(device, &written, &documentError);
  if (result) (void)pwFaxDeviceCommit(device);
  pwDestroySurface(device);
  std::fprintf(stderr, "result=%d pages=%u documentError=%u files=%zu\n", result, pages,
               documentError, filesIn(dir.path() / "out"));
  std::_Exit(0);
}

void limitFileSize(rlim_t bytes) {
  // Ignored, SIGXFSZ no longer ends the process: the write fails with EFBIG instead.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{};
  getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = bytes;
  setrlimit(RLIMIT_FSIZE, &limit);
}

class FileSizeLimitTest : public ::testing::TestWithParam<std::pair<uint32_t, const char*>> {};

TEST_P(FileSizeLimitTest, AFailedWriteFailsTheDocumentAndLeavesNoFile) {
  TempDir dir;
  const auto [format, extension] = GetParam();
  // The text is written before the limit; 8 pages of fax output take far more than 20 KB.
  const std::string text = dir.write("letter.txt", pagesOfText(8));
  fs::create_directory(dir.path() / "out");
  EXPECT_EXIT(
      {
        limitFileSize(20000);
        convertOntoFaxDeviceAndExit(dir, text, format, extension);
      },
      ::testing::ExitedWithCode(0), "result=1 pages=8 documentError=223 files=0");
  // Without the limit the same conversion succeeds, so the limit is what failed it.
  EXPECT_EXIT(convertOntoFaxDeviceAndExit(dir, text, format, extension),
              ::testing::ExitedWithCode(0), "result=1 pages=8 documentError=0 files=[1-9]");
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

class ChangingTextFileTest : public ConversionTest {
 protected:
  // More than one read block, so that the converter reads again after the meddling.
  int convertWhile(const std::function<void(const std::string&)>& action) {
    const std::string text = dir.write("input.txt", pagesOfText(40));
    EXPECT_GT(fs::file_size(text), kReadBlockSize);
    meddling.meddle = [&] { action(text); };
    path = text;
    ConversionServices services;
    return convertText(&params, &meddling, text.c_str(), 0, nullptr, &pages, services);
  }
  MeddlingSurface meddling;
};

TEST_F(ChangingTextFileTest, TruncatedWhileReadEndsWithErrorReading) {
  EXPECT_EQ(convertWhile([](const std::string& text) { fs::resize_file(text, 100); }), 0);
  EXPECT_EQ(lastError(), kErrorFileInvalid);
  ASSERT_EQ(sink.events.size(), 1u);
  EXPECT_EQ(sink.events[0].id, msg::kErrorReading);
  EXPECT_THAT(sink.events[0].inserts, ElementsAre(path, errorText(kErrorFileInvalid)));
  // What was read before is laid out and the document is closed properly.
  EXPECT_GT(pages, 0u);
  EXPECT_EQ(meddling.count("startDoc"), meddling.count("endDoc"));
  EXPECT_EQ(meddling.liveFonts(), 0);
}

TEST_F(ChangingTextFileTest, DeletedWhileReadEndsWithErrorReading) {
  EXPECT_EQ(convertWhile([](const std::string& text) { fs::remove(text); }), 0);
  EXPECT_EQ(lastError(), kErrorFileInvalid);
  ASSERT_EQ(sink.events.size(), 1u);
  EXPECT_EQ(sink.events[0].id, msg::kErrorReading);
  EXPECT_EQ(meddling.count("startDoc"), meddling.count("endDoc"));
}

TEST_F(ChangingTextFileTest, GrowingWhileReadIsFine) {
  EXPECT_EQ(convertWhile([](const std::string& text) {
              std::FILE* file = std::fopen(text.c_str(), "ab");
              std::fputs("appended\n", file);
              std::fclose(file);
            }),
            1);
  EXPECT_EQ(meddling.texts().back(), "appended");
}

TEST(MissingFontsTest, AnEmptyFontConfigurationFailsAsCreateFontFailed) {
  // fontconfig reads its configuration once per process: the child must be a fresh one.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  TempDir dir;
  const std::string config =
      dir.write("fonts.conf", "<?xml version=\"1.0\"?>\n<fontconfig><cachedir>" +
                                  dir.file("cache") + "</cachedir></fontconfig>\n");
  setenv("FONTCONFIG_FILE", config.c_str(), 1);
  EXPECT_EXIT(
      {
        CaptureSink sink;
        moduleReporter().setHostSink(&sink);
        const std::string text = dir.write("letter.txt", "Dear Sir,\n");
        const std::string output = dir.file("fax.tif");
        PwFaxDeviceOptions options{};
        options.outputPath = output.c_str();
        PwSurface* device = pwCreateFaxDevice(&options);
        RenderParams params = defaultParams();
        uint32_t pages = 0;
        const int result = pagewright(&params, device, text.c_str(), 0, nullptr, &pages);
        const uint32_t error = pwGetLastError();
        pwDestroySurface(device);
        std::fprintf(stderr, "result=%d error=%u output=%d %s\n", result, error,
                     fs::exists(output) ? 1 : 0,
                     sink.events.empty() ? "" : sink.events[0].text.c_str());
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0),
      "result=0 error=2 output=0 Create font failed when converting .*letter.txt: ");
  unsetenv("FONTCONFIG_FILE");
}

}  // namespace
}  // namespace pw::testing
