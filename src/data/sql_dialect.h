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

}  // namespace faq::data
