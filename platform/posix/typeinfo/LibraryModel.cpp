#include "LibraryModel.h"

#include <algorithm>

namespace velcom::typeinfo {

namespace {

std::optional<std::u16string> textOf(const char16_t* text) {
    if (text == nullptr) return std::nullopt;
    return std::u16string(text);
}

char16_t upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

USHORT paramFlagsOf(const ParamInfo& info) {
    USHORT flags = (info.flags & kParamIn) != 0 ? PARAMFLAG_FIN : PARAMFLAG_NONE;
    if ((info.flags & kParamOut) != 0) flags |= PARAMFLAG_FOUT;
    if ((info.flags & kParamOptional) != 0) flags |= PARAMFLAG_FOPT;
    return flags;
}

// [out] parameters and references reach the method through a pointer to their type.
void describeParam(const ParamInfo& info, ELEMDESC& element, std::deque<TYPEDESC>& pointees) {
    element.paramdesc.wParamFlags = paramFlagsOf(info);
    const auto type = static_cast<VARTYPE>(info.type & ~VT_BYREF);
    if ((info.flags & kParamOut) == 0 && (info.type & VT_BYREF) == 0) {
        element.tdesc.vt = type;
        return;
    }
    TYPEDESC& pointee = pointees.emplace_back();
    pointee.vt = type;
    element.tdesc.vt = VT_PTR;
    element.tdesc.lptdesc = &pointee;
}

// The dispatch view of a dual interface's member: the [out, retval] parameter is the result.
MemberModel modelOf(const MemberDescription& member, std::size_t index) {
    MemberModel model;
    model.name = member.name;
    model.help = textOf(member.help);
    FUNCDESC& function = model.function;
    function.memid = member.id;
    function.funckind = FUNC_DISPATCH;
    function.invkind = static_cast<INVOKEKIND>(member.kind);
    function.callconv = CC_STDCALL;
    function.wFuncFlags = member.flags;
    // After IUnknown's and IDispatch's seven methods.
    function.oVft = static_cast<SHORT>((7 + index) * sizeof(void*));
    function.elemdescFunc.tdesc.vt = VT_VOID;
    for (const ParamDescription& param : member.params) {
        if ((param.info.flags & kParamRetval) != 0) {
            function.elemdescFunc.tdesc.vt = param.info.type;
            continue;
        }
        describeParam(param.info, model.params.emplace_back(), model.pointees);
        model.argumentNames.emplace_back(param.name);
        if ((param.info.flags & kParamOptional) != 0) ++function.cParamsOpt;
    }
    if (member.kind == DISPATCH_PROPERTYPUT && !model.argumentNames.empty())
        model.argumentNames.pop_back();
    function.cParams = static_cast<SHORT>(model.params.size());
    return model;
}

InterfaceModel modelOf(const InterfaceDescription& description, const TLIBATTR& library) {
    InterfaceModel model;
    model.name = description.name;
    model.help = textOf(description.help);
    for (std::size_t i = 0; i < description.members.size(); ++i)
        model.members.push_back(modelOf(description.members[i], i));
    // The vectors are complete: the descriptions may point into them now.
    for (MemberModel& member : model.members)
        member.function.lprgelemdescParam = member.params.empty() ? nullptr : member.params.data();

    TYPEATTR& attributes = model.attributes;
    attributes.guid = description.iid;
    attributes.lcid = library.lcid;
    attributes.memidConstructor = MEMBERID_NIL;
    attributes.memidDestructor = MEMBERID_NIL;
    attributes.cbSizeInstance = sizeof(void*);
    attributes.typekind = TKIND_DISPATCH;
    attributes.cFuncs = static_cast<WORD>(model.members.size());
    attributes.cbSizeVft = static_cast<WORD>(7 * sizeof(void*));
    attributes.cbAlignment = alignof(void*);
    attributes.wTypeFlags = TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE;
    return model;
}

}  // namespace

bool sameNameIgnoringCase(std::u16string_view stored, const OLECHAR* asked) {
    std::size_t i = 0;
    for (; i < stored.size(); ++i)
        if (asked[i] == 0 || upper(stored[i]) != upper(asked[i])) return false;
    return asked[i] == 0;
}

const MemberModel* InterfaceModel::find(MEMBERID id) const {
    const auto found = std::ranges::find(
        members, id, [](const MemberModel& member) { return member.function.memid; });
    return found == members.end() ? nullptr : &*found;
}

const MemberModel* InterfaceModel::find(MEMBERID id, WORD flags) const {
    for (const MemberModel& member : members)
        if (member.function.memid == id && (member.function.invkind & flags) != 0) return &member;
    return nullptr;
}

const MemberModel* InterfaceModel::findByName(const OLECHAR* asked) const {
    for (const MemberModel& member : members)
        if (sameNameIgnoringCase(member.name, asked)) return &member;
    return nullptr;
}

std::shared_ptr<const LibraryModel> modelOf(const LibraryDescription& description) {
    auto model = std::make_shared<LibraryModel>();
    model->name = description.name;
    model->help = textOf(description.help);
    TLIBATTR& attributes = model->attributes;
    attributes.guid = description.libid;
    attributes.lcid = description.lcid;
    attributes.syskind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
    attributes.wMajorVerNum = description.majorVersion;
    attributes.wMinorVerNum = description.minorVersion;
    for (const InterfaceDescription& interface : description.interfaces)
        model->interfaces.push_back(modelOf(interface, attributes));
    return model;
}

}  // namespace velcom::typeinfo
