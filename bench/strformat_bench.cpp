/* RTStrPrintf against snprintf, stb_sprintf and {fmt} on the launcher's own
   messages, in the same run. Each peer gets its nearest equivalent format:
   digit grouping is "'" for snprintf (no grouping in the C locale) and for
   stb_sprintf (set to group with a blank, like ours), none for {fmt}, whose
   "{:L}" would not group in the C locale either and only costs a locale
   lookup. For the status name the peers get the name itself as a string,
   while we look it up in the status table and expand it, so the comparison
   is strict. */
#include <zolt/err.h>
#include <zolt/strformat.h>

#include <benchmark/benchmark.h>
#include <stdio.h>

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wall"
#pragma GCC diagnostic ignored "-Wextra"
#pragma GCC diagnostic ignored "-Wconversion"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#endif
#define STB_SPRINTF_IMPLEMENTATION
#include <stb/stb_sprintf.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

#if __has_include(<fmt/compile.h>)
#include <fmt/compile.h>
#include <fmt/format.h>
#define BENCH_HAVE_FMT 1
#endif

namespace
{

char g_szBuf[256];

/* The arguments, kept opaque to the optimiser. */
unsigned g_uIndex = 3;
const char *g_pszFile = "Marrowdale-x64.msi";
uint64_t g_cbActual = UINT64_C(123456789012);
uint32_t g_cbExpected = 1234567890;
int g_rcStatus = ERR_FILE_NOT_FOUND;
const char *g_pszStatus = "ERR_FILE_NOT_FOUND";
unsigned g_uPlain = 12345678;
unsigned g_uHex = 0xbeef;

/* 1. "#%u: File size of '%s' changed: %'RU64, expected %'RU32" */

void BM_FileSize_RTStrPrintf(benchmark::State &State)
{
    for (auto _ : State)
    {
        benchmark::DoNotOptimize(RTStrPrintf(g_szBuf, sizeof(g_szBuf),
                                             "#%u: File size of '%s' changed: %'RU64, expected %'RU32", g_uIndex,
                                             g_pszFile, g_cbActual, g_cbExpected));
        benchmark::ClobberMemory();
    }
}

void BM_FileSize_snprintf(benchmark::State &State)
{
    for (auto _ : State)
    {
        benchmark::DoNotOptimize(snprintf(g_szBuf, sizeof(g_szBuf),
                                          "#%u: File size of '%s' changed: %'llu, expected %'u", g_uIndex, g_pszFile,
                                          (unsigned long long)g_cbActual, g_cbExpected));
        benchmark::ClobberMemory();
    }
}

void BM_FileSize_stbsp(benchmark::State &State)
{
    stbsp_set_separators(' ', '.');
    for (auto _ : State)
    {
        benchmark::DoNotOptimize(stbsp_snprintf(g_szBuf, sizeof(g_szBuf),
                                                "#%u: File size of '%s' changed: %'llu, expected %'u", g_uIndex,
                                                g_pszFile, (unsigned long long)g_cbActual, g_cbExpected));
        benchmark::ClobberMemory();
    }
}

/* 2. "Error extracting package #%u (%s): %Rrc" */

void BM_Extract_RTStrPrintf(benchmark::State &State)
{
    for (auto _ : State)
    {
        benchmark::DoNotOptimize(RTStrPrintf(g_szBuf, sizeof(g_szBuf), "Error extracting package #%u (%s): %Rrc",
                                             g_uIndex, g_pszFile, g_rcStatus));
        benchmark::ClobberMemory();
    }
}

void BM_Extract_snprintf(benchmark::State &State)
{
    for (auto _ : State)
    {
        benchmark::DoNotOptimize(snprintf(g_szBuf, sizeof(g_szBuf), "Error extracting package #%u (%s): %s", g_uIndex,
                                          g_pszFile, g_pszStatus));
        benchmark::ClobberMemory();
    }
}

void BM_Extract_stbsp(benchmark::State &State)
{
    for (auto _ : State)
    {
        benchmark::DoNotOptimize(stbsp_snprintf(g_szBuf, sizeof(g_szBuf), "Error extracting package #%u (%s): %s",
                                                g_uIndex, g_pszFile, g_pszStatus));
        benchmark::ClobberMemory();
    }
}

/* 3. "%u" */

void BM_Plain_RTStrPrintf(benchmark::State &State)
{
    for (auto _ : State)
    {
        benchmark::DoNotOptimize(RTStrPrintf(g_szBuf, sizeof(g_szBuf), "%u", g_uPlain));
        benchmark::ClobberMemory();
    }
}

void BM_Plain_snprintf(benchmark::State &State)
{
    for (auto _ : State)
    {
        benchmark::DoNotOptimize(snprintf(g_szBuf, sizeof(g_szBuf), "%u", g_uPlain));
        benchmark::ClobberMemory();
    }
}

void BM_Plain_stbsp(benchmark::State &State)
{
    for (auto _ : State)
    {
        benchmark::DoNotOptimize(stbsp_snprintf(g_szBuf, sizeof(g_szBuf), "%u", g_uPlain));
        benchmark::ClobberMemory();
    }
}

/* 4. "%#010x" */

void BM_Hex_RTStrPrintf(benchmark::State &State)
{
    for (auto _ : State)
    {
        benchmark::DoNotOptimize(RTStrPrintf(g_szBuf, sizeof(g_szBuf), "%#010x", g_uHex));
        benchmark::ClobberMemory();
    }
}

void BM_Hex_snprintf(benchmark::State &State)
{
    for (auto _ : State)
    {
        benchmark::DoNotOptimize(snprintf(g_szBuf, sizeof(g_szBuf), "%#010x", g_uHex));
        benchmark::ClobberMemory();
    }
}

void BM_Hex_stbsp(benchmark::State &State)
{
    for (auto _ : State)
    {
        benchmark::DoNotOptimize(stbsp_snprintf(g_szBuf, sizeof(g_szBuf), "%#010x", g_uHex));
        benchmark::ClobberMemory();
    }
}

#ifdef BENCH_HAVE_FMT
/* {fmt} format_to with the format parsed at run time, and (for reference)
   compiled; every text fits the buffer. */

template <typename... Args> void fmtRuntime(benchmark::State &State, const char *pszFormat, Args... args)
{
    for (auto _ : State)
    {
        char *pszEnd = fmt::format_to(g_szBuf, fmt::runtime(pszFormat), args...);
        *pszEnd = '\0';
        benchmark::DoNotOptimize(pszEnd);
        benchmark::ClobberMemory();
    }
}

void BM_FileSize_fmt_runtime(benchmark::State &State)
{
    fmtRuntime(State, "#{}: File size of '{}' changed: {}, expected {}", g_uIndex, g_pszFile, g_cbActual, g_cbExpected);
}

void BM_FileSize_fmt_compiled(benchmark::State &State)
{
    for (auto _ : State)
    {
        char *pszEnd = fmt::format_to(g_szBuf, FMT_COMPILE("#{}: File size of '{}' changed: {}, expected {}"), g_uIndex,
                                      g_pszFile, g_cbActual, g_cbExpected);
        *pszEnd = '\0';
        benchmark::DoNotOptimize(pszEnd);
        benchmark::ClobberMemory();
    }
}

void BM_Extract_fmt_runtime(benchmark::State &State)
{
    fmtRuntime(State, "Error extracting package #{} ({}): {}", g_uIndex, g_pszFile, g_pszStatus);
}

void BM_Plain_fmt_runtime(benchmark::State &State)
{
    fmtRuntime(State, "{}", g_uPlain);
}

void BM_Hex_fmt_runtime(benchmark::State &State)
{
    fmtRuntime(State, "{:#010x}", g_uHex);
}
#endif

} // namespace

BENCHMARK(BM_FileSize_RTStrPrintf);
BENCHMARK(BM_FileSize_snprintf);
BENCHMARK(BM_FileSize_stbsp);
BENCHMARK(BM_Extract_RTStrPrintf);
BENCHMARK(BM_Extract_snprintf);
BENCHMARK(BM_Extract_stbsp);
BENCHMARK(BM_Plain_RTStrPrintf);
BENCHMARK(BM_Plain_snprintf);
BENCHMARK(BM_Plain_stbsp);
BENCHMARK(BM_Hex_RTStrPrintf);
BENCHMARK(BM_Hex_snprintf);
BENCHMARK(BM_Hex_stbsp);
#ifdef BENCH_HAVE_FMT
BENCHMARK(BM_FileSize_fmt_runtime);
BENCHMARK(BM_FileSize_fmt_compiled);
BENCHMARK(BM_Extract_fmt_runtime);
BENCHMARK(BM_Plain_fmt_runtime);
BENCHMARK(BM_Hex_fmt_runtime);
#endif

BENCHMARK_MAIN();
