/*
 * The COM helpers the system uses: CoCreateGuid, StringFromGUID2 and the
 * per-thread CoInitialize and CoUninitialize.
 * Included by winbase.h (windows.h brings objbase.h in on Windows too).
 */
#ifndef WINPORT_OBJBASE_H
#define WINPORT_OBJBASE_H

#include "windef.h"

WINPORT_BEGIN_C

typedef LONG HRESULT;
#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_INVALIDARG ((HRESULT)0x80070057L)
#define E_FAIL ((HRESULT)0x80004005L)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

HRESULT WINAPI CoCreateGuid(GUID *pguid);
/* COM's per-thread start and end: counted per thread, nothing else. */
HRESULT WINAPI CoInitialize(LPVOID pvReserved);
void WINAPI CoUninitialize(void);
int WINAPI StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);

WINPORT_END_C

#endif /* WINPORT_OBJBASE_H */
