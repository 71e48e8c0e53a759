// Every failure inside a proxy method becomes its result through one frame: traced at level 7
// with the method's frame line, reported to the host, returned.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <stdexcept>
#include <string>

#include <velTesseraComm/velTesseraComm.h>

#include "Utility/ExceptionBase.h"
#include "module/ModuleLock.h"
#include "proxy/NumberLists.h"
#include "proxy/ProxyObject.h"
#include "support/TraceCapture.h"

namespace {

// A PKI component whose QueryInterface raises whatever the test chooses: the first thing Init
// does with it, so the exception leaves through Init's frame.
class ThrowingPki : public ISMPrivateKeyInfrastructure {
public:
    explicit ThrowingPki(std::function<void()> raise) : m_raise(std::move(raise)) {}

    STDMETHODIMP QueryInterface(REFIID, void**) override {
        m_raise();
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP FindKey(LONG, ISMAsymKey**) override { return E_NOTIMPL; }
    STDMETHODIMP Verify2(LONG, LONG, CertStatus*) override { return E_NOTIMPL; }
    STDMETHODIMP Verify(ISMCertificate*, LONG, CertStatus*) override { return E_NOTIMPL; }
    STDMETHODIMP ImportKey(LONG, ISMAsymKey*) override { return E_NOTIMPL; }
    STDMETHODIMP ExportPKCS12(BSTR, BSTR, ISMCertificate*, ISMAsymKey*, LONG) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Import(ISMCertificateList*, ISMCRLList*) override { return E_NOTIMPL; }
    STDMETHODIMP Load(BSTR, ISMCertificateList**, ISMCRLList**) override { return E_NOTIMPL; }
    STDMETHODIMP LoadPKCS12(BSTR, BSTR, ISMCertificateList**, ISMKeyList**) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Export(BSTR, FileFormat, FileEncoding, ISMCertificateList*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Export2(BSTR, FileFormat, FileEncoding, VARIANT) override { return E_NOTIMPL; }
    STDMETHODIMP Find(CertType*, CertStatus*, BSTR*, LONG*, BSTR*, VARIANT*, BSTR*,
                      ISMCertificateList**) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP GetCertificate(LONG, ISMCertificate**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIssuer(ISMCertificate*, LONG, ISMCertificateList**) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP HasValidCertifiedKey(BSTR, ISMCertificateList**, LONG*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP FindValidCerts(VARIANT, VARIANT*, VARIANT*, ISMCertificateList**) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP AdjustDefaults(ISMCertificateList*) override { return E_NOTIMPL; }
    STDMETHODIMP CreateCertificateList(ISMCertificateList**) override { return E_NOTIMPL; }
    STDMETHODIMP CreateRequest(RequestType, BSTR, VARIANT, ISMRequest**) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP AddRequest(ISMRequest*, BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP GetOpenRequests(VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP ImportRequestedCertificate(BSTR, BSTR, LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP Revoke(ISMCertificate*) override { return E_NOTIMPL; }
    STDMETHODIMP ExportKey(BSTR, BSTR, FileFormat, FileEncoding, ISMAsymKey*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Delete(ISMCertificate*) override { return E_NOTIMPL; }
    STDMETHODIMP Delete2(LONG) override { return E_NOTIMPL; }

private:
    std::function<void()> m_raise;
};

class ExceptionFrameTest : public ::testing::Test {
protected:
    // Init with a PKI component that raises; the result, and the one trace line it caused.
    HRESULT initRaising(std::function<void()> raise) {
        ThrowingPki pki(std::move(raise));
        return proxy->Init(nullptr, nullptr, &pki, nullptr);
    }
    void TearDown() override {
        proxy.reset();
        capture.reset();
        EXPECT_EQ(moduleLockCount(), 0);
    }

    std::unique_ptr<TraceCapture> capture = std::make_unique<TraceCapture>();
    ProxyObject proxy;
};

TEST_F(ExceptionFrameTest, AComErrorGivesItsCodeAndTheSystemsMessage) {
    EXPECT_EQ(initRaising([] { throw _com_error(E_OUTOFMEMORY); }), E_OUTOFMEMORY);
    const std::string message = _com_error(E_OUTOFMEMORY).ErrorMessage();
    ASSERT_FALSE(message.empty());
    EXPECT_EQ(capture->lines(),
              (std::vector<std::string>{"TSR velTesseraProxy(1218): " + message + "\r\n"}));
    const auto errors = capture->calls("Error");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].code, E_OUTOFMEMORY);
    EXPECT_TRUE(errors[0].text1IsNull);
}

TEST_F(ExceptionFrameTest, AnExceptionBaseGivesItsCodeTextAndLocation) {
    EXPECT_EQ(initRaising([] { throw PreCondition("velNode", 12); }),
              static_cast<HRESULT>(PreCondition::kCode));
    EXPECT_EQ(
        capture->lines(),
        (std::vector<std::string>{
            "TSR velTesseraProxy(1218): PreCondition violated(File velNode at Line 12)\r\n"}));
    const auto errors = capture->calls("Error");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].code, static_cast<LONG>(PreCondition::kCode));
}

TEST_F(ExceptionFrameTest, AStandardExceptionGivesFailWithTheErrorNumber) {
    EXPECT_EQ(initRaising([] {
                  errno = 34;
                  throw std::length_error("too long");
              }),
              E_FAIL);
    EXPECT_EQ(capture->lines(),
              (std::vector<std::string>{"TSR velTesseraProxy(1218): Exception too long (34)\r\n"}));
    const auto errors = capture->calls("Error");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].code, E_FAIL);
}

TEST_F(ExceptionFrameTest, AReferenceOfOnlyZerosEndsTheMethodWithFail) {
    EXPECT_EQ(initRaising([] { indexInList("000", "1+0"); }), E_FAIL);
    ASSERT_EQ(capture->lines().size(), 1u);
    EXPECT_EQ(capture->lines()[0].rfind("TSR velTesseraProxy(1218): Exception ", 0), 0u)
        << capture->lines()[0];
    EXPECT_EQ(capture->calls("Error").at(0).code, E_FAIL);
}

TEST_F(ExceptionFrameTest, AFailedInitChangesNothingAndCanBeRepeated) {
    EXPECT_EQ(initRaising([] { throw std::runtime_error("x"); }), E_FAIL);
    EXPECT_EQ(proxy->InitComm(nullptr, VARIANT{}), TSR_E_NOT_INITIALIZED)
        << "Init did not complete";
}

}  // namespace
