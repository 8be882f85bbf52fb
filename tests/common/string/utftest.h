/* Test helpers shared by the UTF-8 and UTF-16 tests: sources placed at the
   very end of a heap block, reference encoders for valid code points, a
   heap hook that records allocation sizes, and the caller-buffer protocol
   check that every conversion must pass. */
#ifndef ZOLT_TESTS_UTFTEST_H
#define ZOLT_TESTS_UTFTEST_H

#include <zolt/err.h>
#include <zolt/mem.h>

#include <gtest/gtest.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

#include "heapfault.h"
#include "internal/mem.h"

/* Elements at the very end of a heap block of exactly their size, nothing
   after them: ASan reports any read past the last one. Give the terminator
   as an element where the call under test is to find one. */
template <typename T> class TailBuf
{
  public:
    explicit TailBuf(const std::basic_string<T> &str)
        : m_c(str.size() <= PTRDIFF_MAX / sizeof(T) ? str.size() : 0),
          m_p(static_cast<T *>(malloc(m_c ? m_c * sizeof(T) : 1)))
    {
        if (m_c)
            memcpy(m_p, str.data(), m_c * sizeof(T));
    }
    ~TailBuf()
    {
        free(m_p);
    }
    TailBuf(const TailBuf &) = delete;
    TailBuf &operator=(const TailBuf &) = delete;
    const T *get() const
    {
        return m_p;
    }
    size_t size() const
    {
        return m_c;
    }

  private:
    size_t m_c;
    T *m_p;
};

/* Reference encoders for valid Unicode code points, kept deliberately
   naive: they are the oracle, not the code under test. */
inline std::string RefUtf8(const std::vector<uint32_t> &aCps)
{
    std::string str;
    for (uint32_t uCp : aCps)
    {
        if (uCp < 0x80)
            str += (char)uCp;
        else if (uCp < 0x800)
            str += {(char)(0xC0 | uCp >> 6), (char)(0x80 | (uCp & 0x3F))};
        else if (uCp < 0x10000)
            str += {(char)(0xE0 | uCp >> 12), (char)(0x80 | (uCp >> 6 & 0x3F)), (char)(0x80 | (uCp & 0x3F))};
        else
            str += {(char)(0xF0 | uCp >> 18), (char)(0x80 | (uCp >> 12 & 0x3F)), (char)(0x80 | (uCp >> 6 & 0x3F)),
                    (char)(0x80 | (uCp & 0x3F))};
    }
    return str;
}

inline std::u16string RefUtf16(const std::vector<uint32_t> &aCps)
{
    std::u16string str;
    for (uint32_t uCp : aCps)
    {
        if (uCp < 0x10000)
            str += (char16_t)uCp;
        else
            str += {(char16_t)(0xD800 + ((uCp - 0x10000) >> 10)), (char16_t)(0xDC00 + (uCp & 0x3FF))};
    }
    return str;
}

/* Records the size of every allocation on top of whatever heap table is
   installed (compose it with HeapFaultScope). */
class HeapSizeRecorder
{
  public:
    HeapSizeRecorder()
    {
        s_pNext = rtMemSetHeapOps(&s_Ops);
        s_cbLast = 0;
    }
    ~HeapSizeRecorder()
    {
        rtMemSetHeapOps(s_pNext);
    }
    HeapSizeRecorder(const HeapSizeRecorder &) = delete;
    HeapSizeRecorder &operator=(const HeapSizeRecorder &) = delete;
    /** Size asked for by the last allocation or reallocation. */
    static size_t cbLast()
    {
        return s_cbLast;
    }

