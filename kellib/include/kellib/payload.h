/*
 * A bounded cursor over one request payload, for every reader of a peer's
 * records (documents, data fields, images, the update port): every take
 * checks what is left first and fails rather than read past the end, and a
 * string must end inside the payload.  Header only, no platform calls, so
 * the fuzz targets of the readers take it without the rest of kellib.
 */
#ifndef KELLIB_PAYLOAD_H
#define KELLIB_PAYLOAD_H

#include <cstring>

struct KelPayload {
    const unsigned char *p;
    int iLen;
    int iPos;

    /* A cursor at the start of iLen bytes at p. */
    static KelPayload Of(const char *p, int iLen)
    {
        return KelPayload{reinterpret_cast<const unsigned char *>(p), iLen, 0};
    }
    const char *Here() const { return reinterpret_cast<const char *>(p + iPos); }

    int Left() const { return iLen - iPos; }
    bool Int32(int *pValue)
    {
        if (Left() < 4)
            return false;
        unsigned v = 0;
        for (int i = 0; i < 4; i++)
            v |= (unsigned)p[iPos + i] << (8 * i);
        *pValue = (int)v;
        iPos += 4;
        return true;
    }
    bool Int32() /* one that is not kept */
    {
        int v;
        return Int32(&v);
    }
    bool Byte(int *pValue)
    {
        if (Left() < 1)
            return false;
        *pValue = p[iPos++];
        return true;
    }
    /* Length of the NUL-terminated string at the cursor, or -1 when it does
     * not end inside the payload. */
    int StringLength() const
    {
        const void *pEnd = memchr(p + iPos, 0, (size_t)Left());
        return pEnd ? (int)((const unsigned char *)pEnd - (p + iPos)) : -1;
    }
    /* A string that must fit its field (iSize counts the NUL). */
    bool String(char *szOut, int iSize)
    {
        const int n = StringLength();
        if (n < 0 || n >= iSize)
            return false;
        memcpy(szOut, p + iPos, (size_t)n + 1);
        iPos += n + 1;
        return true;
    }
    /* A string whose excess beyond its field is dropped (the rest of the
     * stream stays in step). */
    bool StringCut(char *szOut, int iSize)
    {
        const int n = StringLength();
        if (n < 0)
            return false;
        const int iKeep = n < iSize ? n : iSize - 1;
        memcpy(szOut, p + iPos, (size_t)iKeep);
        szOut[iKeep] = 0;
        iPos += n + 1;
        return true;
    }
    bool Skip(int n)
    {
        if (n < 0 || Left() < n)
            return false;
        iPos += n;
        return true;
    }
};

#endif /* KELLIB_PAYLOAD_H */
