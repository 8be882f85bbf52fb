/* The formatter over arbitrary format strings. The input's directives keep
   their flags, widths, precisions and sizes as written, but each conversion
   is replaced by one from a list that reads only what the fuzzer passes:
   integers in integer mode, and in pointer mode also pointers, which are
   then all within 4096 of zero so that every pointer conversion must print
   its marker rather than read. 64 arguments are passed and a format has at
   most 12 directives, each of which takes at most 5 arguments.

   Oracles: the three buffer front-ends and the raw callback agree on the
   text and its length; nothing is written outside the buffers (ASan). */
#include <zolt/mem.h>
#include <zolt/strformat.h>
#include <zolt/string.h>

#include <algorithm>
#include <stdlib.h>
#include <string.h>
#include <string>

namespace
{

/** Conversions that take nothing or integers. Each is a whole directive
   (or an unknown one that consumes exactly its letters), so that the text
   after it cannot complete it into a pointer conversion. */
const char *const g_apszIntConvs[] = {
    "d",        "i",      "u",      "o",       "x",          "X",          "p",          "c",    "y",    "Rrc",
    "Rrs",      "Rra",    "Rrf",    "Rrz",     "Rwc",        "Rwa",        "Rwf",        "RU8",  "RU16", "RU32",
    "RU64",     "RI8",    "RI16",   "RI32",    "RI64",       "RX8",        "RX16",       "RX32", "RX64", "RTbool",
    "RTnaipv4", "RTfp16", "RTfp32", "RTfp64",  "RTthrd",     "RTptr",      "RKv",        "RGi",  "RHv",  "RTsel",
    "RTunicp",  "RTfoff", "RCx",    "Rhcb",    "RhcB",       "Rhci",       "Rhub",       "RhuB", "Rhui", "Rr",
    "Rw",       "RA",     "RAx86",  "R[name]", "RAx86[cr0]", "RAx86[cr4]", "RAx86[cr3]", "R[",   "Rz",   "RTnope",
    "RDfoo",    "RMpx",   "Rbq",    "Rhq"};

/** Conversions that take pointers (pointer mode only). */
const char *const g_apszPtrConvs[] = {"s",     "S",     "ls",         "Ls",   "RTuuid", "RTnaipv6", "RTmac", "RTnaddr",
                                      "RTeic", "RTeim", "RDtimespec", "RMas", "RMes",   "RMjs",     "RMpp",  "RMpa",
                                      "RMpq",  "RMpf",  "Rbn",        "Rbs",  "Rfn",    "Rhxd",     "RhxD",  "RhXd",
                                      "RhXD",  "Rhxs",  "RhXs",       "N",    "M",      "R[x]"};

constexpr unsigned kMaxDirectives = 12;
constexpr unsigned kArgs = 64;
constexpr size_t kMaxDigitRun = 5;

/** The handler for unknown letters: takes one integer. */
size_t fuzzHandler(void *, PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat, va_list *pArgs, int, int,
                   unsigned, char)
{
    (*ppszFormat)++;
    int iValue = va_arg(*pArgs, int);
    return pfnOutput(pvArgOutput, "<h>", (size_t)(iValue & 3));
}

/** Raw callback: counts and checks the end signal's shape. */
struct CountSink
{
    std::string str;
    static size_t output(void *pvArg, const char *pach, size_t cb)
    {
        if (!pach && cb)
            abort();
        if (pach)
            ((CountSink *)pvArg)->str.append(pach, cb);
        return cb;
    }
};

size_t rawFmt(CountSink *pSink, PFNFMTHANDLER pfnHandler, const char *pszFormat, ...)
{
    va_list Args;
    va_start(Args, pszFormat);
    size_t cch = RTStrFmtV(CountSink::output, pSink, pfnHandler, nullptr, pszFormat, Args);
    va_end(Args);
    return cch;
}

int aprintf(char **ppsz, const char *pszFormat, ...)
{
    va_list Args;
    va_start(Args, pszFormat);
    int cch = RTStrAPrintfV(ppsz, pszFormat, Args);
    va_end(Args);
    return cch;
}

} // namespace

