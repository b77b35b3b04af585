// The ODBC layer and CDB over a driver registered as "sql server", on one SQLite file: the
// SQLite ODBC driver reading it, and FreeTDS reaching it through the TDS test server.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "data/cdb.h"
#include "data/conn_params.h"
#include "data/db_error.h"
#include "data/program_error.h"
#include "support/odbc_env.h"
#include "support/one_result.h"
#ifndef _WIN32
#include "support/tds_server.h"
#endif

using namespace faq::data;

namespace {

enum class Driver { SqliteOdbc, FreeTds };

class OdbcDriver : public ::testing::TestWithParam<Driver> {
protected:
    static void SetUpTestSuite() {
        dbPath = faq::test::tempPath("odbc.db");
        std::remove(dbPath.c_str());
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(dbPath.c_str(), &db), SQLITE_OK);
        const char* sql =
            "create table t(k integer, name varchar(20), v double, n integer, note text, short varchar(3));"
            "insert into t values(1, '台式电脑', 1234.5, 3, null, 'abcdefgh');"
            "insert into t values(2, 'O''Neil 桌', null, null, 'x', '长文本超过声明长度');"
            "insert into t values(3, null, -0.25, 0, '', null);";
        ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
        std::string longText(10000, 'z');
        longText += "尾";
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "insert into t(k, note) values(4, ?)", -1, &st, nullptr);
        sqlite3_bind_text(st, 1, longText.c_str(), static_cast<int>(longText.size()), SQLITE_TRANSIENT);
        ASSERT_EQ(sqlite3_step(st), SQLITE_DONE);
        sqlite3_finalize(st);
        sqlite3_close(db);
    }
    void SetUp() override {
        FAQ_REQUIRE_OWN_ODBC_DRIVER();
        if (GetParam() == Driver::SqliteOdbc) {
            faq::test::registerSqlServerDriver(FAQ_SQLITE_ODBC_DRIVER);
            params = {"ignored", faq::test::driverPath(dbPath), "sa", ""};
            connector = faq::test::compactOdbcConnector();
        } else {
#ifndef _WIN32
            faq::test::registerSqlServerDriver(FAQ_TDS_ODBC_DRIVER);
            tds = std::make_unique<faq::test::TdsServer>(
                faq::test::TdsServer::Options{.file = dbPath, .columnTypes = {}});
            params = {tds->address(), "UFDATA_001_2026", "sa", "tds-secret-9"};
            connector = odbcConnector();  // the program's own connection string
#endif
        }
    }
    ConnParams params;
    Connector connector;
#ifndef _WIN32
    std::unique_ptr<faq::test::TdsServer> tds;
#endif
    static inline std::string dbPath;
};

TEST_P(OdbcDriver, ChineseAliasesTypesAndNulls) {
    CDB db(params, connector);
    auto rs =
        db.ExecSqlRs("select name as [固定资产名称], v as [原值], n as [数量] from t where k <= 3 order by k", 3, 1, 1);
    ASSERT_EQ(rs->fieldCount(), 3u);
    EXPECT_EQ(rs->field(0).name, "固定资产名称");
    EXPECT_EQ(rs->field(1).name, "原值");
    EXPECT_EQ(rs->field(2).name, "数量");
    EXPECT_EQ(rs->fieldIndex("原值"), 1);
    ASSERT_EQ(rs->recordCount(), 3u);
    EXPECT_EQ(rs->value(0, 0).text, "台式电脑");
    EXPECT_EQ(rs->value(0, 1).type, FieldType::Double);
    EXPECT_DOUBLE_EQ(rs->value(0, 1).d, 1234.5);
    EXPECT_EQ(rs->value(0, 2).type, FieldType::Integer);
    EXPECT_EQ(rs->value(0, 2).i, 3);
    EXPECT_EQ(rs->value(1, 0).text, "O'Neil 桌");
    EXPECT_TRUE(rs->value(1, 1).isNull());
    EXPECT_TRUE(rs->value(1, 2).isNull());
    EXPECT_TRUE(rs->value(2, 0).isNull());
    EXPECT_DOUBLE_EQ(rs->value(2, 1).d, -0.25);
    EXPECT_EQ(rs->cursorType, 3);
    EXPECT_EQ(rs->lockType, 1);
    EXPECT_EQ(rs->options, 1);
}

