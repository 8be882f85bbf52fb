/* An empty GUI program that imports what the launcher imports (user32,
 * gdi32, shlwapi besides kernel32): the cost of starting any Windows GUI
 * program linked like the launcher, before it does anything. */
#include <windows.h>

#include <shlwapi.h>

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR pszCmdLine, int nShowCmd)
{
    (void)hInstance;
    (void)hPrevInstance;
    /* Never true: the calls are here for the import table only. */
    if (pszCmdLine == NULL && nShowCmd == -1)
        return MessageBeep(0) + (GetStockObject(WHITE_BRUSH) != NULL) + PathFileExistsW(L"");
    return 0;
}
