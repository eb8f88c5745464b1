/*
 * winport-reg export and query: walking a key through the Reg* functions
 * and writing it as a .reg file (REGEDIT4: ANSI strings, as the A
 * functions store them) or as a listing for people.
 *
 *   [HKEY_LOCAL_MACHINE\SOFTWARE\Novarc]
 *   @="default"
 *   "Port"="FILE:"
 *   "Copies"=dword:00000002
 *   "DevMode"=hex:01,02,ff
 *   "Expanded"=hex(2):25,53,00          (REG_EXPAND_SZ and REG_MULTI_SZ in hex,
 *   "Bins"=hex(7):55,70,00,00            as Windows exports them)
 *
 * A REG_SZ that is not one clean line of text (no NUL at its end, a NUL or
 * a line break inside) is written as hex(1) so it imports byte for byte.
 */
#include "regtool.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace regtool {
namespace {

struct ValueItem {
    std::string name;
    DWORD type = REG_NONE;
    std::string data;
};

std::string Quote(const std::string &text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

/* A REG_SZ that a quoted REGEDIT4 string reproduces exactly. */
bool IsPlainString(const std::string &data)
{
    return !data.empty() && data.back() == '\0' && data.find('\0') == data.size() - 1 &&
           data.find_first_of("\r\n") == std::string::npos;
}

std::string HexData(DWORD type, const std::string &data, size_t column)
{
    char prefix[24];
    if (type == REG_BINARY)
        snprintf(prefix, sizeof prefix, "hex:");
    else
        snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(type));
    std::string out = prefix;
    column += out.size();
    for (size_t i = 0; i < data.size(); ++i) {
        char byte[4];
        snprintf(byte, sizeof byte, "%02x", static_cast<unsigned char>(data[i]));
        out += byte;
        column += 2;
        if (i + 1 < data.size()) {
            out += ',';
            if (++column > 76) { // wrap long lists as regedit does
                out += "\\\n  ";
                column = 2;
            }
        }
    }
    return out;
}

std::string ValueLine(const ValueItem &value)
{
    std::string line = value.name.empty() ? "@" : Quote(value.name);
    line += '=';
    if (value.type == REG_SZ && IsPlainString(value.data))
        return line + Quote(value.data.substr(0, value.data.size() - 1));
    if (value.type == REG_DWORD && value.data.size() == 4) {
        DWORD dw;
        memcpy(&dw, value.data.data(), 4);
        char text[24];
        snprintf(text, sizeof text, "dword:%08x", dw);
        return line + text;
    }
    return line + HexData(value.type, value.data, line.size());
}

LSTATUS ReadValues(HKEY key, std::vector<ValueItem> &values)
{
    DWORD maxName = 0, maxData = 0;
    LSTATUS err = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, &maxName, &maxData, nullptr, nullptr);
    if (err != ERROR_SUCCESS)
        return err;
    std::vector<char> name(maxName + 1);
    std::vector<BYTE> data(maxData + 1);
    for (DWORD index = 0;;) {
        DWORD nameSize = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        ValueItem item;
        err = RegEnumValueA(key, index, name.data(), &nameSize, nullptr, &item.type, data.data(),
                            &dataSize);
        if (err == ERROR_NO_MORE_ITEMS)
            return ERROR_SUCCESS;
        if (err == ERROR_MORE_DATA) { // changed meanwhile: grow and ask again
            name.resize(name.size() * 2 + 16384);
            data.resize(std::max<size_t>(data.size() * 2, dataSize + 1));
            continue;
        }
        if (err != ERROR_SUCCESS)
            return err;
        item.name.assign(name.data(), nameSize);
        item.data.assign(reinterpret_cast<const char *>(data.data()), dataSize);
        values.push_back(std::move(item));
        ++index;
    }
}

LSTATUS ReadSubkeys(HKEY key, std::vector<std::string> &names)
{
    char name[256];
    for (DWORD index = 0;; ++index) {
        DWORD size = sizeof name;
        LSTATUS err = RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (err == ERROR_NO_MORE_ITEMS)
            return ERROR_SUCCESS;
        if (err != ERROR_SUCCESS)
            return err;
        names.emplace_back(name, size);
    }
}

LSTATUS ExportTree(HKEY key, const std::string &path, FILE *out)
{
    std::vector<ValueItem> values;
    std::vector<std::string> subkeys;
    LSTATUS err = ReadValues(key, values);
    if (err == ERROR_SUCCESS)
        err = ReadSubkeys(key, subkeys);
    if (err != ERROR_SUCCESS)
        return err;
    fprintf(out, "\n[%s]\n", path.c_str());
    for (const ValueItem &value : values) {
        if (value.name.find_first_of("\r\n") != std::string::npos) {
            fprintf(stderr,
                    "winport-reg: %s: a value name with a line break cannot be "
                    "exported; skipped\n",
                    path.c_str());
            continue;
        }
        fprintf(out, "%s\n", ValueLine(value).c_str());
    }
    for (const std::string &name : subkeys) {
        HKEY child = nullptr;
        err = RegOpenKeyExA(key, name.c_str(), 0, KEY_READ, &child);
        if (err == ERROR_FILE_NOT_FOUND)
            continue; // deleted meanwhile
        if (err != ERROR_SUCCESS)
            return err;
        err = ExportTree(child, path + "\\" + name, out);
        RegCloseKey(child);
        if (err != ERROR_SUCCESS)
            return err;
    }
    return ERROR_SUCCESS;
}

