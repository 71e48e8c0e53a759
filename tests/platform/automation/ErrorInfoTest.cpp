#include <gtest/gtest.h>

#include <velcom/com.h>

#include "support/OleText.h"

namespace {

velcom::ComPtr<IErrorInfo> errorWithDescription(const OLECHAR* description) {
    velcom::ComPtr<ICreateErrorInfo> creator;
    EXPECT_EQ(CreateErrorInfo(creator.put()), S_OK);
    creator->SetDescription(const_cast<LPOLESTR>(description));
    velcom::ComPtr<IErrorInfo> info;
    EXPECT_EQ(creator.as(info), S_OK);
    return info;
}

TEST(ErrorInfoTest, GetErrorInfoHandsTheObjectOverAndClearsIt) {
    auto info = errorWithDescription(OLESTR("disk on fire"));
    ASSERT_EQ(SetErrorInfo(0, info.get()), S_OK);
    velcom::ComPtr<IErrorInfo> taken;
    ASSERT_EQ(GetErrorInfo(0, taken.put()), S_OK);
    EXPECT_EQ(taken.get(), info.get());
    velcom::Bstr description;
    ASSERT_EQ(taken->GetDescription(description.put()), S_OK);
    EXPECT_EQ(description.view(), u"disk on fire");

    velcom::ComPtr<IErrorInfo> again;
    EXPECT_EQ(GetErrorInfo(0, again.put()), S_FALSE);
    EXPECT_FALSE(again);
}

TEST(ErrorInfoTest, ComErrorTakesTheDescriptionOfItsErrorObject) {
    auto info = errorWithDescription(OLESTR("no such certificate"));
    const _com_error error(E_FAIL, info.get(), true);
    EXPECT_EQ(error.Error(), E_FAIL);
    EXPECT_EQ(error.Description(), u"no such certificate");
    const _com_error copy = error;
    EXPECT_EQ(copy.Description(), u"no such certificate");
    IErrorInfo* held = copy.ErrorInfo();
    EXPECT_EQ(held, info.get());
    held->Release();
}

TEST(ErrorInfoTest, ComErrorMessageFallsBackWhenTheSystemHasNoText) {
    const std::string memory = _com_error(E_OUTOFMEMORY).ErrorMessage();
    EXPECT_FALSE(memory.empty());
    EXPECT_NE(memory.substr(memory.size() - 1), "\n") << "the line end is removed";
    EXPECT_TRUE(_com_error(E_OUTOFMEMORY).Description().empty());

    EXPECT_EQ(_com_error(static_cast<HRESULT>(0x8004FF01)).WCode(), 0xFD01);
    EXPECT_EQ(_com_error(static_cast<HRESULT>(0x8004FF01)).ErrorMessage(),
              "IDispatch error #64769");
    EXPECT_EQ(_com_error(static_cast<HRESULT>(0xA0001234)).ErrorMessage(),
              "Unknown error 0xA0001234");
}

TEST(ErrorInfoTest, IssueErrorRaisesWithTheCode) {
    try {
        _com_issue_error(E_INVALIDARG);
        FAIL() << "did not raise";
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), E_INVALIDARG);
        EXPECT_EQ(error.ErrorInfo(), nullptr);
    }
}

// An object that says it supports error information for one interface only.
class SupportsErrorInfo : public ISupportErrorInfo {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_ISupportErrorInfo)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = this;
        return S_OK;
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
        } catch (const _com_error& error) {
            EXPECT_EQ(error.Description(), supported ? u"from callee" : u"");
        }
        SetErrorInfo(0, nullptr);
    }
}

}  // namespace
