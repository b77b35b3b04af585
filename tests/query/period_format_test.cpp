// Period, end date and as-of date; the 原值 display format.
#include <gtest/gtest.h>

#include "query/exact_sum.h"
#include "query/money_format.h"
#include "query/period.h"

using namespace faq::query;
using faq::data::FieldType;
using faq::data::Value;

namespace {

TEST(Period, EndDateIsTheLastDayOfTheMonth) {
    EXPECT_EQ(endDate("2026", "2"), "2026-02-28");
    EXPECT_EQ(endDate("2024", "2"), "2024-02-29");
    EXPECT_EQ(endDate("2026", "4"), "2026-04-30");
    EXPECT_EQ(endDate("2026", "05"), "2026-05-31");
    EXPECT_EQ(endDate("2026", "12"), "2026-12-31");
    EXPECT_EQ(endDate("1900", "2"), "1900-02-28");
    EXPECT_EQ(endDate("2000", "2"), "2000-02-29");
    EXPECT_EQ(endDate("abcd", "2"), std::nullopt);
    EXPECT_EQ(beginDate("2026", "1"), "2026-01-01");
    EXPECT_EQ(beginDate("2026", "05"), "2026-05-01");
    EXPECT_EQ(beginDate("2026", "12"), "2026-12-01");
}

TEST(Period, AsOfDateIsTodayInTheFollowingMonth) {
    EXPECT_EQ(asOfDate({2026, 5, 6}), "2026-6-06");
    EXPECT_EQ(asOfDate({2026, 9, 9}), "2026-10-09");
    EXPECT_EQ(asOfDate({2026, 12, 15}), "2027-01-15");
    EXPECT_EQ(asOfDate({2026, 1, 31}), "2026-2-28");  // no 31 February: its last day
    EXPECT_EQ(asOfDate({2024, 1, 30}), "2024-2-29");
    EXPECT_EQ(asOfDate({2026, 3, 31}), "2026-4-30");
    EXPECT_EQ(asOfDate({2026, 12, 31}), "2027-01-31");
}

TEST(Period, BadPeriodsAreRejectedBeforeAnythingIsWritten) {
    CMvLogin p;
    p.strEndDate = "kept";
    EXPECT_EQ(fillDates(p, "2026", "1", "2026", "12", {2026, 12, 7}), std::nullopt);
    EXPECT_EQ(p.strBegDate, "2026-01-01");
    EXPECT_EQ(p.strEndDate, "2026-12-31");
    EXPECT_EQ(p.strDate, "2027-01-07");
    const char* badYears[] = {"", "26", "99999", "-1", "２０２６", "20a6", " 2026", "0000", "1752"};
    for (const char* y : badYears) {
        CMvLogin q;
        EXPECT_EQ(fillDates(q, y, "1", "2026", "12", {2026, 12, 7}), kBadPeriodMessage) << y;
        EXPECT_EQ(fillDates(q, "2026", "1", y, "12", {2026, 12, 7}), kBadPeriodMessage) << y;
        EXPECT_TRUE(q.strBegDate.empty() && q.strEndDate.empty() && q.strDate.empty());
    }
    for (const char* m : {"", "0", "13", "-1", "０２", "1.5", " 2", "99999999999"})
        EXPECT_EQ(fillDates(p, "2026", m, "2026", "12", {2026, 12, 7}), kBadPeriodMessage) << m;
    EXPECT_EQ(fillDates(p, "2026", "005", "2026", "012", {2026, 12, 7}), std::nullopt);
    EXPECT_EQ(p.strBegDate, "2026-05-01");
    EXPECT_EQ(p.strEndDate, "2026-12-31");
}

TEST(Period, DateRecognition) {
    EXPECT_TRUE(isValidDate("2026-2-28"));
    EXPECT_FALSE(isValidDate("2026-02-29"));
    EXPECT_TRUE(isValidDate("2024-02-29"));
    EXPECT_FALSE(isValidDate("2026-13-01"));
    EXPECT_FALSE(isValidDate("2026--01"));
    EXPECT_FALSE(isValidDate("x-1-1"));
}

Value dbl(double d) {
    Value v;
    v.type = FieldType::Double;
    v.d = d;
    return v;
}

TEST(MoneyFormat, ThousandsTwoDecimalsAndATrailingBlank) {
    EXPECT_EQ(formatMoney(dbl(1234.5)), "1,234.50 ");
    EXPECT_EQ(formatMoney(dbl(0)), ".00 ");
    EXPECT_EQ(formatMoney(dbl(0.5)), ".50 ");
    EXPECT_EQ(formatMoney(dbl(-1234.5)), "-1,234.50 ");
    EXPECT_EQ(formatMoney(dbl(2.675)), "2.68 ");
    EXPECT_EQ(formatMoney(dbl(-2.675)), "-2.68 ");
    EXPECT_EQ(formatMoney(dbl(0.005)), ".01 ");
    EXPECT_EQ(formatMoney(dbl(-0.004)), ".00 ");
    EXPECT_EQ(formatMoney(dbl(999.995)), "1,000.00 ");
    EXPECT_EQ(formatMoney(dbl(23946803.730000004)), "23,946,803.73 ");
    EXPECT_EQ(formatMoney(dbl(123456789012345.67)), "123,456,789,012,345.67 ");
    EXPECT_EQ(formatMoney(dbl(1e20)), "100,000,000,000,000,000,000.00 ");
    EXPECT_EQ(formatMoney(Value{}), "");
    Value i;
    i.type = FieldType::Integer;
    i.i = -1000;
    EXPECT_EQ(formatMoney(i), "-1,000.00 ");
    Value dec;
    dec.type = FieldType::Decimal;
    dec.text = "1234567.125";
    EXPECT_EQ(formatMoney(dec), "1,234,567.13 ");
    EXPECT_EQ(formatMoneyText("12a"), "12a");
    EXPECT_EQ(formatMoneyText("-fe"), "-fe");  // the sign stays with text that is no number
    EXPECT_EQ(formatMoneyText("-"), "-");
}

// A level's sums as the server's SUM gives them: decimals to their last digit, whatever the
// order or the scales; a binary value among them makes the sum binary; nothing added, NULL.
TEST(MoneyFormat, SumsOfDecimalsAreExact) {
    const auto decimal = [](const char* text) {
        Value v;
        v.type = FieldType::Decimal;
        v.text = text;
        return v;
    };
    const auto sum = [](std::initializer_list<Value> values) {
        ExactSum s;
        for (const Value& v : values) s.add(v);
        std::string text;
        const Value v = s.value(text);
        return v.type == FieldType::Decimal ? text : v.type == FieldType::Null ? "NULL" : "~" + std::to_string(v.d);
    };
    EXPECT_EQ(sum({decimal("0.1"), decimal("0.2")}), "0.3");
    EXPECT_EQ(sum({decimal("1234567890123.4567"), decimal("-0.0067"), decimal("+1")}), "1234567890124.4500");
    EXPECT_EQ(sum({decimal("-0.05"), decimal("0.04")}), "-0.01");
    Value i;
    i.type = FieldType::Integer;
    i.i = 7;
    EXPECT_EQ(sum({i, decimal(".5"), Value{}}), "7.5");
    EXPECT_EQ(sum({Value{}, Value{}}), "NULL");
    EXPECT_EQ(sum({decimal("0.25"), dbl(0.5)}), "~0.750000");
    // Beyond what 128 bits hold, the sum goes binary rather than wrong.
    ExactSum big;
    big.add(decimal("900000000000000000000000000000000000"));
    big.add(decimal("900000000000000000000000000000000000"));
    std::string bigText;
    const Value large = big.value(bigText);
    ASSERT_EQ(large.type, FieldType::Double);
    EXPECT_DOUBLE_EQ(large.d, 1.8e36);
    ExactSum a, b;
    a.add(decimal("1.005"));
    b.add(decimal("2.1"));
    a.add(b);
    std::string text;
    EXPECT_EQ(std::string(a.value(text).text), "3.105");
}

}  // namespace
