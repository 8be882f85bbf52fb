/** @file
 * UTF-16 strings: conversion to UTF-8, lengths, code points and buffers.
 *
 * UTF-16 strings exist only at platform calls: 16-bit units in host byte
 * order ended by a zero unit, measured in units unless a call says bytes.
 * Every UTF-16 string the runtime produces is released with RTMemFree.
 */
#ifndef ZOLT_UTF16_H
#define ZOLT_UTF16_H

#include <zolt/cdefs.h>

RT_C_DECLS_BEGIN

/** @returns the number of units before the zero unit; 0 for null. */
RTDECL(size_t) RTUtf16Length(const RTUTF16 *pwsz);

/**
 * Counts the UTF-8 bytes that @a pwsz, up to its zero unit or @a cwcMax
 * units, converts to.
 * @returns 0; ERR_INVALID_UTF16_ENCODING for a lone surrogate (a high one
 *          that is the last unit within the limit included);
 *          ERR_INVALID_CODE_POINT for U+FFFE/U+FFFF. *pcch (optional) gets
 *          the count, or RTSTR_MAX (that is, -1) on failure.
 */
RTDECL(int) RTUtf16CountUtf8Bytes(const RTUTF16 *pwsz, size_t cwcMax, size_t *pcch);

/**
 * Converts at most @a cwcString units of @a pwszString (RTSTR_MAX: up to the
 * zero unit) to UTF-8 under the caller-buffer protocol of <zolt/string.h>;
 * @a cch is the capacity in bytes, *pcch (optional) gets the length in
 * bytes. An allocated string is released with RTStrFree.
 * Example: the units D83D DE00 give F0 9F 98 80; DC00 alone, or D800 as the
 * last unit within the limit, is ERR_INVALID_UTF16_ENCODING.
 * @returns 0; the statuses of RTUtf16CountUtf8Bytes (nothing written, *pcch
 *          untouched); ERR_BUFFER_OVERFLOW; ERR_NO_STR_MEMORY.
 */
RT_NODISCARD RTDECL(int) RTUtf16ToUtf8Ex(const RTUTF16 *pwszString, size_t cwcString, char **ppsz, size_t cch,
                                         size_t *pcch, const char *pszTag = RT_SRC_TAG);

/**
 * Reads one code point in host byte order and advances *ppwsz: one unit, or
 * two for a surrogate pair. The zero unit reads as code point 0.
 * @returns 0; ERR_INVALID_UTF16_ENCODING for a lone surrogate and
 *          ERR_INVALID_CODE_POINT for U+FFFE/U+FFFF, both with
 *          *pCp = RTUNICP_INVALID and the cursor moved one unit.
 */
RTDECL(int) RTUtf16ReadCp(const RTUTF16 **ppwsz, RTUNICP *pCp);

/** As RTUtf16ReadCp for big-endian units (bytes swapped before decoding). */
RTDECL(int) RTUtf16BigReadCp(const RTUTF16 **ppwsz, RTUNICP *pCp);

/** Allocates @a cb bytes rounded up to an even number, at least 2, with a
 *  zero first unit. @returns null on failure. */
RTDECL(RTUTF16 *) RTUtf16Alloc(size_t cb, const char *pszTag = RT_SRC_TAG);

/** Copies @a pwsz (not null) with its zero unit. @returns null on
 *  failure. */
RTDECL(RTUTF16 *) RTUtf16Dup(const RTUTF16 *pwsz, const char *pszTag = RT_SRC_TAG);

/**
 * Resizes *ppwsz to @a cbNew bytes rounded up to an even number; 0 frees
 * and nulls. A zero unit is stored at the new end (and at the start of a
 * fresh block).
 * @returns 0; ERR_NO_STR_MEMORY if resizing an existing block fails (it is
 *          left untouched); ERR_NO_UTF16_MEMORY if a fresh allocation fails.
 */
RT_NODISCARD RTDECL(int) RTUtf16Realloc(RTUTF16 **ppwsz, size_t cbNew, const char *pszTag = RT_SRC_TAG);

RT_C_DECLS_END

#endif /* ZOLT_UTF16_H */
