#include "money_format.h"

#include <charconv>
#include <cmath>

namespace faq::query {

std::string formatMoneyText(std::string_view text) {
    std::string_view s = text;
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    const size_t point = s.find('.');
    std::string_view intPart = s.substr(0, point);
    std::string_view frac = point == std::string_view::npos ? std::string_view() : s.substr(point + 1);
    // Anything that is not a plain decimal comes back as it was.
    if (intPart.empty() && frac.empty()) return std::string(text);
    for (char c : intPart)
        if (c < '0' || c > '9') return std::string(text);
    for (char c : frac)
        if (c < '0' || c > '9') return std::string(text);

    // Digits of the value in hundredths, rounded half away from zero.
    std::string digits(intPart);
    digits += frac.size() > 0 ? frac[0] : '0';
    digits += frac.size() > 1 ? frac[1] : '0';
    if (frac.size() > 2 && frac[2] >= '5') {
        int i = static_cast<int>(digits.size()) - 1;
        while (i >= 0 && digits[static_cast<size_t>(i)] == '9') digits[static_cast<size_t>(i--)] = '0';
        if (i < 0)
            digits.insert(digits.begin(), '1');
        else
            ++digits[static_cast<size_t>(i)];
    }
    size_t lead = digits.find_first_not_of('0');
    const bool zero = lead == std::string::npos;
    std::string whole = digits.substr(0, digits.size() - 2);
    const std::string cents = digits.substr(digits.size() - 2);
    lead = whole.find_first_not_of('0');
    whole = lead == std::string::npos ? std::string() : whole.substr(lead);

    std::string out;
    if (negative && !zero) out += '-';
    for (size_t i = 0; i < whole.size(); ++i) {
        if (i > 0 && (whole.size() - i) % 3 == 0) out += ',';
        out += whole[i];
    }
    out += '.';
    out += cents;
    out += ' ';
    return out;
}

std::string formatMoney(const data::Value& v) {
    switch (v.type) {
        case data::FieldType::Null: return {};
        case data::FieldType::Integer: return formatMoneyText(std::to_string(v.i));
        case data::FieldType::Double: {
            if (!std::isfinite(v.d)) return v.toString();
            // The shortest text that reads back as the same double: 2.675 rounds to 2.68.
            char buf[400];
            auto r = std::to_chars(buf, buf + sizeof buf, v.d, std::chars_format::fixed);
            return formatMoneyText(std::string_view(buf, static_cast<size_t>(r.ptr - buf)));
        }
        default: return formatMoneyText(v.text);
    }
}

}  // namespace faq::query
