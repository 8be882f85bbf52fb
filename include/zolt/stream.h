/** @file
 * Buffered output streams: the three standard streams, streams opened by
 * file name, and formatted printing.
 *
 * Text-mode streams turn every LF into CR LF. The standard streams convert
 * their UTF-8 text to the process's ANSI code page (on hosts without code
 * pages the text passes unchanged). Every formatted call holds the stream's
 * lock for the whole call, so the output of two calls never interleaves.
 * A write failure is sticky: the stream refuses all later output.
 * Pending output is flushed at process exit; the standard handles are never
 * closed.
 */
#ifndef ZOLT_STREAM_H
#define ZOLT_STREAM_H

#include <zolt/cdefs.h>

#include <stdarg.h>

RT_C_DECLS_BEGIN

/** A stream (opaque). */
typedef struct RTSTREAMREC RTSTREAMREC;
/** Stream handle. */
typedef RTSTREAMREC *PRTSTREAM;

/** @name The predefined standard streams. Standard output is line-buffered
 *  (fully buffered once its handle turns out not to be a console), standard
 *  input and error unbuffered.
 * @{ */
extern RTSTREAMREC g_StdInRec;
extern RTSTREAMREC g_StdOutRec;
extern RTSTREAMREC g_StdErrRec;
/** @} */

/** The current standard output stream: RTPrintf and RTMessageInfo write
 *  here. Initially &g_StdOutRec; an application may point it at another
 *  stream (for example its own console) that lives until process exit. */
extern PRTSTREAM g_pStdOut;
/** The current standard error stream: RTMessageError writes here.
 *  Initially &g_StdErrRec; replaceable like g_pStdOut. */
extern PRTSTREAM g_pStdErr;

/** @name Buffering modes of RTStreamSetBufferMode
 * @{ */
/** Written out only when the buffer is full (and at exit). */
#define RTSTRMBUFMODE_FULL 1
/** Written out up to the last LF after every call. */
#define RTSTRMBUFMODE_LINE 2
/** Written out after every call. */
#define RTSTRMBUFMODE_UNBUFFERED 3
/** @} */

/**
 * Opens the file @a pszFilename as a fully buffered stream, without code-page
 * conversion. The stream lives until process exit.
 *
 * Mode letters: one of 'r' (existing file, read), 'w' (create or truncate,
 * write), 'a' (open or create, write at the end) - the last one wins;
 * 'x' with 'w' only (create a new file, read and write); '+' (read and
 * write); 'b' binary, 't' text (default: no LF translation in binary);
 * 'N' or 'e' not inherited, 'E' inherited (default). The file is shared
 * for reading and writing; a new file gets permissions 0666.
 * Example: "a" opens the console device "CONOUT$" for appending.
 *
 * @param ppStream  Receives the stream; set to null first.
 * @returns 0;
 *          ERR_INVALID_PARAMETER for a null file name or stream pointer;
 *          ERR_INVALID_FLAGS for a null or empty mode, an unknown letter,
 *          no 'r', 'w' or 'a', or 'x' without 'w';
 *          ERR_NO_MEMORY;
 *          the status of the file open (e.g. ERR_FILE_NOT_FOUND for "r").
 */
RT_NODISCARD RTDECL(int) RTStreamOpen(const char *pszFilename, const char *pszMode, PRTSTREAM *ppStream);

/**
 * Sets the buffering mode (RTSTRMBUFMODE_*). Pending output is not flushed.
 * @returns 0; ERR_INVALID_HANDLE for an invalid stream;
 *          ERR_INVALID_PARAMETER for a mode outside 1..3 (mode unchanged).
 */
RTDECL(int) RTStreamSetBufferMode(PRTSTREAM pStream, int enmMode);

/**
 * Formats onto the stream (the formatter of <zolt/strformat.h>).
 * @returns the number of bytes the formatter produced (before LF
 *          translation and code-page conversion), whether or not writing
 *          them succeeded; -1 if the stream refuses output after an earlier
 *          write failure (nothing is formatted); ERR_INVALID_PARAMETER for
 *          an invalid stream.
 */
RTDECL(int) RTStreamPrintf(PRTSTREAM pStream, const char *pszFormat, ...);

/** RTStreamPrintf with a va_list. */
RTDECL(int) RTStreamPrintfV(PRTSTREAM pStream, const char *pszFormat, va_list Args);

/** RTStreamPrintf on the current standard output stream (g_pStdOut). */
RTDECL(int) RTPrintf(const char *pszFormat, ...);

RT_C_DECLS_END

#endif /* ZOLT_STREAM_H */
