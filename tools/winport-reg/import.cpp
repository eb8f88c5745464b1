/*
 * winport-reg import: reading a .reg file and applying it through the Reg*
 * functions.
 *
 * The whole file is parsed before anything is changed, so a file with a
 * mistake changes nothing; the mistake is reported with its line.  Both
 * .reg dialects are read: REGEDIT4 (ANSI, what export writes) and
 * "Windows Registry Editor Version 5.00" (as Windows' regedit saves it,
 * UTF-16 text whose hex(1), hex(2) and hex(7) data is UTF-16 too); text is
 * stored in code page 1252, the A functions' character set, with '?' for
 * characters 1252 lacks.
 *
 *   [KEY]            create KEY (and the keys on its path)
 *   [-KEY]           delete KEY and its subkeys
 *   "name"="text"    REG_SZ; inside quotes \\ is a backslash, \" a quote
 *   @=...            the default value
 *   "name"=dword:0000000a, hex:.., hex(N):..  (a list may go on over lines
 *                    ending in a backslash)
 *   "name"=-         delete the value
 */
#include "regtool.h"

#include <cstring>
#include <vector>

namespace regtool {
namespace {

constexpr size_t kMaxData = 1024 * 1024;

struct Operation {
    enum Kind { CreateKey, DeleteKey, SetValue, DeleteValue } kind = CreateKey;
    KeyName key;
    std::string name;
    DWORD type = REG_NONE;
    std::string data;
    int line = 0;
};

/* 1252 bytes 0x80..0x9F as Unicode, to map UTF-16 back to 1252. */
constexpr uint16_t kHigh1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char To1252(uint16_t unit)
{
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF))
        return static_cast<char>(unit);
    for (int i = 0; i < 32; ++i) {
        if (kHigh1252[i] == unit)
            return static_cast<char>(0x80 + i);
    }
    return '?';
}

