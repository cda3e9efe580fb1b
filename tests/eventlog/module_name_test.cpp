// The event source's name follows the file the module was loaded from.
#include <gtest/gtest.h>

#include "eventlog/event_source_name.h"

namespace pw::testing {
namespace {

TEST(EventSourceName, FollowsTheModulesFile) {
  EXPECT_EQ(eventSourceNameOf("/usr/lib/x86_64-linux-gnu/libpagewright.so.1"), "pagewright");
  EXPECT_EQ(eventSourceNameOf("/opt/fax/lib/libpagewright.so"), "pagewright");
  EXPECT_EQ(eventSourceNameOf("/opt/fax/lib/libfaxrender.so.2.1"), "faxrender");
  // A static build inside an executable takes the executable's name, dots and all.
  EXPECT_EQ(eventSourceNameOf("/usr/sbin/faxq.conv"), "faxq.conv");
  EXPECT_EQ(eventSourceNameOf("converter"), "converter");
  EXPECT_EQ(eventSourceNameOf("/usr/lib/"), "pagewright");
}

}  // namespace
}  // namespace pw::testing
