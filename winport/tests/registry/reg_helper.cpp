/*
 * A second process for the registry tests: it works on the registry of
 * $WINPORT_ROOT while the test process watches.  Keys are below
 * HKEY_LOCAL_MACHINE\SOFTWARE.
 *
 *   reg_helper get KEY NAME            print the DWORD value (exit 1: missing)
 *   reg_helper set KEY NAME NUMBER     set a DWORD value
 *   reg_helper fill KEY PREFIX COUNT   set PREFIX0..PREFIXn-1 to 0..n-1
 *   reg_helper delete KEY              delete the key
 *   reg_helper churn KEY               forever: Counter = i, then Blob = pattern(i);
 *                                      prints "ready" after the first round
 */
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr size_t kBlobSize = 96 * 1024;

HKEY OpenKey(const char *name)
{
    HKEY key = nullptr;
    std::string path = std::string("SOFTWARE\\") + name;
    LSTATUS err = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr);
    if (err != ERROR_SUCCESS) {
        fprintf(stderr, "reg_helper: cannot open %s: %ld\n", path.c_str(), static_cast<long>(err));
        exit(2);
    }
    return key;
}

LSTATUS SetDword(HKEY key, const char *name, DWORD value)
{
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value),
                          sizeof value);
}

/* The blob of round i: its number, then bytes derived from it. */
std::string Pattern(uint64_t round)
{
    std::string blob(kBlobSize, '\0');
    memcpy(blob.data(), &round, sizeof round);
    for (size_t k = sizeof round; k < blob.size(); ++k)
        blob[k] = static_cast<char>((round * 7 + k) & 0xff);
    return blob;
}

int Churn(const char *name)
{
    HKEY key = OpenKey(name);
    for (uint64_t round = 1;; ++round) {
        std::string blob = Pattern(round);
        if (SetDword(key, "Counter", static_cast<DWORD>(round)) != ERROR_SUCCESS ||
            RegSetValueExA(key, "Blob", 0, REG_BINARY, reinterpret_cast<const BYTE *>(blob.data()),
                           static_cast<DWORD>(blob.size())) != ERROR_SUCCESS)
            return 3;
        if (round == 1) {
            printf("ready\n");
            fflush(stdout);
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "get" && argc == 4) {
        HKEY key = OpenKey(argv[2]);
        DWORD value = 0, size = sizeof value;
        LSTATUS err = RegQueryValueExA(key, argv[3], nullptr, nullptr,
                                       reinterpret_cast<BYTE *>(&value), &size);
        RegCloseKey(key);
        if (err != ERROR_SUCCESS)
            return 1;
        printf("%lu\n", static_cast<unsigned long>(value));
        return 0;
    }
    if (command == "set" && argc == 5) {
        HKEY key = OpenKey(argv[2]);
        LSTATUS err = SetDword(key, argv[3], static_cast<DWORD>(strtoul(argv[4], nullptr, 10)));
        RegCloseKey(key);
        return err == ERROR_SUCCESS ? 0 : 1;
    }
    if (command == "fill" && argc == 5) {
        HKEY key = OpenKey(argv[2]);
        const int count = atoi(argv[4]);
        for (int i = 0; i < count; ++i) {
            std::string name = argv[3] + std::to_string(i);
            if (SetDword(key, name.c_str(), static_cast<DWORD>(i)) != ERROR_SUCCESS)
                return 1;
        }
        RegCloseKey(key);
        return 0;
    }
    if (command == "delete" && argc == 3) {
        std::string path = std::string("SOFTWARE\\") + argv[2];
        return RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str()) == ERROR_SUCCESS ? 0 : 1;
    }
    if (command == "churn" && argc == 3)
        return Churn(argv[2]);
    fprintf(stderr, "usage: reg_helper get|set|fill|delete|churn KEY ...\n");
    return 2;
}
