#include <cstdio>
#include <type_traits>
#include <vector>

#include "AutomationTest.h"

namespace {

using velcom::in, velcom::optional, velcom::out, velcom::retval;

enum Shade : LONG { kLight = 1, kDark = 2 };

template <class T>
HRESULT give(T* out, std::type_identity_t<T> value) {
    return *out = value, S_OK;
}

bool isOmitted(const VARIANT& value) {
    return value.vt == VT_ERROR && value.scode == DISP_E_PARAMNOTFOUND;
}

velcom::ComPtr<IErrorInfo> errorWithDescription(const OLECHAR* description) {
    velcom::ComPtr<ICreateErrorInfo> creator;
    velcom::ComPtr<IErrorInfo> info;
    EXPECT_EQ(CreateErrorInfo(creator.put()), S_OK);
    creator->SetDescription(const_cast<LPOLESTR>(description));
    creator.as(info);
    return info;
}

// Bodies in the interface itself: dispatch calls them through the vtable all the same.
struct ICalculator : IDispatch {
    STDMETHODIMP QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHOD(Add)(LONG a, LONG b, LONG* sum) { return give(sum, a + b); }
    STDMETHOD(get_Name)(BSTR* name) { return give(name, SysAllocString(m_name)); }
    STDMETHOD(put_Name)(BSTR name) { return SysReAllocString(&m_name, name) ? S_OK : E_FAIL; }
    STDMETHOD(Describe)(VARIANT number, VARIANT suffix, BSTR* text) {
        const std::u16string end = isOmitted(suffix) ? u" (no suffix)" : textOf(suffix.bstrVal);
        return give(text, velcom::Bstr(toWide(std::to_string(number.lVal)) + end).detach());
    }
    STDMETHOD(Negate)(LONG* value) { return give(value, -*value); }
    STDMETHOD(IsOn)(VARIANT_BOOL flag, LONG* number) { return give(number, flag == VARIANT_TRUE); }
    STDMETHOD(Fail)() {
        SetErrorInfo(0, errorWithDescription(OLESTR("calculator jammed")).get());
        return E_ACCESSDENIED;
    }
    STDMETHOD(Invert)(Shade shade, Shade* inverted) { return give(inverted, Shade(3 - shade)); }
    STDMETHOD(Limit)(LONG* limit, IDispatch* scope, VARIANT* filter, BSTR* seen) {
        std::u16string text =
            limit == nullptr ? u"no limit" : u"limit " + std::u16string(1, u'0' + *limit);
        if (limit != nullptr) *limit *= 2;
        text += scope == nullptr ? u", no scope" : u", scope";
        text += isOmitted(*filter) ? u", no filter" : u", filter";
        return give(seen, velcom::Bstr(text).detach());
    }
    virtual ~ICalculator() { SysFreeString(m_name); }

    BSTR m_name = SysAllocString(OLESTR("calc"));
};

using C = ICalculator;
constexpr velcom::DispatchMember kMembers[] = {
    velcom::member<&C::Add, in(VT_I4), in(VT_I4), retval(VT_I4)>(u"Add", 1, DISPATCH_METHOD),
    velcom::member<&C::get_Name, retval(VT_BSTR)>(u"Name", 2, DISPATCH_PROPERTYGET),
    velcom::member<&C::put_Name, in(VT_BSTR)>(u"Name", 2, DISPATCH_PROPERTYPUT),
    velcom::member<&C::Describe, in(VT_VARIANT), optional(VT_VARIANT), retval(VT_BSTR)>(
        u"Describe", 3, DISPATCH_METHOD),
    velcom::member<&C::Negate, out(VT_I4)>(u"Negate", 4, DISPATCH_METHOD),
    velcom::member<&C::IsOn, in(VT_BOOL), retval(VT_I4)>(u"IsOn", 5, DISPATCH_METHOD),
    velcom::member<&C::Fail>(u"Fail", 6, DISPATCH_METHOD),
    velcom::member<&C::Invert, in(VT_I4), retval(VT_I4)>(u"Invert", 7, DISPATCH_METHOD),
    velcom::member<&C::Limit, optional(VT_BYREF | VT_I4), optional(VT_DISPATCH),
                   optional(VT_VARIANT), retval(VT_BSTR)>(u"Limit", 8, DISPATCH_METHOD),
};

struct Calculator : velcom::DispatchImpl<ICalculator> {
    Calculator() : DispatchImpl(kMembers) {}
};

// One Invoke, the arguments in the caller's order (by-value ones are the caller's to clear): the
// result as shown(), then " at <argument error>" and " raised <scode> <description>" if any.
std::pair<HRESULT, std::string> invoked(IDispatch& object, DISPID id,
                                        std::vector<VARIANT> arguments, WORD flags) {
    std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
    DISPID put = DISPID_PROPERTYPUT;
    const bool isPut = flags == DISPATCH_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), isPut ? &put : nullptr, static_cast<UINT>(reversed.size()),
                      isPut ? 1u : 0u};
    velcom::Variant result;
    EXCEPINFO exception{};
    UINT argumentError = 99;
    const HRESULT status = object.Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                         result.put(), &exception, &argumentError);
    for (VARIANT& value : arguments)
        if ((value.vt & VT_BYREF) == 0) VariantClear(&value);
    std::string text = shown(*result.get());
    if (argumentError != 99) text += " at " + std::to_string(argumentError);
    char code[9];
    std::snprintf(code, sizeof code, "%08X", static_cast<unsigned>(exception.scode));
    if (exception.scode != 0)
        text += " raised " + (code + (" " + toNarrow(textOf(exception.bstrDescription))));
    for (BSTR field : {exception.bstrSource, exception.bstrDescription, exception.bstrHelpFile})
        SysFreeString(field);
    if (text.starts_with(' ')) text.erase(0, 1);
    return {status, text};
}

