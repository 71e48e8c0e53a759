#include <velcom/win32.h>

#include <velcom/ComPtr.h>
#include <velcom/posix/objbase.h>

extern "C" HRESULT OleRun(IUnknown* object) {
    if (object == nullptr) return E_INVALIDARG;
    velcom::ComPtr<IRunnableObject> runnable;
    if (FAILED(object->QueryInterface(IID_IRunnableObject, runnable.putVoid()))) return S_OK;
    return runnable->Run(nullptr);
}
