// Reading and formatting a generated admins file of 100,000 entries.
#include "admins_text.h"

#include <reader.h>

#include <benchmark/benchmark.h>

namespace {

const std::string& largeFile()
{
    static const std::string text = bench::makeAdminsText(100'000, 1);
    return text;
}

void BM_Read100000Entries(benchmark::State& state)
{
    const std::string& text = largeFile();
    for (auto _ : state) {
        entry::ReadResult result = entry::read(text);
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Read100000Entries)->Unit(benchmark::kMillisecond);

void BM_Format100000Entries(benchmark::State& state)
{
    const std::string& text = largeFile();
    const entry::ReadResult result = entry::read(text);
    for (auto _ : state) {
        std::string formatted = entry::formatText(text, result);
        benchmark::DoNotOptimize(formatted);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Format100000Entries)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