VARIANT byRef(VARIANT* value) { return VALUE(VT_BYREF | VT_VARIANT, pvarVal, value); }
VARIANT byRef(LONG* value) { return VALUE(VT_BYREF | VT_I4, plVal, value); }

TEST(DispatchTest, NamesResolveExactlyOrIgnoringCase) {
    Calculator calculator;
    const auto id = [&calculator](const OLECHAR* name) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        DISPID given = 12345;
        const HRESULT found = calculator.GetIDsOfNames(IID_NULL, names, 1, 0, &given);
        EXPECT_EQ(found == DISP_E_UNKNOWNNAME, given == DISPID_UNKNOWN) << "the id says the same";
        return given;
    };
    EXPECT_EQ(std::vector({id(OLESTR("Add")), id(OLESTR("dEsCrIbE")), id(OLESTR("Name"))}),
              std::vector<DISPID>({1, 3, 2}));
    EXPECT_EQ(id(OLESTR("Subtract")), DISPID_UNKNOWN);
    UINT count = 7;
    EXPECT_EQ((std::pair{calculator.GetTypeInfoCount(&count), count}), std::pair(S_OK, 0u));
}

TEST(DispatchTest, ArgumentsAreConvertedCountedAndPassedAsDeclaredAndWrongOnesReportTheirPosition) {
    Calculator calculator;
    VARIANT variable = N(5), outVariable = N(3);
    LONG out = 8, limit = 4;
    const VARIANT scope = VALUE(VT_DISPATCH, pdispVal, &calculator);
    constexpr WORD kGet = DISPATCH_PROPERTYGET;
    const VARIANT none = VALUE(VT_ERROR, scode, DISP_E_PARAMNOTFOUND);
    struct {
        const char* name;
        DISPID id;
        std::vector<VARIANT> arguments;  // in the order a caller writes them
        HRESULT result;
        std::string shown;
        WORD flags = DISPATCH_METHOD;
    } calls[] = {
        {"numbers, one as text", 1, {N(40), T(OLESTR(" 2"))}, S_OK, "I4 42"},
        {"a script variable by reference", 1, {byRef(&variable), N(6)}, S_OK, "I4 11"},
        {"any non-zero number is VARIANT_TRUE", 5, {N(-1)}, S_OK, "I4 1"},
        {"an enumeration travels as VT_I4", 7, {N(kLight)}, S_OK, "I4 2"},
        {"the last is rgvarg[0]", 1, {N(1), T(OLESTR("two"))}, DISP_E_TYPEMISMATCH, "at 0"},
        {"too few", 1, {N(1)}, DISP_E_BADPARAMCOUNT, ""},
        {"too many", 1, {N(1), N(2), N(3)}, DISP_E_BADPARAMCOUNT, ""},
        {"a required one omitted", 1, {none, N(2)}, DISP_E_PARAMNOTFOUND, "at 1"},
        {"no such member", 77, {}, DISP_E_MEMBERNOTFOUND, ""},
        {"a failing method", 6, {}, DISP_E_EXCEPTION, "raised 80070005 calculator jammed"},
        {"a method read as a property", 6, {}, DISP_E_MEMBERNOTFOUND, "", kGet},
        {"a property written", 2, {T(OLESTR("abacus"))}, S_OK, "", DISPATCH_PROPERTYPUT},
        {"and read", 2, {}, S_OK, "BSTR abacus", kGet | DISPATCH_METHOD},
        {"an [out] argument", 4, {byRef(&out)}, S_OK, ""},
        {"an [out] argument into a VARIANT", 4, {byRef(&outVariable)}, S_OK, ""},
        {"an [out] argument by value", 4, {N(3)}, DISP_E_TYPEMISMATCH, "at 0"},
        {"an optional VARIANT omitted", 3, {N(7)}, S_OK, "BSTR 7 (no suffix)"},
        {"and given", 3, {N(7), T(OLESTR("!"))}, S_OK, "BSTR 7!"},
        {"optional pointers left out", 8, {}, S_OK, "BSTR no limit, no scope, no filter"},
        {"or marked omitted", 8, {none, none, none}, S_OK, "BSTR no limit, no scope, no filter"},
        {"or given", 8, {byRef(&limit), scope, N(1)}, S_OK, "BSTR limit 4, scope, filter"},
        {"an optional reference by value", 8, {N(4)}, DISP_E_TYPEMISMATCH, "at 0"},
    };
    for (const auto& call : calls) {
        SCOPED_TRACE(call.name);
        EXPECT_EQ(invoked(calculator, call.id, call.arguments, call.flags),
                  std::pair(call.result, call.shown));
    }
    EXPECT_EQ(out, -8);
    EXPECT_EQ(shown(outVariable), "I4 0") << "an [out] argument starts empty";
    EXPECT_EQ(limit, 8) << "the method writes the caller's variable";

    DISPID named = 0;
    DISPPARAMS empty{nullptr, nullptr, 0, 0}, withName{&variable, &named, 1, 1};
    const auto bare = [&](DISPID id, REFIID iid, DISPPARAMS* params) {
        return calculator.Invoke(id, iid, 0, DISPATCH_METHOD, params, nullptr, nullptr, nullptr);
    };
    EXPECT_EQ(bare(6, IID_IDispatch, &empty), DISP_E_UNKNOWNINTERFACE);
    EXPECT_EQ(bare(3, IID_NULL, &withName), DISP_E_NONAMEDARGS);
}

