/* Pagewright: lays out plain-text files as fax pages on a drawing surface.
 *
 * One call of pagewright() converts one text file. The host supplies the page description, the
 * surface to draw on (a GDI device context on Windows, a PwSurface elsewhere), the text file's path
 * and the job's fields. Problems are reported as numbered events (see pwSetEventSink) and the cause
 * of a failure is left as the calling thread's last-error value, which holds Win32 error codes on
 * every platform.
 */
#ifndef PAGEWRIGHT_PAGEWRIGHT_H
#define PAGEWRIGHT_PAGEWRIGHT_H

#include <stdint.h>

#ifdef _WIN32
#include <windows.h>
#endif

#if defined(_WIN32)
/* Pagewright.dll's module-definition file lists its exports; the pw* helpers stay internal. */
#define PW_API
#define PW_CALL __cdecl
#elif defined(__GNUC__)
#define PW_API __attribute__((visibility("default")))
#define PW_CALL
#else
#define PW_API
#define PW_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

#ifdef _WIN32
typedef LOGFONTA PwLogFont;
typedef HDC PwDC;
#else
/** The font record: the members, order and sizes of Win32's LOGFONTA (60 bytes). */
typedef struct PwLogFont {
  int32_t lfHeight;     /**< >0 cell height, <0 character height */
  int32_t lfWidth;      /**< average character width; 0 = natural */
  int32_t lfEscapement; /**< tenths of a degree; 900 = text runs upwards */
  int32_t lfOrientation;
  int32_t lfWeight; /**< PW_FW_NORMAL (400), PW_FW_BOLD (700), ... */
  uint8_t lfItalic;
  uint8_t lfUnderline;
  uint8_t lfStrikeOut;
  uint8_t lfCharSet; /**< 0 ANSI, 238 Eastern European, 204 Cyrillic, 161 Greek, ... */
  uint8_t lfOutPrecision;
  uint8_t lfClipPrecision;
  uint8_t lfQuality;
  uint8_t lfPitchAndFamily;
  char lfFaceName[32];
} PwLogFont;

/** A drawing surface: a host's callbacks (pwCreateSurface) or a device of the library. */
typedef struct PwSurface PwSurface;
typedef PwSurface* PwDC;
#endif

/** Font weights (lfWeight), as in Win32. */
#define PW_FW_NORMAL 400
#define PW_FW_BOLD 700

/** The page description. Sizes are in millimetres; font height and width are in points. */
typedef struct RenderParams {
  PwLogFont font;
  uint32_t lineSpacingMm; /**< space added between lines */
  uint32_t pageWidthMm;
  uint32_t pageHeightMm;
  uint32_t topMarginMm;
  uint32_t bottomMarginMm;
  uint32_t leftMarginMm;
  uint32_t rightMarginMm;
  uint32_t reserved;          /**< never read */
  uint32_t directivesEnabled; /**< nonzero: markup is recognised */
  const char* imageDirectory; /**< directory of referenced images; may be null */
} RenderParams;

/** Number of entries in JobFields: 0..10 numbered fields, 11..53 the named fields. */
#define PW_JOB_FIELD_COUNT 54

/** The job's fields. Each non-null entry is a list of lines: NUL-terminated lines followed by an
 *  empty line, so a one-line value ends with two NUL bytes. */
typedef struct JobFields {
  const char* entries[PW_JOB_FIELD_COUNT];
} JobFields;

/** Converts the text file at textPath onto dc.
 *  Returns 1 on success (the last-error value is then 0) and 0 on failure, with the cause as the
 *  last-error value: 2 file not found, 3 path not found, 5 access denied (on Windows also for a
 *  directory), 336 a directory (elsewhere), 222 an image that is no regular file, 11 or 13 an image
 *  that cannot be read, 0x20000001 an image beyond the decoding limits (8 on Windows), 32 sharing
 *  violation, 14 out of memory, 87 params, dc or pageCountOut null, or the error a surface
 *  operation left. *pageCountOut always receives the number of pages ended (0 when the file held
 *  no printable character, and after a failure at the start). reservedArg is ignored. */
PW_API int PW_CALL pagewright(const RenderParams* params, PwDC dc, const char* textPath,
                              uint32_t reservedArg, const JobFields* fields,
                              uint32_t* pageCountOut);

/** Stores the level mask of the filtered reports. The conversion's own reports are not filtered. */
PW_API void PW_CALL setLogging(uint32_t mask);

#ifndef _WIN32
/* Extensions for hosts without Win32. */

