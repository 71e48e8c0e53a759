// The generated header and tables against a second reading of the IDL; what other binaries use.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <span>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <velTesseraComm/DispatchTables.h>

#include "support/OleText.h"

namespace {

using velcom::ParamInfo;

// read_idl.py's rows name the generated constants and tables, so that a missing one does not
// compile. A member's display flags are those type information shows (restricted, hidden).
using IdlMember = std::tuple<const char*, DISPID, WORD, std::vector<ParamInfo>, WORD>;
using IdlInterface =
    std::tuple<const char*, std::span<const velcom::DispatchMember>, std::vector<IdlMember>>;
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

// Name, DISPID, kind, then each parameter's type, flags and, for an [in] interface, its IID.
std::string memberLine(const std::string& name, DISPID id, WORD kind,
                       std::span<const ParamInfo> params) {
    std::ostringstream line;
    line << name << " id " << id << " kind " << kind;
    for (const ParamInfo& param : params)
        line << " (vt " << param.type << " flags " << int{param.flags} << (param.iid ? " " : "")
             << (param.iid ? guidText(*param.iid) : "") << ')';
    return line.str();
}

TEST(ContractAgreementTest, DispatchTablesIdentifiersAndEnumeratorsAreTheIdls) {
    for (const auto& [name, table, members] : kIdlInterfaces) {
        std::vector<std::string> declared;
        for (const auto& [member, id, kind, params, display] : members)
            declared.push_back(memberLine(member, id, kind, params));
        std::vector<std::string> tabled;
        for (const velcom::DispatchMember& member : table)
            tabled.push_back(memberLine(narrow(member.name), member.id, member.kind,
                                        std::span(member.params, member.paramCount)));
        EXPECT_EQ(tabled, declared) << name;
    }
    for (const auto& [name, constant, text] : kIdlIds) EXPECT_EQ(guidText(*constant), text) << name;
    for (const auto& [name, constant, value, size] : kIdlEnumerators) {
        EXPECT_EQ(constant, value) << name;
        EXPECT_EQ(size, sizeof(LONG)) << name << " travels as VT_I4";
    }
}

TEST(ContractValuesTest, PkiComponentOffersItsMethodsInTheOrderItWasBuiltWith) {
    std::string names;
    for (const velcom::DispatchMember& member : kISMPrivateKeyInfrastructureMembers)
        names += narrow(member.name) + " ";
    EXPECT_EQ(names,
              "FindKey Verify2 Verify ImportKey ExportPKCS12 Import Load LoadPKCS12 Export Export2 "
              "Find GetCertificate GetIssuer HasValidCertifiedKey FindValidCerts AdjustDefaults "
              "CreateCertificateList CreateRequest AddRequest GetOpenRequests "
              "ImportRequestedCertificate Revoke ExportKey Delete Delete2 ");
}

// A virtual method's vtable slot: the Itanium ABI (GCC, Clang, mingw-w64) keeps its offset + 1.
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

// A function as a host reads it: name, DISPID, invoke kind, display flags, the flags of the
// arguments a caller passes. On Windows from widl's type library, elsewhere velcom's description.
std::string functionLine(ITypeInfo& typeInfo, const FUNCDESC& function) {
    velcom::Bstr name;
    UINT count = 0;
    EXPECT_EQ(typeInfo.GetNames(function.memid, name.put(), 1, &count), S_OK);
    std::ostringstream line;
    line << narrow(textOf(name.get())) << " id " << function.memid << " kind " << function.invkind
         << " flags " << function.wFuncFlags << " args";
    for (SHORT i = 0; i < function.cParams; ++i)
        line << ' ' << function.lprgelemdescParam[i].paramdesc.wParamFlags;
    return line.str();
}

std::string expectedLine(const IdlMember& member) {
    const auto& [name, id, kind, params, display] = member;
    std::ostringstream line;
    line << name << " id " << id << " kind " << kind << " flags " << display << " args";
    for (const ParamInfo& param : params) {
        const auto has = [&](int flag) { return (param.flags & flag) != 0; };
        if (has(velcom::kParamRetval)) continue;
        line << ' '
             << ((has(velcom::kParamIn) ? PARAMFLAG_FIN : 0) |
                 (has(velcom::kParamOut) ? PARAMFLAG_FOUT : 0) |
                 (has(velcom::kParamOptional) ? PARAMFLAG_FOPT : 0));
    }
    return line.str();
}

velcom::ComPtr<ITypeLib> contractLibrary() {
    velcom::ComPtr<ITypeLib> library;
#ifdef _WIN32
    EXPECT_EQ(LoadTypeLibEx(VEL_TYPELIB_FILE, REGKIND_NONE, library.put()), S_OK);
#else
    EXPECT_EQ(velcom::describedTypeLib(VELTESSERACOMMLib_Description, library.put()), S_OK);
#endif
    return library;
}

TEST(TypeInformationTest, EveryDualInterfaceShowsTheIdlsMembers) {
    std::map<std::string, std::vector<std::string>> expected, shown;
    for (const auto& [name, table, members] : kIdlInterfaces)
        std::ranges::transform(members, std::back_inserter(expected[name]), expectedLine);
    const auto library = contractLibrary();
    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        TYPEKIND kind = TKIND_MAX;
        ASSERT_EQ(library->GetTypeInfoType(i, &kind), S_OK);
        if (kind != TKIND_DISPATCH) continue;
        velcom::ComPtr<ITypeInfo> typeInfo;
        ASSERT_EQ(library->GetTypeInfo(i, typeInfo.put()), S_OK);
        velcom::Bstr name;
        ASSERT_EQ(typeInfo->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr),
                  S_OK);
        SCOPED_TRACE(narrow(textOf(name.get())));
        std::vector<std::string>& lines = shown[narrow(textOf(name.get()))];

