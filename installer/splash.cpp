/** @file
 * The splash screen: its thread, window and drawing.
 */
#include "splash.h"

#include <windows.h>

#include <zolt/err.h>
#include <zolt/mem.h>
#include <zolt/thread.h>

#include <shlwapi.h>

#include "identity.h"
#include "lazybind.h"
#include "messages.h"

/** Animation: one timer, a tick every 50 ms moves the dot by 10 degrees. */
#define STUB_SPLASH_TIMER_ID 1
#define STUB_SPLASH_TIMER_MS 50
#define STUB_SPLASH_ANGLE_STEP 10
/** Colours, ARGB. */
#define STUB_SPLASH_BACKGROUND 0xFFFFFFFFu
#define STUB_SPLASH_DOT_COLOUR 0xFF000064u
/** The dot: a 10 x 10 circle on an orbit of radius 10 whose centre is the
 *  picture's centre moved 80 pixels down. */
#define STUB_SPLASH_DOT_SIZE 10
#define STUB_SPLASH_ORBIT_RADIUS 10.0
#define STUB_SPLASH_ORBIT_DROP 80

/**
 * Sine and cosine of @a rdX without the maths library, which an executable
 * without a C runtime does not have. The nearest multiple of pi/2 is taken
 * off in two steps (pi/2 split so that the first product is exact for
 * multiples below 2^20, that is rdX below 1.6e6; the splash's angles stay
 * below 6.3 radians, any 32-bit angle below 7.5e7), and what is left, within pi/4 of zero, goes through
 * the Taylor polynomials up to x^15 and x^16, whose first omitted terms are
 * below 1e-16. That is as close as the C library gets, which matters where
 * a coordinate truncates to an integer right at a boundary (cos(3.14159)
 * is 1 - 3.5e-12 in magnitude, and 10 times it truncates to 9).
 */
static void rtStubSplashSinCos(double rdX, double *prdSin, double *prdCos)
{
    const double rdHalfPiHi = 1.57079632673412561417e+00;
    const double rdHalfPiLo = 6.07710050650619224932e-11;
    int32_t const iQuadrant = (int32_t)(rdX * 0.63661977236758134308 + 0.5);
    double const rdR = (rdX - iQuadrant * rdHalfPiHi) - iQuadrant * rdHalfPiLo;
    double const rdR2 = rdR * rdR;
    double rdSin = -1.0 / 1307674368000.0;
    double rdCos = 1.0 / 20922789888000.0;
    static const double s_ardSin[] = {
        1.0 / 6227020800.0, -1.0 / 39916800.0, 1.0 / 362880.0, -1.0 / 5040.0, 1.0 / 120.0, -1.0 / 6.0, 1.0};
    static const double s_ardCos[] = {-1.0 / 87178291200.0, 1.0 / 479001600.0, -1.0 / 3628800.0, 1.0 / 40320.0,
                                      -1.0 / 720.0,         1.0 / 24.0,        -1.0 / 2.0,       1.0};
    for (double rdCoef : s_ardSin)
        rdSin = rdSin * rdR2 + rdCoef;
    for (double rdCoef : s_ardCos)
        rdCos = rdCos * rdR2 + rdCoef;
    rdSin *= rdR;
    switch (iQuadrant & 3)
    {
        case 0:
            *prdSin = rdSin;
            *prdCos = rdCos;
            break;
        case 1:
            *prdSin = rdCos;
            *prdCos = -rdSin;
            break;
        case 2:
            *prdSin = -rdSin;
            *prdCos = -rdCos;
            break;
        default:
            *prdSin = -rdCos;
            *prdCos = rdSin;
            break;
    }
}

void SplashDotOffset(uint32_t uAngle, int *pdx, int *pdy)
{
    double rdSin, rdCos;
    rtStubSplashSinCos((double)uAngle * 3.14159 / 180.0, &rdSin, &rdCos);
    *pdx = (int)(rdCos * -STUB_SPLASH_ORBIT_RADIUS);
    *pdy = (int)(rdSin * -STUB_SPLASH_ORBIT_RADIUS);
}

static Gdiplus::GpImage *rtStubSplashImage(SplashState *pState)
{
    return (Gdiplus::GpImage *)pState->pImage;
}

/** Decodes the picture resource into pState->pImage; leaves it null when
 *  any step fails. */
