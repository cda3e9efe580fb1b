// Several conversions at once on separate threads: each must draw and write exactly what it does
// alone. Concurrent conversions share only the reporter; built with -fsanitize=thread, these
// tests also catch any other state they share by accident.
#include <atomic>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/conversion_fixture.h"
#include "converter/tiff_test_files.h"
#include "pagewright/fax_device.h"
#include "platform/last_error.h"

namespace pw::testing {
namespace {

constexpr int kThreads = 4;
constexpr int kRounds = 3;

class CountingSink : public EventSink {
 public:
  bool write(const EventRecord&) override { return ++count, true; }
  std::atomic<int> count = 0;
};

struct Outcome {
  int result = -1;
  uint32_t lastError = 0;
  uint32_t pages = 0;
  std::vector<std::string> calls;
  std::string output;  // the fax device's file, when one was written

  bool operator==(const Outcome&) const = default;
};

class ConcurrencyTest : public ::testing::TestWithParam<bool> {
 protected:
  // Each job has its own text, fields, images and confinement.
  void SetUp() override {
    moduleReporter().setHostSink(&sink);
    for (int i = 0; i < kThreads; ++i) {
      const std::string name = "job" + std::to_string(i);
      std::filesystem::create_directories(dir.path() / name);
      TiffFile logo{24 + 8 * static_cast<uint32_t>(i), 6};
      logo.compression = COMPRESSION_CCITTFAX4;
      logo.rows.assign(6, std::vector<uint8_t>(logo.width / 8, static_cast<uint8_t>(0x11 * i)));
      ASSERT_TRUE(writeTiff(dir.file(name + "/logo.tif"), logo));
      dir.write(name + "/insert.txt", "inserted by " + name + "\nsecond line\n");
      std::ostringstream text;
      text << "#BF" << name << "#NF <ToName>\n@/logo@/2\n%3\n#T150|right|#IFitalic#NI\n";
      for (int line = 0; line < 150 + 40 * i; ++line) text << name << " line " << line << '\n';
      // The reference that leaves its directory ends every job the same way.
      text << "#LOlandscape#PO@/" << dir.file("job0") << "/../elsewhere@/1 never drawn\n";
      texts[i] = dir.write(name + "/text.txt", text.str());
      imageDirs[i] = dir.file(name);
      fields[i].set(3, dir.file(name + "/insert.txt")).set(24, "Recipient " + name);
      params[i].directivesEnabled = 1;
      params[i].imageDirectory = imageDirs[i].c_str();
    }
  }
  void TearDown() override { moduleReporter().setHostSink(nullptr); }

  // Runs job i on the calling thread, confined to its own directory, onto a recording surface
  // or, with GetParam(), a fax device writing to output.
  Outcome run(int i, const std::string& output) {
    const char* const readable[] = {imageDirs[i].c_str()};
    EXPECT_EQ(pwSetReadableDirectories(readable, 1), 1);
    Outcome outcome;
    if (!GetParam()) {
      RecordingSurface surface;
      outcome.result =
          convertText(&params[i], &surface, texts[i].c_str(), 0, fields[i].get(), &outcome.pages);
      outcome.lastError = lastError();
      outcome.calls = surface.calls;
    } else {
      PwFaxDeviceOptions options{};
      options.outputPath = output.c_str();
      options.compression = PW_FAX_COMPRESSION_G4;
      PwSurface* device = pwCreateFaxDevice(&options);
      outcome.result =
          pagewright(&params[i], device, texts[i].c_str(), 0, fields[i].get(), &outcome.pages);
      outcome.lastError = lastError();
      // Kept although the refused reference failed the job, so that there are pages to compare.
      EXPECT_EQ(pwFaxDeviceCommit(device), 1);
      pwDestroySurface(device);
      std::ifstream file(output, std::ios::binary);
      outcome.output.assign(std::istreambuf_iterator<char>(file), {});
    }
    (void)pwSetReadableDirectories(nullptr, 0);
    return outcome;
  }

  TempDir dir;
  std::string texts[kThreads];
  std::string imageDirs[kThreads];
  FieldTable fields[kThreads];
  RenderParams params[kThreads] = {defaultParams(), defaultParams(), defaultParams(),
                                   defaultParams()};
  CountingSink sink;
};

TEST_P(ConcurrencyTest, ConversionsTogetherDoWhatTheyDoAlone) {
  std::vector<Outcome> alone(kThreads);
  for (int i = 0; i < kThreads; ++i) {
    alone[i] = run(i, dir.file("alone" + std::to_string(i) + ".tif"));
    EXPECT_EQ(alone[i].lastError, kErrorAccessDenied);
    EXPECT_EQ(alone[i].output.empty(), !GetParam());
  }
  for (int round = 0; round < kRounds; ++round) {
    std::vector<Outcome> together(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
      threads.emplace_back(
          [this, i, &together] { together[i] = run(i, dir.file(std::to_string(i) + ".tif")); });
    }
    for (std::thread& thread : threads) thread.join();
    for (int i = 0; i < kThreads; ++i) EXPECT_TRUE(together[i] == alone[i]) << round << "/" << i;
  }
  // One report per job and run: the refused reference.
  EXPECT_EQ(sink.count, kThreads * (kRounds + 1));
}

INSTANTIATE_TEST_SUITE_P(RecordingSurfaceOrFaxDevice, ConcurrencyTest, ::testing::Bool());

}  // namespace
}  // namespace pw::testing
