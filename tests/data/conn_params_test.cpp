#include "data/conn_params.h"

#include <gtest/gtest.h>

#include "data/db_error.h"

using namespace faq::data;

TEST(ConnectionString, IsTheEightPiecesVerbatim) {
    EXPECT_EQ(buildConnectionString({".", "ufdata_001_", "sa", ""}),
              "DRIVER={sql server}; SERVER=.; DATABASE=ufdata_001_; UID=sa; PWD=");
    EXPECT_EQ(buildConnectionString({" srv ", "d;b", "u=1", "p{w}"}),
              "DRIVER={sql server}; SERVER= srv ; DATABASE=d;b; UID=u=1; PWD=p{w}");
    EXPECT_EQ(buildConnectionString({}), "DRIVER={sql server}; SERVER=; DATABASE=; UID=; PWD=");
}

TEST(ConnectionParams, StartEmpty) {
    const ConnParams& p = connParams();
    EXPECT_TRUE(p.server.empty() && p.database.empty() && p.uid.empty() && p.pwd.empty());
}

TEST(Redact, RemovesThePasswordInEveryForm) {
    EXPECT_EQ(redact("DRIVER={x}; PWD=secret; UID=sa", "secret"), "DRIVER={x}; PWD=***; UID=sa");
    EXPECT_EQ(redact("pwd=abc", ""), "pwd=***");
    EXPECT_EQ(redact("login failed for s3cr3t and s3cr3t", "s3cr3t"), "login failed for *** and ***");
    EXPECT_EQ(redact("ab", "ab"), "ab");  // too short to tell apart from ordinary text
}

TEST(DbErrorText, CarriesEveryRecord) {
    DbError e("连接数据库失败", {{"28000", 18456, "Login failed"}, {"01000", 0, "second"}});
    std::string what = e.what();
    EXPECT_NE(what.find("[28000] (18456) Login failed"), std::string::npos);
    EXPECT_NE(what.find("[01000] (0) second"), std::string::npos);
    EXPECT_EQ(e.sqlState(), "28000");
}
