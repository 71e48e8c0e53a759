// Reading the type library that widl built, through the system's oleaut32, in the terms of
// velcom's dispatch tables.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <velcom/com.h>

// The library shipped beside the test executable; throws std::runtime_error if it cannot load.
velcom::ComPtr<ITypeLib> loadShippedTypeLibrary();

// A description that ITypeInfo lends out, given back when the holder goes.
template <class Description, void (STDMETHODCALLTYPE ITypeInfo::*Release)(Description*)>
class Lent {
public:
    Lent(ITypeInfo& owner, Description* description) : m_owner(owner), m_lent(description) {}
    ~Lent() { (m_owner.*Release)(m_lent); }
    Lent(const Lent&) = delete;
    Lent& operator=(const Lent&) = delete;

    const Description* operator->() const { return m_lent; }

private:
    ITypeInfo& m_owner;
    Description* m_lent;
};

using TypeAttrHolder = Lent<TYPEATTR, &ITypeInfo::ReleaseTypeAttr>;
using FuncDescHolder = Lent<FUNCDESC, &ITypeInfo::ReleaseFuncDesc>;
using VarDescHolder = Lent<VARDESC, &ITypeInfo::ReleaseVarDesc>;

// Each throws std::runtime_error when the type information refuses.
TypeAttrHolder typeAttr(ITypeInfo& info);
FuncDescHolder funcDesc(ITypeInfo& info, UINT index);
VarDescHolder varDesc(ITypeInfo& info, UINT index);
velcom::ComPtr<ITypeInfo> referencedType(ITypeInfo& info, HREFTYPE reference);
// The name and help string of a member, or of the type itself for MEMBERID_NIL.
std::u16string nameOf(ITypeInfo& info, MEMBERID id);
std::u16string helpStringOf(ITypeInfo& info, MEMBERID id);
// A member's name followed by its parameters' names.
std::vector<std::u16string> namesOf(ITypeInfo& info, MEMBERID id);

// A parameter as a dispatch table would describe it: the automation type (enumerations as VT_I4,
// interfaces as VT_DISPATCH or VT_UNKNOWN, by-reference [in] values as VT_BYREF | type, an [in]
// VARIANT* as VT_VARIANT), the velcom::kParam* flags, and for [in] interfaces other than
// IUnknown and IDispatch the interface asked for.
struct LibraryParam {
    VARTYPE type;
    std::uint8_t flags;
    std::optional<GUID> iid;
};
LibraryParam describeParam(ITypeInfo& owner, const ELEMDESC& element);
