// The SQL Server features the program's statements use, for SQLite: convert() with the
// date styles, varchar(N) as its type argument, the collation "sqldate" under which
// date columns compare with texts such as '2026-6-06' as dates, and the comparisons of texts
// under Chinese_PRC_CI_AS (the collation "chinese_prc_ci_as" and LIKE).
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
// statement are rewritten so, and so is the one subquery of its card list (the cards
// behind the summary); any other text comes back unchanged.
std::string decorrelateSummary(const std::string& sql);

// The program's statements comparing texts as SQL Server's Chinese_PRC_CI_AS does (see
// sql_collation.h; LIKE follows it everywhere through the dialect's like()): the summary
// groups and matches names under that collation, the card list picks a summary row's
// cards under it, the asset-name list lists each name once.
// Where a group holds several spellings of a name, it shows the first of them in code
// point order ("UPS" before "ups", "电脑" before "电脑 "). Any other text comes back as it is.
std::string withSqlServerComparisons(const std::string& sql);

}  // namespace faq::data
