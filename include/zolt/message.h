/** @file
 * Runtime messages: one line per text line, in the form
 * "<program>: error: <text>" or "<program>: info: <text>", where <program>
 * is the file name of the executable recorded by RTR3Init (extension
 * included; empty before initialisation).
 */
#ifndef ZOLT_MESSAGE_H
#define ZOLT_MESSAGE_H

#include <zolt/cdefs.h>
#include <zolt/stream.h>

#include <stdarg.h>

RT_C_DECLS_BEGIN

/**
 * Writes a formatted message on @a pStream, each of its lines as
 * "<program>: <prefix><line>\n". An empty line of the message is written as
 * "\n" alone; a final LF adds no line. An empty format or "\n" writes just
 * "\n". Example: prefix "error: ", text "a\n\nb" gives "setup.exe: error: a",
 * an empty line and "setup.exe: error: b".
 * If the text cannot be formatted into memory, the prefix and the message
 * are written unsplit.
 * @returns 0, whatever the stream does.
 */
RTDECL(int) RTMessageWriteV(PRTSTREAM pStream, const char *pszPrefix, const char *pszFormat, va_list Args);

/** RTMessageWriteV on the current standard error stream with the prefix
 *  "error: ". @returns 0. */
RTDECL(int) RTMessageError(const char *pszFormat, ...);

/** RTMessageWriteV on the current standard output stream with the prefix
 *  "info: ". @returns 0. */
RTDECL(int) RTMessageInfo(const char *pszFormat, ...);

/**
 * Reports a failed RTR3Init on the current standard error stream:
 * "<program>: fatal error: RTR3Init: <status name>\n", or without the
 * program name when none was recorded.
 * @returns 3, the exit code for a failed initialisation.
 */
RTDECL(int) RTMessageInitFailure(int rc);

RT_C_DECLS_END

#endif /* ZOLT_MESSAGE_H */
