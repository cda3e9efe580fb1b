// The host's own logic where the command's runs cannot see it: transcoding counts, the line-list
// layout of field values and option values.
#include <gtest/gtest.h>

#include "pagewright/fax_device.h"

#include "encoding.h"
#include "job_fields.h"
#include "options.h"

namespace pw::cli {
namespace {

Transcoder utf8To1252() {
  return Transcoder::open("UTF-8", "WINDOWS-1252", nullptr).value();
}

TEST(Transcoder, ReplacesAndCountsWhatItCannotMapWhateverThePieces) {
  struct Case {
    const char* input;
    const char* text;
    std::size_t unmappable;
    std::size_t malformed;
  };
  const Case cases[] = {
      {"\xC3\xA9t\xC3\xA9 \xE2\x82\xAC\r\n", "\xE9t\xE9 \x80\r\n", 0, 0},
      // Two arrows and a CJK character: each is one '?', however many bytes it took.
      {"a\xE2\x86\x92"
       "b\xE2\x86\x92\xE4\xB8\xAD",
       "a?b??", 3, 0},
      // One bad byte, and two of a sequence cut off by the end.
      {"x\xFFy\xE2\x82", "x?y??", 0, 3},
      {"\xEF\xBB\xBFhi", "hi", 0, 0},
      {"hi\xEF\xBB\xBF", "hi?", 1, 0},  // only a leading mark is dropped
  };
  Transcoder transcoder = utf8To1252();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    const TranscodeResult result = transcoder.convertWhole(c.input);
    EXPECT_EQ(result.text, c.text);
    EXPECT_EQ(result.unmappable, c.unmappable);
    EXPECT_EQ(result.malformed, c.malformed);
    // The same, fed a byte at a time: a character split between pieces is read whole.
    Transcoder pieces = utf8To1252();
    std::string out;
    for (const char& byte : std::string_view(c.input)) pieces.convert({&byte, 1}, false, &out);
    pieces.convert("", /*last=*/true, &out);
    EXPECT_EQ(out, c.text);
  }
}

TEST(Utf8Check, RefusesWhatIsNoUtf8) {
  EXPECT_TRUE(isUtf8("plain \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"));
  for (const char* bad :
       {"\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82", "\x80", "\xFC\xDF"}) {
    EXPECT_FALSE(isUtf8(bad)) << ::testing::PrintToString(std::string(bad));
  }
}

// Line-list layout: each line ends in NUL, an empty line ends the list, so a blank line inside
// a value is a space and trailing ones go; JSON numbers are text; a later value wins.
TEST(JobFieldSet, WritesTheLineListLayout) {
  const struct {
    const char* json;
    const char* argument;
    const char* field;
    std::string layout;
  } cases[] = {
      {"{}", "ToName=Ann\nLee", "ToName", std::string("Ann\0Lee\0\0", 9)},
      {"{}", "0=one\n\nthree\n\n", "0", std::string("one\0 \0three\0\0", 13)},
      {"{}", "0=a\r\nb\nc", "0", std::string("a\0b\0c\0\0", 7)},
      {"{}", "Subject=", "Subject", std::string("\0", 1)},
      {R"({"Pages": 3})", "Pages=4=four", "Pages", std::string("4=four\0\0", 8)},
      {R"({"0": ["a", 2]})", "ToName=x", "0", std::string("a\0002\0\0", 5)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.argument);
    JobFieldSet fields;
    ASSERT_EQ(fields.loadJsonText(c.json, "job"), "");
    ASSERT_EQ(fields.setFromArgument(c.argument), "");
    EXPECT_FALSE(fields.empty());
    const JobFields& view = fields.view();
    EXPECT_EQ(std::string(view.entries[pwFieldIndex(c.field)], c.layout.size()), c.layout);
    EXPECT_EQ(view.entries[pwFieldIndex("FromName")], nullptr);
  }
}

std::optional<ConvertOptions> parsed(std::vector<const char*> args) {
  args.insert(args.begin(), {"pagewright", "a.txt"});
  return parseConvertCommandLine(static_cast<int>(args.size()), args.data()).options;
}

// Fax servers hand a converter their own spellings: HylaFAX's typerules pass "%V" as "196.00",
// "%f" as 1 or 2 and page sizes as "215.9x279.4"; mgetty's faxspool passes -n.
TEST(ConvertOptions, TakeTheValuesFaxServersPass) {
  const struct {
    std::vector<const char*> args;
    uint32_t resolution;
    uint32_t compression;
    uint32_t heightMm;
  } cases[] = {
      {{"--resolution", "196.00"}, PW_FAX_RESOLUTION_FINE, PW_FAX_COMPRESSION_G3, 297},
      {{"--resolution", "98"}, PW_FAX_RESOLUTION_NORMAL, PW_FAX_COMPRESSION_G3, 297},
      {{"--resolution", "Normal"}, PW_FAX_RESOLUTION_NORMAL, PW_FAX_COMPRESSION_G3, 297},
      {{"-n"}, PW_FAX_RESOLUTION_NORMAL, PW_FAX_COMPRESSION_G3, 297},
      {{"--compression", "2"}, PW_FAX_RESOLUTION_FINE, PW_FAX_COMPRESSION_G3_2D, 297},
      {{"--compression", "G4"}, PW_FAX_RESOLUTION_FINE, PW_FAX_COMPRESSION_G4, 297},
      {{"--compression", "1"}, PW_FAX_RESOLUTION_FINE, PW_FAX_COMPRESSION_G3, 297},
      {{"--paper", "215.9x279.4"}, PW_FAX_RESOLUTION_FINE, PW_FAX_COMPRESSION_G3, 279},
      {{"--paper", "255x363.5"}, PW_FAX_RESOLUTION_FINE, PW_FAX_COMPRESSION_G3, 364},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const std::optional<ConvertOptions> options = parsed(c.args);
    ASSERT_TRUE(options);
    EXPECT_EQ(options->resolution, c.resolution);
    EXPECT_EQ(options->compression, c.compression);
    EXPECT_EQ(options->paper.heightMm, c.heightMm);
  }
  EXPECT_EQ(parsed({"--paper", "215.9x279.4"})->paper.widthMm, 216u);
  EXPECT_EQ(parsed({"--paper", "215.9x279.4"})->paper.devicePaper, PW_FAX_PAPER_CUSTOM);
}

TEST(ConvertOptions, RefuseValuesNoFaxLineHas) {
  const std::vector<const char*> refused[] = {
      {"--resolution", "97.5"}, {"--resolution", "196.01"},     {"--resolution", "391"},
      {"--compression", "3"},   {"-n", "--resolution", "fine"}, {"--paper", "0.4x297"},
      {"--paper", "210x29.7.1"}};
  for (const auto& args : refused) EXPECT_FALSE(parsed(args)) << ::testing::PrintToString(args);
}

}  // namespace
}  // namespace pw::cli
