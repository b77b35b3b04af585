#include "clock.h"

#include <QDate>

namespace faq::app {

namespace {
std::function<query::CivilDate()>& source() {
    static std::function<query::CivilDate()> f;
    return f;
}
}  // namespace

query::CivilDate today() {
    if (source()) return source()();
    const QDate d = QDate::currentDate();
    return {d.year(), d.month(), d.day()};
}

void setToday(std::function<query::CivilDate()> s) { source() = std::move(s); }

}  // namespace faq::app
