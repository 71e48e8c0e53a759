// Each call of an operation told as a transcript of all that a host, the server and the PKI
// component could notice of it, from a proxy opened in a temporary directory of its own.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <map>

#include "proxy/ProxyTest.h"

inline constexpr char kRequestText[] = "MIIBREQ==";
inline constexpr char kNoAction[] = "3 353: no action node in Tessera response";

inline std::string nameOf(HRESULT code) {
    // clang-format off
    static const std::map<HRESULT, std::string> names = {
        {S_OK, "S_OK"}, {E_INVALIDARG, "E_INVALIDARG"}, {E_POINTER, "E_POINTER"}, {E_FAIL, "E_FAIL"},
        {E_ABORT, "E_ABORT"}, {E_ACCESSDENIED, "E_ACCESSDENIED"}, {E_UNEXPECTED, "E_UNEXPECTED"},
        {E_OUTOFMEMORY, "E_OUTOFMEMORY"}, {TSR_E_RESPONSE, "TSR_E_RESPONSE"},
        {TSR_E_SERVER, "TSR_E_SERVER"}, {TSR_E_PICKUP, "TSR_E_PICKUP"}, {TSR_E_SERIAL, "TSR_E_SERIAL"}};
    // clang-format on
    const auto found = names.find(code);
    return found != names.end() ? found->second : std::to_string(code);
}

inline std::string missing(int line, const std::string& name) {
    return "3 " + std::to_string(line) + ": parameter " + name + " not found in response";
}
inline std::string fieldsOf(const Params& params) {
    std::string text;
    for (const Param& param : params)
        text += (text.empty() ? "" : "&") + param.name + "=" + param.value.value_or("");
    return text;
}
inline std::string pem(const std::string& label, const std::string& body) {
    return "-----BEGIN " + label + "-----\r\n" + body + "\r\n-----END " + label + "-----\r\n";
}
inline Strings joined(std::initializer_list<Strings> pieces) {
    Strings lines;
    for (const Strings& piece : pieces) lines.insert(lines.end(), piece.begin(), piece.end());
    return lines;
}

using Pages = std::vector<TransportAnswer>;

// A transcript: the result (" reported" when reported alone, without texts), requests
// "METHOD /path {options} fields", PKI calls "Method(arguments) file read", "asked" and "decrypt
// <password>", traces "level line: text", other errors "error CODE text1|text2", then "step N",
// "id N" and the node handed out, as far as they are set. $ is the temporary directory, <now> the
// time of the call; a line ending in "..." matches any line that starts alike.
struct Row {
    const char* name;
    std::function<HRESULT()> call;
    Pages pages;
    Strings transcript;
    std::function<void()> setup = {};
};

class OperationTest : public ProxyTest {
protected:
    static constexpr LONG kUntouched = 77;

    void SetUp() override {
        std::string made = std::filesystem::temp_directory_path() / "tessera-XXXXXX";
        ASSERT_NE(::mkdtemp(made.data()), nullptr);
        directory = made;
        pki->certificateId = 42;
        ASSERT_EQ(init(directory.u16string().c_str()), S_OK);
        ASSERT_EQ(initComm(), S_OK);
    }
    void TearDown() override {
        std::filesystem::remove_all(directory);
        ProxyTest::TearDown();
    }
    std::filesystem::path dataFile() const { return directory / "data.pem"; }
    std::optional<std::string> dataContent() const {
        std::ifstream file(dataFile(), std::ios::binary);
        return file ? std::optional(std::string(std::istreambuf_iterator<char>(file), {}))
                    : std::nullopt;
    }

    void expectRows(const std::vector<Row>& rows) {
        for (const Row& row : rows) {
            SCOPED_TRACE(row.name);
            // A second InitComm sends nothing and returns to step one; the fields stay.
            forgetCallbacks();
            ASSERT_EQ(proxy->InitComm(velcom::Bstr(u"https://ca.test/start").get(), VARIANT{}),
                      S_OK);
            ASSERT_EQ(traces(), Strings{"TSR velTesseraProxy(1248): communication already "
                                        "initialized\r\n"});
            std::filesystem::remove(dataFile());
            if (row.setup) row.setup();
            const Strings actual = run(row.pages, row.call);
            if (!matches(row.transcript, actual))
                ADD_FAILURE() << "expected: " << ::testing::PrintToString(row.transcript)
                              << "\n  actual: " << ::testing::PrintToString(actual);
            pki->succeedAll();
            pki->key = make<TestKey>();
            pki->keyFound = true;
            pki->request = make<TestRequest>();
            certificate = make<TestCertificate>();
            authenticator = make<TestAuthenticator>();
        }
    }

    // The first page of an operation lost on its way or refused, each after what `before` tells.
    static std::vector<Row> firstPageFailures(const std::function<HRESULT()>& call,
                                              const Strings& before, int frameLine) {
        const std::string lost = "7 " + std::to_string(frameLine) + ": proxy refused";
        return {{"transport fails", call,
                 Pages{TransportAnswer::failure(E_ACCESSDENIED, "proxy refused")},
                 joined({{"E_ACCESSDENIED reported"}, before, {lost}})},
                {"refused", call, Pages{refusalPage(5, "unknown applicant")},
                 joined({{"TSR_E_SERVER"},
                         before,
                         {"3 349: Tessera error (5): unknown applicant",
                          "error TSR_E_SERVER 5|unknown applicant"}})}};
    }

