// The type library that widl compiled from the IDL, read through the system's oleaut32, against
// the generated C++: the library's identity, and every interface, member, DISPID, parameter,
// enumeration value and class, one by one.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "component/contract/EnumerationMembers.h"
#include "component/contract/LibraryInterfaces.h"
#include "component/contract/Narrow.h"
#include "component/contract/TypeLibrary.h"
#include "support/OleText.h"

namespace {

// The slots of IUnknown and IDispatch come before every interface's own.
constexpr UINT kInheritedMethods = 7;

class TypeLibraryTest : public ::testing::Test {
protected:
    velcom::ComPtr<ITypeInfo> typeInfo(const GUID& guid) {
        velcom::ComPtr<ITypeInfo> info;
        EXPECT_EQ(m_library->GetTypeInfoOfGuid(guid, info.put()), S_OK);
        return info;
    }

    // A dual interface's members in vtable order, as the interface (not the dispinterface) view
    // lists them.
    velcom::ComPtr<ITypeInfo> vtableView(const IID& iid) {
        velcom::ComPtr<ITypeInfo> dispatchView = typeInfo(iid);
        HREFTYPE reference = 0;
        EXPECT_EQ(dispatchView->GetRefTypeOfImplType(static_cast<UINT>(-1), &reference), S_OK);
        return referencedType(*dispatchView.get(), reference);
    }

    std::map<TYPEKIND, std::set<std::u16string>> namesByKind() {
        std::map<TYPEKIND, std::set<std::u16string>> names;
        for (UINT i = 0; i < m_library->GetTypeInfoCount(); ++i) {
            TYPEKIND kind = TKIND_MAX;
            EXPECT_EQ(m_library->GetTypeInfoType(i, &kind), S_OK);
            velcom::Bstr name;
            EXPECT_EQ(m_library->GetDocumentation(static_cast<INT>(i), name.put(), nullptr, nullptr,
                                                  nullptr),
                      S_OK);
            names[kind].insert(textOf(name.get()));
        }
        return names;
    }

    velcom::ComPtr<ITypeLib> m_library = loadShippedTypeLibrary();
};

std::u16string expectedHelpString(const LibraryInterface& library,
                                  const velcom::DispatchMember& member) {
    const std::u16string interfaceName = library.name;
    const std::u16string name = member.name;
    if (interfaceName == u"IvelRand") return u"Init";
    if (interfaceName == u"IvelBackChannel" && member.kind == DISPATCH_METHOD)
        return u"callback " + name;
    if (member.kind == DISPATCH_METHOD) return u"method " + name;
    return u"property " + (name == u"lTraceLevel" ? std::u16string(u"TraceLevel") : name);
}

TEST_F(TypeLibraryTest, LibraryCarriesItsNameIdentityVersionAndLocale) {
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(m_library->GetLibAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, LIBID_VELTESSERACOMMLib));
    EXPECT_EQ(attributes->wMajorVerNum, 2);
    EXPECT_EQ(attributes->wMinorVerNum, 0);
    EXPECT_EQ(attributes->lcid, 0x409u);
    m_library->ReleaseTLibAttr(attributes);

    velcom::Bstr name;
    velcom::Bstr help;
    ASSERT_EQ(m_library->GetDocumentation(-1, name.put(), help.put(), nullptr, nullptr), S_OK);
    EXPECT_EQ(textOf(name.get()), u"VELTESSERACOMMLib");
    EXPECT_EQ(textOf(help.get()), u"velTesseraComm 2.0 Type Library");
}

TEST_F(TypeLibraryTest, HoldsExactlyTheContractsInterfacesEnumerationsAndClasses) {
    std::set<std::u16string> interfaces;
    for (const LibraryInterface& library : kLibraryInterfaces) interfaces.insert(library.name);
    std::set<std::u16string> enumerations;
    for (const EnumerationMember& member : kEnumerationMembers)
        enumerations.insert(member.enumeration);
    const std::map<TYPEKIND, std::set<std::u16string>> expected = {
        {TKIND_DISPATCH, interfaces},
        {TKIND_ENUM, enumerations},
        {TKIND_COCLASS, {u"velTesseraProxy", u"velNode", u"velNodeCollection"}},
    };
    EXPECT_EQ(namesByKind(), expected) << "the transport and the PKI extension stay outside";
}

