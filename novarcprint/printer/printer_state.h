/*
 * The printer half of the print session: the target of the current job
 * (spooler handle, device context, document), what the last open record
 * said, and the device settings the server changes mid-job.  Held inside
 * the session; the open and close workers and the renderers share it under
 * the session's print lock.
 */
#ifndef NOVARCPRINT_PRINTER_STATE_H
#define NOVARCPRINT_PRINTER_STATE_H

#include <winsock2.h> /* before windows.h, which would bring the old winsock.h */
#include <windows.h>
#include <winspool.h>

#define OPEN_NAME_SIZE 200
#define USER_NAME_SIZE 100
#define DEVMODE_PUBLIC_SIZE 156
#define DEFAULT_FAX_SPOOL_PATH "C:\\Vsi-fax\\Server\\spool\\temp\\currentpcl.pcl"

/* Option flag bits of the open record. */
#define OPTION_JPEG_LEVEL 0x10
#define OPTION_LABEL_MODE 0x800
#define OPTION_EYE_PAPER 0x1000
#define OPTION_INSURANCE_FORM 0x2000
#define OPTION_MOBILE_LABEL 0x4000

/* Form type codes with a meaning here. */
#define FORM_TYPE_CUT_29 29
#define FORM_TYPE_CUT_30 30
#define FORM_TYPE_TRAY_NAMES 31
#define FORM_TYPE_REOPEN_PLAIN 33
#define FORM_TYPE_NEVER_ABORT 34

/* What one OPEN_PRINTER payload carries; optional fields flagged present. */
struct PrinterOpenRecord {
    char szPrinterName[OPEN_NAME_SIZE];
    char szDriverName[OPEN_NAME_SIZE];
    int iFormLength;
    int iUseRawData;
    char szOutputName[OPEN_NAME_SIZE];
    int iImagingLibrary;
    int iFormTypeCode;
    int iOptionFlags;
    int iFaxJob;
    char szUserName[USER_NAME_SIZE];
    bool bHasImaging, bHasFormType, bHasOptions, bHasFaxJob, bHasUserName;
};

struct PrinterState {
    char m_szDriverName[OPEN_NAME_SIZE] = "";
    char m_szOutputName[OPEN_NAME_SIZE] = "";
    char m_szConverterFileName[OPEN_NAME_SIZE] = "";
    char m_szUserName[USER_NAME_SIZE] = "System";
    char m_szJobDocName[16] = "Novarc Document";
    HANDLE m_hPrinter = NULL;
    HANDLE m_hSecondPrinter = NULL;
    HDC m_hPrinterDc = NULL;
    int m_iJobId = 0;
    int m_iRawJobId = 0;
    DOCINFOA m_DocInfo = {};
    JOB_INFO_1A m_JobInfo = {};
    DEVMODEA m_DevMode = {};
    bool m_bOpenError = false;
    bool m_bPrinted = false;
    bool m_bPageEnded = false;
    bool m_bDocumentEnded = false;
    bool m_bPageStarted = false;
    bool m_bBetweenPages = false;
    int m_iUseRawData = 0;
    int m_iModelClass = 0;
    bool m_bEltron = false, m_bTsp800 = false, m_bT650 = false;
    int m_iFormTypeCode = 0;
    int m_iOptionFlags = 0;
    bool m_bJpegLevel = false, m_bLabelMode = false, m_bEyePaper = false;
    bool m_bInsuranceForm = false, m_bMobileLabel = false;
    int m_iImagingLibrary = 0;
    bool m_bLeadtoolsConvertPrinter = false;
    bool m_bEPrint = false;
    bool m_bColor = false;
    int m_iFaxBusy = 0;
    int m_iPartNumber = 1;

    /* The fax server's printer: where its port writes the current document,
     * how many documents were moved out of it (never reset in a process)
     * and the scheduler's version, which picks the fax fonts. */
    char m_szSpoolFilePath[MAX_PATH] = DEFAULT_FAX_SPOOL_PATH;
    int m_iFaxDocument = 0;
    int m_iVsiFaxVersion = 0;
    /* The converter printer's job (converter_printer.cpp): its handle, its
     * folder, the part being written and the name the result is sent under. */
    HANDLE m_hConverter = NULL;
    char m_szConverterDir[MAX_PATH] = "";
    char m_szConvertFileName[MAX_PATH] = "";
    char m_szCatalogName[MAX_PATH] = "";
    char m_szDocumentName[OPEN_NAME_SIZE] = "";

    /* The image convert printer's output (IMAGE_CONVERSION_OPTIONS): the
     * extension, the imaging library's format code, the scale percent (0
     * keeps the size), the depth and the next page number. */
    char m_szConversionExtension[16] = "PNG";
    int m_iConversionFormat = 3; /* the imaging library's PNG */
    int m_iConversionScale = 0;
    int m_iConversionBits = 24;
    int m_iConversionPage = 1;

    /* Device settings. */
    bool m_bLandscape = false;
    bool m_bLandscapeRequest = false;
    bool m_bLegalRequest = false;
    bool m_bLegalInEffect = false;
    bool m_bDocPageOption = false;
    bool m_bEnvelopeFeed = false;
    int m_iTrayKind = 0, m_iTray = 0, m_iNextTray = 0;
    int m_iPendingBin = -1;
    short m_sDefaultSource = -1;
    /* What SetLandScapeMode last applied: a request that changes neither
     * leaves the document alone. */
    bool m_bLastAppliedLandscape = false;
    bool m_bLastAppliedLegal = false;
};

#endif /* NOVARCPRINT_PRINTER_STATE_H */
