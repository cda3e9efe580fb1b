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

// Job i, confined to the directory, with its own text and fields: even jobs draw on a recording
// surface, odd ones write through a fax device. What it did: result, last error, pages, then the
// calls or the file written.
std::string run(int i, const TempDir& dir) {
  const std::string job = std::to_string(i), output = dir.file(job + ".tif");
  const std::string readable = dir.path().string(), text = dir.file(job + ".txt");
  const char* const directories[] = {readable.c_str()};
  EXPECT_EQ(pwSetReadableDirectories(directories, 1), 1);
  RenderParams params = defaultParams();
  params.directivesEnabled = 1;
  params.imageDirectory = readable.c_str();
  FieldTable fields;
  fields.set(3, dir.file("insert" + job)).set(24, "Recipient " + job);
  RecordingSurface surface;
  PwFaxDeviceOptions options{};
  options.outputPath = output.c_str();
  options.compression = PW_FAX_COMPRESSION_G4;
  PwSurface* device = i % 2 ? pwCreateFaxDevice(&options) : nullptr;
  uint32_t pages = 0;
  const int result = device ? pagewright(&params, device, text.c_str(), 0, fields.get(), &pages)
                            : convertText(&params, &surface, text.c_str(), 0, fields.get(), &pages);
  std::string outcome = std::to_string(result) + " " + std::to_string(lastError()) + " " +
                        std::to_string(pages) + "\n";
  for (const std::string& call : surface.calls) outcome += call + "\n";
  if (device) {
    // Kept although the refused reference failed the job, so that there are pages to compare.
    EXPECT_EQ(pwFaxDeviceCommit(device), 1);
    pwDestroySurface(device);
    std::ifstream file(output, std::ios::binary);
    outcome.append(std::istreambuf_iterator<char>(file), {});
  }
  (void)pwSetReadableDirectories(nullptr, 0);
  return outcome;
}

TEST(ConcurrencyTest, ConversionsTogetherDoWhatTheyDoAlone) {
  TempDir dir;
  CountingSink sink;
  moduleReporter().setHostSink(&sink);
  TiffFile logo{32, 6};
  logo.compression = COMPRESSION_CCITTFAX4;
  logo.rows.assign(6, std::vector<uint8_t>(4, 0x5A));
  ASSERT_TRUE(writeTiff(dir.file("logo.tif"), logo));
  std::vector<std::string> alone(kJobs), together(kJobs);
  for (int i = 0; i < kJobs; ++i) {
    const std::string job = std::to_string(i);
    dir.write("insert" + job, "inserted by " + job + "\nsecond line\n");
    std::string text = "#BF" + job + "#NF <ToName>\n@/logo@/2\n%3\n#T150|right|#IFitalic#NI\n";
    for (int line = 0; line < 150 + 40 * i; ++line) text += "line of job " + job + "\n";
    // The reference that leaves the directory ends every job the same way.
    dir.write(job + ".txt", text + "#LOl#PO@/../x@/1 never\n");
    alone[i] = run(i, dir);
    EXPECT_EQ(alone[i].substr(0, 4), "0 5 ") << "failed, access denied";
  }
  std::vector<std::thread> threads;
  for (int i = 0; i < kJobs; ++i) threads.emplace_back([&, i] { together[i] = run(i, dir); });
  for (std::thread& thread : threads) thread.join();
  for (int i = 0; i < kJobs; ++i) EXPECT_TRUE(together[i] == alone[i]) << i;
  EXPECT_NE(alone[1].find("II*"), std::string::npos) << "a TIFF file was written";
  // One report per job and run: the refused reference.
  EXPECT_EQ(sink.count, 2 * kJobs);
  moduleReporter().setHostSink(nullptr);
}

}  // namespace
}  // namespace pw::testing
