#include "file_session.h"

#include "file_panel.h"
#include "frm_main.h"
#include "qt_text.h"

#include <admins_file.h>
#include <catalogue.h>
#include <file_io.h>

#include <QFileInfo>

#include <exception>

namespace ui {

namespace {

// How long Save waits for another writer's lock: the window is not answering meanwhile.
constexpr double kSaveWaitSeconds = 2;

} // namespace

FileSession::FileSession(frmMain* window)
    : QObject(window), window_(window), baseTitle_(window->windowTitle()), prompts_(dialogPrompts(window))
{
    connect(window, &frmMain::openRequested, this, &FileSession::open);
    connect(window, &frmMain::entryEdited, this, [this] {
        if (doc_)
            edit(window_->shownEntry());
    });
    connect(this, &FileSession::entryChosen, window, &frmMain::showEntry);
    connect(this, &FileSession::modifiedChanged, window, &QWidget::setWindowModified);
    window->setCloseGuard([this] { return mayLeave(); });
}

FileSession::~FileSession() = default;

QString FileSession::name() const
{
    return doc_ ? fromUtf8(doc_->path()) : QString();
}

void FileSession::setTitle()
{
    window_->setWindowTitle(doc_ ? QFileInfo(name()).fileName() + QStringLiteral("[*] - ") + baseTitle_ : baseTitle_);
    window_->setWindowModified(doc_ && doc_->modified());
}

// The file is read first: one that cannot be opened leaves the open one as it is, unasked. When leaving the open
// one saved it, the file is read again, so that the same file opened again shows what was saved.
void FileSession::open(const QString& path)
{
    const std::string utf8 = path.toUtf8().toStdString();
    const auto read = [&utf8](std::string& why) {
        std::optional<std::string> text = store::readFileToChange(utf8, why);
        if (text)
            if (const std::optional<std::string> notOne = entry::notAnAdminsFile(*text))
                why = *notOne, text.reset();
        return text;
    };
    std::string why;
    std::optional<std::string> text = read(why);
    const bool wasModified = doc_ && doc_->modified();
    if (text && doc_ && !mayLeave())
        return;
    if (text && wasModified && !doc_->modified())
        text = read(why);
    if (!text) {
        const QString message = path + QStringLiteral(": ") + fromUtf8(why);
        prompts_->showError(message);
        emit failed(message);
        return;
    }
    doc_.emplace(utf8, std::move(*text));
    if (panel_ == nullptr) {
        panel_ = new FilePanel(this, window_);
        window_->setSidePanel(panel_);
    }
    setTitle();
    emit rowsReset();
    emit modifiedChanged(false);
    emit status(QString());
    emit opened(path);
}

bool FileSession::close()
{
    if (!doc_)
        return true;
    if (!mayLeave())
        return false;
    doc_.reset();
    panel_ = nullptr;
    window_->setSidePanel(nullptr); // deletes the panel
    setTitle();
    return true;
}

bool FileSession::mayLeave()
{
    if (!doc_ || !doc_->modified())
        return true;
    switch (prompts_->askLeave(name())) {
    case FilePrompts::Leave::Save:
        return saveNow();
    case FilePrompts::Leave::Discard:
        return true;
    case FilePrompts::Leave::Cancel:
        break;
    }
    return false;
}

void FileSession::showChosen()
{
    if (doc_ && doc_->chosen() >= 0) {
        const doc::Row& row = doc_->rows()[static_cast<std::size_t>(doc_->chosen())];
        if (row.editable())
            emit entryChosen(row.block());
    }
}

void FileSession::choose(int row)
{
    if (!doc_ || row == doc_->chosen())
        return;
    doc_->choose(row);
    const int chosen = doc_->chosen();
    if (chosen >= 0 && !doc_->rows()[static_cast<std::size_t>(chosen)].editable())
        emit status(QStringLiteral("This entry is kept as written: it can be removed, not edited."));
    else
        emit status(QString());
    showChosen();
}

void FileSession::edit(const ShownEntry& shown)
{
    if (!doc_)
        return;
    const bool wasModified = doc_->modified();
    const doc::AdminsDocument::Changed changed = doc_->edit(shown.block(), shown.identityIsPrompt);
    if (!changed.rows.empty() || changed.linesMoved)
        emit rowsChanged(changed.rows, changed.linesMoved);
    if (doc_->modified() != wasModified)
        emit modifiedChanged(doc_->modified());
}

void FileSession::newEntry()
{
    if (!doc_)
        return;
    entry::Block startUp;
    startUp.identity = entry::kDefaultIdentity;
    startUp.granted = model::defaultCommands();
    doc_->add(startUp);
    emit rowsReset();
    emit modifiedChanged(true);
    showChosen();
}

void FileSession::removeChosen()
{
    if (!doc_ || doc_->chosen() < 0)
        return;
    doc_->removeChosen();
    emit rowsReset();
    emit modifiedChanged(true);
}

void FileSession::save()
{
    emit saved(saveNow());
}

// Written through the locked writer over what the file holds now: the window's edits replayed onto it. Conflicts
// are asked about with the lock released, so that another writer need not wait for the user, and the file is read
// again afterwards.
bool FileSession::saveNow()
{
    if (!doc_)
        return false;
    const QString prefix = name() + QStringLiteral(": ");
    if (const std::string why = doc_->saveRefusal(); !why.empty()) {
        prompts_->showError(prefix + fromUtf8(why));
        return false;
    }
    try {
        std::vector<doc::Answer> answers;
        for (;;) {
            doc::SavePlan plan;
            std::string why;
            {
                store::LockedFile file;
                if (!file.open(doc_->path(), {kSaveWaitSeconds, true}, why)) {
                    prompts_->showError(prefix + fromUtf8(why));
                    return false;
                }
                if (const std::optional<std::string> notOne = entry::notAnAdminsFile(file.text())) {
                    prompts_->showError(prefix + fromUtf8(*notOne));
                    return false;
                }
                // A file removed since it was opened is written anew with the window's text.
                plan = doc_->plan(file.exists() ? std::string_view(file.text()) : doc_->asRead(), answers);
                if (plan.conflicts.empty() && (!file.exists() || plan.text != file.text()) &&
                    !file.commit(plan.text, why)) {
                    prompts_->showError(prefix + fromUtf8(why));
                    return false;
                }
            }
            if (plan.conflicts.empty()) {
                const bool merged = plan.text != doc_->text();
                doc_->saved(std::move(plan.text), plan.chosenAt);
                emit rowsReset();
                emit modifiedChanged(false);
                if (!merged)
                    emit status(QStringLiteral("Saved."));
                else if (plan.othersKept == 0)
                    emit status(QStringLiteral("Saved. Another program's changes to the file were kept."));
                else
                    emit status(plan.othersKept == 1
                                    ? QStringLiteral("Saved. 1 entry changed by another program was kept.")
                                    : QStringLiteral("Saved. %1 entries changed by another program were kept.")
                                          .arg(plan.othersKept));
                if (merged)
                    showChosen();
                return true;
            }
            const std::optional<std::vector<doc::Answer>> given = prompts_->askConflicts(name(), plan.conflicts);
            if (!given) {
                emit status(QStringLiteral("Not saved."));
                return false;
            }
            answers.insert(answers.end(), given->begin(), given->end());
        }
    } catch (const std::exception& e) {
        prompts_->showError(prefix + QStringLiteral("not saved: ") + QString::fromLocal8Bit(e.what()));
        return false;
    }
}

} // namespace ui
