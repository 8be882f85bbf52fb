/** @file
 * UTF-8 strings: heap strings, bounded copy and append, comparisons, and
 * the UTF-8 side of the Unicode conversions.
 *
 * A string is UTF-8 text ended by a NUL byte. A *size* counts bytes
 * including the terminator, a *length* counts bytes without it. A source
 * limit of RTSTR_MAX means "up to the terminator"; conversions stop at the
 * terminator or the limit, whichever comes first.
 *
 * Heap strings are heap blocks (<zolt/mem.h>); release them with RTStrFree
 * (or RTMemFree). Allocating calls take the allocation tag last; it defaults
 * to the caller's source file.
 */
#ifndef ZOLT_STRING_H
#define ZOLT_STRING_H

#include <zolt/cdefs.h>

RT_C_DECLS_BEGIN

/** Marker value that the code-point readers return alongside a failure. */
#define RTUNICP_INVALID ((RTUNICP)0xFFFFFFFE)

/*
 * Heap strings.
 */

/** Allocates @a cb bytes (0 is taken as 1) holding the empty string.
 *  @returns null on failure. */
RTDECL(char *) RTStrAlloc(size_t cb, const char *pszTag = RT_SRC_TAG);

/** Copies @a psz with its terminator. @returns null on failure. */
RTDECL(char *) RTStrDup(const char *psz, const char *pszTag = RT_SRC_TAG);

/**
 * Copies at most @a cchMax bytes of @a psz: the copy's length is the offset
 * of the first NUL within the first @a cchMax bytes, or @a cchMax if there
 * is none (the source need not be terminated within that range). The copy
 * is always terminated. Example: ("abcdef", 3) gives "abc".
 * @returns null on failure.
 */
RTDECL(char *) RTStrDupN(const char *psz, size_t cchMax, const char *pszTag = RT_SRC_TAG);

/**
 * As RTStrDupN, with a status.
 * @returns 0 with the copy in *ppszCopy; ERR_NO_STR_MEMORY with *ppszCopy
 *          set to null.
 */
RT_NODISCARD RTDECL(int) RTStrDupNEx(char **ppszCopy, const char *psz, size_t cchMax, const char *pszTag = RT_SRC_TAG);

/**
 * Resizes the heap string *ppsz to @a cbNew bytes.
 * - cbNew 0: frees the string (null allowed), sets *ppsz to null, returns 0.
 * - Existing string: resizes; stores NUL at index cbNew - 1, so a shrink
 *   always leaves a terminated string.
 * - No string: allocates cbNew bytes with NUL in the first and last byte.
 * @returns 0; ERR_NO_STR_MEMORY on failure, *ppsz and the old string
 *          untouched.
 */
RT_NODISCARD RTDECL(int) RTStrRealloc(char **ppsz, size_t cbNew, const char *pszTag = RT_SRC_TAG);

/** Releases a heap string; null is ignored. */
RTDECL(void) RTStrFree(char *psz);

/*
 * Bounded operations on caller buffers. Truncation is never silent.
 */

/**
 * Copies @a pszSrc into the buffer @a pszDst of @a cbDst bytes.
 * @returns 0 if the whole string fits (length < cbDst);
 *          ERR_BUFFER_OVERFLOW otherwise, after storing the first cbDst - 1
 *          bytes and a NUL (nothing at all when cbDst is 0).
 */
RT_NODISCARD RTDECL(int) RTStrCopy(char *pszDst, size_t cbDst, const char *pszSrc);

/**
 * As RTStrCopy, but the source is at most its first @a cchSrcMax bytes
 * (its length is RTStrNLen(pszSrc, cchSrcMax)).
 */
RT_NODISCARD RTDECL(int) RTStrCopyEx(char *pszDst, size_t cbDst, const char *pszSrc, size_t cchSrcMax);

/**
 * Appends @a pszSrc to the string in the buffer @a pszDst of @a cbDst bytes.
 * @returns 0 if it fits;
 *          ERR_BUFFER_OVERFLOW after appending as much as fits and storing a
 *          NUL in the last byte (a full buffer plus "" is still 0);
 *          ERR_INVALID_PARAMETER if the buffer holds no terminator within
 *          its size; the buffer is then untouched.
 */
RT_NODISCARD RTDECL(int) RTStrCat(char *pszDst, size_t cbDst, const char *pszSrc);

/** @returns the first NUL within the first @a cchMax bytes of @a psz, or
 *  null if there is none (always null for cchMax 0). */
RTDECL(char *) RTStrFindEnd(const char *psz, size_t cchMax);

/** @returns the offset of the first NUL within the first @a cchMax bytes,
 *  or cchMax if there is none. Reads no further than that. */
RTDECL(size_t) RTStrNLen(const char *psz, size_t cchMax);

/** @returns the first character of @a psz that is neither a space nor a
 *  control character 0x09 to 0x0D. */
RTDECL(char *) RTStrStripLeft(const char *psz);

/*
 * Comparisons: negative, zero or positive.
 */

