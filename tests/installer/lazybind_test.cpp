/** @file
 * Tests of the lazy binding: the first call through a slot loads the
 * library from the system directory, binds the slot and forwards the call;
 * later calls go straight to the function.
 */
#include <windows.h>

#include <zolt/ldrlazy.h>

#include <gtest/gtest.h>

#include "lazybind.h"

namespace
{

/* A library and function of our own choosing, not otherwise used by the
   test: the binding must load it. */
RTLDRLAZYMOD g_TestModVersion = RTLDRLAZYMOD_INIT("VERSION.DLL");
const char g_szGetFileVersionInfoSizeW[] = "GetFileVersionInfoSizeW";
decltype(&GetFileVersionInfoSizeW) g_pfnTestGetFileVersionInfoSizeW =
    RTLdrLazyStub<decltype(GetFileVersionInfoSizeW)>::Stub<&g_pfnTestGetFileVersionInfoSizeW, &g_TestModVersion,
                                                           g_szGetFileVersionInfoSizeW>;

void *SystemExport(const wchar_t *pwszModule, const char *pszName)
{
    HMODULE hMod = GetModuleHandleW(pwszModule);
    return hMod ? reinterpret_cast<void *>(GetProcAddress(hMod, pszName)) : nullptr;
}

TEST(LazyBindTest, FirstCallLoadsBindsAndForwards)
{
    ASSERT_EQ(nullptr, g_TestModVersion.hMod);
    ASSERT_EQ(nullptr, GetModuleHandleW(L"version.dll")) << "the test needs a library nobody loaded yet";
    void *pvStub = reinterpret_cast<void *>(g_pfnTestGetFileVersionInfoSizeW);

    /* The call's arguments and result pass through the binding unchanged. */
    wchar_t wszKernel32[MAX_PATH];
    ASSERT_NE(0u, GetSystemDirectoryW(wszKernel32, MAX_PATH));
    wcscat(wszKernel32, L"\\kernel32.dll");
    DWORD dwHandle = 1;
    DWORD cbInfo = g_pfnTestGetFileVersionInfoSizeW(wszKernel32, &dwHandle);
    EXPECT_GT(cbInfo, 0u);
    EXPECT_EQ(0u, dwHandle);

    ASSERT_NE(nullptr, g_TestModVersion.hMod);
    void *pvBound = reinterpret_cast<void *>(g_pfnTestGetFileVersionInfoSizeW);
    EXPECT_NE(pvStub, pvBound);
    EXPECT_EQ(SystemExport(L"version.dll", "GetFileVersionInfoSizeW"), pvBound);

    /* Later calls go straight to the function: the slot stays as it is. */
    EXPECT_EQ(cbInfo, g_pfnTestGetFileVersionInfoSizeW(wszKernel32, &dwHandle));
    EXPECT_EQ(pvBound, reinterpret_cast<void *>(g_pfnTestGetFileVersionInfoSizeW));
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
