/* The cost of any Wine process: a GUI program that returns at once. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR pszCmdLine, int nShowCmd)
{
    (void)hInstance;
    (void)hPrevInstance;
    (void)pszCmdLine;
    (void)nShowCmd;
    return 0;
}
