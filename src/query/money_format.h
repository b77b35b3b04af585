// The display format of the 原值 column, "###,###,###,###,###.00 ": thousands separators,
// two decimals rounded half away from zero, no digit before the point below one, and a
// trailing blank. Null shows as empty text.
#pragma once

#include <string>
#include <string_view>

#include "data/value.h"

namespace faq::query {

std::string formatMoney(const data::Value& v);
// A plain decimal text ("-1234.5", "0.125"); anything else comes back unchanged.
std::string formatMoneyText(std::string_view decimal);

}  // namespace faq::query
