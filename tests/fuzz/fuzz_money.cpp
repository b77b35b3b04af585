// The 原值 format: always "[-][digits with commas].dd " for numbers, and the value it shows
// is the number rounded to cents.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "query/money_format.h"

using faq::data::FieldType;
using faq::data::Value;

namespace {

void checkShape(const std::string& s) {
    size_t i = 0;
    if (i < s.size() && s[i] == '-') ++i;
    const size_t point = s.find('.');
    if (point == std::string::npos || s.size() != point + 4 || s.back() != ' ') std::abort();
    const std::string whole = s.substr(i, point - i);
    for (size_t k = 0; k < whole.size(); ++k) {
        const size_t fromEnd = whole.size() - k;
        if (fromEnd % 4 == 0) {
            if (whole[k] != ',') std::abort();
        } else if (whole[k] < '0' || whole[k] > '9') {
            std::abort();
        }
    }
    if (!whole.empty() && (whole[0] == '0' || whole[0] == ',')) std::abort();
    if (s[point + 1] < '0' || s[point + 1] > '9' || s[point + 2] < '0' || s[point + 2] > '9') std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size >= sizeof(double)) {
        Value v;
        v.type = FieldType::Double;
        std::memcpy(&v.d, data, sizeof(double));
        if (std::isfinite(v.d)) {
            const std::string s = faq::query::formatMoney(v);
            checkShape(s);
            if (std::fabs(v.d) < 1e12) {
                std::string plain;
                for (char c : s)
                    if (c != ',' && c != ' ') plain += c;
                const double shown = std::strtod(plain.c_str(), nullptr);
                if (std::fabs(shown - v.d) > 0.005 + 1e-9 * std::fabs(v.d)) std::abort();
            }
        }
    }
    // Any text as a decimal: numbers get the shape, anything else comes back unchanged.
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string out = faq::query::formatMoneyText(text);
    if (out != text) checkShape(out);
    return 0;
}