    Strings run(const Pages& pages, const std::function<HRESULT()>& call) {
        const std::size_t sent = script.requests().size(), made = pki->calls().size(),
                          decrypted = pki->key->decryptPasswords.size();
        const unsigned asked = authenticator->callCount("GetPassword");
        const std::optional<std::string> earlier = dataContent();
        forgetCallbacks();
        for (const TransportAnswer& page : pages) script.queue(page);
        certificateId = kUntouched;
        const std::time_t before = std::time(nullptr);
        Strings lines{nameOf(call())};
        const std::time_t after = std::time(nullptr);
        EXPECT_EQ(script.pendingAnswers(), 0u) << "every page is asked for";

        for (std::size_t index = sent; index < script.requests().size(); ++index)
            lines.push_back(describe(script.requests()[index]));
        std::optional<std::string> read;
        for (std::size_t index = made; index < pki->calls().size(); ++index) {
            const PkiCall& pkiCall = pki->calls()[index];
            lines.push_back(describe(pkiCall, before, after));
            if (pkiCall.fileContent) read = pkiCall.fileContent;
        }
        for (unsigned count = asked; count < authenticator->callCount("GetPassword"); ++count)
            lines.emplace_back("asked");
        for (std::size_t index = decrypted; index < pki->key->decryptPasswords.size(); ++index)
            lines.push_back("decrypt " + pki->key->decryptPasswords[index]);
        for (const std::string& trace : traces(true)) lines.push_back(shortTrace(trace));
        Strings errors;
        for (const auto& error : recent("Error"))
            errors.push_back(
                "error " + nameOf(error.code) +
                (error.text1IsNull ? "" : " " + toAnsi(error.text1) + "|" + toAnsi(error.text2)));
        if (errors == Strings{"error " + lines[0]})
            lines[0] += " reported";
        else
            lines.insert(lines.end(), errors.begin(), errors.end());
        if (proxy.object().step() != 1)
            lines.push_back("step " + std::to_string(proxy.object().step()));
        if (certificateId != kUntouched) lines.push_back("id " + std::to_string(certificateId));
        if (node) lines.push_back(describe(*node.get()));
        node.reset();

        // What the PKI component read stays in the file, for its owner alone; without a read the
        // file is as it was.
        EXPECT_EQ(dataContent(), read ? read : earlier);
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

    std::filesystem::path directory;
    velcom::ComPtr<TestCertificate> certificate = make<TestCertificate>();
    velcom::ComPtr<TestAuthenticator> authenticator = make<TestAuthenticator>();
    velcom::ComPtr<IvelNode> node;
    LONG certificateId = kUntouched;

private:
    static bool matches(const Strings& expected, const Strings& actual) {
        return std::equal(expected.begin(), expected.end(), actual.begin(), actual.end(),
                          [](const std::string& line, const std::string& got) {
                              const std::size_t open = line.find("...");
                              return open == std::string::npos
                                         ? got == line
                                         : got.starts_with(line.substr(0, open));
                          });
    }
    std::string shortened(std::string text) const {
        const std::string path = directory.string();
        for (std::size_t at = text.find(path); at != std::string::npos; at = text.find(path, at))
            text.replace(at, path.size(), "$");
        return text;
    }
    std::string describe(const TransportRequest& request) const {
        std::string text = request.method + " " + request.address.substr(15);
        if (!request.options.empty()) text += " {" + shortened(request.options) + "}";
        if (request.fields.omitted()) return text;
        text += " ";
        for (std::size_t index = 0; index < request.fields.items.size(); ++index)
            text += (index == 0 ? "" : index % 2 == 1 ? "=" : "&") + request.fields.items[index];
        return text;
    }
    std::string describe(const PkiCall& call, std::time_t before, std::time_t after) const {
        std::string text = call.method + "(";
        for (std::size_t index = 0; index < call.arguments.size(); ++index) {
            const std::string& argument = call.arguments[index];
            // Ten digits from the call's time span.
            const bool now = argument.size() == 10 && argument >= std::to_string(before) &&
                             argument <= std::to_string(after);
            text += (index == 0 ? "" : ",") + (now ? "<now>" : shortened(argument));
        }
        return text + ")" + (call.fileContent ? " " + *call.fileContent : "");
    }
    static std::string describe(IvelNode& node) {
        velcom::Bstr name, text;
        LONG number = 0, children = 0;
        velcom::ComPtr<IvelNodeCollection> collection;
        EXPECT_EQ(node.get_Name(name.put()) | node.get_StringProp(text.put()) |
                      node.get_LongProp(&number) | node.get_SubNodes(collection.put()),
                  S_OK);
        if (collection) collection->get_Count(&children);
        return "node " + toAnsi(name.get()) + "(" + std::to_string(number) + ", " +
               toAnsi(text.get()) + ", " + std::to_string(children) + ")";
    }
    // "level TSR velTesseraProxy(line): text\r\n" as "level line: text".
    static std::string shortTrace(std::string trace) {
        const std::size_t head = trace.find(" TSR velTesseraProxy("), close = trace.find("): ");
        if (head == trace.find(' ') && close != std::string::npos && trace.ends_with("\r\n"))
            trace = trace.substr(0, head) + " " + trace.substr(head + 21, close - head - 21) +
                    ": " + trace.substr(close + 3, trace.size() - close - 5);
        return trace;
    }
};
