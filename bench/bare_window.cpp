// The baseline of the start-up benchmark: a Qt program that shows one empty
// window, maximised as the program's first start is, and nothing else.
#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare window"));
    window.setWindowState(Qt::WindowMaximized);
    window.show();
    return QApplication::exec();
}