TEST_F(TypeLibraryTest, InterfacesAreDualAutomationInterfacesOnIDispatch) {
    // The dispinterface view of a dual interface leaves the ole-automation flag to the
    // interface view, whose methods are the ones it describes.
    const WORD dispatchFlags = TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE;
    const WORD flags = dispatchFlags | TYPEFLAG_FOLEAUTOMATION;
    for (const LibraryInterface& library : kLibraryInterfaces) {
        SCOPED_TRACE(narrow(library.name));
        velcom::ComPtr<ITypeInfo> info = typeInfo(*library.iid);
        ASSERT_TRUE(info);
        {
            const TypeAttrHolder attributes = typeAttr(*info.get());
            EXPECT_EQ(attributes->typekind, TKIND_DISPATCH);
            EXPECT_EQ(attributes->wTypeFlags & dispatchFlags, dispatchFlags);
        }
        EXPECT_EQ(nameOf(*info.get(), MEMBERID_NIL), library.name);
        EXPECT_EQ(helpStringOf(*info.get(), MEMBERID_NIL),
                  std::u16string(library.name) + u" Interface");

        velcom::ComPtr<ITypeInfo> vtable = vtableView(*library.iid);
        ASSERT_TRUE(vtable);
        const TypeAttrHolder attributes = typeAttr(*vtable.get());
        EXPECT_EQ(attributes->typekind, TKIND_INTERFACE);
        EXPECT_EQ(attributes->wTypeFlags & flags, flags);
        ASSERT_EQ(attributes->cImplTypes, 1);
        HREFTYPE base = 0;
        ASSERT_EQ(vtable->GetRefTypeOfImplType(0, &base), S_OK);
        EXPECT_EQ(nameOf(*referencedType(*vtable.get(), base).get(), MEMBERID_NIL), u"IDispatch");
    }
}

TEST_F(TypeLibraryTest, MembersAgreeWithTheDispatchTablesInVtableOrder) {
    for (const LibraryInterface& library : kLibraryInterfaces) {
        SCOPED_TRACE(narrow(library.name));
        velcom::ComPtr<ITypeInfo> view = vtableView(*library.iid);
        ASSERT_TRUE(view);
        ITypeInfo& info = *view.get();
        ASSERT_EQ(static_cast<std::size_t>(typeAttr(info)->cFuncs), library.members.size());
        for (UINT i = 0; i < library.members.size(); ++i) {
            const velcom::DispatchMember& member = library.members[i];
            SCOPED_TRACE(narrow(member.name));
            const FuncDescHolder function = funcDesc(info, i);
            EXPECT_EQ(nameOf(info, function->memid), member.name);
            EXPECT_EQ(function->memid, member.id);
            EXPECT_EQ(function->invkind, member.kind);
            EXPECT_EQ(function->oVft, static_cast<SHORT>((kInheritedMethods + i) * sizeof(void*)));
            EXPECT_EQ(function->elemdescFunc.tdesc.vt, VT_HRESULT);
            ASSERT_EQ(static_cast<std::size_t>(function->cParams), member.paramCount);
            for (SHORT j = 0; j < function->cParams; ++j) {
                const LibraryParam param = describeParam(info, function->lprgelemdescParam[j]);
                const velcom::ParamInfo& described = member.params[j];
                EXPECT_EQ(param.type, described.type) << "parameter " << j;
                EXPECT_EQ(param.flags, described.flags) << "parameter " << j;
                ASSERT_EQ(param.iid.has_value(), described.iid != nullptr) << "parameter " << j;
                if (param.iid) {
                    EXPECT_TRUE(IsEqualIID(*param.iid, *described.iid)) << "parameter " << j;
                }
            }
        }
    }
}

TEST_F(TypeLibraryTest, HelpStringsNameEachMembersKind) {
    for (const LibraryInterface& library : kLibraryInterfaces) {
        velcom::ComPtr<ITypeInfo> view = vtableView(*library.iid);
        ASSERT_TRUE(view);
        for (const velcom::DispatchMember& member : library.members)
            EXPECT_EQ(helpStringOf(*view.get(), member.id), expectedHelpString(library, member))
                << narrow(library.name) << "::" << narrow(member.name);
    }
}

TEST_F(TypeLibraryTest, CallbacksNameThreadTimeAndDepthFirst) {
    velcom::ComPtr<ITypeInfo> view = vtableView(IID_IvelBackChannel);
    ASSERT_TRUE(view);
    for (DISPID callback = 2; callback <= 6; ++callback) {
        const std::vector<std::u16string> names = namesOf(*view.get(), callback);
        ASSERT_GE(names.size(), 4u) << "DISPID " << callback;
        EXPECT_EQ(names[1], u"lTreadId") << narrow(names[0]);
        EXPECT_EQ(names[2], u"lTime") << narrow(names[0]);
        EXPECT_EQ(names[3], u"lDeep") << narrow(names[0]);
    }
}

