// The event reporter: inserts, error texts, event types and the last-error value; on POSIX, the
// event source's name, which follows the file the module was loaded from.
#include <gtest/gtest.h>

#include "common/conversion_fixture.h"
#include "eventlog/event_reporter.h"
#include "eventlog/event_source_name.h"
#include "eventlog/message_table.h"
#include "platform/last_error.h"

namespace pw::testing {
namespace {

class ReporterTest : public ::testing::Test {
 protected:
  void SetUp() override { reporter.setHostSink(&sink); }
  EventReporter reporter;
  CaptureSink sink;
};

TEST_F(ReporterTest, InsertsTypesAndErrorTexts) {
  EXPECT_EQ(reporter.report(msg::kDebug, "x"), 0);
  // The full id is the event identifier; null and empty inserts are logged as "null".
  EXPECT_EQ(reporter.report(msg::kFileContainsNoText, ""), 0);
  reporter.report(msg::kFileContainsNoText, nullptr);
  ASSERT_EQ(sink.events.size(), 3u);
  EXPECT_EQ(sink.events[0].id, 0x40006DC3u);
  EXPECT_EQ(sink.events[0].type, 4);
  EXPECT_EQ(sink.events[1].inserts, std::vector<std::string>{"null"});
  EXPECT_EQ(sink.events[2].text, "File null contains no text");
  // The conversions' tests see error texts appended and the last-error value set; 0 is set too.
  setLastError(77);
  EXPECT_EQ(reporter.reportError(msg::kSetDIBitsFailed, 0), 0);
  EXPECT_EQ(lastError(), 0u);
  EXPECT_EQ(sink.events.back().inserts, std::vector<std::string>{"error 0"});
  // A code the system has no text for is shown as a signed number.
  reporter.reportError(msg::kCannotOpen, "b", 0x80000000u);
  EXPECT_EQ(sink.events.back().inserts[1], "error -2147483648");
}

TEST_F(ReporterTest, LevelMaskFiltersOnlyTheFilteredFormsAndNoSourceDropsAll) {
  reporter.report(msg::kLineOverflow, "a");
  reporter.reportIfEnabled(1, msg::kDebug, 1, "hidden");
  reporter.reportErrorIfEnabled(1, msg::kCannotOpen, 2, 1, "hidden");
  reporter.setLevelMask(4);
  reporter.reportIfEnabled(4, msg::kDebug, 1, "shown");
  reporter.reportErrorIfEnabled(6, msg::kCannotOpen, 2, 1, "shown");
  ASSERT_EQ(sink.events.size(), 3u);
  EXPECT_EQ(sink.events[1].text, "debug: shown");
  EXPECT_EQ(sink.events[2].inserts,
            (std::vector<std::string>{"shown", "No such file or directory"}));
  // Without an event source reports are dropped.
  reporter.setHostSink(nullptr);
  reporter.close();
  EXPECT_EQ(reporter.reportError(msg::kCannotOpen, "x", 5), 0);
  EXPECT_EQ(lastError(), 5u);
  const char* inserts[] = {"x"};
  EXPECT_EQ(reporter.reportEvent(msg::kDebug, inserts, 1), 0);
  EXPECT_EQ(sink.events.size(), 3u);
}

TEST(MessageFormatTest, InsertsAreCutToTheBuffer) {
  auto format = [](uint32_t id, std::vector<const char*> inserts, std::size_t size = 64) {
    std::vector<char> out(size);
    formatMessage(id, inserts.data(), static_cast<uint32_t>(inserts.size()), out.data(), size);
    return std::string(out.data());
  };
  EXPECT_EQ(format(msg::kErrorReading, {"f", "bad"}), "Error reading f: bad");
  // An insertion point without an insert stays as it is.
  EXPECT_EQ(format(msg::kCannotOpen, {"f"}), "Cannot open f: %2");
  EXPECT_EQ(format(msg::kCannotOpen, {"long name"}, 16), "Cannot open lon");
  EXPECT_EQ(messageText(0x12345678), nullptr);
}

#ifndef _WIN32
TEST(EventSourceName, FollowsTheModulesFile) {
  EXPECT_EQ(eventSourceNameOf("/usr/lib/x86_64-linux-gnu/libpagewright.so.1"), "pagewright");
  EXPECT_EQ(eventSourceNameOf("/opt/fax/lib/libpagewright.so"), "pagewright");
  EXPECT_EQ(eventSourceNameOf("/opt/fax/lib/libfaxrender.so.2.1"), "faxrender");
  // A static build inside an executable takes the executable's name, dots and all.
  EXPECT_EQ(eventSourceNameOf("/usr/sbin/faxq.conv"), "faxq.conv");
  EXPECT_EQ(eventSourceNameOf("converter"), "converter");
  EXPECT_EQ(eventSourceNameOf("/usr/lib/"), "pagewright");
}
#endif

}  // namespace
}  // namespace pw::testing
