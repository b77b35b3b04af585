// The summary and the lookups through the shared builder, on the sample database.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <map>
#include <set>
#include <thread>

#include "app/mdl_main.h"
#include "data/db_error.h"
#include "data/sqlite_connection.h"
#include "query/period.h"

using namespace faq;
using namespace faq::query;

namespace {

constexpr int kCards = 300;
constexpr uint64_t kSeed = 11;

class Summary : public ::testing::Test {
protected:
    static app::mdlMain& mdlMain() {
        static app::Session session(data::embeddedConnector({"", true, kCards, kSeed}));
        static app::mdlMain m(session);
        return m;
    }
    static CMvLogin all() {
        CMvLogin p;
        fillDates(p, "1990", "1", "2026", "12", {2026, 12, 7});
        p.gsCZLike = "0";
        return p;
    }
    // A direct connection to the same sample, for totals computed straight from the tables.
    static data::RecordsetPtr direct(const std::string& sql) {
        static data::SqliteConnection c({"", true, kCards, kSeed});
        return c.query(sql, 0);
    }
    struct Totals {
        double value = 0;
        long long count = 0;
        size_t rows = 0;
    };
    static Totals groupSums(const data::RecordsetPtr& rs) {
        Totals t;
        for (size_t r = 0; r + 1 < rs->recordCount(); ++r) {
            t.value += rs->value(r, 3).toDouble();
            t.count += rs->value(r, 4).i;
            ++t.rows;
        }
        return t;
    }
    // Cards in service: latest version of each card number, not disposed.
    static constexpr const char* kLatest =
        "from fa_Cards f where f.sCardID = (select max(sCardID) from fa_Cards g where g.sCardNum = f.sCardNum) "
        "and f.dDisposeDate is null";
};

TEST_F(Summary, TotalRowEqualsTheGroupsAndTheTables) {
    CMvLogin p = all();
    auto rs = mdlMain().fetchList(p);
    ASSERT_EQ(rs->fieldCount(), 5u);
    const char* names[] = {"开始使用日期", "使用部门", "固定资产名称", "原值", "数量"};
    for (size_t c = 0; c < 5; ++c) EXPECT_EQ(rs->field(c).name, names[c]);
    const size_t last = rs->recordCount() - 1;
    EXPECT_EQ(rs->value(last, 0).text, "");
    EXPECT_EQ(rs->value(last, 1).text, "");
    EXPECT_EQ(rs->value(last, 2).text, "合计:");
    Totals g = groupSums(rs);
    EXPECT_GT(g.rows, 100u);
    EXPECT_NEAR(rs->value(last, 3).toDouble(), g.value, 0.005);
    EXPECT_EQ(rs->value(last, 4).i, g.count);
    auto t = direct(std::string("select sum(dblValue), count(sOrgID), count(*) ") + kLatest);
    EXPECT_NEAR(rs->value(last, 3).toDouble(), t->value(0, 0).toDouble(), 0.005);
    EXPECT_EQ(rs->value(last, 4).i, t->value(0, 1).i);
    EXPECT_LT(t->value(0, 1).i, t->value(0, 2).i);  // cards without an origin are not counted
    EXPECT_EQ(p.strSql.substr(0, 22), "      Select distinct ");
}

TEST_F(Summary, DisposedAndSupersededCardsAreLeftOut) {
    CMvLogin p = all();
    auto rs = mdlMain().fetchList(p);
    // Group rows per (date, department, name) against the latest, undisposed versions.
    auto expected = direct(std::string("select convert(varchar(10), dStartdate, 102), sDeptNames, sAssetName, "
                                       "sum(dblValue), count(sOrgID) ") +
                           kLatest + " group by 1, 2, 3");
    EXPECT_EQ(rs->recordCount(), expected->recordCount() + 1);
    std::map<std::string, long long> want, got;
    for (size_t r = 0; r < expected->recordCount(); ++r)
        want[expected->value(r, 0).toString() + "|" + expected->value(r, 1).toString() + "|" +
             expected->value(r, 2).toString()] = expected->value(r, 4).i;
    for (size_t r = 0; r + 1 < rs->recordCount(); ++r)
        got[rs->value(r, 0).toString() + "|" + rs->value(r, 1).toString() + "|" + rs->value(r, 2).toString()] =
            rs->value(r, 4).i;
    EXPECT_EQ(got, want);
    auto disposed = direct("select count(*) from fa_Cards where dDisposeDate is not null");
    EXPECT_GT(disposed->value(0, 0).i, 0);
}

TEST_F(Summary, NothingMatchingYieldsOnlyTheTotalRow) {
    CMvLogin p = all();
    p.strZcID = "不存在的资产";
    auto rs = mdlMain().fetchList(p);
    ASSERT_EQ(rs->recordCount(), 1u);
    EXPECT_EQ(rs->value(0, 0).text, "");
    EXPECT_EQ(rs->value(0, 1).text, "");
    EXPECT_EQ(rs->value(0, 2).text, "合计:");
    EXPECT_TRUE(rs->value(0, 3).isNull());
    EXPECT_EQ(rs->value(0, 4).i, 0);
}

TEST_F(Summary, DepartmentCodeSelectsItsSubDepartments) {
    CMvLogin p = all();
    p.strDeptID = "03";
    p.strDeptName = "生产部";
    auto rs = mdlMain().fetchList(p);
    std::set<std::string> depts;
    for (size_t r = 0; r + 1 < rs->recordCount(); ++r) depts.insert(std::string(rs->value(r, 1).text));
    EXPECT_TRUE(depts.count("一车间") || depts.count("二车间") || depts.count("维修车间"));
    for (const auto& d : depts) EXPECT_TRUE(d == "生产部" || d == "一车间" || d == "二车间" || d == "维修车间") << d;
    auto t = direct(std::string("select count(sOrgID) ") + kLatest +
                    " and exists (select 1 from fa_DeptScale s where s.sCardNum = f.sCardNum and s.lOptID = f.lOptID "
                    "and s.sDeptNum like '03%')");
    EXPECT_EQ(rs->value(rs->recordCount() - 1, 4).i, t->value(0, 0).i);
}

TEST_F(Summary, ExactAndPartialNamesAndQuotes) {
    CMvLogin p = all();
    p.strZcID = "电脑";
    auto exact = mdlMain().fetchList(p);
    for (size_t r = 0; r + 1 < exact->recordCount(); ++r) EXPECT_EQ(exact->value(r, 2).text, "电脑");
    p.gsCZLike = "1";
    auto partial = mdlMain().fetchList(p);
    std::set<std::string> names;
    for (size_t r = 0; r + 1 < partial->recordCount(); ++r) names.insert(std::string(partial->value(r, 2).text));
    EXPECT_TRUE(names.count("电脑") && names.count("台式电脑") && names.count("电脑桌"));
    p.gsCZLike = "0";
    p.strZcID = "O'Neil 台式机";
    auto quoted = mdlMain().fetchList(p);
    ASSERT_GT(quoted->recordCount(), 1u);
    EXPECT_EQ(quoted->value(0, 2).text, "O'Neil 台式机");
    const std::string sent = p.strSql;
    mdlMain().fetchList(p);
    EXPECT_EQ(p.strSql, sent);  // same inputs, same text
}

TEST_F(Summary, LookupListsThroughTheSharedBuilder) {
    auto names = mdlMain().fetchCobList(nullptr, "电脑");
    ASSERT_EQ(names->fieldCount(), 1u);
    EXPECT_EQ(names->field(0).name, "sAssetName");
    std::set<std::string> got;
    for (size_t r = 0; r < names->recordCount(); ++r) got.insert(std::string(names->value(r, 0).text));
    EXPECT_TRUE(got.count("电脑") && got.count("电脑桌"));
    EXPECT_FALSE(got.count("台式电脑"));  // contains the text, does not begin with it
    auto quoted = mdlMain().fetchCobList(nullptr, "O'N");
    ASSERT_EQ(quoted->recordCount(), 1u);
    EXPECT_EQ(quoted->value(0, 0).text, "O'Neil 台式机");
    auto all = mdlMain().fetchCobList(nullptr, "");
    EXPECT_EQ(all->recordCount(),
              static_cast<size_t>(direct("select count(distinct sAssetName) from fa_Cards")->value(0, 0).i));

    auto depts = mdlMain().fetchDeptList(nullptr);
    ASSERT_EQ(depts->fieldCount(), 2u);
    EXPECT_EQ(depts->field(0).name, "cDepCode");
    EXPECT_EQ(depts->field(1).name, "cDepName");
    int named0303 = 0;
    for (size_t r = 0; r < depts->recordCount(); ++r) {
        if (r) {
            EXPECT_LE(depts->value(r - 1, 0).text, depts->value(r, 0).text);
        }
        if (depts->value(r, 0).text == "0303") ++named0303;
    }
    EXPECT_EQ(named0303, 2);
}

TEST(SharedBuilder, FailedConnectionKeepsNoCdbAndTheNextCallRetries) {
    int attempts = 0;
    bool fail = true;
    data::ConnParams params;
    listMng mng(params, [&](const std::string& cs) -> std::unique_ptr<data::Connection> {
        ++attempts;
        if (fail) throw data::DbError("连接数据库失败", {{"08001", 17, "server unreachable: " + cs}});
        return std::make_unique<data::SqliteConnection>(data::EmbeddedSource{"", true, 30, 1});
    });
    params.pwd = "hunter2-secret";
    try {
        mng.getDeptList(nullptr);
        FAIL();
    } catch (const data::DbError& e) {
        EXPECT_EQ(e.sqlState(), "08001");  // the driver's error, unchanged but for the password
        EXPECT_EQ(e.failure(), data::Failure::Connect);
        EXPECT_EQ(std::string(e.what()).find("hunter2-secret"), std::string::npos);
    }
    EXPECT_FALSE(mng.connected());
    fail = false;
    EXPECT_GT(mng.getDeptList(nullptr)->recordCount(), 0u);
    EXPECT_TRUE(mng.connected());
    mng.getCobList(nullptr, "");
    EXPECT_EQ(attempts, 2);  // the connection is reused
}

}  // namespace

// A job hands its outcome over before its thread is quite done with it: work started in
// answer to that outcome runs, and is not refused as if the worker were busy.
TEST(SessionWorker, WorkStartedOnAnOutcomeRunsWhileThePreviousJobFinishes) {
    faq::app::Session session;
    for (int i = 0; i < 20; ++i) {
        std::promise<void> handedOver;
        ASSERT_TRUE(session.run([&handedOver] {
            handedOver.set_value();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));  // what it captured goes here
        }));
        handedOver.get_future().wait();
        std::promise<void> ran;
        ASSERT_TRUE(session.run([&ran] { ran.set_value(); })) << i;
        ran.get_future().wait();
    }
}
