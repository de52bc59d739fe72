#include "file_session.h"

#include "file_panel.h"
#include "frm_main.h"
#include "off_thread.h"
#include "qt_text.h"

#include <admins_file.h>
#include <catalogue.h>
#include <file_io.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QTemporaryFile>
#include <QUndoCommand>
#include <QUndoStack>

#include <exception>

namespace ui {

namespace {

// How long Save waits for another writer's lock: the window is not answering meanwhile.
constexpr double kSaveWaitSeconds = 2;

} // namespace

// One step of the history: made already when it is pushed, taken back and made again through the session.
class StepCommand : public QUndoCommand {
public:
    StepCommand(FileSession& session, doc::Step step, unsigned action, QObject* typingIn, unsigned typingRun)
        : session_(session), step_(std::move(step)), action_(action), typingIn_(typingIn), typingRun_(typingRun)
    {
    }
    void undo() override { session_.takeBack(step_); }
    void redo() override
    {
        if (!first_)
            session_.makeAgain(step_);
        first_ = false;
    }
    int id() const override { return step_.kind == doc::Step::Kind::Edit ? 1 : -1; }
    // Changes of one row in one user action are one step, and so is a run of typing in one box.
    bool mergeWith(const QUndoCommand* other) override
    {
        const auto* next = static_cast<const StepCommand*>(other);
        if (next->step_.row != step_.row ||
            (next->action_ != action_ &&
             (typingIn_ == nullptr || next->typingIn_ != typingIn_ || next->typingRun_ != typingRun_)))
            return false;
        step_.after = next->step_.after;
        step_.chosenAfter = next->step_.chosenAfter;
        action_ = next->action_;
        return true;
    }

private:
    FileSession& session_;
    doc::Step step_;
    bool first_ = true;
    unsigned action_;
    QObject* typingIn_;
    unsigned typingRun_;
};

FileSession::FileSession(frmMain* window)
    : QObject(window),
      window_(window),
      baseTitle_(window->windowTitle()),
      prompts_(dialogPrompts(window)),
      history_(new QUndoStack(this))
{
    ssh_ = remote::SshSettings::fromEnvironment();
    ssh_.mayUseTerminal = false;
    ftp_ = remote::FtpSettings::fromEnvironment();
    qApp->installEventFilter(this);
    connect(qApp, &QApplication::focusChanged, this, [this] { ++typingRun_; });
    connect(history_, &QUndoStack::cleanChanged, this, [this](bool clean) {
        if (doc_ && doc_->modified() == clean) {
            doc_->setModified(!clean);
            emit modifiedChanged(!clean);
        }
    });
    connect(window, &frmMain::openRequested, this, &FileSession::open);
    connect(window, &frmMain::openRemoteRequested, this, &FileSession::openRemote);
    connect(window, &frmMain::entryEdited, this, [this] {
        if (doc_)
            edit(window_->shownEntry());
    });
    connect(this, &FileSession::entryChosen, window, &frmMain::showEntry);
    connect(this, &FileSession::modifiedChanged, window, &QWidget::setWindowModified);
    window->setCloseGuard([this] { return mayLeave(); });
    window->txtResult->extendMenu = [this](QMenu* menu) {
        if (!doc_)
            return;
        menu->addSeparator();
        addFileActions(menu);
    };
}

FileSession::~FileSession()
{
    qApp->removeEventFilter(this);
}

bool FileSession::eventFilter(QObject* watched, QEvent* event)
{
    const auto inWindow = [this, watched] {
        const auto* widget = qobject_cast<QWidget*>(watched);
        return widget != nullptr && widget->window() == window_;
    };
    switch (event->type()) {
    case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (doc_ && inWindow()) {
            const bool redo = key->matches(QKeySequence::Redo) ||
                key->keyCombination() == QKeyCombination(Qt::CTRL | Qt::SHIFT, Qt::Key_Z) ||
                key->keyCombination() == QKeyCombination(Qt::CTRL, Qt::Key_Y);
            if (redo || key->matches(QKeySequence::Undo)) {
                redo ? history_->redo() : history_->undo();
                return true;
            }
        }
        ++action_;
        const bool typed = !key->text().isEmpty() && key->text().at(0).isPrint() &&
            (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) == 0;
        if (!typed || typingIn_ != watched)
            ++typingRun_;
        typingIn_ = typed ? watched : nullptr;
        break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Drop:
    case QEvent::InputMethod:
        ++action_;
        ++typingRun_;
        typingIn_ = nullptr;
        break;
    default:
        break;
    }
    return false;
}

void FileSession::addFileActions(QWidget* to)
{
    // Their keys (Ctrl+Z, Ctrl+Y, Ctrl+D) are the window's, taken by the event filter and the panel: as the
    // actions' own shortcuts they would stand twice and neither would fire.
    QAction* undo = history_->createUndoAction(to, QStringLiteral("Undo"));
    QAction* redo = history_->createRedoAction(to, QStringLiteral("Redo"));
    auto* changes = new QAction(QStringLiteral("Show Changes..."), to);
    connect(changes, &QAction::triggered, this, &FileSession::showChanges);
    to->addActions({undo, redo, changes});
}

void FileSession::record(const std::optional<doc::Step>& step)
{
    if (step)
        history_->push(new StepCommand(*this, *step, action_, typingIn_, typingRun_));
}

// The list and the inputs show the rows as a step left or found them.
void FileSession::afterStep(const doc::Step& step)
{
    emit rowsReset();
    const int chosen = doc_->chosen();
    if (chosen >= 0 && chosen == (step.kind == doc::Step::Kind::Remove ? step.chosenBefore : chosen))
        showChosen();
}

void FileSession::takeBack(const doc::Step& step)
{
    if (!doc_)
        return;
    doc_->undo(step);
    afterStep(step);
}

void FileSession::makeAgain(const doc::Step& step)
{
    if (!doc_)
        return;
    doc_->redo(step);
    afterStep(step);
}

QString FileSession::name() const
{
    return doc_ ? fromUtf8(doc_->path()) : QString();
}

void FileSession::setTitle()
{
    const QString file = doc_ && remote::isUrl(doc_->path()) ? fromUtf8(remote::withoutPassword(doc_->path()))
                                                             : QFileInfo(name()).fileName();
    window_->setWindowTitle(doc_ ? file + QStringLiteral("[*] - ") + baseTitle_ : baseTitle_);
    window_->setWindowModified(doc_ && doc_->modified());
}

// The file is read first: one that cannot be opened leaves the open one as it is, unasked. When leaving the open
// one saved it, the file is read again, so that the same file opened again shows what was saved.
void FileSession::open(const QString& path)
{
    const std::string utf8 = path.toUtf8().toStdString();
    std::string why;
    std::optional<std::string> text = readFile(utf8, why);
    const bool wasModified = doc_ && doc_->modified();
    if (text && doc_ && !mayLeave())
        return;
    if (text && wasModified && !doc_->modified())
        text = readFile(utf8, why);
    if (!text) {
        const QString message = fromUtf8(remote::withoutPassword(utf8)) + QStringLiteral(": ") + fromUtf8(why);
        prompts_->showError(message);
        emit failed(message);
        return;
    }
    history_->clear();
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

void FileSession::openRemote()
{
    const std::optional<FilePrompts::Address> address = prompts_->askAddress();
    if (!address || address->text.trimmed().isEmpty())
        return;
    ftp_.allowPlainFtp = address->allowPlainFtp;
    open(address->text.trimmed());
}

std::optional<std::string> FileSession::readFile(const std::string& path, std::string& why)
{
    std::optional<std::string> text = remote::isUrl(path) ? readRemote(path, why) : store::readFileToChange(path, why);
    if (text)
        if (const std::optional<std::string> notOne = entry::notAnAdminsFile(*text))
            why = *notOne, text.reset();
    return text;
}

namespace {

// The kind of file on a server an address names, with the settings of its protocol.
std::unique_ptr<store::FileKind> filesAt(const std::string& address, const remote::SshSettings& ssh,
                                         const remote::FtpSettings& ftp)
{
    if (remote::isFtpUrl(address))
        return std::make_unique<remote::FtpFiles>(ftp);
    return std::make_unique<remote::RemoteFiles>(ssh);
}

std::string bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

} // namespace

// Read off the GUI thread, cancellable. A server whose host key is not known yet is asked about with the key it
// showed; once trusted, it is connected to again with the key taken into this session's own known hosts, and what
// it read counts only when the server showed the same key again. Remembered, the key then goes to known_hosts too.
std::optional<std::string> FileSession::readRemote(const std::string& address, std::string& why)
{
    struct Fetched {
        std::optional<std::string> text;
        std::string why = "cancelled";
        remote::HostKeySeen seen;
        std::string untrusted; // an FTPS server's key, when its certificate was not trusted
    };
    const QString shown = fromUtf8(remote::withoutPassword(address));
    const auto fetch = [this, &address, &shown](const remote::SshSettings& settings) {
        std::shared_ptr<store::FileKind> files = filesAt(address, settings, ftpFor(address));
        return offThread<Fetched>(window_, QStringLiteral("Reading %1...").arg(shown), true,
                                  [files, address] {
                                      Fetched got;
                                      got.text = files->read(address, got.why);
                                      got.seen = remote::lastHostKey();
                                      got.untrusted = remote::lastUntrustedKey();
                                      return got;
                                  })
            .value_or(Fetched{});
    };
    Fetched got = fetch(ssh_);
    if (!got.text && got.seen.unknown && !got.seen.key.empty()) {
        const FilePrompts::HostKey answer = prompts_->askHostKey(shown, fromUtf8(got.seen.key), true);
        if (answer != FilePrompts::HostKey::Refuse) {
            if (!onceKnownHosts_) {
                onceKnownHosts_ = std::make_unique<QTemporaryFile>(QDir::temp().filePath("vantorel-hosts-XXXXXX"));
                if (!onceKnownHosts_->open()) {
                    why = "cannot make a file for the host keys of this session in " + QDir::tempPath().toStdString();
                    onceKnownHosts_.reset();
                    return std::nullopt;
                }
                onceKnownHosts_->close();
                ssh_.sessionKnownHosts = onceKnownHosts_->fileName().toStdString();
            }
            const std::string before = bytesOf(onceKnownHosts_->fileName());
            remote::SshSettings trusting = ssh_;
            trusting.acceptNewHostKey = true;
            const std::string asked = got.seen.key;
            got = fetch(trusting);
            const std::string now = bytesOf(onceKnownHosts_->fileName());
            if (got.seen.key != asked) {
                if (QFile file(onceKnownHosts_->fileName()); file.open(QIODevice::WriteOnly | QIODevice::Truncate))
                    file.write(before.data(), static_cast<qint64>(before.size()));
                why = "the server showed the host key " + got.seen.key + ", not " + asked +
                    " as it did when asked; nothing was read";
                return std::nullopt;
            }
            if (answer == FilePrompts::HostKey::Remember && now.size() > before.size()) {
                const QString knownHosts =
                    ssh_.knownHosts.empty() ? QDir::home().filePath(".ssh/known_hosts") : fromUtf8(ssh_.knownHosts);
                QDir().mkpath(QFileInfo(knownHosts).path());
                QFile file(knownHosts);
                if (!file.open(QIODevice::Append) ||
                    file.write(now.data() + before.size(), static_cast<qint64>(now.size() - before.size())) < 0)
                    prompts_->showError(knownHosts + QStringLiteral(": cannot add the host key: ") +
                                        file.errorString());
            }
        }
    }
    // A certificate the system does not trust: its server's key, once accepted, is pinned for this session, and
    // curl checks the pin before anything is sent.
    if (!got.text && !got.untrusted.empty() &&
        prompts_->askHostKey(shown, fromUtf8(got.untrusted), false) != FilePrompts::HostKey::Refuse) {
        pins_[address] = got.untrusted;
        got = fetch(ssh_);
    }
    why = got.why;
    return got.text;
}

remote::FtpSettings FileSession::ftpFor(const std::string& address) const
{
    remote::FtpSettings settings = ftp_;
    if (const auto pin = pins_.find(address); pin != pins_.end())
        settings.pinnedKey = pin->second;
    return settings;
}

bool FileSession::close()
{
    if (!doc_)
        return true;
    if (!mayLeave())
        return false;
    history_->clear();
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
            emit entryChosen(row.block(), row.promptIdentity);
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
    std::optional<doc::Step> step;
    const doc::AdminsDocument::Changed changed = doc_->edit(shown.block(), shown.identityIsPrompt, &step);
    if (!changed.rows.empty() || changed.linesMoved)
        emit rowsChanged(changed.rows, changed.linesMoved);
    record(step);
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
    std::optional<doc::Step> step;
    doc_->add(startUp, &step);
    record(step);
    emit rowsReset();
    emit modifiedChanged(true);
    showChosen();
}

void FileSession::removeChosen()
{
    if (!doc_ || doc_->chosen() < 0)
        return;
    std::optional<doc::Step> step;
    doc_->removeChosen(&step);
    record(step);
    emit rowsReset();
    emit modifiedChanged(true);
}

void FileSession::showChanges()
{
    if (!doc_)
        return;
    std::string why;
    std::optional<std::string> onDisk = readFile(doc_->path(), why);
    if (!onDisk && why != "no such file") {
        prompts_->showError(name() + QStringLiteral(": ") + fromUtf8(why));
        return;
    }
    try {
        prompts_->showChanges(name(), doc::preview(*doc_, onDisk.value_or(std::string()), doc_->path()));
    } catch (const std::exception& e) {
        prompts_->showError(name() + QStringLiteral(": ") + QString::fromLocal8Bit(e.what()));
    }
}

void FileSession::save()
{
    emit saved(saveNow());
}

bool FileSession::writeOnce(const std::vector<doc::Answer>& answers, doc::SavePlan& plan, std::string& why)
{
    if (!remote::isUrl(doc_->path())) {
        store::LockedFile file;
        if (!file.open(doc_->path(), {kSaveWaitSeconds, true}, why))
            return false;
        if (const std::optional<std::string> notOne = entry::notAnAdminsFile(file.text())) {
            why = *notOne;
            return false;
        }
        // A file removed since it was opened is written anew with the window's text.
        plan = doc_->plan(file.exists() ? std::string_view(file.text()) : doc_->savedText(), answers);
        return !plan.conflicts.empty() || (file.exists() && plan.text == file.text()) || file.commit(plan.text, why);
    }
    // On a server the change runs off the GUI thread, which waits for it (the window keeps painting, but takes no
    // input that could change the document meanwhile); the connection's own timeouts end it. A file removed (or
    // emptied) since it was opened is written anew with the window's text.
    const std::string address = doc_->path();
    const doc::AdminsDocument& document = *doc_;
    const remote::SshSettings settings = ssh_;
    const remote::FtpSettings ftp = ftpFor(address);
    const std::optional<bool> done = offThread<bool>(
        window_, QStringLiteral("Saving %1...").arg(fromUtf8(remote::withoutPassword(address))), false, [&] {
            return filesAt(address, settings, ftp)
                ->change(
                    address, {kSaveWaitSeconds, true},
                    [&](std::string_view text) -> std::optional<std::string> {
                        if (const std::optional<std::string> notOne = entry::notAnAdminsFile(text)) {
                            why = *notOne;
                            return std::nullopt;
                        }
                        plan = document.plan(text.empty() ? std::string_view(document.savedText()) : text, answers);
                        if (!plan.conflicts.empty())
                            return std::nullopt;
                        return plan.text;
                    },
                    why);
        });
    if (!done && why.empty())
        why = "not saved: the save stopped unexpectedly";
    return done.value_or(false) && why.empty();
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
            if (std::string why; !writeOnce(answers, plan, why)) {
                prompts_->showError(prefix + fromUtf8(why));
                return false;
            }
            if (plan.conflicts.empty()) {
                const int othersKept = plan.othersKept;
                const bool merged = doc_->saved(std::move(plan));
                // After a merge the steps before it no longer describe the file, and the rows are laid out anew.
                if (merged) {
                    history_->clear();
                    emit rowsReset();
                } else {
                    history_->setClean();
                }
                emit modifiedChanged(false);
                const QString earlier = QStringLiteral(" Earlier changes can no longer be undone.");
                if (!merged)
                    emit status(QStringLiteral("Saved."));
                else if (othersKept == 0)
                    emit status(QStringLiteral("Saved. Another program's changes to the file were kept.") + earlier);
                else
                    emit status((othersKept == 1
                                     ? QStringLiteral("Saved. 1 entry changed by another program was kept.")
                                     : QStringLiteral("Saved. %1 entries changed by another program were kept.")
                                           .arg(othersKept)) +
                                earlier);
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
