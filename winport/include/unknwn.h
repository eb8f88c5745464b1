/*
 * The COM object model's base: IUnknown, IClassFactory, interface and
 * class identifiers.  Interfaces are C++ abstract classes whose virtual
 * functions are the interface's methods in the Windows order (C callers
 * have none).
 */
#ifndef WINPORT_UNKNWN_H
#define WINPORT_UNKNWN_H

#include "windef.h"

typedef LONG HRESULT;
typedef GUID IID, CLSID;
#ifdef __cplusplus
struct IUnknown;
#else
typedef struct IUnknown IUnknown;
#endif
typedef IUnknown *LPUNKNOWN;
#ifdef __cplusplus
#define REFIID const IID &
#define REFCLSID const CLSID &
#else
#define REFIID const IID *
#define REFCLSID const CLSID *
#endif

#define STDMETHODCALLTYPE
#define STDMETHOD(method) virtual HRESULT STDMETHODCALLTYPE method
#define STDMETHOD_(type, method) virtual type STDMETHODCALLTYPE method

WINPORT_BEGIN_C
extern const IID IID_IUnknown;
extern const IID IID_IClassFactory;
WINPORT_END_C

#ifdef __cplusplus

inline bool IsEqualGUID(REFGUID a, REFGUID b)
{
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
           __builtin_memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}
#define IsEqualIID(a, b) IsEqualGUID(a, b)
#define IsEqualCLSID(a, b) IsEqualGUID(a, b)
inline bool operator==(REFGUID a, REFGUID b)
{
    return IsEqualGUID(a, b);
}
inline bool operator!=(REFGUID a, REFGUID b)
{
    return !IsEqualGUID(a, b);
}

struct IUnknown {
    STDMETHOD(QueryInterface)(REFIID riid, void **ppvObject) = 0;
    STDMETHOD_(ULONG, AddRef)() = 0;
    STDMETHOD_(ULONG, Release)() = 0;
};

struct IClassFactory : public IUnknown {
    STDMETHOD(CreateInstance)(IUnknown *pUnkOuter, REFIID riid, void **ppvObject) = 0;
    STDMETHOD(LockServer)(BOOL fLock) = 0;
};

#endif /* __cplusplus */

#endif /* WINPORT_UNKNWN_H */
