/*
 * Fuzz target for the update port's readers: the input is the payload of
 * one wire message on an update connection.  Reading must never crash or
 * read outside the payload; every pointer a record holds must lie inside
 * it; and a relay download's rest is read both ways (as the first piece
 * and as a later one), as the service would depending on its state.
 */
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "update_msgs.h"

namespace {

void Inside(const char *p, int n, const std::vector<char> &all)
{
    if (n < 0 || (n > 0 && (p < all.data() || p + n > all.data() + all.size())))
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    /* An exact-size copy, so ASan sees a read one byte too far. */
    std::vector<char> payload(data, data + size);
    UpdateMessage msg;
    const int iRead = ReadUpdateMessage(payload.data(), (int)payload.size(), &msg);
    if (iRead != UPD_READ_OK)
        return 0;
    bool bEnd = false;
    if (UpdateTransferIndex(msg.iSubCode, &bEnd) >= 0 && !bEnd)
        Inside(msg.pChunk, msg.iChunkLen, payload);
    if (msg.iSubCode == UPD_RELAY_REQUEST && strlen(msg.szRelayText) >= RELAY_TEXT_SIZE)
        abort();
    if (msg.iSubCode == UPD_GATEWAY_SETTINGS && msg.gateway.iMode == 1 &&
        (strlen(msg.gateway.szHost) >= GATEWAY_TEXT_SIZE ||
         strlen(msg.gateway.szPort) >= GATEWAY_PORT_SIZE))
        abort();
    if (msg.iSubCode == UPD_RELAY_DOWNLOAD && msg.iRelayMarker != -1) {
        Inside(msg.pRelayRest, msg.iRelayRestLen, payload);
        int iSize = 0;
        char szName[RELAY_NAME_SIZE];
        if (ReadRelayStart(msg.pRelayRest, msg.iRelayRestLen, &iSize, szName, sizeof(szName)) ==
                UPD_READ_OK &&
            (iSize <= 0 || iSize > UPDATE_MAX_TRANSFER_BYTES || strlen(szName) >= RELAY_NAME_SIZE))
            abort();
        const char *pChunk = nullptr;
        int iChunk = 0;
        if (ReadRelayChunk(msg.pRelayRest, msg.iRelayRestLen, &pChunk, &iChunk) == UPD_READ_OK)
            Inside(pChunk, iChunk, payload);
    }
    /* What the gateway would be sent from these settings fits or is refused. */
    if (msg.iSubCode == UPD_GATEWAY_SETTINGS && msg.gateway.iMode == 1) {
        GatewayRegistration reg = {
            msg.gateway.szIdentity1, msg.gateway.szIdentity2, "WS", "t", 0, "",
            msg.gateway.iNumber};
        char out[600];
        if (BuildGatewayRegistration(reg, out, sizeof(out)) > (int)sizeof(out))
            abort();
    }
    return 0;
}
