// One exchange of the proxy, as the operations make it: the page collected from the transport's
// Data chunks, parsed, and its Return node checked. The parse of the same page alone is the
// floor. Goals: a typical answer under 20 µs; a page of 64 MiB in chunks of 64 KiB within 1.5
// times its parse alone, and at most three times the page in heap. And RequestStep1 on a fresh
// proxy answered with that page, its size announced or not, against one plain copy of the page
// into fresh memory: at most 1.5 times its time, and at most 1.25 times the page in memory.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <memory>

#include "AnswerPages.h"
#include "BenchTransport.h"
#include "HeapCounter.h"
#include "ResidentMemory.h"
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

// A proxy past Init and InitComm, untraced, over the benchmark's transport.
class OpenProxy {
public:
    OpenProxy() {
        g_lTraceLevel = 0;
        if (FAILED(CvelTesseraProxy::create(nullptr, IID_IvelTesseraProxy, m_proxy.putVoid())))
            return;
        if (FAILED(m_proxy->Init(nullptr, nullptr,
                                 reinterpret_cast<ISMPrivateKeyInfrastructure*>(&m_pki),
                                 nullptr)) ||
            FAILED(m_proxy->InitComm(nullptr, VARIANT{})))
            m_proxy.reset();
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
    IvelTesseraProxy& object() { return *m_proxy.get(); }

private:
    NoPki m_pki;
    velcom::ComPtr<IvelTesseraProxy> m_proxy;
};

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The processor time of this thread, page faults included: unlike the wall clock it does not
// count the time other programs on a busy machine take.
double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void BM_ExchangeTypicalPage(benchmark::State& state) {
    BenchTransportRegistration transport;
    transport.answerWith(typicalPage().text, typicalPage().text.size());
    OpenProxy proxy;
    if (!transport.registered() || !proxy.ready() || !proxy.exchange())
        return state.SkipWithError("no usable exchange");
    for (auto _ : state) benchmark::DoNotOptimize(proxy.exchange());
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(typicalPage().text.size()));
}
BENCHMARK(BM_ExchangeTypicalPage)->Unit(benchmark::kMicrosecond);

// Each iteration also parses the page alone, outside the measurement, so that the ratio compares
// runs made side by side.
void BM_ExchangeLargePage(benchmark::State& state) {
    const std::string& page = largePage().text;
    BenchTransportRegistration transport;
    transport.answerWith(page, kChunkSize);
    OpenProxy proxy;
    if (!transport.registered() || !proxy.ready() || !proxy.exchange())
        return state.SkipWithError("no usable exchange");
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

// The node RequestStep1 hands out carries the page's one parameter with the whole value.
bool holdsLargeValue(IvelNode& node) {
    velcom::ComPtr<IvelNodeCollection> children;
    velcom::ComPtr<IvelNode> value;
    LONG count = 0;
    BSTR text = nullptr;
    if (FAILED(node.get_SubNodes(children.put())) || FAILED(children->get_Count(&count)) ||
        count != 1 || FAILED(children->get_Item(1, value.put())) ||
        FAILED(value->get_StringProp(&text)))
        return false;
    const velcom::Bstr owned = velcom::Bstr::attach(text);
    return SysStringLen(text) == largePage().valueSize;
}

// RequestStep1 on a proxy fresh from Init and InitComm, answered with the 64 MiB page, until the
// host holds the answer's node; the transport announces the page's size, or, as for a chunked
// answer, does not. The floor is one plain copy of the page into fresh memory, made in the same
// iteration outside the measurement. The call's peak is the larger of its heap peak and the growth
// of resident memory (which sees the page buffer mapped outside the heap), against the page's size.
void BM_RequestStep1LargePage(benchmark::State& state) {
    const std::string& page = largePage().text;
    BenchTransportRegistration transport;
    transport.answerWith(page, kChunkSize, state.range(0) != 0);
    {
        OpenProxy proxy;
        velcom::ComPtr<IvelNode> node;
        if (!transport.registered() || !proxy.ready() ||
            FAILED(proxy.object().RequestStep1(node.put())) || !holdsLargeValue(*node.get()))
            return state.SkipWithError("RequestStep1 gives no usable node");
    }
    double stepSeconds = 0;
    double copySeconds = 0;
    std::size_t heapNeeded = 0;
    std::size_t residentNeeded = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto proxy = std::make_unique<OpenProxy>();
        velcom::ComPtr<IvelNode> node;
        resetHeapPeak();
        const std::size_t before = heapBytesLive();
        if (!resetResidentPeak()) return state.SkipWithError("no resident peak to reset");
        const std::size_t residentBefore = residentBytes();
        state.ResumeTiming();

        const double start = threadSeconds();
        benchmark::DoNotOptimize(proxy->object().RequestStep1(node.put()));
        stepSeconds += threadSeconds() - start;

        state.PauseTiming();
        heapNeeded = std::max(heapNeeded, heapBytesPeak() - before);
        residentNeeded = std::max(residentNeeded, residentBytesPeak() - residentBefore);
        node.reset();
        proxy.reset();
        const double copyStart = threadSeconds();
        {
            const std::string copy(page);
            benchmark::DoNotOptimize(copy.data());
        }
        copySeconds += threadSeconds() - copyStart;
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.size()));
    state.counters["x_copy"] = stepSeconds / copySeconds;
    const std::size_t peak = std::max(heapNeeded, residentNeeded);
    state.counters["peak_per_page"] = static_cast<double>(peak) / page.size();
    state.counters["peak_bytes"] = static_cast<double>(peak);
    state.counters["heap_per_page"] = static_cast<double>(heapNeeded) / page.size();
    state.counters["copy_ms"] = copySeconds * 1e3 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_RequestStep1LargePage)
    ->ArgName("announced")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond);

}  // namespace