std::string Utf16To1252(const std::string &bytes)
{
    std::string out;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        out += To1252(static_cast<uint16_t>(static_cast<unsigned char>(bytes[i]) |
                                            static_cast<unsigned char>(bytes[i + 1]) << 8));
    return out;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(c | 0x20);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

class Parser {
public:
    explicit Parser(std::vector<Operation> &ops) : ops_(ops) {}
    /* false with error() set at the first mistake. */
    bool Parse(std::string text);
    const std::string &error() const { return error_; }

private:
    bool Fail(const std::string &why)
    {
        error_ = "line " + std::to_string(line_) + ": " + why;
        return false;
    }
    bool Line(const std::string &line);
    bool Section(const std::string &line);
    bool ValueLine(const std::string &line);
    bool Quoted(const std::string &line, size_t &pos, std::string &out);
    bool Data(const std::string &line, size_t pos, Operation &op);
    bool HexList(const std::string &text, std::string &out);

    std::vector<Operation> &ops_;
    std::string error_;
    int line_ = 0;
    int version_ = 0; // 4 or 5
    bool inKey_ = false;
    KeyName key_;
};

bool Parser::Parse(std::string text)
{
    if (text.size() >= 2 && text[0] == '\xff' && text[1] == '\xfe')
        text = Utf16To1252(text.substr(2));
    else if (text.compare(0, 3, "\xef\xbb\xbf") == 0)
        text.erase(0, 3);
    size_t pos = 0;
    int next = 1;
    while (pos < text.size()) {
        std::string line;
        line_ = next;
        for (;;) { // join lines that end in a backslash
            size_t end = text.find('\n', pos);
            std::string piece = text.substr(pos, end == std::string::npos ? end : end - pos);
            pos = end == std::string::npos ? text.size() : end + 1;
            ++next;
            while (!piece.empty() &&
                   (piece.back() == '\r' || piece.back() == ' ' || piece.back() == '\t'))
                piece.pop_back();
            size_t lead = piece.find_first_not_of(" \t");
            line += lead == std::string::npos ? "" : piece.substr(lead);
            const bool valueLine = !line.empty() && (line[0] == '"' || line[0] == '@');
            if (!valueLine || line.back() != '\\' || pos >= text.size())
                break;
            line.pop_back();
        }
        if (!Line(line))
            return false;
    }
    if (!version_)
        return Fail("the file is empty");
    return true;
}

bool Parser::Line(const std::string &raw)
{
    const size_t start = raw.find_first_not_of(" \t");
    if (start == std::string::npos || raw[start] == ';')
        return true;
    const std::string line = raw.substr(start);
    if (!version_) {
        if (line == "REGEDIT4")
            version_ = 4;
        else if (line == "Windows Registry Editor Version 5.00")
            version_ = 5;
        else
            return Fail("not a .reg file: the first line must be REGEDIT4 or "
                        "\"Windows Registry Editor Version 5.00\"");
        return true;
    }
    if (line[0] == '[')
        return Section(line);
    if (!inKey_)
        return Fail("a value line outside a [key] section");
    return ValueLine(line);
}

bool Parser::Section(const std::string &line)
{
    if (line.back() != ']')
        return Fail("a [key] line must end with ]");
    Operation op;
    op.line = line_;
    bool remove = line.size() > 1 && line[1] == '-';
    std::string name = line.substr(remove ? 2 : 1, line.size() - (remove ? 3 : 2));
    if (!ParseKeyName(name, op.key))
        return Fail("\"" + name +
                    "\" does not start with HKEY_LOCAL_MACHINE, "
                    "HKEY_CURRENT_USER or HKEY_CLASSES_ROOT");
    op.kind = remove ? Operation::DeleteKey : Operation::CreateKey;
    if (remove && op.key.subKey.empty())
        return Fail("a predefined key itself cannot be deleted");
    inKey_ = !remove;
    key_ = op.key;
    ops_.push_back(std::move(op));
    return true;
}

bool Parser::Quoted(const std::string &line, size_t &pos, std::string &out)
{
    out.clear();
    for (++pos; pos < line.size(); ++pos) {
        char c = line[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\') {
            if (++pos >= line.size() || (line[pos] != '\\' && line[pos] != '"'))
                return Fail("unknown escape in a string (write a backslash as \\\\ and a "
                            "quote as \\\")");
            c = line[pos];
        }
        if (out.size() >= kMaxData)
            return Fail("a string longer than the registry allows");
        out += c;
    }
    return Fail("a string without its closing quote");
}

bool Parser::ValueLine(const std::string &line)
{
    Operation op;
    op.kind = Operation::SetValue;
    op.key = key_;
    op.line = line_;
    size_t pos = 1;
    if (line[0] == '"') {
        pos = 0;
        if (!Quoted(line, pos, op.name))
            return false;
        if (op.name.empty())
            return Fail("an empty value name (write the default value as @)");
    } else if (line[0] != '@') {
        return Fail("expected \"name\"=, @= or a [key] line");
    }
    pos = line.find_first_not_of(" \t", pos);
    if (pos == std::string::npos || line[pos] != '=')
        return Fail("expected = after the value name");
    pos = line.find_first_not_of(" \t", pos + 1);
    if (pos == std::string::npos)
        return Fail("no data after =");
    if (!Data(line, pos, op))
        return false;
    ops_.push_back(std::move(op));
    return true;
}

bool Parser::Data(const std::string &line, size_t pos, Operation &op)
{
    const std::string rest = line.substr(pos);
    if (rest == "-") {
        op.kind = Operation::DeleteValue;
        return true;
    }
    if (rest[0] == '"') {
        op.type = REG_SZ;
        if (!Quoted(line, pos, op.data))
            return false;
        if (line.find_first_not_of(" \t", pos) != std::string::npos)
            return Fail("text after the closing quote");
        op.data += '\0';
        return true;
    }
    if (rest.compare(0, 6, "dword:") == 0) {
        std::string digits = rest.substr(6);
        if (digits.empty() || digits.size() > 8 ||
            digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return Fail("dword: needs one to eight hex digits");
        DWORD dw = static_cast<DWORD>(strtoul(digits.c_str(), nullptr, 16));
        op.type = REG_DWORD;
        op.data.assign(reinterpret_cast<const char *>(&dw), 4);
        return true;
    }
    if (rest.compare(0, 4, "hex:") == 0) {
        op.type = REG_BINARY;
        return HexList(rest.substr(4), op.data);
    }
    if (rest.compare(0, 4, "hex(") == 0) {
        size_t close = rest.find("):");
        std::string digits = rest.substr(4, close == std::string::npos ? 0 : close - 4);
        if (digits.empty() || digits.size() > 8 ||
            digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return Fail("hex(N): needs the type as a hex number");
        op.type = static_cast<DWORD>(strtoul(digits.c_str(), nullptr, 16));
        if (!HexList(rest.substr(close + 2), op.data))
            return false;
        bool text = op.type == REG_SZ || op.type == REG_EXPAND_SZ || op.type == REG_MULTI_SZ;
        if (version_ == 5 && text)
            op.data = Utf16To1252(op.data); // version 5 files hold these as UTF-16
        return true;
    }
    return Fail("unknown data (expected \"text\", dword:, hex:, hex(N): or -)");
}

bool Parser::HexList(const std::string &text, std::string &out)
{
    out.clear();
    size_t pos = text.find_first_not_of(" \t");
    while (pos != std::string::npos && pos < text.size()) {
        int hi = HexDigit(text[pos]);
        int lo = pos + 1 < text.size() ? HexDigit(text[pos + 1]) : -1;
        if (hi < 0 || lo < 0)
            return Fail("hex data must be two-digit bytes separated by commas");
        if (out.size() >= kMaxData)
            return Fail("data larger than the registry allows");
        out += static_cast<char>(hi * 16 + lo);
        pos = text.find_first_not_of(" \t", pos + 2);
        if (pos == std::string::npos)
            break;
        if (text[pos] != ',')
            return Fail("hex data must be two-digit bytes separated by commas");
        pos = text.find_first_not_of(" \t", pos + 1);
    }
    return true;
}

/* Applies one operation; `current` is the key of the last [KEY] line. */
LSTATUS Apply(const Operation &op, HKEY &current)
{
    switch (op.kind) {
    case Operation::CreateKey:
        if (current)
            RegCloseKey(current);
        current = nullptr;
        return RegCreateKeyExA(op.key.root, op.key.subKey.c_str(), 0, nullptr, 0,
                               KEY_READ | KEY_WRITE, nullptr, &current, nullptr);
    case Operation::DeleteKey: {
        LSTATUS err = DeleteTree(op.key.root, op.key.subKey);
        return err == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : err;
    }
    case Operation::SetValue:
        return RegSetValueExA(current, op.name.c_str(), 0, op.type,
                              reinterpret_cast<const BYTE *>(op.data.data()),
                              static_cast<DWORD>(op.data.size()));
    case Operation::DeleteValue: {
        LSTATUS err = RegDeleteValueA(current, op.name.c_str());
        return err == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : err;
    }
    }
    return ERROR_INVALID_PARAMETER;
}

} // namespace

int ImportFile(const std::string &text, const std::string &fileName)
{
    std::vector<Operation> ops;
    Parser parser(ops);
    if (!parser.Parse(text)) {
        fprintf(stderr, "winport-reg: %s: %s; nothing was imported\n", fileName.c_str(),
                parser.error().c_str());
        return kExitFile;
    }
    HKEY current = nullptr;
    int code = kExitOk;
    for (const Operation &op : ops) {
        if (LSTATUS err = Apply(op, current)) {
            fprintf(stderr, "winport-reg: %s: line %d: %s%s%s: %s\n", fileName.c_str(), op.line,
                    op.key.Full().c_str(), op.name.empty() ? "" : " value ", op.name.c_str(),
                    ErrorText(err).c_str());
            code = kExitFailed;
            break;
        }
    }
    if (current)
        RegCloseKey(current);
    return code;
}

} // namespace regtool
