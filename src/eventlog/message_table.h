// Message ids and texts, expanded from resources/messages.def.
#pragma once

#include <cstdint>

namespace pw::msg {

#define PW_MESSAGE(id, name, text) inline constexpr uint32_t k##name = id;
#include "messages.def"
#undef PW_MESSAGE

}  // namespace pw::msg

namespace pw {

/// The table's text for a message id, or null when the table has no such id.
const char* messageText(uint32_t id);

/// The event type for a message id's severity: 4 information (severities 0 and 1), 2 warning,
/// 1 error.
uint16_t eventTypeOf(uint32_t id);

}  // namespace pw
