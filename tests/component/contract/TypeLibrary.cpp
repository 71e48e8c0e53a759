#include "component/contract/TypeLibrary.h"

#include <stdexcept>
#include <string>

#include "support/OleText.h"

namespace {

void check(HRESULT result, const char* what) {
    if (FAILED(result))
        throw std::runtime_error(std::string(what) + " failed: " + std::to_string(result));
}

std::uint8_t paramFlags(USHORT flags) {
    std::uint8_t result = 0;
    if ((flags & PARAMFLAG_FIN) != 0) result |= velcom::kParamIn;
    if ((flags & PARAMFLAG_FOUT) != 0) result |= velcom::kParamOut;
    if ((flags & PARAMFLAG_FRETVAL) != 0) result |= velcom::kParamRetval;
    if ((flags & PARAMFLAG_FOPT) != 0) result |= velcom::kParamOptional;
    return result;
}

}  // namespace

velcom::ComPtr<ITypeLib> loadShippedTypeLibrary() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length == MAX_PATH) throw std::runtime_error("no module path");
    std::wstring file(path, length);
    file = file.substr(0, file.find_last_of(L"\\/") + 1) + L"velTesseraComm.tlb";
    velcom::ComPtr<ITypeLib> library;
    check(LoadTypeLibEx(file.c_str(), REGKIND_NONE, library.put()), "LoadTypeLibEx");
    return library;
}

TypeAttrHolder typeAttr(ITypeInfo& info) {
    TYPEATTR* attributes = nullptr;
    check(info.GetTypeAttr(&attributes), "GetTypeAttr");
    return {info, attributes};
}

FuncDescHolder funcDesc(ITypeInfo& info, UINT index) {
    FUNCDESC* description = nullptr;
    check(info.GetFuncDesc(index, &description), "GetFuncDesc");
    return {info, description};
}

VarDescHolder varDesc(ITypeInfo& info, UINT index) {
    VARDESC* description = nullptr;
    check(info.GetVarDesc(index, &description), "GetVarDesc");
    return {info, description};
}

velcom::ComPtr<ITypeInfo> referencedType(ITypeInfo& info, HREFTYPE reference) {
    velcom::ComPtr<ITypeInfo> referenced;
    check(info.GetRefTypeInfo(reference, referenced.put()), "GetRefTypeInfo");
    return referenced;
}

std::u16string nameOf(ITypeInfo& info, MEMBERID id) {
    velcom::Bstr name;
    check(info.GetDocumentation(id, name.put(), nullptr, nullptr, nullptr), "GetDocumentation");
    return textOf(name.get());
}

std::u16string helpStringOf(ITypeInfo& info, MEMBERID id) {
    velcom::Bstr help;
    check(info.GetDocumentation(id, nullptr, help.put(), nullptr, nullptr), "GetDocumentation");
    return textOf(help.get());
}

std::vector<std::u16string> namesOf(ITypeInfo& info, MEMBERID id) {
    BSTR names[16] = {};
    UINT count = 0;
    check(info.GetNames(id, names, 16, &count), "GetNames");
    std::vector<std::u16string> result;
    for (UINT i = 0; i < count; ++i) {
        result.push_back(textOf(names[i]));
        SysFreeString(names[i]);
    }
    return result;
}

LibraryParam describeParam(ITypeInfo& owner, const ELEMDESC& element) {
    LibraryParam param{VT_EMPTY, paramFlags(element.paramdesc.wParamFlags), std::nullopt};
    int references = 0;
    const TYPEDESC* type = &element.tdesc;
    for (; type->vt == VT_PTR; type = type->lptdesc) ++references;
    param.type = type->vt;
    if (type->vt == VT_USERDEFINED) {
        velcom::ComPtr<ITypeInfo> named = referencedType(owner, type->hreftype);
        const TypeAttrHolder attributes = typeAttr(*named.get());
        if (attributes->typekind == TKIND_ENUM) {
            param.type = VT_I4;
        } else {
            // An interface is itself reached through a pointer.
            --references;
            const bool dispatchable = attributes->typekind == TKIND_DISPATCH ||
                                      (attributes->wTypeFlags & TYPEFLAG_FDISPATCHABLE) != 0;
            param.type = dispatchable ? VT_DISPATCH : VT_UNKNOWN;
            if (!IsEqualIID(attributes->guid, IID_IUnknown) &&
                !IsEqualIID(attributes->guid, IID_IDispatch))
                param.iid = attributes->guid;
        }
    }
    // An [out] parameter is a pointer by nature, and the tables name the interface of [in]
    // arguments only. An [in] VARIANT* takes whatever argument the caller gives.
    const bool out = (param.flags & velcom::kParamOut) != 0;
    if (out) {
        --references;
        param.iid.reset();
    }
    if (!out && references == 1 && param.type == VT_VARIANT) references = 0;
    if (references == 1)
        param.type = static_cast<VARTYPE>(VT_BYREF | param.type);
    else if (references != 0)
        throw std::runtime_error("a parameter that automation cannot pass");
    return param;
}
