// The utility operations that sit on hot paths: keyword comparisons run for every markup line,
// bounded formatting for every trace, and the tracer lock for every report that creates or
// releases the tracer.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "Utility/ExceptionBase.h"
#include "Utility/Format.h"
#include "Utility/NoCase.h"
#include "Utility/Thread.h"

namespace {

void BM_EqualsNoCaseKeyword(benchmark::State& state) {
    const std::string a = "ReturnStatus";
    const std::string b = "RETURNSTATUS";
    for (auto _ : state) benchmark::DoNotOptimize(equalsNoCase(a, b));
}
BENCHMARK(BM_EqualsNoCaseKeyword);

void BM_LessNoCaseLongCommonPrefix(benchmark::State& state) {
    const std::string a(static_cast<std::size_t>(state.range(0)), 'k');
    const std::string b = a + "x";
    for (auto _ : state) benchmark::DoNotOptimize(lessNoCase(a, b));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LessNoCaseLongCommonPrefix)->Arg(16)->Arg(1024);

void BM_FormatBoundedTraceLine(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(
            formatBoundedText("TSR %s(%d): %s", "velTesseraProxy", 1243, "not initialized"));
}
BENCHMARK(BM_FormatBoundedTraceLine);

void BM_ExceptionConstruction(benchmark::State& state) {
    for (auto _ : state) {
        const ExceptionBase error("Utility/Thread", 42, 5, "%s", "Mutex::lock");
        benchmark::DoNotOptimize(error.what());
    }
}
BENCHMARK(BM_ExceptionConstruction);

template <class Lock>
void BM_ScopedLockUncontended(benchmark::State& state) {
    const SyncObjPtr handle(std::make_unique<Lock>());
    for (auto _ : state) {
        const ScopedLock held(handle);
        benchmark::ClobberMemory();
    }
}
BENCHMARK_TEMPLATE(BM_ScopedLockUncontended, Mutex);
BENCHMARK_TEMPLATE(BM_ScopedLockUncontended, CritSection);

}  // namespace
