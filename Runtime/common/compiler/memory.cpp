/** @file
 * Memory primitives of the compiler-support layer: memcpy, memmove,
 * memset, memcmp, memchr.
 *
 * Whole machine words move where the bulk of a block is; the ends go byte
 * by byte. Word accesses go through a type that may alias anything and has
 * no alignment, so unaligned sources are fine (x86 reads them at full
 * speed) and the compiler makes no assumptions about the bytes' types. The
 * file is built with -fno-builtin and -fno-tree-loop-distribute-patterns:
 * otherwise the compiler would recognise these loops and call the very
 * functions they implement.
 */
#include "internal/compiler.h"

namespace
{

typedef size_t __attribute__((may_alias, aligned(1))) RTCSWORD;
constexpr size_t RTCS_WORD = sizeof(size_t);
/* Sixteen bytes as two 64-bit lanes: one SSE2 register on x86-64 (its
   baseline), pairs of words elsewhere. */
typedef uint64_t __attribute__((vector_size(16))) RTCSVEC;
constexpr size_t RTCS_VEC = sizeof(RTCSVEC);

inline size_t rtCsLoad(const unsigned char *pb)
{
    return *reinterpret_cast<const RTCSWORD *>(pb);
}

/** Whether the 64 bytes at @a pb1 and @a pb2 differ, by four unaligned
 *  vector loads from each. A vector type ignores a lowered alignment, so
 *  the bytes go through the compiler's own fixed-size copies (unaligned
 *  load instructions, never calls); no vector crosses a call boundary,
 *  whose convention would differ on x86 without SSE. */
inline bool rtCsDiffer64(const unsigned char *pb1, const unsigned char *pb2)
{
    RTCSVEC vDiff = {0, 0};
    for (size_t off = 0; off < 4 * RTCS_VEC; off += RTCS_VEC)
    {
        RTCSVEC v1, v2;
        __builtin_memcpy(&v1, pb1 + off, sizeof(v1));
        __builtin_memcpy(&v2, pb2 + off, sizeof(v2));
        vDiff |= v1 ^ v2;
    }
    return (vDiff[0] | vDiff[1]) != 0;
}

inline void rtCsStore(unsigned char *pb, size_t uWord)
{
    *reinterpret_cast<RTCSWORD *>(pb) = uWord;
}

/** Copies forward: correct for non-overlapping areas and for a destination
 *  below its source. */
void rtCsCopyForward(unsigned char *pbDst, const unsigned char *pbSrc, size_t cb)
{
    for (; cb >= RTCS_WORD; cb -= RTCS_WORD, pbDst += RTCS_WORD, pbSrc += RTCS_WORD)
        rtCsStore(pbDst, rtCsLoad(pbSrc));
    while (cb-- > 0)
        *pbDst++ = *pbSrc++;
}

/** Copies backward, from the end: correct for a destination above its
 *  source. Each word is read whole before it is written, so an overlap
 *  within a word is fine too. */
void rtCsCopyBackward(unsigned char *pbDst, const unsigned char *pbSrc, size_t cb)
{
    pbDst += cb;
    pbSrc += cb;
    for (; cb >= RTCS_WORD; cb -= RTCS_WORD)
    {
        pbDst -= RTCS_WORD;
        pbSrc -= RTCS_WORD;
        rtCsStore(pbDst, rtCsLoad(pbSrc));
    }
    while (cb-- > 0)
        *--pbDst = *--pbSrc;
}

} // namespace

extern "C" void *RT_CS_NAME(memcpy)(void *pvDst, const void *pvSrc, size_t cb)
{
    rtCsCopyForward(static_cast<unsigned char *>(pvDst), static_cast<const unsigned char *>(pvSrc), cb);
    return pvDst;
}

extern "C" void *RT_CS_NAME(memmove)(void *pvDst, const void *pvSrc, size_t cb)
{
    auto *pbDst = static_cast<unsigned char *>(pvDst);
    auto *pbSrc = static_cast<const unsigned char *>(pvSrc);
    /* Compared as numbers: the areas may belong to different objects. */
    if ((uintptr_t)pbDst - (uintptr_t)pbSrc >= cb)
        rtCsCopyForward(pbDst, pbSrc, cb);
    else
        rtCsCopyBackward(pbDst, pbSrc, cb);
    return pvDst;
}

extern "C" void *RT_CS_NAME(memset)(void *pvDst, int iByte, size_t cb)
{
    auto *pbDst = static_cast<unsigned char *>(pvDst);
    size_t const uWord = (size_t)(unsigned char)iByte * (~(size_t)0 / 0xff);
    for (; cb >= RTCS_WORD; cb -= RTCS_WORD, pbDst += RTCS_WORD)
        rtCsStore(pbDst, uWord);
    while (cb-- > 0)
        *pbDst++ = (unsigned char)iByte;
    return pvDst;
}

extern "C" int RT_CS_NAME(memcmp)(const void *pv1, const void *pv2, size_t cb)
{
    auto *pb1 = static_cast<const unsigned char *>(pv1);
    auto *pb2 = static_cast<const unsigned char *>(pv2);
    /* The launcher compares every package it writes with the bytes it
       carries, in 64 KiB blocks: equal runs of 64 bytes are skipped with
       four vector compares and one test. The block that differs, and the
       rest, go through the word and byte loops below. */
    for (; cb >= 4 * RTCS_VEC; cb -= 4 * RTCS_VEC, pb1 += 4 * RTCS_VEC, pb2 += 4 * RTCS_VEC)
    {
        if (rtCsDiffer64(pb1, pb2))
            break;
    }
    /* Equal words are skipped whole; the first unequal one is compared
       byte by byte below. */
    for (; cb >= RTCS_WORD && rtCsLoad(pb1) == rtCsLoad(pb2); cb -= RTCS_WORD)
    {
        pb1 += RTCS_WORD;
        pb2 += RTCS_WORD;
    }
    for (; cb > 0; cb--, pb1++, pb2++)
        if (*pb1 != *pb2)
            return (int)*pb1 - (int)*pb2;
    return 0;
}

extern "C" void *RT_CS_NAME(memchr)(const void *pv, int iByte, size_t cb)
{
    auto *pb = static_cast<const unsigned char *>(pv);
    for (; cb > 0; cb--, pb++)
        if (*pb == (unsigned char)iByte)
            return const_cast<unsigned char *>(pb);
    return nullptr;
}
