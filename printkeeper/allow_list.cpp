/*
 * Who may connect: the optional allow list "c:\novarc\bin\AllowedServers.txt",
 * one IPv4 address ("10.0.0.5") or network ("10.0.0.0/24") a line, blank
 * lines and lines starting with '#' ignored.  Without the file every peer
 * is taken, as always; with it, a peer on no line is refused at accept
 * with a log line, on the print port and the update port alike.  The file
 * is read whenever the listeners open (start-up and every restart).
 */
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <kellib.h>

#include "printkeeper.h"

namespace {

/* "a.b.c.d" in host order; false for anything else. */
bool ParseAddress(const char *szText, unsigned long *pAddress)
{
    unsigned long address = 0;
    const char *p = szText;
    for (int i = 0; i < 4; i++) {
        if (*p < '0' || *p > '9')
            return false;
        char *pEnd = NULL;
        const unsigned long part = strtoul(p, &pEnd, 10);
        if (part > 255 || pEnd - p > 3)
            return false;
        address = (address << 8) | part;
        p = pEnd;
        if (i < 3 && *p++ != '.')
            return false;
    }
    *pAddress = address;
    return *p == 0;
}

/* One line, trimmed: an address or a network; false when malformed. */
bool ParseEntry(char *szLine, AllowEntry *pEntry)
{
    int iBits = 32;
    if (char *pSlash = strchr(szLine, '/')) {
        *pSlash = 0;
        char *pEnd = NULL;
        const long lBits = strtol(pSlash + 1, &pEnd, 10);
        if (pEnd == pSlash + 1 || *pEnd || lBits < 0 || lBits > 32)
            return false;
        iBits = (int)lBits;
    }
    unsigned long address = 0;
    if (!ParseAddress(szLine, &address))
        return false;
    pEntry->mask = iBits == 0 ? 0 : 0xFFFFFFFFul << (32 - iBits) & 0xFFFFFFFFul;
    pEntry->network = address & pEntry->mask;
    return true;
}

} // namespace

int ParseAllowList(const char *szText, AllowList *pList)
{
    pList->bPresent = true;
    pList->iCount = 0;
    int iBad = 0;
    char szLine[128];
    for (const char *p = szText; *p;) {
        const size_t n = strcspn(p, "\r\n");
        snprintf(szLine, sizeof(szLine), "%.*s", (int)(n < sizeof(szLine) ? n : sizeof(szLine) - 1),
                 p);
        p += n;
        p += strspn(p, "\r\n");
        char *pStart = szLine + strspn(szLine, " \t");
        size_t len = strlen(pStart);
        while (len > 0 && (pStart[len - 1] == ' ' || pStart[len - 1] == '\t'))
            pStart[--len] = 0;
        if (!*pStart || *pStart == '#')
            continue;
        if (n >= sizeof(szLine) || pList->iCount >= ALLOW_LIST_MAX ||
            !ParseEntry(pStart, &pList->entries[pList->iCount])) {
            iBad++;
            continue;
        }
        pList->iCount++;
    }
    return iBad;
}

bool AllowListPermits(const AllowList *pList, unsigned long addressHostOrder)
{
    if (!pList->bPresent)
        return true;
    for (int i = 0; i < pList->iCount; i++)
        if ((addressHostOrder & pList->entries[i].mask) == pList->entries[i].network)
            return true;
    return false;
}

void LoadAllowList()
{
    AllowList &list = g_Printkeeper.allowList;
    list.bPresent = false;
    list.iCount = 0;
    HANDLE hFile = CreateFileA(ALLOW_LIST_FILE, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return; /* no list: every peer, as always */
    static char szText[64 * 1024];
    DWORD dwRead = 0;
    const BOOL bRead = ReadFile(hFile, szText, sizeof(szText) - 1, &dwRead, NULL);
    CloseHandle(hFile);
    szText[bRead ? dwRead : 0] = 0;
    const int iBad = ParseAllowList(szText, &list);
    LogLine("AllowedServers.txt: %d servers or networks allowed, %d lines not understood",
            list.iCount, iBad);
}

bool PeerAllowed(const sockaddr_in &peer)
{
    /* The address's bytes are in network order, first byte first. */
    const unsigned char *b = (const unsigned char *)&peer.sin_addr.s_addr;
    const unsigned long address = (unsigned long)b[0] << 24 | (unsigned long)b[1] << 16 |
                                  (unsigned long)b[2] << 8 | (unsigned long)b[3];
    if (AllowListPermits(&g_Printkeeper.allowList, address))
        return true;
    LogLine("Connection from %d.%d.%d.%d refused: not in AllowedServers.txt", b[0], b[1], b[2],
            b[3]);
    return false;
}
