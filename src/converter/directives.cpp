// Formatting directives: "#" and two letters that switch the font, the orientation and the
// background, place right-aligned text, copy short fields, end pages, comment and stop markup.
#include <cstring>

#include "converter/converter.h"
#include "converter/decimal.h"
#include "eventlog/event_reporter.h"
#include "eventlog/message_table.h"
#include "platform/last_error.h"

namespace pw {

namespace {

constexpr int32_t kUpwards = 900;  // tenths of a degree

char upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The directives that switch one property of the style on or off.
struct StyleDirective {
  char first;
  char second;
  bool FontStyle::*property;
  bool value;
};
constexpr StyleDirective kStyleDirectives[] = {
    {'B', 'F', &FontStyle::bold, true},      {'N', 'F', &FontStyle::bold, false},
    {'I', 'F', &FontStyle::italic, true},    {'N', 'I', &FontStyle::italic, false},
    {'U', 'S', &FontStyle::underline, true}, {'N', 'U', &FontStyle::underline, false},
    {'L', 'O', &FontStyle::landscape, true}, {'P', 'O', &FontStyle::landscape, false},
};

// Short-field inserts by their second letter: "#SO", "#SD", "#ST", "#SF", "#SN".
int shortFieldEntry(char second) {
  switch (second) {
    case 'O':
      return 5;
    case 'D':
      return 6;
    case 'T':
      return 7;
    case 'F':
      return 8;
    case 'N':
      return 10;
    default:
      return -1;
  }
}

}  // namespace

void Converter::handleDirective() {
  const char second = upper(line[lineLen]);
  const char first = upper(line[lineLen - 1]);
  lineLen -= 2;  // now the index of the "#": the three characters are no longer pending

  for (const StyleDirective& directive : kStyleDirectives) {
    if (directive.first == first && directive.second == second) {
      FontStyle wanted = style();
      wanted.*directive.property = directive.value;
      setFontStyle(wanted);
      return;
    }
  }
  bool known = true;
  switch (first) {
    case 'B':
      if ((known = second == 'O' || second == 'T')) {
        flushLine();
        dc->setBkMode(second == 'O' ? kOpaque : kTransparent);
      }
      break;
    case 'C':
      if ((known = second == 'O')) skipComment();
      break;
    case 'O':
      if ((known = second == 'D')) markupOn = 0;
      break;
    case 'S':
      if (second == 'J') {
        flushLine();
        closePage();
      } else if (const int entry = shortFieldEntry(second); entry >= 0) {
        insertShortField(entry);
      } else {
        known = false;
      }
      break;
    case 'T':
      placeRightAligned();
      break;
    default:
      known = false;
      break;
  }
  if (!known) {
    // Not a directive: the "#" and both letters are text again, the second letter counted by the
    // same rule as any character read.
    lineLen += 2;
    appendByte();
  }
}

void Converter::setFontStyle(FontStyle wanted) {
  flushLine();
  if (wanted.landscape != (landscape != 0)) closePage();
  const LogFont keptWorkFont = workFont;
  workFont.lfWeight = wanted.bold ? PW_FW_BOLD : PW_FW_NORMAL;
  workFont.lfItalic = wanted.italic ? 1 : 0;
  workFont.lfUnderline = wanted.underline ? 1 : 0;
  workFont.lfEscapement = wanted.landscape ? kUpwards : 0;
  workFont.lfOrientation = wanted.landscape ? kUpwards : 0;
  const FontHandle created = dc->createFont(workFont);
  if (!created) {
    const uint32_t code = pw::lastError();
    workFont = keptWorkFont;
    moduleReporter().reportError(msg::kCreateFontFailed, textPath, code);
    return;
  }
  const FontHandle replaced = dc->selectFont(created);
  dc->deleteFont(replaced);
  font = created;
  bold = wanted.bold;
  italic = wanted.italic;
  underline = wanted.underline;
  landscape = wanted.landscape;
}

void Converter::insertShortField(int entry) {
  const char* value = fields ? fields->entries[entry] : nullptr;
  if (!value) return;
  // Cut at the line buffer's limit, as the read loop drops characters beyond it, unless all text
  // is kept.
  while (*value != '\0') {
    if (lineLen >= kMaxPending) {
      if (!keepAllText) break;
      makeRoom();
    }
    line[lineLen++] = *value++;
  }
}

void Converter::skipComment() {
  // The line feed is consumed with the comment, so the text before the "#" joins the next line.
  char* const slot = &line[lineLen];
  while (readByte(slot) && *slot != static_cast<char>(kLineFeed)) {
  }
}

void Converter::placeRightAligned() {
  const uint32_t hash = lineLen;
  lineLen = hash + 2;  // the character after "#T": the first candidate digit
  bool fileEnded = false;
  while (isDigit(line[lineLen])) {
    // Digits beyond the buffer's limit are read but not kept, like any character there.
    if (lineLen < kMaxPending) ++lineLen;
    if (!readByte(&line[lineLen])) {
      fileEnded = true;
      break;
    }
  }
  if (lastError != 0) return;  // "#T" and the digits stay as text

  const char delimiter = fileEnded ? '\0' : line[lineLen];
  line[lineLen] = '\0';
  const uint32_t distance = parseDecimal(&line[hash + 2]);
  const uint32_t resolution = landscape ? static_cast<uint32_t>(dotsPerMetreY) : kFaxDotsPerMetre;
  const uint32_t pos = distance * resolution / 1000;

  uint32_t before = hash;
  flushText(line, &before);
  lineLen = 0;
  if (fileEnded) return;
  // A blank or control character after the digits takes no text; it is consumed with them.
  if (static_cast<unsigned char>(delimiter) <= 32) return;

  char* slot = line;
  bool endedByControl = false;
  while (readByte(slot)) {
    const unsigned char c = static_cast<unsigned char>(*slot);
    if (c < 32) {
      endedByControl = true;
      break;
    }
    if (*slot == delimiter) break;
    if (lineLen < kMaxPending) ++lineLen;
    slot = &line[lineLen];
  }
  if (lastError != 0) return;

  TextSize extent;
  if (!dc->getTextExtent(line, static_cast<int>(lineLen), &extent)) extent = {};
  int64_t along;
  if (landscape) {
    along = static_cast<int64_t>(bottom) - pos + extent.cx;
    if (along < top) along = top;
    if (along > bottom) along = bottom;
  } else {
    along = static_cast<int64_t>(left) + pos - extent.cx;
    if (along < left) along = left;
    if (along > right) along = right;
  }
  alongLine() = static_cast<int32_t>(along);
  // The position holds even when the flush that draws the text has to start a page first.
  alignedPending = true;
  alignedPos = static_cast<int32_t>(along);
  if (endedByControl) dispatchControl();
}

}  // namespace pw
