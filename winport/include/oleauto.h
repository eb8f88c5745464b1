/*
 * Automation strings and variants, as far as the system passes them:
 * BSTRs (length-prefixed wide strings from SysAllocString) and the empty
 * or string VARIANT.
 */
#ifndef WINPORT_OLEAUTO_H
#define WINPORT_OLEAUTO_H

#include "unknwn.h"

WINPORT_BEGIN_C

typedef OLECHAR *BSTR;
typedef short VARIANT_BOOL;
#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

typedef unsigned short VARTYPE;
enum VARENUM { VT_EMPTY = 0, VT_NULL = 1, VT_I4 = 3, VT_BSTR = 8, VT_BOOL = 11 };

typedef struct tagVARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONG lVal;
        VARIANT_BOOL boolVal;
        BSTR bstrVal;
        void *byref;
    };
} VARIANT, *LPVARIANT;

/* A copy of the string with its length in bytes stored before it; NULL
 * for a NULL string or when memory is short.  Free with SysFreeString. */
BSTR WINAPI SysAllocString(const OLECHAR *psz);
/* Characters of the string (0 for NULL). */
UINT WINAPI SysStringLen(BSTR pbstr);
void WINAPI SysFreeString(BSTR bstrString);
/* Makes the variant VT_EMPTY. */
void WINAPI VariantInit(VARIANT *pvarg);
/* Frees what the variant holds (a BSTR) and makes it VT_EMPTY. */
HRESULT WINAPI VariantClear(VARIANT *pvarg);

WINPORT_END_C

#endif /* WINPORT_OLEAUTO_H */
