#include "file_panel.h"

#include "window_faces.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QButtonGroup>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QShortcut>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>

namespace ui {

namespace {

QString fromUtf8(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

// The entries of the open file as rows of two columns, the identity line and its line number, read from the open
// file whenever the view asks: nothing is copied.
class EntryListModel : public QAbstractTableModel {
public:
    explicit EntryListModel(const OpenFile& file, QObject* parent) : QAbstractTableModel(parent), file_(file) {}

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(file_.entries().size());
    }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 2; }

    QVariant data(const QModelIndex& index, int role) const override
    {
        const FileEntry& e = file_.entries()[static_cast<std::size_t>(index.row())];
        switch (role) {
        case Qt::DisplayRole:
            return index.column() == 0 ? fromUtf8(e.title) : QVariant(file_.lineOf(index.row()));
        case Qt::DecorationRole:
            if (index.column() == 0 && (e.invalid || e.duplicate))
                return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
            return {};
        case Qt::ToolTipRole: {
            QStringList why;
            if (!e.refusal.empty())
                why << QStringLiteral("Kept as written: ") + fromUtf8(e.refusal);
            if (e.invalid)
                why << (e.type == entry::UserType::SteamID ? QStringLiteral("The SteamID appears to be invalid.")
                                                           : QStringLiteral("The IP appears to be invalid."));
            if (e.duplicate)
                why << QStringLiteral("Another entry has the same identity.");
            return why.isEmpty() ? QVariant() : QVariant(why.join(u'\n'));
        }
        case Qt::TextAlignmentRole:
            return index.column() == 1 ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
        default:
            return {};
        }
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        // An entry the window cannot edit is greyed and cannot be chosen; it stays as it is written.
        if (!file_.entries()[static_cast<std::size_t>(index.row())].refusal.empty())
            return Qt::ItemNeverHasChildren;
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        return section == 0 ? QStringLiteral("Entry") : QStringLiteral("Line");
    }

    void reset()
    {
        beginResetModel();
        endResetModel();
    }

    // Only what changed is shown again: a row's title, line or marks, and the line numbers of the rows after an
    // entry that grew or shrank by lines, of those from `first` to `last` alone: the rows in view. A row scrolled
    // into view later asks for its line then. A range of rows would repaint the whole list at every tick.
    void changed(const OpenFile::Changed& c, int first, int last)
    {
        for (const int row : c.rows)
            emit dataChanged(index(row, 0), index(row, 1));
        if (c.linesMoved)
            for (int row = std::max(first, file_.selected() + 1); row <= last; ++row)
                emit dataChanged(index(row, 1), index(row, 1), {Qt::DisplayRole});
    }

private:
    const OpenFile& file_;
};

FilePanel::FilePanel(OpenFile file, QWidget* window)
    : QGroupBox(QStringLiteral("Admin File"), window), file_(std::move(file)), model_(new EntryListModel(file_, this))
{
    setObjectName(QStringLiteral("Frame4"));
    if (QStyle* style = frameStyle())
        setStyle(style);
    lstEntries = new QTreeView(this);
    lstEntries->setObjectName(QStringLiteral("lstEntries"));
    lstEntries->setAccessibleName(QStringLiteral("Entries"));
    lstEntries->setModel(model_);
    lstEntries->setRootIsDecorated(false);
    lstEntries->setUniformRowHeights(true);
    lstEntries->setAllColumnsShowFocus(true);
    lstEntries->setSelectionMode(QAbstractItemView::SingleSelection);
    lstEntries->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstEntries->header()->setStretchLastSection(false);
    lstEntries->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    lstEntries->header()->setSectionResizeMode(1, QHeaderView::Fixed);
    lstEntries->header()->resizeSection(1, 40);

    const auto button = [this](const char* name, const QString& caption, const QKeySequence& keys) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setToolTip(caption + QStringLiteral(" (") + keys.toString(QKeySequence::NativeText) + u')');
        return b;
    };
    cmdNewEntry = button("cmdNewEntry", QStringLiteral("New Entry"), QKeySequence(Qt::CTRL | Qt::Key_N));
    cmdRemoveEntry = button("cmdRemoveEntry", QStringLiteral("Remove Entry"), QKeySequence(Qt::Key_Delete));
    cmdSave = button("cmdSave", QStringLiteral("Save"), QKeySequence(Qt::CTRL | Qt::Key_S));
    cmdCloseFile = button("cmdCloseFile", QStringLiteral("Close File"), QKeySequence(Qt::CTRL | Qt::Key_W));

    setGeometry(8, 8, 185, 505);
    lstEntries->setGeometry(8, 16, 169, 425);
    cmdNewEntry->setGeometry(8, 449, 81, 21);
    cmdRemoveEntry->setGeometry(96, 449, 81, 21);
    cmdSave->setGeometry(8, 476, 81, 21);
    cmdCloseFile->setGeometry(96, 476, 81, 21);

    // The window's keys while a file is open; Delete only where the list has the focus.
    const auto shortcut = [](const QKeySequence& keys, QPushButton* b) {
        connect(new QShortcut(keys, b), &QShortcut::activated, b, &QPushButton::click);
    };
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_N), cmdNewEntry);
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_S), cmdSave);
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_W), cmdCloseFile);
    auto* remove = new QShortcut(QKeySequence(Qt::Key_Delete), lstEntries);
    remove->setContext(Qt::WidgetShortcut);
    connect(remove, &QShortcut::activated, cmdRemoveEntry, &QPushButton::click);

    connect(lstEntries->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { selectRow(current.isValid() ? current.row() : -1); });
    connect(cmdNewEntry, &QPushButton::clicked, this, &FilePanel::newEntryRequested);
    connect(cmdRemoveEntry, &QPushButton::clicked, this, &FilePanel::removeEntry);
    connect(cmdSave, &QPushButton::clicked, this, &FilePanel::save);
    connect(cmdCloseFile, &QPushButton::clicked, this, &FilePanel::closeRequested);
    cmdRemoveEntry->setEnabled(false);
}

