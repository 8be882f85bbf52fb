/* Address and UUID parsers. Oracle: whatever is accepted prints back to a
   text that parses to the same value. */
#include <zolt/err.h>
#include <zolt/net.h>
#include <zolt/uuid.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pbData, size_t cbData)
{
    std::string const s((const char *)pbData, cbData);
    const char *psz = s.c_str();
    char szBuf[64];

    RTNETADDRIPV4 Addr, Addr2;
    if (RTNetParseIPv4(psz, &Addr) == SUCCESS)
    {
        snprintf(szBuf, sizeof(szBuf), "%u.%u.%u.%u", Addr.au8[0], Addr.au8[1], Addr.au8[2], Addr.au8[3]);
        if (RTNetParseIPv4(szBuf, &Addr2) != SUCCESS || Addr2.u != Addr.u)
            abort();
    }

    uint32_t uAddr = 0, uMask = 0, uAddr2 = 0, uMask2 = 0;
    if (RTNetParseIPv4Cidr(psz, &uAddr, &uMask) == SUCCESS)
    {
        if ((uAddr & ~uMask) != 0 || (uMask & (~uMask >> 1)) != 0)
            abort();
        snprintf(szBuf, sizeof(szBuf), "%u.%u.%u.%u/%d", uAddr >> 24, (uAddr >> 16) & 0xff, (uAddr >> 8) & 0xff,
                 uAddr & 0xff, __builtin_popcount(uMask));
        if (RTNetParseIPv4Cidr(szBuf, &uAddr2, &uMask2) != SUCCESS || uAddr2 != uAddr || uMask2 != uMask)
            abort();
    }

    RTMAC Mac, Mac2;
    if (RTNetParseMac(psz, &Mac) == SUCCESS)
    {
        snprintf(szBuf, sizeof(szBuf), "%x:%x:%x:%x:%x:%x", Mac.au8[0], Mac.au8[1], Mac.au8[2], Mac.au8[3], Mac.au8[4],
                 Mac.au8[5]);
        if (RTNetParseMac(szBuf, &Mac2) != SUCCESS || memcmp(&Mac, &Mac2, sizeof(Mac)) != 0)
            abort();
    }

    RTUUID Uuid, Uuid2;
    if (RTUuidParse(&Uuid, psz) == SUCCESS)
    {
        snprintf(szBuf, sizeof(szBuf), "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", Uuid.Gen.u32TimeLow,
                 Uuid.Gen.u16TimeMid, Uuid.Gen.u16TimeHiAndVersion, Uuid.au8[8], Uuid.au8[9], Uuid.au8[10],
                 Uuid.au8[11], Uuid.au8[12], Uuid.au8[13], Uuid.au8[14], Uuid.au8[15]);
        if (RTUuidParse(&Uuid2, szBuf) != SUCCESS || memcmp(&Uuid, &Uuid2, sizeof(Uuid)) != 0)
            abort();
    }
    return 0;
}
