/* Test helper: a DLL planted under a system library's name (built as
   msi.dll). Loading it leaves a marker file, named by the environment
   variable ZOLT_PLANT_MARKER, that holds the path it was loaded from: a
   side effect the test can see whatever the loader reports. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID pvReserved)
{
    (void)pvReserved;
    if (dwReason == DLL_PROCESS_ATTACH)
    {
        WCHAR wszMarker[MAX_PATH];
        DWORD const cwc = GetEnvironmentVariableW(L"ZOLT_PLANT_MARKER", wszMarker, MAX_PATH);
        if (cwc > 0 && cwc < MAX_PATH)
        {
            HANDLE hFile = CreateFileW(wszMarker, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
            if (hFile != INVALID_HANDLE_VALUE)
            {
                WCHAR wszSelf[MAX_PATH];
                DWORD const cwcSelf = GetModuleFileNameW(hInstance, wszSelf, MAX_PATH);
                DWORD cbWritten;
                WriteFile(hFile, wszSelf, cwcSelf * sizeof(WCHAR), &cbWritten, NULL);
                CloseHandle(hFile);
            }
        }
    }
    return TRUE;
}
