// The SQL Server features the program's statements use, for SQLite: convert() with the
// date styles, varchar(N) as its type argument, and the collation "sqldate" under which
// date columns compare with texts such as '2026-6-06' as dates.
#pragma once

#include <string>

struct sqlite3;

namespace faq::data {

// Registers the functions and the collation on db; returns an SQLite result code.
int registerSqlDialect(sqlite3* db);

// The asset summary in a form SQLite evaluates in linear time. Its latest-card subquery
// filters on the outer row only (the dates name fa_Cards, not the alias fc), which SQL
// Server decorrelates and SQLite runs again for every outer row. Since
//   x IN (SELECT Max(fc.id) FROM fa_Cards fc WHERE c(outer) GROUP BY fc.num)
// holds exactly when c(outer) AND x IN (SELECT Max(fc.id) FROM fa_Cards fc GROUP BY fc.num)
// holds (a false or unknown c leaves no group at all), both halves of the program's own
// statement are rewritten so; any other text comes back unchanged.
std::string decorrelateSummary(const std::string& sql);

}  // namespace faq::data
