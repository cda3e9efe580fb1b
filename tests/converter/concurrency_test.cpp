// Conversions at once on separate threads, onto recording surfaces and fax devices: each must draw
// and write exactly what it does alone. They share only the reporter; built with
// -fsanitize=thread, this also catches any other state they share by accident.
#include <atomic>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "common/conversion_fixture.h"
#include "converter/tiff_test_files.h"
#include "pagewright/fax_device.h"
#include "platform/last_error.h"

namespace pw::testing {
namespace {

constexpr int kJobs = 4;

struct CountingSink : EventSink {
  bool write(const EventRecord&) override { return ++count, true; }
  std::atomic<int> count = 0;
};

struct Outcome {
  int result = -1;
  uint32_t lastError = 0, pages = 0;
  std::vector<std::string> calls;
  std::string output;  // the fax device's file
  bool operator==(const Outcome&) const = default;
};

// Job i has its own text, fields, image and confinement; odd jobs go to a fax device.
Outcome run(int i, const TempDir& dir, const std::string& output) {
  const std::string name = dir.file("job" + std::to_string(i));
  const char* const readable[] = {name.c_str()};
  EXPECT_EQ(pwSetReadableDirectories(readable, 1), 1);
  RenderParams params = defaultParams();
  params.directivesEnabled = 1;
  params.imageDirectory = name.c_str();
  FieldTable fields;
  fields.set(3, name + "/insert.txt").set(24, "Recipient " + name);
  const std::string text = name + "/text.txt";
  Outcome outcome;
  if (i % 2 == 0) {
    RecordingSurface surface;
    outcome.result = convertText(&params, &surface, text.c_str(), 0, fields.get(), &outcome.pages);
    outcome.lastError = lastError();
    outcome.calls = surface.calls;
  } else {
    PwFaxDeviceOptions options{};
    options.outputPath = output.c_str();
    options.compression = PW_FAX_COMPRESSION_G4;
    PwSurface* device = pwCreateFaxDevice(&options);
    outcome.result = pagewright(&params, device, text.c_str(), 0, fields.get(), &outcome.pages);
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

TEST(ConcurrencyTest, ConversionsTogetherDoWhatTheyDoAlone) {
  TempDir dir;
  CountingSink sink;
  moduleReporter().setHostSink(&sink);
  std::vector<Outcome> alone(kJobs), together(kJobs);
  for (int i = 0; i < kJobs; ++i) {
    const std::string name = "job" + std::to_string(i);
    std::filesystem::create_directories(dir.path() / name);
    TiffFile logo{24 + 8 * static_cast<uint32_t>(i), 6};
    logo.compression = COMPRESSION_CCITTFAX4;
    logo.rows.assign(6, std::vector<uint8_t>(logo.width / 8, static_cast<uint8_t>(0x11 * i)));
    ASSERT_TRUE(writeTiff(dir.file(name + "/logo.tif"), logo));
    dir.write(name + "/insert.txt", "inserted by " + name + "\nsecond line\n");
    std::string text = "#BF" + name + "#NF <ToName>\n@/logo@/2\n%3\n#T150|right|#IFitalic#NI\n";
    for (int line = 0; line < 150 + 40 * i; ++line)
      text += name + " line " + std::to_string(line) + "\n";
    // The reference that leaves its directory ends every job the same way.
    dir.write(name + "/text.txt", text + "#LOl#PO@/" + dir.file("job0") + "/../x@/1 never\n");
    alone[i] = run(i, dir, dir.file(name + ".alone.tif"));
    EXPECT_EQ(alone[i].lastError, kErrorAccessDenied);
  }
  std::vector<std::thread> threads;
  for (int i = 0; i < kJobs; ++i) {
    threads.emplace_back([&, i] { together[i] = run(i, dir, dir.file(std::to_string(i))); });
  }
  for (std::thread& thread : threads) thread.join();
  for (int i = 0; i < kJobs; ++i) EXPECT_TRUE(together[i] == alone[i]) << i;
  EXPECT_FALSE(alone[1].output.empty());
  // One report per job and run: the refused reference.
  EXPECT_EQ(sink.count, 2 * kJobs);
  moduleReporter().setHostSink(nullptr);
}

}  // namespace
}  // namespace pw::testing
