// The answer markup on the pages it meets: a typical answer, and a page of 64 MiB carrying one PEM
// value, each without tracing and with the host's default mask into a host that drops the lines.
// A memchr pass over the same bytes is the floor. Goals: the large page untraced at 1 GB/s or
// more and within 20 times memchr; tracing at most 100 ns per continuation line; at most three
// times the page in heap while parsing; the typical page in at most 2 µs.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>

#include "AnswerPages.h"
#include "HeapCounter.h"
#include "QuietHost.h"
#include "markup/mtGNodes.h"
#include "markup/mtGParser.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kLargePageSize = std::size_t{64} << 20;

const LargePemPage& largePage() {
    static const LargePemPage page = makeLargePemPage(kLargePageSize);
    return page;
}

// A byte no page contains, so that memchr reads all of them.
const void* scanForAbsentByte(const std::string& page) {
    return std::memchr(page.data(), '\0', page.size());
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Parses with a parser of its own, as every answer of a conversation is parsed; the heap peak
// above what was live before is what parsing needed.
struct ParseRun {
    bool parsed = false;
    std::size_t heapNeeded = 0;
};
ParseRun parseOnce(const std::string& page) {
    resetHeapPeak();
    const std::size_t before = heapBytesLive();
    mtGParser parser;
    ParseRun run;
    run.parsed = parser.parse(page);
    benchmark::DoNotOptimize(parser.getNodes().data());
    run.heapNeeded = heapBytesPeak() - before;
    return run;
}

// The single Return node of a page with its parameters, or null when the parse found otherwise.
const ReturnNode* returnNodeOf(const mtGParser& parser) {
    const auto nodes = parser.getNodes();
    return nodes.size() == 1 ? dynamic_cast<const ReturnNode*>(nodes.front()) : nullptr;
}

bool typicalPageParsesRight() {
    mtGParser parser;
    if (!parser.parse(typicalPage().text)) return false;
    const ReturnNode* answer = returnNodeOf(parser);
    return answer != nullptr && answer->getChildren().size() == typicalPage().parameters;
}

bool largePageParsesRight() {
    mtGParser parser;
    if (!parser.parse(largePage().text)) return false;
    const ReturnNode* answer = returnNodeOf(parser);
    if (answer == nullptr || answer->getChildren().size() != 1) return false;
    const auto* value = dynamic_cast<const ParameterNode*>(answer->getChildren().front());
    return value != nullptr && value->value().size() == largePage().valueSize;
}

void BM_MemchrTypicalPage(benchmark::State& state) {
    const std::string& page = typicalPage().text;
    for (auto _ : state) benchmark::DoNotOptimize(scanForAbsentByte(page));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.size()));
}
BENCHMARK(BM_MemchrTypicalPage);

void BM_ParseTypicalPage(benchmark::State& state) {
    const TraceSetting tracing(static_cast<LONG>(state.range(0)));
    if (!tracing.ready()) return state.SkipWithError("no tracer");
    if (!typicalPageParsesRight()) return state.SkipWithError("the typical page parses wrongly");
    const std::string& page = typicalPage().text;
    // Counted once, outside the timed parses, which the counting would slow.
    const std::size_t heapNeeded = parseOnce(page).heapNeeded;
    setHeapCounting(false);
    for (auto _ : state) {
        mtGParser parser;
        benchmark::DoNotOptimize(parser.parse(page));
    }
    setHeapCounting(true);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.size()));
    state.counters["peak_per_page"] = static_cast<double>(heapNeeded) / page.size();
}
BENCHMARK(BM_ParseTypicalPage)->ArgName("mask")->Arg(0)->Arg(7)->Unit(benchmark::kMicrosecond);

void BM_MemchrLargePage(benchmark::State& state) {
    const std::string& page = largePage().text;
    for (auto _ : state) benchmark::DoNotOptimize(scanForAbsentByte(page));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.size()));
}
BENCHMARK(BM_MemchrLargePage)->Unit(benchmark::kMillisecond);

// Besides its own time, each iteration times a memchr pass and, when tracing, an untraced parse
// outside the measurement, so that the ratios below compare runs made side by side.
void BM_ParseLargePage(benchmark::State& state) {
    const auto mask = static_cast<LONG>(state.range(0));
    const TraceSetting tracing(mask);
    if (!tracing.ready()) return state.SkipWithError("no tracer");
    if (!largePageParsesRight()) return state.SkipWithError("the large page parses wrongly");
    const LargePemPage& page = largePage();
    double parseSeconds = 0;
    double memchrSeconds = 0;
    double untracedSeconds = 0;
    std::size_t heapNeeded = 0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        const ParseRun run = parseOnce(page.text);
        parseSeconds += secondsSince(start);
        heapNeeded = std::max(heapNeeded, run.heapNeeded);

        state.PauseTiming();
        const Clock::time_point scanStart = Clock::now();
        benchmark::DoNotOptimize(scanForAbsentByte(page.text));
        memchrSeconds += secondsSince(scanStart);
        if (mask != 0) {
            g_lTraceLevel = 0;
            const Clock::time_point untracedStart = Clock::now();
            parseOnce(page.text);
            untracedSeconds += secondsSince(untracedStart);
            g_lTraceLevel = mask;
        }
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.text.size()));
    state.counters["peak_per_page"] = static_cast<double>(heapNeeded) / page.text.size();
    state.counters["x_memchr"] = parseSeconds / memchrSeconds;
    if (mask != 0)
        state.counters["trace_ns_per_line"] =
            (parseSeconds - untracedSeconds) * 1e9 /
            (static_cast<double>(state.iterations()) * page.continuationLines);
}
BENCHMARK(BM_ParseLargePage)->ArgName("mask")->Arg(0)->Arg(7)->Unit(benchmark::kMillisecond);

}  // namespace
