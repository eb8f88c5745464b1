/*
 * Gathering one wire message without waiting (see kellib/frame_reader.h):
 * the header, then the body, each from what recv has at the moment.
 */
#include "kellib/frame_reader.h"

#include "kellib/sock.h"
#include "kellib_internal.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

/* One recv of at most `want` bytes: the count, 0 when it would block, -1
 * when the peer closed or the socket failed. */
int ReceiveNow(SOCKET s, char *to, int want)
{
    const int n = KelWs_recv(s, to, want, 0);
    if (n > 0)
        return n;
    if (n == SOCKET_ERROR && KelWs_WSAGetLastError() == WSAEWOULDBLOCK)
        return 0;
    return -1;
}

int Fail(KelFrameReader *pReader)
{
    KELFreeFrameReader(pReader);
    KELInitFrameReader(pReader);
    return KEL_FRAME_FAILED;
}

} // namespace

void KELInitFrameReader(KelFrameReader *pReader)
{
    memset(pReader, 0, sizeof(*pReader));
}

void KELFreeFrameReader(KelFrameReader *pReader)
{
    FreeMsgBuf(&pReader->body);
    pReader->iHeaderGot = 0;
    pReader->iBodyGot = 0;
}

int KELReadFrameSome(SOCKET s, KelFrameReader *pReader, int iMaxLength, MsgBuf *pOut)
{
    while (pReader->iHeaderGot < KEL_HEADER_SIZE) {
        const int n = ReceiveNow(s, (char *)pReader->header + pReader->iHeaderGot,
                                 KEL_HEADER_SIZE - pReader->iHeaderGot);
        if (n <= 0)
            return n == 0 ? KEL_FRAME_MORE : Fail(pReader);
        pReader->iHeaderGot += n;
    }
    KelFrameHeader header{};
    if (!KelParseHeader(pReader->header, &header) || header.length > iMaxLength)
        return Fail(pReader);
    if (pReader->body.szBuf == nullptr) {
        /* Room for the body, its terminator and the slack KELrecv keeps. */
        pReader->body.szBuf = static_cast<char *>(malloc(static_cast<size_t>(header.length) + 10));
        if (pReader->body.szBuf == nullptr)
            return Fail(pReader);
        pReader->body.iBufSize = header.length + 10;
    }
    while (pReader->iBodyGot < header.length) {
        const int n = ReceiveNow(s, pReader->body.szBuf + pReader->iBodyGot,
                                 header.length - pReader->iBodyGot);
        if (n <= 0)
            return n == 0 ? KEL_FRAME_MORE : Fail(pReader);
        pReader->iBodyGot += n;
    }
    MsgBuf decoded = pReader->body;
    pReader->body = MsgBuf();
    KELFreeFrameReader(pReader);
    KELInitFrameReader(pReader);
    if (!KelDecodeFrame(&header, &decoded)) {
        FreeMsgBuf(&decoded);
        return KEL_FRAME_FAILED;
    }
    std::swap(*pOut, decoded);
    FreeMsgBuf(&decoded);
    return KEL_FRAME_DONE;
}
