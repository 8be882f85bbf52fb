/** @file
 * The runtime's compiler-support layer: the memory and string primitives
 * the compiler's code calls by their C library names, and the 64-bit
 * division helpers a 32-bit x86 compiler calls. An executable linked
 * without any C runtime (the launcher) gets them from the library
 * zolt_compiler; everything else keeps its C library's.
 *
 * Every primitive has the C library's semantics, listed here because the
 * tests hold the implementations to exactly these words:
 *  - Sizes are in bytes (wcslen: in wide characters); nothing is read beyond
 *    the sizes given or, for strings, beyond the first terminator.
 *  - Comparisons take the bytes as unsigned char and return a negative
 *    number, 0 or a positive number (only the sign is defined).
 *  - memcpy's areas must not overlap; memmove's may, and it copies as if
 *    through a buffer of its own.
 *  - Division by zero raises the processor's divide-by-zero exception, as
 *    the division instruction would; the quotient rounds toward zero and
 *    the remainder takes the dividend's sign.
 *
 * The implementations are portable C++, so the native tests compile the
 * same sources under other names (RT_COMPILER_TEST_NAMES defined: rtCs_
 * memcpy and so on) and compare them with the host C library's functions.
 */
#ifndef ZOLT_INTERNAL_COMPILER_H
#define ZOLT_INTERNAL_COMPILER_H

#include <stddef.h>
#include <stdint.h>

#ifdef RT_COMPILER_TEST_NAMES
#define RT_CS_NAME(a_Name) rtCs_##a_Name
#else
#define RT_CS_NAME(a_Name) a_Name
#endif

extern "C"
{
    void *RT_CS_NAME(memcpy)(void *pvDst, const void *pvSrc, size_t cb);
    void *RT_CS_NAME(memmove)(void *pvDst, const void *pvSrc, size_t cb);
    void *RT_CS_NAME(memset)(void *pvDst, int iByte, size_t cb);
    int RT_CS_NAME(memcmp)(const void *pv1, const void *pv2, size_t cb);
    void *RT_CS_NAME(memchr)(const void *pv, int iByte, size_t cb);

    size_t RT_CS_NAME(strlen)(const char *psz);
    size_t RT_CS_NAME(strnlen)(const char *psz, size_t cbMax);
    char *RT_CS_NAME(strchr)(const char *psz, int iChar);
    int RT_CS_NAME(strcmp)(const char *psz1, const char *psz2);
    int RT_CS_NAME(strncmp)(const char *psz1, const char *psz2, size_t cbMax);
    size_t RT_CS_NAME(strcspn)(const char *psz, const char *pszReject);
    char *RT_CS_NAME(strpbrk)(const char *psz, const char *pszAccept);
    size_t RT_CS_NAME(wcslen)(const wchar_t *pwsz);

    /* 32-bit x86 only: 64-bit division and remainder (the compiler's
       names); the divmod forms return the quotient and store the
       remainder. */
    uint64_t RT_CS_NAME(__udivdi3)(uint64_t uNum, uint64_t uDen);
    uint64_t RT_CS_NAME(__umoddi3)(uint64_t uNum, uint64_t uDen);
    uint64_t RT_CS_NAME(__udivmoddi4)(uint64_t uNum, uint64_t uDen, uint64_t *puRem);
    int64_t RT_CS_NAME(__divdi3)(int64_t iNum, int64_t iDen);
    int64_t RT_CS_NAME(__moddi3)(int64_t iNum, int64_t iDen);
    int64_t RT_CS_NAME(__divmoddi4)(int64_t iNum, int64_t iDen, int64_t *piRem);
}

#endif
