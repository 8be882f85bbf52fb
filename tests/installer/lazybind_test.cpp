/** @file
 * Tests of the lazy binding: the first call through a slot loads the
 * library from the system directory, binds the slot and forwards the call;
 * later calls go straight to the function.
 */
#include <windows.h>

#include <zolt/initterm.h>
#include <zolt/ldrlazy.h>

#include <gtest/gtest.h>
#include <mmsystem.h>

#include "lazybind.h"

namespace
{

/* The runtime as the launcher sets it up: the loader behind the binding
   only loads system libraries once the runtime knows the system
   directory. */
class RuntimeEnvironment : public ::testing::Environment
{
  public:
    void SetUp() override
    {
        ASSERT_EQ(0, RTR3InitForExe(0, nullptr, RTR3INIT_F_SYSTEM32_DLLS));
    }
};
[[maybe_unused]] ::testing::Environment *const g_pRuntimeEnv =
    ::testing::AddGlobalTestEnvironment(new RuntimeEnvironment);

/* A library and function of our own choosing, which nothing else in the
   test loads: the binding must load it. */
RTLDRLAZYMOD g_TestModWinMm = RTLDRLAZYMOD_INIT("WINMM.DLL");
const char g_szTimeGetTime[] = "timeGetTime";
decltype(&timeGetTime) g_pfnTestTimeGetTime =
    RTLdrLazyStub<decltype(timeGetTime)>::Stub<&g_pfnTestTimeGetTime, &g_TestModWinMm, g_szTimeGetTime>;

void *SystemExport(const wchar_t *pwszModule, const char *pszName)
{
    HMODULE hMod = GetModuleHandleW(pwszModule);
    return hMod ? reinterpret_cast<void *>(GetProcAddress(hMod, pszName)) : nullptr;
}

TEST(LazyBindTest, FirstCallLoadsBindsAndForwards)
{
    ASSERT_EQ(nullptr, g_TestModWinMm.hMod);
    ASSERT_EQ(nullptr, GetModuleHandleW(L"winmm.dll")) << "the test needs a library nobody loaded yet";
    void *pvStub = reinterpret_cast<void *>(g_pfnTestTimeGetTime);

    /* The call is forwarded and its result comes back. */
    DWORD msFirst = g_pfnTestTimeGetTime();
    ASSERT_NE(nullptr, g_TestModWinMm.hMod);
    ASSERT_NE(nullptr, GetModuleHandleW(L"winmm.dll"));
    void *pvBound = reinterpret_cast<void *>(g_pfnTestTimeGetTime);
    EXPECT_NE(pvStub, pvBound);
    EXPECT_EQ(SystemExport(L"winmm.dll", "timeGetTime"), pvBound);
    DWORD msDirect = reinterpret_cast<decltype(&timeGetTime)>(pvBound)();
    EXPECT_LE(msDirect - msFirst, 60000u);

    /* Later calls go straight to the function: the slot stays as it is. */
    (void)g_pfnTestTimeGetTime();
    EXPECT_EQ(pvBound, reinterpret_cast<void *>(g_pfnTestTimeGetTime));
}

TEST(LazyBindTest, LauncherSlotsBindOnlyWhenCalled)
{
    /* Nothing of the launcher's lazily bound libraries is bound before a
       call, and one call binds only its own slot. */
    for (RTLDRLAZYMOD *pMod :
         {&g_LazyModMsi, &g_LazyModCrypt32, &g_LazyModShell32, &g_LazyModComCtl32, &g_LazyModGdiPlus, &g_LazyModUser32})
        EXPECT_EQ(nullptr, pMod->hMod) << pMod->pszName;
    void *pvMessageBoxW = reinterpret_cast<void *>(g_pfnMessageBoxW);

    HWND hDesktop = g_pfnGetDesktopWindow();
    EXPECT_EQ(GetDesktopWindow(), hDesktop);
    EXPECT_NE(nullptr, g_LazyModUser32.hMod);
    EXPECT_EQ(SystemExport(L"user32.dll", "GetDesktopWindow"), reinterpret_cast<void *>(g_pfnGetDesktopWindow));
    EXPECT_EQ(pvMessageBoxW, reinterpret_cast<void *>(g_pfnMessageBoxW));
    EXPECT_EQ(nullptr, g_LazyModGdiPlus.hMod);
}

} // namespace
