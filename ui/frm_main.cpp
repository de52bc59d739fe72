#include "frm_main.h"

#include "mod_browser.h"
#include "window_faces.h"

#include <bulk_selection.h>
#include <catalogue.h>
#include <composer.h>
#include <entry_request.h>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QToolTip>

#include <array>

namespace ui {

namespace {

const QString kTitle = QStringLiteral("Vantorel KZ_admins.txt Helper");
constexpr int kClientWidth = 577;
constexpr int kClientHeight = 521;
// The file panel's width: the window widens to the left by it while a file is open.
constexpr int kPanelWidth = 192;
constexpr int kPasswordSpaceMs = 4000;

// Text of the core (a caption, or a view into the text that was read) as the
// controls take it.
QString fromView(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
QString captionOf(entry::UserType type)
{
    return fromView(entry::typeCaption(type));
}

// The help link is announced as a link, named by its caption.
class LinkAccessible : public QAccessibleWidget {
public:
    explicit LinkAccessible(QWidget* w) : QAccessibleWidget(w, QAccessible::Link) {}
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return static_cast<QLabel*>(widget())->text();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* linkAccessibleFactory(const QString&, QObject* object)
{
    if (object && object->isWidgetType() && object->objectName() == QLatin1String("lblMoreInfo"))
        return new LinkAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

template <typename W>
W* named(W* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// The option of each user type and its click handler, in the order of entry::UserType.
struct TypeOption {
    QRadioButton* frmMain::*option;
    void (frmMain::*click)();
};
constexpr std::array<TypeOption, entry::kTypeNames.size()> kTypeOptions{{
    {&frmMain::optDefault, &frmMain::optDefault_Click},
    {&frmMain::optIP, &frmMain::optIP_Click},
    {&frmMain::optName, &frmMain::optName_Click},
    {&frmMain::optSteamID, &frmMain::optSteamID_Click},
}};

} // namespace

QString helpPageName(const QString& tag)
{
    if (tag.isEmpty())
        return QStringLiteral("Admin_Commands");
    QString page = tag.left(1).toUpper() + tag.mid(1).replace(u' ', u'_');
    return page.replace(u'+', QStringLiteral("%2B"));
}

QFont windowFont()
{
    QFont font;
    font.setFamilies(windowFaces());
    font.setPointSizeF(8.25);
    return font;
}

void setUpApplication()
{
    QApplication::setFont(windowFont());
}

frmMain::frmMain(QWidget* parent)
    : QWidget(parent,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                  Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      openUrl_(&modBrowser::OpenURL)
{
    static const bool linkRoleInstalled = (QAccessible::installFactory(linkAccessibleFactory), true);
    (void)linkRoleInstalled;

    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(kTitle);
    setFixedSize(kClientWidth, kClientHeight);
    setFont(windowFont());

    createControls();
    placeControls();
    treeModel_ = new CommandTreeModel(perms_.tree, this);
    treCommands->setModel(treeModel_);
    connectHandlers();
    tmrPasswordSpace->start();
    Form_Load();
}

frmMain::~frmMain()
{
    // The adapter watches the tree, which is a member: delete it first. The
    // view, which is deleted after the members, falls back to an empty model
    // by itself, more cheaply than setModel(nullptr) would detach it.
    delete treeModel_;
}

void frmMain::createControls()
{
    Frame1 = named(new QGroupBox(QStringLiteral("User Type"), this), "Frame1");
    Frame2 = named(new QGroupBox(QStringLiteral("Commands"), this), "Frame2");
    Frame3 = named(new QGroupBox(QStringLiteral("Admin File Entry"), this), "Frame3");
    if (QStyle* style = frameStyle())
        for (QGroupBox* frame : {Frame1, Frame2, Frame3})
            frame->setStyle(style);

    // Created bottom of the stacking order first: a later sibling is drawn
    // over an earlier one, so the space warning covers the instructions.
    Picture1 = named(new QWidget(Frame1), "Picture1");
    lblType = named(new Label(captionOf(entry::UserType::Default), Picture1), "lblType");
    lblPassword = named(new Label(QStringLiteral("Check the box below to require this user to login with a password "
                                                 "before having access to commands."),
                                  Picture1),
                        "lblPassword");
    lblPasswordSpace =
        named(new Label(QStringLiteral("Passwords cannot contain any spaces."), Picture1), "lblPasswordSpace");
    optDefault = named(new QRadioButton(QStringLiteral("Default"), Picture1), "optDefault");
    optSteamID = named(new QRadioButton(QStringLiteral("SteamID"), Picture1), "optSteamID");
    optName = named(new QRadioButton(QStringLiteral("Name"), Picture1), "optName");
    optIP = named(new QRadioButton(QStringLiteral("IP Address"), Picture1), "optIP");
    txtID = named(new TextBox(Picture1), "txtID");
    chkPassword = named(new QCheckBox(QStringLiteral("Require Password"), Picture1), "chkPassword");
    txtPassword = named(new TextBox(Picture1), "txtPassword");
    tmrPasswordSpace = named(new QTimer(Frame1), "tmrPasswordSpace");

    lblCommands =
        named(new Label(QStringLiteral("Check the commands below that you want the user to have access to."), Frame2),
              "lblCommands");
    lblMoreInfo = named(new Label(QStringLiteral("Click here for more info."), Frame2), "lblMoreInfo");
    cmdCheckAll = named(new QPushButton(QStringLiteral("Check All"), Frame2), "cmdCheckAll");
    cmdUncheckAll = named(new QPushButton(QStringLiteral("Uncheck All"), Frame2), "cmdUncheckAll");
    cmdDefault = named(new QPushButton(QStringLiteral("Defaults"), Frame2), "cmdDefault");
    treCommands = named(new CommandTreeView(Frame2), "treCommands");

    lblResult = named(new Label(QStringLiteral("Copy and paste the text below into your KZ_admins.txt file."), Frame3),
                      "lblResult");
    txtResult = named(new ResultBox(Frame3), "txtResult");

    // The four options form one set of their own.
    userTypes_ = new QButtonGroup(this);
    for (QRadioButton* o : {optDefault, optSteamID, optName, optIP})
        userTypes_->addButton(o);
    userTypes_->setExclusive(true);
    optDefault->setChecked(true);
    // The circle at the right end, the caption to its left.
    optSteamID->setLayoutDirection(Qt::RightToLeft);
    optIP->setLayoutDirection(Qt::RightToLeft);

    for (Label* l : {lblPassword, lblPasswordSpace, lblCommands, lblMoreInfo, lblResult})
        l->setWordWrap(true);
    lblPasswordSpace->setForeColor(kRed);
    lblPasswordSpace->setAutoFillBackground(true);
    lblPasswordSpace->hide();

    txtID->setText(fromView(entry::kDefaultIdentity));
    txtID->setForeColor(kGrayText);
    txtID->setEnabled(false);
    txtID->setMaxLength(static_cast<int>(entry::kMaxIdentityLength));
    lblType->setBuddy(txtID);

    txtPassword->setEnabled(false);
    txtPassword->setMaxLength(static_cast<int>(entry::kMaxPasswordLength));
    txtPassword->setAccessibleName(QStringLiteral("Password"));

    tmrPasswordSpace->setInterval(kPasswordSpaceMs);

    QFont link = font();
    link.setUnderline(true);
    lblMoreInfo->setFont(link);
    lblMoreInfo->setForeColor(kBlue);
    lblMoreInfo->setCursor(Qt::PointingHandCursor);

    treCommands->setUniformRowHeights(true); // bold and plain rows are equally high
    treCommands->setAccessibleName(Frame2->title());
    treCommands->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    txtResult->setTabChangesFocus(true);
    txtResult->setTabStopDistance(8 * txtResult->fontMetrics().horizontalAdvance(u' '));

    for (QWidget* w : std::initializer_list<QWidget*>{Frame1, Frame2, Frame3, Picture1, lblType, lblPassword,
                                                      lblPasswordSpace, lblCommands, lblMoreInfo, lblResult})
        w->setFocusPolicy(Qt::NoFocus);
}

// Rectangles in pixels, relative to each control's container.
void frmMain::placeControls()
{
    Frame1->setGeometry(8, 8, 265, 137);
    Frame2->setGeometry(8, 152, 265, 361);
    Frame3->setGeometry(280, 8, 289, 505);

    Picture1->setGeometry(8, 16, 249, 113);
    optDefault->setGeometry(0, 0, 65, 17);
    optSteamID->setGeometry(184, 0, 65, 17);
    optName->setGeometry(0, 16, 57, 13);
    optIP->setGeometry(176, 16, 73, 17);
    lblType->move(0, 35);
    setTypeCaption(selectedUserType());
    txtID->setGeometry(56, 32, 193, 19);
    lblPassword->setGeometry(0, 56, 249, 33);
    lblPasswordSpace->setGeometry(0, 56, 249, 33);
    chkPassword->setGeometry(0, 88, 113, 17);
    txtPassword->setGeometry(120, 88, 129, 19);

    lblCommands->setGeometry(8, 16, 249, 33);
    cmdCheckAll->setGeometry(8, 48, 73, 17);
    cmdUncheckAll->setGeometry(96, 48, 73, 17);
    cmdDefault->setGeometry(184, 48, 73, 17);
    treCommands->setGeometry(8, 72, 249, 249);
    lblMoreInfo->setGeometry(8, 328, 249, 25);

    lblResult->setGeometry(8, 16, 273, 33);
    txtResult->setGeometry(8, 48, 273, 449);

    // Keyboard order of the controls that take the focus.
    QWidget* chain[] = {optDefault,  optSteamID,  optName,       optIP,      txtID,       chkPassword,
                        txtPassword, cmdCheckAll, cmdUncheckAll, cmdDefault, treCommands, txtResult};
    for (size_t i = 1; i < std::size(chain); ++i)
        setTabOrder(chain[i - 1], chain[i]);
}

void frmMain::connectHandlers()
{
    connect(treeModel_, &CommandTreeModel::expandRequested, treCommands, &QTreeView::setExpanded);
    connect(treeModel_, &CommandTreeModel::scrollToRequested, treCommands,
            [this](const QModelIndex& i) { treCommands->scrollTo(i); });
    connect(treeModel_, &CommandTreeModel::nodeCheck, this, &frmMain::treCommands_NodeCheck);
    connect(treCommands, &CommandTreeView::Click, this, &frmMain::treCommands_Click);
    treCommands->BeforeLabelEdit = [this](int& cancel) { treCommands_BeforeLabelEdit(cancel); };

    for (const auto& [option, click] : kTypeOptions)
        connect(this->*option, &QRadioButton::toggled, this, [this, click = click](bool on) {
            if (on)
                (this->*click)();
        });

    connect(txtID, &TextBox::Change, this, &frmMain::txtID_Change);
    connect(txtID, &TextBox::GotFocus, this, &frmMain::txtID_GotFocus);
    connect(chkPassword, &QCheckBox::toggled, this, &frmMain::chkPassword_Click);
    connect(txtPassword, &TextBox::Change, this, &frmMain::txtPassword_Change);
    connect(txtPassword, &TextBox::GotFocus, this, &frmMain::txtPassword_GotFocus);
    txtPassword->KeyPress = [this](int& keyAscii) { txtPassword_KeyPress(keyAscii); };
    connect(tmrPasswordSpace, &QTimer::timeout, this, &frmMain::tmrPasswordSpace_Timer);

    connect(cmdCheckAll, &QPushButton::clicked, this, &frmMain::cmdCheckAll_Click);
    connect(cmdUncheckAll, &QPushButton::clicked, this, &frmMain::cmdUncheckAll_Click);
    connect(cmdDefault, &QPushButton::clicked, this, &frmMain::cmdDefault_Click);
    connect(lblMoreInfo, &Label::Click, this, &frmMain::lblMoreInfo_Click);

    // An existing entry is brought in by pasting it into the result box, or by
    // dropping its text on the result box or the tree; a whole admins file by
    // Ctrl+O, the result box's menu, or dropping the file anywhere.
    txtResult->setToolTip(QStringLiteral("Paste an existing entry here, or drop it here, to edit it. "
                                         "Open File... (Ctrl+O) edits a whole admins file, Open Remote... "
                                         "(Ctrl+Shift+O) one on a server."));
    connect(txtResult, &ResultBox::loadRequested, this, [this](const QByteArray& text) { loadEntry(text); });
    connect(txtResult, &ResultBox::openRequested, this, &frmMain::openFileDialog);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_O), this), &QShortcut::activated, this,
            &frmMain::openFileDialog);
    connect(txtResult, &ResultBox::openRemoteRequested, this, &frmMain::openRemoteRequested);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O), this), &QShortcut::activated, this,
            &frmMain::openRemoteRequested);
    setAcceptDrops(true);
    takeDrops(txtResult->viewport(), [this](const QMimeData* data) { dropped(data); });
    takeDrops(treCommands->viewport(), [this](const QMimeData* data) { dropped(data); });
}