static void rtStubSplashLoadImage(SplashState *pState)
{
    HRSRC hRsrc = FindResourceW(pState->hInstance, MAKEINTRESOURCEW(STUB_SPLASH_IMAGE_ID), L"PNG");
    HGLOBAL hGlobal = hRsrc ? LoadResource(pState->hInstance, hRsrc) : NULL;
    DWORD cbImage = hGlobal ? SizeofResource(pState->hInstance, hRsrc) : 0;
    const BYTE *pbImage = cbImage ? (const BYTE *)LockResource(hGlobal) : NULL;
    IStream *pStream = pbImage ? SHCreateMemStream(pbImage, cbImage) : NULL;
    if (!pStream)
        return;
    Gdiplus::GpImage *pImage = NULL;
    if (g_pfnGdipLoadImageFromStream(pStream, &pImage) == Gdiplus::Ok)
        pState->pImage = pImage;
    pStream->Release();
}

static void rtStubSplashImageSize(SplashState *pState, UINT *pcx, UINT *pcy)
{
    /* A failed query leaves the value alone: a picture that does not decode
       makes a window of zero size. */
    *pcx = 0;
    *pcy = 0;
    g_pfnGdipGetImageWidth(rtStubSplashImage(pState), pcx);
    g_pfnGdipGetImageHeight(rtStubSplashImage(pState), pcy);
}

int SplashThreadProc(RTTHREAD hSelf, void *pvUser)
{
    SplashState *pState = (SplashState *)pvUser;
    if (!RT_VALID_PTR(pState))
        return ERR_INVALID_POINTER;

    Gdiplus::GdiplusStartupInput StartupInput; /* version 1, no callback, nothing suppressed */
    ULONG_PTR uGdipToken = 0;
    (void)g_pfnGdiplusStartup(&uGdipToken, &StartupInput, NULL); /* a failure shows as no picture */

    /* The window handle the main thread reads is cleared by it when it asks
       us to quit; the thread keeps its own copy to destroy the window. */
    HWND hWnd = NULL;
    rtStubSplashLoadImage(pState);
    if (!pState->pImage)
        ShowError("Error loading splash image");
    else
    {
        WNDCLASSA WndClass = {};
        WndClass.lpfnWndProc = SplashWndProc;
        WndClass.hInstance = pState->hInstance;
        WndClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
        WndClass.lpszClassName = STUB_SPLASH_CLASS;
        (void)RegisterClassA(&WndClass); /* a failure shows in the window creation */

        UINT cx, cy;
        rtStubSplashImageSize(pState, &cx, &cy);
        int x = (GetSystemMetrics(SM_CXSCREEN) - (int)cx) / 2;
        int y = (GetSystemMetrics(SM_CYSCREEN) - (int)cy) / 2;
        /* The wide call for the title alone: the product's title is UTF-8,
           which the narrow call would take for the ANSI code page. The
           class and its window procedure stay narrow. */
        hWnd = CreateWindowExW(0, L"" STUB_SPLASH_CLASS, g_pwszStubProductTitle, WS_POPUP | WS_VISIBLE, x, y, (int)cx,
                               (int)cy, NULL, NULL, pState->hInstance, pState);
        if (!hWnd)
        {
            DWORD dwErr = GetLastError();
            ShowError("Error creating splash window, rc=%Rrc (%#x)", RTErrConvertFromWin32(dwErr), dwErr);
        }
        else
        {
            __atomic_store_n(&pState->hWnd, hWnd, __ATOMIC_RELEASE);
            SetTimer(hWnd, STUB_SPLASH_TIMER_ID, STUB_SPLASH_TIMER_MS, NULL);
        }
    }

    RTThreadSignalUserEvent(hSelf);

    if (hWnd)
    {
        MSG Msg;
        while (GetMessageA(&Msg, NULL, 0, 0) > 0)
        {
            TranslateMessage(&Msg);
            DispatchMessageA(&Msg);
        }
    }

    if (pState->pImage)
    {
        g_pfnGdipDisposeImage(rtStubSplashImage(pState));
        pState->pImage = NULL;
    }
    if (pState->hMemDC)
    {
        DeleteDC(pState->hMemDC);
        pState->hMemDC = NULL;
    }
    if (pState->hBitmap)
    {
        DeleteObject(pState->hBitmap);
        pState->hBitmap = NULL;
    }
    if (hWnd)
    {
        __atomic_store_n(&pState->hWnd, (HWND)NULL, __ATOMIC_RELEASE);
        DestroyWindow(hWnd);
    }
    g_pfnGdiplusShutdown(uGdipToken);
    return 0;
}