const char *TypeName(DWORD type)
{
    static const char *const kNames[] = {"REG_NONE",   "REG_SZ",      "REG_EXPAND_SZ",
                                         "REG_BINARY", "REG_DWORD",   "REG_DWORD_BIG_ENDIAN",
                                         "REG_LINK",   "REG_MULTI_SZ"};
    if (type < sizeof kNames / sizeof kNames[0])
        return kNames[type];
    return type == REG_QWORD ? "REG_QWORD" : "REG_UNKNOWN";
}

std::string DisplayData(const ValueItem &value)
{
    const std::string &data = value.data;
    char text[32];
    if (value.type == REG_DWORD && data.size() == 4) {
        DWORD dw;
        memcpy(&dw, data.data(), 4);
        snprintf(text, sizeof text, "0x%x", dw);
        return text;
    }
    if (value.type == REG_QWORD && data.size() == 8) {
        ULONGLONG qw;
        memcpy(&qw, data.data(), 8);
        snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(qw));
        return text;
    }
    if (value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ) {
        std::string shown = data;
        while (!shown.empty() && shown.back() == '\0')
            shown.pop_back();
        std::string out;
        for (char c : shown)
            out += c ? std::string(1, c) : std::string("\\0");
        return out;
    }
    std::string out;
    for (unsigned char c : data) {
        snprintf(text, sizeof text, "%02X", c);
        out += text;
    }
    return out;
}

void PrintValue(const ValueItem &value)
{
    printf("    %s    %s    %s\n", value.name.empty() ? "(Default)" : value.name.c_str(),
           TypeName(value.type), DisplayData(value).c_str());
}

} // namespace

int ExportKey(const KeyName &key, FILE *out)
{
    HKEY handle = nullptr;
    LSTATUS err = RegOpenKeyExA(key.root, key.subKey.c_str(), 0, KEY_READ, &handle);
    if (err == ERROR_SUCCESS) {
        fputs("REGEDIT4\n", out);
        err = ExportTree(handle, key.Full(), out);
        RegCloseKey(handle);
    }
    if (err != ERROR_SUCCESS) {
        fprintf(stderr, "winport-reg: cannot export %s: %s\n", key.Full().c_str(),
                ErrorText(err).c_str());
        return kExitFailed;
    }
    fputs("\n", out);
    return fflush(out) == 0 && !ferror(out) ? kExitOk : kExitFile;
}

/* One value, read with RegQueryValueExA so its name matches as the
 * registry matches names. */
static int QueryValue(HKEY handle, const KeyName &key, const char *valueName)
{
    ValueItem value;
    value.name = valueName;
    DWORD size = 0;
    LSTATUS err = RegQueryValueExA(handle, valueName, nullptr, &value.type, nullptr, &size);
    while (err == ERROR_SUCCESS || err == ERROR_MORE_DATA) {
        value.data.resize(size);
        err = RegQueryValueExA(handle, valueName, nullptr, &value.type,
                               reinterpret_cast<BYTE *>(value.data.data()), &size);
        if (err == ERROR_SUCCESS) {
            value.data.resize(size);
            printf("%s\n", key.Full().c_str());
            PrintValue(value);
            return kExitOk;
        }
    }
    fprintf(stderr, "winport-reg: cannot read %s value \"%s\": %s\n", key.Full().c_str(), valueName,
            ErrorText(err).c_str());
    return kExitFailed;
}

int QueryKey(const KeyName &key, const char *valueName)
{
    HKEY handle = nullptr;
    LSTATUS err = RegOpenKeyExA(key.root, key.subKey.c_str(), 0, KEY_READ, &handle);
    std::vector<ValueItem> values;
    std::vector<std::string> subkeys;
    if (err == ERROR_SUCCESS && valueName) {
        int code = QueryValue(handle, key, valueName);
        RegCloseKey(handle);
        return code;
    }
    if (err == ERROR_SUCCESS) {
        err = ReadValues(handle, values);
        if (err == ERROR_SUCCESS)
            err = ReadSubkeys(handle, subkeys);
        RegCloseKey(handle);
    }
    if (err != ERROR_SUCCESS) {
        fprintf(stderr, "winport-reg: cannot read %s: %s\n", key.Full().c_str(),
                ErrorText(err).c_str());
        return kExitFailed;
    }
    printf("%s\n", key.Full().c_str());
    for (const ValueItem &value : values)
        PrintValue(value);
    for (const std::string &name : subkeys)
        printf("\n%s\\%s\n", key.Full().c_str(), name.c_str());
    return kExitOk;
}

} // namespace regtool
