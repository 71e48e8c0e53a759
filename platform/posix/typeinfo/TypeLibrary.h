// ITypeLib over a library model: its type information is that of its dual interfaces.
#pragma once

#include <atomic>
#include <memory>

#include "LibraryModel.h"

namespace velcom::typeinfo {

class TypeLibrary final : public ITypeLib {
public:
    explicit TypeLibrary(std::shared_ptr<const LibraryModel> model) : m_model(std::move(model)) {}

    const LibraryModel& model() const { return *m_model; }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP_(UINT) GetTypeInfoCount() override;
    STDMETHODIMP GetTypeInfo(UINT index, ITypeInfo** typeInfo) override;
    STDMETHODIMP GetTypeInfoType(UINT index, TYPEKIND* kind) override;
    STDMETHODIMP GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** typeInfo) override;
    STDMETHODIMP GetLibAttr(TLIBATTR** attributes) override;
    STDMETHODIMP GetTypeComp(ITypeComp** typeComp) override;
    STDMETHODIMP GetDocumentation(INT index, BSTR* name, BSTR* docString, DWORD* helpContext,
                                  BSTR* helpFile) override;
    STDMETHODIMP IsName(LPOLESTR name, ULONG hash, BOOL* found) override;
    STDMETHODIMP FindName(LPOLESTR name, ULONG hash, ITypeInfo** typeInfos, MEMBERID* ids,
                          USHORT* found) override;
    STDMETHODIMP_(void) ReleaseTLibAttr(TLIBATTR* attributes) override;

private:
    ~TypeLibrary() = default;

    std::atomic<ULONG> m_references{1};
    std::shared_ptr<const LibraryModel> m_model;
};

// What GetDocumentation of a library and of a type hands out: a name, a help string, no help file.
HRESULT document(const std::u16string& name, const std::optional<std::u16string>& help,
                 BSTR* nameOut, BSTR* docString, DWORD* helpContext, BSTR* helpFile);

}  // namespace velcom::typeinfo
