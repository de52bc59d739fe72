#include <file_session.h>
#include <frm_main.h>

#include <remote_files.h>

#include <QApplication>
#include <QDirIterator>
#include <QInputDialog>

#include <cstdio>

namespace {

// Started by ssh to ask for a login password: a script's password from the environment, else a dialog; the answer
// goes to standard output, and no answer (exit status 1) skips that way of logging in.
int askForSsh(int argc, char* argv[])
{
    const std::string question = argc > 1 ? argv[1] : "";
    std::optional<std::string> answer = remote::passwordFromEnvironment(question);
    if (!answer) {
        QApplication app(argc, argv);
        bool ok = false;
        const QString text = QInputDialog::getText(nullptr, QStringLiteral("OpenSSH"), QString::fromUtf8(question),
                                                   QLineEdit::Password, {}, &ok);
        if (!ok)
            return 1;
        answer = text.toStdString();
    }
    return std::fputs((*answer + "\n").c_str(), stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    if (remote::isAskpassRun())
        return askForSsh(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VantorelAdmins"));
    QApplication::setApplicationVersion(QStringLiteral(VANTOREL_VERSION));
    // Every size the resources hold; Qt picks the nearest for each use.
    QIcon icon;
    for (QDirIterator it(QStringLiteral(":/icons/hicolor"), {QStringLiteral("*.png")}, QDir::Files,
                         QDirIterator::Subdirectories);
         it.hasNext();)
        icon.addFile(it.next());
    QApplication::setWindowIcon(icon);
    ui::setUpApplication();
    ui::frmMain window;
    ui::FileSession files(&window);
    remote::useAskpass(files.ssh(), QCoreApplication::applicationFilePath().toStdString());
    window.show();
    // "Open with", a file manager's double click and the command line give the admins file to open.
    if (const QStringList arguments = QApplication::arguments(); arguments.size() > 1)
        files.open(arguments.at(1));
    return QApplication::exec();
}
