// One exchange: the request as the transport receives it, the page collected from its chunks, and
// the answer's verdict.
#include <gtest/gtest.h>

#include "proxy/ProxyTest.h"
#include "proxy/VariantLists.h"

namespace {

constexpr char kContentType[] = "Content-Type: application/x-www-form-urlencoded";

class ExchangeTest : public ProxyTest {
protected:
    // Init and InitComm with two additional header lines.
    void openWithHeaders() {
        ASSERT_EQ(init(), S_OK);
        velcom::Variant headers;
        ASSERT_EQ(stringsToVariant({"X-One: 1", "X-Two: 2"}, headers.put()), S_OK);
        script.queuePage(startPage());
        ASSERT_EQ(proxy->InitComm(velcom::Bstr(u"https://ca.test/start").get(), *headers.get()),
                  S_OK);
    }
    HRESULT exchangeWith(const std::string& page, bool post = false) {
        script.queuePage(page);
        return proxy.object().exchange("https://ca.test/next", post, "");
    }
    HRESULT verdict() {
        ReturnNode* returned = nullptr;
        ActionNode* action = nullptr;
        const HRESULT result = proxy.object().checkReturn(&returned, &action);
        lastReturn = returned;
        lastAction = action;
        return result;
    }

    ReturnNode* lastReturn = nullptr;
    ActionNode* lastAction = nullptr;
};

TEST_F(ExchangeTest, AGetWithoutHeadersOrFieldsSendsAnEmptyListAndAnOmittedArgument) {
    open();
    const TransportRequest& request = script.requests().at(0);
    EXPECT_EQ(request.options, "");
    EXPECT_TRUE(request.headers.isList(VT_BSTR));
    EXPECT_TRUE(request.headers.items.empty());
    EXPECT_TRUE(request.fields.omitted());
}

TEST_F(ExchangeTest, APostWithoutHeadersCarriesTheContentTypeAlone) {
    open();
    ASSERT_EQ(exchangeWith(startPage(), true), S_OK);
    const TransportRequest& request = script.requests().at(1);
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.address, "https://ca.test/next");
    EXPECT_TRUE(request.headers.isList(VT_BSTR));
    EXPECT_EQ(request.headers.items, Strings{kContentType});
}

TEST_F(ExchangeTest, HeadersOfInitCommGoWithEveryRequestAndThePostsContentTypeAfterThem) {
    openWithHeaders();
    EXPECT_EQ(script.requests().at(0).headers.items, (Strings{"X-One: 1", "X-Two: 2"}));
    ASSERT_EQ(exchangeWith(startPage(), true), S_OK);
    ASSERT_EQ(exchangeWith(startPage(), true), S_OK);
    ASSERT_EQ(exchangeWith(startPage(), false), S_OK);
    EXPECT_EQ(script.requests().at(1).headers.items,
              (Strings{"X-One: 1", "X-Two: 2", kContentType}));
    EXPECT_EQ(script.requests().at(2).headers.items,
              (Strings{"X-One: 1", "X-Two: 2", kContentType}))
        << "the content type is never kept among the headers";
    EXPECT_EQ(script.requests().at(3).headers.items, (Strings{"X-One: 1", "X-Two: 2"}));
}

TEST_F(ExchangeTest, FieldsTravelAsNameValueListForGetAndPostAndStayForTheNextRequest) {
    open();
    proxy.object().addField("-serial", "0A3F");
    proxy.object().addField("-ident_lang", "");
    ASSERT_EQ(exchangeWith(startPage(), false), S_OK);
    ASSERT_EQ(exchangeWith(startPage(), true), S_OK);
    for (std::size_t index : {1u, 2u}) {
        const TransportRequest& request = script.requests().at(index);
        EXPECT_TRUE(request.fields.isList(VT_BSTR));
        EXPECT_EQ(request.fields.items, (Strings{"-serial", "0A3F", "-ident_lang", ""}));
    }
}

TEST_F(ExchangeTest, OptionsAreHandedOnAsGiven) {
    open();
    script.queuePage(startPage());
    ASSERT_EQ(proxy.object().exchange("https://ca.test/renew", true, "client-cert=/tmp/c.pem"),
              S_OK);
    EXPECT_EQ(script.requests().at(1).options, "client-cert=/tmp/c.pem");
}

TEST_F(ExchangeTest, APageInManyChunksIsTheirConcatenationAndOtherChunksAddNothing) {
    open();
    const std::string page = pageWith("Return=R\nStatus=100\nParam1=-refnum\nValue1=12");
    TransportAnswer answer = TransportAnswer::page(page.substr(0, 5));
    answer.text("not part of the page");
    for (std::size_t at = 5; at < page.size(); at += 3) answer.bytes(page.substr(at, 3));
    script.queue(answer);
    ASSERT_EQ(proxy.object().exchange("https://ca.test/next", false, ""), S_OK);
    EXPECT_EQ(proxy.object().response(), page);
    EXPECT_EQ(verdict(), S_OK);
}