/** The library's version and those of the libraries it runs with, as one line of static text:
 *  "0.1.0 (libtiff 4.5.0, FreeType 2.12.1)". */
PW_API const char* PW_CALL pwVersion(void);

/** The calling thread's last-error value (a Win32 error code). */
PW_API uint32_t pwGetLastError(void);
/** Sets the calling thread's last-error value. */
PW_API void pwSetLastError(uint32_t code);

/** The header of a device-independent bitmap (Win32 BITMAPINFOHEADER, 40 bytes); in a
 *  BITMAPINFO the colour table follows it. */
typedef struct PwBitmapInfoHeader {
  uint32_t biSize;
  int32_t biWidth;
  int32_t biHeight; /**< >0 bottom-up, <0 top-down */
  uint16_t biPlanes;
  uint16_t biBitCount;
  uint32_t biCompression;
  uint32_t biSizeImage;
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;
  uint32_t biClrImportant;
} PwBitmapInfoHeader;

/** An opaque font of a surface. */
typedef void* PwFont;

/** A host's drawing operations. Each takes the user pointer given to pwCreateSurface first. A
 *  callback that fails leaves its cause with pwSetLastError. Coordinates are device pixels, origin
 *  top left, y downwards; text is drawn with its reference point at the top left of its cell. */
typedef struct PwSurfaceOps {
  /** Dots per inch: index 88 horizontally, 90 vertically. */
  int32_t (*getDeviceCaps)(void* user, int32_t index);
  /** A font for the record (height and width in device pixels), or null on failure. */
  PwFont (*createFont)(void* user, const PwLogFont* font);
  /** Makes font current; returns the font it replaces. */
  PwFont (*selectFont)(void* user, PwFont font);
  void (*deleteFont)(void* user, PwFont font);
  /** Starts a document; returns a job number, below 1 on failure. */
  int32_t (*startDoc)(void* user, const char* docName);
  int32_t (*startPage)(void* user);
  int32_t (*endPage)(void* user);
  int32_t (*endDoc)(void* user);
  /** Measures text in the current font; nonzero on success. */
  int32_t (*getTextExtent)(void* user, const char* text, int32_t count, int32_t* cx, int32_t* cy);
  int32_t (*textOut)(void* user, int32_t x, int32_t y, const char* text, int32_t count);
  /** 1 transparent, 2 opaque; returns the previous mode. */
  int32_t (*setBkMode)(void* user, int32_t mode);
  /** Copies a bitmap to the page; returns the scan lines drawn, 0 on failure. */
  int32_t (*setDIBitsToDevice)(void* user, int32_t x, int32_t y, uint32_t width, uint32_t height,
                               int32_t srcX, int32_t srcY, uint32_t startScan, uint32_t scanLines,
                               const void* bits, const PwBitmapInfoHeader* bitmapInfo,
                               uint32_t colorUse);
} PwSurfaceOps;

/** A surface whose operations are the host's callbacks (the table is copied). Null with last
 *  error 14 when out of memory, 87 when ops is null or lacks any operation. */
PW_API PwSurface* pwCreateSurface(const PwSurfaceOps* ops, void* user);
/** Releases any surface made by this library; null is ignored. */
PW_API void pwDestroySurface(PwSurface* surface);

/** Receives every report: its id, event type (1 error, 2 warning, 4 information), inserts (empty
 *  or null ones replaced by "null") and the message text with its inserts filled in. */
typedef void (*PwEventSink)(void* user, uint32_t eventId, uint16_t eventType,
                            const char* const* inserts, uint32_t insertCount, const char* text);
/** Routes every report to sink; a null sink restores the system log. */
PW_API void pwSetEventSink(PwEventSink sink, void* user);

/** The JobFields index of a field name: "0" to "10" for the numbered fields, 11 to 53 for the
 *  named ones ("FromName" ... "FromStationId", matched exactly); -1 for any other name. */
PW_API int PW_CALL pwFieldIndex(const char* name);

/** The name of JobFields entry index ("0" ... "10", "FromName" ...), or null outside 0 to 53. */
PW_API const char* PW_CALL pwFieldName(int index);