  private:
    static void *alloc(size_t cb)
    {
        s_cbLast = cb;
        return s_pNext->pfnAlloc(cb);
    }
    static void *allocZero(size_t cb)
    {
        s_cbLast = cb;
        return s_pNext->pfnAllocZero(cb);
    }
    static void *realloc(void *pv, size_t cb)
    {
        s_cbLast = cb;
        return s_pNext->pfnRealloc(pv, cb);
    }
    static void free(void *pv)
    {
        s_pNext->pfnFree(pv);
    }
    static inline const RTMEMHEAPOPS *s_pNext;
    static inline size_t s_cbLast;
    static inline const RTMEMHEAPOPS s_Ops = {alloc, allocZero, realloc, free};
};

/* The caller-buffer protocol shared by the conversions. pfnConvert(ppOut,
   cCapacity, pcOut) converts one fixed, valid source whose result is
   aExpected (no terminator); rcNoMemory is its allocation status. */
template <typename T, typename Convert>
void CheckCallerBufferProtocol(Convert pfnConvert, const std::vector<T> &aExpected, int rcNoMemory)
{
    size_t const c = aExpected.size();
    T const Sentinel = (T)0x5A5A5A5A;
    std::vector<T> const aUntouched(c + 4, Sentinel);

    /* Too small, by one or by a lot: overflow, nothing written, the length
       reported so the caller can retry. */
    for (size_t cCapacity : {size_t(1), c})
    {
        std::vector<T> aBuf(aUntouched);
        T *pBuf = aBuf.data();
        size_t cOut = 0;
        EXPECT_EQ(pfnConvert(&pBuf, cCapacity, &cOut), ERR_BUFFER_OVERFLOW) << "capacity " << cCapacity;
        EXPECT_EQ(pBuf, aBuf.data());
        EXPECT_EQ(cOut, c);
        EXPECT_EQ(aBuf, aUntouched) << "capacity " << cCapacity;
    }

    /* Room for the result and its terminator: nothing written past them. */
    for (size_t cCapacity : {c + 1, c + 4})
    {
        std::vector<T> aBuf(aUntouched);
        T *pBuf = aBuf.data();
        HeapFaultScope Heap;
        EXPECT_EQ(pfnConvert(&pBuf, cCapacity, nullptr), SUCCESS) << "capacity " << cCapacity;
        EXPECT_EQ(pBuf, aBuf.data());
        EXPECT_EQ(std::vector<T>(aBuf.begin(), aBuf.begin() + c), aExpected);
        EXPECT_EQ(aBuf[c], T(0));
        EXPECT_EQ(aBuf[c + 1], Sentinel) << "capacity " << cCapacity;
        EXPECT_EQ(Heap.allocs(), 0);
    }

    /* Capacity 0 ignores the pointer and allocates length + 1 elements; a
       null pointer with a capacity allocates the larger of the two. */
    for (size_t cCapacity : {size_t(0), c + 1, c + 10})
    {
        std::vector<T> aBuf(aUntouched);
        T *pOut = cCapacity ? nullptr : aBuf.data();
        HeapSizeRecorder Sizes;
        size_t cOut = 0;
        ASSERT_EQ(pfnConvert(&pOut, cCapacity, &cOut), SUCCESS) << "capacity " << cCapacity;
        EXPECT_EQ(Sizes.cbLast(), (cCapacity > c ? cCapacity : c + 1) * sizeof(T)) << "capacity " << cCapacity;
        EXPECT_NE(pOut, aBuf.data());
        EXPECT_EQ(cOut, c);
        EXPECT_EQ(std::vector<T>(pOut, pOut + c), aExpected);
        EXPECT_EQ(pOut[c], T(0));
        EXPECT_EQ(aBuf, aUntouched);
        RTMemFree(pOut);
    }

    /* An allocation that fails: its status, a null pointer. */
    {
        T Dummy[1];
        T *pOut = Dummy;
        HeapFaultScope Heap(0);
        EXPECT_EQ(pfnConvert(&pOut, 0, nullptr), rcNoMemory);
        EXPECT_EQ(pOut, nullptr);
    }
}

#endif /* ZOLT_TESTS_UTFTEST_H */
