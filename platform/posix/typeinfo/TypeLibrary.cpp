#include "TypeLibrary.h"

#include <new>

#include <velcom/OwnedTypes.h>

#include "TypeInformation.h"

namespace velcom::typeinfo {

HRESULT document(const std::u16string& name, const std::optional<std::u16string>& help,
                 BSTR* nameOut, BSTR* docString, DWORD* helpContext, BSTR* helpFile) {
    try {
        Bstr nameText(name);
        Bstr helpText = help ? Bstr(*help) : Bstr();
        if (nameOut != nullptr) *nameOut = nameText.detach();
        if (docString != nullptr) *docString = helpText.detach();
        if (helpContext != nullptr) *helpContext = 0;
        if (helpFile != nullptr) *helpFile = nullptr;
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

STDMETHODIMP TypeLibrary::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_ITypeLib)) return E_NOINTERFACE;
    *object = static_cast<ITypeLib*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) TypeLibrary::AddRef() { return ++m_references; }

STDMETHODIMP_(ULONG) TypeLibrary::Release() {
    const ULONG left = --m_references;
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP_(UINT) TypeLibrary::GetTypeInfoCount() {
    return static_cast<UINT>(m_model->interfaces.size());
}

STDMETHODIMP TypeLibrary::GetTypeInfo(UINT index, ITypeInfo** typeInfo) {
    if (typeInfo == nullptr) return E_INVALIDARG;
    *typeInfo = nullptr;
    if (index >= m_model->interfaces.size()) return TYPE_E_ELEMENTNOTFOUND;
    try {
        *typeInfo = new TypeInformation(*this, index);
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

STDMETHODIMP TypeLibrary::GetTypeInfoType(UINT index, TYPEKIND* kind) {
    if (kind == nullptr) return E_INVALIDARG;
    if (index >= m_model->interfaces.size()) return TYPE_E_ELEMENTNOTFOUND;
    *kind = TKIND_DISPATCH;
    return S_OK;
}

STDMETHODIMP TypeLibrary::GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** typeInfo) {
    if (typeInfo == nullptr) return E_INVALIDARG;
    *typeInfo = nullptr;
    for (UINT i = 0; i < m_model->interfaces.size(); ++i)
        if (IsEqualGUID(m_model->interfaces[i].attributes.guid, guid))
            return GetTypeInfo(i, typeInfo);
    return TYPE_E_ELEMENTNOTFOUND;
}

// The attributes are prepared with the model and live as long as the library.
STDMETHODIMP TypeLibrary::GetLibAttr(TLIBATTR** attributes) {
    if (attributes == nullptr) return E_INVALIDARG;
    *attributes = const_cast<TLIBATTR*>(&m_model->attributes);
    return S_OK;
}

STDMETHODIMP_(void) TypeLibrary::ReleaseTLibAttr(TLIBATTR*) {}

STDMETHODIMP TypeLibrary::GetTypeComp(ITypeComp**) { return E_NOTIMPL; }

STDMETHODIMP TypeLibrary::GetDocumentation(INT index, BSTR* name, BSTR* docString,
                                           DWORD* helpContext, BSTR* helpFile) {
    if (index == -1)
        return document(m_model->name, m_model->help, name, docString, helpContext, helpFile);
    if (index < 0 || static_cast<std::size_t>(index) >= m_model->interfaces.size())
        return TYPE_E_ELEMENTNOTFOUND;
    const InterfaceModel& interface = m_model->interfaces[static_cast<std::size_t>(index)];
    return document(interface.name, interface.help, name, docString, helpContext, helpFile);
}

STDMETHODIMP TypeLibrary::IsName(LPOLESTR, ULONG, BOOL*) { return E_NOTIMPL; }

STDMETHODIMP TypeLibrary::FindName(LPOLESTR, ULONG, ITypeInfo**, MEMBERID*, USHORT*) {
    return E_NOTIMPL;
}

}  // namespace velcom::typeinfo

namespace velcom {

HRESULT describedTypeLib(const LibraryDescription& library, ITypeLib** typeLib) {
    if (typeLib == nullptr) return E_INVALIDARG;
    *typeLib = nullptr;
    try {
        *typeLib = new typeinfo::TypeLibrary(typeinfo::modelOf(library));
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT describedTypeInfo(const LibraryDescription& library, REFIID iid, ITypeInfo** typeInfo) {
    if (typeInfo == nullptr) return E_INVALIDARG;
    *typeInfo = nullptr;
    ITypeLib* created = nullptr;
    if (const HRESULT result = describedTypeLib(library, &created); FAILED(result)) return result;
    const auto typeLib = ComPtr<ITypeLib>::attach(created);
    return typeLib->GetTypeInfoOfGuid(iid, typeInfo);
}

}  // namespace velcom
