/*
 * The few operations the service may not do as its own user, and the one
 * way to ask for them.
 *
 * The service runs as the local account "novarc"; the program folder
 * "c:\novarc\bin2" and the system directory belong to root, installers
 * need root, and only root may stop or start services.  The privileged
 * helper, the service "NovarcPrintkeeperHelper" (PrintkeeperHelper.exe,
 * running as LocalSystem), does exactly these operations and nothing else.
 * Each is a user-defined service control, so it carries no argument a
 * caller could bend: the files it acts on are at fixed places, are checked
 * again by the helper, and must already have been verified by the service.
 *
 * Result: the helper reports, in its service status, the control it is
 * running (dwWaitHint, 0 when idle), how many operations it has finished
 * (dwCheckPoint) and the last one's result (dwServiceSpecificExitCode: 0 or
 * a Win32 error).  RequestPrivileged waits on those.
 *
 * Without the helper installed (a console run with "-debug"), the service
 * runs the same operation itself, with the same checks, and it succeeds
 * only where the service's own user may do it.
 */
#ifndef PRINTKEEPER_PRIVILEGED_H
#define PRINTKEEPER_PRIVILEGED_H

#include <winsock2.h> /* before windows.h, which would bring the old winsock.h */
#include <windows.h>

#define HELPER_SERVICE_NAME "NovarcPrintkeeperHelper"
#define HELPER_DISPLAY_NAME "Novarc Print Service Helper"
#define HELPER_PROGRAM_PATH "C:\\novarc\\bin2\\PrintkeeperHelper.exe"

/* The operations (user-defined service controls). */
#define HELPER_PLACE_PROGRAMS 128 /* verified clients: VERIFIED_DIR -> c:\novarc\bin2 */
#define HELPER_RESTART_FAX 129    /* stop and start the fax service */
#define HELPER_STOP_SERVICE 130   /* stop the installed print service */
#define HELPER_RUN_INSTALLER 131  /* + kit index: run c:\kel\transfer\<kit> */
#define HELPER_RUN_RELAY 140      /* run the one installer in RELAY_DIR with "-N" */

/* The installers of the update port, by index (HELPER_RUN_INSTALLER + i). */
enum HelperKit {
    KIT_SERVICE = 0,   /* ServiceSpool.exe -N, not waited for */
    KIT_IMAGING = 1,   /* ImagingKit.exe -N */
    KIT_ECG = 2,       /* EcgKit.exe -N */
    KIT_CONVERTER = 3, /* ConverterKit.exe -N */
    KIT_PDF = 4,       /* PdfKit.exe -N */
    KIT_VC8 = 5,       /* vcredist_x86_v2.exe, no arguments */
    KIT_VC9 = 6,       /* vc2008redist_x86.exe, no arguments */
    KIT_COUNT = 7
};

#define TRANSFER_DIR "c:\\kel\\transfer"
/* Where the update code puts a print client it has received and verified;
 * only names "Novarcprint.<n>.<n>.exe" are placed. */
#define VERIFIED_DIR "c:\\kel\\transfer\\verified"
/* Where the update code puts a relay download it has received whole. */
#define RELAY_DIR "c:\\kel\\transfer\\relay"
#define FAX_SERVICE "NovarcFaxService"
#define PRINT_SERVICE "NovarcPrintkeeper"

/* Asks for one operation and waits up to dwWaitMs for its end (0: only
 * asks).  1 when it was done (or started, without a wait), 0 when it
 * failed, with the last error set. */
int RequestPrivileged(DWORD dwControl, DWORD dwWaitMs);

/* The operations themselves, as the helper (or the service without one)
 * runs them; 0 or a Win32 error.  helper_ops.cpp. */
DWORD DoPrivileged(DWORD dwControl);
/* One line for the log of whoever runs the operation: the service log in
 * the service, the journal (standard error) in the helper, which as root
 * writes nothing into folders the service's user owns. */
void PrivilegedLog(const char *szFormat, ...);
/* The file name and command line of a kit; NULL for an unknown index. */
const char *KitFileName(int iKit);
const char *KitArguments(int iKit);
/* Whether the name is one the print client's updates arrive under
 * ("Novarcprint.<digits>.<digits>.exe", any case). */
bool IsClientProgramName(const char *szName);

#endif /* PRINTKEEPER_PRIVILEGED_H */
