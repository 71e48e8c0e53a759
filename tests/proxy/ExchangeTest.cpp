// One exchange: the request as the transport receives it, the page collected from its chunks, and
// the answer's verdict.
#include "proxy/ProxyTest.h"

namespace {

constexpr char kContentType[] = "Content-Type: application/x-www-form-urlencoded";

class ExchangeTest : public ProxyTest {
protected:
    void SetUp() override {
        ASSERT_EQ(init(), S_OK);
        ASSERT_EQ(initComm(), S_OK);
    }
    HRESULT exchange(bool post = false, const std::string& options = "") {
        return proxy.object().exchange("https://ca.test/next", post, options);
    }
};

TEST_F(ExchangeTest, RequestsCarryInitCommsHeadersThePostsContentTypeAndTheFieldsAdded) {
    script.queue(startPage());
    ASSERT_EQ(exchange(true), S_OK);
    ProxyObject withHeaders;
    ASSERT_EQ(init(nullptr, &withHeaders), S_OK);
    ASSERT_EQ(initComm(startPage(), &withHeaders, *makeStringList({"X-One: 1", "X-Two: 2"}).get()),
              S_OK);
    CvelTesseraProxy& object = withHeaders.object();
    const auto send = [&](bool post, const std::string& options = "") {
        script.queue(startPage());
        ASSERT_EQ(object.exchange("https://ca.test/next", post, options), S_OK);
    };
    send(true, "client-cert=/tmp/c.pem");
    send(true);
    send(false);
    object.addField("-serial", "0A3F");
    object.addField("-ident_lang", "");
    send(false);
    send(true);

    // Each request as "line [headers] fields", "-" for omitted fields.
    Strings sent;
    for (const TransportRequest& request : script.requests()) {
        EXPECT_TRUE(request.headers.isList(VT_BSTR));
        EXPECT_TRUE(request.fields.omitted() || request.fields.isList(VT_BSTR));
        std::string line = request.method + " " + request.address + " {" + request.options + "} [";
        for (const std::string& header : request.headers.items) line += header + ";";
        line += "] ";
        for (const std::string& field : request.fields.items) line += field + "=";
        sent.push_back(line + (request.fields.omitted() ? "-" : ""));
    }
    const std::string headers = "[X-One: 1;X-Two: 2;", posted = headers + kContentType + ";] ",
                      fields = "-serial=0A3F=-ident_lang==";
    EXPECT_EQ(sent, (Strings{"GET https://ca.test/start {} [] -",
                             "POST https://ca.test/next {} [" + std::string(kContentType) + ";] -",
                             "GET https://ca.test/start {} " + headers + "] -",
                             "POST https://ca.test/next {client-cert=/tmp/c.pem} " + posted + "-",
                             // The content type is never kept; the fields stay for the next one.
                             "POST https://ca.test/next {} " + posted + "-",
                             "GET https://ca.test/next {} " + headers + "] -",
                             "GET https://ca.test/next {} " + headers + "] " + fields,
                             "POST https://ca.test/next {} " + posted + fields}));
}

TEST_F(ExchangeTest, TheLastReturnAndActionNodesOfAPageGiveTheVerdict) {
    const std::string longMessage(2000, 'm');
    const std::string chunked = pageWith("Return=R\nStatus=100\nParam1=-refnum\nValue1=12");
    TransportAnswer chunks(chunked.substr(0, 5));
    for (std::size_t at = 5; at < chunked.size(); at += 3) chunks.bytes(chunked.substr(at, 3));
    const auto line = [](int number, const std::string& text) {
        return "TSR velTesseraProxy(" + std::to_string(number) + "): " + text + "\r\n";
    };
    const std::string server = std::to_string(TSR_E_SERVER);
    const std::string noReturn = pageWith("Action=go\nURL=https://ca.test/go");
    TransportAnswer partly(pageWith("Return=done"));
    partly.result = S_FALSE;  // the transport's own verdict, which the exchange passes on
    const struct {
        const char* name;
        TransportAnswer answer;
        std::string page;  // as collected
        HRESULT result;
        std::string verdict;  // the Return node's name and the Action node's name and address
        std::string trace;    // none if empty
        std::string report;   // none if empty
    } answers[] = {
        {"page in chunks", chunks, chunked, S_OK, "R", "", ""},
        {"no Return node", noReturn, noReturn, TSR_E_RESPONSE, " go https://ca.test/go",
         line(339, "no return node in Tessera response"), std::to_string(TSR_E_RESPONSE)},
        {"last nodes decide",
         "<!-- ???\nReturn=one\nStatus=0\n--><!-- ???\nAction=a1\n-->"
         "<!-- ???\nReturn=two\nStatus=100\nErrorMessage=ignored\n-->"
         "<!-- ???\nAction=a2\nURL=u2\n-->",
         "", S_OK, "two a2 u2", "", ""},
        {"no status", pageWith("Return=done"), "", S_OK, "done", "", ""},
        {"another success", partly, "", S_FALSE, "", "", ""},
        {"negative status", pageWith("Return=R\nStatus=-1\nErrorMessage=unknown user"), "",
         TSR_E_SERVER, "R", line(349, "Tessera error (4294967295): unknown user"),
         server + " [-1] [unknown user] []"},
        {"long message", pageWith("Return=R\nStatus=7\nErrorMessage=" + longMessage), "",
         TSR_E_SERVER, "R",
         line(349, ("TSR Tessera error (7): " + longMessage).substr(4, 1023 - 4)),
         server + " [7] [" + longMessage + "] []"},
    };
    for (const auto& answer : answers) {
        SCOPED_TRACE(answer.name);
        forgetCallbacks();
        script.queue(answer.answer);
        HRESULT result = exchange();
        std::string verdict;
        if (result == S_OK) {
            ReturnNode* returned = nullptr;
            ActionNode* action = nullptr;
            result = proxy.object().checkReturn(&returned, &action);
            if (returned != nullptr) verdict = returned->getName();
            if (action != nullptr) verdict += " " + action->getAction() + " " + action->getURL();
        }
        EXPECT_EQ(result, answer.result);
        EXPECT_EQ(verdict, answer.verdict);
        if (!answer.page.empty()) {
            EXPECT_EQ(proxy.object().response(), answer.page);
        }
        expectReported(answer.trace, answer.report);
    }
}

TEST_F(ExchangeTest, AFailedRequestRaisesTheTransportsErrorAndKeepsWhatArrived) {
    script.queue(TransportAnswer::failure(E_ABORT, "connection reset", "<html><!-- ???"));
    try {
        exchange(true);
        ADD_FAILURE() << "the transport's failure must be raised";
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), E_ABORT);
        EXPECT_EQ(error.Description(), u"connection reset");
    }
    EXPECT_EQ(proxy.object().response(), "<html><!-- ???");
}

}  // namespace
