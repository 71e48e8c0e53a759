// The type library shipped beside the test executable, read through the system's oleaut32.
#include <functional>
#include <memory>

#include "component/contract/ContractReading.h"

namespace {

void check(HRESULT result, const char* what) {
    if (FAILED(result)) throw std::runtime_error(std::string(what) + " failed");
}

// A description that ITypeInfo lends out, given back when the holder goes.
template <class T>
using Lent = std::unique_ptr<T, std::function<void(T*)>>;

template <class T>
Lent<T> lent(ITypeInfo* owner, HRESULT result, T** description,
             void (STDMETHODCALLTYPE ITypeInfo::*giveBack)(T*)) {
    check(result, "ITypeInfo");
    return {*description, [owner, giveBack](T* given) { (owner->*giveBack)(given); }};
}

Lent<TYPEATTR> typeAttr(ITypeInfo* info) {
    TYPEATTR* attributes = nullptr;
    return lent(info, info->GetTypeAttr(&attributes), &attributes, &ITypeInfo::ReleaseTypeAttr);
}

std::string nameOf(ITypeInfo* info, MEMBERID id) {
    velcom::Bstr name;
    check(info->GetDocumentation(id, name.put(), nullptr, nullptr, nullptr), "GetDocumentation");
    return narrow(textOf(name.get()));
}

velcom::ComPtr<ITypeInfo> referenced(ITypeInfo* info, HREFTYPE reference) {
    velcom::ComPtr<ITypeInfo> type;
    check(info->GetRefTypeInfo(reference, type.put()), "GetRefTypeInfo");
    return type;
}

std::string paramOf(ITypeInfo* owner, const ELEMDESC& element) {
    const USHORT given = element.paramdesc.wParamFlags;
    const auto flags =
        static_cast<std::uint8_t>(((given & PARAMFLAG_FIN) != 0 ? velcom::kParamIn : 0) |
                                  ((given & PARAMFLAG_FOUT) != 0 ? velcom::kParamOut : 0) |
                                  ((given & PARAMFLAG_FRETVAL) != 0 ? velcom::kParamRetval : 0) |
                                  ((given & PARAMFLAG_FOPT) != 0 ? velcom::kParamOptional : 0));
    int pointers = 0;
    const TYPEDESC* type = &element.tdesc;
    for (; type->vt == VT_PTR; type = type->lptdesc) ++pointers;
    if (type->vt == VT_UNKNOWN || type->vt == VT_DISPATCH) ++pointers;  // a pointer by its type
    if (type->vt != VT_USERDEFINED) return paramLine(type->vt, flags, "", pointers);
    const velcom::ComPtr<ITypeInfo> named = referenced(owner, type->hreftype);
    const Lent<TYPEATTR> attributes = typeAttr(named.get());
    if (attributes->typekind == TKIND_ENUM) return paramLine(VT_I4, flags, "", pointers);
    const std::string name = nameOf(named.get(), MEMBERID_NIL);
    if (name == "IUnknown") return paramLine(VT_UNKNOWN, flags, "", pointers);
    return paramLine(VT_DISPATCH, flags, name == "IDispatch" ? "" : name, pointers);
}

// A dual interface's members in vtable order, as its interface (not dispinterface) view lists them.
std::vector<std::string> membersOf(ITypeInfo* dispatchView) {
    HREFTYPE reference = 0;
    check(dispatchView->GetRefTypeOfImplType(static_cast<UINT>(-1), &reference), "dual view");
    const velcom::ComPtr<ITypeInfo> view = referenced(dispatchView, reference);
    std::vector<std::string> lines;
    for (UINT i = 0; i < typeAttr(view.get())->cFuncs; ++i) {
        FUNCDESC* function = nullptr;
        const Lent<FUNCDESC> held = lent(view.get(), view->GetFuncDesc(i, &function), &function,
                                         &ITypeInfo::ReleaseFuncDesc);
        lines.push_back(memberLine(nameOf(view.get(), function->memid), function->memid,
                                   static_cast<WORD>(function->invkind)));
        for (SHORT j = 0; j < function->cParams; ++j)
            lines.back() += paramOf(view.get(), function->lprgelemdescParam[j]);
    }
    return lines;
}

}  // namespace

ContractReading readContract() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring file(path, length);
    file = file.substr(0, file.find_last_of(L"\\/") + 1) + L"velTesseraComm.tlb";
    velcom::ComPtr<ITypeLib> library;
    check(LoadTypeLibEx(file.c_str(), REGKIND_NONE, library.put()), "LoadTypeLibEx");

    ContractReading reading;
    TLIBATTR* attributes = nullptr;
    velcom::Bstr name;
    check(library->GetLibAttr(&attributes), "GetLibAttr");
    check(library->GetDocumentation(-1, name.put(), nullptr, nullptr, nullptr), "library name");
    reading.ids[narrow(textOf(name.get()))] = guidText(attributes->guid);
    library->ReleaseTLibAttr(attributes);
    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        velcom::ComPtr<ITypeInfo> info;
        check(library->GetTypeInfo(i, info.put()), "GetTypeInfo");
        const Lent<TYPEATTR> type = typeAttr(info.get());
        for (WORD v = 0; type->typekind == TKIND_ENUM && v < type->cVars; ++v) {
            VARDESC* variable = nullptr;
            const Lent<VARDESC> held = lent(info.get(), info->GetVarDesc(v, &variable), &variable,
                                            &ITypeInfo::ReleaseVarDesc);
            velcom::Variant value;
            check(VariantChangeType(value.put(), variable->lpvarValue, 0, VT_I4), "enumerator");
            reading.enumerators[nameOf(info.get(), variable->memid)] = value.get()->lVal;
        }
        const std::string typeName = nameOf(info.get(), MEMBERID_NIL);
        if (type->typekind != TKIND_ENUM) reading.ids[typeName] = guidText(type->guid);
        if (type->typekind == TKIND_DISPATCH) reading.interfaces[typeName] = membersOf(info.get());
    }
    return reading;
}
