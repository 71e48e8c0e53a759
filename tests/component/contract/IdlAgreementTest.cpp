// The generated dispatch tables against the IDL they were generated from, read a second way:
// every interface, member, DISPID, kind and parameter direction, in the IDL's order.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "component/contract/IdlOutline.h"
#include "component/contract/LibraryInterfaces.h"
#include "component/contract/Narrow.h"

namespace {

class IdlAgreementTest : public ::testing::Test {
protected:
    const OutlineInterface* find(const std::string& name) const {
        for (const OutlineInterface& candidate : m_interfaces)
            if (candidate.name == name) return &candidate;
        return nullptr;
    }

    std::vector<OutlineInterface> m_interfaces = readIdlOutline(VEL_CONTRACT_IDL);
};

TEST_F(IdlAgreementTest, TheLibraryHoldsExactlyTheInterfacesThatHaveTables) {
    std::vector<std::string> inLibrary;
    for (const OutlineInterface& outlined : m_interfaces)
        if (outlined.inLibrary) inLibrary.push_back(outlined.name);
    std::vector<std::string> tabled;
    for (const LibraryInterface& library : kLibraryInterfaces)
        tabled.push_back(narrow(library.name));
    std::sort(inLibrary.begin(), inLibrary.end());
    std::sort(tabled.begin(), tabled.end());
    EXPECT_EQ(inLibrary, tabled);

    for (const char* outsider : {"IvelTransport", "ISMPrivateKeyInfrastructureEx"}) {
        const OutlineInterface* outlined = find(outsider);
        ASSERT_NE(outlined, nullptr) << outsider;
        EXPECT_FALSE(outlined->inLibrary) << outsider;
    }
}

TEST_F(IdlAgreementTest, TablesFollowTheIdlMemberByMember) {
    for (const LibraryInterface& library : kLibraryInterfaces) {
        SCOPED_TRACE(narrow(library.name));
        const OutlineInterface* outlined = find(narrow(library.name));
        ASSERT_NE(outlined, nullptr);
        ASSERT_EQ(library.members.size(), outlined->members.size());
        for (std::size_t i = 0; i < outlined->members.size(); ++i) {
            const OutlineMember& expected = outlined->members[i];
            const velcom::DispatchMember& member = library.members[i];
            SCOPED_TRACE(expected.name);
            EXPECT_EQ(narrow(member.name), expected.name);
            EXPECT_EQ(member.id, expected.id);
            EXPECT_EQ(member.kind, expected.kind);
            ASSERT_EQ(member.paramCount, expected.params.size());
            for (std::size_t j = 0; j < member.paramCount; ++j)
                EXPECT_EQ(member.params[j].flags, expected.params[j].flags)
                    << expected.params[j].name;
        }
    }
}

TEST_F(IdlAgreementTest, CallbacksNameThreadTimeAndDepthFirstAsHostsSpellThem) {
    const OutlineInterface* backChannel = find("IvelBackChannel");
    ASSERT_NE(backChannel, nullptr);
    int callbacks = 0;
    for (const OutlineMember& member : backChannel->members) {
        if (member.kind != DISPATCH_METHOD) continue;
        ++callbacks;
        ASSERT_GE(member.params.size(), 3u) << member.name;
        EXPECT_EQ(member.params[0].name, "lTreadId") << member.name;
        EXPECT_EQ(member.params[1].name, "lTime") << member.name;
        EXPECT_EQ(member.params[2].name, "lDeep") << member.name;
    }
    EXPECT_EQ(callbacks, 5);
}

TEST_F(IdlAgreementTest, TransportKeepsPostAndGetBehindSixUnusedMembers) {
    const OutlineInterface* transport = find("IvelTransport");
    ASSERT_NE(transport, nullptr);
    ASSERT_EQ(transport->members.size(), 9u);
    EXPECT_EQ(transport->members[0].name, "Init");
    EXPECT_EQ(transport->members[7].name, "Post");
    EXPECT_EQ(transport->members[8].name, "Get");
    EXPECT_EQ(transport->members[7].params.size(), 4u);
    EXPECT_EQ(transport->members[8].params.size(), 4u);
}

}  // namespace
