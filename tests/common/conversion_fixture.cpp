#include "common/conversion_fixture.h"

#include <cstring>

namespace pw::testing {

bool CaptureSink::write(const EventRecord& record) {
  CapturedEvent event;
  event.id = record.id;
  event.type = record.type;
  for (uint32_t i = 0; i < record.insertCount; ++i) event.inserts.emplace_back(record.inserts[i]);
  event.text = record.text;
  events.push_back(std::move(event));
  return true;
}

RenderParams defaultParams() {
  RenderParams params{};
  params.font.lfHeight = 12;
  params.font.lfWeight = 400;
  std::strcpy(params.font.lfFaceName, "Courier New");
  params.pageWidthMm = 210;
  params.pageHeightMm = 297;
  params.topMarginMm = 10;
  params.bottomMarginMm = 10;
  params.leftMarginMm = 10;
  params.rightMarginMm = 10;
  return params;
}

FieldTable& FieldTable::set(int index, std::string_view lines) {
  std::string value;
  for (char c : lines) value += c == '\n' ? '\0' : c;
  value += '\0';
  value += '\0';
  storage_[index] = std::move(value);
  fields_.entries[index] = storage_[index].data();
  return *this;
}

int ConversionTest::convert(std::string_view text, const JobFields* fields) {
  path = dir.write("input.txt", text);
  return convertPath(path.c_str(), fields);
}

int ConversionTest::convertPath(const char* textPath, const JobFields* fields, FileOpener* files) {
  ConversionServices services;
  services.files = files;
  return convertText(&params, &surface, textPath, 0, fields, &pages, services);
}

std::vector<uint32_t> ConversionTest::eventIds() const {
  std::vector<uint32_t> ids;
  for (const CapturedEvent& event : sink.events) ids.push_back(event.id);
  return ids;
}

}  // namespace pw::testing
