#include "value.h"

#include <charconv>

namespace faq::data {

double Value::toDouble() const {
    switch (type) {
        case FieldType::Integer: return static_cast<double>(i);
        case FieldType::Double: return d;
        case FieldType::Null: return 0;
        default: break;
    }
    std::string_view t = text;
    while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
    if (!t.empty() && t.front() == '+') t.remove_prefix(1);
    double v = 0;
    std::from_chars(t.data(), t.data() + t.size(), v);
    return v;
}

std::string Value::toString() const {
    char buf[64];
    switch (type) {
        case FieldType::Null: return {};
        case FieldType::Integer: {
            auto r = std::to_chars(buf, buf + sizeof buf, i);
            return std::string(buf, r.ptr);
        }
        case FieldType::Double: {
            auto r = std::to_chars(buf, buf + sizeof buf, d);
            return std::string(buf, r.ptr);
        }
        default: return std::string(text);
    }
}

}  // namespace faq::data
