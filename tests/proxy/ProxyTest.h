// A proxy with its collaborators, each call told as a transcript of all that the host, the server
// and the PKI component could notice; each test ends with every object released.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <map>
#include <sstream>

#include "inproc/ModuleLock.h"
#include "proxy/velTesseraProxy.h"
#include "support/CountedObject.h"
#include "support/RecordingBackChannel.h"
#include "support/RecordingPki.h"
#include "support/ScriptedTransport.h"

using Strings = std::vector<std::string>;
using Pages = std::vector<TransportAnswer>;

inline constexpr char kNoAction[] = "3 353: no action node in Tessera response";

inline std::string startPage() {
    return "<html><body><!-- !!!\nReturn\nCreateCertficate=https://ca.test/create\n"
           "PickUpCertificate=https://ca.test/pickup\nRenewCertificate=https://ca.test/renew\n"
           "RevokeCertificate=https://ca.test/revoke\nCRLDownload=https://ca.test/crl\n"
           "CheckCertificate=https://ca.test/check\n--></body></html>";
}
inline std::string pageWith(const std::string& block) {
    return "<html><!-- ???\n" + block + "\n--></html>";
}
inline std::string refusalPage(int status, const std::string& message) {
    return pageWith("Return=refused\nStatus=" + std::to_string(status) +
                    "\nErrorMessage=" + message);
}

// One parameter group of a Return block; without a value it has no Value line at all.
struct Param {
    std::string name;
    std::optional<std::string> value;
};
struct Params : std::vector<Param> {
    using std::vector<Param>::vector;
    // "a=1&b&c=": a with the value 1, b without one, c with an empty one.
    Params(const char* text) {
        std::istringstream stream(text);
        for (std::string item; std::getline(stream, item, '&');) {
            const std::size_t equals = item.find('=');
            push_back({item.substr(0, equals), equals == std::string::npos
                                                   ? std::nullopt
                                                   : std::optional(item.substr(equals + 1))});
        }
    }
};

inline Params without(Params params, const std::string& name) {
    std::erase_if(params, [&name](const Param& param) { return param.name == name; });
    return params;
}
inline std::string fieldsOf(const Params& params) {
    std::string text;
    for (const Param& param : params)
        text += (text.empty() ? "" : "&") + param.name + "=" + param.value.value_or("");
    return text;
}
inline std::string answerPage(const std::string& name, const Params& params,
                              const std::string& actionUrl = {},
                              const std::string& method = "POST") {
    std::string page = "<html><body><!-- ???\nReturn=" + name + "\nStatus=100\n";
    for (std::size_t index = 0; index < params.size(); ++index) {
        const std::string number = std::to_string(index + 1);
        page += "Param" + number + "=" + params[index].name + "\n";
        if (params[index].value) page += "Value" + number + "=" + *params[index].value + "\n";
    }
    page += "-->";
    if (!actionUrl.empty())
        page += "<!-- ???\nAction=next\nURL=" + actionUrl + "\nMethod=" + method + "\n-->";
    return page + "</body></html>";
}
inline std::string missing(int line, const std::string& name) {
    return "3 " + std::to_string(line) + ": parameter " + name + " not found in response";
}
inline std::string pem(const std::string& label, const std::string& body) {
    return "-----BEGIN " + label + "-----\r\n" + body + "\r\n-----END " + label + "-----\r\n";
}
inline Strings joined(std::initializer_list<Strings> pieces) {
    Strings lines;
    for (const Strings& piece : pieces) lines.insert(lines.end(), piece.begin(), piece.end());
    return lines;
}
inline std::string nameOf(HRESULT code) {
    // clang-format off
    static const std::map<HRESULT, std::string> names = {
        {S_OK, "S_OK"}, {E_INVALIDARG, "E_INVALIDARG"}, {E_POINTER, "E_POINTER"}, {E_FAIL, "E_FAIL"},
        {E_ABORT, "E_ABORT"}, {E_ACCESSDENIED, "E_ACCESSDENIED"}, {E_UNEXPECTED, "E_UNEXPECTED"},
        {E_OUTOFMEMORY, "E_OUTOFMEMORY"}, {E_NOINTERFACE, "E_NOINTERFACE"}, {S_FALSE, "S_FALSE"},
        {TSR_E_RESPONSE, "TSR_E_RESPONSE"}, {TSR_E_SERVER, "TSR_E_SERVER"},
        {TSR_E_PICKUP, "TSR_E_PICKUP"}, {TSR_E_SERIAL, "TSR_E_SERIAL"},
        {TSR_E_NOT_INITIALIZED, "TSR_E_NOT_INITIALIZED"}, {TSR_E_WRONG_STEP, "TSR_E_WRONG_STEP"},
        {TSR_E_COMM_NOT_INITIALIZED, "TSR_E_COMM_NOT_INITIALIZED"}};
    // clang-format on
    const auto found = names.find(code);
    return found != names.end() ? found->second : std::to_string(code);
}

