#include "program.h"

#include <cstdio>
#include <cstdlib>

#include "export/atomic_file.h"

namespace faq::app {

namespace {
std::function<void()>& ender() {
    static std::function<void()> f;
    return f;
}
MessageSink& sink() {
    static MessageSink s;
    return s;
}
}  // namespace

void endProgram() {
    if (ender()) {
        ender()();
        return;
    }
    output::removePendingTempsBeforeExit();  // an export cut short leaves nothing behind
    std::fflush(nullptr);
    std::_Exit(0);
}

void setProgramEnder(std::function<void()> f) {
    ender() = std::move(f);
}

void showMessage(QWidget* parent, const QString& text, QMessageBox::Icon icon) {
    if (sink()) {
        sink()(text, icon);
        return;
    }
    QMessageBox box(icon, QString::fromUtf8(kAppTitle), text, QMessageBox::Ok, parent);
    box.exec();
}

void setMessageSink(MessageSink s) {
    sink() = std::move(s);
}

}  // namespace faq::app
