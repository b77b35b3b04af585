// A typed cell value. Text views point into the recordset that produced them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace faq::data {

enum class FieldType : uint8_t { Null, Integer, Double, Decimal, Text, DateTime };

struct Value {
    FieldType type = FieldType::Null;
    int64_t i = 0;          // Integer
    double d = 0;           // Double
    std::string_view text;  // Decimal (exact digits), Text, DateTime ("YYYY-MM-DD[ HH:MM:SS[.f]]")

    bool isNull() const { return type == FieldType::Null; }
    bool isNumber() const {
        return type == FieldType::Integer || type == FieldType::Double || type == FieldType::Decimal;
    }
    // Numeric value; texts are parsed, and what does not parse is 0.
    double toDouble() const;
    // Plain text: integers in decimal, doubles in their shortest exact form, null empty.
    std::string toString() const;
};

}  // namespace faq::data
