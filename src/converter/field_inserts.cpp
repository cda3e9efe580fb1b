// Field placeholders ("<ToName>") and numbered inserts ("%0" to "%9"; "%3" inserts a file).
#include <cstring>
#include <memory>
#include <string>

#include "converter/converter.h"
#include "converter/read_confinement.h"
#include "eventlog/event_reporter.h"
#include "eventlog/message_table.h"
#include "platform/last_error.h"
#include "support/line_list.h"

namespace pw {

namespace {

constexpr uint32_t kMaxNameLength = 63;  // a name is copied into 64 bytes with its NUL
constexpr int kFileInsertField = 3;

}  // namespace

const char* const kFieldNames[kNamedFieldCount] = {
    "FromName",     "FromCompany", "FromDept",    "FromMail",    "FromCountry", "FromPostal",
    "FromVoice",    "FromFax",     "FromEmail",   "FromAccount", "FromUser1",   "FromUser2",
    "FromUser3",    "ToName",      "ToCompany",   "ToDept",      "ToMail",      "ToCountry",
    "ToPostal",     "ToVoice",     "ToFax",       "ToEmail",     "ToAccount",   "ToUser1",
    "ToUser2",      "ToUser3",     "Subject",     "Message",     "CurDate",     "CurTime",
    "Pages",        "CurPages",    "Page",        "CurPage",     "Date",        "ToSUB",
    "ToPWD",        "ToSEP",       "ToStationId", "FromSUB",     "FromPWD",     "FromSEP",
    "FromStationId"};

int findFieldName(const char* name) {
  if (!name || !*name) return -1;
  char copy[kMaxNameLength + 1];
  std::size_t length = std::strlen(name);
  if (length > kMaxNameLength) return -1;  // longer than any name, prefixed or not
  std::memcpy(copy, name, length + 1);
  std::size_t dot = 0;
  if (std::strncmp(copy, "To.", 3) == 0) {
    dot = 2;
  } else if (std::strncmp(copy, "From.", 5) == 0) {
    dot = 4;
  }
  if (dot != 0) std::memmove(copy + dot, copy + dot + 1, length - dot);
  for (int i = 0; i < kNamedFieldCount; ++i) {
    if (std::strcmp(copy, kFieldNames[i]) == 0) return i;
  }
  return -1;
}

void Converter::printValue(const char* firstLine, int32_t saved) {
  for (const char* text = firstLine; text && *text;) {
    uint32_t length = static_cast<uint32_t>(std::strlen(text));
    flushText(text, &length);
    text = nextLine(text);
    if (*text) {
      newLine();
      alongLine() = saved;
    }
  }
}

void Converter::insertField() {
  // A "<" at the buffer's limit has no room for a name: it is dropped like any character there,
  // unless all text is kept.
  if (lineLen >= kMaxPending) {
    if (!keepAllText) return;
    makeRoom();
  }
  // Further lines of the value start where the text in front of the placeholder begins. When that
  // text opens a page, it begins at the page start, not at a pen left over from the last page.
  int32_t saved = nextTextAlongLine();
  uint32_t open = lineLen;
  ++lineLen;
  uint32_t nameStart = lineLen;
  for (;;) {
    if (!readByte(&line[lineLen])) return;  // the "<" and the name so far stay as text
    const unsigned char c = static_cast<unsigned char>(line[lineLen]);
    if (c == '>') break;
    if (c < 32) {
      // A control character ends the name as text and is then acted on, so that a line feed
      // still ends the line.
      dispatchControl();
      return;
    }
    if (c == ' ' || (lineLen >= kMaxPending && !keepAllText)) {
      // A space stays as text; at the limit the character is dropped as the read loop would.
      appendByte();
      return;
    }
    if (lineLen >= kMaxPending) {
      // The placeholder moves to the front with the line it is on.
      const uint32_t drawn = makeRoom();
      if (drawn > open) {
        ++lineLen;  // its "<" was drawn: the rest is text
        return;
      }
      open -= drawn;
      nameStart -= drawn;
      saved = nextTextAlongLine();
    }
    ++lineLen;
  }

  const uint32_t length = lineLen - nameStart;
  char name[kMaxNameLength + 1];
  int index = -1;
  if (length <= kMaxNameLength) {
    std::memcpy(name, &line[nameStart], length);
    name[length] = '\0';
    index = findFieldName(name);
  }
  if (index < 0) {
    appendByte();  // the placeholder stays as text, ">" included
    return;
  }
  const char* value = fields ? fields->entries[kFirstNamedField + index] : nullptr;
  lineLen = open;
  flushLine();
  printValue(value, saved);
}

void Converter::insertNumbered() {
  const int number = line[lineLen] - '0';
  --lineLen;  // drop the "%"
  flushLine();
  const int32_t saved = nextTextAlongLine();
  const char* value = fields ? fields->entries[number] : nullptr;
  LineList file;
  if (number == kFileInsertField && value) {
    std::string shown;
    std::string readable;
    bool loaded = resolveNamed(value, &shown, &readable);
    if (loaded && inserts) {
      std::unique_ptr<FileReader> text = inserts->openForReading(readable.c_str());
      loaded = text && file.load(*text);
    } else if (loaded) {
      loaded = file.load(readable.c_str());
    }
    if (!loaded) {
      // A file over the size limit fails with 223, whose text says the file is too large.
      lastError = pw::lastError();
      moduleReporter().reportError(msg::kCannotOpen, shown.c_str(), lastError);
      return;
    }
    value = file.firstLine();
  }
  printValue(value, saved);
}

}  // namespace pw
