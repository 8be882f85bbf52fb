/** @file
 * Stream internals: the stream record, the host hooks and the exit
 * processing.
 */
#ifndef ZOLT_INTERNAL_STREAM_H
#define ZOLT_INTERNAL_STREAM_H

#include <zolt/critsect.h>
#include <zolt/file.h>
#include <zolt/stream.h>

/** Magic of a usable stream. */
#define RTSTREAM_MAGIC 0xE44E44EEu
/** Magic of a named stream closed at exit. */
#define RTSTREAM_MAGIC_DEAD 0x1BB1BB11u

/** RTSTREAMREC::enmBufDir: the buffer is not in use. */
#define RTSTREAMBUFDIR_NONE 0
/** RTSTREAMREC::enmBufDir: the buffer holds output. */
#define RTSTREAMBUFDIR_WRITE 2

/** A stream. The predefined records are static and usable before any
 *  initialisation; named ones are heap records on a list. */
struct RTSTREAMREC
{
    /** RTSTREAM_MAGIC while usable. */
    uint32_t u32Magic;
    /** Sticky status: 0, or the first write failure. Atomic. */
    int32_t i32Error;
    /** 0, 1, 2 for standard input, output, error; -1 for a named stream. */
    int32_t iStd;
    /** Where output goes; NIL_RTFILE until a standard stream first needs it. */
    RTFILE hFile;
    /** Output buffer, allocated on the first write. */
    char *pchBuf;
    /** Size of pchBuf in bytes. */
    uint32_t cbBufAlloc;
    /** Offset of the first pending byte. */
    uint32_t offBufFirst;
    /** Offset just past the last pending byte. */
    uint32_t offBufEnd;
    /** RTSTREAMBUFDIR_*. */
    int32_t enmBufDir;
    /** RTSTRMBUFMODE_*. */
    int32_t enmBufMode;
    /** Text is converted to the ANSI code page before buffering. */
    uint8_t fCurrentCodeSet;
    /** No LF translation and no code-page conversion. */
    uint8_t fBinary;
    /** Serialises users; created on first use. Atomic. */
    RTCRITSECT *pCritSect;
    /** Links on the list of named streams. */
    RTSTREAMREC *pNext;
    RTSTREAMREC *pPrev;
};

/**
 * Host hook: fetches the platform's standard handle @a iStd (0 input,
 * 1 output, 2 error).
 * @param pfConsole  Receives whether the handle is a console (or terminal);
 *                   files and pipes are not.
 * @returns 0; ERR_INVALID_HANDLE when the process has no such handle.
 */
int rtStrmNativeGetStdHandle(int iStd, RTFILE *phFile, bool *pfConsole);

/**
 * The exit processing of the streams: flushes and releases the standard
 * streams (their handles stay open), then flushes, closes and frees every
 * named stream. Runs once at process exit; also callable from tests.
 */
void rtStrmTerm(void);

#endif /* ZOLT_INTERNAL_STREAM_H */
