#include <file_session.h>
#include <frm_main.h>

#include <QApplication>
#include <QDirIterator>

int main(int argc, char* argv[])
{
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
    window.show();
    // "Open with", a file manager's double click and the command line give the admins file to open.
    if (const QStringList arguments = QApplication::arguments(); arguments.size() > 1)
        files.open(arguments.at(1));
    return QApplication::exec();
}