void frmMain::Form_Load()
{
    model::loadCatalogue(perms_);
    UpdateResult();
}

entry::UserType frmMain::selectedUserType() const
{
    for (std::size_t type = 0; type < kTypeOptions.size(); ++type)
        if ((this->*kTypeOptions[type].option)->isChecked())
            return static_cast<entry::UserType>(type);
    return entry::UserType::Default;
}

void frmMain::UpdateResult()
{
    const std::string id = txtID->text().toStdString();
    const std::string password = txtPassword->text().toStdString();
    // The check box's value as the entry reads it: 0 unticked, 1 ticked, 2 greyed.
    const int passwordValue = chkPassword->checkState() == Qt::Checked ? 1
        : chkPassword->checkState() == Qt::PartiallyChecked            ? 2
                                                                       : 0;
    const entry::EntryInputs in{selectedUserType(), id, passwordValue, password};
    txtResult->setEntry(QString::fromStdString(entry::composeEntry(perms_.colLevels, perms_.colCommands, in)));
    emit entryEdited();
}

entry::Block ShownEntry::block() const
{
    entry::Block b;
    b.type = type;
    b.identity = identity;
    if (password)
        b.password = *password;
    b.granted = granted;
    return b;
}

ShownEntry frmMain::shownEntry() const
{
    ShownEntry shown;
    shown.type = selectedUserType();
    shown.identity = txtID->text().toStdString();
    shown.identityIsPrompt = IDPlaceholderShown;
    if (chkPassword->checkState() == Qt::Checked && !PasswordPlaceholderShown && !txtPassword->text().isEmpty())
        shown.password = txtPassword->text().toStdString();
    for (std::size_t i = 0; i < perms_.colCommands.size(); ++i)
        shown.granted[i] = perms_.colCommands[i]->Checked();
    return shown;
}

