#include "conflict_dialog.h"

#include "file_session.h"
#include "qt_text.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace ui {

ConflictDialog::ConflictDialog(QWidget* parent, const QString& file, const std::vector<doc::Conflict>& conflicts)
    : QDialog(parent), conflicts_(conflicts)
{
    setObjectName(QStringLiteral("dlgConflicts"));
    setWindowTitle(QStringLiteral("Entries changed in both places"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(QStringLiteral("%1 was changed by another program since it was opened, and these entries "
                                            "were changed both here and there. Choose which version of each to keep, "
                                            "or cancel to save nothing.")
                                 .arg(file));
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto* list = new QWidget;
    auto* rows = new QVBoxLayout(list);
    const auto version = [](const std::string& bytes, const QString& missing) {
        auto* text = new QPlainTextEdit(bytes.empty() ? missing : fromUtf8(bytes));
        text->setReadOnly(true);
        text->setLineWrapMode(QPlainTextEdit::NoWrap);
        return text;
    };
    for (std::size_t i = 0; i < conflicts.size(); ++i) {
        const doc::Conflict& c = conflicts[i];
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
        keepWindow_.push_back(
            column(QStringLiteral("Keep this window's version"), c.inWindow, c.lineInWindow, "optKeepWindow"));
        QRadioButton* keepFile =
            column(QStringLiteral("Keep the file's version"), c.onDisk, c.lineOnDisk, "optKeepFile");
        keepWindow_.back()->setChecked(true);
        auto* group = new QButtonGroup(box);
        group->addButton(keepWindow_.back());
        group->addButton(keepFile);
        rows->addWidget(box);
    }
    auto* scroll = new QScrollArea;
    scroll->setWidget(list);
    scroll->setWidgetResizable(true);
    layout->addWidget(scroll);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(640, 480);
}

std::vector<doc::Answer> ConflictDialog::answers() const
{
    std::vector<doc::Answer> out;
    for (std::size_t i = 0; i < conflicts_.size(); ++i)
        out.push_back({conflicts_[i].key(), keepWindow_[i]->isChecked()});
    return out;
}

QString changesSummary(const QString& file, const doc::Preview& preview)
{
    QStringList said;
    if (!preview.refusal.empty())
        said << QStringLiteral("Save would refuse: ") + fromUtf8(preview.refusal);
    if (!preview.conflicts.empty()) {
        QStringList names;
        for (const doc::Conflict& c : preview.conflicts)
            names << fromUtf8(entry::typeCaption(c.type)) + fromUtf8(c.identity);
        said << QStringLiteral("Changed both here and by another program, shown as this window's version: ") +
                names.join(QStringLiteral(", "));
    }
    said << (preview.changes ? QStringLiteral("What Save would change in %1:").arg(file)
                             : QStringLiteral("Save would leave %1 as it is.").arg(file));
    return said.join(u'\n');
}

namespace {

class DialogPrompts : public FilePrompts {
public:
    explicit DialogPrompts(QWidget* parent) : parent_(parent) {}

    Leave askLeave(const QString& file) override
    {
        const auto answer = QMessageBox::warning(
            parent_, parent_->windowTitle(), QStringLiteral("%1 has changes that are not saved. Save them?").arg(file),
            QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
        return answer == QMessageBox::Save   ? Leave::Save
            : answer == QMessageBox::Discard ? Leave::Discard
                                             : Leave::Cancel;
    }

    std::optional<std::vector<doc::Answer>> askConflicts(const QString& file,
                                                         const std::vector<doc::Conflict>& conflicts) override
    {
        ConflictDialog dialog(parent_, file, conflicts);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.answers();
    }

    void showError(const QString& message) override { QMessageBox::warning(parent_, parent_->windowTitle(), message); }

    HostKey askHostKey(const QString& address, const QString& key, bool canRemember) override
    {
        const QString what = canRemember ? QStringLiteral("The server of %1 is not known yet. Its host key is")
                                         : QStringLiteral("The certificate of the server of %1 is not trusted by "
                                                          "this system. Its public key is");
        QMessageBox box(QMessageBox::Question, parent_->windowTitle(),
                        what.arg(address) +
                            QStringLiteral("\n\n%1\n\nConnect only if this is the server's key, as its "
                                           "owner can tell you.")
                                .arg(key),
                        QMessageBox::NoButton, parent_);
        QPushButton* once = box.addButton(QStringLiteral("Connect Once"), QMessageBox::AcceptRole);
        QPushButton* remember =
            canRemember ? box.addButton(QStringLiteral("Remember"), QMessageBox::AcceptRole) : nullptr;
        box.addButton(QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Cancel);
        box.exec();
        return box.clickedButton() == once                           ? HostKey::Once
            : box.clickedButton() == remember && remember != nullptr ? HostKey::Remember
                                                                     : HostKey::Refuse;
    }

    std::optional<Address> askAddress() override
    {
        QDialog dialog(parent_);
        dialog.setObjectName(QStringLiteral("dlgOpenRemote"));
        dialog.setWindowTitle(QStringLiteral("Open Remote"));
        auto* layout = new QVBoxLayout(&dialog);
        layout->addWidget(new QLabel(QStringLiteral("Address of the admins file on the server:\n"
                                                    "sftp://[user@]host[:port]/path, ftp://... (TLS) or ftps://...\n"
                                                    "(/~/ starts at the login's home)")));
        auto* address = new QLineEdit(QStringLiteral("sftp://"));
        address->setObjectName(QStringLiteral("txtAddress"));
        layout->addWidget(address);
        auto* plain = new QCheckBox(QStringLiteral("Allow plain FTP where the server offers no TLS: the password "
                                                   "then travels unencrypted"));
        plain->setObjectName(QStringLiteral("chkPlainFtp"));
        layout->addWidget(plain);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Open | QDialogButtonBox::Cancel);
        QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
        QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
        layout->addWidget(buttons);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return Address{address->text(), plain->isChecked()};
    }

    void showChanges(const QString& file, const doc::Preview& preview) override
    {
        QDialog dialog(parent_);
        dialog.setObjectName(QStringLiteral("dlgChanges"));
        dialog.setWindowTitle(QStringLiteral("Changes Save would write"));
        auto* layout = new QVBoxLayout(&dialog);
        auto* said = new QLabel(changesSummary(file, preview));
        said->setWordWrap(true);
        layout->addWidget(said);
        auto* text = new QPlainTextEdit(fromUtf8(preview.text));
        text->setObjectName(QStringLiteral("txtChanges"));
        text->setReadOnly(true);
        text->setLineWrapMode(QPlainTextEdit::NoWrap);
        text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        layout->addWidget(text);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
        QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
        layout->addWidget(buttons);
        dialog.resize(720, 480);
        dialog.exec();
    }

private:
    QWidget* parent_;
};

} // namespace

std::unique_ptr<FilePrompts> dialogPrompts(QWidget* parent)
{
    return std::make_unique<DialogPrompts>(parent);
}

} // namespace ui
