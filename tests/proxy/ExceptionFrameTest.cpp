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
#include "proxy/ProxyTest.h"
#include "support/CountedObject.h"
#include "support/TraceCapture.h"

namespace {

// A PKI component whose QueryInterface raises whatever the test chooses: the first thing Init
// does with it, so the exception leaves through Init's frame.
class ThrowingPki : public CountedObject {
public:
    explicit ThrowingPki(std::function<void()> raise) : m_raise(std::move(raise)) {}

    STDMETHODIMP QueryInterface(REFIID, void**) override {
        m_raise();
        return E_NOINTERFACE;
    }

private:
    std::function<void()> m_raise;
};

class ExceptionFrameTest : public ::testing::Test {
protected:
    // Init with a PKI component that raises; the result, and the one trace line it caused.
    HRESULT initRaising(std::function<void()> raise) {
        ThrowingPki pki(std::move(raise));
        return proxy->Init(nullptr, nullptr, disguisedAs<ISMPrivateKeyInfrastructure>(pki),
                           nullptr);
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
