// The generated contract against a second reading of it (the IDL on POSIX, the type library under
// Wine), and the places in it that binaries built against it rely on.
#include <gtest/gtest.h>

#include <cstring>
#include <span>
#include <tuple>

#include <velTesseraComm/DispatchTables.h>

#include "component/contract/ContractReading.h"

namespace {

using velcom::DispatchMember;

// Written down from the contract rather than taken from the generator: a table or identifier the
// generator failed to write does not compile here.
struct LibraryInterface {
    const char* name;
    const IID* iid;
    std::span<const DispatchMember> members;
};
#define I(name) \
    { #name, &IID_##name, k##name##Members }
constexpr LibraryInterface kLibraryInterfaces[] = {
    I(IvelTesseraProxy), I(IvelTesseraProxyEx), I(IvelNode),         I(IvelNodeCollection),
    I(IvelBackChannel),  I(IvelRand),           I(IAuthenticator),   I(ISMPrivateKeyInfrastructure),
    I(ISMCertificate),   I(ISMRequest),         I(ISMAsymKey),       I(ISMCertificateList),
    I(ISMCRLList),       I(ISMKeyList),         I(ISMRevocationList)};
#undef I

// Only the IDL holds the identifiers of those outside the library.
#define G(kind, name, outside) \
    { #name, &kind##_##name, outside }
const std::tuple<const char*, const GUID*, bool> kOtherIds[] = {
    G(LIBID, VELTESSERACOMMLib, false),
    G(CLSID, velTesseraProxy, false),
    G(CLSID, velNode, false),
    G(CLSID, velNodeCollection, false),
    G(CLSID, velTransport, true),
    G(IID, IvelTransport, true),
    G(IID, ISMPrivateKeyInfrastructureEx, true)};
#undef G

// Each enumerator's C++ constant with the value hosts' scripts use.
#define E(name, value) \
    { #name, name, value, sizeof(name) }
const std::tuple<const char*, LONG, LONG, std::size_t> kEnumerators[] = {
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

const ContractReading& reading() {
    static const ContractReading read = readContract();
    return read;
}

TEST(ContractAgreementTest, LibraryInterfacesHaveTheTablesMembersInOrder) {
    std::map<std::string, std::vector<std::string>> tabled;
    for (const auto& [name, iid, members] : kLibraryInterfaces)
        for (const DispatchMember& member : members) {
            tabled[name].push_back(memberLine(narrow(member.name), member.id, member.kind));
            for (const velcom::ParamInfo& param : std::span(member.params, member.paramCount)) {
                std::string asked = param.iid != nullptr ? "?" : "";
                for (const LibraryInterface& library : kLibraryInterfaces)
                    if (param.iid != nullptr && IsEqualIID(*param.iid, *library.iid))
                        asked = library.name;
                tabled[name].back() += paramLine(param.type, param.flags, asked);
            }
        }
    // The transport and the PKI extension stay outside the library.
    EXPECT_EQ(reading().interfaces.size(), tabled.size());
    for (const auto& [name, lines] : tabled)
        EXPECT_EQ(reading().interfaces.at(name), lines) << name;
}

TEST(ContractAgreementTest, IdentifiersAndEnumeratorsAreTheHeadersConstants) {
    std::map<std::string, std::string> ids;
    for (const LibraryInterface& library : kLibraryInterfaces)
        ids[library.name] = guidText(*library.iid);
    for (const auto& [name, id, outside] : kOtherIds)
#ifdef _WIN32
        if (!outside)
#endif
            ids[name] = guidText(*id);
    EXPECT_EQ(reading().ids, ids);

    std::map<std::string, LONG> enumerators;
    for (const auto& [name, declared, value, size] : kEnumerators) {
        EXPECT_EQ(declared, value) << name;
        EXPECT_EQ(size, sizeof(LONG)) << name << " travels as VT_I4";
        enumerators[name] = declared;
    }
    EXPECT_EQ(reading().enumerators, enumerators);
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