// The label shows the prefix of the type's identity line; it keeps its left and
// top edges and takes the width of its caption.
void frmMain::setTypeCaption(entry::UserType type)
{
    lblType->setText(captionOf(type));
    lblType->resize(lblType->sizeHint().width(), 13);
}

void frmMain::optDefault_Click()
{
    txtID->setForeColor(kWindowText);
    txtID->setText(fromView(entry::kDefaultIdentity));
    txtID->setEnabled(false);
    IDPlaceholderShown = false;
    setTypeCaption(entry::UserType::Default);
    chkPassword->setEnabled(false);
    chkPassword->setChecked(false);
    // Run even if unticking raised no click, so the password is always reset.
    chkPassword_Click();
    UpdateResult();
}

void frmMain::applyIdentityRow(entry::UserType type, const QString& prompt)
{
    txtID->setForeColor(kGrayText);
    txtID->setText(prompt);
    txtID->setEnabled(true);
    IDPlaceholderShown = true;
    setTypeCaption(type);
    chkPassword->setEnabled(true);
    UpdateResult();
}

void frmMain::optIP_Click()
{
    applyIdentityRow(entry::UserType::IPAddress, QStringLiteral("Enter IP address here"));
}

void frmMain::optName_Click()
{
    applyIdentityRow(entry::UserType::Name, QStringLiteral("Enter name here"));
}

