#include "period.h"

#include <chrono>
#include <cstdio>

namespace faq::query {

namespace {

bool allDigits(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// Reads digits [pos, pos+n) into *out; false when any is not a digit.
bool number(const std::string& s, size_t pos, size_t n, int* out) {
    if (n == 0 || n > 9 || pos + n > s.size()) return false;
    int v = 0;
    for (size_t i = pos; i < pos + n; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (s[i] - '0');
    }
    *out = v;
    return true;
}

}  // namespace

bool isLeapYear(int y) {
    return std::chrono::year(y).is_leap();
}

int daysInMonth(int year, int month) {
    using namespace std::chrono;
    return static_cast<int>(static_cast<unsigned>(
        year_month_day_last(std::chrono::year(year), month_day_last(std::chrono::month(static_cast<unsigned>(month))))
            .day()));
}

bool isValidDate(const std::string& text) {
    const size_t d1 = text.find('-');
    const size_t d2 = d1 == std::string::npos ? d1 : text.find('-', d1 + 1);
    if (d2 == std::string::npos) return false;
    int y, m, d;
    if (!number(text, 0, d1, &y) || !number(text, d1 + 1, d2 - d1 - 1, &m) ||
        !number(text, d2 + 1, text.size() - d2 - 1, &d))
        return false;
    return y >= 1 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= daysInMonth(y, m);
}

bool periodYearIsValid(const std::string& y) {
    // SQL Server's datetime starts in 1753: an earlier year could only fail at the server.
    return y.size() == 4 && allDigits(y) && std::stoi(y) >= 1753;
}

bool periodMonthIsValid(const std::string& m) {
    if (!allDigits(m) || m.size() > 9) return false;
    const int v = std::stoi(m);
    return v >= 1 && v <= 12;
}

bool periodIsValid(const std::string& begYear, const std::string& begMonth, const std::string& endYear,
                   const std::string& endMonth) {
    return periodYearIsValid(begYear) && periodYearIsValid(endYear) && periodMonthIsValid(begMonth) &&
           periodMonthIsValid(endMonth);
}

static std::string lastTwo(const std::string& s) {
    return s.size() <= 2 ? s : s.substr(s.size() - 2);
}

std::string beginDate(const std::string& yyyy, const std::string& mm) {
    return yyyy + "-" + lastTwo("0" + mm) + "-01";
}

std::optional<std::string> endDate(const std::string& yyyy, const std::string& mm) {
    const std::string p = yyyy + "-" + lastTwo("0" + mm) + "-";
    for (int day : {31, 30, 29, 28})
        if (isValidDate(p + std::to_string(day))) return p + std::to_string(day);
    return std::nullopt;
}

std::string asOfDate(const CivilDate& today) {
    int year = today.year;
    std::string month;
    int nextMonth;
    if (today.month == 12) {
        month = "01", year += 1, nextMonth = 1;
    } else {
        nextMonth = today.month + 1;
        month = std::to_string(nextMonth);
    }
    const int day = std::min(today.day, daysInMonth(year, nextMonth));
    char dd[16];
    std::snprintf(dd, sizeof dd, "%02d", day);
    return std::to_string(year) + "-" + month + "-" + dd;
}

std::optional<std::string> fillDates(CMvLogin& p, const std::string& begYear, const std::string& begMonth,
                                     const std::string& endYear, const std::string& endMonth, const CivilDate& today) {
    if (!periodIsValid(begYear, begMonth, endYear, endMonth)) return std::string(kBadPeriodMessage);
    // The as-of date lies a month ahead; past 9999 no database takes it.
    if (today.year > 9999 || (today.year == 9999 && today.month == 12)) return std::string("当前日期超出范围");
    auto end = endDate(endYear, endMonth);
    if (!end) return std::string(kBadPeriodMessage);
    p.strBegDate = beginDate(begYear, begMonth);
    p.strEndDate = *end;
    p.strDate = asOfDate(today);
    return std::nullopt;
}

}  // namespace faq::query