TEST_F(TypeLibraryTest, EnumerationsAgreeWithTheCppConstants) {
    using Entry = std::tuple<std::u16string, std::u16string, LONG>;
    std::set<Entry> inLibrary;
    for (UINT i = 0; i < m_library->GetTypeInfoCount(); ++i) {
        velcom::ComPtr<ITypeInfo> info;
        ASSERT_EQ(m_library->GetTypeInfo(i, info.put()), S_OK);
        const TypeAttrHolder attributes = typeAttr(*info.get());
        if (attributes->typekind != TKIND_ENUM) continue;
        const std::u16string enumeration = nameOf(*info.get(), MEMBERID_NIL);
        for (WORD v = 0; v < attributes->cVars; ++v) {
            const VarDescHolder variable = varDesc(*info.get(), v);
            velcom::Variant value;
            ASSERT_EQ(VariantChangeType(value.put(), variable->lpvarValue, 0, VT_I4), S_OK);
            inLibrary.emplace(enumeration, nameOf(*info.get(), variable->memid), value.get()->lVal);
        }
    }
    std::set<Entry> inCpp;
    for (const EnumerationMember& member : kEnumerationMembers)
        inCpp.emplace(member.enumeration, member.name, member.declared);
    EXPECT_EQ(inLibrary, inCpp);
}

TEST_F(TypeLibraryTest, NodeTypeIsDescribedForScriptAuthors) {
    velcom::ComPtr<ITypeInfo> info;
    MEMBERID id = 0;
    USHORT found = 1;
    ASSERT_EQ(m_library->FindName(const_cast<LPOLESTR>(L"NodeType"), 0, info.put(), &id, &found),
              S_OK);
    ASSERT_EQ(found, 1);
    EXPECT_EQ(helpStringOf(*info.get(), MEMBERID_NIL), u"Node types");
}

TEST_F(TypeLibraryTest, ClassesCarryTheirIdentifiersAndInterfacesDefaultFirst) {
    const struct {
        const CLSID* clsid;
        const char16_t* name;
        const char16_t* help;
        bool creatable;
        std::vector<const IID*> interfaces;
    } classes[] = {
        {&CLSID_velTesseraProxy,
         u"velTesseraProxy",
         u"vel TesseraProxy Class",
         true,
         {&IID_IvelTesseraProxy, &IID_IvelTesseraProxyEx}},
        {&CLSID_velNode, u"velNode", u"vel Node Class", false, {&IID_IvelNode}},
        {&CLSID_velNodeCollection,
         u"velNodeCollection",
         u"vel NodeCollection Class",
         false,
         {&IID_IvelNodeCollection}},
    };
    for (const auto& coclass : classes) {
        SCOPED_TRACE(narrow(coclass.name));
        velcom::ComPtr<ITypeInfo> info = typeInfo(*coclass.clsid);
        ASSERT_TRUE(info);
        EXPECT_EQ(nameOf(*info.get(), MEMBERID_NIL), coclass.name);
        EXPECT_EQ(helpStringOf(*info.get(), MEMBERID_NIL), coclass.help);
        const TypeAttrHolder attributes = typeAttr(*info.get());
        EXPECT_EQ(attributes->typekind, TKIND_COCLASS);
        EXPECT_EQ((attributes->wTypeFlags & TYPEFLAG_FCANCREATE) != 0, coclass.creatable);
        ASSERT_EQ(static_cast<std::size_t>(attributes->cImplTypes), coclass.interfaces.size());
        for (UINT k = 0; k < coclass.interfaces.size(); ++k) {
            HREFTYPE reference = 0;
            ASSERT_EQ(info->GetRefTypeOfImplType(k, &reference), S_OK);
            velcom::ComPtr<ITypeInfo> implemented = referencedType(*info.get(), reference);
            EXPECT_TRUE(IsEqualIID(typeAttr(*implemented.get())->guid, *coclass.interfaces[k]));
            INT flags = 0;
            ASSERT_EQ(info->GetImplTypeFlags(k, &flags), S_OK);
            EXPECT_EQ((flags & IMPLTYPEFLAG_FDEFAULT) != 0, k == 0) << "interface " << k;
        }
    }
}

}  // namespace
