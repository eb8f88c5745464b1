/*
 * The COM helpers the system uses: CoCreateGuid, StringFromGUID2 and the
 * per-thread CoInitialize and CoUninitialize.
 * Included by winbase.h (windows.h brings objbase.h in on Windows too).
 */
#ifndef WINPORT_OBJBASE_H
#define WINPORT_OBJBASE_H

#include "windef.h"
#include "unknwn.h"

WINPORT_BEGIN_C

#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_INVALIDARG ((HRESULT)0x80070057L)
#define E_FAIL ((HRESULT)0x80004005L)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
#define E_NOTIMPL ((HRESULT)0x80004001L)
#define E_NOINTERFACE ((HRESULT)0x80004002L)
#define E_POINTER ((HRESULT)0x80004003L)
#define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110L)
#define CLASS_E_CLASSNOTAVAILABLE ((HRESULT)0x80040111L)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154L)
#define CO_E_NOTINITIALIZED ((HRESULT)0x800401F0L)
#define CO_E_DLLNOTFOUND ((HRESULT)0x800401F8L)
#define CO_E_ERRORINDLL ((HRESULT)0x800401F9L)

/* Where a class may run.  A class is served in this process by the
 * library its registration names (CLSID\{...}\InprocServer32), for the
 * in-process and the local-server contexts alike: a local server's own
 * program is started by that library. */
#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_SERVER (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER)
#define CLSCTX_ALL CLSCTX_SERVER

HRESULT WINAPI CoCreateGuid(GUID *pguid);
/* COM's per-thread start and end: counted per thread, nothing else. */
HRESULT WINAPI CoInitialize(LPVOID pvReserved);
void WINAPI CoUninitialize(void);
/* An object of the registered class, asked for by interface.  The thread
 * must have started COM (CO_E_NOTINITIALIZED); no aggregation.  The
 * library's DllGetClassObject gives the class factory. */
HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                REFIID riid, LPVOID *ppv);
/* The class entry point a class library exports. */
typedef HRESULT(WINAPI *LPFNGETCLASSOBJECT)(REFCLSID rclsid, REFIID riid, LPVOID *ppv);
int WINAPI StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);

WINPORT_END_C

#endif /* WINPORT_OBJBASE_H */
