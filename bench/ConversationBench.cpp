// A whole application for a certificate on loopback against tessera-ca, kept off the client's core
// as an authority on another machine would be: start page, application form, submission with a new
// key, the certificate, stored. The component (proxy, real transport and PKI component, created
// through the registry as a host does) against a hand-written libcurl + OpenSSL client asking for
// the same pages with the same fields, taken in turns so that both meet the same machine (the
// client's files written only, or flushed to disk as the store's commits are); and the component's
// own CPU time, which is the same conversation run against in-process doubles that hand it the
// authority's recorded pages. Goals: component / hand ≤ 1.15 in processor time for EC P-256, and
// own CPU ≤ 0.1 ms per application.
#include <stdlib.h>
#include <time.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <stdexcept>

#include <velPKI/velPKI.h>

#include "BenchPki.h"
#include "BenchTransport.h"
#include "HandWrittenClient.h"
#include "Installation.h"
#include "KeyKindPki.h"
#include "LocalAuthority.h"
#include "QuietHost.h"
#include "SeparateCores.h"
#include "TemporaryDirectory.h"

namespace {

constexpr const char16_t* kKeyPassword = u"key secret";

// A private registry with the three modules, and one applicant of a tessera-ca that issues at
// once; set up once for the program.
struct Enrollment {
    Enrollment() {
        setenv("VELCOM_REGISTRY", (work.path() + "/registry.reg").c_str(), 1);
        setenv("no_proxy", "127.0.0.1", 1);
        for (const std::string& module : installation.modules)
            if (runProgram({installation.velregsvr, "-s", module}, StandardError::Shown).status !=
                0)
                throw std::runtime_error("cannot register " + module);
        authority.init();
        startServerOnCoresApart([this] { authority.serve(false); });
        applicant = authority.addApplicant("Bench", "Runner", "bench@example.org");
        start = authority.startAddress(applicant);
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    }

    TemporaryDirectory work{"tessera-bench"};
    Installation installation = findInstallation();
    LocalAuthority authority{installation.authority, work.path() + "/authority", false};
    Applicant applicant;
    std::string start;
};

Enrollment& enrollment() {
    static Enrollment instance;
    return instance;
}

void check(HRESULT result, const char* what) {
    if (FAILED(result)) throw std::runtime_error(std::string(what) + " failed");
}

template <typename Interface>
velcom::ComPtr<Interface> createByProgId(const char16_t* progId) {
    CLSID clsid{};
    velcom::ComPtr<Interface> object;
    check(CLSIDFromProgID(progId, &clsid), "CLSIDFromProgID");
    check(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, velcom::uuidOf<Interface>(),
                           object.putVoid()),
          "CoCreateInstance");
    return object;
}

// What a host hands the proxy in an application, as texts it made once.
struct HostTexts {
    HostTexts(const std::string& startAddress, const std::string& passwordText,
              const std::string& directoryPath)
        : start(toBstr(startAddress)),
          password(toBstr(passwordText)),
          directory(toBstr(directoryPath)) {}
    velcom::Bstr start, password, directory, keyPassword{kKeyPassword};
};

// A fresh proxy for each application, as a host that applies once per run makes it.
void applyThroughProxy(ISMPrivateKeyInfrastructure* pki, IvelBackChannel* host,
                       const HostTexts& texts) {
    const auto proxy = createByProgId<IvelTesseraProxy>(u"velTesseraComm2.velTesseraProxy");
    check(proxy->Init(host, nullptr, pki, texts.directory.get()), "Init");
    check(proxy->InitComm(texts.start.get(), VARIANT{}), "InitComm");
    velcom::ComPtr<IvelNode> form;
    check(proxy->RequestStep1(form.put()), "RequestStep1");
    LONG certificate = 0;
    check(proxy->RequestStep2(texts.password.get(), texts.keyPassword.get(), 1, 1, &certificate),
          "RequestStep2");
}

// The real component's side: its PKI object on a store of the program's own.
class ComponentSide {
public:
    explicit ComponentSide(KeyKind kind) {
        Enrollment& setting = enrollment();
        auto real = createByProgId<ISMPrivateKeyInfrastructure>(u"velTesseraComm2.velPKI");
        velcom::ComPtr<IvelPKIStore> store;
        check(real.as(store), "IvelPKIStore");
        check(store->Open(toBstr(setting.work.path() + "/store.db").get()), "Open");
        m_pki = velcom::ComPtr<ISMPrivateKeyInfrastructure>(new KeyKindPki(std::move(real), kind));
    }
    void apply() { applyThroughProxy(m_pki.get(), &m_host, m_texts); }

private:
    QuietBackChannel m_host;
    TemporaryDirectory m_directory{"tessera-bench-proxy"};
    HostTexts m_texts{enrollment().start, enrollment().applicant.password, m_directory.path()};
    velcom::ComPtr<ISMPrivateKeyInfrastructure> m_pki;
};

using Clock = std::chrono::steady_clock;

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Wall and thread CPU time of one call.
struct Spent {
    double wall = 0, cpu = 0;
    template <class Work>
    void add(Work&& work) {
        const Clock::time_point began = Clock::now();
        const double cpuBefore = threadCpuSeconds();
        work();
        cpu += threadCpuSeconds() - cpuBefore;
        wall += std::chrono::duration<double>(Clock::now() - began).count();
    }
};

KeyKind kindOf(const benchmark::State& state) { return static_cast<KeyKind>(state.range(0)); }

