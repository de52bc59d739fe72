// The window with an admins file of 10,000 entries open, each case against a baseline in the same iterations:
// opening and listing it against reading the same file with the reader alone; a tick while it is open against the
// same tick in a window without a file; Save against writing the same bytes with the store's writer alone. Choosing
// an entry is timed against the tick without a file, which is what the window does after every change. A save that
// replays 100 of the window's edits over a file another writer changed in 100 other entries is timed against
// writing its result with the store's writer alone.
#include "admins_text.h"
#include "alternate.h"

#include <file_io.h>
#include <file_panel.h>
#include <file_session.h>
#include <frm_main.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTreeView>

#include <fstream>
#include <memory>
#include <set>

namespace {

constexpr std::size_t kEntries = 10'000;

// The generated file, or, for a file the window can save, one whose identities each stand once: the first 10,000
// distinct ones of a longer generated file.
struct Setting {
    QTemporaryDir dir;
    std::string path = dir.filePath("KZ_admins.txt").toStdString();
    explicit Setting(bool distinct = false)
    {
        std::string text = bench::makeAdminsText(distinct ? 2 * kEntries : kEntries, 1);
        if (distinct) {
            std::string kept;
            std::set<std::pair<entry::UserType, std::string_view>> seen;
            for (const entry::Block& b : entry::read(text).blocks)
                if (seen.size() < kEntries && seen.emplace(b.type, b.identity).second)
                    kept.append(text, b.begin, b.end - b.begin).append("\n");
            text = std::move(kept);
        }
        std::ofstream(path, std::ios::binary) << text;
    }
};

// The window with its file session.
struct Shown {
    ui::frmMain w;
    ui::FileSession* files = new ui::FileSession(&w);
    ui::frmMain* operator->() { return &w; }
    ui::frmMain& operator*() { return w; }
    void open(const std::string& path)
    {
        files->open(QString::fromStdString(path));
        QApplication::processEvents();
    }
    std::string text() const { return files->document()->text(); }
};

std::unique_ptr<Shown> shownWindow()
{
    auto w = std::make_unique<Shown>();
    w->w.show();
    QApplication::processEvents();
    return w;
}

// A user's tick of the level-2 node, on and off in turn, to the rows and the entry painted.
struct Tick {
    ui::frmMain& w;
    bool on = false;
    void operator()()
    {
        auto* model = static_cast<ui::CommandTreeModel*>(w.treCommands->model());
        on = !on;
        model->setData(model->indexOf(w.permissions().tree.find("lvl2")), on ? Qt::Checked : Qt::Unchecked,
                       Qt::CheckStateRole);
        QApplication::processEvents();
    }
};

// Chooses an entry in the middle of the list, as a click does, to its ticks and entry painted.
void choose(Shown& w, int row)
{
    QTreeView* list = w.files->panel()->lstEntries;
    list->setCurrentIndex(list->model()->index(row, 0));
    QApplication::processEvents();
}

void BM_OpenAndList10000Entries(benchmark::State& state)
{
    const Setting s;
    const auto w = shownWindow();
    const QString path = QString::fromStdString(s.path);
    bench::alternate(
        state, 1,
        [&] {
            std::string error;
            const std::optional<std::string> text = store::readInput(s.path, error);
            benchmark::DoNotOptimize(entry::read(*text));
        },
        [&] { w->open(s.path); }, bench::NoReset(), [&] { w->files->close(); });
}

void BM_ChooseEntryOf10000(benchmark::State& state)
{
    const Setting s;
    const auto w = shownWindow(), bare = shownWindow();
    w->open(s.path);
    int row = kEntries / 2;
    Tick tick{bare->w};
    bench::alternate(state, 1, tick, [&] { choose(*w, row += row % 2 == 0 ? 1 : -1); });
}

void BM_TickWith10000EntriesOpen(benchmark::State& state)
{
    const Setting s;
    const auto w = shownWindow(), bare = shownWindow();
    w->open(s.path);
    choose(*w, kEntries / 2);
    Tick withFile{w->w}, without{bare->w};
    bench::alternate(state, 1, without, withFile);
}

void BM_Save10000Entries(benchmark::State& state)
{
    const Setting s(true);
    const auto w = shownWindow();
    w->open(s.path);
    choose(*w, kEntries / 2);
    Tick tick{w->w};
    const QTemporaryDir other;
    const std::string copy = other.filePath("KZ_admins.txt").toStdString();
    std::ofstream(copy, std::ios::binary) << w->text();
    std::string texts[2];
    for (std::string& text : texts)
        text = (tick(), w->text());
    int turn = 0;
    bench::alternate(
        state, 1,
        [&] {
            std::string error;
            store::changeFile(
                copy, {}, [&](std::string_view) { return texts[turn++ % 2]; }, error);
        },
        [&] { w->files->save(); }, bench::NoReset(), tick);
}

// 100 entries changed in the window and 100 others by another writer since the file was opened: Save replays the
// window's edits onto the disk's text.
void BM_MergedSave10000Entries(benchmark::State& state)
{
    const Setting s(true);
    std::string read;
    {
        std::ifstream in(s.path, std::ios::binary);
        read.assign(std::istreambuf_iterator<char>(in), {});
    }
    // The other writer puts a comment line into every 100th entry, half-way between the window's.
    std::string changed = read;
    const std::vector<entry::Block> blocks = entry::read(read).blocks;
    for (std::size_t i = blocks.size() - 50; i + 100 > 100; i -= 100)
        changed.insert(changed.find('{', blocks[i].begin) + 2, "\t// changed by a script\n");
    const auto w = shownWindow();
    Tick tick{w->w};
    const auto prepare = [&] {
        std::ofstream(s.path, std::ios::binary | std::ios::trunc) << read;
        w->open(s.path);
        for (int row = 0; row < static_cast<int>(kEntries); row += 100) {
            choose(*w, row);
            tick();
        }
        std::ofstream(s.path, std::ios::binary | std::ios::trunc) << changed;
    };
    prepare();
    const QTemporaryDir other;
    const std::string copy = other.filePath("KZ_admins.txt").toStdString();
    std::ofstream(copy, std::ios::binary) << read;
    w->files->save();
    const std::string merged = w->text();
    prepare();
    bench::alternate(
        state, 1,
        [&] {
            std::string error;
            store::changeFile(
                copy, {}, [&](std::string_view) { return merged; }, error);
        },
        [&] { w->files->save(); }, [&] { std::ofstream(copy, std::ios::binary | std::ios::trunc) << read; }, prepare);
}

} // namespace

// About a second or more for each repetition of a case and its baseline.
BENCHMARK(BM_OpenAndList10000Entries)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChooseEntryOf10000)->UseManualTime()->Iterations(200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TickWith10000EntriesOpen)->UseManualTime()->Iterations(250)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Save10000Entries)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MergedSave10000Entries)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ui::setUpApplication();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
