// Font matches kept between processes: found again while nothing they depend on changed, and
// forgotten as soon as something did.
#include "raster/text/font_match_cache.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "common/temp_dir.h"

namespace pw {
namespace {

namespace fs = std::filesystem;

const FontRequest kMono{"Courier New", false, false, 0x31, ""};
const std::string kEnvironment = "HOME=/home/fax;";

class FontMatchCacheTest : public ::testing::Test {
 protected:
  FontMatchCacheTest() {
    fs::create_directories(dir.path() / "conf.d");
    conf = dir.file("conf.d/30-aliases.conf");
    write(conf, "<fontconfig/>");
    fontFile = dir.file("LiberationMono-Regular.ttf");
    write(fontFile, "font");
    match.file = fontFile;
    match.syntheticOblique = true;
    cachePath = dir.file("cache/font-matches");
  }

  static void write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  }

  // What the next process finds for the request.
  std::optional<FontMatch> nextProcessFinds(const FontRequest& request,
                                            const std::string& environment = kEnvironment) {
    FontMatchCache cache(cachePath);
    cache.load(environment);
    return cache.find(request);
  }

  bool storeMono() {
    FontMatchCache cache(cachePath);
    cache.load(kEnvironment);
    return cache.store(kMono, match, {conf, dir.file("conf.d"), dir.file("missing.conf")},
                       kEnvironment);
  }

  pw::testing::TempDir dir;
  std::string conf;
  std::string fontFile;
  std::string cachePath;
  FontMatch match;
};

TEST_F(FontMatchCacheTest, AStoredMatchIsFoundByTheNextProcess) {
  ASSERT_TRUE(storeMono());
  EXPECT_EQ(nextProcessFinds(kMono), match);
  EXPECT_FALSE(nextProcessFinds({"Courier New", true, false, 0x31, ""}));
}

TEST_F(FontMatchCacheTest, MatchesAccumulateUnderTheSameConfiguration) {
  ASSERT_TRUE(storeMono());
  const FontRequest bold{"Arial", true, false, 0, "ru"};
  FontMatch boldMatch{fontFile, 2, true, false, "Liberation Sans"};
  {
    FontMatchCache cache(cachePath);
    cache.load(kEnvironment);
    ASSERT_TRUE(cache.store(bold, boldMatch, {conf}, kEnvironment));
  }
  EXPECT_EQ(nextProcessFinds(kMono), match);
  EXPECT_EQ(nextProcessFinds(bold), boldMatch);
}

TEST_F(FontMatchCacheTest, AChangedConfigurationFileForgetsTheMatches) {
  ASSERT_TRUE(storeMono());
  write(conf, "<fontconfig><alias/></fontconfig>");
  EXPECT_FALSE(nextProcessFinds(kMono));
}

TEST_F(FontMatchCacheTest, AFileAddedToAWatchedFolderForgetsTheMatches) {
  ASSERT_TRUE(storeMono());
  // Folder times may be coarse; wait until a new entry surely changes the recorded state.
  const std::string before = FontMatchCache::pathState(dir.file("conf.d"));
  for (int i = 0; FontMatchCache::pathState(dir.file("conf.d")) == before && i < 300; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    write(dir.file("conf.d/50-user-" + std::to_string(i) + ".conf"), "<fontconfig/>");
  }
  EXPECT_FALSE(nextProcessFinds(kMono));
}

TEST_F(FontMatchCacheTest, AFileThatAppearsWhereNoneWasForgetsTheMatches) {
  ASSERT_TRUE(storeMono());
  write(dir.file("missing.conf"), "<fontconfig/>");
  EXPECT_FALSE(nextProcessFinds(kMono));
}

TEST_F(FontMatchCacheTest, ARemovedFontFileForgetsTheMatches) {
  ASSERT_TRUE(storeMono());
  fs::remove(fontFile);
  EXPECT_FALSE(nextProcessFinds(kMono));
}

TEST_F(FontMatchCacheTest, AnotherEnvironmentForgetsTheMatches) {
  ASSERT_TRUE(storeMono());
  EXPECT_FALSE(nextProcessFinds(kMono, "HOME=/home/other;"));
  EXPECT_EQ(nextProcessFinds(kMono), match);
}

TEST_F(FontMatchCacheTest, ADamagedFileIsIgnoredAndReplaced) {
  ASSERT_TRUE(storeMono());
  std::string text;
  {
    std::ifstream in(cachePath, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), {});
  }
  // Each change leaves a file that must not yield a match: cut short, a flag that is not 0 or
  // 1, no header.
  const std::string cuts[] = {
      text.substr(0, text.size() - 20),
      text.substr(0, text.rfind("\t0\t")) + "\t7\t1\t" + fontFile + "\nend\n",
      text.substr(text.find('\n') + 1)};
  for (const std::string& damaged : cuts) {
    write(cachePath, damaged);
    EXPECT_FALSE(nextProcessFinds(kMono));
  }
  ASSERT_TRUE(storeMono());
  EXPECT_EQ(nextProcessFinds(kMono), match);
}

TEST_F(FontMatchCacheTest, NamesThatWouldBreakTheFileAreNotStored) {
  FontMatchCache cache(cachePath);
  cache.load(kEnvironment);
  EXPECT_FALSE(cache.store({"Courier\tNew", false, false, 0, ""}, match, {conf}, kEnvironment));
  EXPECT_FALSE(cache.store({"Courier\nNew", false, false, 0, ""}, match, {conf}, kEnvironment));
  EXPECT_FALSE(fs::exists(cachePath));
}

TEST_F(FontMatchCacheTest, WithoutAPathNothingIsKept) {
  FontMatchCache cache("");
  cache.load(kEnvironment);
  EXPECT_FALSE(cache.store(kMono, match, {conf}, kEnvironment));
  EXPECT_FALSE(cache.find(kMono));
}

TEST_F(FontMatchCacheTest, AnUnwritableCacheFolderOnlyLosesTheCache) {
  write(dir.file("blocker"), "a file where the folder should be");
  FontMatchCache cache(dir.file("blocker/font-matches"));
  cache.load(kEnvironment);
  EXPECT_FALSE(cache.store(kMono, match, {conf}, kEnvironment));
  // The match stays usable within the process.
  EXPECT_EQ(cache.find(kMono), match);
}

}  // namespace
}  // namespace pw
