// The least a Qt window with a tree and a text box costs to start: the
// yardstick for startup_bench.
#include <QApplication>
#include <QPlainTextEdit>
#include <QTreeView>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setFixedSize(577, 521);
    QTreeView tree(&window);
    tree.setGeometry(16, 224, 249, 249);
    QPlainTextEdit text(&window);
    text.setGeometry(288, 56, 273, 449);
    window.show();
    text.setPlainText(QStringLiteral("entry"));
    QApplication::processEvents();
    return text.toPlainText().isEmpty() ? 1 : 0;
}
