// The state of one conversion and the operations that work on it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "images/image_library.h"
#include "pagewright/pagewright.h"
#include "platform/file_reader.h"
#include "surface/drawing_surface.h"
#include "surface/fax_line.h"

namespace pw {

/// Capacity of the line buffer; at most kLineBufferSize - 1 characters are pending, so that the
/// byte being read always has a slot after them.
inline constexpr uint32_t kLineBufferSize = 3000;
inline constexpr uint32_t kMaxPending = kLineBufferSize - 1;

/// The text file is read in blocks of this size instead of a byte at a time.
inline constexpr uint32_t kReadBlockSize = 64 * 1024;

/// The control characters that act on the layout.
inline constexpr unsigned char kLineFeed = 10;
inline constexpr unsigned char kFormFeed = 12;
inline constexpr unsigned char kCarriageReturn = 13;
inline constexpr unsigned char kSavePen = 22;
inline constexpr unsigned char kRestorePen = 23;
inline constexpr unsigned char kFileSeparator = 28;

/// What the style directives switch: the font's weight, slant and underline and the orientation.
struct FontStyle {
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool landscape = false;
};

/// Pen arithmetic wraps like the 32-bit registers it models instead of overflowing.
inline int32_t wrapAdd(int32_t a, int64_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

/// Turns the name of a file that the text or the job fields refer to (an image with its directory
/// and extension added, or the file of a "%3" insert) into the path to open and to report.
class NameLocator {
 public:
  virtual ~NameLocator() = default;
  /// True with *path set, or false with the last-error value set.
  [[nodiscard]] virtual bool locate(const char* name, std::string* path) = 0;
};

/// What a conversion reads through and how it treats long texts; null members mean the
/// platform's own.
struct ConversionServices {
  FileOpener* files = nullptr;  ///< the text file
  ImageLibrary* images = nullptr;
  /// The files of "%3" inserts, read as text byte for byte; null: LineList::load reads them.
  FileOpener* inserts = nullptr;
  NameLocator* names = nullptr;  ///< null: names are opened as they are
  /// Lose no text: a full line buffer draws its complete lines instead of dropping what follows,
  /// and every wrapped line that starts below the page's limit starts a new page.
  bool keepAllText = false;
};

/// One conversion: created for one call and never shared.
struct Converter {
  RenderParams params{};
  DrawingSurface* dc = nullptr;
  const char* textPath = nullptr;
  uint32_t reservedArg = 0;
  const JobFields* fields = nullptr;
  uint32_t pageCount = 0;
  LogFont workFont{};
  FontHandle font = nullptr;
  FontHandle previousFont = nullptr;  // the surface's font before ours, selected again at the end
  bool fontSelected = false;
  std::unique_ptr<FileReader> file;
  char line[kLineBufferSize]{};
  uint32_t lineLen = 0;
  uint32_t markupOn = 0;
  uint32_t lastError = 0;
  uint32_t bold = 0;
  uint32_t italic = 0;
  uint32_t underline = 0;
  uint32_t pageOpen = 0;
  uint32_t overflowReported = 0;
  uint32_t hasText = 0;
  int32_t x = 0;
  int32_t y = 0;
  int32_t left = 0;
  int32_t right = 0;
  int32_t top = 0;
  int32_t bottom = 0;
  int32_t savedPos = 0;
  int32_t lineAdvance = 0;
  uint32_t awaitSpage = 0;
  uint32_t landscape = 0;
  int32_t dotsPerMetreY = 0;
  int32_t imageStart = -1;  // index in line of an open image reference's name; -1 when none

  // A "#T" position that must survive the page start of the flush that draws its text.
  bool alignedPending = false;
  int32_t alignedPos = 0;

  // The block the text file is read in.
  FileOpener* files = nullptr;
  FileOpener* inserts = nullptr;
  NameLocator* names = nullptr;
  bool keepAllText = false;
  uint32_t readPos = 0;
  uint32_t readEnd = 0;
  unsigned char readBlock[kReadBlockSize];

  ImageLibrary* images = nullptr;

  // The run (conversion_run.cpp).
  int run();
  int failRun(uint32_t messageId);
  void computeGeometry();
  void readLoop();
  /// Makes the byte at line[lineLen] pending. At the buffer's limit it is dropped, unless
  /// keepAllText makes room for it.
  void appendByte() {
    if (lineLen < kMaxPending) {
      ++lineLen;
    } else if (keepAllText) {
      makeRoom();
      ++lineLen;
    }
  }
  /// Draws the complete lines of the pending text (all of it when it holds none) and moves the
  /// rest, with the byte at line[lineLen], to the front of the buffer. Returns how many
  /// characters were drawn, by which indexes into the buffer move down.
  uint32_t makeRoom();
  /// The path to open for a file that the text or the fields name: located through names, then
  /// confined to the readable directories. False with the last-error value set. *shown is the
  /// name reports give the file.
  bool resolveNamed(const char* name, std::string* shown, std::string* readable);
  void endDocument();
  /// Acts on the control character at line[lineLen] as the read loop does.
  void dispatchControl();

  /// Reads the next byte of the text file into place, a TAB as a space. False at the end of the
  /// file, after a read error (reported once, kept in lastError) and whenever lastError is set.
  bool readByte(char* place) {
    if (lastError != 0) return false;
    if (readPos == readEnd && !refill()) return false;
    const char c = static_cast<char>(readBlock[readPos++]);
    *place = c == '\t' ? ' ' : c;
    return true;
  }
  bool refill();

  // Page and line layout (line_layout.cpp).
  void flushText(const char* text, uint32_t* count) {
    layOut(text, *count, /*keepLastLine=*/false);
    *count = 0;
  }
  /// Lays out and draws count characters of text with word wrap; with keepLastLine the last
  /// line they reach is left undrawn and the pen at its start, so that more text can join it.
  /// Returns how many characters were drawn.
  uint32_t layOut(const char* text, uint32_t count, bool keepLastLine);
  /// Before a wrapped line is drawn: with keepAllText, a line that starts below the page's limit
  /// starts a new page.
  void startWrappedLine();
  bool pageFull() const { return landscape ? x > right : y > bottom; }
  void flushLine() { flushText(line, &lineLen); }
  void newLine();
  void openPage();
  void closePage();
  void handleControl();

  // Formatting directives (directives.cpp).
  void handleDirective();
  FontStyle style() const { return {bold != 0, italic != 0, underline != 0, landscape != 0}; }
  /// Draws the pending text, then switches to a font of the wanted style (a new page when the
  /// orientation changes). A font that cannot be created is reported; the old one stays.
  void setFontStyle(FontStyle wanted);
  void placeRightAligned();
  void insertShortField(int entry);
  void skipComment();

  // Field placeholders and numbered inserts (field_inserts.cpp).
  void insertField();
  void insertNumbered();
  void printValue(const char* firstLine, int32_t savedPos);
  /// The along-line coordinate of the pen: x in portrait, y in landscape.
  int32_t& alongLine() { return landscape ? y : x; }
  /// Where the next flushed text begins along the line: the pen, or the start of the page when
  /// that flush has to start a page first (which moves the pen there).
  int32_t nextTextAlongLine() const {
    const bool startsPage = !pageOpen || pageFull();
    if (!startsPage) return landscape ? y : x;
    return landscape ? bottom : left;
  }

  // Image inclusion (image_placement.cpp).
  /// Completes the image reference whose name starts at line[start], the closing "@/" just read:
  /// reads the line count after it, skips the rest of the line and draws the image. A failure is
  /// reported and kept in lastError.
  void placeImage(int32_t start);
};

/// The index (0 to 42) of a placeholder name among the named fields, after dropping the dot of a
/// "To." or "From." prefix; -1 when it names none.
int findFieldName(const char* name);

/// The named fields in table order; entry 11 + i of JobFields holds field i.
inline constexpr int kNamedFieldCount = 43;
inline constexpr int kFirstNamedField = 11;
extern const char* const kFieldNames[kNamedFieldCount];

/// Converts the text file at textPath onto surface: the whole call behind the pagewright export.
/// Returns 1 or 0 and leaves the last-error value as the export documents.
int convertText(const RenderParams* params, DrawingSurface* surface, const char* textPath,
                uint32_t reservedArg, const JobFields* fields, uint32_t* pageCountOut,
                const ConversionServices& services = {});

/// MulDiv: a * b / c with a 64-bit intermediate, rounded to the nearest integer; -1 when c is 0.
int32_t mulDiv(int32_t a, int32_t b, int32_t c);

}  // namespace pw
