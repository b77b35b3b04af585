// The sample database: schema, determinism and the shape of its content.
#include "data/sample_db.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <csignal>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <filesystem>
#include <thread>

#include "data/cdb.h"
#include "data/db_error.h"
#include "data/sql_dialect.h"
#include "data/sqlite_connection.h"
#include "export/sample_file.h"
#include "query/period.h"
#include "query/sql_text.h"
#include "support/cancel.h"
#include "support/odbc_env.h"
#include "support/one_result.h"
#include "support/transactions.h"

using namespace faq::data;

namespace {

long long scalar(SqliteConnection& c, const std::string& sql) {
    return c.query(sql, 0)->value(0, 0).i;
}

TEST(SampleDb, ContentHasTheShapesTheQueriesNeed) {
    SqliteConnection c(EmbeddedSource{"", true, 400, 7});
    EXPECT_EQ(scalar(c, "select count(distinct sCardNum) from fa_Cards"), 400);
    // Department codes form a prefix tree.
    EXPECT_EQ(scalar(c,
                     "select count(*) from department d where length(cDepCode) > 2 and not exists "
                     "(select 1 from department p where p.cDepCode = substr(d.cDepCode, 1, length(d.cDepCode) - 2))"),
              0);
    EXPECT_GT(scalar(c, "select count(*) from (select cDepCode from department group by cDepCode having count(*) > 1)"),
              0);
    // Asset names sharing a beginning.
    EXPECT_GE(scalar(c, "select count(distinct sAssetName) from fa_Cards where sAssetName like '电脑%'"), 2);
    // Card numbers with several versions; the later version has the higher sCardID and a transfer date.
    EXPECT_GT(scalar(c, "select count(*) from (select sCardNum from fa_Cards group by sCardNum having count(*) > 1)"),
              20);
    EXPECT_EQ(scalar(c,
                     "select count(*) from fa_Cards a join fa_Cards b on a.sCardNum = b.sCardNum "
                     "and a.sCardID < b.sCardID where b.dTransDate is null"),
              0);
    EXPECT_GT(scalar(c, "select count(*) from fa_Cards where dDisposeDate is not null"), 5);
    // Start dates across many years, values with cents.
    EXPECT_GE(scalar(c, "select max(substr(dStartdate,1,4)) - min(substr(dStartdate,1,4)) from fa_Cards"), 20);
    EXPECT_GT(scalar(c, "select count(*) from fa_Cards where cast(round(dblValue * 100) as integer) % 100 <> 0"), 100);
    // Exactly one department row per card version; at most one row per card in the
    // tables joined on card number.
    EXPECT_EQ(scalar(c,
                     "select count(*) from fa_Cards f where (select count(*) from fa_DeptScale s "
                     "where s.sCardNum = f.sCardNum and s.lOptID = f.lOptID) <> 1"),
              0);
    for (const char* t : {"fa_DeprTransactions", "fa_WorkLoad", "fa_ItemsManual"})
        EXPECT_EQ(scalar(c, std::string("select count(*) - count(distinct sCardNum) from ") + t), 0) << t;
}

TEST(SampleDb, SameSeedSameContentOtherSeedOtherContent) {
    auto digest = [](uint64_t seed) {
        SqliteConnection c(EmbeddedSource{"", true, 150, seed});
        auto rs = c.query(
            "select group_concat(sCardID || sAssetName || dblValue || dStartdate || ifnull(dDisposeDate,''), '|') "
            "from (select * from fa_Cards order by sCardID)",
            0);
        return std::string(rs->value(0, 0).text);
    };
    EXPECT_EQ(digest(42), digest(42));
    EXPECT_NE(digest(42), digest(43));
}

TEST(EmbeddedCdb, SameOperationsAsOdbcWithClearErrorsWhereSqliteDiffers) {
    const std::string path = faq::test::tempPath("embedded-rw.db");
    std::filesystem::remove(path);
    faq::output::writeSampleFile(path, {20, 3});
    CDB db({}, embeddedConnector(EmbeddedSource{path, false, 0, 0}));
    db.ExecSql("create table tx(a integer)");
    faq::test::expectRollbackDropsAndCommitKeeps(db);
    try {
        db.CallProc("sp_anything");
        FAIL();
    } catch (const DbError& e) {
        EXPECT_NE(std::string(e.what()).find("存储过程"), std::string::npos);
    }
    auto rs = db.ExecSqlRs("select sAssetName as [固定资产名称], dStartdate from fa_Cards limit 1", 3, 1, 1);
    EXPECT_EQ(rs->field(0).name, "固定资产名称");
    EXPECT_EQ(rs->field(1).type, FieldType::DateTime);
    EXPECT_EQ(rs->cursorType, 3);
    // The batch runs to its end as on a server: a failure after the first result fails it,
    // and so does a second result.
    faq::test::expectASecondResultFails(db, "select 1 as a", "select 2 as a", "select a from fa_Karten");
    EXPECT_EQ(db.ExecSqlRs("select 1 as a; delete from tx where a is null")->recordCount(), 1u);
}

TEST(EmbeddedCdb, CancelInterruptsALongStatementAndTheConnectionGoesOn) {
    CDB db({}, embeddedConnector(EmbeddedSource{"", true, 20, 1}));
    const char* forever =
        "with recursive c(x) as (select 1 union all select x + 1 from c where x < 4000000000) select count(*) from c";
    faq::test::expectCancelledSoonAfterThePress(db, forever, std::chrono::milliseconds(300));
    // A request made before a statement starts stops that statement.
    EXPECT_THROW(db.ExecSqlRs(forever), DbError);
    db.clearCancel();
    EXPECT_EQ(db.ExecSqlRs("select count(*) from fa_Cards where 1 = 0")->value(0, 0).i, 0);
}

TEST(EmbeddedCdb, MissingOrBrokenFilesFailAtConnection) {
    const std::string missing = faq::test::tempPath("does-not-exist.db");
    std::filesystem::remove(missing);
    EXPECT_THROW(SqliteConnection(EmbeddedSource{missing, true, 0, 0}), DbError);
    EXPECT_FALSE(std::filesystem::exists(missing));  // read-only opening never creates it
    const std::string junk = faq::test::tempPath("junk.db");
    std::ofstream(junk) << "this is not a database, just text that is long enough to have a header......";
    EXPECT_THROW(SqliteConnection(EmbeddedSource{junk, true, 0, 0}), DbError);
}

#ifndef _WIN32
TEST(EmbeddedFiles, HalfWrittenOrShrunkFilesAreRefusedNeverRead) {
    namespace fs = std::filesystem;
    const std::string dir = faq::test::tempPath("embedded-half");
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string path = dir + "/books.db";
    faq::output::writeSampleFile(path, {3000, 4});
    // A writer killed mid-transaction, its cache spilled: changed pages in the file, the
    // originals in a hot journal beside it.
    const pid_t writer = fork();
    if (writer == 0) {
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        sqlite3_exec(db,
                     "pragma cache_size=2; begin; update fa_Cards set dblValue = dblValue * 1000, "
                     "sAssetName = sAssetName || 'xxxxxxxxxxxxxxxxxxxxxxxx'",
                     nullptr, nullptr, nullptr);
        raise(SIGKILL);
    }
    int status = 0;
    waitpid(writer, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_TRUE(fs::exists(path + "-journal"));
    const auto size = fs::file_size(path);
    try {
        SqliteConnection c(EmbeddedSource{path, true, 0, 0});
        FAIL() << "read past a hot journal: " << scalar(c, "select count(*) from fa_Cards");
    } catch (const DbError& e) {
        EXPECT_NE(std::string(e.what()).find("books.db-journal"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("请先用写入它的程序打开并关闭一次"), std::string::npos) << e.what();
    }
    EXPECT_EQ(fs::file_size(path), size);
    EXPECT_TRUE(fs::exists(path + "-journal"));

    // A file cut short after it was opened (a smaller backup copied over it): a message,
    // not a signal.
    fs::remove(path + "-journal");
    fs::remove(path);
    faq::output::writeSampleFile(path, {3000, 4});
    const pid_t reader = fork();
    if (reader == 0) {
        try {
            SqliteConnection c(EmbeddedSource{path, true, 0, 0});
            fs::resize_file(path, fs::file_size(path) / 3);
            scalar(c, "select sum(dblValue) from fa_Cards");
            _exit(1);
        } catch (const DbError& e) {
            _exit(std::string(e.what()).find("读取时被改动") != std::string::npos ? 0 : 2);
        }
    }
    waitpid(reader, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << (WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status))
                                : "exit " + std::to_string(WEXITSTATUS(status)));
}
#endif

TEST(EmbeddedFiles, ALockedFileIsWaitedForAndReadOnlyFoldersStayUntouched) {
    namespace fs = std::filesystem;
    const std::string dir = faq::test::tempPath("embedded-files");
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string path = dir + "/books.db";
    faq::output::writeSampleFile(path, {30, 2});

    // Another program holds a write transaction: the statement waits, then says so.
    SqliteConnection reader(EmbeddedSource{path, true, 0, 0});
    sqlite3* writer = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &writer), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(writer, "begin exclusive", nullptr, nullptr, nullptr), SQLITE_OK);
    try {
        reader.query("select count(*) from fa_Cards", 0);
        FAIL() << "read through another program's exclusive lock";
    } catch (const DbError& e) {
        EXPECT_EQ(e.failure(), Failure::Locked) << e.what();
    }
    // Opening while the lock is held waits for it too (the first read is the schema's).
    std::thread release([writer] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sqlite3_exec(writer, "rollback", nullptr, nullptr, nullptr);
    });
    SqliteConnection latecomer(EmbeddedSource{path, true, 0, 0});
    release.join();
    EXPECT_EQ(scalar(latecomer, "select count(distinct sCardNum) from fa_Cards"), 30);
    latecomer.close();
    EXPECT_EQ(scalar(reader, "select count(distinct sCardNum) from fa_Cards"), 30);
    // A summary says which dates it could not read, as the file holds them now.
    faq::query::CMvLogin p;
    faq::query::fillDates(p, "1995", "1", "2026", "12", {2026, 12, 7});
    EXPECT_EQ(reader.query(faq::query::summarySql(p), 0)->notice, "");
    ASSERT_EQ(sqlite3_exec(writer, "update fa_Cards set dStartdate = '2024-13-45' where rowid = 1", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
    EXPECT_NE(reader.query(faq::query::summarySql(p), 0)->notice.find("有 1 张卡片的日期无法识别（例如“2024-13-45”）"),
              std::string::npos);
    // Another program makes an older version of a card its latest: what the reader knew of
    // the latest versions goes with the data it was made from, and it sums as a connection
    // opened afterwards does.
    const auto sums = [&](SqliteConnection& c) {
        std::vector<std::string> out;
        const auto rs = c.query(faq::query::summarySql(p), 0);
        for (size_t r = 0; r < rs->recordCount(); ++r)
            out.push_back(rs->value(r, 2).toString() + "=" + rs->value(r, 3).toString() + "/" +
                          rs->value(r, 4).toString());
        return out;
    };
    const auto earlier = sums(reader);
    faq::data::registerSqlDialect(writer);  // the file's collations
    ASSERT_EQ(sqlite3_exec(writer,
                           "update fa_Cards set sCardID = 'zzzz', dblValue = dblValue + 1000 where rowid = (select "
                           "min(rowid) from fa_Cards where sCardNum in (select sCardNum from fa_Cards group by "
                           "sCardNum having count(*) > 1))",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_changes(writer), 1);
    const auto after = sums(reader);
    SqliteConnection fresh(EmbeddedSource{path, true, 0, 0});
    EXPECT_EQ(after, sums(fresh));
    EXPECT_NE(after, earlier);
    fresh.close();
    reader.close();
    // The file's owner turns it into a WAL-mode file and closes it cleanly.
    sqlite3_exec(writer, "pragma journal_mode=wal", nullptr, nullptr, nullptr);
    sqlite3_close(writer);
    ASSERT_EQ(std::vector<fs::path>(fs::directory_iterator(dir), {}).size(), 1u);

#ifndef _WIN32
    // A WAL-mode file in a folder nobody may write to opens, reads, and gains no neighbour.
    const auto before = fs::last_write_time(path);
    const auto size = fs::file_size(path);
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                             fs::perms::others_exec | fs::perms::group_read | fs::perms::group_exec);
    const pid_t pid = fork();
    if (pid == 0) {
        // The superuser writes anywhere: read as an ordinary user instead.
        if (geteuid() == 0 && setuid(65534) != 0) _exit(10);
        try {
            SqliteConnection c(EmbeddedSource{path, true, 0, 0});
            _exit(scalar(c, "select count(distinct sCardNum) from fa_Cards") == 30 ? 0 : 11);
        } catch (const DbError&) {
            _exit(12);
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    fs::permissions(dir, fs::perms::owner_all);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << WEXITSTATUS(status);
    EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(dir), {}).size(), 1u);
    EXPECT_EQ(fs::last_write_time(path), before);
    EXPECT_EQ(fs::file_size(path), size);
#endif
}

}  // namespace