TEST_F(ExchangeTest, EachExchangeStartsAFreshPage) {
    open();
    ASSERT_EQ(exchangeWith(pageWith("Return=first")), S_OK);
    ASSERT_EQ(exchangeWith(pageWith("Return=second")), S_OK);
    EXPECT_EQ(proxy.object().response(), pageWith("Return=second"));
    ASSERT_EQ(verdict(), S_OK);
    EXPECT_EQ(lastReturn->getName(), "second");
}

TEST_F(ExchangeTest, AFailedRequestRaisesTheTransportsErrorAndKeepsWhatArrived) {
    open();
    script.queue(TransportAnswer::failure(E_ABORT, "connection reset", "<html><!-- ???"));
    try {
        proxy.object().exchange("https://ca.test/next", true, "");
        FAIL() << "the transport's failure must be raised";
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), E_ABORT);
        EXPECT_EQ(error.Description(), u"connection reset");
    }
    EXPECT_EQ(proxy.object().response(), "<html><!-- ???");
}

TEST_F(ExchangeTest, APageWithoutMarkupIsTracedWholeAndReported) {
    open();
    EXPECT_EQ(exchangeWith("<html>\nsorry</html>"), TSR_E_RESPONSE);
    EXPECT_EQ(traces(), (Strings{"TSR velTesseraProxy(297): cannot process server response\r\n"
                                 "<html>\nsorry</html>\r\n"}));
    expectErrorWithoutTexts(TSR_E_RESPONSE);
}

TEST_F(ExchangeTest, NoReturnNodeIsAnUnusableAnswer) {
    open();
    ASSERT_EQ(exchangeWith(pageWith("Action=go\nURL=https://ca.test/go")), S_OK);
    EXPECT_EQ(verdict(), TSR_E_RESPONSE);
    EXPECT_EQ(lastReturn, nullptr);
    ASSERT_NE(lastAction, nullptr) << "the Action node found is still given";
    EXPECT_EQ(lastAction->getURL(), "https://ca.test/go");
    EXPECT_EQ(traces(),
              (Strings{"TSR velTesseraProxy(339): no return node in Tessera response\r\n"}));
    EXPECT_EQ(reportedErrors(), (std::vector<LONG>{TSR_E_RESPONSE}));
}

TEST_F(ExchangeTest, TheLastReturnAndActionNodesOfThePageDecide) {
    open();
    ASSERT_EQ(exchangeWith("<!-- ???\nReturn=one\nStatus=0\n--><!-- ???\nAction=a1\n-->"
                           "<!-- ???\nReturn=two\nStatus=100\nErrorMessage=ignored\n-->"
                           "<!-- ???\nAction=a2\n-->"),
              S_OK);
    EXPECT_EQ(verdict(), S_OK) << "status 100 succeeds whatever the message";
    EXPECT_EQ(lastReturn->getName(), "two");
    EXPECT_EQ(lastAction->getAction(), "a2");
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(ExchangeTest, AReturnNodeWithoutStatusSucceeds) {
    open();
    ASSERT_EQ(exchangeWith(pageWith("Return=done")), S_OK);
    EXPECT_EQ(verdict(), S_OK);
    EXPECT_EQ(lastAction, nullptr);
}

TEST_F(ExchangeTest, AServerErrorIsTracedUnsignedAndReportedSignedWithTheMessage) {
    open();
    ASSERT_EQ(exchangeWith(pageWith("Return=R\nStatus=0\nErrorMessage=x")), S_OK);
    EXPECT_EQ(verdict(), TSR_E_SERVER);
    ASSERT_EQ(exchangeWith(pageWith("Return=R\nStatus=-1\nErrorMessage=unknown user")), S_OK);
    EXPECT_EQ(verdict(), TSR_E_SERVER);
    EXPECT_EQ(traces(), (Strings{"TSR velTesseraProxy(349): Tessera error (0): x\r\n",
                                 "TSR velTesseraProxy(349): Tessera error (4294967295): "
                                 "unknown user\r\n"}));
    const auto errors = callbacks("Error");
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].code, TSR_E_SERVER);
    EXPECT_EQ(errors[0].text1, u"0");
    EXPECT_EQ(errors[0].text2, u"x");
    EXPECT_TRUE(errors[0].text3.empty());
    EXPECT_EQ(errors[1].text1, u"-1");
    EXPECT_EQ(errors[1].text2, u"unknown user");
}

TEST_F(ExchangeTest, ALongServerMessageIsCutInTheTraceButReportedWhole) {
    open();
    const std::string message(2000, 'm');
    ASSERT_EQ(exchangeWith(pageWith("Return=R\nStatus=7\nErrorMessage=" + message)), S_OK);
    EXPECT_EQ(verdict(), TSR_E_SERVER);
    const std::string formatted = ("TSR Tessera error (7): " + message).substr(0, 1023);
    EXPECT_EQ(traces(), (Strings{"TSR velTesseraProxy(349):" + formatted.substr(3) + "\r\n"}));
    EXPECT_EQ(callbacks("Error").at(0).text2.size(), 2000u);
}

}  // namespace
