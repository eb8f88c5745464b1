/*
 * Commands a document carries out: IOleCommandTarget::Exec with the
 * standard command identifiers (printing is the one served).
 */
#ifndef WINPORT_DOCOBJ_H
#define WINPORT_DOCOBJ_H

#include "oleauto.h"

typedef enum OLECMDID { OLECMDID_PRINT = 6, OLECMDID_PRINTPREVIEW = 7 } OLECMDID;
typedef enum OLECMDEXECOPT {
    OLECMDEXECOPT_DODEFAULT = 0,
    OLECMDEXECOPT_PROMPTUSER = 1,
    OLECMDEXECOPT_DONTPROMPTUSER = 2,
    OLECMDEXECOPT_SHOWHELP = 3
} OLECMDEXECOPT;

#define OLECMDERR_E_NOTSUPPORTED ((HRESULT)0x80040100L)
#define OLECMDERR_E_UNKNOWNGROUP ((HRESULT)0x80040104L)

WINPORT_BEGIN_C
extern const IID IID_IOleCommandTarget;
WINPORT_END_C

#ifdef __cplusplus

struct IOleCommandTarget : public IUnknown {
    /* Carries out command nCmdID of the group (NULL: the standard
     * OLECMDID commands); OLECMDERR_E_NOTSUPPORTED for any other. */
    STDMETHOD(Exec)
    (const GUID *pguidCmdGroup, DWORD nCmdID, DWORD nCmdexecopt, VARIANT *pvaIn,
     VARIANT *pvaOut) = 0;
};

#endif /* __cplusplus */

#endif /* WINPORT_DOCOBJ_H */
