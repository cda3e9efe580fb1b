// Field placeholders and numbered inserts, through the recording surface. Markup is on.
#include <string>
#include <vector>

#include "common/conversion_fixture.h"
#include "eventlog/message_table.h"
#include "platform/last_error.h"

namespace pw::testing {
namespace {

using ::testing::ElementsAre;

class FieldsTest : public ConversionTest {
 protected:
  void SetUp() override {
    ConversionTest::SetUp();
    params.directivesEnabled = 1;
    fields.set(18, "+1 555 0100").set(24, "Ann Lee").set(38, "Line one\nLine two\nLine three");
  }
  FieldTable fields;
};

TEST_F(FieldsTest, NameLookup) {
  EXPECT_EQ(findFieldName("FromName"), 0);
  EXPECT_EQ(findFieldName("ToName"), 13);
  EXPECT_EQ(findFieldName("To.Name"), 13);
  EXPECT_EQ(findFieldName("From.Fax"), 7);
  EXPECT_EQ(findFieldName("FromStationId"), 42);
  EXPECT_EQ(findFieldName("toname"), -1);
  EXPECT_EQ(findFieldName("To."), -1);
  EXPECT_EQ(findFieldName("To.From.Fax"), -1);
  EXPECT_EQ(findFieldName(""), -1);
  EXPECT_EQ(findFieldName(nullptr), -1);
}

TEST_F(FieldsTest, PlaceholdersAndWhatIsNone) {
  struct Case {
    const char* text;
    std::vector<std::string> texts;
  };
  const Case cases[] = {
      {"To: <ToName>, <To.Name> (<From.Fax>)",
       {"To: ", "Ann Lee", ", ", "Ann Lee", " (", "+1 555 0100", ")"}},
      {"<toname> <To.> <> <<ToName> a < b <Nope", {"<toname> <To.> <> <<ToName> a < b <Nope"}},
      // A name cut off by the end of the file is text.
      {"a <ToNa", {"a <ToNa"}},
      {"a <", {"a <"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    surface = RecordingSurface();
    ASSERT_EQ(convert(c.text, fields.get()), 1);
    EXPECT_THAT(surface.texts(), ::testing::ElementsAreArray(c.texts));
  }
}

TEST_F(FieldsTest, NameLengthLimit) {
  const std::string name63 = "ToName" + std::string(57, 'x');
  const std::string name64 = name63 + "x";
  ASSERT_EQ(convert("<" + name63 + "><" + name64 + ">", fields.get()), 1);
  EXPECT_THAT(surface.texts(), ElementsAre("<" + name63 + "><" + name64 + ">"));
  // A 63-character name is looked up: a known one of that length does not exist, so build one
  // from the prefix rule instead.
  EXPECT_EQ(findFieldName(name63.c_str()), -1);
}

TEST_F(FieldsTest, MissingValuesLeaveNoTrace) {
  ASSERT_EQ(convert("[<Subject>]", fields.get()), 1);
  EXPECT_THAT(surface.texts(), ElementsAre("[", "]"));
  surface = RecordingSurface();
  ASSERT_EQ(convert("[<ToName>%1]"), 1);
  EXPECT_THAT(surface.texts(), ElementsAre("[", "]"));
  FieldTable empty;
  empty.set(24, "");
  surface = RecordingSurface();
  ASSERT_EQ(convert("[<ToName>]", empty.get()), 1);
  EXPECT_THAT(surface.texts(), ElementsAre("[", "]"));
}

TEST_F(FieldsTest, WhereFurtherLinesStart) {
  fields.set(6, "first\nsecond");
  struct Case {
    const char* text;
    std::vector<std::string> drawn;
  };
  const Case cases[] = {
      // A control character that ends a name is acted on.
      {"<ToName\nnext", {"textOut 101,77 <ToName", "textOut 101,97 next"}},
      // A placeholder's further lines start where its line began.
      {"Re: <Message>!",
       {"textOut 101,77 Re: ", "textOut 145,77 Line one", "textOut 101,97 Line two",
        "textOut 101,117 Line three", "textOut 211,117 !"}},
      // A numbered insert's further lines start under it.
      {"Tel: %6 #SD",
       {"textOut 101,77 Tel: ", "textOut 156,77 first", "textOut 156,97 second",
        "textOut 222,97  first"}},
      // The pen left over from the previous page is not where the next text begins.
      {"abc\f<Message>",
       {"textOut 101,77 abc", "textOut 101,77 Line one", "textOut 101,97 Line two",
        "textOut 101,117 Line three"}},
      // In landscape they start at the saved height.
      {"#LOab<Message>",
       {"textOut 101,2214 ab", "textOut 101,2192 Line one", "textOut 121,2214 Line two",
        "textOut 141,2214 Line three"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::string(c.text)));
    surface = RecordingSurface();
    ASSERT_EQ(convert(c.text, fields.get()), 1);
    EXPECT_THAT(surface.only("textOut"), ::testing::ElementsAreArray(c.drawn));
  }
}

TEST_F(FieldsTest, FileInsertPrintsTheLinesOfTheFile) {
  const std::string file = dir.write("insert.txt", "alpha\r\n\r\nbeta");
  fields.set(3, file);
  ASSERT_EQ(convert("%%3.", fields.get()), 1);
  EXPECT_THAT(surface.only("textOut"),
              ElementsAre("textOut 101,77 %", "textOut 112,77 alpha", "textOut 112,97  ",
                          "textOut 112,117 beta", "textOut 156,117 ."));
}

TEST_F(FieldsTest, EmptyInsertFileIsNoFailure) {
  fields.set(3, dir.write("empty.txt", ""));
  ASSERT_EQ(convert("a%3b", fields.get()), 1);
  EXPECT_THAT(surface.texts(), ElementsAre("a", "b"));
}

TEST_F(FieldsTest, MissingInsertFileStopsTheConversion) {
  const std::string missing = dir.file("missing.txt");
  fields.set(3, missing);
  ASSERT_EQ(convert("before %3 after\nmore", fields.get()), 0);
  EXPECT_EQ(lastError(), kErrorFileNotFound);
  EXPECT_THAT(surface.texts(), ElementsAre("before "));
  EXPECT_EQ(pages, 1u);
  EXPECT_EQ(surface.count("endDoc"), 1);
  ASSERT_EQ(sink.events.size(), 1u);
  EXPECT_EQ(sink.events[0].id, msg::kCannotOpen);
  EXPECT_EQ(sink.events[0].inserts[0], missing);

  // An empty file name fails the same way.
  fields.set(3, "");
  surface = RecordingSurface();
  ASSERT_EQ(convert("x%3", fields.get()), 0);
  EXPECT_NE(lastError(), 0u);
}

TEST_F(FieldsTest, NumberedInsertsWithMarkupOffAreText) {
  params.directivesEnabled = 0;
  ASSERT_EQ(convert("%6 <ToName>", fields.get()), 1);
  EXPECT_THAT(surface.texts(), ElementsAre("%6 <ToName>"));
}

}  // namespace
}  // namespace pw::testing