FilePanel::~FilePanel() = default;

void FilePanel::showError(const FileError& error)
{
    QMessageBox::warning(window(), window()->windowTitle(), fromUtf8(error.message));
}

void FilePanel::selectRow(int row)
{
    if (row == file_.selected())
        return;
    file_.select(row);
    cmdRemoveEntry->setEnabled(file_.selected() >= 0);
    if (file_.selected() >= 0)
        emit entryChosen(file_.entries()[static_cast<std::size_t>(file_.selected())].block());
}

void FilePanel::entryEdited(const entry::Block& entry)
{
    const bool wasModified = file_.modified();
    const OpenFile::Changed changed = file_.setSelected(entry);
    const QModelIndex top = lstEntries->indexAt({0, 0});
    const QModelIndex bottom = lstEntries->indexAt({0, lstEntries->viewport()->height() - 1});
    model_->changed(changed, top.isValid() ? top.row() : 0, bottom.isValid() ? bottom.row() : model_->rowCount() - 1);
    if (file_.modified() != wasModified)
        emit modifiedChanged(file_.modified());
}

// The rows were laid out anew: the list follows, with the entry being edited selected.
void FilePanel::reload()
{
    const QSignalBlocker quiet(lstEntries->selectionModel());
    model_->reset();
    if (const int row = file_.selected(); row >= 0) {
        lstEntries->setCurrentIndex(model_->index(row, 0));
        lstEntries->scrollTo(model_->index(row, 0));
    }
    cmdRemoveEntry->setEnabled(file_.selected() >= 0);
    emit modifiedChanged(file_.modified());
}

void FilePanel::newEntry(const entry::Block& startUp)
{
    file_.append(startUp);
    reload();
    emit entryChosen(file_.entries().back().block());
}

void FilePanel::removeEntry()
{
    file_.removeSelected();
    reload();
}

bool FilePanel::save()
{
    FileError error;
    const int row = file_.selected();
    const bool saved = file_.save(
        [this](const std::vector<entry::MergeConflict>& c) { return askConflicts(window(), file_.path(), c); }, error);
    if (!saved && !error.message.empty())
        showError(error);
    if (saved && file_.selected() != row) // laid out anew after a merge
        reload();
    emit modifiedChanged(file_.modified());
    return saved;
}

bool FilePanel::mayLeave()
{
    if (!file_.modified())
        return true;
    const QString name = fromUtf8(file_.path());
    const auto answer = QMessageBox::warning(
        window(), window()->windowTitle(), QStringLiteral("%1 has changes that are not saved. Save them?").arg(name),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Save)
        return save();
    return answer == QMessageBox::Discard;
}

std::optional<std::vector<entry::MergeDecision>> askConflicts(QWidget* parent, const std::string& path,
                                                              const std::vector<entry::MergeConflict>& conflicts)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("dlgConflicts"));
    dialog.setWindowTitle(QStringLiteral("Entries changed in both places"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* intro = new QLabel(QStringLiteral("%1 was changed by another program since it was opened, and these entries "
                                            "were changed both here and there. Choose which version of each to keep, "
                                            "or cancel to save nothing.")
                                 .arg(fromUtf8(path)));
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto* list = new QWidget;
    auto* rows = new QVBoxLayout(list);
    std::vector<QRadioButton*> keepWindow;
    const auto version = [](const std::string& bytes, const QString& missing) {
        auto* text = new QPlainTextEdit(bytes.empty() ? missing : fromUtf8(bytes));
        text->setReadOnly(true);
        text->setLineWrapMode(QPlainTextEdit::NoWrap);
        return text;
    };
    for (std::size_t i = 0; i < conflicts.size(); ++i) {
        const entry::MergeConflict& c = conflicts[i];
        auto* box = new QGroupBox(fromUtf8(entry::typeCaption(c.type)) + fromUtf8(c.identity));
        auto* columns = new QHBoxLayout(box);
        const auto column = [&](const QString& caption, const std::string& bytes, int line, const char* name) {
            auto* side = new QVBoxLayout;
            auto* choice = new QRadioButton(line > 0 ? caption + QStringLiteral(" (line %1)").arg(line) : caption);
            choice->setObjectName(QStringLiteral("%1%2").arg(QLatin1String(name)).arg(i));
            side->addWidget(choice);
            side->addWidget(version(bytes, QStringLiteral("(no such entry)")));
            columns->addLayout(side);
            return choice;
        };
        keepWindow.push_back(
            column(QStringLiteral("Keep this window's version"), c.inWindow, c.lineInWindow, "optKeepWindow"));
        QRadioButton* keepFile =
            column(QStringLiteral("Keep the file's version"), c.onDisk, c.lineOnDisk, "optKeepFile");
        keepWindow.back()->setChecked(true);
        auto* group = new QButtonGroup(box);
        group->addButton(keepWindow.back());
        group->addButton(keepFile);
        rows->addWidget(box);
    }
    auto* scroll = new QScrollArea;
    scroll->setWidget(list);
    scroll->setWidgetResizable(true);
    layout->addWidget(scroll);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.resize(640, 480);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    std::vector<entry::MergeDecision> answers;
    for (std::size_t i = 0; i < conflicts.size(); ++i)
        answers.push_back({conflicts[i].inWindow, conflicts[i].onDisk, keepWindow[i]->isChecked()});
    return answers;
}

} // namespace ui
