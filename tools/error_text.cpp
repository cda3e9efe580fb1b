#include "error_text.h"

#include "pagewright/pagewright.h"

namespace pw::cli {

std::string lastErrorText(uint32_t code) {
  // The module's own table, so that the command and the reports never disagree on a cause.
  std::string text(pwErrorText(code, nullptr, 0), '\0');
  pwErrorText(code, text.data(), static_cast<uint32_t>(text.size() + 1));
  return text;
}

}  // namespace pw::cli