/**
 * Compares two strings byte-wise as unsigned bytes.
 * @returns 0 for the same pointer (both null included); -1 if only the first
 *          is null, 1 if only the second is; otherwise the difference of the
 *          first differing bytes.
 */
RTDECL(int) RTStrCmp(const char *psz1, const char *psz2);

/**
 * Compares a UTF-8 string with an ASCII string, folding only 'A'..'Z'.
 * @returns 0 for the same pointer; -1 if only the first is null, 1 if only
 *          the second is. A code point of 0x80 or above that differs gives 1.
 *          Otherwise the difference of the folded values (first minus
 *          second): "a" against "B" is -1. A malformed sequence in the first
 *          string ends the walk with RTStrCmp of the rest of both strings.
 */
RTDECL(int) RTStrCmpAsciiNoCase(const char *pszUtf8, const char *pszAscii);

/*
 * UTF-8 validation, lengths and code points.
 *
 * Two rule sets decide what is malformed. The *recoding* rules (conversions
 * to UTF-16 and RTStrCountUtf16Units) accept exactly the Unicode range up to
 * U+10FFFF minus the surrogates and U+FFFE/U+FFFF. The *validation* rules
 * (RTStrValidateUtf8, RTStrCountCodePoints, RTStrToCodePoints, the readers)
 * also accept the historic five- and six-byte forms and values up to
 * 0x7FFFFFFF. Both refuse overlong forms (ERR_INVALID_UTF8_ENCODING),
 * encoded surrogates (ERR_SURROGATE_CODE_POINT) and U+FFFE/U+FFFF
 * (ERR_INVALID_CODE_POINT). A sequence cut by a byte limit or by the
 * terminator is ERR_INVALID_UTF8_ENCODING. Examples: F4 90 80 80 (0x110000)
 * is ERR_CODE_POINT_TOO_LARGE when recoding but valid for validation; the
 * five-byte F8 88 80 80 80 (0x200000) likewise; C0 80 is
 * ERR_INVALID_UTF8_ENCODING under both. The first malformed sequence
 * decides the status.
 *
 * Nothing here reads past the terminator or past a byte limit.
 */

/** Flag for RTStrValidateUtf8: the terminator must lie within the limit. */
#define RTSTR_VALIDATE_ENCODING_ZERO_TERMINATED 1u
/** Flag for RTStrValidateUtf8: the length (plus one with the flag above)
 *  must equal the limit exactly. */
#define RTSTR_VALIDATE_ENCODING_EXACT_LENGTH 2u

/**
 * Validates @a psz up to its terminator or @a cchMax bytes.
 * @returns 0, or the status of the validation rules; then, by flags:
 *          ZERO_TERMINATED alone: ERR_BUFFER_OVERFLOW if no terminator lies
 *          within the limit; EXACT_LENGTH: ERR_STR_SHORTER_THAN_SIZE if the
 *          length (+1 with ZERO_TERMINATED) is below the limit,
 *          ERR_BUFFER_OVERFLOW if above; ERR_INVALID_PARAMETER for flags
 *          above 3.
 */
RTDECL(int) RTStrValidateUtf8(const char *psz, size_t cchMax, uint32_t fFlags);

/** @returns the number of code points under the validation rules, or 0 if
 *  the string is malformed. */
RTDECL(size_t) RTStrCountCodePoints(const char *psz);

/**
 * Counts the UTF-16 units (a surrogate pair counts 2) that @a psz, up to its
 * terminator or @a cchMax bytes, recodes to.
 * @returns 0 or the status of the recoding rules. *pcwc (optional) gets the
 *          count, or RTSTR_MAX (that is, -1) on failure.
 */
RTDECL(int) RTStrCountUtf16Units(const char *psz, size_t cchMax, size_t *pcwc);

/**
 * Decodes the code point at *ppsz under the validation rules. The
 * terminator reads as code point 0 (one byte), so stop on 0.
 * @returns 0 with *pCp set and *ppsz moved past the sequence; on failure the
 *          status, *pCp = RTUNICP_INVALID and *ppsz moved forward by exactly
 *          one byte, so callers can resynchronise byte by byte. Example: on
 *          80 41 it returns ERR_INVALID_UTF8_ENCODING and leaves *ppsz on
 *          the 41.
 */
RTDECL(int) RTStrReadCp(const char **ppsz, RTUNICP *pCp);

/**
 * As RTStrReadCp, but never reads beyond *pcch bytes, which it decreases by
 * the bytes consumed (one on failure). A count of RTSTR_MAX means "up to the
 * terminator" and stays RTSTR_MAX.
 * @returns as RTStrReadCp (a sequence cut by the count is
 *          ERR_INVALID_UTF8_ENCODING); ERR_END_OF_STRING with the marker
 *          when *pcch is 0, cursor and count untouched.
 */
RTDECL(int) RTStrReadCpN(const char **ppsz, size_t *pcch, RTUNICP *pCp);

/** @returns the first code point of @a psz, or RTUNICP_INVALID if it is
 *  malformed. */
