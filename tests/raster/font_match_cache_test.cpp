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
    write(conf, "<fontconfig/>");
    write(match.file, "font");
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

  bool store(const FontRequest& request, const FontMatch& found) {
    FontMatchCache cache(cachePath);
    cache.load(kEnvironment);
    return cache.store(request, found, {conf, dir.file("conf.d"), dir.file("missing.conf")},
                       kEnvironment);
  }

  pw::testing::TempDir dir;
  std::string conf = dir.file("conf.d/30-aliases.conf");
  std::string cachePath = dir.file("cache/font-matches");
  FontMatch match{dir.file("LiberationMono-Regular.ttf"), 0, false, true, "Liberation Mono"};
};

TEST_F(FontMatchCacheTest, StoredMatchesAccumulateAndAreFoundByTheNextProcess) {
  ASSERT_TRUE(store(kMono, match));
  EXPECT_EQ(nextProcessFinds(kMono), match);
  const FontRequest bold{"Arial", true, false, 0, "ru"};
  const FontMatch boldMatch{match.file, 2, true, false, "Liberation Sans"};
  ASSERT_TRUE(store(bold, boldMatch));
  EXPECT_EQ(nextProcessFinds(kMono), match);
  EXPECT_EQ(nextProcessFinds(bold), boldMatch);
  EXPECT_FALSE(nextProcessFinds({"Courier New", true, false, 0x31, ""}));
}

// Each change to what the matches depend on makes the next process forget them.
class FontMatchCacheChange : public FontMatchCacheTest,
                             public ::testing::WithParamInterface<int> {};

TEST_P(FontMatchCacheChange, ForgetsTheMatches) {
  ASSERT_TRUE(store(kMono, match));
  std::string environment = kEnvironment;
  switch (GetParam()) {
    case 0:  // a configuration file changed
      write(conf, "<fontconfig><alias/></fontconfig>");
      break;
    case 1: {  // a file added to a watched folder; folder times may be coarse
      const std::string before = FontMatchCache::pathState(dir.file("conf.d"));
      for (int i = 0; FontMatchCache::pathState(dir.file("conf.d")) == before && i < 300; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        write(dir.file("conf.d/50-user-" + std::to_string(i) + ".conf"), "<fontconfig/>");
      }
      break;
    }
    case 2:  // a file appeared where none was
      write(dir.file("missing.conf"), "<fontconfig/>");
      break;
    case 3:
      fs::remove(match.file);
      break;
    case 4:
      environment = "HOME=/home/other;";
      break;
  }
  EXPECT_FALSE(nextProcessFinds(kMono, environment));
  // A match stored now starts the file anew, without the forgotten ones.
  FontMatchCache cache(cachePath);
  cache.load(environment);
  const FontRequest serif{"Times New Roman", false, false, 0, ""};
  ASSERT_TRUE(cache.store(serif, match, {conf}, environment));
  EXPECT_EQ(nextProcessFinds(serif, environment), match);
  EXPECT_FALSE(nextProcessFinds(kMono, environment));
}

INSTANTIATE_TEST_SUITE_P(Changes, FontMatchCacheChange, ::testing::Range(0, 5));

TEST_F(FontMatchCacheTest, ADamagedFileIsIgnoredAndReplaced) {
  ASSERT_TRUE(store(kMono, match));
  std::ifstream in(cachePath, std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), {}};
  auto replaced = [&](const std::string& from, const std::string& to) {
    return std::string(text).replace(text.find(from), from.size(), to);
  };
  // Cut short, a flag that is not 0 or 1, an index that is no number, no header.
  const std::string damaged[] = {
      text.substr(0, text.size() - 20), replaced("\t0\t1\t" + match.file, "\t7\t1\t" + match.file),
      replaced("\t49\t\t0\t", "\t49\t\tx\t"), text.substr(text.find('\n') + 1)};
  for (const std::string& bytes : damaged) {
    write(cachePath, bytes);
    EXPECT_FALSE(nextProcessFinds(kMono));
  }
  ASSERT_TRUE(store(kMono, match));
  EXPECT_EQ(nextProcessFinds(kMono), match);
}

TEST_F(FontMatchCacheTest, WhatCannotBeKeptIsNotStored) {
  FontMatchCache cache(cachePath);
  cache.load(kEnvironment);
  // Names that would break the file's lines.
  EXPECT_FALSE(cache.store({"Courier\tNew", false, false, 0, ""}, match, {conf}, kEnvironment));
  EXPECT_FALSE(cache.store({"Courier\nNew", false, false, 0, ""}, match, {conf}, kEnvironment));
  EXPECT_FALSE(fs::exists(cachePath));
  FontMatchCache nowhere("");
  nowhere.load(kEnvironment);
  EXPECT_FALSE(nowhere.store(kMono, match, {conf}, kEnvironment));
  EXPECT_FALSE(nowhere.find(kMono));
  // An unwritable folder only loses the cache: the match stays usable within the process.
  write(dir.file("blocker"), "a file where the folder should be");
  FontMatchCache blocked(dir.file("blocker/font-matches"));
  blocked.load(kEnvironment);
  EXPECT_FALSE(blocked.store(kMono, match, {conf}, kEnvironment));
  EXPECT_EQ(blocked.find(kMono), match);
}

}  // namespace
}  // namespace pw
