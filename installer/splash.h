/** @file
 * The splash screen of interactive runs: a borderless window in the middle
 * of the screen with the product's picture (resource 102 of type "PNG") and
 * a dark-blue dot circling below its centre. It lives on a thread of its
 * own ("qrxStbSplsh"), which owns the window, its message loop and timer and
 * every imaging object, and shares only a SplashState with the main thread.
 */
#ifndef STUB_SPLASH_H
#define STUB_SPLASH_H

#include <windows.h>

#include <zolt/thread.h>

#include <stdint.h>

/** The record shared by the run sequence and the splash thread. */
typedef struct SplashState
{
    /** Our module: the picture resource and the window class live there.
     *  Set before the thread starts. */
    HINSTANCE hInstance;
    /** The splash window; null when there is none. Written by the splash
     *  thread, read and cleared by the main thread: accessed atomically. */
    HWND hWnd;
    /** The splash thread; stored by the thread creation. */
    RTTHREAD hThread;
    /** The decoded picture (a GDI+ image); null when there is none. */
    void *pImage;
    /** Where the dot is, in degrees 0 to 359. */
    uint32_t uAngle;
    /** Off-screen surface, made by the first paint. */
    HDC hMemDC;
    HBITMAP hBitmap;
} SplashState;

/** The window class of the splash window. */
#define STUB_SPLASH_CLASS "QuorSplashScreenClass"
/** Resource id of the picture (type "PNG"). */
#define STUB_SPLASH_IMAGE_ID 102
/** How long the run waits for the thread's start and end, in ms. */
#define STUB_SPLASH_WAIT_MS 5000

/**
 * The splash thread: starts the imaging library, decodes the picture,
 * creates the window and its 50 ms animation timer, signals its start
 * (RTThreadSignalUserEvent, on every path past the record check, after any
 * error message has been dismissed) and runs the message loop until
 * WM_QUIT. Then it releases everything it made.
 * @returns 0; ERR_INVALID_POINTER at once, without signalling, for an
 *          invalid record pointer.
 */
int SplashThreadProc(RTTHREAD hSelf, void *pvUser);

/** The splash window's procedure (its user data is the record). */
LRESULT CALLBACK SplashWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

/**
 * The dot's offset from its orbit's centre at @a uAngle degrees, as the
 * frame subtracts it: r = uAngle * 3.14159 / 180, *pdx = cos(r) * -10 and
 * *pdy = sin(r) * -10, each truncated toward zero (the C library's cos and
 * sin give the same integers).
 */
void SplashDotOffset(uint32_t uAngle, int *pdx, int *pdy);

/** Draws one frame: white background, the picture, the dot at uAngle. */
void SplashPaint(SplashState *pState, HDC hDC);

/**
 * Starts the splash screen: allocates the record, creates the thread and
 * waits up to 5000 ms for its start signal.
 * @returns the record, or null when the splash cannot start (nothing is
 *          reported; a record whose thread may still run is left alone).
 */
SplashState *StartSplash(void);

/**
 * Stops the splash screen: posts WM_QUIT to the window, waits up to 5000 ms
 * for the thread and frees the record once the thread has ended (a thread
 * that did not end keeps its record for the rest of the process). A wait
 * failure or a negative thread result is shown ("Destruction of splash
 * screen failed with %Rrc\n"). Null is ignored.
 */
void StopSplash(SplashState *pState);

#endif /* STUB_SPLASH_H */
