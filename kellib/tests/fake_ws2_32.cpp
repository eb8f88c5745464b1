/*
 * A stand-in Winsock module for the binding tests: it exports only
 * WSAGetLastError (answering 4242), so every other binder meets a module
 * that lacks its function, as on a workstation with a broken Winsock.
 */
extern "C" __attribute__((visibility("default"))) int WSAGetLastError(void)
{
    return 4242;
}
