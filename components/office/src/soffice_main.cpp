/*
 * "soffice.exe", the headless office program the registry names under App
 * Paths: started by the print client as
 *
 *   soffice.exe -norestore -nofirststartwizard -nologo -headless -pt <printer> <file>
 *
 * it prints the office file on the printer (a winport printer by name)
 * through LibreOffice and ends; 0 when pages were printed.  Other options
 * are accepted and ignored, as the real program's are for printing.
 */
#include "office_print.h"

#include <cstdio>
#include <cstring>

int main(int argc, char **argv)
{
    const char *printer = nullptr, *file = nullptr;
    for (int i = 1; i < argc; i++)
        if (std::strcmp(argv[i], "-pt") == 0 && i + 2 < argc) {
            printer = argv[i + 1];
            file = argv[i + 2];
            break;
        }
    if (!printer || !file) {
        std::fprintf(stderr, "usage: soffice.exe -pt <printer> <file>\n");
        return 2;
    }
    std::string error;
    if (office::PrintFile(printer, file, false, &error) > 0)
        return 0;
    std::fprintf(stderr, "soffice.exe: %s\n", error.c_str());
    return 1;
}
