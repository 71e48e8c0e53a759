// The generated contract against a second reading of it (the IDL on POSIX, the type library under
// Wine), the automation rules its dispatch tables follow, and the slots that binaries built
// elsewhere call.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include <velTesseraComm/DispatchTables.h>

#include "component/contract/ContractReading.h"
#include "support/OleText.h"

namespace {

using velcom::DispatchMember;

struct LibraryInterface {
    const char* name;
    const IID* iid;
    std::span<const DispatchMember> members;
    bool collection;
};

// Written down from the contract rather than taken from the generator: a table the generator
// failed to write does not compile here.
constexpr LibraryInterface kLibraryInterfaces[] = {
    {"IvelTesseraProxy", &IID_IvelTesseraProxy, kIvelTesseraProxyMembers, false},
    {"IvelTesseraProxyEx", &IID_IvelTesseraProxyEx, kIvelTesseraProxyExMembers, false},
    {"IvelNode", &IID_IvelNode, kIvelNodeMembers, false},
    {"IvelNodeCollection", &IID_IvelNodeCollection, kIvelNodeCollectionMembers, true},
    {"IvelBackChannel", &IID_IvelBackChannel, kIvelBackChannelMembers, false},
    {"IvelRand", &IID_IvelRand, kIvelRandMembers, false},
    {"IAuthenticator", &IID_IAuthenticator, kIAuthenticatorMembers, false},
    {"ISMPrivateKeyInfrastructure", &IID_ISMPrivateKeyInfrastructure,
     kISMPrivateKeyInfrastructureMembers, false},
    {"ISMCertificate", &IID_ISMCertificate, kISMCertificateMembers, false},
    {"ISMRequest", &IID_ISMRequest, kISMRequestMembers, false},
    {"ISMAsymKey", &IID_ISMAsymKey, kISMAsymKeyMembers, false},
    {"ISMCertificateList", &IID_ISMCertificateList, kISMCertificateListMembers, true},
    {"ISMCRLList", &IID_ISMCRLList, kISMCRLListMembers, true},
    {"ISMKeyList", &IID_ISMKeyList, kISMKeyListMembers, true},
    {"ISMRevocationList", &IID_ISMRevocationList, kISMRevocationListMembers, false},
};

// The other identifiers; only the IDL holds those outside the library.
const struct {
    const char* name;
    const GUID* id;
    bool outside;
} kOtherIds[] = {
    {"VELTESSERACOMMLib", &LIBID_VELTESSERACOMMLib, false},
    {"velTesseraProxy", &CLSID_velTesseraProxy, false},
    {"velNode", &CLSID_velNode, false},
    {"velNodeCollection", &CLSID_velNodeCollection, false},
    {"velTransport", &CLSID_velTransport, true},
    {"IvelTransport", &IID_IvelTransport, true},
    {"ISMPrivateKeyInfrastructureEx", &IID_ISMPrivateKeyInfrastructureEx, true},
};

// Each enumerator with the value hosts' scripts use, and its C++ constant.
struct Enumerator {
    const char* name;
    LONG declared;
    LONG expected;
    std::size_t size;
};
#define E(name, value) \
    { #name, name, value, sizeof(name) }
constexpr Enumerator kEnumerators[] = {
    E(TesseraNTReturn, 0),    E(TesseraNTParam, 1),      E(SMRSAKey, 0),
    E(SMDSAKey, 1),           E(SMStatusInActive, 0),    E(SMStatusActive, 1),
    E(SMStatusExpired, 2),    E(SMStatusRevoked, 3),     E(SMStatusHold, 4),
    E(SMStatusNotTrusted, 5), E(SMStatusUntrustedCA, 6), E(SMStatusUnknownCA, 7),
    E(SMStatusUnknown, 8),    E(SMStatusCorrupt, 9),     E(SMStatusInvalid, 10),
    E(SMStatusAll, 11),       E(SMDigestAlgoMD5, 8),     E(SMDigestAlgoSHA1, 9),
    E(SMValExpired, -1),      E(SMValValid, 0),          E(SMValNotYet, 1),
    E(SMTrustInherit, 0),     E(SMTrustTrust, 1),        E(SMTrustUntrust, 2),
    E(SMDBStateNew, 0),       E(SMDNStateOld, 1),        E(SMDBStateAdded, 2),
    E(SMFormatPKCS7, 0),      E(SMFormatPKCS8, 1),       E(SMFormatPKCS12, 2),
    E(SMFormatX509, 3),       E(SMFormatNSCertSeq, 4),   E(SMFormatRawKey, 5),
    E(SMEncodingDER, 0),      E(SMEncodingPEM, 1),       E(SMTypeAll, 0),
    E(SMTypeOwn, 1),          E(SMTypeOther, 2),         E(SMTypeCA, 3),
    E(SMRequestSPKAC, 0),     E(SMRequestPKCS10, 1)};
#undef E

#ifdef _WIN32
constexpr bool kReadsTypeLibrary = true;
#else
constexpr bool kReadsTypeLibrary = false;
#endif

const ContractReading& reading() {
    static const ContractReading read = readContract();
    return read;
}

std::string guidText(const GUID& guid) {
    OLECHAR text[39];
    return narrow(textOf(text, static_cast<UINT>(StringFromGUID2(guid, text, 39) - 1)));
}

std::string nameOf(const IID* iid) {
    for (const LibraryInterface& library : kLibraryInterfaces)
        if (IsEqualIID(*library.iid, *iid)) return library.name;
    return "?";
}

const DispatchMember* find(std::span<const DispatchMember> members, DISPID id, WORD kind) {
    for (const DispatchMember& member : members)
        if (member.id == id && member.kind == kind) return &member;
    return nullptr;
}

TEST(ContractAgreementTest, LibraryInterfacesHaveTheTablesMembersInOrder) {
    std::map<std::string, std::vector<std::string>> tabled;
    for (const LibraryInterface& library : kLibraryInterfaces) {
        std::vector<std::string>& lines = tabled[library.name];
        lines.push_back("base IDispatch dual");
        for (const DispatchMember& member : library.members) {
            lines.push_back(memberLine(narrow(member.name), member.id, member.kind));
            for (const velcom::ParamInfo& p : std::span(member.params, member.paramCount))
                lines.back() += paramText(p.type, p.flags, p.iid != nullptr ? nameOf(p.iid) : "");
        }
        SCOPED_TRACE(library.name);
        const auto read = reading().interfaces.find(library.name);
        ASSERT_NE(read, reading().interfaces.end());
        EXPECT_EQ(read->second, lines);
    }
    EXPECT_EQ(reading().interfaces.size(), tabled.size()) << "transport and PKI extension: outside";
}

TEST(ContractAgreementTest, IdentifiersAreTheHeadersConstants) {
    std::map<std::string, std::string> declared;
    for (const LibraryInterface& library : kLibraryInterfaces)
        declared[library.name] = guidText(*library.iid);
    for (const auto& other : kOtherIds)
        if (!other.outside || !kReadsTypeLibrary) declared[other.name] = guidText(*other.id);
    EXPECT_EQ(reading().ids, declared);
}

TEST(ContractAgreementTest, EnumeratorsAreTheHeadersLongConstants) {
    std::map<std::string, LONG> declared;
    for (const Enumerator& enumerator : kEnumerators) {
        EXPECT_EQ(enumerator.declared, enumerator.expected) << enumerator.name;
        EXPECT_EQ(enumerator.size, sizeof(LONG)) << enumerator.name << " travels as VT_I4";
        declared[enumerator.name] = enumerator.declared;
    }
    EXPECT_EQ(reading().enumerators, declared);
}

TEST(ContractAgreementTest, LibraryVersionLocaleAndHelpAreTheHeadersConstants) {
    EXPECT_EQ(reading().library, std::to_string(VELTESSERACOMMLib_MajorVersion) + "." +
                                     std::to_string(VELTESSERACOMMLib_MinorVersion) + " " +
                                     std::to_string(VELTESSERACOMMLib_Locale) + " " +
                                     VELTESSERACOMMLib_HelpString);
}

TEST(DispatchTableRulesTest, DispidsParametersAndPropertiesFollowTheAutomationRules) {
    int puts = 0;
    for (const LibraryInterface& library : kLibraryInterfaces) {
        std::set<std::pair<DISPID, WORD>> seen;
        std::map<DISPID, std::u16string> names;
        DISPID next = 1;
        for (const DispatchMember& member : library.members) {
            SCOPED_TRACE(std::string(library.name) + "::" + narrow(member.name));
            EXPECT_TRUE(seen.emplace(member.id, member.kind).second) << "DISPID repeated";
            const auto [named, first] = names.emplace(member.id, member.name);
            EXPECT_EQ(named->second, member.name) << "one name per DISPID";
            const bool standard = member.id == DISPID_VALUE || member.id == DISPID_NEWENUM;
            if (first && !(library.collection && standard)) {
                EXPECT_EQ(member.id, next) << "DISPIDs count from one in declaration order";
                next = member.id + 1;
            }
            for (std::size_t i = 0; i < member.paramCount; ++i) {
                const std::uint8_t flags = member.params[i].flags;
                const bool last = i + 1 == member.paramCount;
                EXPECT_TRUE(last || (flags & velcom::kParamRetval) == 0) << "the result is last";
                EXPECT_TRUE(last || member.kind == DISPATCH_METHOD || flags == velcom::kParamIn)
                    << "a property's index is plain [in]";
            }
            if (member.kind == DISPATCH_PROPERTYGET) {
                ASSERT_GE(member.paramCount, 1u);
                EXPECT_EQ(member.params[member.paramCount - 1].flags,
                          velcom::kParamOut | velcom::kParamRetval);
            }
            if (member.kind != DISPATCH_PROPERTYPUT) continue;
            ++puts;
            const DispatchMember* get = find(library.members, member.id, DISPATCH_PROPERTYGET);
            ASSERT_NE(get, nullptr) << "no write-only properties";
            ASSERT_EQ(member.paramCount, 1u);
            EXPECT_EQ(member.params[0].flags, velcom::kParamIn);
            EXPECT_EQ(member.params[0].type, get->params[0].type);
        }
    }
    EXPECT_EQ(puts, 4) << "lTraceLevel, Default, TrustLevel and Comment can be written";
}

TEST(DispatchTableRulesTest, CollectionsAnswerCountItemAndNewEnum) {
    for (const LibraryInterface& library : kLibraryInterfaces) {
        SCOPED_TRACE(library.name);
        const DispatchMember* item = find(library.members, DISPID_VALUE, DISPATCH_PROPERTYGET);
        const DispatchMember* newEnum = find(library.members, DISPID_NEWENUM, DISPATCH_PROPERTYGET);
        const DispatchMember* count = find(library.members, 1, DISPATCH_PROPERTYGET);
        if (!library.collection) {
            EXPECT_TRUE(item == nullptr && newEnum == nullptr);
            continue;
        }
        ASSERT_TRUE(item != nullptr && newEnum != nullptr && count != nullptr);
        EXPECT_EQ(narrow(item->name), "Item");
        ASSERT_EQ(item->paramCount, 2u);
        EXPECT_EQ(item->params[0].type, VT_I4);
        EXPECT_EQ(item->params[1].type, VT_DISPATCH);
        EXPECT_EQ(narrow(newEnum->name), "_NewEnum");
        EXPECT_EQ(newEnum->params[0].type, VT_UNKNOWN);
        EXPECT_EQ(narrow(count->name), "Count");
        EXPECT_EQ(count->params[0].type, VT_I4);
    }
}

TEST(ContractValuesTest, PkiComponentOffersItsMethodsInTheOrderItWasBuiltWith) {
    std::string names;
    for (const DispatchMember& member : kISMPrivateKeyInfrastructureMembers)
        names += narrow(member.name) + " ";
    EXPECT_EQ(names,
              "FindKey Verify2 Verify ImportKey ExportPKCS12 Import Load LoadPKCS12 Export Export2 "
              "Find GetCertificate GetIssuer HasValidCertifiedKey FindValidCerts AdjustDefaults "
              "CreateCertificateList CreateRequest AddRequest GetOpenRequests "
              "ImportRequestedCertificate Revoke ExportKey Delete Delete2 ");
}

// Where a virtual method sits in its vtable, read from its member pointer as the Itanium C++ ABI
// (GCC and Clang, mingw-w64 included) lays one out: one more than the slot's byte offset.
template <class Method>
std::ptrdiff_t slotOf(Method method) {
    std::ptrdiff_t representation[2];
    static_assert(sizeof(method) == sizeof(representation));
    std::memcpy(representation, &method, sizeof(method));
    return (representation[0] - 1) / static_cast<std::ptrdiff_t>(sizeof(void*));
}

TEST(BinaryLayoutTest, TransportAndPkiExtensionMethodsSitWhereTheirBinariesFindThem) {
    // IUnknown and IDispatch take slots 0 to 6; six unused members keep Post and Get behind Init.
    EXPECT_EQ(slotOf(&IvelTransport::Init), 7);
    EXPECT_EQ(slotOf(&IvelTransport::Post), 14);
    EXPECT_EQ(slotOf(&IvelTransport::Get), 15);
    EXPECT_EQ(slotOf(&ISMPrivateKeyInfrastructureEx::ImportRequestedCertificate2), 7);
}

}  // namespace
