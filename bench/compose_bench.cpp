// The composer, each case against a baseline in the same iterations: the same entry's lines appended to a reserved
// string, which is the least that writing the entry costs.
#include "alternate.h"

#include <bulk_selection.h>
#include <catalogue.h>
#include <composer.h>
#include <permissions.h>
#include <user_type.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

const entry::EntryInputs kInputs{entry::UserType::SteamID, "STEAM_0:1:12345", 1, "secret"};
constexpr int kBatch = 64;
constexpr int kIterations = 4000; // about a quarter of a second of composing in each repetition

void run(benchmark::State& state, const model::Permissions& p)
{
    // The baseline writes the lines of the very entry that the composer writes.
    const std::string entry = entry::composeEntry(p.colLevels, p.colCommands, kInputs);
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start < entry.size();) {
        const std::size_t end = entry.find('\n', start);
        const std::size_t next = end == std::string::npos ? entry.size() : end + 1;
        lines.push_back(std::string_view(entry).substr(start, next - start));
        start = next;
    }
    bench::alternate(
        state, kBatch,
        [&] {
            std::string text;
            text.reserve(entry.size());
            for (std::string_view line : lines)
                text.append(line);
            benchmark::DoNotOptimize(text);
        },
        [&] { benchmark::DoNotOptimize(entry::composeEntry(p.colLevels, p.colCommands, kInputs)); });
}

void BM_ComposeStartup(benchmark::State& state)
{
    model::Permissions p;
    model::loadCatalogue(p);
    run(state, p);
}

void BM_ComposeCheckAll(benchmark::State& state)
{
    model::Permissions p;
    model::loadCatalogue(p);
    model::checkAll(p);
    run(state, p);
}

// Every other non-default command of every level ticked: the most command lines.
void BM_ComposeWorstCase(benchmark::State& state)
{
    model::Permissions p;
    model::loadCatalogue(p);
    bool tick = true;
    for (model::Node* c : p.colCommands) {
        if (!c->facts().defaultOn) {
            c->setChecked(tick);
            tick = !tick;
        }
    }
    run(state, p);
}

} // namespace

BENCHMARK(BM_ComposeStartup)->UseManualTime()->Iterations(kIterations)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ComposeCheckAll)->UseManualTime()->Iterations(kIterations)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ComposeWorstCase)->UseManualTime()->Iterations(kIterations)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
