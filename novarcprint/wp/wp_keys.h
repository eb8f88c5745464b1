/*
 * Key lists: the signature, image and field records carry their values as
 * entries of an int32 key and a value, ended by key 0.  Which keys carry a
 * value, and of what kind, depends on the record type; the reader uses that
 * to find the end of a list, the renderer decodes the two it draws.
 */
#ifndef NOVARCPRINT_WP_KEYS_H
#define NOVARCPRINT_WP_KEYS_H

#include <string>

#include "wp_document.h"

enum WpKeyValue { WP_KEY_NONE, WP_KEY_INT, WP_KEY_STRING, WP_KEY_BLOCK };

/* Whether records of this type carry a key list. */
bool WpHasKeyList(int iType);
/* What follows key iKey in a list of a record of type iType. */
WpKeyValue WpKeyKind(int iType, int iKey);

/* Bytes of the key list at p (terminator included), or -1 with the reason
 * when it does not end inside iLeft bytes or a value breaks its bounds. */
int WpKeyListExtent(int iType, const unsigned char *p, int iLeft, const char **pszWhy);

#define WP_IMAGE_STRING_MAX 99

/* Signature key list of an SP_SIGNATURE_CODE record. */
struct WpSignatureKeys {
    int iUserId = 0;
    int iDate = 0; /* day number */
    int iTime = 0; /* minutes since midnight */
    std::string pName;
    int iFileKey = 0;      /* key 5, part of the signature file name */
    int iHeightTenths = 0; /* key 6, tenths of an inch */
    int iRunKey = 0;       /* key 7 */
};

/* Image key list of an IMAGE record. */
struct WpImageKeys {
    int iKey1 = 0;
    int iWidth = 0;
    int iHeight = 0;
    int iAnnotationFlag = 0;
    int iVirtualFlag = 0;
    int iKey6 = 0;
    char pImageFileName[WP_IMAGE_STRING_MAX + 1] = "";
    char szKey8[WP_IMAGE_STRING_MAX + 1] = "";
    int iJustification = 0;
    int iZoom = 0;
    int iRotation = 0;
    int iPerspective = 0;
    /* Embedded image data (key 13): points into the record it came from. */
    bool bHasData = false;
    const unsigned char *pData = nullptr;
    int iDataSize = 0;
    /* Names the embedded data while it is printed; 0 without data. */
    unsigned uTag = 0;
    char szKey14[WP_IMAGE_STRING_MAX + 1] = "";
};

/* Decode the list stored in a record; false when the record holds none or
 * it is malformed.  Image lists with embedded data draw a fresh tag. */
bool DecodeSignatureKeys(const WpCodeRecord &record, WpSignatureKeys *pKeys);
bool DecodeImageKeys(const WpCodeRecord &record, WpImageKeys *pKeys);

#endif /* NOVARCPRINT_WP_KEYS_H */
