// A library registered as a server that lacks DllGetClassObject.
#include <velcom/win32.h>

#include <velcom/posix/unknwn.h>

extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow() { return S_OK; }
