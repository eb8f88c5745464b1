/*
 * A writer of the word-processor document format, as the server's editor
 * serialises a document, for tests only.  It is written from the format's
 * description, field by field, and shares nothing with the reader: a test
 * builds a document here, reads it with the client, and compares.
 */
#ifndef NOVARCPRINT_TESTS_WP_WRITER_H
#define NOVARCPRINT_TESTS_WP_WRITER_H

#include <string>
#include <vector>

namespace wptest {

inline std::string I32(int v)
{
    std::string s(4, '\0');
    for (int i = 0; i < 4; i++)
        s[i] = (char)((unsigned)v >> (8 * i));
    return s;
}

inline std::string I16(int v)
{
    return std::string{(char)(v & 0xff), (char)((v >> 8) & 0xff)};
}

inline std::string Str(const std::string &text)
{
    return text + '\0';
}

/* The header's fields, with the values a letter from the editor carries. */
struct Header {
    int version = 230; /* 0: written without a version word */
    int kind = 1;
    int style = 0;
    std::string ident1 = "LETTER", ident2 = "DR", ident3 = "A";
    int docType = 0;
    int top = 100, bottom = 100, right = 100, left = 100; /* 1/100 inch */
    int pageLength = 792;                                 /* points */
    int justify = 0;
    int pageWidth = 850;
    int baseFont = 5;
    int baseSize = 12;
    std::string fontReset = "Y";
    int firstTop = 100, firstBottom = 100, firstLeft = 100, firstRight = 100;
    int pageSelector = 0;
    int lineSpacing = 0;
    std::string note = "";
    std::vector<std::string> tail = {"one", "two", "three", "four", "five"};
    int fill = 7; /* value of the fields printing does not use */

    std::string Bytes() const
    {
        std::string b;
        if (version > 1)
            b += I32(version);
        b += I32(kind);
        b += (char)style;
        b += Str(ident1) + Str(ident2) + Str(ident3);
        b += I32(docType);
        b += I32(top) + I32(bottom) + I32(right) + I32(left);
        b += I32(pageLength) + I32(justify) + I32(pageWidth) + I32(fill);
        b += I32(fill) + I32(fill) + I32(fill) + I32(baseFont) + I32(baseSize) + I32(fill);
        b += Str("ab") + Str("cd") + Str("efg");
        b += I32(firstTop) + I32(firstBottom) + I32(firstLeft) + I32(firstRight);
        b += I32(fill) + I32(fill);
        b += Str("hij") + I32(fill) + I32(fill) + Str("kl") + I32(fill);
        b += Str(fontReset);
        for (int i = 0; i < 12; i++)
            b += I32(fill);
        b += I32(pageSelector);
        if (version > 11)
            b += I32(fill) + I32(fill);
        if (version > 14)
            b += I32(fill) + I32(fill) + I32(fill);
        if (version > 181)
            b += I32(lineSpacing);
        if (version >= 230)
            b += I32(fill) + Str(note);
        b += I32(fill);
        if (docType == 1 || docType == 2 || docType == 41)
            for (const std::string &t : tail)
                b += Str(t);
        return b;
    }
};

/* The cell buffer: cells appended one by one, counted as they go. */
class Cells {
public:
    Cells &Text(const std::string &text)
    {
        for (char c : text)
            Cell((unsigned char)c);
        return *this;
    }
    Cells &Cell(unsigned char code)
    {
        bytes_ += (char)code;
        count_++;
        return *this;
    }
    /* A code record: fixed part of `length` bytes (10 unless a test says
     * otherwise), then the extra data exactly as given. */
    Cells &Record(int type, int v1 = 0, int v2 = 0, int v3 = 0, const std::string &extra = "",
                  int length = 10)
    {
        std::string fixed = I16(length) + I16(type) + I16(v1) + I16(v2) + I16(v3);
        if (length < (int)fixed.size())
            fixed.resize(length < 0 ? 0 : (size_t)length);
        while ((int)fixed.size() < length)
            fixed += (char)0x5a;
        Cell(2);
        bytes_ += fixed + extra;
        return *this;
    }
    Cells &Attr(int kind, int value = 1, int second = 0) { return Record(2, kind, value, second); }
    Cells &Font(int type, int size) { return Attr(2, type, size); }
    Cells &Raw(const std::string &bytes)
    {
        bytes_ += bytes;
        return *this;
    }
    /* The buffer with its count; `count` overrides the true one. */
    std::string Bytes(int count = -1) const { return I32(count < 0 ? count_ : count) + bytes_; }
    int Count() const { return count_; }

private:
    std::string bytes_;
    int count_ = 0;
};

/* Key lists, entry by entry. */
class Keys {
public:
    Keys &Int(int key, int value)
    {
        bytes_ += I32(key) + I32(value);
        return *this;
    }
    Keys &Text(int key, const std::string &value)
    {
        bytes_ += I32(key) + Str(value);
        return *this;
    }
    Keys &Block(int key, const std::string &data)
    {
        bytes_ += I32(key) + I32((int)data.size()) + data;
        return *this;
    }
    Keys &Bare(int key)
    {
        bytes_ += I32(key);
        return *this;
    }
    std::string End() const { return bytes_ + I32(0); }

private:
    std::string bytes_;
};

inline std::string Block(const std::string &data)
{
    return I32((int)data.size()) + data;
}

/* A whole print-document payload. */
inline std::string Payload(const Header &h, const Cells &c, int flags = 0)
{
    return I32(flags) + h.Bytes() + c.Bytes();
}

inline std::string HeadingPayload(const Header &h, const Cells &c, int headingType, int footingType,
                                  const std::string &heading, const std::string &footing,
                                  int flags = 0)
{
    return I32(flags) + I32(headingType) + I32(footingType) + Str(heading) + Str(footing) +
           h.Bytes() + c.Bytes();
}

} // namespace wptest

#endif /* NOVARCPRINT_TESTS_WP_WRITER_H */
