/* Number and path text: RTStrParseU64 against strtoull, and RTPathAbsEx
   against std::filesystem's lexical normalisation (the pure-text peer; both
   fold "." and ".." without touching the file system). */
#include <zolt/path.h>
#include <zolt/strtonum.h>

#include <benchmark/benchmark.h>
#include <filesystem>
#include <stdlib.h>

namespace
{

const char *const g_apszNumbers[] = {"0", "42", "18446744073709551615", "0x7fffffffffffffff", "1234567890"};

void BM_RTStrParseU64(benchmark::State &State)
{
    for (auto _ : State)
        for (const char *psz : g_apszNumbers)
        {
            uint64_t u = 0;
            benchmark::DoNotOptimize(RTStrParseU64(psz, nullptr, 0, &u));
            benchmark::DoNotOptimize(u);
        }
    State.SetItemsProcessed(State.iterations() * RT_ELEMENTS(g_apszNumbers));
}
BENCHMARK(BM_RTStrParseU64);

void BM_strtoull(benchmark::State &State)
{
    for (auto _ : State)
        for (const char *psz : g_apszNumbers)
            benchmark::DoNotOptimize(strtoull(psz, nullptr, 0));
    State.SetItemsProcessed(State.iterations() * RT_ELEMENTS(g_apszNumbers));
}
BENCHMARK(BM_strtoull);

const char g_szRelPath[] = "sub/./dir/../pkg/file.msi";

void BM_RTPathAbsEx(benchmark::State &State)
{
    char szAbs[RTPATH_MAX];
    for (auto _ : State)
    {
        size_t cb = sizeof(szAbs);
        benchmark::DoNotOptimize(RTPathAbsEx("/base/extract", g_szRelPath, RTPATH_STYLE_UNIX, szAbs, &cb));
    }
}
BENCHMARK(BM_RTPathAbsEx);

void BM_FilesystemLexicallyNormal(benchmark::State &State)
{
    std::filesystem::path const Base("/base/extract");
    for (auto _ : State)
        benchmark::DoNotOptimize((Base / g_szRelPath).lexically_normal());
}
BENCHMARK(BM_FilesystemLexicallyNormal);

} // namespace

BENCHMARK_MAIN();
