// The generated header and dispatch tables against a second reading of velTesseraComm.idl, and
// the places in the contract that binaries built elsewhere rely on.
#include <gtest/gtest.h>

#include <cstring>
#include <span>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <velTesseraComm/DispatchTables.h>

#include "support/OleText.h"

namespace {

using velcom::DispatchMember;
using velcom::ParamInfo;

// What read_idl.py writes: names with members, identifiers or values, and the constants and
// tables generated for them, so that one the generator failed to write does not compile here.
using IdlMember = std::tuple<const char*, DISPID, WORD, std::vector<ParamInfo>>;
using IdlInterface =
    std::tuple<const char*, std::span<const DispatchMember>, std::vector<IdlMember>>;
using IdlId = std::tuple<const char*, const GUID*, const char*>;
using IdlEnumerator = std::tuple<const char*, LONG, LONG, std::size_t>;
constexpr ParamInfo P(int type, int flags, const IID* iid) {
    return {static_cast<VARTYPE>(type), static_cast<std::uint8_t>(flags), iid};
}
#include "IdlTables.inc"

std::string narrow(std::u16string_view text) { return {text.begin(), text.end()}; }

std::string guidText(const GUID& guid) {
    OLECHAR text[39];
    return narrow(textOf(text, static_cast<UINT>(StringFromGUID2(guid, text, 39) - 1)));
}

// A member as one line, for readable differences: its name, DISPID and kind, then each
// parameter's automation type, velcom::kParam* flags and, for an [in] interface, the one asked for.
std::string memberLine(const std::string& name, DISPID id, WORD kind,
                       std::span<const ParamInfo> params) {
    std::ostringstream line;
    line << name << " id " << id << " kind " << kind;
    for (const ParamInfo& param : params)
        line << " (vt " << param.type << " flags " << int{param.flags} << (param.iid ? " " : "")
             << (param.iid ? guidText(*param.iid) : "") << ')';
    return line.str();
}

TEST(ContractAgreementTest, DispatchTablesHaveTheIdlsMembersInOrder) {
    for (const auto& [name, table, members] : kIdlInterfaces) {
        std::vector<std::string> declared;
        for (const auto& [member, id, kind, params] : members)
            declared.push_back(memberLine(member, id, kind, params));
        std::vector<std::string> tabled;
        for (const DispatchMember& member : table)
            tabled.push_back(memberLine(narrow(member.name), member.id, member.kind,
                                        std::span(member.params, member.paramCount)));
        EXPECT_EQ(tabled, declared) << name;
    }
}

TEST(ContractAgreementTest, IdentifiersAndEnumeratorsAreTheIdls) {
    for (const auto& [name, constant, text] : kIdlIds) EXPECT_EQ(guidText(*constant), text) << name;
    for (const auto& [name, constant, value, size] : kIdlEnumerators) {
        EXPECT_EQ(constant, value) << name;
        EXPECT_EQ(size, sizeof(LONG)) << name << " travels as VT_I4";
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