RTDECL(RTUNICP) RTStrFirstCp(const char *psz);

/**
 * Steps back over the code point that ends just before @a psz, reading
 * nothing before @a pszStart.
 * @returns its first byte: an ASCII byte, or a lead byte that announces
 *          exactly the bytes up to @a psz (110xxxxx two, 1110xxxx three, up
 *          to 0xFE for seven); @a pszStart when @a psz is at or before it,
 *          when a lead byte stands right before @a psz, when the lead byte
 *          found announces another length, or when the start or a seventh
 *          continuation byte is reached first.
 */
RTDECL(const char *) RTStrStepBackCp(const char *pszStart, const char *psz);

/**
 * Writes @a uCp in UTF-8 (one to six bytes; a value with the top bit set is
 * written as the single byte 0x7F). Nothing is refused: surrogates and
 * U+FFFE/U+FFFF are written as they are.
 * @returns the position after the written bytes.
 */
RTDECL(char *) RTStrWriteCp(char *psz, RTUNICP uCp);

/*
 * Conversions. The caller-buffer protocol of RTStrToUtf16Ex,
 * RTUtf16ToUtf8Ex (<zolt/utf16.h>) and RTStrToCodePoints:
 *  1. The source is validated and measured first; on failure that status is
 *     returned and nothing is allocated or written.
 *  2. The optional out length gets the measured length (no terminator).
 *  3. If the capacity is non-zero and *ppOut holds a buffer, that buffer is
 *     used: the length must be below the capacity, else ERR_BUFFER_OVERFLOW
 *     and nothing is written.
 *  4. Otherwise *ppOut is set to null and a buffer of max(capacity,
 *     length + 1) elements is allocated (failure: ERR_NO_STR_MEMORY,
 *     ERR_NO_UTF16_MEMORY or ERR_NO_CODE_POINT_MEMORY by target).
 *  5. The output is converted and terminated; on success *ppOut holds it.
 * The in/out pointer itself must be valid. A caller's buffer is never
 * written beyond the result and its terminator.
 */

/**
 * Converts @a pszString to a new UTF-16 string (release with RTMemFree).
 * @returns 0 with the string in *ppwszString (set to null first, so it is
 *          null on failure); the status of the recoding rules;
 *          ERR_NO_UTF16_MEMORY.
 */
RT_NODISCARD RTDECL(int) RTStrToUtf16(const char *pszString, RTUTF16 **ppwszString, const char *pszTag = RT_SRC_TAG);

/**
 * Converts at most @a cchString bytes of @a pszString (RTSTR_MAX: up to the
 * terminator) to UTF-16 under the caller-buffer protocol; @a cwc is the
 * capacity in units, *pcwc (optional) gets the length in units.
 * A surrogate pair is never split: it needs two free units.
 * Example: F0 9F 98 80 into a caller buffer of 2 units is
 * ERR_BUFFER_OVERFLOW (buffer untouched); of 3 units succeeds.
 * @returns 0; the status of the recoding rules (nothing written, *pcwc
 *          untouched); ERR_BUFFER_OVERFLOW; ERR_NO_UTF16_MEMORY.
 */
RT_NODISCARD RTDECL(int) RTStrToUtf16Ex(const char *pszString, size_t cchString, RTUTF16 **ppwsz, size_t cwc,
                                        size_t *pcwc, const char *pszTag = RT_SRC_TAG);

/**
 * Decodes at most @a cchString bytes of @a pszString under the validation
 * rules into an array of code points ended by 0, under the caller-buffer
 * protocol (@a cCps is the capacity in code points). Release an allocated
 * array with RTMemFree.
 * @returns 0; the status of the validation rules (nothing written, *pcCps
 *          untouched); ERR_BUFFER_OVERFLOW; ERR_NO_CODE_POINT_MEMORY.
 */
RT_NODISCARD RTDECL(int) RTStrToCodePoints(const char *pszString, size_t cchString, RTUNICP **ppaCps, size_t cCps,
                                           size_t *pcCps, const char *pszTag = RT_SRC_TAG);

/**
 * Converts @a pszSource to a new string in the process's current ANSI code
 * page, for byte-oriented console output; release it with RTStrFree.
 * Where that code page is UTF-8 (always on a POSIX host, whose locale is
 * not consulted) the source is checked under the validation rules and
 * duplicated. Otherwise it is recoded through UTF-16 (recoding rules), and
 * characters the code page lacks become its default character ('?').
 * @returns 0 with the string in *ppszString (null first, null on failure);
 *          a UTF-8 status; ERR_NO_STR_MEMORY (copy) or ERR_NO_UTF16_MEMORY
 *          and ERR_NO_TMP_MEMORY (recoding); the converted platform error
 *          if the code page conversion itself fails.
 */
RT_NODISCARD RTDECL(int) RTStrToAnsiCodePage(char **ppszString, const char *pszSource, const char *pszTag = RT_SRC_TAG);

RT_C_DECLS_END

#endif /* ZOLT_STRING_H */
