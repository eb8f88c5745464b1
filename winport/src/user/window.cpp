/*
 * Windows: until window classes and windows arrive with the runtime, no
 * window exists, so every window handle is invalid.
 */
#include <windows.h>

/* GetActiveWindow: the calling thread's active window; NULL, as no window
 * exists yet. */
HWND WINAPI GetActiveWindow(void)
{
    return nullptr;
}

/* GetClassNameA: the class name of a window; every handle is invalid for now
 * (0, ERROR_INVALID_WINDOW_HANDLE). */
int WINAPI GetClassNameA(HWND hWnd, LPSTR lpClassName, int nMaxCount)
{
    (void)hWnd;
    (void)lpClassName;
    (void)nMaxCount;
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
}
