// Several conversions at once on separate threads: each must draw and write exactly what it does
// alone. Concurrent conversions share only the reporter; built with -fsanitize=thread, these
// tests also catch any other state they share by accident.
#include <fstream>
#include <iterator>
#include <mutex>
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
  bool write(const EventRecord& record) override {
    std::lock_guard lock(mutex_);
    ids_.push_back(record.id);
    return true;
  }
  std::size_t size() {
    std::lock_guard lock(mutex_);
    return ids_.size();
  }

 private:
  std::mutex mutex_;
  std::vector<uint32_t> ids_;
};

// One job: its own text, fields, images and confinement.
struct Job {
  std::string textPath;
  std::string imageDir;
  FieldTable fields;
  RenderParams params = defaultParams();
};

struct Outcome {
  int result = -1;
  uint32_t lastError = 0;
  uint32_t pages = 0;
  std::vector<std::string> calls;
  std::string output;  // the fax device's file, when one was written
};

std::string readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

class ConcurrencyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    moduleReporter().setHostSink(&sink);
    for (int i = 0; i < kThreads; ++i) {
      const std::string name = "job" + std::to_string(i);
      std::filesystem::create_directories(dir.path() / name);
      TiffFile logo;
      logo.width = 24 + 8 * i;
      logo.height = 6;
      logo.compression = COMPRESSION_CCITTFAX4;
      logo.rows.assign(6, std::vector<uint8_t>(logo.width / 8, static_cast<uint8_t>(0x11 * i)));
      ASSERT_TRUE(writeTiff(dir.file(name + "/logo.tif"), logo));
      dir.write(name + "/insert.txt", "inserted by " + name + "\nsecond line\n");
      std::ostringstream text;
      text << "#BF" << name << "#NF <ToName>\n@/logo@/2\n%3\n#T150|right|#IFitalic#NI\n";
      for (int line = 0; line < 150 + 40 * i; ++line) text << name << " line " << line << '\n';
      text << "#LOlandscape#PO@/" << dir.file("job0") << "/../elsewhere@/1 never drawn\n";
      jobs[i].textPath = dir.write(name + "/text.txt", text.str());
      jobs[i].imageDir = dir.file(name);
      jobs[i].fields.set(3, dir.file(name + "/insert.txt")).set(24, "Recipient " + name);
      jobs[i].params.directivesEnabled = 1;
      jobs[i].params.imageDirectory = jobs[i].imageDir.c_str();
    }
  }
  void TearDown() override { moduleReporter().setHostSink(nullptr); }

  // Runs job i on the calling thread, confined to its own directory, onto a recording surface
  // or, when output is not empty, a fax device writing there.
  Outcome run(int i, const std::string& output) {
    const Job& job = jobs[i];
    const char* const readable[] = {job.imageDir.c_str()};
    EXPECT_EQ(pwSetReadableDirectories(readable, 1), 1);
    Outcome outcome;
    if (output.empty()) {
      RecordingSurface surface;
      outcome.result = convertText(&job.params, &surface, job.textPath.c_str(), 0, job.fields.get(),
                                   &outcome.pages);
      outcome.calls = surface.calls;
    } else {
      PwFaxDeviceOptions options{};
      options.outputPath = output.c_str();
      options.compression = PW_FAX_COMPRESSION_G4;
      PwSurface* device = pwCreateFaxDevice(&options);
      outcome.result = pagewright(&job.params, device, job.textPath.c_str(), 0, job.fields.get(),
                                  &outcome.pages);
      if (outcome.result) (void)pwFaxDeviceCommit(device);
      pwDestroySurface(device);
      outcome.output = readFile(output);
    }
    outcome.lastError = lastError();
    (void)pwSetReadableDirectories(nullptr, 0);
    return outcome;
  }

  void expectSameAsAlone(bool onFaxDevice) {
    std::vector<Outcome> alone(kThreads);
    for (int i = 0; i < kThreads; ++i) {
      alone[i] = run(i, onFaxDevice ? dir.file("alone" + std::to_string(i) + ".tif") : "");
      // The reference that leaves its directory ends every job the same way.
      EXPECT_EQ(alone[i].result, 0);
      EXPECT_EQ(alone[i].lastError, kErrorAccessDenied);
      EXPECT_GT(alone[i].pages, 1u);
    }
    for (int round = 0; round < kRounds; ++round) {
      std::vector<Outcome> together(kThreads);
      std::vector<std::thread> threads;
      for (int i = 0; i < kThreads; ++i) {
        const std::string output =
            onFaxDevice ? dir.file("together" + std::to_string(i) + ".tif") : "";
        threads.emplace_back([this, i, output, &together] { together[i] = run(i, output); });
      }
      for (std::thread& thread : threads) thread.join();
      for (int i = 0; i < kThreads; ++i) {
        SCOPED_TRACE("round " + std::to_string(round) + ", job " + std::to_string(i));
        EXPECT_EQ(together[i].result, alone[i].result);
        EXPECT_EQ(together[i].lastError, alone[i].lastError);
        EXPECT_EQ(together[i].pages, alone[i].pages);
        EXPECT_EQ(together[i].calls, alone[i].calls);
        EXPECT_TRUE(together[i].output == alone[i].output) << "the fax files differ";
      }
    }
    // One report per job and run: the refused reference.
    EXPECT_EQ(sink.size(), static_cast<std::size_t>(kThreads * (kRounds + 1)));
  }

  TempDir dir;
  Job jobs[kThreads];
  CountingSink sink;
};

TEST_F(ConcurrencyTest, ConversionsOnRecordingSurfacesDrawWhatTheyDrawAlone) {
  expectSameAsAlone(/*onFaxDevice=*/false);
}

TEST_F(ConcurrencyTest, ConversionsOnFaxDevicesWriteWhatTheyWriteAlone) {
  expectSameAsAlone(/*onFaxDevice=*/true);
}

}  // namespace
}  // namespace pw::testing
