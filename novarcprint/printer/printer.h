/*
 * Opening, closing and reopening the job's printer, the reply that tells
 * the server whether it opened, and the device settings changed mid-job.
 * Everything here runs under the session's print lock except the open
 * timer procedure, which runs on the main thread.
 */
#ifndef NOVARCPRINT_PRINTER_H
#define NOVARCPRINT_PRINTER_H

#include "novarcprint_process.h"
#include "shared_printers.h"

#define PRINTER_OPEN_REPLY_SIZE 21
#define DEEP_WAIT_INTERVAL_MS 1800000
#define SPECIAL_LOCK_WAIT_MS 3000

/* Reads one OPEN_PRINTER payload; false when a required field is missing. */
bool ParseOpenRecord(const char *pData, int iLen, PrinterOpenRecord *pRecord);
/* The 21 reply bytes for the given status, capabilities and fax busy flag. */
void BuildPrinterOpenReply(int iStatus, int iWord, int iExcel, int iFaxBusy,
                           unsigned char out[PRINTER_OPEN_REPLY_SIZE]);
/* "<prefix><pid><computer name, 8 chars>_<guid>.<extension>", never the last result. */
void MakeUniqueFileName(char *szOut, int iOutSize, const char *szPrefix, const char *szExtension);

/* Server tray number to Windows bin code. */
int TrayToBin(int iTrayKind, int iTray);
/* The bin name a tray is called by on a driver. */
const char *TrayNameFor(int iBin, const char *szDriver, int iFormTypeCode);

bool GetNovarcPrinterMutex(NovarcprintProcess *pSession);
int OpenNovarcPrinter(NovarcprintProcess *pSession, const MsgBuf *pRecord);
bool CloseNovarcPrinter(NovarcprintProcess *pSession);
/* The document ended (closed, aborted): no page is open any more. */
void NoteDocumentEnded(NovarcprintProcess *pSession);
bool ReopenNovarcPrinter(NovarcprintProcess *pSession);
/* Creates the device context (pMode NULL: the driver's settings) and starts
 * the job's document on it, named and owned as every document of the job;
 * false when no document started (a context made stays in m_hPrinterDc). */
bool StartJobDocument(NovarcprintProcess *pSession, const DEVMODEA *pMode);
int SendPrinterOpenReply(NovarcprintProcess *pSession);
bool PrintRawData(NovarcprintProcess *pSession, const char *szPrinter, const char *pData, int iLen);

/* ---- The PDF converter printers (converter_printer.cpp) ---- */

/* The folder of a converter printer's parts, NULL for another printer. */
const char *ConverterDirectoryFor(const char *szPrinter);
/* A new job on a converter printer: a unique file name, part 1. */
void StartConverterJob(NovarcprintProcess *pSession);
/* Configures the converter for the job's current part; false when the
 * converter cannot be had, installed, locked, or the gate is not held. */
bool OpenKelAmyuniPrinter(NovarcprintProcess *pSession, const char *szPrinter);
/* The next document of the job goes to the next part. */
void IncrementAmyuniPrinterFile(NovarcprintProcess *pSession);
/* Letter paper for documents another program prints on the converter. */
void KELAmyuniSetPaperSizeForExternalPrinting(NovarcprintProcess *pSession);
/* Removes the current part and its catalogue (a conversion left unfinished). */
void DeleteConverterPartFiles(NovarcprintProcess *pSession);

void SetLandScapeMode(NovarcprintProcess *pSession, int iForce);
void DocumentProperties(NovarcprintProcess *pSession, int iBin);
int ResolveBin(NovarcprintProcess *pSession, int iBin);
void SetLabelMode(NovarcprintProcess *pSession);
void ApplyCutSettings(NovarcprintProcess *pSession, int iFormTypeCode, const char *szPrinter);
/* Fills a device mode with the printer's current settings; caller frees with delete[]. */
DEVMODEA *ReadDeviceMode(HANDLE hPrinter, const char *szPrinter);

/* The fax server's printer (fax.cpp).  The open's busy check and set-up;
 * false, with the fax busy flag set, when jobs are queued on it. */
bool OpenVsiFaxPrinter(NovarcprintProcess *pSession);
/* The spool file the fax port writes, from the port's registry keys. */
void LookUpVsiSpoolPath(char *szPath, int iSize);
/* "<spool path up to its extension><job>_<document>.pcl". */
void MakeVsiDocumentName(const char *szSpoolPath, int iFaxJob, int iDocument, char *szOut,
                         int iSize);
/* Deletes the spool files a previous job left; returns how many. */
int DeleteStaleSpoolFiles(NovarcprintProcess *pSession, const char *szSpoolPath);
/* Moves the spool file to the next document's name (fax printer only). */
bool IncrementVsiPrinterFile(NovarcprintProcess *pSession);
/* Stores the fax printer's default orientation (1 portrait, 2 landscape). */
bool SetFaxOrientation(NovarcprintProcess *pSession, const char *szPrinter, int iOrientation);
/* The third blank-separated word of the scheduler's answer, 0 when none. */
int ParseVsiFaxVersion(const char *szOutput);
/* Runs "vfxsched version"; 0 when it cannot be run or says nothing. */
int QueryVsiFaxVersion();
/* Document boundaries between pages printed to the fax: the end moves the
 * spool file and resets the orientation, the start begins a new one. */
void EndFaxDocument(NovarcprintProcess *pSession);
void StartFaxDocument(NovarcprintProcess *pSession);

/* Worker handlers (RequestHandler form). */
int HandleOpenPrinterWork(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandleClosePrinterWork(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandleSetLandscapeMode(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandleSetPrinterTray(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandlePrintRawData(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);

#endif /* NOVARCPRINT_PRINTER_H */
