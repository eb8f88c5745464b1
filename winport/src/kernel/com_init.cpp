/*
 * COM's and OLE's per-thread start and end.  Nothing here needs an
 * apartment: objects are created in process (com_object.cpp), so
 * CoInitialize only keeps the count Windows keeps, and reports S_FALSE
 * when the thread had started COM already, as Windows does.
 */
#include <ole2.h>
#include <windows.h>

namespace {

thread_local int t_comCount = 0;

} // namespace

/***********************************************************************
 *           CoInitialize
 * S_OK for a thread's first call, S_FALSE for each further one; every
 * successful call wants its CoUninitialize.  pvReserved must be NULL
 * (E_INVALIDARG otherwise).
 */
HRESULT WINAPI CoInitialize(LPVOID pvReserved)
{
    if (pvReserved)
        return E_INVALIDARG;
    return t_comCount++ == 0 ? S_OK : S_FALSE;
}

/***********************************************************************
 *           CoUninitialize
 * Ends one CoInitialize of the calling thread; with none left, nothing.
 */
void WINAPI CoUninitialize(void)
{
    if (t_comCount > 0)
        t_comCount--;
}

/* True while the calling thread has started COM. */
bool WinportComStarted()
{
    return t_comCount > 0;
}

/***********************************************************************
 *           OleInitialize
 * COM's start under OLE's name: the same count and the same answers.
 */
HRESULT WINAPI OleInitialize(LPVOID pvReserved)
{
    return CoInitialize(pvReserved);
}

void WINAPI OleUninitialize(void)
{
    CoUninitialize();
}
