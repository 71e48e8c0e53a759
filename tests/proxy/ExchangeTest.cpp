// One exchange: the request as the transport receives it, the page collected from its chunks, and
// the answer's verdict.
#include "proxy/ProxyTest.h"

namespace {

using ExchangeTest = OperationTest;

TEST_F(ExchangeTest, RequestsCarryInitCommsHeadersThePostsContentTypeAndTheFieldsAdded) {
    ProxyObject withHeaders;
    ASSERT_EQ(init(nullptr, &withHeaders), S_OK);
    ASSERT_EQ(initComm(startPage(), &withHeaders, *makeStringList({"X-One: 1", "X-Two: 2"}).get()),
              S_OK);
    const auto send = [&](ProxyObject& to, bool post, const std::string& options = "") {
        script.answers.push_back(startPage());
        ASSERT_EQ(to.object().exchange("https://ca.test/next", post, options), S_OK);
    };
    send(proxy, true);
    send(withHeaders, true, "client-cert=/tmp/c.pem");
    send(withHeaders, true);
    send(withHeaders, false);
    withHeaders.object().addField("-serial", "0A3F");
    withHeaders.object().addField("-ident_lang", "");
    send(withHeaders, false);
    send(withHeaders, true);

    // Each request as a transcript tells it, then its headers.
    Strings sent = sentSince(0, pki->calls().size(), 0, 0);
    for (std::size_t at = 0; at < sent.size(); ++at) {
        const TransportRequest& request = script.requests[at];
        EXPECT_TRUE(request.headers.isList(VT_BSTR));
        EXPECT_TRUE(request.fields.omitted() || request.fields.isList(VT_BSTR));
        for (const std::string& header : request.headers.items) sent[at] += " [" + header + "]";
    }
    const std::string headers = " [X-One: 1] [X-Two: 2]", fields = " -serial=0A3F&-ident_lang=",
                      posted = " [Content-Type: application/x-www-form-urlencoded]";
    EXPECT_EQ(sent,
              (Strings{"GET /start", "GET /start" + headers, "POST /next" + posted,
                       "POST /next {client-cert=/tmp/c.pem}" + headers + posted,
                       // The content type is never kept; the fields stay for the next one.
                       "POST /next" + headers + posted, "GET /next" + headers,
                       "GET /next" + fields + headers, "POST /next" + fields + headers + posted}));
}

TEST_F(ExchangeTest, TheLastReturnAndActionNodesOfAPageGiveTheVerdict) {
    const std::string longMessage(2000, 'm');
    const std::string chunked = pageWith("Return=R\nStatus=100\nParam1=-refnum\nValue1=12");
    TransportAnswer chunks(chunked.substr(0, 5));
    for (std::size_t at = 5; at < chunked.size(); at += 3)
        chunks.chunks.push_back(chunked.substr(at, 3));
    const std::string noReturn = pageWith("Action=go\nURL=https://ca.test/go");
    // told(), the Return node's name, the Action node's name and address, the page collected.
    const std::pair<TransportAnswer, Strings> answers[] = {
        {chunks, {"S_OK", "R", chunked}},
        {noReturn,
         {"TSR_E_RESPONSE reported", "3 339: no return node in Tessera response",
          " go https://ca.test/go", noReturn}},
        {"<!-- ???\nReturn=one\nStatus=0\n--><!-- ???\nAction=a1\n-->"
         "<!-- ???\nReturn=two\nStatus=100\nErrorMessage=ignored\n--><!-- "
         "???\nAction=a2\nURL=u2\n-->",
         {"S_OK", "two a2 u2", "..."}},
        {pageWith("Return=done"), {"S_OK", "done", "..."}},
        // The transport's own verdict, which the exchange passes on, or raises keeping nothing of
        // the page.
        {{pageWith("Return=done"), S_FALSE}, {"S_FALSE", "", "..."}},
        {{"<html><!-- ???", E_ABORT, "connection reset"},
         {"E_ABORT", "raised connection reset", ""}},
        {pageWith("Return=R\nStatus=-1\nErrorMessage=unknown user"),
         {"TSR_E_SERVER", "3 349: Tessera error (4294967295): unknown user",
          "error TSR_E_SERVER -1|unknown user", "R", "..."}},
        {pageWith("Return=R\nStatus=7\nErrorMessage=" + longMessage),
         {"TSR_E_SERVER", "3 349: " + ("TSR Tessera error (7): " + longMessage).substr(4, 1019),
          "error TSR_E_SERVER 7|" + longMessage, "R", "..."}},
    };
    for (const auto& [answer, transcript] : answers) {
        SCOPED_TRACE(transcript[1]);
        forgetCallbacks();
        script.answers.push_back(answer);
        HRESULT result = S_OK;
        std::string verdict;
        try {
            result = proxy.object().exchange("https://ca.test/next", false, "");
        } catch (const _com_error& error) {
            result = error.Error();
            verdict = "raised " + toAnsi(error.Description());
        }
        if (result == S_OK) {
            ReturnNode* returned = nullptr;
            ActionNode* action = nullptr;
            result = proxy.object().checkReturn(&returned, &action);
            if (returned != nullptr) verdict = returned->getName();
            if (action != nullptr) verdict += " " + action->getAction() + " " + action->getURL();
        }
        Strings got = told(result);
        got.push_back(verdict);
        got.emplace_back(transcript.back() == "..." ? "..." : proxy.object().response());
        EXPECT_EQ(got, transcript);
    }
}

}  // namespace
