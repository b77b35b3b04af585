// The SQL Server features the program's statements use, for SQLite: convert() with the
// date styles, varchar(N) as its type argument, and the collation "sqldate" under which
// date columns compare with texts such as '2026-6-06' as dates.
#pragma once

struct sqlite3;

namespace faq::data {

// Registers the functions and the collation on db; returns an SQLite result code.
int registerSqlDialect(sqlite3* db);

}  // namespace faq::data
