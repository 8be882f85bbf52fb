/** @file
 * Network address records.
 */
#ifndef ZOLT_NET_H
#define ZOLT_NET_H

#include <zolt/cdefs.h>

/** An IPv4 address, bytes in network order. */
typedef union RTNETADDRIPV4 {
    uint8_t au8[4];
    uint16_t au16[2];
    uint32_t u;
} RTNETADDRIPV4;

/** An IPv6 address, bytes in network order. */
typedef union RTNETADDRIPV6 {
    uint8_t au8[16];
    uint16_t au16[8];
    uint32_t au32[4];
    uint64_t au64[2];
} RTNETADDRIPV6;

/** An Ethernet MAC address. */
typedef union RTMAC {
    uint8_t au8[6];
    uint16_t au16[3];
} RTMAC;

/** @name Address types of RTNetAddrRec.
 * @{ */
#define RTNETADDRTYPE_IPV4 1
#define RTNETADDRTYPE_IPV6 2
#define RTNETADDRTYPE_MAC 4
/** @} */

/** The port value meaning "no port". */
#define RTNETADDR_PORT_NA UINT32_MAX

/** A network address of one of the types above, with an optional port. */
typedef struct RTNetAddrRec
{
    /** IPv4 in the first 4 bytes, IPv6 in all 16, MAC in the first 6. */
    union {
        uint8_t au8[16];
        RTNETADDRIPV4 IPv4;
        RTNETADDRIPV6 IPv6;
        RTMAC Mac;
    } uAddr;
    int32_t enmType; /**< RTNETADDRTYPE_* */
    uint32_t uPort;  /**< the port, or RTNETADDR_PORT_NA */
} RTNetAddrRec;

RT_C_DECLS_BEGIN

/**
 * Parses a dotted IPv4 address "a.b.c.d" (leading white space skipped, each
 * part a decimal number 0 to 255, only blanks after the last) into its four
 * bytes in text order.
 * @returns 0; ERR_INVALID_PARAMETER for a text of any other form (an octet
 *          above 255 or without digits included) and for a null argument.
 *          The bytes before the failing part may have been written.
 */
RTDECL(int) RTNetParseIPv4(const char *pszAddr, RTNETADDRIPV4 *pAddr);

/**
 * Parses an IPv4 network "a[.b[.c[.d]]][/len]" into the address (first octet
 * most significant) and the mask of len leading bits (32 without "/").
 * @returns 0; ERR_INVALID_PARAMETER for a malformed text, a prefix length
 *          above 32, host bits set outside the mask, 0.0.0.0 with a full
 *          mask, and for a null argument.
 */
RTDECL(int) RTNetParseIPv4Cidr(const char *pszAddr, uint32_t *pu32Addr, uint32_t *pu32Mask);

/**
 * Parses a MAC address: twelve hexadecimal digits, or six ":"-separated
 * hexadecimal groups (the second to fifth may be empty, meaning 0), with
 * only white space after it.
 * @returns 0; ERR_INVALID_PARAMETER for a text of any other form and for a
 *          null argument. The bytes before the failing group may have been
 *          written.
 */
RTDECL(int) RTNetParseMac(const char *pszAddr, RTMAC *pMac);

RT_C_DECLS_END

#endif /* ZOLT_NET_H */
