// Starts the main window offscreen, waits until the first entry is shown, and exits.
#include <frm_main.h>

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ui::setUpApplication();
    ui::frmMain window;
    window.show();
    QApplication::processEvents();
    return window.txtResult->toPlainText().isEmpty() ? 1 : 0;
}
