// Today's date: the system date, or a fixed one set by tests and by report --today.
#pragma once

#include <functional>

#include "query/period.h"

namespace faq::app {

query::CivilDate today();
void setToday(std::function<query::CivilDate()> source);

}  // namespace faq::app
