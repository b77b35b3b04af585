#include "program.h"

#include <QDate>
#include <cstdio>
#include <cstdlib>

namespace faq::app {

namespace {
std::function<void()>& ender() {
    static std::function<void()> f;
    return f;
}
std::function<query::CivilDate()>& todaySource() {
    static std::function<query::CivilDate()> f;
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
    std::fflush(nullptr);
    std::_Exit(0);
}

void setProgramEnder(std::function<void()> f) { ender() = std::move(f); }

query::CivilDate today() {
    if (todaySource()) return todaySource()();
    const QDate d = QDate::currentDate();
    return {d.year(), d.month(), d.day()};
}

void setToday(std::function<query::CivilDate()> source) { todaySource() = std::move(source); }

void showMessage(QWidget* parent, const QString& text, QMessageBox::Icon icon) {
    if (sink()) {
        sink()(text, icon);
        return;
    }
    QMessageBox box(icon, QString::fromUtf8(kAppTitle), text, QMessageBox::Ok, parent);
    box.exec();
}

void setMessageSink(MessageSink s) { sink() = std::move(s); }

}  // namespace faq::app
