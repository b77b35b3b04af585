#include "data/conn_params.h"

#include <gtest/gtest.h>

#include "data/db_error.h"

using namespace faq::data;

TEST(ConnectionString, IsTheEightPiecesAndBracesOnlyWhatTheParserWouldMisread) {
    EXPECT_EQ(buildConnectionString({".", "ufdata_001_", "sa", ""}),
              "DRIVER={sql server}; SERVER=.; DATABASE=ufdata_001_; UID=sa; PWD=");
    EXPECT_EQ(buildConnectionString({" srv ", "d=b", "u 1", "p w"}),
              "DRIVER={sql server}; SERVER= srv ; DATABASE=d=b; UID=u 1; PWD=p w");
    EXPECT_EQ(buildConnectionString({}), "DRIVER={sql server}; SERVER=; DATABASE=; UID=; PWD=");
    EXPECT_EQ(buildConnectionString({"s;1", "{db", "u}", "a;b}c{"}),
              "DRIVER={sql server}; SERVER={s;1}; DATABASE={{db}; UID={u}}}; PWD={a;b}}c{}");
    // As FreeTDS reads it: braces as they stand, each value ended by ';'; "};" cannot go.
    EXPECT_EQ(forFreeTds(buildConnectionString({"s;1", "{db", "u}", "a;b}c{"})),
              "DRIVER={sql server}; SERVER={s;1}; DATABASE={{db}; UID={u}}; PWD={a;b}c{};");
    EXPECT_EQ(forFreeTds(buildConnectionString({".", "d", "sa", ""})),
              "DRIVER={sql server}; SERVER=.; DATABASE=d; UID=sa; PWD=;");
    try {
        forFreeTds(buildConnectionString({".", "d", "sa", "x};y"}));
        FAIL() << "a value FreeTDS misreads went on";
    } catch (const DbError& e) {
        EXPECT_EQ(e.failure(), Failure::Connect);
        EXPECT_TRUE(std::string(e.what()).starts_with("“密码”中含有“};”")) << e.what();
        EXPECT_EQ(std::string(e.what()).find("x};y"), std::string::npos);
    }
}

TEST(Redact, RemovesThePasswordInEveryFormAndCase) {
    EXPECT_EQ(redact("DRIVER={x}; PWD=secret; UID=sa", "secret"), "DRIVER={x}; PWD=***; UID=sa");
    EXPECT_EQ(redact("pwd=abc", ""), "pwd=***");
    EXPECT_EQ(redact("Pwd=abc;PwD=def", ""), "Pwd=***;PwD=***");
    EXPECT_EQ(redact("PWD={a;b}}c}; UID=sa", ""), "PWD=***; UID=sa");
    EXPECT_EQ(redact("login failed for s3cr3t and s3cr3t", "s3cr3t"), "login failed for *** and ***");
    EXPECT_EQ(redact("user ab: ab", "ab"), "user ***: ***");
    // A short password is masked where it stands alone, never inside a word.
    EXPECT_EQ(redact("[unixODBC] Timeout expired; PWD=x; 'x' x", "x"),
              "[unixODBC] Timeout expired; PWD=***; '***' ***");
    EXPECT_EQ(redact("Login failed for user 'sa'.", "a"), "Login failed for user 'sa'.");
    EXPECT_EQ(redact("a=a;a", "a"), "***=***;***");
    EXPECT_EQ(redact("密码a错误 xyzw1xyzw", "xyzw"), "密码a错误 ***1***");
}

TEST(DbErrorText, CarriesEveryRecord) {
    DbError e("连接数据库失败",
              {{"28000", 18456, "Login failed"}, {"01000", 0, "second"}, {"28000", 18456, "Login failed"}});
    std::string what = e.what();
    EXPECT_NE(what.find("[28000] (18456) Login failed"), std::string::npos);
    EXPECT_EQ(what.find("Login failed"), what.rfind("Login failed"));  // a repeated record once
    EXPECT_NE(what.find("[01000] (0) second"), std::string::npos);
    EXPECT_EQ(e.sqlState(), "28000");
}
