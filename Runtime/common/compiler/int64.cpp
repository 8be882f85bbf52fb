/** @file
 * 64-bit division and remainder for 32-bit x86, where the compiler calls
 * these helpers for every 64-bit '/' and '%'. They must not use 64-bit
 * division themselves: quotients come from a shift-and-subtract loop over
 * the dividend's significant bits, or from the 32-bit division instruction
 * when both operands fit 32 bits (the common case: sizes, offsets and
 * digits of small numbers).
 */
#include "internal/compiler.h"

namespace
{

/** Raises the divide-by-zero exception as the division instruction does
 *  (the volatile divisor keeps the compiler from seeing the fault). */
[[noreturn]] void rtCsDivideByZero(void)
{
    volatile uint32_t uZero = 0;
    volatile uint32_t uQuotient = 1u / uZero;
    (void)uQuotient;
    __builtin_trap();
}

uint64_t rtCsUDivMod(uint64_t uNum, uint64_t uDen, uint64_t *puRem)
{
    if (uDen == 0)
        rtCsDivideByZero();
    if ((uNum >> 32) == 0 && (uDen >> 32) == 0)
    {
        *puRem = (uint32_t)uNum % (uint32_t)uDen;
        return (uint32_t)uNum / (uint32_t)uDen;
    }
    uint64_t uQuot = 0;
    uint64_t uRem = 0;
    int iBit = 63;
    while (iBit >= 0 && !((uNum >> iBit) & 1))
        iBit--;
    for (; iBit >= 0; iBit--)
    {
        /* The remainder so far is that of uNum >> (iBit + 1), so it is at
           most that value, below 2^(63 - iBit): the shift never loses a
           bit. */
        uRem = (uRem << 1) | ((uNum >> iBit) & 1);
        if (uRem >= uDen)
        {
            uRem -= uDen;
            uQuot |= (uint64_t)1 << iBit;
        }
    }
    *puRem = uRem;
    return uQuot;
}

uint64_t rtCsMagnitude(int64_t i)
{
    return i < 0 ? 0 - (uint64_t)i : (uint64_t)i;
}

/* Signed division from the magnitudes: the quotient is negative when the
   signs differ, the remainder takes the dividend's sign. Two's complement
   by hand, so INT64_MIN / -1 wraps as the hardware's would, without
   undefined behaviour here. */
int64_t rtCsDivMod(int64_t iNum, int64_t iDen, int64_t *piRem)
{
    uint64_t uRem;
    uint64_t const uQuot = rtCsUDivMod(rtCsMagnitude(iNum), rtCsMagnitude(iDen), &uRem);
    *piRem = (int64_t)(iNum < 0 ? 0 - uRem : uRem);
    return (int64_t)((iNum < 0) != (iDen < 0) ? 0 - uQuot : uQuot);
}

} // namespace

extern "C" uint64_t RT_CS_NAME(__udivdi3)(uint64_t uNum, uint64_t uDen)
{
    uint64_t uRem;
    return rtCsUDivMod(uNum, uDen, &uRem);
}

extern "C" uint64_t RT_CS_NAME(__umoddi3)(uint64_t uNum, uint64_t uDen)
{
    uint64_t uRem;
    (void)rtCsUDivMod(uNum, uDen, &uRem);
    return uRem;
}

extern "C" uint64_t RT_CS_NAME(__udivmoddi4)(uint64_t uNum, uint64_t uDen, uint64_t *puRem)
{
    uint64_t uRem;
    uint64_t const uQuot = rtCsUDivMod(uNum, uDen, &uRem);
    if (puRem)
        *puRem = uRem;
    return uQuot;
}

extern "C" int64_t RT_CS_NAME(__divdi3)(int64_t iNum, int64_t iDen)
{
    int64_t iRem;
    return rtCsDivMod(iNum, iDen, &iRem);
}

extern "C" int64_t RT_CS_NAME(__moddi3)(int64_t iNum, int64_t iDen)
{
    int64_t iRem;
    (void)rtCsDivMod(iNum, iDen, &iRem);
    return iRem;
}

extern "C" int64_t RT_CS_NAME(__divmoddi4)(int64_t iNum, int64_t iDen, int64_t *piRem)
{
    int64_t iRem;
    int64_t const iQuot = rtCsDivMod(iNum, iDen, &iRem);
    if (piRem)
        *piRem = iRem;
    return iQuot;
}
