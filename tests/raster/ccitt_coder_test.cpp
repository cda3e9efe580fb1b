// Our CCITT coder against libtiff's: the same bytes, and pixels that libtiff decodes back, for
// every coding on generated images of the kinds that break coders. (The pages the device draws
// are compared in output_test.cpp.)
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/libtiff_fax.h"
#include "platform/last_error.h"
#include "raster/output/ccitt_coder.h"

namespace pw {
namespace {

using namespace pw::testing;

struct Picture {
  std::string name;
  int width;
  int height;
  std::function<bool(int x, int y)> black;
};

// The picture's rows with three bytes of ones past each, like the bits past its last pixel,
// which must not count; and the exact record of its inked rows.
struct Raster {
  size_t stride;
  std::vector<uint8_t> bits, inked;

  explicit Raster(const Picture& p)
      : stride(static_cast<size_t>(p.width + 7) / 8 + 3),
        bits(stride * static_cast<size_t>(p.height), 0xFF),
        inked(static_cast<size_t>(p.height), 0) {
    for (size_t y = 0; y < inked.size(); ++y) {
      for (int x = 0; x < p.width; ++x) {
        const bool black = p.black(x, static_cast<int>(y));
        inked[y] |= black;
        if (!black) bits[y * stride + x / 8] &= static_cast<uint8_t>(~(0x80 >> (x % 8)));
      }
    }
  }
  CcittImage image(const Picture& p, bool withRecord) const {
    return {bits.data(), stride, p.width, p.height, withRecord ? inked.data() : nullptr};
  }
};

// Rows each holding one run of a length that sits at an edge of the code tables or of a 64-bit
// word, at starts around word boundaries and at the row's end; odd rows are the inverse.
bool edgeRuns(int x, int y) {
  static constexpr int kLengths[] = {1, 2, 63, 64, 65, 1727, 1728};
  static constexpr int kStarts[] = {0, 1, 62, 63, 64, 65, 127, 128, -1};
  const int length = kLengths[(y / 2) % 7];
  int start = kStarts[(y / 14) % 9];
  if (start < 0 || start + length > 1728) start = 1728 - length;  // ends in black
  return (x >= start && x < start + length) != (y % 2 == 1);
}

bool longRuns(int x, int y) {
  static constexpr int kLengths[] = {2623, 2624, 2625, 5183, 5184, 5185, 5300};
  return (x < kLengths[y / 2]) != (y % 2 == 1);
}

// Deterministic and cheap: a hash of the position.
bool noise(int x, int y, int percent) {
  uint32_t h = static_cast<uint32_t>(x) * 0x9E3779B1u ^ static_cast<uint32_t>(y) * 0x85EBCA77u;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  return static_cast<int>(h % 100) < percent;
}

std::vector<Picture> pictures() {
  std::vector<Picture> list = {
      {"white", 1728, 6, [](int, int) { return false; }},
      {"black", 1728, 6, [](int, int) { return true; }},
      {"checker", 1728, 6, [](int x, int y) { return (x + y) % 2 == 1; }},
      {"stripes", 1728, 6, [](int x, int) { return x % 2 == 1; }},
      {"edge_runs", 1728, 2 * 7 * 9, edgeRuns},
      // Every run length of both colours, so every code word, then runs that take more than
      // one make-up word.
      {"staircase", 2700, 2701, [](int x, int y) { return x >= y; }},
      {"long_runs", 5300, 14, longRuns},
      {"white_band", 1728, 12, [](int x, int y) { return y < 3 || (y > 8 && x % 50 < 9); }},
      {"sparse", 1728, 40, [](int x, int y) { return noise(x, y, 3); }},
      {"noise", 1728, 40, [](int x, int y) { return noise(x, y, 50); }},
      {"dense", 1728, 40, [](int x, int y) { return noise(x, y, 97); }},
  };
  for (int width : {1, 7, 63, 64, 65, 129, 1731}) {
    list.push_back({"noise_w" + std::to_string(width), width, 9,
                    [](int x, int y) { return noise(x, y, 40); }});
  }
  return list;
}

const std::pair<std::string, CcittOptions> kCodings[] = {
    {"g4", {CcittCoding::kT6, 4, false}},           {"g3", {CcittCoding::kT4OneD, 4, false}},
    {"g3_fill", {CcittCoding::kT4OneD, 4, true}},   {"g3_2d_k4", {CcittCoding::kT4TwoD, 4, false}},
    {"g3_2d_k2", {CcittCoding::kT4TwoD, 2, false}}, {"g3_2d_fill", {CcittCoding::kT4TwoD, 4, true}},
};

class CcittCoderTest
    : public ::testing::TestWithParam<std::tuple<Picture, std::pair<std::string, CcittOptions>>> {};

TEST_P(CcittCoderTest, WritesLibtiffsBytesAndDecodesBack) {
  const auto& [picture, coding] = GetParam();
  const CcittOptions& options = coding.second;
  static std::map<std::string, Raster> rasters;  // built once for all codings
  const Raster& raster = rasters.try_emplace(picture.name, picture).first->second;
  const CcittImage image = raster.image(picture, /*withRecord=*/false);
  std::vector<uint8_t> ours;
  ASSERT_TRUE(codeCcitt(image, options, &ours));
  EXPECT_TRUE(ours == libtiffCode(image, options));
  // libtiff's 1-D decoder keeps at most one run per pixel of a row, one fewer than a row that
  // starts black and changes at every pixel, as the checker's odd rows do.
  if (picture.name != "checker" || options.coding != CcittCoding::kT4OneD) {
    EXPECT_TRUE(libtiffDecode(ours, picture.width, picture.height, options) == packedRows(image));
  }
  // The record of white rows changes how rows are found, never the coding; coding appends.
  std::vector<uint8_t> recorded = {0x5A};
  ASSERT_TRUE(codeCcitt(raster.image(picture, /*withRecord=*/true), options, &recorded));
  ours.insert(ours.begin(), 0x5A);
  EXPECT_TRUE(recorded == ours);
}

INSTANTIATE_TEST_SUITE_P(Pictures, CcittCoderTest,
                         ::testing::Combine(::testing::ValuesIn(pictures()),
                                            ::testing::ValuesIn(kCodings)),
                         [](const auto& info) {
                           return std::get<0>(info.param).name + "_" +
                                  std::get<1>(info.param).first;
                         });

// Width 0 and past 65535, no rows, a stride short of the width, no pixels; k = 0.
TEST(CcittCoder, RefusesImpossibleGeometry) {
  const uint8_t row[4] = {};
  const std::pair<CcittImage, int> cases[] = {
      {{row, 4, 0, 1, nullptr}, 4},  {{row, 4, 65536, 1, nullptr}, 4}, {{row, 4, 8, 0, nullptr}, 4},
      {{row, 3, 25, 1, nullptr}, 4}, {{nullptr, 4, 8, 1, nullptr}, 4}, {{row, 4, 8, 1, nullptr}, 0},
  };
  for (const auto& [image, k] : cases) {
    std::vector<uint8_t> out;
    setLastError(0);
    EXPECT_FALSE(codeCcitt(image, {CcittCoding::kT4TwoD, k, false}, &out));
    EXPECT_TRUE(lastError() == kErrorInvalidParameter && out.empty());
  }
  std::vector<uint8_t> out;  // k = 1: every row one-dimensional
  EXPECT_TRUE(codeCcitt({row, 4, 8, 1, nullptr}, {CcittCoding::kT4TwoD, 1, false}, &out));
}

}  // namespace
}  // namespace pw