// An object handed over as an interface it does not implement, as a careless host might.
template <class Interface>
Interface* disguisedAs(IDispatch& object) {
    return reinterpret_cast<Interface*>(&object);
}

struct ProxyObject : velcom::ComPtr<IvelTesseraProxy> {
    ProxyObject() {
        EXPECT_EQ(CvelTesseraProxy::create(nullptr, IID_IvelTesseraProxy, putVoid()), S_OK);
    }
    CvelTesseraProxy& object() const { return static_cast<CvelTesseraProxy&>(*get()); }
};

class ProxyTest : public ::testing::Test {
protected:
    void TearDown() override {
        proxy.reset();
        EXPECT_EQ(script.liveTransports, 0u) << "the proxy keeps no transport once released";
        EXPECT_EQ(moduleLockCount(), 0) << "every object of the component is gone";
        EXPECT_EQ(host.references, 1u) << "every reference to the host is given back";
        g_lTraceLevel = 7;
    }

    HRESULT init(const OLECHAR* tmpDir = u"/tmp/tessera", ProxyObject* object = nullptr) {
        const velcom::Bstr directory = tmpDir ? velcom::Bstr(tmpDir) : velcom::Bstr();
        return (object ? *object : proxy)->Init(&host, random, pki.get(), directory.get());
    }
    HRESULT initComm(const std::string& page = startPage(), ProxyObject* object = nullptr,
                     const VARIANT& headers = VARIANT{}) {
        if (!page.empty()) script.answers.push_back(page);
        return (object ? *object : proxy)
            ->InitComm(velcom::Bstr(u"https://ca.test/start").get(), headers);
    }

    void forgetCallbacks() { forgotten = host.count(); }
    std::vector<BackChannelCall> recent(const std::string& kind) const {
        std::vector<BackChannelCall> all = host.calls();
        all.erase(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(forgotten));
        std::erase_if(all, [&](const auto& call) { return !kind.empty() && call.kind != kind; });
        return all;
    }
    // Since forgetCallbacks(): traces "TSR velTesseraProxy(line): text\r\n" as "level line: text",
    // errors as "error CODE text1|text2[|text3]". No std::regex: GCC 12 warns falsely under -O1.
    Strings heard() const {
        static constexpr std::string_view prefix = "TSR velTesseraProxy(";
        Strings lines;
        for (const auto& call : recent("Trace")) {
            std::string line = toAnsi(call.text1);
            const std::size_t close = line.find("): ");
            if (line.starts_with(prefix) && line.ends_with("\r\n") && close != std::string::npos)
                line = line.substr(prefix.size(), close - prefix.size()) + ": " +
                       line.substr(close + 3, line.size() - close - 5);
            lines.push_back(std::to_string(call.code) + " " + line);
        }
        for (const auto& error : recent("Error"))
            lines.push_back(
                "error " + nameOf(error.code) +
                (error.text1IsNull ? "" : " " + toAnsi(error.text1) + "|" + toAnsi(error.text2)) +
                (error.text3.empty() ? "" : "|" + toAnsi(error.text3)));
        return lines;
    }
    // The result, then heard(); " reported" when the result was reported alone, without texts.
    Strings told(HRESULT result) const {
        Strings lines = joined({{nameOf(result)}, heard()});
        if (recent("Error").size() == 1 && lines.back() == "error " + lines[0]) {
            lines.pop_back();
            lines[0] += " reported";
        }
        return lines;
    }

