// The time from a user's action in the window to the new entry in the result box, each case against a baseline in
// the same iterations: a bare QTreeView of the same rows repainted in full and the same entry set into a bare
// QPlainTextEdit, which is the least that showing the action's result costs.
#include "alternate.h"

#include <frm_main.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTreeView>

#include <memory>

namespace {

// Copies the rows below `from` in the window's tree, with their texts, ticks and fonts.
void copyRows(const QAbstractItemModel& model, const QModelIndex& from, QStandardItem* to)
{
    for (int row = 0; row < model.rowCount(from); ++row) {
        const QModelIndex i = model.index(row, 0, from);
        auto* item = new QStandardItem(i.data().toString());
        item->setCheckable(true);
        item->setCheckState(static_cast<Qt::CheckState>(i.data(Qt::CheckStateRole).toInt()));
        if (const QVariant font = i.data(Qt::FontRole); font.isValid())
            item->setFont(font.value<QFont>());
        item->setEditable(false);
        to->appendRow(item);
        copyRows(model, i, item);
    }
}

// The bare widgets, placed and sized as the window's tree and result box, in the window's face.
struct Baseline {
    QWidget window;
    QStandardItemModel rows;
    QTreeView* tree = new QTreeView(&window);
    QPlainTextEdit* text = new QPlainTextEdit(&window);

    explicit Baseline(const ui::frmMain& w)
    {
        window.setFixedSize(w.size());
        window.setFont(ui::windowFont());
        copyRows(*w.treCommands->model(), {}, rows.invisibleRootItem());
        tree->setModel(&rows);
        tree->setHeaderHidden(true);
        tree->setUniformRowHeights(true);
        tree->expandAll();
        tree->setGeometry(QRect(w.treCommands->mapTo(&w, QPoint()), w.treCommands->size()));
        text->setGeometry(QRect(w.txtResult->mapTo(&w, QPoint()), w.txtResult->size()));
        text->setLineWrapMode(QPlainTextEdit::NoWrap);
        text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        window.show();
        QApplication::processEvents();
    }

    void show(const QString& entry)
    {
        tree->viewport()->update();
        text->setPlainText(entry);
        QApplication::processEvents();
    }
};

std::unique_ptr<ui::frmMain> shownWindow()
{
    auto w = std::make_unique<ui::frmMain>();
    w->show();
    QApplication::processEvents();
    return w;
}

// One user tick through the tree's adapter, as a click on a check box gives it, on and off in turn.
void BM_UserTickToEntryShown(benchmark::State& state)
{
    const auto w = shownWindow();
    auto* model = static_cast<ui::CommandTreeModel*>(w->treCommands->model());
    // A node in view at the top of the tree, with its two commands.
    const QModelIndex level = model->indexOf(w->permissions().tree.find("lvl2"));
    bool on = false;
    const auto tick = [&] {
        on = !on;
        model->setData(level, on ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
        QApplication::processEvents();
    };
    QString entries[2];
    for (QString& entry : entries) {
        entry = w->txtResult->toPlainText();
        tick();
    }
    Baseline bare(*w);
    bool bareOn = false;
    bench::alternate(
        state, 1,
        [&] {
            bareOn = !bareOn;
            bare.show(entries[bareOn ? 1 : 0]);
        },
        tick);
}

void BM_CheckAllToEntryShown(benchmark::State& state)
{
    const auto w = shownWindow();
    w->cmdCheckAll->click();
    const QString all = w->txtResult->toPlainText();
    w->cmdUncheckAll->click();
    const QString none = w->txtResult->toPlainText();
    QApplication::processEvents();
    Baseline bare(*w);
    bench::alternate(
        state, 1, [&] { bare.show(all); },
        [&] {
            w->cmdCheckAll->click();
            QApplication::processEvents();
        },
        [&] { bare.show(none); },
        [&] {
            w->cmdUncheckAll->click();
            QApplication::processEvents();
        });
}

} // namespace

// About a second for each repetition of a case and its baseline.
BENCHMARK(BM_UserTickToEntryShown)->UseManualTime()->Iterations(250)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CheckAllToEntryShown)->UseManualTime()->Iterations(150)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
