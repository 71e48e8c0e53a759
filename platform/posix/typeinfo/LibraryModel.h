// A type library's description copied into storage of its own, with the attributes and function
// descriptions that type information hands out prepared once: the objects that serve it then
// depend on nothing in the module that described it.
#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <velcom/TypeDescription.h>

namespace velcom::typeinfo {

struct MemberModel {
    std::u16string name;
    std::optional<std::u16string> help;
    // The names a caller passes arguments by: the [out, retval] parameter is the result, and a
    // property put's value has no name of its own.
    std::vector<std::u16string> argumentNames;
    FUNCDESC function{};
    std::vector<ELEMDESC> params;
    // What the VT_PTR parameters point to.
    std::deque<TYPEDESC> pointees;
};

struct InterfaceModel {
    std::u16string name;
    std::optional<std::u16string> help;
    TYPEATTR attributes{};
    std::vector<MemberModel> members;

    const MemberModel* find(MEMBERID id) const;
    const MemberModel* find(MEMBERID id, WORD flags) const;
    const MemberModel* findByName(const OLECHAR* asked) const;
};

struct LibraryModel {
    std::u16string name;
    std::optional<std::u16string> help;
    TLIBATTR attributes{};
    std::vector<InterfaceModel> interfaces;
};

std::shared_ptr<const LibraryModel> modelOf(const LibraryDescription& description);

// Names in type information match regardless of ASCII letter case.
bool sameNameIgnoringCase(std::u16string_view stored, const OLECHAR* asked);

}  // namespace velcom::typeinfo