    // Declared first: the proxy and the tracer release these on their way out.
    RecordingBackChannel host;
    TransportRegistration transport;
    TransportScript& script = *transport.script;
    velcom::ComPtr<RecordingPki> pki = make<RecordingPki>();
    CountedObject generator;  // the host's random generator, only handed on
    IvelRand* const random = disguisedAs<IvelRand>(generator);
    ProxyObject proxy;
    std::size_t forgotten = 0;
};

// A transcript: told(), requests "METHOD /path {options} fields", PKI calls "Method(arguments) file
// read", "asked", "decrypt <password>", then as far as set "step N", "id N" and the node handed
// out. $ is the temporary directory, <now> the call's time; "xy..." matches a line starting "xy".
struct Row {
    const char* name;
    std::function<HRESULT()> call;
    Pages pages;
    Strings transcript;
    std::function<void()> setup = {};
};

// A proxy with a temporary directory of its own, and the objects a host hands to operations.
class DirectoryTest : public ProxyTest {
protected:
    static constexpr LONG kUntouched = 77;

    void SetUp() override {
        std::string made = std::filesystem::temp_directory_path() / "tessera-XXXXXX";
        ASSERT_NE(::mkdtemp(made.data()), nullptr);
        directory = made;
    }
    void TearDown() override {
        std::filesystem::remove_all(directory);
        ProxyTest::TearDown();
    }
    // Requests and PKI calls since the counts given, as in a Row's transcript.
    Strings sentSince(std::size_t sent, std::size_t made, std::time_t from, std::time_t to) const {
        const std::string before = std::to_string(from), after = std::to_string(to);
        Strings lines;
        for (std::size_t index = sent; index < script.requests.size(); ++index) {
            const TransportRequest& request = script.requests[index];
            std::string text = request.method + " " + request.address.substr(15);
            if (!request.options.empty()) text += " {" + shortened(request.options) + "}";
            if (!request.fields.omitted()) text += " ";
            for (std::size_t at = 0; at < request.fields.items.size(); ++at)
                text += (at == 0 ? "" : at % 2 == 1 ? "=" : "&") + request.fields.items[at];
            lines.push_back(text);
        }
        for (std::size_t index = made; index < pki->calls().size(); ++index) {
            const PkiCall& call = pki->calls()[index];
            std::string text;
            for (const std::string& argument : call.arguments)
                text += "," + (argument.size() == 10 && argument >= before && argument <= after
                                   ? "<now>"
                                   : shortened(argument));
            lines.push_back(call.method + "(" + text.substr(std::min<std::size_t>(1, text.size())) +
                            ")" + (call.fileContent ? " " + *call.fileContent : ""));
        }
        return lines;
    }

    std::filesystem::path directory;
    velcom::ComPtr<TestCertificate> certificate = make<TestCertificate>();
    velcom::ComPtr<TestAuthenticator> authenticator = make<TestAuthenticator>();
    velcom::ComPtr<IvelNode> node;
    LONG certificateId = kUntouched;

    std::string shortened(std::string text) const {
        const std::string path = directory.string();
        for (std::size_t at = text.find(path); at != std::string::npos; at = text.find(path, at))
            text.replace(at, path.size(), "$");
        return text;
    }
};

// Operations from a proxy opened in its directory.
class OperationTest : public DirectoryTest {
protected:
    void SetUp() override {
        DirectoryTest::SetUp();
        ASSERT_EQ(init(directory.u16string().c_str()), S_OK);
        ASSERT_EQ(initComm(), S_OK);
    }
    std::filesystem::path dataFile() const { return directory / "data.pem"; }