TEST_P(OdbcDriver, DefaultArgumentsAreRecordedOnTheRecordset) {
    CDB db(params, connector);
    auto rs = db.ExecSqlRs("select k from t");
    EXPECT_EQ(rs->cursorType, 0);
    EXPECT_EQ(rs->lockType, 1);
    EXPECT_EQ(rs->options, 1);
}

TEST_P(OdbcDriver, EmptyResultKeepsItsFieldsAndStandsAtBofAndEof) {
    CDB db(params, connector);
    auto rs = db.ExecSqlRs("select k as [编号], name from t where 1 = 0", 3, 1, 1);
    ASSERT_EQ(rs->fieldCount(), 2u);
    EXPECT_EQ(rs->field(0).name, "编号");
    EXPECT_EQ(rs->recordCount(), 0u);
    EXPECT_TRUE(rs->bof());
    EXPECT_TRUE(rs->eof());
    EXPECT_THROW(rs->fieldValue(0), ProgramError);
}

TEST_P(OdbcDriver, TwoRecordsetsAtOnceMoveIndependently) {
    CDB db(params, connector);
    auto a = db.ExecSqlRs("select k from t order by k", 3, 1, 1);
    auto b = db.ExecSqlRs("select k from t order by k desc", 3, 1, 1);
    ASSERT_NE(a, b);
    b->moveLast();
    b->movePrevious();
    EXPECT_EQ(b->fieldValue(0).i, 2);
    EXPECT_EQ(a->position(), 0);
    EXPECT_EQ(a->fieldValue("K").i, 1);  // names ignore case
    a->moveNext();
    a->moveNext();
    a->moveNext();
    EXPECT_EQ(a->fieldValue(0).i, 4);
    a->moveNext();
    EXPECT_TRUE(a->eof());
    EXPECT_THROW(a->moveNext(), ProgramError);
    a->moveFirst();
    a->movePrevious();
    EXPECT_TRUE(a->bof());
    EXPECT_FALSE(a->eof());
    EXPECT_THROW(a->movePrevious(), ProgramError);
}

TEST_P(OdbcDriver, LongAndUnderreportedTextsArriveWhole) {
    CDB db(params, connector);
    auto rs = db.ExecSqlRs("select note from t where k = 4", 3, 1, 1);
    ASSERT_EQ(rs->recordCount(), 1u);
    EXPECT_EQ(rs->value(0, 0).text.size(), 10000u + 3u);
    EXPECT_TRUE(rs->value(0, 0).text.ends_with("z尾"));
    // varchar(3) declared, longer values stored: nothing may be cut off.
    auto shortCol = db.ExecSqlRs("select short from t where k <= 2 order by k", 3, 1, 1);
    EXPECT_EQ(shortCol->value(0, 0).text, "abcdefgh");
    EXPECT_EQ(shortCol->value(1, 0).text, "长文本超过声明长度");
}

TEST_P(OdbcDriver, ExecSqlRunsStatementsAndErrorsCarryDiagnostics) {
    CDB db(params, connector);
    db.ExecSql("create table if not exists scratch(a integer)");
    db.ExecSql("delete from scratch");
    db.ExecSql("insert into scratch values(7)");
    EXPECT_EQ(db.ExecSqlRs("select a from scratch")->value(0, 0).i, 7);
    try {
        db.ExecSqlRs("select * from no_such_table");
        FAIL() << "no error";
    } catch (const DbError& e) {
        ASSERT_FALSE(e.records().empty());
        EXPECT_NE(std::string(e.what()).find("no_such_table"), std::string::npos);
    }
    faq::test::expectASecondResultFails(
        db, "select a from scratch", "select 2 as a", "select a from no_such_table",
        GetParam() == Driver::SqliteOdbc ? "only one SQL statement allowed" : kSecondResult);
}

#ifdef _WIN32
INSTANTIATE_TEST_SUITE_P(Drivers, OdbcDriver, ::testing::Values(Driver::SqliteOdbc));
#else
INSTANTIATE_TEST_SUITE_P(Drivers, OdbcDriver, ::testing::Values(Driver::SqliteOdbc, Driver::FreeTds),
                         [](const auto& info) { return info.param == Driver::SqliteOdbc ? "SqliteOdbc" : "FreeTds"; });
#endif

}  // namespace