#define FUZZ_ARGS8(i) a[i], a[i + 1], a[i + 2], a[i + 3], a[i + 4], a[i + 5], a[i + 6], a[i + 7]
#define FUZZ_ARGS                                                                                                      \
    FUZZ_ARGS8(0), FUZZ_ARGS8(8), FUZZ_ARGS8(16), FUZZ_ARGS8(24), FUZZ_ARGS8(32), FUZZ_ARGS8(40), FUZZ_ARGS8(48),      \
        FUZZ_ARGS8(56)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pbData, size_t cbData)
{
    if (cbData < 2)
        return 0;
    bool fPointers = pbData[0] & 1;
    bool fHandler = pbData[0] & 2;
    size_t cbBuf = pbData[1];
    pbData += 2;
    cbData -= 2;

    /* Arguments from the tail of the input, or counting up when it runs out. */
    uint64_t a[kArgs];
    for (unsigned i = 0; i < kArgs; i++)
    {
        uint64_t u = 0x9e3779b97f4a7c15ull * (i + 1);
        if (cbData >= 8 * (kArgs - i))
            memcpy(&u, &pbData[cbData - 8 * (kArgs - i)], sizeof(u));
        /* Pointer mode: every value is a bad pointer, -4095..4095. */
        a[i] = fPointers ? (uint64_t)(int64_t)((int16_t)u % 4096) : u;
    }

    /* The format: the input up to its first NUL, each conversion replaced. */
    std::string strFormat;
    unsigned cDirectives = 0;
    size_t i = 0;
    while (i < cbData && pbData[i])
    {
        char ch = (char)pbData[i++];
        strFormat += ch;
        if (ch != '%')
            continue;
        if (++cDirectives > kMaxDirectives)
            return 0;
        size_t cDigits = 0;
        while (i < cbData && pbData[i] && strchr(" #'+-0123456789*.hlLqjztI", pbData[i]))
        {
            bool fDigit = pbData[i] >= '0' && pbData[i] <= '9';
            cDigits = fDigit ? cDigits + 1 : 0;
            if (cDigits <= kMaxDigitRun)
                strFormat += (char)pbData[i];
            i++;
        }
        if (i >= cbData || !pbData[i])
            break;
        unsigned uPick = pbData[i++];
        size_t cInt = sizeof(g_apszIntConvs) / sizeof(g_apszIntConvs[0]);
        size_t cPtr = sizeof(g_apszPtrConvs) / sizeof(g_apszPtrConvs[0]);
        if (fPointers)
            strFormat += uPick % (cInt + cPtr) < cInt ? g_apszIntConvs[uPick % (cInt + cPtr)]
                                                      : g_apszPtrConvs[uPick % (cInt + cPtr) - cInt];
        else
            strFormat += g_apszIntConvs[uPick % cInt];
    }
    /* Text after a directive may hold '%' signs of its own. */
    if ((size_t)std::count(strFormat.begin(), strFormat.end(), '%') > kMaxDirectives)
        return 0;
    /* A "*" takes its width or precision from an argument: keep the low 32
       bits of every argument small then, or a single "%*c" would ask for
       gigabytes of blanks. */
    if (strFormat.find('*') != std::string::npos)
        for (uint64_t &u : a)
            u = (u & ~(uint64_t)UINT32_MAX) | (uint32_t)((int32_t)u % 100000);
    const char *pszFormat = strFormat.c_str();
    PFNFMTHANDLER pfnHandler = fHandler ? fuzzHandler : nullptr;

    CountSink Raw;
    size_t cchRaw = rawFmt(&Raw, pfnHandler, pszFormat, FUZZ_ARGS);
    if (cchRaw != Raw.str.size())
        abort();
    if (pfnHandler)
        return 0; /* the buffer front-ends take no handler */

    char *pszBuf = (char *)malloc(cbBuf ? cbBuf : 1);
    size_t cch = RTStrPrintf(pszBuf, cbBuf, pszFormat, FUZZ_ARGS);
    if (cbBuf && (cch != (cchRaw < cbBuf ? cchRaw : cbBuf - 1) || memcmp(pszBuf, Raw.str.data(), cch) != 0 ||
                  pszBuf[cch] != '\0'))
        abort();
    ptrdiff_t cchChecked = RTStrPrintfChecked(pszBuf, cbBuf, pszFormat, FUZZ_ARGS);
    if (cchRaw < cbBuf ? cchChecked != (ptrdiff_t)cchRaw : cchChecked != ~(ptrdiff_t)cchRaw)
        abort();
    free(pszBuf);

    char *psz = nullptr;
    int cchA = aprintf(&psz, pszFormat, FUZZ_ARGS);
    if (cchA != (int)cchRaw || !psz || memcmp(psz, Raw.str.data(), cchRaw) != 0 || psz[cchA] != '\0')
        abort();
    RTStrFree(psz);
    return 0;
}
