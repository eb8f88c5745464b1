/*
 * The image half of the print session (its m_Images): the five piecewise
 * transfers, the rotation code of the next image, the letterhead slots, the
 * drawing (DAW) and signature images waiting for the page end, and the
 * CompImage signature.  Held inside the session, so a test starts from a
 * fresh one; touched under the print lock, except by the requests that run
 * on the main thread (the cache queries and the CompImage signature), which
 * touch only the CompImage fields and never a transfer.
 */
#ifndef NOVARCPRINT_IMAGES_STATE_H
#define NOVARCPRINT_IMAGES_STATE_H

#include <winsock2.h> /* before windows.h, which would bring the old winsock.h */
#include <windows.h>

#include <vector>

#include <kellib.h>

#include "image_records.h"

/* The most one transfer may bring, in bytes as they arrive and as an image
 * or annotation inflates: a letter page at 600 dpi in 24-bit colour is
 * about 100 MiB uncompressed, so 256 MiB leaves room without letting a peer
 * fill the memory or the disk. */
#define IMAGE_TRANSFER_MAX_BYTES (256 * 1024 * 1024)

/* The in-memory image buffer starts this large and grows by each piece. */
#define IMAGE_BUFFER_INITIAL 10000

/* One transfer's reception record. */
struct ReceptionRecord {
    int iState = -1; /* -1: the next data piece starts a transfer; 0: inside one */
    int iError = 0;  /* 1: the file could not be created (or was refused): drop to the end */
    HANDLE hFile = INVALID_HANDLE_VALUE;
    char szName[IMAGE_NAME_SIZE] = ""; /* the name as stored (an image's gains ".x2m") */
    char szPath[MAX_PATH] = "";        /* the full path the file is written to */
    int iMode = 0;                     /* the last mode byte received */
    int iValues[4] = {};               /* the first piece's values */
    long long llBytes = 0;             /* bytes taken so far */
    /* Images only. */
    int iPage = 0;
    int iEncrypt = 0;
    MsgBuf ImageDataMs = MsgBuf();
};

/* A signature waiting to be printed: 216 bytes, as the list always kept them. */
struct SignatureRecord {
    char szName[SIGNATURE_NAME_SIZE];
    int iX, iY, iHeight, iFlags;
};
static_assert(sizeof(SignatureRecord) == 216, "a signature record is 216 bytes");

struct ImagesState {
    ReceptionRecord m_Transfer[TRANSFER_KINDS];

    /* From IMAGE_SETTINGS; reset after every image. */
    int m_iImageRotation = 0;

    /* Letterheads: the slot the next name fills alternates first, second. */
    char m_szLetterhead[2][LETTERHEAD_NAME_SIZE] = {};
    int m_iLetterheadCount = 0;

    /* The drawing image and its placement (x, y, height, fourth value). */
    char m_szDawFileName[IMAGE_NAME_SIZE] = "";
    int m_iDaw[4] = {};
    bool m_bDawPending = false;

    /* The last signature received and the list waiting for the page end. */
    char m_szSignatureFileName[SIGNATURE_NAME_SIZE] = "";
    int m_iSignature[4] = {};
    std::vector<SignatureRecord> m_Signatures;
    bool m_bSignaturePending = false;
    /* Prescriptions ask for the "(Digital Image)" caption under a signature. */
    bool m_bDigitalImageCaption = false;
    /* The margins (device units) of the page being printed, from which
     * signatures, drawings and the lab "e" are placed; the renderer of a
     * document with margins sets them, others leave them 0. */
    int m_iLeftMargin = 0;
    int m_iTopMargin = 0;

    /* CompImage: whether the signature is composed onto form images, and
     * the signature (form type, bytes) kept for it. */
    bool bCompImageUseSignature = false;
    int m_iCompImageFormType = 0;
    std::vector<char> m_CompImageSignature;
};

#endif /* NOVARCPRINT_IMAGES_STATE_H */
