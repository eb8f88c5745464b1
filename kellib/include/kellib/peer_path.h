/*
 * Paths a peer names: the one place that decides whether a path or file
 * name that arrived off the wire may be used, and where it leads.
 *
 * Every path the server sends (named files, deletions, checksums, the image
 * cache, converter and office folders, updates) goes through these before
 * any file is opened, created or deleted.  A refused path fails that one
 * request: the caller logs the reason (KELPeerPathReason) and goes on.
 *
 * A peer path is accepted only when it is a full path on a drive ("c:\a\b",
 * '/' allowed, "\a\b" meaning drive C) whose every component is a plain
 * name: no "." or "..", no device name (CON, NUL, COM1, LPT1, ... with or
 * without an extension), no wildcard, colon or control character, no
 * trailing dot or space (which Windows would silently drop), at most 255
 * characters, and the whole below MAX_PATH.  UNC names and the "\\?\" and
 * "\\.\" forms are refused.  No component that exists may be a symbolic
 * link (a reparse point), including the last: a link could lead anywhere.
 * For writing (and deleting) the path must also stay out of the program
 * folders: "c:\novarc\bin2", the Windows folder with the system directory,
 * the PDF engine's folder "c:\novarc\bin\PdfTron", and the service's allow
 * list "c:\novarc\bin\AllowedServers.txt".  Reading (a checksum) may look
 * at a program file; it cannot change it.
 *
 * All functions return 1 when the path may be used and 0 when it may not,
 * with the last error set: ERROR_INVALID_NAME (not a plain full path or
 * name), ERROR_BAD_PATHNAME (a UNC or device form), ERROR_FILENAME_EXCED_RANGE
 * (too long for MAX_PATH or the caller's buffer), ERROR_ACCESS_DENIED (a
 * program folder), ERROR_CANT_RESOLVE_FILENAME (a symbolic link on the
 * way).  They may be called from any thread.  What they check holds when
 * they return; the root is writable only by the service's user, so nobody
 * else can put a link in the way afterwards.
 */
#ifndef KELLIB_PEER_PATH_H
#define KELLIB_PEER_PATH_H

#include <winsock2.h> /* before windows.h, which would bring the old winsock.h */
#include <windows.h>

/* What the caller is about to do with the path. */
#define KEL_PATH_READ 0  /* open for reading, checksum, test for existence */
#define KEL_PATH_WRITE 1 /* create, overwrite, append, delete, make folders */

/* The program folders: only the update installer writes there, through
 * KELProgramFilePath. */
#define KEL_PROGRAM_FOLDER "c:\\novarc\\bin2"
#define KEL_PDF_ENGINE_FOLDER "c:\\novarc\\bin\\PdfTron"
#define KEL_ALLOW_LIST_FILE "c:\\novarc\\bin\\AllowedServers.txt"

/* A full path the peer sent, checked for iAccess (KEL_PATH_READ or
 * KEL_PATH_WRITE) and written to szFull in its plain form: separators as
 * '\', repeated separators collapsed, "c:" added to "\a\b".  szFull may
 * be NULL when only the answer matters. */
int KELPeerPath(const char *szPath, int iAccess, char *szFull, int iFullSize);

/* A bare file name the peer sent: no separators, no drive, not "." or
 * "..", no device name, no wildcard, colon or control character, no
 * trailing dot or space, at most 255 characters. */
int KELPeerFileName(const char *szName);

/* szName (a bare file name from the peer) inside szFolder (a folder the
 * caller chose, such as "c:\novarc\RecentScans"): checks the name, joins
 * the two and checks the result as KELPeerPath does for iAccess. */
int KELPeerFileInFolder(const char *szFolder, const char *szName, int iAccess, char *szFull,
                        int iFullSize);

/* The one exception, for the update installer alone: szName (a bare name)
 * inside one of the program folders ("c:\novarc\bin2", the system
 * directory, "c:\novarc\bin\PdfTron"), which the other functions refuse.
 * Any other folder is refused with ERROR_ACCESS_DENIED; links are refused
 * as everywhere.  Call it only for a program file that has been verified. */
int KELProgramFilePath(const char *szFolder, const char *szName, char *szFull, int iFullSize);

/* A short English text for a refusal's last error, for the log line
 * ("program folder", "symbolic link", ...); "" for other codes. */
const char *KELPeerPathReason(DWORD dwError);

#endif /* KELLIB_PEER_PATH_H */
