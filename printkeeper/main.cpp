/*
 * The program entry on this platform: hands over to WinMain as the Windows
 * loader would, with the command line after the program name.
 */
#include <string>

#include "printkeeper.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);

int main(int argc, char **argv)
{
    std::string commandLine;
    for (int i = 1; i < argc; i++) {
        if (i > 1)
            commandLine += ' ';
        commandLine += argv[i];
    }
    return WinMain(NULL, NULL, &commandLine[0], SW_SHOWNORMAL);
}
