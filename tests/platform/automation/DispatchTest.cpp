#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <velcom/com.h>

#include "support/OleText.h"

namespace {

enum Shade : LONG { kLight = 1, kDark = 2 };

struct ICalculator : IDispatch {
    STDMETHOD(Add)(LONG a, LONG b, LONG* sum) = 0;
    STDMETHOD(get_Name)(BSTR* name) = 0;
    STDMETHOD(put_Name)(BSTR name) = 0;
    STDMETHOD(Describe)(VARIANT value, VARIANT suffix, BSTR* text) = 0;
    STDMETHOD(Negate)(LONG* value) = 0;
    STDMETHOD(IsOn)(VARIANT_BOOL flag, LONG* number) = 0;
    STDMETHOD(Fail)() = 0;
    STDMETHOD(Invert)(Shade shade, Shade* inverted) = 0;
    STDMETHOD(Limit)(LONG* limit, IDispatch* scope, VARIANT* filter, BSTR* seen) = 0;
};

BSTR allocate(const std::u16string& text) {
    return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                             static_cast<UINT>(text.size()));
}

class Calculator : public velcom::DispatchImpl<ICalculator> {
public:
    Calculator() : DispatchImpl(kMembers) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override { return --references; }

    STDMETHODIMP Add(LONG a, LONG b, LONG* sum) override {
        *sum = a + b;
        return S_OK;
    }
    STDMETHODIMP get_Name(BSTR* name) override {
        *name = SysAllocString(m_name.c_str());
        return S_OK;
    }
    STDMETHODIMP put_Name(BSTR name) override {
        m_name = name == nullptr ? std::basic_string<OLECHAR>() : name;
        return S_OK;
    }
    STDMETHODIMP Describe(VARIANT value, VARIANT suffix, BSTR* text) override {
        velcom::Variant asText;
        HRESULT result = VariantChangeType(asText.put(), &value, 0, VT_BSTR);
        if (FAILED(result)) return result;
        std::u16string described = textOf(asText.get()->bstrVal);
        if (suffix.vt == VT_ERROR && suffix.scode == DISP_E_PARAMNOTFOUND)
            described += u" (no suffix)";
        else if (suffix.vt == VT_BSTR)
            described += textOf(suffix.bstrVal);
        *text = allocate(described);
        return S_OK;
    }
    STDMETHODIMP Negate(LONG* value) override {
        *value = -*value;
        return S_OK;
    }
    STDMETHODIMP IsOn(VARIANT_BOOL flag, LONG* number) override {
        *number = flag == VARIANT_TRUE ? 1 : 0;
        return S_OK;
    }
    STDMETHODIMP Fail() override {
        velcom::ComPtr<ICreateErrorInfo> creator;
        CreateErrorInfo(creator.put());
        creator->SetDescription(const_cast<LPOLESTR>(OLESTR("calculator jammed")));
        velcom::ComPtr<IErrorInfo> info;
        creator.as(info);
        SetErrorInfo(0, info.get());
        return E_ACCESSDENIED;
    }
    STDMETHODIMP Invert(Shade shade, Shade* inverted) override {
        *inverted = shade == kLight ? kDark : kLight;
        return S_OK;
    }
    STDMETHODIMP Limit(LONG* limit, IDispatch* scope, VARIANT* filter, BSTR* seen) override {
        std::u16string text = limit == nullptr ? u"no limit" : u"limit " + numberText(*limit);
        if (limit != nullptr) *limit *= 2;
        text += scope == nullptr ? u", no scope" : u", scope";
        const bool omitted = filter->vt == VT_ERROR && filter->scode == DISP_E_PARAMNOTFOUND;
        text += omitted ? u", no filter" : u", filter";
        *seen = allocate(text);
        return S_OK;
    }

