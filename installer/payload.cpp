/** @file
 * The payload container and host architecture detection.
 */
#include "payload.h"

#include <windows.h>

#include <zolt/err.h>
#include <zolt/mem.h>
#include <zolt/strformat.h>
#include <zolt/string.h>

#include "messages.h"

const PayloadResourceCalls g_PayloadHostResourceCalls = {FindResourceExW, SizeofResource, LoadResource, LockResource};

/** The table in use. */
static const PayloadResourceCalls *g_pPayloadResourceCalls = &g_PayloadHostResourceCalls;

const PayloadResourceCalls *SetPayloadResourceCalls(const PayloadResourceCalls *pCalls)
{
    const PayloadResourceCalls *pOld = g_pPayloadResourceCalls;
    g_pPayloadResourceCalls = pCalls ? pCalls : &g_PayloadHostResourceCalls;
    return pOld;
}

int FindPayloadResource(HMODULE hModule, const char *pszName, const void **ppvData, size_t *pcbData)
{
    if (!pszName)
        return ERR_INVALID_PARAMETER;
    RTUTF16 *pwszName = NULL;
    int rc = RTStrToUtf16(pszName, &pwszName);
    if (RT_FAILURE(rc))
        return rc;
    const PayloadResourceCalls *pCalls = g_pPayloadResourceCalls;
    HRSRC hRsrc = pCalls->pfnFindResourceExW(hModule, MAKEINTRESOURCEW(10) /*RT_RCDATA*/, (const wchar_t *)pwszName,
                                             MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    RTMemFree(pwszName);
    if (!hRsrc)
        return ERR_IO_GEN_FAILURE;

    DWORD cbData = pCalls->pfnSizeofResource(hModule, hRsrc);
    if (cbData == 0)
        return ERR_NO_DATA;
    if (pcbData)
        *pcbData = cbData;

    HGLOBAL hGlobal = pCalls->pfnLoadResource(hModule, hRsrc);
    if (!hGlobal)
        return ERR_IO_GEN_FAILURE;
    const void *pvData = pCalls->pfnLockResource(hGlobal);
    if (!pvData)
        return ERR_IO_GEN_FAILURE;
    *ppvData = pvData;
    return 0;
}

int FindPayloadManifest(HMODULE hModule, const PayloadManifest **ppManifest)
{
    const void *pvData = NULL;
    size_t cbData = 0;
    int rc = FindPayloadResource(hModule, "MANIFEST", &pvData, &cbData);
    if (RT_FAILURE(rc))
        return rc;
    rc = CheckPayloadManifest(pvData, cbData);
    if (RT_SUCCESS(rc))
        *ppManifest = (const PayloadManifest *)pvData;
    return rc;
}

const PackageHeader *GetPackageHeader(HMODULE hModule, unsigned iPackage)
{
    char szName[32];
    RTStrPrintf(szName, sizeof(szName), "HDR_%02d", iPackage);
    const void *pvData = NULL;
    size_t cbData = 0;
    int rc = FindPayloadResource(hModule, szName, &pvData, &cbData);
    if (RT_SUCCESS(rc))
        rc = CheckPackageHeader(pvData, cbData);
    if (RT_FAILURE(rc))
    {
        ShowError("Internal error: Could not find package header #%u: %Rrc", iPackage, rc);
        return NULL;
    }
    return (const PackageHeader *)pvData;
}

/** The architecture this launcher was built for. */
static PackageArch rtStubBuildArch(void)
{
#if defined(__aarch64__) || defined(_M_ARM64)
    return PackageArch_Arm64;
#elif defined(__x86_64__) || defined(_M_X64)
    return PackageArch_X86_64;
#else
    return PackageArch_X86;
#endif
}

PackageArch DetectHostArch(void)
{
    typedef BOOL WINAPI FNISWOW64PROCESS2(HANDLE, USHORT *, USHORT *);
    typedef BOOL WINAPI FNISWOW64PROCESS(HANDLE, BOOL *);

    HMODULE hKernel32 = GetModuleHandleW(L"kernel32.dll");
    FARPROC pfn = hKernel32 ? GetProcAddress(hKernel32, "IsWow64Process2") : NULL;
    if (pfn)
    {
        USHORT uProcessMachine = 0;
        USHORT uNativeMachine = 0;
        if (!reinterpret_cast<FNISWOW64PROCESS2 *>(reinterpret_cast<void *>(pfn))(GetCurrentProcess(), &uProcessMachine,
                                                                                  &uNativeMachine))
        {
            PrintError("IsWow64Process2 failed: %u", GetLastError());
            return PackageArch_X86;
        }
        switch (uNativeMachine)
        {
            case 0x8664 /*IMAGE_FILE_MACHINE_AMD64*/: return PackageArch_X86_64;
            case 0xaa64 /*IMAGE_FILE_MACHINE_ARM64*/: return PackageArch_Arm64;
            case 0x014c /*IMAGE_FILE_MACHINE_I386*/: return PackageArch_X86;
        }
        PrintError("IsWow64Process2 return unknown host machine value: %#x (wow machine %#x)", uNativeMachine,
                   uProcessMachine);
        return PackageArch_X86;
    }

    pfn = hKernel32 ? GetProcAddress(hKernel32, "IsWow64Process") : NULL;
    if (pfn)
    {
        BOOL fWow64 = TRUE;
        if (!reinterpret_cast<FNISWOW64PROCESS *>(reinterpret_cast<void *>(pfn))(GetCurrentProcess(), &fWow64))
        {
            PrintError("IsWow64Process failed: %u\n", GetLastError());
            return PackageArch_X86;
        }
        /* The old query only tells whether a 32-bit process runs emulated
           on a 64-bit system, which before ARM64 meant an x86-64 host. A
           process that is not emulated runs on the hardware it was built
           for, so a 64-bit build must not take "no" for x86. */
        if (fWow64)
            return PackageArch_X86_64;
        return rtStubBuildArch();
    }

    PrintError("Neither IsWow64Process nor IsWow64Process2 was found!");
    return PackageArch_X86;
}

const char *PackageArchName(uint32_t enmArch)
{
    switch (enmArch)
    {
        case PackageArch_X86: return "x86";
        case PackageArch_X86_64: return "x86_64";
        case PackageArch_Arm64: return "arm64";
    }
    return "<Unknown>";
}

bool PackageFitsHost(uint32_t enmArch, FNDETECTHOSTARCH *pfnDetectHostArch)
{
    return enmArch == PackageArch_All || enmArch == (uint32_t)pfnDetectHostArch();
}
