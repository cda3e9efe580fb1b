// Conversions that lose no text, and pwConvert reading through its host's callbacks.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "api/surface_handle.h"
#include "common/conversion_fixture.h"
#include "eventlog/message_table.h"
#include "platform/last_error.h"

namespace pw::testing {
namespace {

using ::testing::ElementsAre;

std::string repeated(const std::string& piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

class KeepAllTextTest : public ConversionTest {
 protected:
  // 100 mm paper: bottom = 7717 * 90 / 1000 = 694, 31 lines of 138 characters a page.
  static constexpr int kBottom = 694;

  void SetUp() override {
    ConversionTest::SetUp();
    params.pageHeightMm = 100;
  }

  int convertKeepingAll(const std::string& text, const JobFields* fields) {
    path = dir.write("input.txt", text);
    ConversionServices services;
    services.keepAllText = true;
    return convertText(&params, &surface, path.c_str(), 0, fields, &pages, services);
  }
};

struct LongLine {
  const char* name;
  std::string text;
  std::string drawn;  // every character drawn, in order
};

// Each case crosses the line buffer's 2,999 characters in another place.
TEST_F(KeepAllTextTest, EveryCharacterOfALongLineIsDrawnOnAPage) {
  const std::string words = repeated("word ", 2000) + "END";
  const std::string prefix = repeated("word ", 599) + "wor";  // 2,998 characters
  const std::string shortPrefix = repeated("word ", 598);     // 2,990 characters
  const LongLine cases[] = {
      {"plain paragraph", words, words},
      {"placeholder across the limit", prefix + "<ToName> tail", prefix + "Ann tail"},
      {"placeholder at the limit", prefix + "r<ToName>", prefix + "rAnn"},
      {"short field across the limit", shortPrefix + "#SO tail",
       shortPrefix + "Lee and Partners Ltd tail"},
  };
  FieldTable fields;
  fields.set(24, "Ann").set(5, "Lee and Partners Ltd");
  params.directivesEnabled = 1;
  for (const LongLine& c : cases) {
    SCOPED_TRACE(c.name);
    surface = RecordingSurface();
    sink.events.clear();
    ASSERT_EQ(convertKeepingAll(c.text, fields.get()), 1);
    std::string drawn;
    for (const std::string& text : surface.texts()) drawn += text;
    EXPECT_EQ(drawn, c.drawn);
    for (const std::string& call : surface.only("textOut")) {
      int x = 0;
      int y = 0;
      ASSERT_EQ(std::sscanf(call.c_str(), "textOut %d,%d", &x, &y), 2);
      EXPECT_LE(y, kBottom) << "drawn below the page's limit: " << call;
    }
    EXPECT_TRUE(sink.events.empty()) << sink.events[0].text;
  }
  // The paragraph wraps at spaces only, as if it had been read whole.
  surface = RecordingSurface();
  ASSERT_EQ(convertKeepingAll(words, nullptr), 1);
  const std::vector<std::string> lines = surface.texts();
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) EXPECT_EQ(lines[i].back(), ' ') << i;
  EXPECT_EQ(lines.back().substr(lines.back().size() - 4), " END");
  EXPECT_EQ(pages, 3u);
}

// A host's files: texts by path, and a log of what the library asked for.
struct HostFiles {
  std::map<std::string, std::string> texts;
  std::vector<std::string> calls;
  int openStreams = 0;
};

struct MemoryStream {
  HostFiles* host;
  std::string text;
  std::size_t at = 0;
};

int openText(void* user, uint32_t kind, const char* path, PwTextStream* stream) {
  auto* host = static_cast<HostFiles*>(user);
  host->calls.push_back((kind == PW_TEXT_MAIN ? "text " : "insert ") + std::string(path));
  const auto found = host->texts.find(path);
  if (found == host->texts.end()) {
    pwSetLastError(kErrorSharingViolation);
    return 0;
  }
  ++host->openStreams;
  stream->user = new MemoryStream{host, found->second};
  stream->read = [](void* user, void* buffer, uint32_t size) -> int32_t {
    auto* memory = static_cast<MemoryStream*>(user);
    const std::size_t count = std::min<std::size_t>(size, memory->text.size() - memory->at);
    memory->text.copy(static_cast<char*>(buffer), count, memory->at);
    memory->at += count;
    return static_cast<int32_t>(count);
  };
  stream->close = [](void* user) {
    auto* memory = static_cast<MemoryStream*>(user);
    --memory->host->openStreams;
    delete memory;
  };
  return 1;
}

int locateFile(void* user, const char* name, char* path, uint32_t size) {
  static_cast<HostFiles*>(user)->calls.push_back("locate " + std::string(name));
  std::snprintf(path, size, "found/%s", name);
  return 1;
}

class PwConvertTest : public ConversionTest {
 protected:
  int convertThroughHost(const char* textPath) {
    PwConvertOptions options{};
    options.user = &host;
    options.openText = openText;
    options.locateFile = locateFile;
    auto* recording = new RecordingSurface;
    PwSurface handle{std::unique_ptr<DrawingSurface>(recording)};
    const int result = pwConvert(&params, &handle, textPath, fields.get(), &options, &pages);
    texts = recording->texts();
    return result;
  }

  HostFiles host;
  FieldTable fields;
  std::vector<std::string> texts;
};

TEST_F(PwConvertTest, TextsComeFromTheHostAndNamesAreLocatedByIt) {
  params.directivesEnabled = 1;
  params.imageDirectory = "img";
  fields.set(3, "cover");
  host.texts = {{"letter", "%3\n@/logo@/1\n"}, {"found/cover", "From the cover file\n"}};
  EXPECT_EQ(convertThroughHost("letter"), 0);
  EXPECT_THAT(host.calls, ElementsAre("text letter", "locate cover", "insert found/cover",
                                      "locate img/logo.tif"));
  EXPECT_THAT(texts, ElementsAre("From the cover file"));
  // Reports name the file the host located.
  ASSERT_EQ(sink.events.size(), 1u);
  EXPECT_EQ(sink.events[0].text, "Cannot open found/img/logo.tif: No such file or directory");
  EXPECT_EQ(host.openStreams, 0) << "every stream is closed";
}

TEST_F(PwConvertTest, AHostThatCannotOpenTheTextFailsWithItsCause) {
  pages = 12345;
  EXPECT_EQ(convertThroughHost("absent"), 0);
  EXPECT_EQ(pwGetLastError(), kErrorSharingViolation);
  EXPECT_EQ(pages, 0u);
  ASSERT_EQ(sink.events.size(), 1u);
  EXPECT_EQ(sink.events[0].id, msg::kCannotOpen);
}

}  // namespace
}  // namespace pw::testing
