// The start-up baseline: a bare Qt Widgets program that shows one dialog and ends as soon
// as the event loop has shown it, as faquery's start-up probe does.
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("数据库设置")));
    dialog.show();
    QTimer::singleShot(0, [&dialog] {
        std::fflush(nullptr);
        std::_Exit(dialog.isVisible() ? 0 : 1);
    });
    return app.exec();
}
