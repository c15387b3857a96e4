// The floor of the start-up benchmark: the least a Qt 6 Widgets program does to show a window of
// the main window's size with text in it (one label, one button, so fonts are loaded too).
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.setFixedSize(565, 222);
    auto* label = new QLabel(QStringLiteral("Step 1"), &window);
    label->setGeometry(12, 39, 60, 16);
    auto* button = new QPushButton(QStringLiteral("New project"), &window);
    button->setGeometry(78, 34, 145, 26);
    window.show();
    return app.exec();
}
