#include <bulk_selection.h>
#include <catalogue.h>
#include <composer.h>

#include <benchmark/benchmark.h>

namespace {

const entry::EntryInputs kInputs{"SteamID:", "STEAM_0:1:12345", entry::UserType::SteamID, 1, "secret"};

void run(benchmark::State& state, const model::Permissions& p)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(entry::composeEntry(p.colLevels, p.colCommands, kInputs));
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
        if (c->Tag()[0] == '0') {
            c->setChecked(tick);
            tick = !tick;
        }
    }
    run(state, p);
}

} // namespace

BENCHMARK(BM_ComposeStartup);
BENCHMARK(BM_ComposeCheckAll);
BENCHMARK(BM_ComposeWorstCase);
BENCHMARK_MAIN();
