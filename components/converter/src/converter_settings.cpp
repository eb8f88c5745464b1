/*
 * Converter settings in the printer's registry key (see
 * converter_settings.h).
 */
#include "converter_settings.h"

#include <cstdio>
#include <strings.h>

namespace converter {
namespace {

struct PaperName {
    int number;
    int width;
    int length;
};
constexpr PaperName kPapers[] = {
    {CDINTF_PAPER_LETTER, 2159, 2794},
    {CDINTF_PAPER_LEGAL, 2159, 3556},
    {CDINTF_PAPER_A4, 2100, 2970},
};

/* One registry value of the settings. */
struct Field {
    const char *name;
    int Settings::*number;
    std::string Settings::*text;
};
constexpr Field kFields[] = {
    {"Converter Folder", nullptr, &Settings::folder},
    {"Converter File", nullptr, &Settings::fileName},
    {"Converter Document", nullptr, &Settings::documentName},
    {"Converter File Options", &Settings::fileOptions, nullptr},
    {"Converter Image Options", &Settings::imageOptions, nullptr},
    {"Converter JPEG Level", &Settings::jpegLevel, nullptr},
    {"Converter Paper Size", &Settings::paperSize, nullptr},
    {"Converter Paper Length", &Settings::paperLength, nullptr},
    {"Converter Paper Width", &Settings::paperWidth, nullptr},
    {"Converter Horizontal Margin", &Settings::horizontalMargin, nullptr},
    {"Converter Vertical Margin", &Settings::verticalMargin, nullptr},
    {"Converter Scaling", &Settings::scaling, nullptr},
    {"Converter Scaling Paper", &Settings::scalingPaper, nullptr},
    {"Resolution", &Settings::resolution, nullptr},
};

class Key {
public:
    Key(const std::string &printer, bool write)
    {
        REGSAM access = write ? KEY_READ | KEY_WRITE : KEY_READ;
        error_ = write ? RegCreateKeyExA(HKEY_LOCAL_MACHINE, PrinterKey(printer).c_str(), 0,
                                         nullptr, 0, access, nullptr, &key_, nullptr)
                       : RegOpenKeyExA(HKEY_LOCAL_MACHINE, PrinterKey(printer).c_str(), 0, access,
                                       &key_);
    }
    ~Key()
    {
        if (error_ == ERROR_SUCCESS)
            RegCloseKey(key_);
    }
    Key(const Key &) = delete;
    Key &operator=(const Key &) = delete;

    LONG error() const { return error_; }

    bool Get(const char *name, std::string *text) const
    {
        char buf[1024];
        DWORD size = sizeof buf - 1, type = 0;
        if (RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE *>(buf), &size) !=
                ERROR_SUCCESS ||
            type != REG_SZ)
            return false;
        buf[size] = '\0';
        *text = buf;
        return true;
    }
    bool Get(const char *name, int *number) const
    {
        DWORD value = 0, size = sizeof value, type = 0;
        if (RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE *>(&value), &size) !=
                ERROR_SUCCESS ||
            type != REG_DWORD)
            return false;
        *number = static_cast<int>(value);
        return true;
    }
    LONG Set(const char *name, const std::string &text)
    {
        return RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                              static_cast<DWORD>(text.size() + 1));
    }
    LONG Set(const char *name, int number)
    {
        DWORD value = static_cast<DWORD>(number);
        return RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value),
                              sizeof value);
    }

private:
    HKEY key_ = nullptr;
    LONG error_;
};

bool IsAbsolute(const std::string &path)
{
    return (path.size() >= 2 && path[1] == ':') || (!path.empty() && path[0] == '\\');
}

} // namespace

std::string PrinterKey(const std::string &printer)
{
    return "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\" + printer;
}

bool KnownPaper(int paperSize, int *width, int *length)
{
    for (const PaperName &p : kPapers)
        if (p.number == paperSize) {
            *width = p.width;
            *length = p.length;
            return true;
        }
    return false;
}

