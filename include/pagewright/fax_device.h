/* Pagewright's raster fax device: a drawing surface that renders pages at fax resolution and
 * writes them as a TIFF Class F file, a PDF file or PNG previews.
 *
 * Create the device with pwCreateFaxDevice, pass it as the dc of pagewright(), read the outcome
 * with pwFaxDeviceStatus, keep the document with pwFaxDeviceCommit when the conversion succeeded
 * (or drop it with pwFaxDeviceAbandon) and release the device with pwDestroySurface.
 */
#ifndef PAGEWRIGHT_FAX_DEVICE_H
#define PAGEWRIGHT_FAX_DEVICE_H

#include <stdint.h>

#include "pagewright/pagewright.h"

#ifndef _WIN32

#ifdef __cplusplus
extern "C" {
#endif

/* Output formats. */
#define PW_FAX_FORMAT_TIFF 0u /**< one multi-page TIFF Class F file */
#define PW_FAX_FORMAT_PDF 1u  /**< one PDF, each page a CCITT Group 4 image */
#define PW_FAX_FORMAT_PNG 2u  /**< one PNG per page, named as pwFaxOutputFileName says */
/** One raw G3 file per page, as mgetty+sendfax and efax send them: "name.001", "name.002", ...
 *  (outputPath is the name before the dot; see pwFaxOutputFileName). Each holds the page in T.4
 *  1-D coding, most significant bit first, an EOL before every line and RTC at the end; no
 *  header. */
#define PW_FAX_FORMAT_G3 3u

/* Vertical resolutions; horizontally the device always has 204 dots per inch. */
#define PW_FAX_RESOLUTION_FINE 0u   /**< 196 lines per inch */
#define PW_FAX_RESOLUTION_NORMAL 1u /**< 98 lines per inch */

/* TIFF codings. */
#define PW_FAX_COMPRESSION_G3 0u    /**< CCITT Group 3, 1-D (T4Options 0) */
#define PW_FAX_COMPRESSION_G3_2D 1u /**< CCITT Group 3, 2-D (T4Options 1) */
#define PW_FAX_COMPRESSION_G4 2u    /**< CCITT Group 4 (T6Options 0) */

/* PwFaxDeviceOptions.encoderThreads: code every page in the drawing thread. */
#define PW_FAX_NO_ENCODER_THREADS 0xFFFFFFFFu

/* Paper sizes; only the length matters, as a fax line is always 1728 dots (215 mm). A page never
 * reaches past its length in whole millimetres, which fax servers check pages against. */
#define PW_FAX_PAPER_A4 0u
#define PW_FAX_PAPER_LETTER 1u
#define PW_FAX_PAPER_LEGAL 2u
#define PW_FAX_PAPER_B4 3u     /**< ISO B4, 353 mm long */
#define PW_FAX_PAPER_CUSTOM 4u /**< paperHeightMm long */

/** How a fax device renders and where it writes. Zero-initialised members select TIFF, fine
 *  resolution, Group 3 1-D and A4. */
typedef struct PwFaxDeviceOptions {
  /** The output file. The document is written under a temporary name in the same directory
   *  and reaches outputPath only when the host keeps it (pwFaxDeviceCommit); a failed or
   *  abandoned document leaves any file of that name as it was. Kept, it replaces a regular
   *  file, which keeps its permission bits (and its owner where the process may set it); a
   *  symbolic link is followed and its target replaced; a character device or FIFO is written
   *  into, never replaced (the document waits in $TMPDIR, else /tmp, meanwhile). For PNG and G3
   *  this names the pages, see pwFaxOutputFileName. */
  const char* outputPath;
  uint32_t format;        /**< PW_FAX_FORMAT_... */
  uint32_t resolution;    /**< PW_FAX_RESOLUTION_... */
  uint32_t compression;   /**< PW_FAX_COMPRESSION_...; TIFF only (PDF pages are always G4,
                             raw G3 pages 1-D) */
  uint32_t paper;         /**< PW_FAX_PAPER_... */
  uint32_t paperHeightMm; /**< page length for PW_FAX_PAPER_CUSTOM, 1 to 2000 */
  /** Threads that code finished pages, in page order, while later pages are drawn: 1 to 64
   *  for that many; 0 or PW_FAX_NO_ENCODER_THREADS to code each page within EndPage, which
   *  costs the least processor time. */
  uint32_t encoderThreads;
} PwFaxDeviceOptions;

/** A fax device for the options; nothing is created on disk until the document starts. Its
 *  StartDoc fails (returns below 1) when the output cannot be created, with last error 3 when
 *  the directory does not exist, 5 when access is denied. Returns null with last error 87 when
 *  options is null, the path is null or empty, or a member holds an unknown value; 14 when out
 *  of memory. Release it with pwDestroySurface. */
PW_API PwSurface* PW_CALL pwCreateFaxDevice(const PwFaxDeviceOptions* options);

/** The outcome of the device's current or last document, once the pages already ended are coded
 *  and written (it waits for them): pages written so far and the first
 *  failure (a Win32 error code, 0 when none; 112 when the disk was full), since the converter
 *  does not examine the results of EndPage and EndDoc. Either output pointer may be null.
 *  Returns 1, or 0 with last error 6 when surface is not a fax device. */
PW_API int PW_CALL pwFaxDeviceStatus(const PwSurface* surface, uint32_t* pagesWritten,
                                     uint32_t* documentError);

/** Keeps the fax devices' font matches in the file at path (created with its directory when
 *  missing; it may be deleted at any time), so that later processes under the same font
 *  configuration need not load fontconfig, which costs more than converting a one-page letter.
 *  Null or empty, the default, keeps matches in this process only. Applies to the whole
 *  process. Returns 1. */
PW_API int PW_CALL pwSetFontMatchCache(const char* path);

/** Keeps the document that the device's last EndDoc finished: puts it at outputPath as
 *  PwFaxDeviceOptions describes. Until then it waits under temporary names; the next StartDoc,
 *  pwFaxDeviceAbandon and pwDestroySurface abandon it, so that a host that does not commit never
 *  touches an existing file. A document without pages leaves no file. A document of page files
 *  (PNG, G3) also removes the files of the same naming beyond its last page, or numbered with
 *  another width, left by an earlier, longer document, so that they hold exactly its pages.
 *  Returns 1. Returns 0 with last error: the document's own failure (as pwFaxDeviceStatus gives
 *  it) when it failed; 1 when no finished document waits (EndDoc not reached, or the document
 *  already kept or abandoned); 6 when surface is not a fax device; 995 after
 *  pwAbandonAllFaxOutputs; else the cause (5, 112, ...), and the document is abandoned. */
PW_API int PW_CALL pwFaxDeviceCommit(PwSurface* surface);

/** As pwFaxDeviceCommit, but writes the finished document to the open descriptor fd from its
 *  position (standard output, a pipe, a socket); nothing is created at outputPath, whose
 *  directory only holds the temporary file. The last errors of pwFaxDeviceCommit, and 50 for
 *  PNG and G3 (several files), 109 when fd is a pipe that nobody reads. */
PW_API int PW_CALL pwFaxDeviceCommitToDescriptor(PwSurface* surface, int fd);

/** Removes the document that the device's last EndDoc finished, if one waits. Returns 1, or 0
 *  with last error 6 when surface is not a fax device. */
PW_API int PW_CALL pwFaxDeviceAbandon(PwSurface* surface);

/** Removes the temporary files of every fax device of the process, finished documents included,
 *  and makes every later StartDoc and commit fail with last error 995, so that a host that leaves
 *  on a signal leaves nothing behind: block the signals in every thread, wait for them on a
 *  thread of their own (sigwait), call this there and _exit. A commit in progress completes
 *  first. Safe from any thread, but not from a signal handler. */
PW_API void PW_CALL pwAbandonAllFaxOutputs(void);

/** The name of the file that holds page `page` (1-based) of a document of pageCount pages written
 *  to outputPath: outputPath itself for TIFF and PDF; for PNG "dir/name-NNN.ext" (".png" when
 *  outputPath has no extension), for G3 "outputPath.NNN": the page number padded with zeros to
 *  the digits of pageCount and at least three, so that the names sort in page order:
 *  "fax-001.png", "fax-0001.png" ... "fax-1000.png".
 *  Writes the name and a terminating zero to buffer when size allows and returns the name's
 *  length, as snprintf; 0 with last error 87 for a null path, an unknown format, or a page
 *  outside 1 to pageCount. */
PW_API uint32_t PW_CALL pwFaxOutputFileName(const char* outputPath, uint32_t format, uint32_t page,
                                            uint32_t pageCount, char* buffer, uint32_t size);

/** The code page in which the device draws bytes 128 to 255 for a font record's lfCharSet, as an
 *  iconv name: "WINDOWS-1252" for 0 (ANSI) and for sets without a single-byte code page,
 *  "WINDOWS-1250" for 238, "WINDOWS-1251" for 204, ... Hosts transcode their text to it. */
PW_API const char* PW_CALL pwCharSetCodePage(uint8_t charSet);

/** The family of the installed font that fax devices draw a font record with: its face when that
 *  is installed, else the family that stands in for it (a fixed-pitch one when the record asks
 *  for fixed pitch or its face's name marks one, such as "... Mono" or "Courier ...", and one is
 *  installed). Hosts compare it with the face they asked for to tell a user of a substitution.
 *  Writes the NUL-terminated name, cut short to size bytes, and returns 1; returns 0 with last
 *  error 87 when font or family is null or size is 0, 2 when no font is installed at all. */
PW_API int PW_CALL pwFaxDeviceFontFamily(const PwLogFont* font, char* family, uint32_t size);

#ifdef __cplusplus
}
#endif

#endif /* _WIN32 */

#endif /* PAGEWRIGHT_FAX_DEVICE_H */
