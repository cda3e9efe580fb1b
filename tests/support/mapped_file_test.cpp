// The file view under LineList::load, whose tests cover the causes of failed opens.
#include "platform/mapped_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "common/temp_dir.h"
#include "platform/last_error.h"

namespace pw {
namespace {

TEST(MappedFileTest, ViewOfTheWholeFileThatOutlivesATruncationAndLetsWritersIn) {
  testing::TempDir dir;
  const std::string contents = std::string("abc\0", 4) + std::string(5 * 4096 + 13, 'x');
  const std::string path = dir.write("data", contents);
  MappedFile file;
  const unsigned char* view = file.open(path.c_str());
  ASSERT_NE(view, nullptr);
  // The sharing check's lease is released after the check: a writer may open the file now.
  const int writer = open(path.c_str(), O_WRONLY);
  EXPECT_GE(writer, 0);
  close(writer);
  // A mapping would raise SIGBUS on the pages cut off; the view keeps what was there.
  ASSERT_EQ(truncate(path.c_str(), 0), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(view), file.size()), contents);
  // Closing releases everything but never touches the caller's last-error value.
  setLastError(1234);
  EXPECT_EQ(file.close(), 0);
  EXPECT_EQ(file.close(), 0);
  EXPECT_EQ(lastError(), 1234u);
  EXPECT_EQ(file.view(), nullptr);
  EXPECT_EQ(file.size(), 0u);
}

}  // namespace
}  // namespace pw
