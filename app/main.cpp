#include <frm_main.h>

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VantorelAdmins"));
    QApplication::setApplicationVersion(QStringLiteral("1.00"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/vantorel-admins.png")));
    ui::frmMain window;
    window.show();
    return QApplication::exec();
}
