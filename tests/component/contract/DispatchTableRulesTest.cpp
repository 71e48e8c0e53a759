// The automation rules every interface of the type library follows, checked on the dispatch
// tables that hosts reach the component through.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <utility>

#include "component/contract/LibraryInterfaces.h"
#include "component/contract/Narrow.h"

namespace {

using velcom::DispatchMember;

const DispatchMember* find(std::span<const DispatchMember> members, DISPID id, WORD kind) {
    for (const DispatchMember& member : members)
        if (member.id == id && member.kind == kind) return &member;
    return nullptr;
}

TEST(DispatchTableRulesTest, EachDispidNamesOneMemberAndAppearsOncePerKind) {
    for (const LibraryInterface& library : kLibraryInterfaces) {
        SCOPED_TRACE(narrow(library.name));
        std::set<std::pair<DISPID, WORD>> seen;
        std::map<DISPID, std::u16string> names;
        for (const DispatchMember& member : library.members) {
            EXPECT_TRUE(seen.emplace(member.id, member.kind).second)
                << narrow(member.name) << " repeats DISPID " << member.id;
            const auto named = names.emplace(member.id, member.name).first;
            EXPECT_EQ(named->second, member.name) << "DISPID " << member.id;
        }
    }
}

TEST(DispatchTableRulesTest, DispidsCountFromOneInDeclarationOrder) {
    for (const LibraryInterface& library : kLibraryInterfaces) {
        SCOPED_TRACE(narrow(library.name));
        DISPID next = 1;
        std::set<DISPID> numbered;
        for (const DispatchMember& member : library.members) {
            const bool standard = member.id == DISPID_VALUE || member.id == DISPID_NEWENUM;
            if ((library.collection && standard) || !numbered.insert(member.id).second) continue;
            EXPECT_EQ(member.id, next) << narrow(member.name);
            next = member.id + 1;
        }
    }
}

TEST(DispatchTableRulesTest, ResultsComeLastAndEveryPropertyGetHasOne) {
    for (const LibraryInterface& library : kLibraryInterfaces) {
        for (const DispatchMember& member : library.members) {
            SCOPED_TRACE(narrow(library.name) + "::" + narrow(member.name));
            for (std::size_t i = 0; i < member.paramCount; ++i) {
                const std::uint8_t flags = member.params[i].flags;
                if ((flags & velcom::kParamRetval) != 0) {
                    EXPECT_EQ(i + 1, member.paramCount) << "the result is the last parameter";
                }
                if (member.kind != DISPATCH_METHOD && i + 1 < member.paramCount) {
                    EXPECT_EQ(flags, velcom::kParamIn) << "a property's index is plain [in]";
                }
            }
            if (member.kind == DISPATCH_PROPERTYGET) {
                ASSERT_GE(member.paramCount, 1u);
                EXPECT_EQ(member.params[member.paramCount - 1].flags,
                          velcom::kParamOut | velcom::kParamRetval);
            }
        }
    }
}

TEST(DispatchTableRulesTest, PropertyPutsPairWithAGetOfTheSameDispidAndType) {
    int puts = 0;
    for (const LibraryInterface& library : kLibraryInterfaces) {
        for (const DispatchMember& member : library.members) {
            if (member.kind != DISPATCH_PROPERTYPUT) continue;
            ++puts;
            SCOPED_TRACE(narrow(library.name) + "::" + narrow(member.name));
            const DispatchMember* get = find(library.members, member.id, DISPATCH_PROPERTYGET);
            ASSERT_NE(get, nullptr) << "no write-only properties";
            ASSERT_EQ(member.paramCount, 1u);
            ASSERT_EQ(get->paramCount, 1u);
            EXPECT_EQ(member.params[0].flags, velcom::kParamIn);
            EXPECT_EQ(member.params[0].type, get->params[0].type);
        }
    }
    EXPECT_EQ(puts, 4) << "lTraceLevel, Default, TrustLevel and Comment can be written";
}

TEST(DispatchTableRulesTest, CollectionsAnswerItemAsDefaultAndNewEnumForEnumeration) {
    for (const LibraryInterface& library : kLibraryInterfaces) {
        SCOPED_TRACE(narrow(library.name));
        const DispatchMember* item = find(library.members, DISPID_VALUE, DISPATCH_PROPERTYGET);
        const DispatchMember* newEnum = find(library.members, DISPID_NEWENUM, DISPATCH_PROPERTYGET);
        const DispatchMember* count = find(library.members, 1, DISPATCH_PROPERTYGET);
        if (!library.collection) {
            EXPECT_EQ(item, nullptr);
            EXPECT_EQ(newEnum, nullptr);
            continue;
        }
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(std::u16string(item->name), u"Item");
        ASSERT_EQ(item->paramCount, 2u);
        EXPECT_EQ(item->params[0].type, VT_I4);
        EXPECT_EQ(item->params[1].type, VT_DISPATCH);

        ASSERT_NE(newEnum, nullptr);
        EXPECT_EQ(std::u16string(newEnum->name), u"_NewEnum");
        ASSERT_EQ(newEnum->paramCount, 1u);
        EXPECT_EQ(newEnum->params[0].type, VT_UNKNOWN);

        ASSERT_NE(count, nullptr);
        EXPECT_EQ(std::u16string(count->name), u"Count");
        EXPECT_EQ(count->params[0].type, VT_I4);
    }
}

}  // namespace