        TYPEATTR* attributes = nullptr;
        ASSERT_EQ(typeInfo->GetTypeAttr(&attributes), S_OK);
        EXPECT_NE(attributes->wTypeFlags & TYPEFLAG_FDUAL, 0);
        for (UINT f = 0; f < attributes->cFuncs; ++f) {
            FUNCDESC* function = nullptr;
            ASSERT_EQ(typeInfo->GetFuncDesc(f, &function), S_OK);
            // The system lists those inherited from IUnknown and IDispatch too.
            if (function->memid < 0x60000000 || function->memid >= 0x60020000)
                lines.push_back(functionLine(*typeInfo.get(), *function));
            typeInfo->ReleaseFuncDesc(function);
        }
        typeInfo->ReleaseTypeAttr(attributes);

        velcom::ComPtr<ITypeLib> containing;
        UINT index = 99;
        EXPECT_EQ(typeInfo->GetContainingTypeLib(containing.put(), &index), S_OK);
        EXPECT_EQ(index, i);
        TLIBATTR* libraryAttributes = nullptr;
        ASSERT_EQ(containing->GetLibAttr(&libraryAttributes), S_OK);
        EXPECT_EQ(guidText(libraryAttributes->guid), guidText(LIBID_VELTESSERACOMMLib));
        EXPECT_EQ(libraryAttributes->wMajorVerNum * 10 + libraryAttributes->wMinorVerNum, 20);
        containing->ReleaseTLibAttr(libraryAttributes);
    }
    EXPECT_EQ(shown, expected);
}

TEST(TypeInformationTest, NamesAreFoundInAnyLetterCaseArgumentsByPosition) {
    velcom::ComPtr<ITypeInfo> typeInfo;
    ASSERT_EQ(contractLibrary()->GetTypeInfoOfGuid(IID_IvelTesseraProxy, typeInfo.put()), S_OK);
    const std::tuple<std::vector<std::u16string>, HRESULT, std::vector<MEMBERID>> rows[] = {
        {{u"InitComm"}, S_OK, {2}},
        {{u"initcomm"}, S_OK, {2}},
        {{u"PICKUP"}, S_OK, {5}},
        {{u"INIT", u"prandgenerator", u"pBackChannel"}, S_OK, {1, 1, 0}},
        {{u"Init", u"nothing"}, DISP_E_UNKNOWNNAME, {1, MEMBERID_NIL}},
        {{u"Initialise"}, DISP_E_UNKNOWNNAME, {MEMBERID_NIL}},
    };
    for (const auto& [names, answer, ids] : rows) {
        SCOPED_TRACE(narrow(names[0]));
        std::vector<LPOLESTR> asked;
        for (const std::u16string& name : names)
            asked.push_back(reinterpret_cast<LPOLESTR>(const_cast<char16_t*>(name.c_str())));
        std::vector<MEMBERID> given(names.size(), MEMBERID_NIL);
        EXPECT_EQ(
            typeInfo->GetIDsOfNames(asked.data(), static_cast<UINT>(asked.size()), given.data()),
            answer);
        EXPECT_EQ(given, ids);
    }
}

TEST(TypeInformationTest, DocumentationNamesTheLibraryItsInterfacesAndMembers) {
    velcom::ComPtr<ITypeInfo> typeInfo;
    ASSERT_EQ(contractLibrary()->GetTypeInfoOfGuid(IID_IvelNodeCollection, typeInfo.put()), S_OK);
    velcom::ComPtr<ITypeLib> library;
    ASSERT_EQ(typeInfo->GetContainingTypeLib(library.put(), nullptr), S_OK);
    // -2: the library through ITypeLib (index -1).
    const std::tuple<MEMBERID, HRESULT, std::string> rows[] = {
        {MEMBERID_NIL, S_OK, "IvelNodeCollection|IvelNodeCollection Interface"},
        {DISPID_NEWENUM, S_OK, "_NewEnum|property _NewEnum"},
        {1, S_OK, "Count|property Count"},
        {77, TYPE_E_ELEMENTNOTFOUND, "|"},
        {-2, S_OK, "VELTESSERACOMMLib|velTesseraComm 2.0 Type Library"},
    };
    for (const auto& [id, answer, text] : rows) {
        SCOPED_TRACE(id);
        velcom::Bstr name, help;
        EXPECT_EQ(id == -2
                      ? library->GetDocumentation(-1, name.put(), help.put(), nullptr, nullptr)
                      : typeInfo->GetDocumentation(id, name.put(), help.put(), nullptr, nullptr),
                  answer);
        EXPECT_EQ(narrow(textOf(name.get())) + "|" + narrow(textOf(help.get())), text);
    }
}

}  // namespace