bool IsConverterPrinter(const std::string &printer, std::string *error)
{
    /* The name comes from the server and becomes a file name (the lock):
     * nothing that could leave the lock folder. */
    if (printer.empty() || printer.find_first_of("\\/:") != std::string::npos || printer == "." ||
        printer == "..") {
        *error = "no printer name";
        return false;
    }
    Key key(printer, false);
    std::string driver;
    if (key.error() != ERROR_SUCCESS) {
        *error = "the printer " + printer + " is not installed";
        return false;
    }
    if (!key.Get("Printer Driver", &driver) || strcasecmp(driver.c_str(), CDINTF_DRIVER_NAME)) {
        *error = "the printer " + printer + " is not a converter printer";
        return false;
    }
    return true;
}

Settings LoadSettings(const std::string &printer)
{
    Settings settings;
    Key key(printer, false);
    if (key.error() != ERROR_SUCCESS)
        return settings;
    for (const Field &f : kFields)
        if (f.number)
            key.Get(f.name, &(settings.*f.number));
        else
            key.Get(f.name, &(settings.*f.text));
    int jpeg = 0;
    if (key.Get("Converter JPEG", &jpeg))
        settings.jpeg = jpeg != 0;
    return settings;
}

bool StoreSettings(const std::string &printer, const Settings &s, std::string *error)
{
    Key key(printer, true);
    LONG rc = key.error();
    for (const Field &f : kFields)
        if (rc == ERROR_SUCCESS)
            rc = f.number ? key.Set(f.name, s.*f.number) : key.Set(f.name, s.*f.text);
    if (rc == ERROR_SUCCESS)
        rc = key.Set("Converter JPEG", s.jpeg ? 1 : 0);
    /* What the spooler reads: the user-defined paper carries the size set,
     * and a number we do not know is printed on it too. */
    int w = 0, l = 0;
    bool known = KnownPaper(s.paperSize, &w, &l);
    char papers[160];
    std::snprintf(papers, sizeof papers,
                  "1:2159x2794:Letter;5:2159x3556:Legal;9:2100x2970:A4;256:%dx%d:User defined",
                  s.paperWidth, s.paperLength);
    char margins[64];
    std::snprintf(margins, sizeof margins, "%d,%d,%d,%d", s.horizontalMargin, s.verticalMargin,
                  s.horizontalMargin, s.verticalMargin);
    if (rc == ERROR_SUCCESS)
        rc = key.Set("Papers", std::string(papers));
    if (rc == ERROR_SUCCESS)
        rc = key.Set("DefaultPaper", known ? s.paperSize : CDINTF_PAPER_USER);
    if (rc == ERROR_SUCCESS)
        rc = key.Set("Margins", std::string(margins));
    if (rc != ERROR_SUCCESS)
        *error = "cannot write the settings of " + printer + " (error " + std::to_string(rc) + ")";
    return rc == ERROR_SUCCESS;
}

std::string OutputPath(const Settings &s, const std::string &documentName)
{
    std::string folder = s.folder.empty() ? kDefaultFolder : s.folder;
    if (!s.fileName.empty())
        return IsAbsolute(s.fileName) ? s.fileName : folder + "\\" + s.fileName;
    /* No file set: the document's name, made safe as a file name. */
    std::string name;
    for (char c : documentName)
        name += (c == '\\' || c == '/' || c == ':' || c == '*' || c == '?' || c == '"' ||
                 c == '<' || c == '>' || c == '|' || static_cast<unsigned char>(c) < 32)
                    ? '_'
                    : c;
    if (name.empty() || name == "." || name == "..")
        name = "Document";
    if (name.size() < 4 || strcasecmp(name.c_str() + name.size() - 4, ".pdf") != 0)
        name += ".pdf";
    return folder + "\\" + name;
}

} // namespace converter
