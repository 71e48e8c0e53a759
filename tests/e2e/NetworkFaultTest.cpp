// The transport and tessera against tessera-ca through a proxy that breaks one exchange: each break
// fails on its own within the time limits, and a lost answer's application is picked up later.
#include <chrono>

#include <velTransport/TransportErrors.h>

#include "EndToEndFixture.h"
#include "Text.h"
#include "platform/registry/RegistryFixture.h"
#include "support/FaultProxy.h"
#include "support/RecordingBackChannel.h"

namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Matcher;
using Clock = std::chrono::steady_clock;

constexpr int kUnreachable = 5;

// The authority's port in an address replaced by the proxy's.
std::string throughProxy(const std::string& address, const FaultProxy& proxy,
                         const char* scheme = "http") {
    const std::size_t path = address.find('/', address.find("//") + 2);
    return std::string(scheme) + "://127.0.0.1:" + std::to_string(proxy.port()) +
           address.substr(path);
}

int portOf(const std::string& address) {
    return std::stoi(address.substr(address.rfind(':', address.find('/', 8)) + 1));
}

// A transport created by its ProgID in an apartment of the test's own.
struct Transport {
    Transport() {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (SUCCEEDED(createByProgId(u"velTesseraComm2.velTransport", m_transport)))
            m_transport->Init(&m_host, nullptr);
    }
    ~Transport() {
        m_transport.reset();
        CoFreeUnusedLibraries();
        CoUninitialize();
    }
    HRESULT get(const std::string& address) {
        if (!m_transport) return E_NOINTERFACE;
        VARIANT none{};
        none.vt = VT_ERROR, none.scode = DISP_E_PARAMNOTFOUND;
        return m_transport->Get(toBstr("").get(), toBstr(address).get(), none, none);
    }
    std::string page() const {
        std::string bytes;
        for (const BackChannelCall& call : m_host.calls()) bytes += call.dataBytes;
        return bytes;
    }
    static std::string errorText() {
        velcom::ComPtr<IErrorInfo> info;
        velcom::Bstr description;
        if (GetErrorInfo(0, info.put()) == S_OK) info->GetDescription(description.put());
        return toUtf8(description.get());
    }

    RecordingBackChannel m_host;
    velcom::ComPtr<IvelTransport> m_transport;
};

TEST_F(EndToEndTest, EachBreakOfTheConnectionEndsInItsOwnErrorWithinTheTimeLimits) {
    const std::string start = authority.startAddress(addApplicant("Ada"));
    Transport clean;
    ASSERT_EQ(clean.get(start), S_OK);
    const std::string page = clean.page();
    FaultProxy proxy(portOf(start));
    const ScopedEnvironment connectLimit("VELTRANSPORT_CONNECT_TIMEOUT", "500ms");
    constexpr DWORD kReset = ERROR_INTERNET_CONNECTION_RESET, kTimeout = ERROR_INTERNET_TIMEOUT,
                    kTls = ERROR_INTERNET_SECURITY_CHANNEL_ERROR,
                    kCut = ERROR_INTERNET_CONNECTION_ABORTED;
    using enum Fault;
    // limit: VELTRANSPORT_TIMEOUT; error 0: the whole page arrives; least, most: the time taken.
    const std::tuple<const char*, Fault, const char*, const char*, DWORD, Clock::duration,
                     Clock::duration>
        rows[] = {
            {"reset before the answer", ResetBeforeAnswer, "http", "1", kReset, 0ms, 900ms},
            {"reset during the answer", ResetDuringAnswer, "http", "1", kReset, 0ms, 900ms},
            {"truncated answer", TruncatedAnswer, "http", "1", kCut, 0ms, 900ms},
            {"stalled server", Stall, "http", "1", kTimeout, 950ms, 2900ms},
            {"slow drip", Drip, "http", "20", 0, 0ms, 19s},
            {"garbage for the server's hello", GarbageHandshake, "https", "1", kTls, 0ms, 900ms},
            {"reset for the server's hello", ResetHandshake, "https", "1", kTls, 0ms, 900ms},
            {"stalled handshake: the connect limit", Stall, "https", "3", kTimeout, 450ms, 2900ms},
        };
    for (const auto& [name, fault, scheme, timeLimit, error, least, most] : rows) {
        SCOPED_TRACE(name);
        const ScopedEnvironment limit("VELTRANSPORT_TIMEOUT", timeLimit);
        proxy.inject(fault);
        Transport transport;
        const Clock::time_point started = Clock::now();
        const HRESULT result = transport.get(throughProxy(start, proxy, scheme));
        const Clock::duration took = Clock::now() - started;
        const std::string text = Transport::errorText();
        EXPECT_EQ(result, error == 0 ? S_OK : HRESULT_FROM_WIN32(error)) << text;
        EXPECT_GE(took, least);
        EXPECT_LT(took, most);
        EXPECT_THAT(error == 0 ? transport.page() : text,
                    error == 0 ? Matcher<std::string>(page) : HasSubstr("127.0.0.1 port"));
    }
}

// The host's transport reaches the authority only through the proxy, its HTTP proxy.
TEST_F(EndToEndTest, AnApplicationWhoseAnswerWasLostStaysOpenAndIsPickedUpLater) {
    const std::string start = authority.startAddress(addApplicant("Eve"));
    FaultProxy proxy(portOf(start));
    const std::string proxyAddress = "http://127.0.0.1:" + std::to_string(proxy.port());
    const ScopedEnvironment viaProxy("http_proxy", proxyAddress.c_str());
    const ScopedEnvironment noneDirect("no_proxy", nullptr);
    proxy.inject(Fault::ResetBeforeAnswer, "/submit");
    runs("Eve", {"request", "--accept-terms"}, kUnreachable);
    EXPECT_THAT(runs("Eve", {"certs"}), HasSubstr("open requests: 1"));
    runs("Eve", {"pickup"});
    EXPECT_THAT(runs("Eve", {"certs"}),
                ::testing::AllOf(HasSubstr("certificates: 1"), HasSubstr("open requests: 0")));
}

}  // namespace
