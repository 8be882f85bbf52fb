/* Fuzzes the option parser over random argument vectors against a fixed
   table that uses every value kind, the base flags and indexed options.
   Input: a flags byte, then arguments separated by NUL bytes; each argument
   gets a heap block of exactly its size and the vector has exactly argc
   entries, so ASan sees any read past an argument or past argc.
   Oracles: the parse ends; running it twice gives the same results; the
   vector stays a permutation of the arguments; text results point into the
   arguments; a failure that names an option names a table entry. */
#include <zolt/err.h>
#include <zolt/getopt.h>

#include <algorithm>
#include <stdlib.h>
#include <string.h>
#include <vector>

namespace
{

const RTGetOptDef g_aOptions[] = {
    {"--none", 'a', OPT_VALUE_NONE},
    {"--str", 'b', OPT_VALUE_STRING},
    {"--i8", 'c', OPT_VALUE_INT8},
    {"--u8", 'd', OPT_VALUE_UINT8 | OPT_FLAG_HEX},
    {"--i16", 'e', OPT_VALUE_INT16 | OPT_FLAG_OCT},
    {"--u16", 'f', OPT_VALUE_UINT16 | OPT_FLAG_DEC},
    {"--i32", 'g', OPT_VALUE_INT32},
    {"--u32", 'i', OPT_VALUE_UINT32},
    {"--i64", 'j', OPT_VALUE_INT64},
    {"--u64", 'k', OPT_VALUE_UINT64},
    {"--ip", 'l', OPT_VALUE_IPV4_ADDR},
    {"--cidr", 'm', OPT_VALUE_IPV4_CIDR},
    {"--mac", 'n', OPT_VALUE_MAC_ADDR},
    {"--uuid", 'o', OPT_VALUE_UUID},
    {"--onoff", 'p', OPT_VALUE_ON_OFF},
    {"--bool", 'q', OPT_VALUE_BOOL},
    {"--p32", 'r', OPT_VALUE_UINT32_PAIR},
    {"--p64", 's', OPT_VALUE_UINT64_PAIR | OPT_FLAG_HEX},
    {"--o32", 't', OPT_VALUE_UINT32_OPT_PAIR | OPT_FLAG_OCT},
    {"--o64", 'u', OPT_VALUE_UINT64_OPT_PAIR},
    {"--disk", 'v', OPT_VALUE_STRING | OPT_FLAG_INDEX},
    {"--nic", 'w', OPT_VALUE_UINT8 | OPT_FLAG_INDEX | OPT_FLAG_INDEX_DASH | (2u << OPT_FLAG_INDEX_DEF_SHIFT)},
    {"--port", 'x', OPT_VALUE_NONE | OPT_FLAG_INDEX | OPT_FLAG_INDEX_DASH},
    {"--Case", 'y', OPT_VALUE_STRING | OPT_FLAG_ICASE},
    {"/slash", 'z', OPT_VALUE_NONE},
    {"--bad", 1000, 13},
    {nullptr, '!', OPT_VALUE_STRING},
};

struct Result
{
    int rc;
    const char *psz;
    uint32_t uIndex;
    bool operator==(const Result &) const = default;
};

bool isArg(const char *psz, char *const *papszArgs, int cArgs)
{
    for (int i = 0; i < cArgs; i++)
    {
        size_t const cb = strlen(papszArgs[i]) + 1;
        if (psz >= papszArgs[i] && psz < papszArgs[i] + cb)
            return true;
    }
    return false;
}

bool isTableEntry(const RTGetOptDef *pDef)
{
    return pDef >= &g_aOptions[0] && pDef < &g_aOptions[RT_ELEMENTS(g_aOptions)];
}

std::vector<Result> run(char **papszOrig, int cArgs, uint32_t fInit, uint8_t bTake)
{
    char **papszArgs = static_cast<char **>(malloc(sizeof(char *) * (size_t)(cArgs ? cArgs : 1)));
    memcpy(papszArgs, papszOrig, sizeof(char *) * (size_t)cArgs);

    std::vector<Result> Results;
    RTGetOptState State;
    if (RTGetOptInit(&State, cArgs, papszArgs, g_aOptions, RT_ELEMENTS(g_aOptions), 0, fInit) != 0)
        abort();
    /* Every call consumes at least one argument, or a character of a cluster. */
    size_t cMaxSteps = 2;
    for (int i = 0; i < cArgs; i++)
        cMaxSteps += strlen(papszArgs[i]) + 1;
    for (size_t iStep = 0;; iStep++)
    {
        if (iStep > cMaxSteps)
            abort();
        RTGetOptValue Value;
        int rc = RTGetOpt(&State, &Value);
        Result R = {rc, nullptr, State.uIndex};
        if (rc == INF_NOT_AN_OPTION || rc == ERR_OPTION_UNKNOWN)
        {
            if (!isArg(Value.psz, papszOrig, cArgs))
                abort();
            R.psz = Value.psz;
        }
        else if (rc == ERR_OPTION_VALUE_MISSING || rc == ERR_OPTION_VALUE_FORMAT || rc == ERR_OPTION_INDEX_MISSING ||
                 rc == ERR_INTERNAL_ERROR)
        {
            if (!isTableEntry(Value.pDef))
                abort();
        }
        else if (rc > 0)
        {
            if (!State.pDef || State.pDef->iId != rc)
                abort();
            if ((State.pDef->fFlags & OPT_VALUE_MASK) == OPT_VALUE_STRING)
            {
                if (!isArg(Value.psz, papszOrig, cArgs))
                    abort();
                R.psz = Value.psz;
            }
            if ((bTake & 1) && rc == 'a')
            {
                /* Take one more argument as a text value now and then. */
                int rcTake = RTGetOptTakeValue(&State, &Value, OPT_VALUE_STRING);
                if (rcTake == 0 && !isArg(Value.psz, papszOrig, cArgs))
                    abort();
                Results.push_back({rcTake, rcTake == 0 ? Value.psz : nullptr, 0});
            }
        }
        Results.push_back(R);
        if (rc == 0)
            break;
        bTake = (uint8_t)((bTake >> 1) | (bTake << 7));
    }

    /* Rearranging moves pointers only: the vector is still a permutation. */
    std::vector<char *> Sorted1(papszArgs, papszArgs + cArgs), Sorted2(papszOrig, papszOrig + cArgs);
    std::sort(Sorted1.begin(), Sorted1.end());
    std::sort(Sorted2.begin(), Sorted2.end());
    if (Sorted1 != Sorted2)
        abort();
    free(papszArgs);
    return Results;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pbData, size_t cbData)
{
    if (cbData < 2 || cbData > 4096)
        return 0;
    uint32_t const fInit = pbData[0] & 3;
    uint8_t const bTake = pbData[1];
    pbData += 2;
    cbData -= 2;

    std::vector<char *> Args;
    size_t off = 0;
    while (off < cbData)
    {
        const uint8_t *pbEnd = static_cast<const uint8_t *>(memchr(pbData + off, 0, cbData - off));
        size_t const cb = pbEnd ? (size_t)(pbEnd - (pbData + off)) : cbData - off;
        char *psz = static_cast<char *>(malloc(cb + 1));
        memcpy(psz, pbData + off, cb);
        psz[cb] = '\0';
        Args.push_back(psz);
        off += cb + 1;
    }

    /* Exactly argc entries, no terminating null pointer. */
    int const cArgs = (int)Args.size();
    char **papszOrig = static_cast<char **>(malloc(sizeof(char *) * (Args.empty() ? 1 : Args.size())));
    if (cArgs)
        memcpy(papszOrig, Args.data(), sizeof(char *) * Args.size());

    if (run(papszOrig, cArgs, fInit, bTake) != run(papszOrig, cArgs, fInit, bTake))
        abort();

    for (char *psz : Args)
        free(psz);
    free(papszOrig);
    return 0;
}
