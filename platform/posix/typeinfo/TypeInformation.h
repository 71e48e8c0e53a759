// ITypeInfo of one dual interface of a library model, in its dispatch view.
#pragma once

#include <atomic>

#include <velcom/ComPtr.h>

#include "TypeLibrary.h"

namespace velcom::typeinfo {

class TypeInformation final : public ITypeInfo {
public:
    TypeInformation(TypeLibrary& library, UINT index);

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP GetTypeAttr(TYPEATTR** attributes) override;
    STDMETHODIMP GetTypeComp(ITypeComp** typeComp) override;
    STDMETHODIMP GetFuncDesc(UINT index, FUNCDESC** function) override;
    STDMETHODIMP GetVarDesc(UINT index, VARDESC** variable) override;
    STDMETHODIMP GetNames(MEMBERID id, BSTR* names, UINT maxNames, UINT* count) override;
    STDMETHODIMP GetRefTypeOfImplType(UINT index, HREFTYPE* type) override;
    STDMETHODIMP GetImplTypeFlags(UINT index, INT* flags) override;
    STDMETHODIMP GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override;
    STDMETHODIMP Invoke(PVOID instance, MEMBERID id, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;
    STDMETHODIMP GetDocumentation(MEMBERID id, BSTR* name, BSTR* docString, DWORD* helpContext,
                                  BSTR* helpFile) override;
    STDMETHODIMP GetDllEntry(MEMBERID id, INVOKEKIND kind, BSTR* dllName, BSTR* name,
                             WORD* ordinal) override;
    STDMETHODIMP GetRefTypeInfo(HREFTYPE type, ITypeInfo** typeInfo) override;
    STDMETHODIMP AddressOfMember(MEMBERID id, INVOKEKIND kind, PVOID* address) override;
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, PVOID* object) override;
    STDMETHODIMP GetMops(MEMBERID id, BSTR* mops) override;
    STDMETHODIMP GetContainingTypeLib(ITypeLib** library, UINT* index) override;
    STDMETHODIMP_(void) ReleaseTypeAttr(TYPEATTR* attributes) override;
    STDMETHODIMP_(void) ReleaseFuncDesc(FUNCDESC* function) override;
    STDMETHODIMP_(void) ReleaseVarDesc(VARDESC* variable) override;

private:
    ~TypeInformation() = default;

    std::atomic<ULONG> m_references{1};
    ComPtr<TypeLibrary> m_library;
    UINT m_index;
    const InterfaceModel& m_interface;
};

}  // namespace velcom::typeinfo
