// The type library shipped beside the test executable, read through the system's oleaut32.
#include <functional>
#include <memory>
#include <stdexcept>

#include "component/contract/ContractReading.h"
#include "support/OleText.h"

namespace {

void check(HRESULT result, const char* what) {
    if (FAILED(result))
        throw std::runtime_error(std::string(what) + " failed: " + std::to_string(result));
}

// A description that ITypeInfo lends out, given back when the holder goes.
template <class T>
using Lent = std::unique_ptr<T, std::function<void(T*)>>;

template <class T>
Lent<T> lent(ITypeInfo* owner, HRESULT result, T** lent,
             void (STDMETHODCALLTYPE ITypeInfo::*giveBack)(T*)) {
    check(result, "ITypeInfo");
    return {*lent, [owner, giveBack](T* description) { (owner->*giveBack)(description); }};
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

std::string guidText(const GUID& guid) {
    OLECHAR text[39];
    return narrow(textOf(text, static_cast<UINT>(StringFromGUID2(guid, text, 39) - 1)));
}

velcom::ComPtr<ITypeInfo> referenced(ITypeInfo* info, HREFTYPE reference) {
    velcom::ComPtr<ITypeInfo> type;
    check(info->GetRefTypeInfo(reference, type.put()), "GetRefTypeInfo");
    return type;
}

std::string paramOf(ITypeInfo* owner, const ELEMDESC& element) {
    const USHORT given = element.paramdesc.wParamFlags;
    const bool out = (given & PARAMFLAG_FOUT) != 0;
    const std::uint8_t flags = ((given & PARAMFLAG_FIN) != 0 ? velcom::kParamIn : 0) |
                               (out ? velcom::kParamOut : 0) |
                               ((given & PARAMFLAG_FRETVAL) != 0 ? velcom::kParamRetval : 0) |
                               ((given & PARAMFLAG_FOPT) != 0 ? velcom::kParamOptional : 0);
    int references = 0;
    const TYPEDESC* type = &element.tdesc;
    for (; type->vt == VT_PTR; type = type->lptdesc) ++references;
    VARTYPE vt = type->vt;
    std::string iid;
    if (vt == VT_USERDEFINED) {
        const velcom::ComPtr<ITypeInfo> named = referenced(owner, type->hreftype);
        const Lent<TYPEATTR> attributes = typeAttr(named.get());
        vt = VT_I4;
        if (attributes->typekind != TKIND_ENUM) {
            --references;  // an interface is itself reached through a pointer
            const bool dispatchable = attributes->typekind == TKIND_DISPATCH ||
                                      (attributes->wTypeFlags & TYPEFLAG_FDISPATCHABLE) != 0;
            vt = dispatchable ? VT_DISPATCH : VT_UNKNOWN;
            iid = nameOf(named.get(), MEMBERID_NIL);
            if (iid == "IUnknown" || iid == "IDispatch") iid.clear();
        }
    }
    // An [out] parameter is a pointer by nature and names no interface; an [in] VARIANT* takes
    // any argument.
    if (out) {
        --references;
        iid.clear();
    }
    if (!out && vt == VT_VARIANT && references == 1) references = 0;
    if (references != 0 && references != 1)
        throw std::runtime_error("a parameter that automation cannot pass");
    if (references == 1) vt |= VT_BYREF;
    return paramText(vt, flags, iid);
}

// A dual interface's members in vtable order, as its interface (not dispinterface) view lists
// them, after a line with its base and whether it is a dual automation interface.
std::vector<std::string> membersOf(ITypeInfo* dispatchView) {
    HREFTYPE reference = 0;
    check(dispatchView->GetRefTypeOfImplType(static_cast<UINT>(-1), &reference), "dual view");
    const velcom::ComPtr<ITypeInfo> view = referenced(dispatchView, reference);
    const Lent<TYPEATTR> attributes = typeAttr(view.get());
    HREFTYPE base = 0;
    check(view->GetRefTypeOfImplType(0, &base), "GetRefTypeOfImplType");
    const WORD dual = TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE | TYPEFLAG_FOLEAUTOMATION;
    std::vector<std::string> lines{"base " + nameOf(referenced(view.get(), base).get(), -1) +
                                   ((attributes->wTypeFlags & dual) == dual ? " dual" : "")};
    for (UINT i = 0; i < attributes->cFuncs; ++i) {
        FUNCDESC* function = nullptr;
        const Lent<FUNCDESC> held = lent(view.get(), view->GetFuncDesc(i, &function), &function,
                                         &ITypeInfo::ReleaseFuncDesc);
        std::string line = memberLine(nameOf(view.get(), function->memid), function->memid,
                                      static_cast<WORD>(function->invkind));
        for (SHORT j = 0; j < function->cParams; ++j)
            line += paramOf(view.get(), function->lprgelemdescParam[j]);
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

ContractReading readContract() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length == MAX_PATH) throw std::runtime_error("no module path");
    std::wstring file(path, length);
    file = file.substr(0, file.find_last_of(L"\\/") + 1) + L"velTesseraComm.tlb";
    velcom::ComPtr<ITypeLib> library;
    check(LoadTypeLibEx(file.c_str(), REGKIND_NONE, library.put()), "LoadTypeLibEx");

    ContractReading reading;
    TLIBATTR* attributes = nullptr;
    check(library->GetLibAttr(&attributes), "GetLibAttr");
    velcom::Bstr name;
    velcom::Bstr help;
    check(library->GetDocumentation(-1, name.put(), help.put(), nullptr, nullptr), "library");
    reading.ids[narrow(textOf(name.get()))] = guidText(attributes->guid);
    reading.library = std::to_string(attributes->wMajorVerNum) + "." +
                      std::to_string(attributes->wMinorVerNum) + " " +
                      std::to_string(attributes->lcid) + " " + narrow(textOf(help.get()));
    library->ReleaseTLibAttr(attributes);

    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        velcom::ComPtr<ITypeInfo> info;
        check(library->GetTypeInfo(i, info.put()), "GetTypeInfo");
        const Lent<TYPEATTR> type = typeAttr(info.get());
        const std::string typeName = nameOf(info.get(), MEMBERID_NIL);
        for (WORD v = 0; type->typekind == TKIND_ENUM && v < type->cVars; ++v) {
            VARDESC* variable = nullptr;
            const Lent<VARDESC> held = lent(info.get(), info->GetVarDesc(v, &variable), &variable,
                                            &ITypeInfo::ReleaseVarDesc);
            velcom::Variant value;
            check(VariantChangeType(value.put(), variable->lpvarValue, 0, VT_I4), "enumerator");
            reading.enumerators[nameOf(info.get(), variable->memid)] = value.get()->lVal;
        }
        if (type->typekind != TKIND_ENUM) reading.ids[typeName] = guidText(type->guid);
        if (type->typekind == TKIND_DISPATCH) reading.interfaces[typeName] = membersOf(info.get());
    }
    return reading;
}
