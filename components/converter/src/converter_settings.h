/*
 * A converter printer's settings: where its documents go and how they are
 * written.  They live in the printer's registry key, beside the values the
 * spooler reads (resolution, papers, margins), so that every DC made for
 * the printer, in any process, and the port monitor that writes its
 * documents see the same settings.
 */
#ifndef CONVERTER_SETTINGS_H
#define CONVERTER_SETTINGS_H

#include <cdintf550.h>

#include <string>

namespace converter {

struct Settings {
    std::string folder;       /* SetDefaultDirectory */
    std::string fileName;     /* SetDefaultFileName: full path or a name in folder */
    std::string documentName; /* Lock, SetDocFileProps */
    int fileOptions = CDINTF_NO_PROMPT;
    int resolution = 300;
    int imageOptions = 0;
    bool jpeg = false;
    int jpegLevel = 5;
    int paperSize = CDINTF_PAPER_LETTER;
    int paperLength = 2794; /* tenths of a millimetre */
    int paperWidth = 2159;
    int horizontalMargin = 0;
    int verticalMargin = 0;
    int scaling = CDINTF_SCALE_NONE;
    int scalingPaper = CDINTF_PAPER_LETTER;
};

/* The folder documents go to when none was set. */
constexpr const char *kDefaultFolder = "C:\\novarc\\convert_pdf";

/* Whether `printer` is a converter printer; false with *error set. */
bool IsConverterPrinter(const std::string &printer, std::string *error);

/* The printer's settings (defaults where a value is missing). */
Settings LoadSettings(const std::string &printer);

/* Writes the settings and the spooler's values that follow from them. */
bool StoreSettings(const std::string &printer, const Settings &settings, std::string *error);

/* Width and length in tenths of a millimetre of a known paper number. */
bool KnownPaper(int paperSize, int *width, int *length);

/* The file a document named `documentName` is written to. */
std::string OutputPath(const Settings &settings, const std::string &documentName);

/* The registry key of a printer, under HKEY_LOCAL_MACHINE. */
std::string PrinterKey(const std::string &printer);

} // namespace converter

#endif