void frmMain::optSteamID_Click()
{
    applyIdentityRow(entry::UserType::SteamID, QStringLiteral("Enter SteamID here"));
}

void frmMain::txtID_Change()
{
    UpdateResult();
}

// Entering a box that shows its grey prompt empties it for typing; the prompt
// does not come back when the box is left empty.
void frmMain::clearPrompt(TextBox* box, bool& placeholderShown)
{
    if (!placeholderShown)
        return;
    box->setText(QString());
    box->setForeColor(kWindowText);
    placeholderShown = false;
}

void frmMain::txtID_GotFocus()
{
    clearPrompt(txtID, IDPlaceholderShown);
}

void frmMain::chkPassword_Click()
{
    if (chkPassword->checkState() == Qt::Checked) {
        txtPassword->setForeColor(kGrayText);
        txtPassword->setText(QStringLiteral("Enter_password_here"));
        txtPassword->setEnabled(true);
        PasswordPlaceholderShown = true;
    } else {
        txtPassword->setText(QString());
        txtPassword->setForeColor(kWindowText);
        txtPassword->setEnabled(false);
        PasswordPlaceholderShown = false;
    }
    UpdateResult();
}

void frmMain::txtPassword_GotFocus()
{
    clearPrompt(txtPassword, PasswordPlaceholderShown);
}