    void expectRows(const std::vector<Row>& rows) {
        for (const Row& row : rows) {
            SCOPED_TRACE(row.name);
            // A second InitComm sends nothing and returns to step one; the fields stay.
            forgetCallbacks();
            ASSERT_EQ(told(initComm("")),
                      (Strings{"S_OK", "1 1248: communication already initialized"}));
            std::filesystem::remove(dataFile());
            pki->succeedAll();
            pki->key = make<TestKey>();
            pki->keyFound = true;
            pki->request = make<TestRequest>();
            certificate = make<TestCertificate>();
            authenticator = make<TestAuthenticator>();
            if (row.setup) row.setup();
            Strings actual = run(row);
            for (std::size_t at = 0; at < std::min(actual.size(), row.transcript.size()); ++at) {
                const std::string& line = row.transcript[at];
                if (line.ends_with("...") &&
                    actual[at].starts_with(line.substr(0, line.size() - 3)))
                    actual[at] = line;
            }
            EXPECT_EQ(actual, row.transcript);
        }
    }

    // The first page of an operation lost on its way or refused, each after what `before` tells.
    static std::vector<Row> firstPageFailures(const std::function<HRESULT()>& call,
                                              const Strings& before, int frameLine) {
        const std::string lost = "7 " + std::to_string(frameLine) + ": proxy refused";
        const Strings refused = {"3 349: Tessera error (5): unknown applicant",
                                 "error TSR_E_SERVER 5|unknown applicant"};
        return {{"transport fails", call, Pages{{"", E_ACCESSDENIED, "proxy refused"}},
                 joined({{"E_ACCESSDENIED reported"}, before, {lost}})},
                {"refused", call, Pages{refusalPage(5, "unknown applicant")},
                 joined({{"TSR_E_SERVER"}, before, refused})}};
    }

    Strings run(const Row& row) {
        const std::size_t sent = script.requests.size(), made = pki->calls().size();
        const std::optional<std::string> earlier = contentOf(dataFile());
        forgetCallbacks();
        script.answers.assign(row.pages.begin(), row.pages.end());
        certificateId = kUntouched;
        const std::time_t before = std::time(nullptr);
        const HRESULT result = row.call();
        const std::time_t after = std::time(nullptr);
        EXPECT_EQ(script.answers.size(), 0u) << "every page is asked for";

        const Strings told = this->told(result);
        Strings lines = joined({{told.front()}, sentSince(sent, made, before, after)});
        std::optional<std::string> read;
        for (std::size_t index = made; index < pki->calls().size(); ++index)
            if (pki->calls()[index].fileContent) read = pki->calls()[index].fileContent;
        lines.insert(lines.end(), authenticator->callCount("GetPassword"), "asked");
        for (const std::string& password : pki->key->decryptPasswords)
            lines.push_back("decrypt " + password);
        lines.insert(lines.end(), told.begin() + 1, told.end());
        if (proxy.object().step() != 1)
            lines.push_back("step " + std::to_string(proxy.object().step()));
        if (certificateId != kUntouched) lines.push_back("id " + std::to_string(certificateId));
        if (node) {
            velcom::Bstr name, text;
            LONG number = 0, children = 0;
            velcom::ComPtr<IvelNodeCollection> collection;
            EXPECT_EQ(node->get_Name(name.put()) | node->get_StringProp(text.put()) |
                          node->get_LongProp(&number) | node->get_SubNodes(collection.put()),
                      S_OK);
            if (collection) collection->get_Count(&children);
            lines.push_back("node " + toAnsi(name.get()) + "(" + std::to_string(number) + ", " +
                            toAnsi(text.get()) + ", " + std::to_string(children) + ")");
        }
        node.reset();

        // What the PKI component read stays in the file, for its owner alone, or the file is kept.
        EXPECT_EQ(contentOf(dataFile()), read ? read : earlier);
        if (read) {
            EXPECT_EQ(std::filesystem::status(dataFile()).permissions(),
                      std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        }
        // The operation keeps nothing of what it was handed or handed out.
        for (ULONG references :
             {pki->request->references(), pki->key->references(), certificate->references(),
              authenticator->references(), pki->loadedCertificates->references(),
              pki->loadedRevocationLists->references()})
            EXPECT_EQ(references, 1u);
        return lines;
    }
};
