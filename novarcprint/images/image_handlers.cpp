/*
 * The image requests as the route table calls them: which transfer and
 * which piece each of the ten piece and end types is, the special image
 * message with its sub-codes, and the two small settings requests.
 */
#include "images.h"

namespace {

struct PieceRoute {
    int iType;
    TransferKind kind;
    int iPiece;
};

// clang-format off
const PieceRoute kPieceRoutes[] = {
    {PRINT_IMAGE, TRANSFER_IMAGE, PIECE_DATA},
    {PRINT_END_IMAGE, TRANSFER_IMAGE, PIECE_END},
    {LETTERHEAD_IMAGE, TRANSFER_LETTERHEAD, PIECE_DATA},
    {END_LETTERHEAD_IMAGE, TRANSFER_LETTERHEAD, PIECE_END},
    {PRINT_ANNOTATION, TRANSFER_ANNOTATION, PIECE_DATA},
    {PRINT_END_ANNOTATION, TRANSFER_ANNOTATION, PIECE_END},
    {DAW_IMAGE, TRANSFER_DAW, PIECE_DATA},
    {END_DAW_IMAGE, TRANSFER_DAW, PIECE_END},
    {SIGNATURE_IMAGE, TRANSFER_SIGNATURE, PIECE_DATA},
    {END_SIGNATURE_IMAGE, TRANSFER_SIGNATURE, PIECE_END},
};
// clang-format on

} // namespace

int HandleTransferPiece(NovarcprintProcess *s, MsgBuf *pMsg, int iType)
{
    for (const PieceRoute &route : kPieceRoutes)
        if (route.iType == iType)
            return ReceiveTransferPiece(s, route.kind, pMsg->szBuf, pMsg->iLen, route.iPiece);
    return 0;
}

int HandleSpecialImageMessage(NovarcprintProcess *s, MsgBuf *pMsg, int)
{
    s->Log("Special Message Type");
    SpecialImageRecord record;
    if (!ReadSpecialImage(pMsg->szBuf, pMsg->iLen, &record)) {
        s->Log("SPECIAL_IMAGE_MESSAGE without its sub-code");
        return 0;
    }
    if (record.iPiece < 0)
        return 1;
    return ReceiveTransferPiece(s, TRANSFER_IMAGE, record.pRest, record.iRestLen, record.iPiece);
}

int HandleImageSettings(NovarcprintProcess *s, MsgBuf *pMsg, int)
{
    int iRotation = 0;
    if (!ReadImageSettings(pMsg->szBuf, pMsg->iLen, &iRotation)) {
        s->Log("IMAGE_SETTINGS payload too short iLen<%d>", pMsg->iLen);
        return 0;
    }
    s->m_Images.m_iImageRotation = iRotation;
    s->Log("IMAGE_SETTINGS rotation<%d>", iRotation);
    return 1;
}

int HandleLetterheadImageName(NovarcprintProcess *s, MsgBuf *pMsg, int)
{
    LetterheadNameRecord record;
    if (!ReadLetterheadName(pMsg->szBuf, pMsg->iLen, &record)) {
        s->Log("LETTERHEAD_IMAGE_NAME malformed payload iLen<%d>", pMsg->iLen);
        return 0;
    }
    TakeLetterheadName(s, record.szName);
    s->Log("LETTERHEAD_IMAGE_NAME(%s) slot %d", record.szName, s->m_Images.m_iLetterheadCount);
    return 1;
}