void frmMain::txtPassword_KeyPress(int& keyAscii)
{
    if (keyAscii != ' ')
        return;
    keyAscii = 0;
    lblPasswordSpace->show();
    tmrPasswordSpace->stop();
    tmrPasswordSpace->start();
}

void frmMain::txtPassword_Change()
{
    const QString text = txtPassword->text();
    QString stripped = text;
    stripped.remove(u' ');
    if (stripped == text) {
        UpdateResult();
        return;
    }
    // Keep the caret after the same character it followed.
    const int caret =
        txtPassword->cursorPosition() - static_cast<int>(text.left(txtPassword->cursorPosition()).count(u' '));
    txtPassword->setText(stripped); // the nested change rebuilds the entry
    txtPassword->setCursorPosition(caret);
}

void frmMain::tmrPasswordSpace_Timer()
{
    lblPasswordSpace->hide();
    tmrPasswordSpace->stop();
}

void frmMain::cmdCheckAll_Click()
{
    model::checkAll(perms_);
    UpdateResult();
}

void frmMain::cmdUncheckAll_Click()
{
    model::uncheckAll(perms_);
    UpdateResult();
}

void frmMain::cmdDefault_Click()
{
    model::restoreDefaults(perms_);
    UpdateResult();
}

void frmMain::treCommands_BeforeLabelEdit(int& cancel)
{
    cancel = 1;
}

void frmMain::treCommands_Click()
{
    const model::Node* selected = CommandTreeModel::nodeAt(treCommands->currentIndex());
    if (!selected || !treCommands->selectionModel()->isSelected(treCommands->currentIndex()))
        return;
    // Nodes are told apart by identity. Every text in the tree is distinct, so
    // this is the same test as comparing their display texts.
    if (selected == perms_.tree.item(1)->Root())
        return;
    // A command under a level node has a page of its own; the level nodes, the
    // no-level node and the commands under it do not.
    if (selected->Parent()->facts().kind == model::NodeKind::Level) {
        const QString text = QString::fromStdString(selected->Text());
        lblMoreInfo->setText(QStringLiteral("Click here for more info on ") + text);
        lblMoreInfo->setTag(text);
    } else {
        lblMoreInfo->setText(QStringLiteral("Click here for more info."));
        lblMoreInfo->setTag(QString());
    }
}

void frmMain::treCommands_NodeCheck(model::Node* node)
{
    // The view has set the node's tick; its parents and descendants follow.
    model::userTick(*node, node->Checked());
    UpdateResult();
}

QString frmMain::loadEntry(const QByteArray& text)
{
    const entry::ReadResult read = entry::read(std::string_view(text.constData(), static_cast<size_t>(text.size())));
    const QString refusal = refusalOf(read);
    if (refusal.isEmpty()) {
        showEntry(read.blocks.front());
        emit entryEdited(); // a pasted entry is the user's change
    } else
        QToolTip::showText(txtResult->mapToGlobal(QPoint(0, 0)), refusal, txtResult);
    return refusal;
}

// Why the window cannot hold what was read, in one line; empty when it can.
QString frmMain::refusalOf(const entry::ReadResult& read) const
{
    const QString no = QStringLiteral("Not loaded: ");
    for (const entry::Diagnostic& d : read.diagnostics)
        if (d.severity == entry::Severity::Error)
            return no + QStringLiteral("line %1: %2").arg(d.line).arg(QString::fromStdString(d.message));
    if (read.errors > 0) // past the diagnostics kept
        return no + QStringLiteral("the text has errors");
    if (read.blocks.size() != 1)
        return no +
            (read.blocks.empty()
                 ? QStringLiteral("the text holds no entry")
                 : QStringLiteral("the text holds %1 entries; paste one at a time").arg(read.blocks.size()));
    const entry::Block& b = read.blocks.front();
    const std::optional<entry::Refusal> refusal = entry::refusalOf({b.type, b.identity, b.password});
    if (!refusal)
        return {};
    switch (refusal->kind) {
    case entry::Refusal::Kind::DefaultIdentity:
    case entry::Refusal::Kind::DefaultPassword:
        return no + QStringLiteral("a Default entry has the identity Default and no password");
    case entry::Refusal::Kind::TooLong:
        return no +
            QStringLiteral("the %1 is longer than %2 characters")
                .arg(refusal->field == entry::Refusal::Field::Password ? QStringLiteral("password")
                                                                       : QStringLiteral("identity"))
                .arg(refusal->limit);
    default:
        return no + QString::fromStdString(entry::describe(*refusal));
    }
}