    ULONG references = 1;

private:
    static constexpr velcom::DispatchMember kMembers[] = {
        velcom::member<&ICalculator::Add, velcom::in(VT_I4), velcom::in(VT_I4),
                       velcom::retval(VT_I4)>(u"Add", 1, DISPATCH_METHOD),
        velcom::member<&ICalculator::get_Name, velcom::retval(VT_BSTR)>(u"Name", 2,
                                                                        DISPATCH_PROPERTYGET),
        velcom::member<&ICalculator::put_Name, velcom::in(VT_BSTR)>(u"Name", 2,
                                                                    DISPATCH_PROPERTYPUT),
        velcom::member<&ICalculator::Describe, velcom::in(VT_VARIANT), velcom::optional(VT_VARIANT),
                       velcom::retval(VT_BSTR)>(u"Describe", 3, DISPATCH_METHOD),
        velcom::member<&ICalculator::Negate, velcom::out(VT_I4)>(u"Negate", 4, DISPATCH_METHOD),
        velcom::member<&ICalculator::IsOn, velcom::in(VT_BOOL), velcom::retval(VT_I4)>(
            u"IsOn", 5, DISPATCH_METHOD),
        velcom::member<&ICalculator::Fail>(u"Fail", 6, DISPATCH_METHOD),
        velcom::member<&ICalculator::Invert, velcom::in(VT_I4), velcom::retval(VT_I4)>(
            u"Invert", 7, DISPATCH_METHOD),
        velcom::member<&ICalculator::Limit, velcom::optional(VT_BYREF | VT_I4),
                       velcom::optional(VT_DISPATCH), velcom::optional(VT_VARIANT),
                       velcom::retval(VT_BSTR)>(u"Limit", 8, DISPATCH_METHOD),
    };

    static std::u16string numberText(LONG number) {
        std::u16string text;
        for (const char digit : std::to_string(number)) text += static_cast<char16_t>(digit);
        return text;
    }

    std::basic_string<OLECHAR> m_name = OLESTR("calc");
};

// Arguments in the order a caller writes them; Invoke receives them reversed.
class Call {
public:
    Call& arg(VARIANT value) {
        m_arguments.insert(m_arguments.begin(), value);
        return *this;
    }
    Call& number(LONG value) {
        VARIANT v;
        v.vt = VT_I4;
        v.lVal = value;
        return arg(v);
    }
    Call& text(const OLECHAR* value) {
        VARIANT v;
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocString(value);
        return arg(v);
    }
    ~Call() {
        for (VARIANT& value : m_arguments)
            if ((value.vt & VT_BYREF) == 0) VariantClear(&value);
    }

    HRESULT invoke(IDispatch& object, DISPID id, WORD flags = DISPATCH_METHOD) {
        DISPPARAMS params{m_arguments.data(), nullptr, static_cast<UINT>(m_arguments.size()), 0};
        DISPID putId = DISPID_PROPERTYPUT;
        if (flags == DISPATCH_PROPERTYPUT) {
            params.rgdispidNamedArgs = &putId;
            params.cNamedArgs = 1;
        }
        return object.Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result.put(),
                             &exception, &argumentError);
    }

    velcom::Variant result;
    EXCEPINFO exception{};
    UINT argumentError = 99;

private:
    std::vector<VARIANT> m_arguments;
};

DISPID idOf(IDispatch& object, const OLECHAR* name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 12345;
    const HRESULT result = object.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    EXPECT_EQ(result == DISP_E_UNKNOWNNAME, id == DISPID_UNKNOWN) << "the id says the same";
    return id;
}

