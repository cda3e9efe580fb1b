// Page and line layout: word wrap, page starts and ends, and the control characters that move
// the pen.
#include "converter/converter.h"
#include "eventlog/event_reporter.h"
#include "eventlog/message_table.h"

namespace pw {

void Converter::openPage() {
  if (pageOpen) return;
  dc->startPage();
  pageOpen = 1;
  x = left;
  savedPos = 0;
  y = landscape ? bottom : top;
}

void Converter::closePage() {
  if (pageOpen) {
    dc->endPage();
    pageOpen = 0;
    ++pageCount;
  }
  awaitSpage = 0;
}

void Converter::newLine() {
  alignedPending = false;
  if (landscape) {
    x = wrapAdd(x, lineAdvance);
    y = bottom;
  } else {
    x = left;
    y = wrapAdd(y, lineAdvance);
  }
}

void Converter::startWrappedLine() {
  if (keepAllText && pageFull()) {
    closePage();
    openPage();
  }
}

uint32_t Converter::layOut(const char* text, uint32_t count, bool keepLastLine) {
  if (count == 0) return 0;
  if (pageFull()) closePage();
  openPage();
  if (alignedPending) {
    alongLine() = alignedPos;
    alignedPending = false;
  }
  if (!hasText) {
    for (uint32_t i = 0; i < count; ++i) {
      if (static_cast<unsigned char>(text[i]) > 32) {
        hasText = 1;
        break;
      }
    }
  }

  uint32_t remaining = count;
  const char* scan = text;
  const char* start = text;  // first character not yet drawn
  uint32_t pending = 0;      // characters placed on this line and not yet drawn
  int64_t lineWidth = 0;
  for (;;) {
    // A piece runs up to and including the next space.
    uint32_t length = 0;
    while (length < remaining && scan[length] != ' ') ++length;
    if (length < remaining) ++length;
    remaining -= length;

    TextSize extent;
    if (!dc->getTextExtent(scan, static_cast<int>(length), &extent)) extent = {};
    lineWidth += static_cast<int64_t>(extent.cx) + length;
    const bool fits = landscape ? static_cast<int64_t>(y) - lineWidth >= top
                                : static_cast<int64_t>(x) + lineWidth <= right;
    if (fits) {
      pending += length;
      scan += length;
      if (remaining == 0) break;
      continue;
    }
    if (pending > 0) {
      // Break the line before this piece and try it again at the start of the next one.
      startWrappedLine();
      dc->textOut(x, y, start, static_cast<int>(pending));
      newLine();
      start += pending;
      pending = 0;
      lineWidth = 0;
      remaining += length;
      continue;
    }
    // The last piece of a kept line may be the start of a longer word: it waits for the rest.
    if (keepLastLine && remaining == 0) break;
    // A piece wider than the room left is drawn where the pen stands, running past the limit.
    startWrappedLine();
    dc->textOut(x, y, scan, static_cast<int>(length));
    if (!overflowReported) {
      moduleReporter().report(msg::kLineOverflow, textPath);
      overflowReported = 1;
    }
    newLine();
    scan += length;
    start = scan;
    lineWidth = 0;
    if (remaining == 0) break;
  }
  // A kept line stays pending with the pen at its start, so that it is laid out again whole.
  if (keepLastLine) return static_cast<uint32_t>(start - text);
  if (pending > 0) {
    startWrappedLine();
    dc->textOut(x, y, start, static_cast<int>(pending));
  }
  if (landscape) {
    y = wrapAdd(y, -lineWidth);
  } else {
    x = wrapAdd(x, lineWidth);
  }
  return count;
}

void Converter::handleControl() {
  const unsigned char c = static_cast<unsigned char>(line[lineLen]);
  flushLine();
  alignedPending = false;
  switch (c) {
    case kLineFeed:
      newLine();
      break;
    case kFormFeed:
      closePage();
      break;
    case kCarriageReturn:
      if (landscape) {
        y = bottom;
      } else {
        x = left;
      }
      break;
    case kSavePen:
      savedPos = landscape ? y : x;
      break;
    case kRestorePen:
      if (savedPos != 0) (landscape ? y : x) = savedPos;
      break;
    case kFileSeparator:
      closePage();
      awaitSpage = 1;
      break;
    default:
      break;  // any other control character is consumed
  }
}

}  // namespace pw
