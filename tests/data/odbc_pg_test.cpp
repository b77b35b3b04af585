// CDB over the PostgreSQL ODBC driver registered as "sql server", against a real server.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "data/cdb.h"
#include "data/conn_params.h"
#include "data/db_error.h"
#include "support/cancel.h"
#include "support/odbc_env.h"
#include "support/one_result.h"
#include "support/pg_env.h"
#include "support/transactions.h"

using namespace faq::data;
using namespace faq::data::ado;

namespace {

class OdbcPg : public ::testing::Test {
protected:
    static void SetUpTestSuite() { faq::test::registerSqlServerDriver(FAQ_PG_ODBC_DRIVER); }
    void SetUp() override {
        FAQ_REQUIRE_OWN_ODBC_DRIVER();
        FAQ_REQUIRE_PG(pg);
        connector = faq::test::compactOdbcConnector(";Port=" + pg.port);
        params = {"127.0.0.1", pg.database, pg.user, pg.password};
    }
    faq::test::PgServer pg;
    ConnParams params;
    Connector connector;
};

TEST_F(OdbcPg, WrongPasswordRaisesTheLoginErrorWithoutThePassword) {
    params.pwd = "wrong-pass-123";
    try {
        CDB db(params, connector);
        FAIL() << "connected with a wrong password";
    } catch (const DbError& e) {
        std::string what = e.what();
        EXPECT_NE(what.find("password authentication failed"), std::string::npos) << what;
        EXPECT_EQ(what.find("wrong-pass-123"), std::string::npos) << what;
        for (const auto& r : e.records()) EXPECT_EQ(r.message.find("wrong-pass-123"), std::string::npos);
    }
    // The next construction, with the right password, opens a fresh connection.
    params.pwd = pg.password;
    CDB db(params, connector);
    EXPECT_EQ(db.ExecSqlRs("select 1 as one")->value(0, 0).i, 1);
}

TEST_F(OdbcPg, PasswordsTheParserWouldMisreadArriveWhole) {
    // The role's password holds ';', '}' and '{': braced, with '}' doubled, it logs in.
    params.uid = "faq_braces";
    params.pwd = "Semi;colon}brace{x";
    CDB db(params, connector);
    EXPECT_EQ(db.ExecSqlRs("select current_user as u")->value(0, 0).text, "faq_braces");
    params.pwd = "Semi;colon}brace{y";
    try {
        CDB wrong(params, connector);
        FAIL() << "connected with a wrong password";
    } catch (const DbError& e) {
        EXPECT_EQ(e.failure(), Failure::Connect);
        EXPECT_EQ(std::string(e.what()).find("brace{y"), std::string::npos) << e.what();
    }
}

TEST_F(OdbcPg, CancelStopsASleepingStatementAtTheServerAndTheConnectionGoesOn) {
    CDB db(params, connector);
    faq::test::expectCancelledSoonAfterThePress(db, "select pg_sleep(60)", std::chrono::milliseconds(500));
    db.clearCancel();
    EXPECT_EQ(db.ExecSqlRs("select 7 as n")->value(0, 0).i, 7);
}

TEST_F(OdbcPg, ASecondResultFailsTheQuery) {
    CDB db(params, connector);
    faq::test::expectASecondResultFails(db, "select 1 as a", "select 2 as a", "select 1 / 0 as a");
}

TEST_F(OdbcPg, LongAndUnderreportedValuesArriveWholeFromOneExecution) {
    CDB db(params, connector);
    db.ExecSql("drop sequence if exists runs; create sequence runs");
    // A varchar without length is reported as 255 characters; a few values are longer.
    auto rs = db.ExecSqlRs(
        "select g as n, (case when g % 700 = 0 then repeat('长', 300) else '短' end)::varchar as v, "
        "nextval('runs') as run from generate_series(1, 3000) g order by g");
    ASSERT_EQ(rs->recordCount(), 3000u);
    for (size_t r = 0; r < 3000; ++r) {
        const std::string v(rs->value(r, 1).text);
        EXPECT_EQ(v.size(), (r + 1) % 700 == 0 ? 900u : 3u) << r;
    }
    // A long column read per cell beside bound ones.
    rs = db.ExecSqlRs(
        "select g as n, repeat('文', 20000) as long, 2.5::float8 as f, nextval('runs') as run "
        "from generate_series(1, 50) g order by g");
    ASSERT_EQ(rs->recordCount(), 50u);
    EXPECT_EQ(rs->value(49, 0).i, 50);
    EXPECT_EQ(rs->value(49, 1).text.size(), 60000u);
    EXPECT_DOUBLE_EQ(rs->value(49, 2).d, 2.5);
    // Each statement ran once: the sequence moved once per row.
    EXPECT_EQ(db.ExecSqlRs("select last_value from runs")->value(0, 0).i, 3050);
}

TEST_F(OdbcPg, MissingDatabaseIsReported) {
    params.database = "no_such_db_faq";
    try {
        CDB db(params, connector);
        FAIL() << "connected to a missing database";
    } catch (const DbError& e) {
        EXPECT_NE(std::string(e.what()).find("no_such_db_faq"), std::string::npos) << e.what();
    }
}

TEST_F(OdbcPg, ChineseTextAndTypesRoundTrip) {
    CDB db(params, connector);
    auto rs = db.ExecSqlRs(
        "select '台式电脑'::varchar(20) as \"固定资产名称\", 1234.56::numeric(18,2) as \"原值\", "
        "3::integer as \"数量\", 2.5::float8 as d, date '2026-06-01' as dt, "
        "timestamp '2026-06-01 08:30:05' as ts, null::text as nothing",
        adOpenStatic, adLockReadOnly, adCmdText);
    ASSERT_EQ(rs->fieldCount(), 7u);
    EXPECT_EQ(rs->field(0).name, "固定资产名称");
    EXPECT_EQ(rs->field(1).name, "原值");
    EXPECT_EQ(rs->value(0, 0).text, "台式电脑");
    EXPECT_EQ(rs->value(0, 1).type, FieldType::Decimal);
    EXPECT_EQ(rs->value(0, 1).text, "1234.56");
    EXPECT_EQ(rs->value(0, 2).i, 3);
    EXPECT_DOUBLE_EQ(rs->value(0, 3).d, 2.5);
    EXPECT_EQ(rs->value(0, 4).text, "2026-06-01");
    EXPECT_EQ(rs->value(0, 5).text, "2026-06-01 08:30:05");
    EXPECT_TRUE(rs->value(0, 6).isNull());
}

TEST_F(OdbcPg, ParametersAccumulateUntilCleared) {
    CDB db(params, connector);
    db.ExecSql("drop table if exists calls; create table calls(seq serial, a integer, b text)");
    db.ExecSql(
        "create or replace function log_pair(a integer, b text) returns void language sql as "
        "$$ insert into calls(a, b) values (a, b) $$");
    db.AddParameter("a", adInteger, adParamInput, int64_t{7});
    db.AddParameter("b", adVarWChar, adParamInput, std::string("甲乙"), 20);
    EXPECT_EQ(db.command().parameters.size(), 2u);
    EXPECT_EQ(db.command().parameters[0].attributes, 16);
    EXPECT_EQ(db.command().parameters[0].size, 0);  // -1 leaves the size alone
    EXPECT_EQ(db.command().parameters[1].size, 20);
    db.CallProc("log_pair");
    db.CallProc("log_pair");  // sent again without being added again
    auto rs = db.ExecSqlRs("select a, b from calls order by seq");
    ASSERT_EQ(rs->recordCount(), 2u);
    for (size_t r = 0; r < 2; ++r) {
        EXPECT_EQ(rs->value(r, 0).i, 7);
        EXPECT_EQ(rs->value(r, 1).text, "甲乙");
    }
    EXPECT_EQ(db.command().commandText, "log_pair");
    EXPECT_EQ(db.command().commandType, adCmdStoredProc);
    db.ClearParameters();
    db.ClearParameters();  // nothing left: does nothing
    EXPECT_TRUE(db.command().parameters.empty());
    EXPECT_THROW(db.CallProc("log_pair"), DbError);  // log_pair() without arguments does not exist
}

TEST_F(OdbcPg, InputOutputParameterIsReadBack) {
    CDB db(params, connector);
    db.ExecSql("create or replace function add_one(inout x integer) language sql as $$ select x + 1 $$");
    db.AddParameter("x", adInteger, adParamInputOutput, int64_t{41});
    db.CallProc("add_one");
    EXPECT_EQ(std::get<int64_t>(db.command().parameters[0].value), 42);
}

TEST_F(OdbcPg, CallProcRsReturnsTheProcedureResult) {
    CDB db(params, connector);
    db.ExecSql(
        "create or replace function names_from(n integer) returns table(\"名称\" text) language sql as "
        "$$ select '资产' || g from generate_series(1, n) g $$");
    db.AddParameter("n", adInteger, adParamInput, int64_t{3});
    auto rs = db.CallProcRs("names_from");
    ASSERT_EQ(rs->recordCount(), 3u);
    EXPECT_EQ(rs->field(0).name, "名称");
    EXPECT_EQ(rs->value(2, 0).text, "资产3");
}

TEST_F(OdbcPg, RollbackLeavesNoRowAndCommitKeepsIt) {
    CDB db(params, connector);
    db.ExecSql("drop table if exists tx; create table tx(a integer)");
    faq::test::expectRollbackDropsAndCommitKeeps(db);
}

}  // namespace
