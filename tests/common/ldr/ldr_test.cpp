/* Native module loader: argument checks and module records, on every host.
   The Windows system-directory rules are in tests/r3/win/ldr-win_test.cpp. */
#ifdef _WIN32
#include <windows.h>
#endif

#include <zolt/err.h>
#include <zolt/ldr.h>

#include <gtest/gtest.h>
#include <string>

#include "heapfault.h"
#include "internal/ldr.h"

namespace
{
class Ldr : public ::testing::Test
{
  protected:
    static void SetUpTestSuite()
    {
#ifdef _WIN32
        /* What the runtime's start-up records before anything is loaded. */
        g_hModKernel32 = GetModuleHandleW(L"kernel32.dll");
        g_hModNtDll = GetModuleHandleW(L"ntdll.dll");
#endif
    }
};

/* A handle value that no load produced, to see that failures clear it. */
RTLDRMOD const g_hGarbage = (RTLDRMOD)(uintptr_t)0x5555;

TEST_F(Ldr, SystemLoadRefusesUnsafeNamesBeforeAnyFileAccess)
{
    struct Case
    {
        const char *pszName;
        uint32_t fFlags;
        int rc;
    };
    static const Case s_aCases[] = {
        {"..\\msi.dll", 0, ERR_INVALID_PARAMETER},  /* climbs to the parent */
        {"C:msi.dll", 0, ERR_INVALID_PARAMETER},    /* drive-relative */
        {"sub\\msi.dll", 0, ERR_INVALID_PARAMETER}, /* below a subdirectory */
        {"sub/msi.dll", 0, ERR_INVALID_PARAMETER},  /* either separator */
        {"\\\\srv\\s\\msi.dll", 0, ERR_INVALID_PARAMETER},
        {"msi.dll:stream", 0, ERR_INVALID_PARAMETER}, /* alternate data stream */
        {"a/b", 0x10, ERR_INVALID_PARAMETER},         /* the name is checked before the flags */
        {"msi.dll", 0x10, ERR_INVALID_FLAGS},
        {"msi.dll", 0x800, ERR_INVALID_FLAGS},
    };
    for (const Case &c : s_aCases)
    {
        RTLDRMOD hMod = g_hGarbage;
        EXPECT_EQ(RTLdrLoadSystemModule(c.pszName, c.fFlags, &hMod), c.rc) << c.pszName << " flags " << c.fFlags;
        EXPECT_EQ(hMod, nullptr) << c.pszName << ": the out handle is cleared first";
        EXPECT_EQ(RTLdrResolveSystemSymbol(c.pszName, "x"), nullptr) << c.pszName;
    }
    RTLDRMOD hMod = g_hGarbage;
    EXPECT_EQ(RTLdrLoadSystemModule(nullptr, 0, &hMod), ERR_INVALID_PARAMETER);
    EXPECT_EQ(hMod, nullptr);
    EXPECT_EQ(RTLdrLoadSystemModule("msi.dll", 0, nullptr), ERR_INVALID_PARAMETER);
    EXPECT_EQ(RTLdrResolveSystemSymbol(nullptr, "x"), nullptr);

    /* The longest acceptable name is 3074 bytes; it names no file. */
    std::string const strLong(RTLDR_MAX_NAME_SIZE, 'a');
    EXPECT_EQ(RTLdrLoadSystemModule(strLong.c_str(), 0, &hMod), ERR_INVALID_PARAMETER);
    EXPECT_EQ(RTLdrResolveSystemSymbol(strLong.c_str(), "x"), nullptr);
    int const rc = RTLdrLoadSystemModule(strLong.substr(1).c_str(), 0, &hMod);
    EXPECT_NE(rc, ERR_INVALID_PARAMETER);
    EXPECT_TRUE(RT_FAILURE(rc));
}

TEST_F(Ldr, NativeLoadChecks)
{
    RTLDRMOD hMod = g_hGarbage;
    EXPECT_EQ(RTLdrLoadNativeModule(nullptr, &hMod, 0), ERR_INVALID_POINTER);
    EXPECT_EQ(RTLdrLoadNativeModule("/x", nullptr, 0), ERR_INVALID_POINTER);
    EXPECT_EQ(RTLdrLoadNativeModule("/x", &hMod, 0x10), ERR_INVALID_PARAMETER);
    /* A relative name would be searched for by the platform. */
    EXPECT_EQ(RTLdrLoadNativeModule("msi.dll", &hMod, 0), ERR_INTERNAL_ERROR_2);
    EXPECT_EQ(hMod, nullptr);
    hMod = g_hGarbage;
    EXPECT_EQ(RTLdrLoadNativeModule("/no/such/dir/zolt-no-such-module.dll", &hMod, 0), ERR_MODULE_NOT_FOUND);
    EXPECT_EQ(hMod, nullptr);
    {
        HeapFaultScope Fault(0);
        hMod = g_hGarbage;
        EXPECT_EQ(RTLdrLoadNativeModule("/x", &hMod, 0), ERR_NO_MEMORY);
        EXPECT_EQ(hMod, nullptr);
    }
}

TEST_F(Ldr, BadHandles)
{
    void *pv = &pv;
    EXPECT_EQ(RTLdrResolveSymbol(nullptr, "x", &pv), ERR_INVALID_HANDLE);
    EXPECT_EQ(RTLdrResolveFunction(nullptr, "x"), nullptr);
    EXPECT_EQ(RTLdrCloseModule(nullptr), SUCCESS);
    EXPECT_EQ(RTLdrCloseModule((RTLDRMOD)(uintptr_t)0x10), ERR_INVALID_HANDLE);
    EXPECT_EQ(RTLdrQueryNativeHandle(nullptr), RTLDR_NATIVE_NIL);

    /* A record whose magic is not the open one is refused everywhere. */
    RTLDRMODINTERNAL Fake = {};
    Fake.uMagic = RTLDRMOD_MAGIC + 1;
    Fake.pOps = &g_rtldrNativeOps;
    Fake.hNative = 1234;
    EXPECT_EQ(RTLdrResolveSymbol(&Fake, "x", &pv), ERR_INVALID_HANDLE);
    EXPECT_EQ(RTLdrCloseModule(&Fake), ERR_INVALID_HANDLE);
    EXPECT_EQ(RTLdrQueryNativeHandle(&Fake), RTLDR_NATIVE_NIL);
    Fake.uMagic = RTLDRMOD_MAGIC;
    EXPECT_EQ(RTLdrQueryNativeHandle(&Fake), 1234u);
    EXPECT_EQ(RTLdrResolveSymbol(&Fake, nullptr, &pv), ERR_INVALID_PARAMETER);
    EXPECT_EQ(RTLdrResolveSymbol(&Fake, "x", nullptr), ERR_INVALID_POINTER);
    EXPECT_EQ(pv, (void *)&pv) << "untouched by the refused calls";
}
} // namespace
