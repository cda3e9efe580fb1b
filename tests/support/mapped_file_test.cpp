#include "platform/mapped_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "common/temp_dir.h"
#include "platform/last_error.h"

namespace pw {
namespace {

TEST(MappedFileTest, ViewOfTheWholeFileThatOutlivesATruncation) {
  testing::TempDir dir;
  // A mapping would raise SIGBUS on the pages cut off; the view keeps what was there.
  const std::string contents = std::string("abc\0", 4) + std::string(5 * 4096 + 13, 'x');
  const std::string path = dir.write("data", contents);
  MappedFile file;
  const unsigned char* view = file.open(path.c_str());
  ASSERT_NE(view, nullptr);
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

TEST(MappedFileTest, OpenFailuresLeaveTheCause) {
  testing::TempDir dir;
  const std::string hundred = dir.write("hundred", std::string(100, 'y'));
  MappedFile file;
  const auto fails = [&](const std::string& path, uint32_t code,
                         uint64_t maxSize = MappedFile::kNoSizeLimit) {
    EXPECT_EQ(file.open(path.c_str(), maxSize), nullptr) << path;
    EXPECT_EQ(lastError(), code) << path;
    EXPECT_EQ(file.size(), 0u);
  };
  fails(dir.file("missing"), kErrorFileNotFound);
  fails(dir.path(), kErrorDirectoryNotSupported);
  fails(dir.write("empty", ""), kErrorNoMoreItems);
  fails(hundred, kErrorFileTooLarge, 99);
  ASSERT_NE(file.open(hundred.c_str(), 100), nullptr);

  const int writer = open(hundred.c_str(), O_RDWR);
  fails(hundred, kErrorSharingViolation);
  close(writer);
  // The lease is released after the check: a writer may open the file while it is mapped.
  ASSERT_NE(file.open(hundred.c_str()), nullptr);
  const int laterWriter = open(hundred.c_str(), O_WRONLY);
  EXPECT_GE(laterWriter, 0);
  close(laterWriter);
}

}  // namespace
}  // namespace pw
