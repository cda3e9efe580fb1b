// Font matches kept between processes: found again while nothing they depend on changed, and
// forgotten as soon as something did.
#include "raster/text/font_match_cache.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "common/temp_dir.h"

namespace pw {
namespace {

const FontRequest kMono{"Courier New", false, false, 0x31, ""};
const std::string kEnvironment = "HOME=/home/fax;";

class FontMatchCacheTest : public ::testing::Test {
 protected:
  FontMatchCacheTest() { std::filesystem::create_directories(dir.path() / "conf.d"); }

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
  std::string conf = dir.write("30-aliases.conf", "<fontconfig/>");
  std::string cachePath = dir.file("cache/font-matches");
  FontMatch match{dir.write("LiberationMono-Regular.ttf", "font"), 0, false, true,
                  "Liberation Mono"};
};

TEST_F(FontMatchCacheTest, StoredMatchesAccumulateForTheNextProcessOrStayInThisOne) {
  ASSERT_TRUE(store(kMono, match));
  EXPECT_EQ(nextProcessFinds(kMono), match);
  const FontRequest bold{"Arial", true, false, 0, "ru"};
  const FontMatch boldMatch{match.file, 2, true, false, "Liberation Sans"};
  ASSERT_TRUE(store(bold, boldMatch));
  EXPECT_EQ(nextProcessFinds(kMono), match);
  EXPECT_EQ(nextProcessFinds(bold), boldMatch);
  EXPECT_FALSE(nextProcessFinds({"Courier New", true, false, 0x31, ""}));
  // An unwritable folder only loses the cache: the match stays usable within the process.
  dir.write("blocker", "a file where the folder should be");
  FontMatchCache blocked(dir.file("blocker/font-matches"));
  blocked.load(kEnvironment);
  EXPECT_FALSE(blocked.store(kMono, match, {conf}, kEnvironment));
  EXPECT_EQ(blocked.find(kMono), match);
  // Names that would break the file's lines are not kept at all.
  EXPECT_FALSE(blocked.store({"Courier\nNew", false, false, 0, ""}, match, {conf}, kEnvironment));
}

// Each change to what the matches depend on makes the next process forget them.
class FontMatchCacheChange : public FontMatchCacheTest,
                             public ::testing::WithParamInterface<std::string> {};

TEST_P(FontMatchCacheChange, ForgetsTheMatches) {
  ASSERT_TRUE(store(kMono, match));
  const std::string& change = GetParam();
  if (change == "ConfEdited") dir.write("30-aliases.conf", "<fontconfig><alias/></fontconfig>");
  if (change == "FileAppeared") dir.write("missing.conf", "<fontconfig/>");  // where none was
  if (change == "FontRemoved") std::filesystem::remove(match.file);
  const std::string environment =
      change == "EnvironmentChanged" ? "HOME=/home/other;" : kEnvironment;
  // The folder grows until its state shows it: folder times may be coarse.
  const std::string before = FontMatchCache::pathState(dir.file("conf.d"));
  for (int i = 0;
       change == "FolderGrew" && FontMatchCache::pathState(dir.file("conf.d")) == before && i < 300;
       ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    dir.write("conf.d/50-user-" + std::to_string(i) + ".conf", "<fontconfig/>");
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

INSTANTIATE_TEST_SUITE_P(Changes, FontMatchCacheChange,
                         ::testing::Values("ConfEdited", "FolderGrew", "FileAppeared",
                                           "FontRemoved", "EnvironmentChanged"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace pw