void setKindLabel(benchmark::State& state, const std::string& more = "") {
    state.SetLabel((kindOf(state) == KeyKind::EcP256 ? "EC P-256" : "RSA-2048") + more);
}

void ComponentAgainstHandWritten(benchmark::State& state) {
    const KeyKind kind = kindOf(state);
    ComponentSide component(kind);
    TemporaryDirectory files("tessera-bench-hand");
    const bool flush = state.range(1) != 0;
    HandWrittenClient hand(enrollment().start, enrollment().applicant.password, files.path(),
                           flush);
    Spent componentSpent, handSpent;
    bool componentFirst = true;
    for (auto _ : state) {
        if (componentFirst) componentSpent.add([&] { component.apply(); });
        handSpent.add([&] { hand.apply(kind); });
        if (!componentFirst) componentSpent.add([&] { component.apply(); });
        componentFirst = !componentFirst;
    }
    const auto perApplication = benchmark::Counter::kAvgIterations;
    state.counters["component_ms"] = benchmark::Counter(componentSpent.wall * 1e3, perApplication);
    state.counters["hand_ms"] = benchmark::Counter(handSpent.wall * 1e3, perApplication);
    state.counters["ratio"] = componentSpent.wall / handSpent.wall;
    state.counters["cpu_ratio"] = componentSpent.cpu / handSpent.cpu;
    setKindLabel(state, flush ? ", hand-written files flushed" : "");
}

// The conversation against doubles: the pages come from memory and the PKI hands out one request
// and takes the certificate unread, so that what the thread spends is the proxy's, the markup's
// and the runtime's own work. The temporary directory is the host's and outlives an application,
// as the real side's does: the certificate file the proxy writes replaces the last one's.
class DoubledSide {
public:
    DoubledSide(const std::vector<std::string>& pages, KeyKind kind, const std::string& directory)
        : m_pki(make<BenchPki>(spkacSize(kind))),
          m_texts(enrollment().start, "password", directory) {
        m_transport.answerInTurn(pages);
    }
    void apply() { applyThroughProxy(m_pki.get(), &m_host, m_texts); }

private:
    // Of a real SPKAC in Base64, with a challenge of twenty characters.
    static std::size_t spkacSize(KeyKind kind) { return kind == KeyKind::EcP256 ? 272 : 800; }

    BenchTransportRegistration m_transport;
    velcom::ComPtr<BenchPki> m_pki;
    HostTexts m_texts;
    QuietBackChannel m_host;
};

void ComponentOwnCpuShare(benchmark::State& state) {
    const KeyKind kind = kindOf(state);
    ComponentSide component(kind);
    TemporaryDirectory files("tessera-bench-pages");
    const std::vector<std::string> pages =
        HandWrittenClient(enrollment().start, enrollment().applicant.password, files.path(), false)
            .apply(kind);
    const TemporaryDirectory doubledFiles("tessera-bench-doubled");
    Spent whole, own;
    for (auto _ : state) {
        whole.add([&] { component.apply(); });
        DoubledSide doubled(pages, kind, doubledFiles.path());
        own.add([&] { doubled.apply(); });
    }
    const auto perApplication = benchmark::Counter::kAvgIterations;
    state.counters["conversation_cpu_ms"] = benchmark::Counter(whole.cpu * 1e3, perApplication);
    state.counters["conversation_ms"] = benchmark::Counter(whole.wall * 1e3, perApplication);
    state.counters["own_cpu_us"] = benchmark::Counter(own.cpu * 1e6, perApplication);
    state.counters["own_share_pct"] = 100 * own.cpu / whole.cpu;
    setKindLabel(state);
}

// The component's own work alone, application after application: the figure to profile.
void ComponentOwnCpu(benchmark::State& state) {
    const KeyKind kind = kindOf(state);
    TemporaryDirectory files("tessera-bench-pages");
    const std::vector<std::string> pages =
        HandWrittenClient(enrollment().start, enrollment().applicant.password, files.path(), false)
            .apply(kind);
    const TemporaryDirectory doubledFiles("tessera-bench-doubled");
    double cpu = 0;
    for (auto _ : state) {
        DoubledSide doubled(pages, kind, doubledFiles.path());
        const double before = threadCpuSeconds();
        doubled.apply();
        cpu += threadCpuSeconds() - before;
    }
    state.counters["own_cpu_us"] =
        benchmark::Counter(cpu * 1e6, benchmark::Counter::kAvgIterations);
    setKindLabel(state);
}

constexpr int kRsa = static_cast<int>(KeyKind::Rsa2048), kEc = static_cast<int>(KeyKind::EcP256);

// The second argument: whether the hand-written client flushes its files to disk.
BENCHMARK(ComponentAgainstHandWritten)
    ->Args({kEc, 0})
    ->Args({kEc, 1})
    ->Iterations(200)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(ComponentAgainstHandWritten)
    ->Args({kRsa, 0})
    ->Iterations(60)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(ComponentOwnCpuShare)->Arg(kEc)->Iterations(200)->Unit(benchmark::kMillisecond);
BENCHMARK(ComponentOwnCpuShare)->Arg(kRsa)->Iterations(30)->Unit(benchmark::kMillisecond);
BENCHMARK(ComponentOwnCpu)->Arg(kEc)->Iterations(2000)->Unit(benchmark::kMicrosecond);

}  // namespace
