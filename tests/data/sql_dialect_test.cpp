// SQL Server's convert() styles and date comparisons on SQLite.
#include "data/sql_dialect.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <string>

namespace {

class Dialect : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
        ASSERT_EQ(faq::data::registerSqlDialect(db), SQLITE_OK);
        exec("create table t(id integer, d datetime collate sqldate)");
        exec(
            "insert into t values (1,'2026-06-05 00:00:00'),(2,'2026-06-06 00:00:00'),(3,'2026-06-06 10:30:00'),"
            "(4,'2026-12-31 00:00:00'),(5,'2027-01-15 00:00:00'),(6,null),(7,'2026-6-7')");
    }
    void TearDown() override { sqlite3_close(db); }
    void exec(const std::string& sql) {
        ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    }
    // The single value of a one-row, one-column query as text ("NULL" for null).
    std::string one(const std::string& sql) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK)
            return std::string("ERROR: ") + sqlite3_errmsg(db);
        std::string out;
        int rc = sqlite3_step(s);
        if (rc == SQLITE_ROW)
            out = sqlite3_column_type(s, 0) == SQLITE_NULL ? "NULL"
                                                           : reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
        else if (rc != SQLITE_DONE)
            out = std::string("ERROR: ") + sqlite3_errmsg(db);
        sqlite3_finalize(s);
        return out;
    }
    std::string ids(const std::string& where) {
        return one("select group_concat(id) from (select id from t where " + where + " order by id)");
    }
    sqlite3* db = nullptr;
};

TEST_F(Dialect, ConvertStylesOnDatesWithAndWithoutTime) {
    EXPECT_EQ(one("select convert(varchar(10), '2026-06-05 13:45:10', 102)"), "2026.06.05");
    EXPECT_EQ(one("select convert(varchar(10), '2026-6-5', 102)"), "2026.06.05");
    EXPECT_EQ(one("select convert(varchar(10), '2026-06-05', 23)"), "2026-06-05");
    EXPECT_EQ(one("select convert(varchar(10), '2026-06-05', 111)"), "2026/06/05");
    EXPECT_EQ(one("select convert(varchar(19), '2026-06-05 13:45:10', 120)"), "2026-06-05 13:45:10");
    EXPECT_EQ(one("select convert(varchar(30), '2026-06-05 13:45:10.25', 121)"), "2026-06-05 13:45:10.250");
    EXPECT_EQ(one("select convert(varchar(30), '2026-01-05 13:45:10')"), "Jan  5 2026  1:45PM");
    EXPECT_EQ(one("select convert(varchar(10), '2026-01-05')"), "Jan  5 202");  // cut at its length
    EXPECT_EQ(one("select convert(varchar(4), '固定资产名称')"), "固定资产");   // characters, not bytes
    EXPECT_EQ(one("select convert(varchar(10), null, 102)"), "NULL");
    EXPECT_EQ(one("select convert(varchar(10), d, 102) from t where id = 6"), "NULL");
    EXPECT_EQ(one("select convert(varchar(10), 12.5, 102)"), "12.5");
    EXPECT_EQ(one("select convert(varchar(10), 'not a date', 102)"), "not a date");
    EXPECT_NE(one("select convert(varchar(10), '2026-06-05', 999)").find("ERROR"), std::string::npos);
    EXPECT_NE(one("select convert(varchar(0), '2026-06-05', 102)").find("ERROR"), std::string::npos);
}

TEST_F(Dialect, DateColumnsCompareWithTextsAsDates) {
    EXPECT_EQ(ids("d <= '2026-6-06'"), "1,2");  // unpadded literal; 10:30 is after the day began
    EXPECT_EQ(ids("d >= '2026-6-6'"), "2,3,4,5,7");
    EXPECT_EQ(ids("(d) <='2026-12-31'"), "1,2,3,4,7");  // parenthesised column keeps its collation
    EXPECT_EQ(ids("d > '2026-12-31'"), "5");
    EXPECT_EQ(ids("d <= '2027-01-15'"), "1,2,3,4,5,7");
    EXPECT_EQ(ids("d = '2026-06-07 00:00:00'"), "7");  // unpadded value in the column
    EXPECT_EQ(ids("d is null"), "6");
    EXPECT_EQ(ids("d <= '2026-12-31' or d is null"), "1,2,3,4,6,7");
    EXPECT_EQ(ids("d < 'garbage'"), "1,2,3,4,5,7");  // texts that are no date order after every date
    EXPECT_EQ(one("select max(d) from t"), "2027-01-15 00:00:00");
    EXPECT_EQ(one("select min(d) from t"), "2026-06-05 00:00:00");
}

#ifndef _WIN32  // the extension is for the sqlite3 shell of Linux
TEST(DialectExtension, LoadsIntoTheSqliteShell) {
    const std::string cmd = "sqlite3 :memory: '.load " FAQ_BINARY_DIR
                            "/faqdialect' "
                            "\"select convert(varchar(10), '2026-6-5', 102);\" 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char buf[256] = {};
    std::string out;
    while (fgets(buf, sizeof buf, p)) out += buf;
    EXPECT_EQ(pclose(p), 0) << out;
    EXPECT_EQ(out, "2026.06.05\n");
}

#endif

}  // namespace
