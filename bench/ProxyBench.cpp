// One exchange of the proxy, as the operations make it: the page collected from the transport's
// Data chunks, parsed, and its Return node checked. The parse of the same page alone is the
// floor. Goals: a typical answer under 20 µs; a page of 64 MiB in chunks of 64 KiB within 1.5
// times its parse alone, and at most three times the page in heap.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "AnswerPages.h"
#include "BenchTransport.h"
#include "HeapCounter.h"
#include "markup/mtGParser.h"
#include "proxy/velTesseraProxy.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kLargePageSize = std::size_t{64} << 20;
constexpr std::size_t kChunkSize = std::size_t{64} << 10;

const LargePemPage& largePage() {
    static const LargePemPage page = makeLargePemPage(kLargePageSize);
    return page;
}

// A PKI component that is none: Init accepts it, and nothing here needs one.
class NoPki final : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
};

// A proxy past Init and InitComm, untraced, whose transport answers with `page`.
class OpenProxy {
public:
    explicit OpenProxy(const std::string& page, std::size_t chunkSize) {
        g_lTraceLevel = 0;
        if (!m_transport.registered() ||
            FAILED(CvelTesseraProxy::create(nullptr, IID_IvelTesseraProxy, m_proxy.putVoid())))
            return;
        m_transport.answerWith("<!-- !!!\nReturn\nCreateCertficate=https://ca.test/create\n-->",
                               kChunkSize);
        if (FAILED(m_proxy->Init(nullptr, nullptr,
                                 reinterpret_cast<ISMPrivateKeyInfrastructure*>(&m_pki),
                                 nullptr)) ||
            FAILED(m_proxy->InitComm(nullptr, VARIANT{})))
            m_proxy.reset();
        m_transport.answerWith(page, chunkSize);
    }
    ~OpenProxy() {
        m_proxy.reset();
        g_lTraceLevel = 7;
    }

    bool ready() const { return static_cast<bool>(m_proxy); }
    // One exchange and the check of its answer; true when the answer is the page's.
    bool exchange() {
        CvelTesseraProxy& proxy = static_cast<CvelTesseraProxy&>(*m_proxy.get());
        ReturnNode* answer = nullptr;
        ActionNode* action = nullptr;
        return proxy.exchange("https://ca.test/create", false, "") == S_OK &&
               proxy.checkReturn(&answer, &action) == S_OK;
    }

private:
    NoPki m_pki;
    BenchTransportRegistration m_transport;
    velcom::ComPtr<IvelTesseraProxy> m_proxy;
};

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void BM_ExchangeTypicalPage(benchmark::State& state) {
    OpenProxy proxy(typicalPage().text, typicalPage().text.size());
    if (!proxy.ready() || !proxy.exchange()) return state.SkipWithError("no usable exchange");
    for (auto _ : state) benchmark::DoNotOptimize(proxy.exchange());
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(typicalPage().text.size()));
}
BENCHMARK(BM_ExchangeTypicalPage)->Unit(benchmark::kMicrosecond);

// Each iteration also parses the page alone, outside the measurement, so that the ratio compares
// runs made side by side.
void BM_ExchangeLargePage(benchmark::State& state) {
    const std::string& page = largePage().text;
    OpenProxy proxy(page, kChunkSize);
    if (!proxy.ready() || !proxy.exchange()) return state.SkipWithError("no usable exchange");
    double exchangeSeconds = 0;
    double parseSeconds = 0;
    std::size_t heapNeeded = 0;
    for (auto _ : state) {
        resetHeapPeak();
        const std::size_t before = heapBytesLive();
        const Clock::time_point start = Clock::now();
        benchmark::DoNotOptimize(proxy.exchange());
        exchangeSeconds += secondsSince(start);
        heapNeeded = std::max(heapNeeded, heapBytesPeak() - before);

        state.PauseTiming();
        const Clock::time_point parseStart = Clock::now();
        {
            mtGParser parser;
            benchmark::DoNotOptimize(parser.parse(page));
        }
        parseSeconds += secondsSince(parseStart);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.size()));
    state.counters["x_parse"] = exchangeSeconds / parseSeconds;
    state.counters["peak_per_page"] = static_cast<double>(heapNeeded) / page.size();
}
BENCHMARK(BM_ExchangeLargePage)->Unit(benchmark::kMillisecond);

}  // namespace