/** Confines what markup may make the calling thread's conversions read: image references and the
 *  file that a "%3" insert names must then resolve (with "..", "." and symbolic links followed)
 *  to a file inside one of the count directories. A reference that resolves elsewhere fails as
 *  a file that cannot be opened ("Cannot open", cause 5, access denied), as does one that does
 *  not exist outside them. Use it whenever the text or the job fields come from people the host
 *  does not trust, such as mail-to-fax or web gateways. The text file given to pagewright()
 *  itself is never restricted.
 *
 *  The setting belongs to the calling thread only and lasts until it is changed or the thread
 *  ends; the directories are resolved and copied at the call. Null or a count of 0 lifts the
 *  restriction. Returns 1 (last error 0), or 0 with the earlier setting kept and last error 87
 *  when an entry is null or empty, 2 or 3 when a directory does not exist, 267 when an entry is
 *  no directory. */
PW_API int PW_CALL pwSetReadableDirectories(const char* const* directories, uint32_t count);

/** A text that the host reads for the library, such as a file it decodes on the way. */
typedef struct PwTextStream {
  /** Reads up to size bytes of the text into buffer: returns the count, 0 at its end, or -1 on a
   *  failure whose cause (a Win32 error code) the callback left with pwSetLastError. */
  int32_t (*read)(void* user, void* buffer, uint32_t size);
  /** Releases the stream; called once when the library is done with it. May be null. */
  void (*close)(void* user);
  void* user;
} PwTextStream;

/* What PwConvertOptions.openText is asked to open. */
#define PW_TEXT_MAIN 0u   /**< the text to convert: the textPath given to pwConvert */
#define PW_TEXT_INSERT 1u /**< the file that a "%3" insert names, as located */

/* PwConvertOptions.flags */
/** Lose no text: a line longer than the line buffer (2,999 characters) is drawn whole, wrapped
 *  like a shorter one, where pagewright() draws its first 2,999 characters only; and a wrapped
 *  line that would start below the bottom margin starts a new page, where pagewright() draws the
 *  rest of the paragraph below the margin. */
#define PW_CONVERT_KEEP_ALL_TEXT 0x1u

/** How pwConvert reads. Zero-initialised members give pagewright()'s behaviour. */
typedef struct PwConvertOptions {
  uint32_t flags; /**< PW_CONVERT_... */
  void* user;     /**< passed to the callbacks */
  /** Opens a text that the library reads: kind PW_TEXT_MAIN for the text to convert, or
   *  PW_TEXT_INSERT for the file of a "%3" insert, whose bytes then become its lines as they are
   *  (CR LF, CR and LF end a line; the first NUL ends the text). Fills *stream and returns 1, or
   *  returns 0 with the cause left by pwSetLastError, which is reported as "Cannot open". Null:
   *  the library reads the files itself, as pagewright() does. */
  int (*openText)(void* user, uint32_t kind, const char* path, PwTextStream* stream);
  /** Turns the name of a file that the text or the job fields refer to into the path to open and
   *  to name in reports: an image (with the image directory and the default extension added) or
   *  the file of a "%3" insert. Lets a host that decoded the text find files whose names are
   *  spelt differently on disk. Writes a NUL-terminated path of at most size bytes and returns 1,
   *  or returns 0 with the cause left by pwSetLastError. The readable directories
   *  (pwSetReadableDirectories) apply to the path it gives. Null: names are used as they are. */
  int (*locateFile)(void* user, const char* name, char* path, uint32_t size);
} PwConvertOptions;

/** Converts like pagewright(), reading through the host's callbacks and with the behaviour the
 *  flags choose; options may be null. Returns 1 on success (last error 0) and 0 on failure with
 *  the causes of pagewright(), or those the callbacks left; 87 when params, dc or pageCountOut is
 *  null. *pageCountOut receives the pages ended, 0 after a failure at the start. */
PW_API int PW_CALL pwConvert(const RenderParams* params, PwDC dc, const char* textPath,
                             const JobFields* fields, const PwConvertOptions* options,
                             uint32_t* pageCountOut);

/** Writes the text for a last-error value into buffer (at most size bytes with its NUL): the
 *  system's text for the cause, or "error N" when there is none. Returns the length of the whole
 *  text, which is cut short when it is size or more. */
PW_API uint32_t PW_CALL pwErrorText(uint32_t code, char* buffer, uint32_t size);

/** The Win32 code for an errno value, as the library maps the failures of its own system calls
 *  (31 for one without a counterpart), so that a host's callbacks leave causes alike. */
PW_API uint32_t PW_CALL pwErrorFromErrno(int err);
#endif /* !_WIN32: the Windows module exports only pagewright and setLogging */

#ifdef __cplusplus
}
#endif

#endif /* PAGEWRIGHT_PAGEWRIGHT_H */