// Sets every input as the user would, then rebuilds the entry once. The
// handlers' own rebuilds along the way are never painted: painting waits for
// the event loop, and the result box then repaints the lines that changed.
void frmMain::showEntry(const entry::Block& b, bool identityIsPrompt)
{
    const QSignalBlocker quiet(this);
    const auto [option, click] = kTypeOptions[static_cast<size_t>(b.type)];
    if ((this->*option)->isChecked())
        (this->*click)(); // chosen again, as a click on it would: the identity box shows the type's prompt
    else
        (this->*option)->setChecked(true);
    if (b.type != entry::UserType::Default) {
        // A grey prompt is shown as it was, with the text the box held.
        txtID->setForeColor(identityIsPrompt ? kGrayText : kWindowText);
        txtID->setText(fromView(b.identity));
        IDPlaceholderShown = identityIsPrompt;
        chkPassword->setChecked(b.password.has_value());
        if (b.password) {
            PasswordPlaceholderShown = false;
            txtPassword->setForeColor(kWindowText);
            txtPassword->setText(fromView(*b.password));
        }
    }
    entry::applyGranted(perms_, b.granted);
    UpdateResult();
}

void frmMain::openFileDialog()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open File"), {},
                                                      QStringLiteral("Admin files (*.txt);;All files (*)"));
    if (!path.isEmpty())
        emit openRequested(path);
}

// The panel takes the window's left side, which widens by it to the left, so
// that the controls stay where they were on the screen; where the screen has
// no room on the left it widens to the right, and it never leaves the screen.
void frmMain::setSidePanel(QWidget* panel)
{
    const bool wasShown = sidePanel_ != nullptr;
    delete sidePanel_;
    sidePanel_ = panel;
    const bool shown = panel != nullptr;
    if (shown)
        panel->setParent(this);
    if (shown != wasShown) {
        const int dx = shown ? kPanelWidth : -kPanelWidth;
        for (QWidget* frame : {Frame1, Frame2, Frame3})
            frame->move(frame->pos() + QPoint(dx, 0));
        setFixedSize(kClientWidth + (shown ? kPanelWidth : 0), kClientHeight);
        if (isVisible()) {
            const int width = frameGeometry().width();
            int x = pos().x() + (shown ? -kPanelWidth : panelShift_);
            if (const QScreen* s = screen()) {
                const QRect room = s->availableGeometry();
                x = std::max(room.left(), std::min(x, room.left() + room.width() - width));
            }
            panelShift_ = shown ? pos().x() - x : 0;
            move(x, pos().y());
        }
    }
    if (shown)
        panel->show();
}

void frmMain::closeEvent(QCloseEvent* event)
{
    if (mayClose_ && !mayClose_())
        event->ignore();
    else
        event->accept();
}

// A dropped file is opened; dropped text is loaded as one entry.
void frmMain::dropped(const QMimeData* data)
{
    for (const QUrl& url : data->urls())
        if (url.isLocalFile() || url.scheme() == u"sftp" || url.scheme() == u"ftp" || url.scheme() == u"ftps") {
            emit openRequested(url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::RemovePassword));
            return;
        }
    if (data->hasText())
        loadEntry(data->text().toUtf8());
}

void frmMain::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls() || event->mimeData()->hasText())
        event->acceptProposedAction();
}

void frmMain::dropEvent(QDropEvent* event)
{
    event->acceptProposedAction();
    dropped(event->mimeData());
}

void frmMain::lblMoreInfo_Click()
{
    openUrl_(QLatin1String(kWikiBase) + helpPageName(lblMoreInfo->Tag()));
}

} // namespace ui
