#include "file_panel.h"

#include "entry_list_model.h"
#include "file_session.h"
#include "window_faces.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QTreeView>

namespace ui {

FilePanel::FilePanel(FileSession* session, QWidget* window)
    : QGroupBox(QStringLiteral("Admin File"), window), session_(session), model_(new EntryListModel(*session, this))
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
    lblFileStatus = new QLabel(this);
    lblFileStatus->setObjectName(QStringLiteral("lblFileStatus"));
    lblFileStatus->setWordWrap(true);
    lblFileStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    const auto button = [this](const char* name, const QString& caption, const QKeySequence& keys) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setToolTip(caption + QStringLiteral(" (") + keys.toString(QKeySequence::NativeText) + u')');
        return b;
    };
    cmdShowChanges = button("cmdShowChanges", QStringLiteral("Show Changes..."), QKeySequence(Qt::CTRL | Qt::Key_D));
    cmdNewEntry = button("cmdNewEntry", QStringLiteral("New Entry"), QKeySequence(Qt::CTRL | Qt::Key_N));
    cmdRemoveEntry = button("cmdRemoveEntry", QStringLiteral("Remove Entry"), QKeySequence(Qt::Key_Delete));
    cmdSave = button("cmdSave", QStringLiteral("Save"), QKeySequence(Qt::CTRL | Qt::Key_S));
    cmdCloseFile = button("cmdCloseFile", QStringLiteral("Close File"), QKeySequence(Qt::CTRL | Qt::Key_W));

    setGeometry(8, 8, 185, 505);
    lstEntries->setGeometry(8, 16, 169, 366);
    lblFileStatus->setGeometry(8, 385, 169, 30);
    cmdShowChanges->setGeometry(8, 422, 169, 21);
    cmdNewEntry->setGeometry(8, 449, 81, 21);
    cmdRemoveEntry->setGeometry(96, 449, 81, 21);
    cmdSave->setGeometry(8, 476, 81, 21);
    cmdCloseFile->setGeometry(96, 476, 81, 21);

    // The window's keys while a file is open; Delete only where the list has the focus.
    const auto shortcut = [](const QKeySequence& keys, QPushButton* b) {
        connect(new QShortcut(keys, b), &QShortcut::activated, b, &QPushButton::click);
    };
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_N), cmdNewEntry);
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_D), cmdShowChanges);
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_S), cmdSave);
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_W), cmdCloseFile);
    auto* remove = new QShortcut(QKeySequence(Qt::Key_Delete), lstEntries);
    remove->setContext(Qt::WidgetShortcut);
    connect(remove, &QShortcut::activated, cmdRemoveEntry, &QPushButton::click);

    connect(lstEntries->selectionModel(), &QItemSelectionModel::currentRowChanged, session,
            [session](const QModelIndex& current) { session->choose(current.isValid() ? current.row() : -1); });
    connect(cmdShowChanges, &QPushButton::clicked, session, &FileSession::showChanges);
    connect(cmdNewEntry, &QPushButton::clicked, session, &FileSession::newEntry);
    // The list's menu: Undo, Redo and Show Changes...
    lstEntries->setContextMenuPolicy(Qt::ActionsContextMenu);
    session->addFileActions(lstEntries);
    connect(cmdRemoveEntry, &QPushButton::clicked, session, &FileSession::removeChosen);
    connect(cmdSave, &QPushButton::clicked, session, &FileSession::save);
    connect(cmdCloseFile, &QPushButton::clicked, session, &FileSession::close);
    connect(session, &FileSession::rowsReset, this, &FilePanel::reset);
    connect(session, &FileSession::rowsChanged, this, &FilePanel::changed);
    connect(session, &FileSession::status, lblFileStatus, &QLabel::setText);
    connect(session, &FileSession::entryChosen, this,
            [this] { cmdRemoveEntry->setEnabled(session_->document()->chosen() >= 0); });
    connect(lstEntries->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] {
        cmdRemoveEntry->setEnabled(session_->document() != nullptr && session_->document()->chosen() >= 0);
    });
    reset();
}

// The rows were laid out anew: the list follows, with the chosen row current.
void FilePanel::reset()
{
    const QSignalBlocker quiet(lstEntries->selectionModel());
    model_->reset();
    const doc::AdminsDocument* d = session_->document();
    const int row = d != nullptr ? d->chosen() : -1;
    if (row >= 0) {
        lstEntries->setCurrentIndex(model_->index(row, 0));
        lstEntries->scrollTo(model_->index(row, 0));
    } else {
        lstEntries->selectionModel()->clear();
    }
    cmdRemoveEntry->setEnabled(row >= 0);
}

void FilePanel::changed(const std::vector<int>& rows, bool linesMoved)
{
    const QModelIndex top = lstEntries->indexAt({0, 0});
    const QModelIndex bottom = lstEntries->indexAt({0, lstEntries->viewport()->height() - 1});
    model_->changed(rows, linesMoved, top.isValid() ? top.row() : 0,
                    bottom.isValid() ? bottom.row() : model_->rowCount() - 1);
}

} // namespace ui
