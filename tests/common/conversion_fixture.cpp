#include "common/conversion_fixture.h"

#include <algorithm>
#include <cstring>

#include "platform/last_error.h"

namespace pw::testing {

RenderParams defaultParams() {
  RenderParams params{};
  params.font.lfHeight = 12, params.font.lfWeight = 400;
  std::strcpy(params.font.lfFaceName, "Courier New");
  params.pageWidthMm = 210, params.pageHeightMm = 297;
  params.topMarginMm = params.bottomMarginMm = params.leftMarginMm = params.rightMarginMm = 10;
  return params;
}

FieldTable& FieldTable::set(int index, std::string_view lines) {
  std::string value;
  for (char c : lines) value += c == '\n' ? '\0' : c;
  value.append(2, '\0');
  storage_[index] = std::move(value);
  fields_.entries[index] = storage_[index].data();
  return *this;
}

std::unique_ptr<FileReader> MemoryFiles::openForReading(const char* path) {
  struct Reader : FileReader {
    const MemoryFiles* files;
    std::string_view rest;
    bool read(void* buffer, uint32_t size, uint32_t* got) override {
      *got = static_cast<uint32_t>(std::min<std::size_t>({size, files->blockSize, rest.size()}));
      if (*got == 0 && files->endError != 0) return failWith(files->endError) != 0;
      std::memcpy(buffer, rest.data(), *got);
      rest.remove_prefix(*got);
      return true;
    }
  };
  opened.emplace_back(path);
  const auto found = texts.find(path);
  if (found == texts.end()) return failWith(kErrorFileNotFound), nullptr;
  auto reader = std::make_unique<Reader>();
  reader->files = this;
  reader->rest = found->second;
  return reader;
}

bool Locator::locate(const char* name, std::string* path) {
  names.emplace_back(name);
  if (names.back().find("lost") != std::string::npos) return failWith(lostError) != 0;
  *path = everyName.empty() ? prefix + name : everyName;
  return true;
}

int ConversionTest::convert(std::string_view text, const JobFields* fields) {
  path = dir.write("input.txt", text);
  return convertPath(path.c_str(), fields);
}

int ConversionTest::convertPath(const char* textPath, const JobFields* fields) {
  return convertText(&params, &surface, textPath, 0, fields, &pages, services);
}

void ConversionTest::check(const std::vector<Row>& rows) {
  const RenderParams kept = params;
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.text.substr(0, 100)));
    if (row.setup) row.setup(params);
    reset();
    EXPECT_EQ(convert(row.text, rowFields), 1);
    EXPECT_EQ(surface.drawing(), row.drawn);
    EXPECT_EQ(pages, row.pages);
    EXPECT_EQ(eventIds(), row.event ? std::vector{row.event} : std::vector<uint32_t>{});
    params = kept;
  }
}

std::vector<uint32_t> ConversionTest::eventIds() const {
  std::vector<uint32_t> ids;
  for (const CapturedEvent& event : sink.events) ids.push_back(event.id);
  return ids;
}

}  // namespace pw::testing
