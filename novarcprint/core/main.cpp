/*
 * The program entry on this platform: hands over to WinMain as the Windows
 * loader would, with no previous instance and the window hidden.
 */
#include "main_window.h"

int main()
{
    return WinMain(NULL, NULL, (LPSTR) "", 0);
}