LRESULT CALLBACK SplashWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg)
    {
        case WM_NCCREATE:
            /* The record goes in the pointer-sized user data: a 32-bit
               window long would cut a 64-bit pointer. */
            SetWindowLongPtrA(hWnd, GWLP_USERDATA, (LONG_PTR)((CREATESTRUCTA *)lParam)->lpCreateParams);
            break;

        case WM_PAINT: {
            SplashState *pState = (SplashState *)GetWindowLongPtrA(hWnd, GWLP_USERDATA);
            if (!RT_VALID_PTR(pState))
                return 0;
            PAINTSTRUCT Paint;
            HDC hDC = BeginPaint(hWnd, &Paint);
            if (hDC)
            {
                SplashPaint(pState, hDC);
                EndPaint(hWnd, &Paint);
            }
            break;
        }

        case WM_TIMER: {
            SplashState *pState = (SplashState *)GetWindowLongPtrA(hWnd, GWLP_USERDATA);
            if (!RT_VALID_PTR(pState))
                return 0;
            pState->uAngle = (pState->uAngle + STUB_SPLASH_ANGLE_STEP) % 360;
            InvalidateRect(hWnd, NULL, FALSE);
            break;
        }

        case WM_DESTROY:
            KillTimer(hWnd, STUB_SPLASH_TIMER_ID);
            PostQuitMessage(0);
            break;
    }
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

void SplashPaint(SplashState *pState, HDC hDC)
{
    UINT cx, cy;
    rtStubSplashImageSize(pState, &cx, &cy);

    /* Drawn off-screen and copied in one go, so the animation does not
       flicker; the surface is made once and kept. */
    if (!pState->hMemDC)
    {
        pState->hMemDC = CreateCompatibleDC(hDC);
        pState->hBitmap = CreateCompatibleBitmap(hDC, (int)cx, (int)cy);
        SelectObject(pState->hMemDC, pState->hBitmap);
    }

    Gdiplus::GpGraphics *pGraphics = NULL;
    if (g_pfnGdipCreateFromHDC(pState->hMemDC, &pGraphics) != Gdiplus::Ok)
        return;
    g_pfnGdipGraphicsClear(pGraphics, STUB_SPLASH_BACKGROUND);
    rtStubSplashImageSize(pState, &cx, &cy);
    g_pfnGdipDrawImageRectI(pGraphics, rtStubSplashImage(pState), 0, 0, (INT)cx, (INT)cy);

    int dx, dy;
    SplashDotOffset(pState->uAngle, &dx, &dy);
    int x = (int)(cx / 2) - dx - STUB_SPLASH_DOT_SIZE / 2;
    int y = (int)(cy / 2) - dy + STUB_SPLASH_ORBIT_DROP - STUB_SPLASH_DOT_SIZE / 2;
    Gdiplus::GpSolidFill *pBrush = NULL;
    if (g_pfnGdipCreateSolidFill(STUB_SPLASH_DOT_COLOUR, &pBrush) == Gdiplus::Ok)
    {
        g_pfnGdipFillEllipseI(pGraphics, pBrush, x, y, STUB_SPLASH_DOT_SIZE, STUB_SPLASH_DOT_SIZE);
        g_pfnGdipDeleteBrush(pBrush);
    }

    BitBlt(hDC, 0, 0, (int)cx, (int)cy, pState->hMemDC, 0, 0, SRCCOPY);
    g_pfnGdipDeleteGraphics(pGraphics);
}

SplashState *StartSplash(void)
{
    SplashState *pState = (SplashState *)RTMemAllocZero(sizeof(*pState));
    if (!pState)
        return NULL;
    pState->hInstance = GetModuleHandleA(NULL);
    int rc = RTThreadCreate(&pState->hThread, SplashThreadProc, pState, 0, RTTHREADTYPE_DEFAULT, RTTHREADFLAGS_WAITABLE,
                            "qrxStbSplsh");
    if (RT_FAILURE(rc))
    {
        RTMemFree(pState); /* no thread ever saw it */
        return NULL;
    }
    /* The thread may still be showing an error box, or be slow to start:
       then the run goes on without a splash and leaves the record to the
       thread, which may still use it. */
    if (RT_FAILURE(RTThreadWaitUserEvent(pState->hThread, STUB_SPLASH_WAIT_MS)))
        return NULL;
    return pState;
}

void StopSplash(SplashState *pState)
{
    if (!pState)
        return;
    HWND hWnd = __atomic_exchange_n(&pState->hWnd, (HWND)NULL, __ATOMIC_ACQ_REL);
    if (hWnd)
        PostMessageA(hWnd, WM_QUIT, 0, 0);
    if (pState->hThread != NIL_RTTHREAD)
    {
        int rcThread = 0;
        int rc = RTThreadWaitForExit(pState->hThread, STUB_SPLASH_WAIT_MS, &rcThread);
        if (RT_FAILURE(rc) || rcThread < 0)
            ShowError("Destruction of splash screen failed with %Rrc\n", RT_FAILURE(rc) ? rc : rcThread);
        pState->hThread = NIL_RTTHREAD;
        if (RT_FAILURE(rc))
            return; /* it may still be running: the record stays with it */
    }
    RTMemFree(pState);
}
