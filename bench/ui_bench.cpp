// The time from a user's action in the window to the new entry in the result box.
#include <frm_main.h>

#include <QApplication>
#include <QPushButton>

#include <benchmark/benchmark.h>

namespace {

// One user tick through the tree's adapter, as a click on a check box gives it.
void BM_UserTickToEntryShown(benchmark::State& state)
{
    ui::frmMain window;
    window.show();
    QApplication::processEvents();
    auto* model = static_cast<ui::CommandTreeModel*>(window.treCommands->model());
    // A node in view at the top of the tree, with its two commands.
    const QModelIndex level = model->indexOf(window.permissions().tree.find("lvl2"));
    bool on = false;
    for (auto _ : state) {
        on = !on;
        model->setData(level, on ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
        QApplication::processEvents();
    }
}

void BM_CheckAllToEntryShown(benchmark::State& state)
{
    ui::frmMain window;
    window.show();
    QApplication::processEvents();
    for (auto _ : state) {
        window.cmdCheckAll->click();
        QApplication::processEvents();
        state.PauseTiming();
        window.cmdUncheckAll->click();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(BM_UserTickToEntryShown)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CheckAllToEntryShown)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
