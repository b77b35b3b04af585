// The dates of a query: begin and end of the start-of-use period and the as-of date.
// The query window and the report command fill their criteria through these alone.
#pragma once

#include <optional>
#include <string>

#include "cmvlogin.h"

namespace faq::query {

struct CivilDate {
    int year = 0, month = 0, day = 0;
};

constexpr const char* kBadPeriodMessage = "期间输入不正确";

bool isLeapYear(int year);
int daysInMonth(int year, int month);
// A text the way the date recognition reads "yyyy-m-d": digits, real calendar day.
bool isValidDate(const std::string& text);

// Years of four ASCII digits from 1753 (where SQL Server's datetime begins) and months that
// are whole numbers from 1 to 12.
bool periodYearIsValid(const std::string& yyyy);
bool periodMonthIsValid(const std::string& mm);
bool periodIsValid(const std::string& begYear, const std::string& begMonth, const std::string& endYear,
                   const std::string& endMonth);
// yyyy + "-" + last two characters of ("0" + mm) + "-01"
std::string beginDate(const std::string& yyyy, const std::string& mm);
// The first of the days 31, 30, 29, 28 that makes a valid date with yyyy and mm.
std::optional<std::string> endDate(const std::string& yyyy, const std::string& mm);
// Today's day in the following month: year-month-dd, the month without a leading zero
// except "01" after December. A day the following month lacks becomes its last day.
std::string asOfDate(const CivilDate& today);

// Checks the period and writes strBegDate, strEndDate and strDate of p. Returns the
// message for bad criteria (nothing written) or nullopt.
std::optional<std::string> fillDates(CMvLogin& p, const std::string& begYear, const std::string& begMonth,
                                     const std::string& endYear, const std::string& endMonth, const CivilDate& today);

}  // namespace faq::query
