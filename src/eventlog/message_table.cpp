#include "eventlog/message_table.h"

namespace pw {

namespace {

struct Message {
  uint32_t id;
  const char* text;
};

constexpr Message kMessages[] = {
#define PW_MESSAGE(id, name, text) {id, text},
#include "messages.def"
#undef PW_MESSAGE
};

constexpr uint16_t kEventTypes[4] = {4, 4, 2, 1};

}  // namespace

const char* messageText(uint32_t id) {
  for (const Message& message : kMessages) {
    if (message.id == id) return message.text;
  }
  return nullptr;
}

uint16_t eventTypeOf(uint32_t id) {
  return kEventTypes[id >> 30];
}

}  // namespace pw
