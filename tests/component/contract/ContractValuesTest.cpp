// Values that hosts, the transport and the PKI component were built against: identifiers,
// enumeration values and the members whose order and types they rely on.
#include <gtest/gtest.h>

#include <string>

#include <velTesseraComm/DispatchTables.h>

#include "component/contract/EnumerationMembers.h"
#include "component/contract/Narrow.h"
#include "support/OleText.h"

namespace {

std::u16string textOf(const GUID& guid) {
    OLECHAR text[39];
    const int length = StringFromGUID2(guid, text, 39);
    return length > 0 ? ::textOf(text, static_cast<UINT>(length - 1)) : std::u16string();
}

TEST(ContractValuesTest, IdentifiersAreTheOnesHostsRegistered) {
    const struct {
        const GUID* guid;
        const char16_t* text;
    } identifiers[] = {
        {&LIBID_VELTESSERACOMMLib, u"{A8253F84-5360-11D6-8314-00E029442B7A}"},
        {&CLSID_velTesseraProxy, u"{A8253F85-5360-11D6-8314-00E029442B7A}"},
        {&CLSID_velNode, u"{0922C5A7-B3CB-11D4-825A-00E029442B7A}"},
        {&CLSID_velNodeCollection, u"{0922C5A9-B3CB-11D4-825A-00E029442B7A}"},
        {&CLSID_velTransport, u"{A8253F79-5360-11D6-8314-00E029442B7A}"},
        {&IID_IvelTesseraProxy, u"{0922C5A4-B3CB-11D4-825A-00E029442B7A}"},
        {&IID_IvelTesseraProxyEx, u"{BCBAFF65-ACCD-11D5-82E7-00E029442B7A}"},
        {&IID_IvelNode, u"{0922C5A6-B3CB-11D4-825A-00E029442B7A}"},
        {&IID_IvelNodeCollection, u"{0922C5A8-B3CB-11D4-825A-00E029442B7A}"},
        {&IID_IvelBackChannel, u"{DB8F9B80-3883-11D4-B4C4-00E02944413E}"},
        {&IID_IvelRand, u"{CD106F5C-2D9D-11D4-B4BA-00E02944413E}"},
        {&IID_IAuthenticator, u"{CFE52461-32D8-11D4-81E9-00E029442B7A}"},
        {&IID_ISMPrivateKeyInfrastructure, u"{9AC784E4-3226-11D4-81E8-00E029442B7A}"},
        {&IID_ISMPrivateKeyInfrastructureEx, u"{11F82307-ACD5-11D5-82E7-00E029442B7A}"},
        {&IID_ISMCertificate, u"{9AC784F7-3226-11D4-81E8-00E029442B7A}"},
        {&IID_ISMRequest, u"{04D30C9A-AE32-11D4-8256-00E029442B7A}"},
        {&IID_ISMAsymKey, u"{9AC784FB-3226-11D4-81E8-00E029442B7A}"},
        {&IID_ISMCertificateList, u"{D0E76A4B-3555-11D4-81EA-00E029442B7A}"},
        {&IID_ISMCRLList, u"{D0E76A4D-3555-11D4-81EA-00E029442B7A}"},
        {&IID_ISMKeyList, u"{D0E76A4F-3555-11D4-81EA-00E029442B7A}"},
        {&IID_ISMRevocationList, u"{9AC784F9-3226-11D4-81E8-00E029442B7A}"},
        {&IID_IvelTransport, u"{8BE84E08-385B-11D4-B4C4-00E02944413E}"},
    };
    for (const auto& identifier : identifiers) EXPECT_EQ(textOf(*identifier.guid), identifier.text);
}

TEST(ContractValuesTest, EnumerationsHoldTheContractsValuesAsLongs) {
    for (const EnumerationMember& member : kEnumerationMembers)
        EXPECT_EQ(member.declared, member.expected) << narrow(member.name);
    // Automation passes them as VT_I4, and a PKI component writes them through a long*.
    EXPECT_EQ(sizeof(NodeType), sizeof(LONG));
    EXPECT_EQ(sizeof(CertStatus), sizeof(LONG));
    EXPECT_EQ(sizeof(Validity), sizeof(LONG));
    EXPECT_LT(SMValExpired, 0) << "Validity is signed";
}

TEST(ContractValuesTest, PkiComponentOffersItsTwentyFiveMethodsInOrder) {
    const char16_t* const names[] = {
        u"FindKey",
        u"Verify2",
        u"Verify",
        u"ImportKey",
        u"ExportPKCS12",
        u"Import",
        u"Load",
        u"LoadPKCS12",
        u"Export",
        u"Export2",
        u"Find",
        u"GetCertificate",
        u"GetIssuer",
        u"HasValidCertifiedKey",
        u"FindValidCerts",
        u"AdjustDefaults",
        u"CreateCertificateList",
        u"CreateRequest",
        u"AddRequest",
        u"GetOpenRequests",
        u"ImportRequestedCertificate",
        u"Revoke",
        u"ExportKey",
        u"Delete",
        u"Delete2",
    };
    const auto& members = kISMPrivateKeyInfrastructureMembers;
    ASSERT_EQ(std::size(members), std::size(names));
    for (std::size_t i = 0; i < std::size(names); ++i) {
        EXPECT_EQ(std::u16string(members[i].name), names[i]);
        EXPECT_EQ(members[i].id, static_cast<DISPID>(i + 1)) << narrow(names[i]);
        EXPECT_EQ(members[i].kind, DISPATCH_METHOD) << narrow(names[i]);
    }
}

TEST(ContractValuesTest, FindTakesEveryCriterionOptionallyByReference) {
    const velcom::DispatchMember& find = kISMPrivateKeyInfrastructureMembers[10];
    ASSERT_EQ(std::u16string(find.name), u"Find");
    const VARTYPE criteria[] = {VT_BYREF | VT_I4,  VT_BYREF | VT_I4,   VT_BYREF | VT_BSTR,
                                VT_BYREF | VT_I4,  VT_BYREF | VT_BSTR, VT_VARIANT,
                                VT_BYREF | VT_BSTR};
    ASSERT_EQ(find.paramCount, std::size(criteria) + 1);
    for (std::size_t i = 0; i < std::size(criteria); ++i) {
        EXPECT_EQ(find.params[i].type, criteria[i]) << "criterion " << i;
        EXPECT_EQ(find.params[i].flags, velcom::kParamIn | velcom::kParamOptional);
    }
    EXPECT_EQ(find.params[7].flags, velcom::kParamOut | velcom::kParamRetval);
}

TEST(ContractValuesTest, CallbacksPassThreadTimeAndDepthFirst) {
    const struct {
        const char16_t* name;
        std::size_t paramCount;
    } callbacks[] = {{u"Error", 7}, {u"Progress", 9}, {u"Info", 7}, {u"Trace", 5}, {u"Data", 4}};
    for (const auto& callback : callbacks) {
        SCOPED_TRACE(narrow(callback.name));
        const velcom::DispatchMember* member = nullptr;
        for (const velcom::DispatchMember& candidate : kIvelBackChannelMembers)
            if (std::u16string(candidate.name) == callback.name) member = &candidate;
        ASSERT_NE(member, nullptr);
        ASSERT_EQ(member->paramCount, callback.paramCount);
        for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(member->params[i].type, VT_I4);
    }
    const velcom::DispatchMember& progress = kIvelBackChannelMembers[3];
    EXPECT_EQ(progress.params[7].type, VT_I2) << "nPercent is the only short";
    EXPECT_EQ(progress.params[8].type, VT_I2) << "and eAction";
}

TEST(ContractValuesTest, ProxyInitAsksForEachHostObjectByItsInterface) {
    const velcom::DispatchMember& init = kIvelTesseraProxyMembers[0];
    ASSERT_EQ(init.paramCount, 4u);
    EXPECT_EQ(init.params[0].iid, &IID_IvelBackChannel);
    EXPECT_EQ(init.params[1].iid, &IID_IvelRand);
    EXPECT_EQ(init.params[2].iid, &IID_ISMPrivateKeyInfrastructure);
    EXPECT_EQ(init.params[3].type, VT_BSTR);

    const velcom::DispatchMember& initComm = kIvelTesseraProxyMembers[1];
    ASSERT_EQ(initComm.paramCount, 2u);
    EXPECT_EQ(initComm.params[1].type, VT_VARIANT);
    EXPECT_EQ(initComm.params[1].flags, velcom::kParamIn | velcom::kParamOptional);
}

}  // namespace
