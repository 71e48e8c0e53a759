#include "KernelObject.h"

using velcom::detail::KernelObject;
using velcom::detail::objectFromHandle;

extern "C" DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
    auto* kernelObject = objectFromHandle<KernelObject>(object);
    return kernelObject == nullptr ? WAIT_FAILED : kernelObject->wait(milliseconds);
}

extern "C" BOOL CloseHandle(HANDLE object) {
    auto* kernelObject = objectFromHandle<KernelObject>(object);
    if (kernelObject == nullptr) return FALSE;
    kernelObject->release();
    return TRUE;
}