TEST(DispatchTest, NamesResolveExactlyOrIgnoringCase) {
    Calculator calculator;
    EXPECT_EQ(idOf(calculator, OLESTR("Add")), 1);
    EXPECT_EQ(idOf(calculator, OLESTR("dEsCrIbE")), 3);
    EXPECT_EQ(idOf(calculator, OLESTR("Name")), 2);
    EXPECT_EQ(idOf(calculator, OLESTR("Subtract")), DISPID_UNKNOWN);
    UINT count = 7;
    EXPECT_EQ(calculator.GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
}

TEST(DispatchTest, ArgumentsArriveInDeclaredOrderAndAreConverted) {
    Calculator calculator;
    Call call;
    call.number(40).text(OLESTR(" 2"));
    ASSERT_EQ(call.invoke(calculator, 1), S_OK);
    EXPECT_EQ(call.result.type(), VT_I4);
    EXPECT_EQ(call.result.get()->lVal, 42);

    Call booleans;
    booleans.number(-1);
    ASSERT_EQ(booleans.invoke(calculator, 5), S_OK);
    EXPECT_EQ(booleans.result.get()->lVal, 1) << "any non-zero number is VARIANT_TRUE";
}

TEST(DispatchTest, ScriptVariablesPassedByReferenceAreRead) {
    Calculator calculator;
    VARIANT variable;
    variable.vt = VT_I4;
    variable.lVal = 5;
    VARIANT reference;
    reference.vt = VT_BYREF | VT_VARIANT;
    reference.pvarVal = &variable;
    Call call;
    call.arg(reference).number(6);
    ASSERT_EQ(call.invoke(calculator, 1), S_OK);
    EXPECT_EQ(call.result.get()->lVal, 11);
}

TEST(DispatchTest, WrongArgumentsAreReportedWithTheirPosition) {
    Calculator calculator;
    Call mismatch;
    mismatch.number(1).text(OLESTR("two"));
    EXPECT_EQ(mismatch.invoke(calculator, 1), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(mismatch.argumentError, 0u) << "the last argument is rgvarg[0]";

    Call tooFew;
    tooFew.number(1);
    EXPECT_EQ(tooFew.invoke(calculator, 1), DISP_E_BADPARAMCOUNT);
    Call tooMany;
    tooMany.number(1).number(2).number(3);
    EXPECT_EQ(tooMany.invoke(calculator, 1), DISP_E_BADPARAMCOUNT);

    VARIANT omitted;
    omitted.vt = VT_ERROR;
    omitted.scode = DISP_E_PARAMNOTFOUND;
    Call missingRequired;
    missingRequired.arg(omitted).number(2);
    EXPECT_EQ(missingRequired.invoke(calculator, 1), DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(missingRequired.argumentError, 1u);
}

TEST(DispatchTest, UnknownMembersInterfacesAndNamedArgumentsAreRefused) {
    Calculator calculator;
    Call call;
    EXPECT_EQ(call.invoke(calculator, 77), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(call.invoke(calculator, 6, DISPATCH_PROPERTYGET), DISP_E_MEMBERNOTFOUND);

    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(
        calculator.Invoke(6, IID_IDispatch, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
        DISP_E_UNKNOWNINTERFACE);

    VARIANT value;
    value.vt = VT_I4;
    value.lVal = 1;
    DISPID named = 0;
    DISPPARAMS withName{&value, &named, 1, 1};
    EXPECT_EQ(
        calculator.Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &withName, nullptr, nullptr, nullptr),
        DISP_E_NONAMEDARGS);
}

TEST(DispatchTest, PropertiesAreReadAndWritten) {
    Calculator calculator;
    Call put;
    put.text(OLESTR("abacus"));
    ASSERT_EQ(put.invoke(calculator, 2, DISPATCH_PROPERTYPUT), S_OK);
    Call get;
    ASSERT_EQ(get.invoke(calculator, 2, DISPATCH_PROPERTYGET | DISPATCH_METHOD), S_OK);
    EXPECT_EQ(get.result.type(), VT_BSTR);
    EXPECT_EQ(textOf(get.result.get()->bstrVal), u"abacus");
}

TEST(DispatchTest, OmittedOptionalVariantsArriveAsParamNotFound) {
    Calculator calculator;
    Call withoutSuffix;
    withoutSuffix.number(7);
    ASSERT_EQ(withoutSuffix.invoke(calculator, 3), S_OK);
    EXPECT_EQ(textOf(withoutSuffix.result.get()->bstrVal), u"7 (no suffix)");

    Call withSuffix;
    withSuffix.number(7).text(OLESTR("!"));
    ASSERT_EQ(withSuffix.invoke(calculator, 3), S_OK);
    EXPECT_EQ(textOf(withSuffix.result.get()->bstrVal), u"7!");
}

TEST(DispatchTest, OutArgumentsAreWrittenThroughTheirReference) {
    Calculator calculator;
    LONG number = 8;
    VARIANT direct;
    direct.vt = VT_BYREF | VT_I4;
    direct.plVal = &number;
    Call call;
    call.arg(direct);
    ASSERT_EQ(call.invoke(calculator, 4), S_OK);
    EXPECT_EQ(number, -8);

    VARIANT variable;
    variable.vt = VT_I4;
    variable.lVal = 3;
    VARIANT reference;
    reference.vt = VT_BYREF | VT_VARIANT;
    reference.pvarVal = &variable;
    Call intoVariant;
    intoVariant.arg(reference);
    ASSERT_EQ(intoVariant.invoke(calculator, 4), S_OK);
    EXPECT_EQ(variable.vt, VT_I4);
    EXPECT_EQ(variable.lVal, 0) << "an [out] argument starts empty";

    Call byValue;
    byValue.number(3);
    EXPECT_EQ(byValue.invoke(calculator, 4), DISP_E_TYPEMISMATCH);
}

TEST(DispatchTest, FailingMethodBecomesAnExceptionWithItsErrorObject) {
    Calculator calculator;
    Call call;
    ASSERT_EQ(call.invoke(calculator, 6), DISP_E_EXCEPTION);
    EXPECT_EQ(call.exception.scode, E_ACCESSDENIED);
    EXPECT_EQ(textOf(call.exception.bstrDescription), u"calculator jammed");
    SysFreeString(call.exception.bstrDescription);
    SysFreeString(call.exception.bstrSource);
    SysFreeString(call.exception.bstrHelpFile);
}

TEST(DispatchTest, EnumerationsTravelAsI4) {
    Calculator calculator;
    Call call;
    call.number(kLight);
    ASSERT_EQ(call.invoke(calculator, 7), S_OK);
    EXPECT_EQ(call.result.type(), VT_I4);
    EXPECT_EQ(call.result.get()->lVal, kDark);
}

TEST(DispatchTest, OmittedOptionalPointersArriveNullAndReferencesAreTheCallers) {
    Calculator calculator;
    Call none;
    ASSERT_EQ(none.invoke(calculator, 8), S_OK);
    EXPECT_EQ(textOf(none.result.get()->bstrVal), u"no limit, no scope, no filter");

    VARIANT omitted;
    omitted.vt = VT_ERROR;
    omitted.scode = DISP_E_PARAMNOTFOUND;
    Call marked;
    marked.arg(omitted).arg(omitted).arg(omitted);
    ASSERT_EQ(marked.invoke(calculator, 8), S_OK);
    EXPECT_EQ(textOf(marked.result.get()->bstrVal), u"no limit, no scope, no filter");

    LONG limit = 4;
    VARIANT reference;
    reference.vt = VT_BYREF | VT_I4;
    reference.plVal = &limit;
    VARIANT scope;
    scope.vt = VT_DISPATCH;
    scope.pdispVal = &calculator;
    calculator.AddRef();
    Call all;
    all.arg(reference).arg(scope).number(1);
    ASSERT_EQ(all.invoke(calculator, 8), S_OK);
    EXPECT_EQ(textOf(all.result.get()->bstrVal), u"limit 4, scope, filter");
    EXPECT_EQ(limit, 8) << "the method writes the caller's variable";

    Call byValue;
    byValue.number(4);
    EXPECT_EQ(byValue.invoke(calculator, 8), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(byValue.argumentError, 0u);
}

}  // namespace
