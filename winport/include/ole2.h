/*
 * OLE's per-thread start and end, over COM's (objbase.h).
 */
#ifndef WINPORT_OLE2_H
#define WINPORT_OLE2_H

#include "objbase.h"
#include "oleauto.h"

WINPORT_BEGIN_C

/* CoInitialize for OLE: S_OK for the thread's first start, S_FALSE after;
 * pvReserved must be NULL.  Each success wants its OleUninitialize. */
HRESULT WINAPI OleInitialize(LPVOID pvReserved);
void WINAPI OleUninitialize(void);

WINPORT_END_C

#endif /* WINPORT_OLE2_H */
