/*
 * The web browser object: the class the system creates to print a web
 * page, and the part of IWebBrowser2 it uses (navigation, ready state,
 * the document, visibility, silence, quitting).  The methods are declared
 * in their Windows order; the others of the interface are not served.
 * IDispatch's automation methods are not served either.
 */
#ifndef WINPORT_EXDISP_H
#define WINPORT_EXDISP_H

#include "oleauto.h"

typedef enum tagREADYSTATE {
    READYSTATE_UNINITIALIZED = 0,
    READYSTATE_LOADING = 1,
    READYSTATE_LOADED = 2,
    READYSTATE_INTERACTIVE = 3,
    READYSTATE_COMPLETE = 4
} READYSTATE;

WINPORT_BEGIN_C
extern const IID IID_IDispatch;
extern const IID IID_IWebBrowser2;
extern const CLSID CLSID_InternetExplorer;
WINPORT_END_C

#ifdef __cplusplus

struct IDispatch : public IUnknown {};

struct IWebBrowser2 : public IDispatch {
    /* Starts loading the URL; the ready state tells when it is there. */
    STDMETHOD(Navigate)
    (BSTR URL, VARIANT *Flags, VARIANT *TargetFrameName, VARIANT *PostData, VARIANT *Headers) = 0;
    /* The loaded document (it answers IOleCommandTarget); E_FAIL before. */
    STDMETHOD(get_Document)(IDispatch **ppDisp) = 0;
    /* Ends the browser: a navigation still running is stopped. */
    STDMETHOD(Quit)() = 0;
    STDMETHOD(put_Visible)(VARIANT_BOOL Value) = 0;
    STDMETHOD(get_ReadyState)(READYSTATE *plReadyState) = 0;
    STDMETHOD(put_Silent)(VARIANT_BOOL bSilent) = 0;
};

#endif /* __cplusplus */

#endif /* WINPORT_EXDISP_H */
