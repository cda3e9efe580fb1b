#include "platform/mapped_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/temp_dir.h"
#include "platform/last_error.h"

namespace pw {
namespace {

TEST(MappedFileTest, MapsTheWholeFileUntilClosed) {
  testing::TempDir dir;
  const std::string path = dir.write("data", std::string("abc\0def", 7));
  MappedFile file;
  EXPECT_EQ(file.size(), 0u);
  const unsigned char* view = file.open(path.c_str());
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(file.view(), view);
  EXPECT_EQ(file.size(), 7u);
  EXPECT_EQ(std::memcmp(view, "abc\0def", 7), 0);

  // Closing releases everything but never touches the caller's last-error value.
  setLastError(1234);
  EXPECT_EQ(file.close(), 0);
  EXPECT_EQ(lastError(), 1234u);
  EXPECT_EQ(file.view(), nullptr);
  EXPECT_EQ(file.size(), 0u);
  EXPECT_EQ(file.close(), 0);
  EXPECT_EQ(lastError(), 1234u);
}

TEST(MappedFileTest, OpenFailuresLeaveTheCause) {
  testing::TempDir dir;
  MappedFile file;
  EXPECT_EQ(file.open(dir.file("missing").c_str()), nullptr);
  EXPECT_EQ(lastError(), kErrorFileNotFound);
  EXPECT_EQ(file.open(dir.path().c_str()), nullptr);
  EXPECT_EQ(lastError(), kErrorDirectoryNotSupported);
  EXPECT_EQ(file.open(dir.write("empty", "").c_str()), nullptr);
  EXPECT_EQ(lastError(), kErrorNoMoreItems);
  EXPECT_EQ(file.size(), 0u);

  const std::string path = dir.write("busy", "text");
  const int writer = open(path.c_str(), O_RDWR);
  ASSERT_GE(writer, 0);
  EXPECT_EQ(file.open(path.c_str()), nullptr);
  EXPECT_EQ(lastError(), kErrorSharingViolation);
  close(writer);
  // The lease is released after the check: a writer may open the file while it is mapped.
  ASSERT_NE(file.open(path.c_str()), nullptr);
  const int laterWriter = open(path.c_str(), O_WRONLY);
  EXPECT_GE(laterWriter, 0);
  close(laterWriter);
}

TEST(MappedFileTest, AFileTruncatedWhileInUseCannotFaultItsReader) {
  // A mapping would raise SIGBUS on the pages cut off; the view keeps what was there.
  testing::TempDir dir;
  const std::string contents(5 * 4096 + 17, 'x');
  const std::string path = dir.write("data", contents);
  MappedFile file;
  const unsigned char* view = file.open(path.c_str());
  ASSERT_NE(view, nullptr);
  ASSERT_EQ(truncate(path.c_str(), 0), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(view), file.size()), contents);
}

TEST(MappedFileTest, FilesBeyondTheSizeLimitAreNotRead) {
  testing::TempDir dir;
  const std::string path = dir.write("data", std::string(1000, 'y'));
  MappedFile file;
  EXPECT_EQ(file.open(path.c_str(), /*maxSize=*/999), nullptr);
  EXPECT_EQ(lastError(), kErrorFileTooLarge);
  EXPECT_EQ(file.size(), 0u);
  ASSERT_NE(file.open(path.c_str(), /*maxSize=*/1000), nullptr);
  EXPECT_EQ(file.size(), 1000u);
}

}  // namespace
}  // namespace pw
