#include "TypeInformation.h"

#include <new>
#include <vector>

#include <velcom/OwnedTypes.h>

namespace velcom::typeinfo {

TypeInformation::TypeInformation(TypeLibrary& library, UINT index)
    : m_library(&library), m_index(index), m_interface(library.model().interfaces[index]) {}

STDMETHODIMP TypeInformation::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_ITypeInfo)) return E_NOINTERFACE;
    *object = static_cast<ITypeInfo*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) TypeInformation::AddRef() { return ++m_references; }

STDMETHODIMP_(ULONG) TypeInformation::Release() {
    const ULONG left = --m_references;
    if (left == 0) delete this;
    return left;
}

// Attributes and function descriptions are prepared with the model and live as long as the
// library this type information keeps.
STDMETHODIMP TypeInformation::GetTypeAttr(TYPEATTR** attributes) {
    if (attributes == nullptr) return E_INVALIDARG;
    *attributes = const_cast<TYPEATTR*>(&m_interface.attributes);
    return S_OK;
}

STDMETHODIMP_(void) TypeInformation::ReleaseTypeAttr(TYPEATTR*) {}

STDMETHODIMP TypeInformation::GetFuncDesc(UINT index, FUNCDESC** function) {
    if (function == nullptr) return E_INVALIDARG;
    *function = nullptr;
    if (index >= m_interface.members.size()) return TYPE_E_ELEMENTNOTFOUND;
    *function = const_cast<FUNCDESC*>(&m_interface.members[index].function);
    return S_OK;
}

STDMETHODIMP_(void) TypeInformation::ReleaseFuncDesc(FUNCDESC*) {}

STDMETHODIMP TypeInformation::GetNames(MEMBERID id, BSTR* names, UINT maxNames, UINT* count) {
    if (names == nullptr || count == nullptr) return E_INVALIDARG;
    *count = 0;
    const MemberModel* member = m_interface.find(id);
    if (member == nullptr) return TYPE_E_ELEMENTNOTFOUND;
    try {
        std::vector<Bstr> found;
        if (maxNames > 0) found.emplace_back(member->name);
        for (const std::u16string& name : member->argumentNames)
            if (found.size() < maxNames) found.emplace_back(name);
        for (Bstr& name : found) names[(*count)++] = name.detach();
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

// The member's name, then its arguments' names, each regardless of case; arguments are numbered
// from 0 in declared order.
STDMETHODIMP TypeInformation::GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) {
    if (names == nullptr || ids == nullptr || count == 0 || names[0] == nullptr)
        return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i) ids[i] = MEMBERID_NIL;
    const MemberModel* member = m_interface.findByName(names[0]);
    if (member == nullptr) return DISP_E_UNKNOWNNAME;
    ids[0] = member->function.memid;
    HRESULT result = S_OK;
    for (UINT i = 1; i < count; ++i) {
        const auto& arguments = member->argumentNames;
        for (std::size_t position = 0; position < arguments.size(); ++position)
            if (names[i] != nullptr && sameNameIgnoringCase(arguments[position], names[i]))
                ids[i] = static_cast<MEMBERID>(position);
        if (ids[i] == MEMBERID_NIL) result = DISP_E_UNKNOWNNAME;
    }
    return result;
}

// The instance is the dual interface itself, whose IDispatch calls the member.
STDMETHODIMP TypeInformation::Invoke(PVOID instance, MEMBERID id, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError) {
    if (instance == nullptr) return E_INVALIDARG;
    if (m_interface.find(id, flags) == nullptr) return DISP_E_MEMBERNOTFOUND;
    return static_cast<IDispatch*>(instance)->Invoke(
        id, IID_NULL, m_interface.attributes.lcid, flags, params, result, exception, argumentError);
}

STDMETHODIMP TypeInformation::GetDocumentation(MEMBERID id, BSTR* name, BSTR* docString,
                                               DWORD* helpContext, BSTR* helpFile) {
    if (id == MEMBERID_NIL)
        return document(m_interface.name, m_interface.help, name, docString, helpContext, helpFile);
    const MemberModel* member = m_interface.find(id);
    if (member == nullptr) return TYPE_E_ELEMENTNOTFOUND;
    return document(member->name, member->help, name, docString, helpContext, helpFile);
}

STDMETHODIMP TypeInformation::GetContainingTypeLib(ITypeLib** library, UINT* index) {
    if (index != nullptr) *index = m_index;
    if (library != nullptr) {
        *library = m_library.get();
        m_library->AddRef();
    }
    return S_OK;
}

STDMETHODIMP TypeInformation::GetTypeComp(ITypeComp**) { return E_NOTIMPL; }
STDMETHODIMP TypeInformation::GetVarDesc(UINT, VARDESC**) { return E_NOTIMPL; }
STDMETHODIMP TypeInformation::GetRefTypeOfImplType(UINT, HREFTYPE*) { return E_NOTIMPL; }
STDMETHODIMP TypeInformation::GetImplTypeFlags(UINT, INT*) { return E_NOTIMPL; }
STDMETHODIMP TypeInformation::GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) {
    return E_NOTIMPL;
}
STDMETHODIMP TypeInformation::GetRefTypeInfo(HREFTYPE, ITypeInfo**) { return E_NOTIMPL; }
STDMETHODIMP TypeInformation::AddressOfMember(MEMBERID, INVOKEKIND, PVOID*) { return E_NOTIMPL; }
STDMETHODIMP TypeInformation::CreateInstance(IUnknown*, REFIID, PVOID*) { return E_NOTIMPL; }
STDMETHODIMP TypeInformation::GetMops(MEMBERID, BSTR*) { return E_NOTIMPL; }
STDMETHODIMP_(void) TypeInformation::ReleaseVarDesc(VARDESC*) {}

}  // namespace velcom::typeinfo