TEST(ErrorInfoTest, GetErrorInfoHandsTheObjectOverAndComErrorTakesItsDescription) {
    auto info = errorWithDescription(OLESTR("disk on fire"));
    ASSERT_EQ(SetErrorInfo(0, info.get()), S_OK);
    velcom::ComPtr<IErrorInfo> taken, again;
    ASSERT_EQ(GetErrorInfo(0, taken.put()), S_OK);
    EXPECT_EQ(taken.get(), info.get());
    EXPECT_EQ(GetErrorInfo(0, again.put()), S_FALSE) << "taken means cleared";
    EXPECT_FALSE(again);

    const _com_error error(E_FAIL, info.get(), true);
    EXPECT_EQ(error.Error(), E_FAIL);
    const _com_error copy = error;
    EXPECT_EQ(copy.Description(), u"disk on fire");
    const velcom::ComPtr<IErrorInfo> held = velcom::ComPtr<IErrorInfo>::attach(copy.ErrorInfo());
    EXPECT_EQ(held.get(), info.get());
}

TEST(ErrorInfoTest, ComErrorMessageFallsBackWhenTheSystemHasNoTextAndIssueErrorRaises) {
    const std::string memory = _com_error(E_OUTOFMEMORY).ErrorMessage();
    EXPECT_TRUE(memory.ends_with('.')) << "only the line end is removed: " << memory;
    EXPECT_TRUE(_com_error(E_OUTOFMEMORY).Description().empty());
    const _com_error dispatch(static_cast<HRESULT>(0x8004FF01));
    EXPECT_EQ(dispatch.WCode(), 0xFD01);
    EXPECT_EQ(dispatch.ErrorMessage(), "IDispatch error #64769");
    EXPECT_EQ(_com_error(HRESULT(0xA0001234)).ErrorMessage(), "Unknown error 0xA0001234");
    try {
        _com_issue_error(E_INVALIDARG);
        ADD_FAILURE() << "did not raise";
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), E_INVALIDARG);
        EXPECT_EQ(error.ErrorInfo(), nullptr);
    }
}

struct SupportsErrorInfo : ISupportErrorInfo {
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        *object = IsEqualIID(riid, IID_ISupportErrorInfo) ? this : nullptr;
        return *object != nullptr ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override {
        return IsEqualIID(riid, IID_IDispatch) ? S_OK : S_FALSE;
    }
};

TEST(ErrorInfoTest, IssueErrorExReadsTheErrorObjectOnlyWhereSupported) {
    SupportsErrorInfo object;
    for (const bool supported : {true, false}) {
        SetErrorInfo(0, errorWithDescription(OLESTR("from callee")).get());
        try {
            _com_issue_errorex(E_FAIL, &object, supported ? IID_IDispatch : IID_IEnumVARIANT);
            ADD_FAILURE() << "_com_issue_errorex returned";
        } catch (const _com_error& error) {
            EXPECT_EQ(error.Description(), supported ? u"from callee" : u"");
        }
        SetErrorInfo(0, nullptr);
    }
}

}  // namespace
