/** @file
 * Universally unique identifiers.
 */
#ifndef ZOLT_UUID_H
#define ZOLT_UUID_H

#include <zolt/cdefs.h>

/**
 * A UUID: a 32-bit, a 16-bit and a 16-bit field as numbers in host byte
 * order, then eight bytes in text order. Its text form is
 * "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx".
 */
typedef union RTUUID {
    uint8_t au8[16];
    uint16_t au16[8];
    uint32_t au32[4];
    uint64_t au64[2];
    struct
    {
        uint32_t u32TimeLow;
        uint16_t u16TimeMid;
        uint16_t u16TimeHiAndVersion;
        uint8_t u8ClockSeqHiAndReserved;
        uint8_t u8ClockSeqLow;
        uint8_t au8Node[6];
    } Gen;
} RTUUID;

RT_C_DECLS_BEGIN

/**
 * Parses "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" (36 hexadecimal digits and
 * dashes), optionally enclosed in "{" and "}", with nothing after it. The
 * first three groups are stored as numbers, the last 16 digits as 8 bytes in
 * text order.
 * @returns 0; ERR_INVALID_UUID_FORMAT for any deviation (a trailing blank
 *          included); ERR_INVALID_PARAMETER for a null text or result.
 */
RTDECL(int) RTUuidParse(RTUUID *pUuid, const char *pszString);

RT_C_DECLS_END

#endif /* ZOLT_UUID_H */
