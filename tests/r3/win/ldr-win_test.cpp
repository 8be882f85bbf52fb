/* Native module loader on Windows: system libraries come from the system
   directory only, never from beside the executable or the current
   directory; symbol lookup; the side-by-side acceptance rule. */
#include <windows.h>

#include <zolt/err.h>
#include <zolt/ldr.h>

#include <gtest/gtest.h>
#include <string>
#include <wchar.h>

#include "internal/ldr.h"
#include "r3/fstestdir.h"

namespace
{
/* What the runtime's start-up records before anything is loaded. */
void setUpLoader()
{
    g_hModKernel32 = GetModuleHandleW(L"kernel32.dll");
    g_hModNtDll = GetModuleHandleW(L"ntdll.dll");
}

std::wstring systemDir()
{
    WCHAR wsz[MAX_PATH];
    UINT const cwc = GetSystemDirectoryW(wsz, MAX_PATH);
    return std::wstring(wsz, cwc);
}

/* The file a module was loaded from. */
std::wstring moduleFile(uintptr_t hNative)
{
    WCHAR wsz[MAX_PATH];
    DWORD const cwc = GetModuleFileNameW((HMODULE)hNative, wsz, MAX_PATH);
    return std::wstring(wsz, cwc);
}

bool isInSystemDir(const std::wstring &wstrFile)
{
    std::wstring const wstrDir = systemDir() + L"\\";
    return wstrFile.size() > wstrDir.size() && !_wcsnicmp(wstrFile.c_str(), wstrDir.c_str(), wstrDir.size()) &&
           wstrFile.find(L'\\', wstrDir.size()) == std::wstring::npos;
}

class LdrWin : public FsTestDir
{
  protected:
    void SetUp() override
    {
        FsTestDir::SetUp();
        setUpLoader();
    }
};

TEST_F(LdrWin, SystemModulesComeFromTheSystemDirectory)
{
    /* "MSI.DLL" has a suffix; "msi" gets ".DLL"; both are the same module. */
    RTLDRMOD hMod1 = nullptr, hMod2 = nullptr;
    ASSERT_EQ(RTLdrLoadSystemModule("MSI.DLL", LDRLOAD_NO_UNLOAD, &hMod1), SUCCESS);
    uintptr_t const hNative = RTLdrQueryNativeHandle(hMod1);
    ASSERT_NE(hNative, RTLDR_NATIVE_NIL);
    EXPECT_TRUE(isInSystemDir(moduleFile(hNative)));
    ASSERT_EQ(RTLdrLoadSystemModule("msi", LDRLOAD_NO_UNLOAD, &hMod2), SUCCESS);
    EXPECT_EQ(RTLdrQueryNativeHandle(hMod2), hNative);

    /* Closing a module loaded to stay keeps its addresses valid. */
    void *pvInstall = nullptr;
    ASSERT_EQ(RTLdrResolveSymbol(hMod1, "MsiInstallProductW", &pvInstall), SUCCESS);
    EXPECT_EQ(pvInstall, (void *)GetProcAddress((HMODULE)hNative, "MsiInstallProductW"));
    EXPECT_EQ(RTLdrCloseModule(hMod1), SUCCESS);
    EXPECT_EQ(RTLdrCloseModule(hMod2), SUCCESS);
    EXPECT_EQ((uintptr_t)GetModuleHandleW(L"msi.dll"), hNative);
    EXPECT_EQ(pvInstall, (void *)GetProcAddress((HMODULE)hNative, "MsiInstallProductW"));

    /* A name that is no file there: not found, before any load attempt. */
    RTLDRMOD hMod = (RTLDRMOD)(uintptr_t)0x5555;
    EXPECT_EQ(RTLdrLoadSystemModule("zolt-no-such-module.dll", 0, &hMod), ERR_MODULE_NOT_FOUND);
    EXPECT_EQ(hMod, nullptr);
    EXPECT_EQ(RTLdrLoadSystemModule("zolt-no-such-module", 0, &hMod), ERR_MODULE_NOT_FOUND);
    /* Symbols local to a module are not a Windows notion. */
    EXPECT_EQ(RTLdrLoadSystemModule("msi.dll", LDRLOAD_LOCAL, &hMod), ERR_INVALID_FLAGS);
    EXPECT_EQ(hMod, nullptr);
}

TEST_F(LdrWin, ResolveAndClose)
{
    RTLDRMOD hMod;
    ASSERT_EQ(RTLdrLoadSystemModule("kernel32.dll", 0, &hMod), SUCCESS);
    void *pv = &pv;
    EXPECT_EQ(RTLdrResolveSymbol(hMod, "GetTickCount", &pv), SUCCESS);
    EXPECT_EQ(pv, (void *)GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTickCount"));
    EXPECT_EQ(RTLdrResolveSymbol(hMod, "ZoltNoSuchExport", &pv), ERR_SYMBOL_NOT_FOUND);
    EXPECT_EQ(pv, nullptr);
    EXPECT_EQ(RTLdrResolveFunction(hMod, "ZoltNoSuchExport"), nullptr);
    EXPECT_EQ(RTLdrCloseModule(hMod), SUCCESS); /* unloads one reference only */
    EXPECT_NE(GetModuleHandleW(L"kernel32.dll"), nullptr);

    EXPECT_EQ(RTLdrResolveSystemSymbol("kernel32.dll", "GetTickCount"),
              (void *)GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTickCount"));
    EXPECT_EQ(RTLdrResolveSystemSymbol("KERNEL32", "GetTickCount"),
              (void *)GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTickCount"));
    EXPECT_EQ(RTLdrResolveSystemSymbol("kernel32.dll", "ZoltNoSuchExport"), nullptr);
    EXPECT_EQ(RTLdrResolveSystemSymbol("zolt-no-such-module.dll", "x"), nullptr);
}

TEST_F(LdrWin, NativeLoadByFullPath)
{
    std::wstring const wstrSys = systemDir();
    std::string const strSys(wstrSys.begin(), wstrSys.end());

    /* No suffix: ".DLL" is added; forward slashes become backslashes. */
    std::string strPath = strSys + "\\msi";
    RTLDRMOD hMod;
    ASSERT_EQ(RTLdrLoadNativeModule(strPath.c_str(), &hMod, LDRLOAD_NO_UNLOAD), SUCCESS);
    EXPECT_EQ(RTLdrQueryNativeHandle(hMod), (uintptr_t)GetModuleHandleW(L"msi.dll"));
    EXPECT_EQ(RTLdrCloseModule(hMod), SUCCESS);
    for (char &ch : strPath)
        if (ch == '\\')
            ch = '/';
    ASSERT_EQ(RTLdrLoadNativeModule((strPath + ".dll").c_str(), &hMod, LDRLOAD_SEARCH_SAFE), SUCCESS);
    EXPECT_EQ(RTLdrQueryNativeHandle(hMod), (uintptr_t)GetModuleHandleW(L"msi.dll"));
    EXPECT_EQ(RTLdrCloseModule(hMod), SUCCESS);

    /* A file that is not a library. */
    std::string const strJunk = path("junk.dll");
    HANDLE hFile = CreateFileW(wide(strJunk).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    DWORD cb;
    WriteFile(hFile, "MZ not really", 13, &cb, nullptr);
    CloseHandle(hFile);
    hMod = (RTLDRMOD)(uintptr_t)0x5555;
    EXPECT_EQ(RTLdrLoadNativeModule(strJunk.c_str(), &hMod, 0), ERR_BAD_EXE_FORMAT);
    EXPECT_EQ(hMod, nullptr);
    EXPECT_EQ(RTLdrLoadNativeModule(strJunk.c_str(), &hMod, LDRLOAD_LOCAL), ERR_INVALID_FLAGS);
}

TEST(LdrWinSxs, RedirectionMustStayInTheSystemTree)
{
    struct Case
    {
        const RTUTF16 *pwszSysDir;
        const RTUTF16 *pwszName;
        unsigned cSeps;
    };
    static const Case s_aCases[] = {
        {u"C:\\Windows\\System32", u"C:\\Windows\\WinSxS\\amd64_x\\comctl32.dll", 2}, /* the store: accepted */
        {u"C:\\Windows\\System32", u"C:\\Windows\\System32\\comctl32.dll", 2},        /* its end is no separator */
        {u"C:\\Windows\\System32", u"c:/windows//WINSXS/x/comctl32.dll", 2},          /* case, '/', runs */
        {u"C:\\Windows\\System32", u"C:\\Users\\x\\comctl32.dll", 1},                 /* outside: ignored */
        {u"C:\\Windows\\System32", u"C:\\Windowsx\\comctl32.dll", 1},
        {u"C:\\Windows\\System32", u"D:\\Windows\\System32\\comctl32.dll", 0},
        {u"C:\\Windows\\System32", u"\\\\srv\\share\\comctl32.dll", 0},
        {u"C:\\Windows\\System32", u"comctl32.dll", 0},                           /* relative */
        {u"C:\\Windows\\System32", u"C:\\Wind\u00f6ws\\x\\comctl32.dll", 1},      /* non-ASCII differs */
        {u"C:\\Wind\u00f6ws\\System32", u"C:\\Wind\u00f6ws\\x\\comctl32.dll", 2}, /* non-ASCII equal */
        {u"\\Windows\\System32", u"\\Windows\\x\\comctl32.dll", 1},               /* the leading one is no level */
    };
    for (const Case &c : s_aCases)
    {
        size_t cwc = 0;
        while (c.pwszName[cwc])
            cwc++;
        EXPECT_EQ(rtldrWinCountSharedSeparators(c.pwszSysDir, c.pwszName, cwc), c.cSeps)
            << std::string(c.pwszName, c.pwszName + cwc);
    }
    /* Only the name's given length counts. */
    EXPECT_EQ(rtldrWinCountSharedSeparators(u"C:\\Windows\\System32", u"C:\\Windows\\System32\\x.dll", 10), 1u);
}

/* The planted DLL: run a copy of this test program, with msi.dll planted
   beside it and in its current directory, in a child process for which
   Wine prefers native DLLs (otherwise Wine would substitute its builtin
   msi.dll for the planted one and the test would pass for the wrong
   reason). The planted DLL leaves a marker file when it is loaded. */
class LdrWinPlant : public FsTestDir
{
  protected:
    /* Runs this program's child test @a pszTest. @returns its exit code. */
    DWORD runChild(const char *pszTest)
    {
        std::wstring const wstrApp = wide(path("app"));
        std::wstring const wstrCwd = wide(path("cwd"));
        std::wstring wstrCmd = L"\"" + wstrApp +
                               L"\\zolt-plant-child.exe\" --gtest_also_run_disabled_tests "
                               L"--gtest_filter=LdrWinPlantChild." +
                               wide(pszTest);
        STARTUPINFOW StartupInfo = {};
        StartupInfo.cb = sizeof(StartupInfo);
        PROCESS_INFORMATION ProcInfo;
        if (!CreateProcessW(nullptr, &wstrCmd[0], nullptr, nullptr, FALSE, 0, nullptr, wstrCwd.c_str(), &StartupInfo,
                            &ProcInfo))
        {
            ADD_FAILURE() << "cannot start the child, error " << GetLastError();
            return 255;
        }
        EXPECT_EQ(WaitForSingleObject(ProcInfo.hProcess, 120000), WAIT_OBJECT_0);
        DWORD dwExit = 255;
        GetExitCodeProcess(ProcInfo.hProcess, &dwExit);
        CloseHandle(ProcInfo.hThread);
        CloseHandle(ProcInfo.hProcess);
        return dwExit;
    }
};

TEST_F(LdrWinPlant, PlantedDllIsNeverLoaded)
{
    WCHAR wszSelf[MAX_PATH];
    DWORD cwcSelf = GetModuleFileNameW(nullptr, wszSelf, MAX_PATH);
    std::wstring const wstrSelf(wszSelf, cwcSelf);
    std::wstring const wstrPlant = wstrSelf.substr(0, wstrSelf.rfind(L'\\')) + L"\\helpers\\plant\\msi.dll";
    ASSERT_NE(GetFileAttributesW(wstrPlant.c_str()), INVALID_FILE_ATTRIBUTES);

    ASSERT_EQ(RTDirCreate(path("app").c_str(), 0700, 0), SUCCESS);
    ASSERT_EQ(RTDirCreate(path("cwd").c_str(), 0700, 0), SUCCESS);
    ASSERT_TRUE(CopyFileW(wstrSelf.c_str(), wide(path("app\\zolt-plant-child.exe")).c_str(), TRUE));
    ASSERT_TRUE(CopyFileW(wstrPlant.c_str(), wide(path("app\\msi.dll")).c_str(), TRUE));
    ASSERT_TRUE(CopyFileW(wstrPlant.c_str(), wide(path("cwd\\msi.dll")).c_str(), TRUE));

    /* Wine reads WINEDLLOVERRIDES from the Unix environment a process
       starts with, which a Windows parent cannot change; its per-program
       registry overrides do the same for the child's name alone. */
    static const WCHAR s_wszAppKey[] = L"Software\\Wine\\AppDefaults\\zolt-plant-child.exe";
    HKEY hKey;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(s_wszAppKey) + L"\\DllOverrides").c_str(), 0, nullptr, 0,
                              KEY_SET_VALUE, nullptr, &hKey, nullptr),
              ERROR_SUCCESS);
    static const WCHAR s_wszNativeFirst[] = L"native,builtin";
    EXPECT_EQ(RegSetValueExW(hKey, L"msi", 0, REG_SZ, (const BYTE *)s_wszNativeFirst, sizeof(s_wszNativeFirst)),
              ERROR_SUCCESS);
    RegCloseKey(hKey);
    std::wstring const wstrMarker = wide(path("marker"));
    SetEnvironmentVariableW(L"ZOLT_PLANT_MARKER", wstrMarker.c_str());

    /* First show that the plant works: a plain LoadLibrary falls for it. */
    EXPECT_EQ(runChild("DISABLED_PlainLoadLibraryTakesThePlant"), 0u);
    EXPECT_NE(GetFileAttributesW(wstrMarker.c_str()), INVALID_FILE_ATTRIBUTES) << "the plant leaves its marker";
    DeleteFileW(wstrMarker.c_str());

    /* Then the loader: the system directory's msi.dll, no marker. */
    EXPECT_EQ(runChild("DISABLED_SystemLoadTakesTheSystemCopy"), 0u);
    EXPECT_EQ(GetFileAttributesW(wstrMarker.c_str()), INVALID_FILE_ATTRIBUTES) << "the planted msi.dll was loaded";

    SetEnvironmentVariableW(L"ZOLT_PLANT_MARKER", nullptr);
    RegDeleteTreeW(HKEY_CURRENT_USER, s_wszAppKey);
}

/* Run only as the child of LdrWinPlant. */
TEST(LdrWinPlantChild, DISABLED_PlainLoadLibraryTakesThePlant)
{
    EXPECT_NE(LoadLibraryW(L"msi.dll"), nullptr);
}

TEST(LdrWinPlantChild, DISABLED_SystemLoadTakesTheSystemCopy)
{
    setUpLoader();
    RTLDRMOD hMod;
    ASSERT_EQ(RTLdrLoadSystemModule("MSI.DLL", LDRLOAD_NO_UNLOAD, &hMod), SUCCESS);
    EXPECT_TRUE(isInSystemDir(moduleFile(RTLdrQueryNativeHandle(hMod))));
    EXPECT_NE(RTLdrResolveFunction(hMod, "MsiInstallProductW"), nullptr);
    EXPECT_EQ(RTLdrCloseModule(hMod), SUCCESS);
    EXPECT_NE(RTLdrResolveSystemSymbol("msi.dll", "MsiSetInternalUI"), nullptr);
}
} // namespace
