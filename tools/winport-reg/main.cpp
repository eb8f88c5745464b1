/*
 * winport-reg: exports, imports, queries and deletes keys of the winport
 * registry.  Operators use it to add printers and inspect settings; tests
 * use it to set up and check registries.  The root is WINPORT_ROOT's, as
 * for every program on winport.
 *
 *   winport-reg export KEY [FILE]   write KEY and its subkeys as a .reg file
 *   winport-reg import FILE         apply a .reg file
 *   winport-reg query KEY [VALUE]   print a key's values and subkeys, or one value
 *   winport-reg delete KEY [VALUE]  delete a key and its subkeys, or one value
 */
#include "regtool.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

namespace regtool {
namespace {

void Usage(FILE *out)
{
    fprintf(out,
            "usage: winport-reg export KEY [FILE]\n"
            "       winport-reg import FILE\n"
            "       winport-reg query KEY [VALUE]\n"
            "       winport-reg delete KEY [VALUE]\n"
            "\n"
            "KEY is a full key name such as HKEY_LOCAL_MACHINE\\SOFTWARE\\Novarc (or HKLM\\...,\n"
            "HKCU\\..., HKCR\\...).  Files are in the .reg text format (REGEDIT4); FILE \"-\"\n"
            "or no FILE means standard output or input.  The registry is the one under\n"
            "$WINPORT_ROOT.  VALUE \"\" names the default value.\n"
            "\n"
            "Exit status: 0 done, 1 the registry refused or lacks the key or value,\n"
            "2 bad command line, 3 a file could not be read, written or parsed.\n");
}

bool KeyArgument(const char *text, KeyName &key)
{
    if (ParseKeyName(text, key))
        return true;
    fprintf(stderr,
            "winport-reg: \"%s\" is not a key name (it must start with "
            "HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER or HKEY_CLASSES_ROOT)\n",
            text);
    return false;
}

int Export(int argc, char **argv)
{
    KeyName key;
    if (argc < 3 || argc > 4)
        return Usage(stderr), kExitUsage;
    if (!KeyArgument(argv[2], key))
        return kExitUsage;
    if (argc == 3 || strcmp(argv[3], "-") == 0)
        return ExportKey(key, stdout);
    FILE *out = fopen(argv[3], "wb");
    if (!out) {
        fprintf(stderr, "winport-reg: cannot write %s: %s\n", argv[3], strerror(errno));
        return kExitFile;
    }
    int code = ExportKey(key, out);
    if (fclose(out) != 0 && code == kExitOk) {
        fprintf(stderr, "winport-reg: cannot write %s: %s\n", argv[3], strerror(errno));
        code = kExitFile;
    }
    return code;
}

int Import(int argc, char **argv)
{
    if (argc != 3)
        return Usage(stderr), kExitUsage;
    std::string text;
    if (strcmp(argv[2], "-") == 0) {
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
        std::ifstream in(argv[2], std::ios::binary);
        if (!in) {
            fprintf(stderr, "winport-reg: cannot read %s: %s\n", argv[2], strerror(errno));
            return kExitFile;
        }
        std::ostringstream all;
        all << in.rdbuf();
        text = all.str();
    }
    return ImportFile(text, argv[2]);
}

int Query(int argc, char **argv)
{
    KeyName key;
    if (argc < 3 || argc > 4)
        return Usage(stderr), kExitUsage;
    if (!KeyArgument(argv[2], key))
        return kExitUsage;
    return QueryKey(key, argc == 4 ? argv[3] : nullptr);
}

int Delete(int argc, char **argv)
{
    KeyName key;
    if (argc < 3 || argc > 4)
        return Usage(stderr), kExitUsage;
    if (!KeyArgument(argv[2], key))
        return kExitUsage;
    LSTATUS err;
    if (argc == 4) {
        HKEY handle = nullptr;
        err = RegOpenKeyExA(key.root, key.subKey.c_str(), 0, KEY_SET_VALUE, &handle);
        if (err == ERROR_SUCCESS) {
            err = RegDeleteValueA(handle, argv[3]);
            RegCloseKey(handle);
        }
    } else if (key.subKey.empty()) {
        fprintf(stderr, "winport-reg: %s itself cannot be deleted\n", key.rootName.c_str());
        return kExitFailed;
    } else {
        err = DeleteTree(key.root, key.subKey);
    }
    if (err != ERROR_SUCCESS) {
        fprintf(stderr, "winport-reg: cannot delete %s%s%s: %s\n", key.Full().c_str(),
                argc == 4 ? " value " : "", argc == 4 ? argv[3] : "", ErrorText(err).c_str());
        return kExitFailed;
    }
    return kExitOk;
}

} // namespace
} // namespace regtool

int main(int argc, char **argv)
{
    using namespace regtool;
    if (argc < 2)
        return Usage(stderr), kExitUsage;
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help")
        return Usage(stdout), kExitOk;
    if (command == "export")
        return Export(argc, argv);
    if (command == "import")
        return Import(argc, argv);
    if (command == "query")
        return Query(argc, argv);
    if (command == "delete")
        return Delete(argc, argv);
    fprintf(stderr, "winport-reg: unknown command \"%s\"\n", argv[1]);
    Usage(stderr);
    return kExitUsage;
}
