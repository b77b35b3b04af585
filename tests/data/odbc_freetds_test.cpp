// FreeTDS registered as "sql server", with the program's exact connection string: against
// a listener that closes every connection, and against the TDS test server (types, server
// messages, cancel, a dropped connection, and faquery report agreeing with the embedded
// engine byte for byte while fetching in blocks).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "data/cdb.h"
#include "data/conn_params.h"
#include "data/connection.h"
#include "data/db_error.h"
#include "data/sample_db.h"
#include "data/sql_dialect.h"
#include "query/listmng.h"
#include "support/cancel.h"
#include "support/odbc_env.h"
#include "support/one_result.h"
#include "support/tds_server.h"

using namespace faq::data;
using faq::test::TdsServer;

namespace {

// Accepts connections on a loopback port and closes them at once, counting them.
class Listener {
public:
    Listener() {
        mFd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(mFd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        getsockname(mFd, reinterpret_cast<sockaddr*>(&a), &len);
        mPort = ntohs(a.sin_port);
        listen(mFd, 8);
        mThread = std::thread([this] {
            while (!mStop) {
                pollfd p{mFd, POLLIN, 0};
                if (poll(&p, 1, 50) > 0) {
                    int c = accept(mFd, nullptr, nullptr);
                    if (c >= 0) {
                        ++mAccepted;
                        close(c);
                    }
                }
            }
        });
    }
    ~Listener() {
        mStop = true;
        mThread.join();
        close(mFd);
    }
    int port() const { return mPort; }
    int accepted() const { return mAccepted; }

private:
    int mFd = -1;
    int mPort = 0;
    std::atomic<bool> mStop{false};
    std::atomic<int> mAccepted{0};
    std::thread mThread;
};

// A second name for FreeTDS, as Microsoft's driver has its own (unixODBC lists and finds
// drivers by ASCII names only).
constexpr const char* kAlias = "FreeTDS Alias";

TEST(OdbcFreeTds, ExactStringReachesTheNamedServerAndPort) {
    faq::test::registerSqlServerDriver(FAQ_TDS_ODBC_DRIVER, kAlias);
    Listener server;
    const ConnParams params{"127.0.0.1," + std::to_string(server.port()), "ufdata_001_", "sa", "tds-secret-9"};
    try {
        CDB db(params, odbcConnector());  // the program's own path: the string exactly as built
        FAIL() << "a server that closes every connection accepted a login";
    } catch (const DbError& e) {
        EXPECT_FALSE(e.records().empty());
        EXPECT_EQ(std::string(e.what()).find("tds-secret-9"), std::string::npos);
    }
    EXPECT_GE(server.accepted(), 1);
    // The driver an administrator presets (--driver): the same string under its name.
    const int before = server.accepted();
    EXPECT_THROW(CDB(params, odbcConnector(kAlias)), DbError);
    EXPECT_GT(server.accepted(), before);
    try {
        CDB db(params, odbcConnector("没有这个驱动"));
        FAIL() << "a driver never registered connected";
    } catch (const DbError& e) {
        const std::string said = e.what();
        EXPECT_NE(said.find("找不到 ODBC 驱动程序“没有这个驱动”：启动参数 --driver 指定了它"), std::string::npos)
            << said;
        EXPECT_NE(said.find("已注册的驱动程序：sql server、FreeTDS Alias"), std::string::npos) << said;
    }
}

// The sample database, and a table of every type the server sends.
class Tds : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        path = faq::test::tempPath("tds.db");
        std::remove(path.c_str());
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        registerSqlDialect(db);
        generateSample(db, {.cards = 3000});
        const char* sql =
            "create table types(i integer, b integer, f double, m double, d double, dt datetime, v varchar(8), "
            "nv varchar(8), big text, lng text);"
            "insert into types values(-7, 5000000000, 0.1, 1234.5678, -98765.43, '2026-06-01 08:30:05', '台式电脑', "
            "'한국', 'x', 'y');"
            "insert into types values(null, null, null, null, null, null, null, null, null, null);"
            "create table wide(n integer, t varchar(20));"
            "with recursive k(n) as (select 1 union all select n + 1 from k where n < 3000) "
            "insert into wide select n, '第' || n || '行' from k;"
            "update types set big = (select group_concat('长', '') from wide) where i = -7;"
            "update types set lng = big where i = -7;"
            // Texts cut at a byte count by old programs: the lead byte of 电 alone at the end.
            "create table cut(n integer, v varchar(8), t text);"
            "insert into cut values(1, x'B5E7C4D4B5', x'B5E7C4D4B5'), (2, x'B5E7C4D4', x'B5E7C4D4'), (3, x'B5', "
            "x'B5');"
            // NULs inside texts, as old programs left them: long ones read in pieces (GBK text,
            // UTF-16 max), short ones bound (a GBK varchar ending in half a character, UTF-16).
            "create table nuls(n integer, gl text, wl text, bv varchar(8), bn varchar(8));"
            "insert into nuls values(1, x'414200' || replace(hex(zeroblob(2500)), '0', 'x') || 'END', "
            "'电脑' || char(0) || replace(hex(zeroblob(2500)), '0', '台') || '尾', null, null);"
            "insert into nuls select 2, t, t, null, null from (select replace(hex(zeroblob(2047)), '0', 'x') || "
            "char(0) || replace(hex(zeroblob(50)), '0', 'y') || 'Z' as t);"
            "insert into nuls values(3, null, null, x'4142004344A1', x'41004200000043004400');"
            // Dates a datetime cannot hold, as a hostile server might send them.
            "create table olddates(n integer, od datetime);"
            "insert into olddates values(1, '1753-01-01'), (2, '0113-09-21'), (3, '9999-12-31 23:59:59');";
        ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        sqlite3_close(db);
        faq::test::registerSqlServerDriver(FAQ_TDS_ODBC_DRIVER, kAlias);
    }
    TdsServer server{{.file = path,
                      .columnTypes = {{"开始使用日期", "varchar(10)"},
                                      {"b", "bigint"},
                                      {"m", "money"},
                                      {"d", "decimal(18,2)"},
                                      {"nv", "nvarchar(8)"},
                                      {"big", "nvarchar(max)"},
                                      {"gl", "text"},
                                      {"wl", "nvarchar(max)"},
                                      {"bn", "nvarchar(8)"},
                                      {"od", "datetime"}}}};
    ConnParams params{server.address(), "UFDATA_001_2026", "sa", "tds-secret-9"};
    static inline std::string path;
};

TEST_F(Tds, EveryTypeAndNullAsSqlServerSendsThem) {
    CDB db(params, odbcConnector());
    auto rs = db.ExecSqlRs("select i, b, f, m, d, dt, v, nv, big, lng from types order by i is null", 3, 1, 1);
    ASSERT_EQ(rs->recordCount(), 2u);
    EXPECT_EQ(rs->value(0, 0).i, -7);
    EXPECT_EQ(rs->value(0, 1).i, 5000000000);
    EXPECT_DOUBLE_EQ(rs->value(0, 2).d, 0.1);
    EXPECT_EQ(rs->value(0, 3).text, "1234.5678");
    EXPECT_EQ(rs->value(0, 4).text, "-98765.43");
    EXPECT_EQ(rs->value(0, 5).text, "2026-06-01 08:30:05");
    EXPECT_EQ(rs->value(0, 6).text, "台式电脑");  // varchar in code page 936
    EXPECT_EQ(rs->value(0, 7).text, "한국");      // nvarchar: what 936 lacks
    EXPECT_TRUE(rs->value(0, 8).text == rs->value(0, 9).text);
    EXPECT_GT(rs->value(0, 8).text.size(), 8000u);
    EXPECT_TRUE(rs->value(0, 8).text.ends_with("长"));
    for (size_t c = 0; c < rs->fieldCount(); ++c) EXPECT_TRUE(rs->value(1, c).isNull()) << c;
    // Half a GBK character at the end of a varchar or text: the row stays, the broken byte
    // marked, bound in blocks and read per cell alike.
    rs = db.ExecSqlRs("select n, v, t from cut order by n", 3, 1, 1);
    ASSERT_EQ(rs->recordCount(), 3u);
    for (size_t c : {1u, 2u}) {
        EXPECT_EQ(rs->value(0, c).text, "电脑\uFFFD") << c;
        EXPECT_EQ(rs->value(1, c).text, "电脑") << c;
        EXPECT_EQ(rs->value(2, c).text, "\uFFFD") << c;
    }
    // A NUL inside a text cuts nothing off: every character comes, the NUL as ␀, the mark
    // only for the bytes that form none.
    rs = db.ExecSqlRs("select n, gl, wl from nuls where n < 3 order by n", 3, 1, 1);
    ASSERT_EQ(rs->recordCount(), 2u);
    EXPECT_EQ(rs->value(0, 1).text, "AB␀" + std::string(5000, 'x') + "END");
    std::string tai;
    for (int i = 0; i < 5000; ++i) tai += "台";
    EXPECT_EQ(rs->value(0, 2).text, "电脑␀" + tai + "尾");
    for (size_t c : {1u, 2u})
        EXPECT_EQ(rs->value(1, c).text, std::string(4094, 'x') + "␀" + std::string(100, 'y') + "Z") << c;
    rs = db.ExecSqlRs("select n, bv, bn from nuls order by n", 3, 1, 1);
    ASSERT_EQ(rs->recordCount(), 3u);
    EXPECT_EQ(rs->value(2, 1).text, "AB␀CD\uFFFD");
    EXPECT_EQ(rs->value(2, 2).text, "AB␀CD");
    EXPECT_TRUE(rs->value(0, 1).isNull());
    // A datetime outside what SQL Server's datetime holds is refused, never shown as another date.
    rs = db.ExecSqlRs("select n, od from olddates where n <> 2 order by n", 3, 1, 1);
    ASSERT_EQ(rs->recordCount(), 2u);
    EXPECT_EQ(rs->value(0, 1).text, "1753-01-01 00:00:00");
    EXPECT_EQ(rs->value(1, 1).text, "9999-12-31 23:59:59");
    try {
        db.ExecSqlRs("select n, od from olddates order by n", 3, 1, 1);
        FAIL() << "year 113 shown";
    } catch (const DbError& e) {
        EXPECT_NE(std::string(e.what()).find("超出了这一列的日期类型能保存的范围（1753–9999 年）"), std::string::npos)
            << e.what();
    }
    // An empty result keeps its columns; the server's message for a missing table arrives as
    // it was written.
    rs = db.ExecSqlRs("select n as [编号], t from wide where 0", 3, 1, 1);
    EXPECT_EQ(rs->fieldCount(), 2u);
    EXPECT_EQ(rs->field(0).name, "编号");
    EXPECT_EQ(rs->recordCount(), 0u);
    try {
        db.ExecSqlRs("select * from fa_Karten");
        FAIL() << "no error";
    } catch (const DbError& e) {
        EXPECT_NE(std::string(e.what()).find("对象名 'fa_Karten' 无效。"), std::string::npos) << e.what();
    }
}

TEST_F(Tds, LoginFailuresAsTheServerWordsThem) {
    for (auto [pwd, database, said] : {std::tuple{"wrong-9", "UFDATA_001_2026", "用户 'sa' 登录失败。"},
                                       std::tuple{"tds-secret-9", "UFDATA_404", "无法打开登录所请求的数据库"}}) {
        params.pwd = pwd;
        params.database = database;
        try {
            CDB db(params, odbcConnector());
            FAIL() << "logged in";
        } catch (const DbError& e) {
            EXPECT_EQ(e.failure(), Failure::Connect);
            EXPECT_NE(std::string(e.what()).find(said), std::string::npos) << e.what();
            EXPECT_EQ(std::string(e.what()).find(pwd), std::string::npos) << e.what();
        }
    }
    // Every character a user may type reaches the server as typed, in each of the boxes;
    // what FreeTDS cannot carry is refused before any login.
    for (const std::string v : {"a;b", "p{w}d", "x}y;z{", "}{;", "尾}"}) {
        TdsServer::Options options;
        options.file = path;
        options.login = options.password = options.database = v;
        TdsServer hostile(options);
        ConnParams typed{hostile.address(), v, v, v};
        try {
            CDB db(typed, odbcConnector());
            EXPECT_EQ(db.ExecSqlRs("select count(*) as c from wide")->value(0, 0).i, 3000) << v;
        } catch (const DbError& e) {
            ADD_FAILURE() << v << ": " << e.what();
        }
    }
    {
        TdsServer::Options options;
        options.file = path;
        options.password = "x};y";
        TdsServer hostile(options);
        try {
            CDB db({hostile.address(), "UFDATA_001_2026", "sa", "x};y"}, odbcConnector());
            FAIL() << "logged in";
        } catch (const DbError& e) {
            EXPECT_EQ(e.failure(), Failure::Connect);
            EXPECT_NE(std::string(e.what()).find("没有尝试登录"), std::string::npos) << e.what();
        }
        EXPECT_EQ(hostile.logins(), 0);
    }
    // faquery report says so and exits with 3.
    const std::string err = faq::test::tempPath("tds-login.err");
    const std::string cmd = "FAQUERY_PWD=wrong-9 " FAQ_BINARY_DIR "/src/faquery report --server " + server.address() +
                            " --database UFDATA_001_2026 > /dev/null 2> " + err;
    EXPECT_EQ(WEXITSTATUS(std::system(cmd.c_str())), 3);
    std::ifstream f(err);
    const std::string said((std::istreambuf_iterator<char>(f)), {});
    EXPECT_TRUE(said.starts_with("数据库连接失败")) << said;
    EXPECT_NE(said.find("用户 'sa' 登录失败。"), std::string::npos) << said;
}

TEST_F(Tds, CancelAndADroppedConnectionLeaveTheNextStatementWorking) {
    CDB db(params, odbcConnector());
    server.faults().answerDelayMs = 60000;  // while the statement runs
    faq::test::expectCancelledSoonAfterThePress(db, "select n from wide", std::chrono::milliseconds(300));
    db.clearCancel();
    server.faults().answerDelayMs = 0;
    server.faults().rowDelayMs = 5;  // while the rows stream
    faq::test::expectCancelledSoonAfterThePress(db, "select n from wide", std::chrono::milliseconds(300));
    db.clearCancel();
    server.faults().rowDelayMs = 0;
    EXPECT_EQ(server.attentions(), 2);
    EXPECT_EQ(db.ExecSqlRs("select count(*) as c from wide")->value(0, 0).i, 3000);
    server.faults().dropAfterRows = 1500;
    try {
        db.ExecSqlRs("select n, t from wide");
        FAIL() << "half a result read as a whole one";
    } catch (const DbError& e) {
        EXPECT_EQ(e.failure(), Failure::Statement) << e.what();
    }
    server.faults().dropAfterRows = -1;
    CDB again(params, odbcConnector());
    EXPECT_EQ(again.ExecSqlRs("select n, t from wide")->recordCount(), 3000u);
    // faquery report against a server that never acknowledges the cancel: Ctrl-C or SIGTERM
    // (a scheduler's, timeout's) ends it within the window's bound, with the interrupted code.
    server.faults().answerDelayMs = 60000;
    server.faults().ignoreAttention = true;
    const std::string err = faq::test::tempPath("tds-ignored.err");
    for (const int sig : {SIGINT, SIGTERM}) {
        const int batches = server.batches();
        const pid_t pid = fork();
        if (pid == 0) {
            setenv("FAQUERY_PWD", "tds-secret-9", 1);
            if (!std::freopen("/dev/null", "w", stdout) || !std::freopen(err.c_str(), "w", stderr)) _exit(127);
            execl(FAQ_BINARY_DIR "/src/faquery", "faquery", "report", "--server", server.address().c_str(),
                  "--database", "UFDATA_001_2026", "--format", "csv", nullptr);
            _exit(127);
        }
        // The signal once the statement is at the server, which holds it.
        for (int waited = 0; server.batches() == batches && waited < 30000; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const auto start = std::chrono::steady_clock::now();
        kill(pid, sig);
        int status = 0;
        for (int waited = 0; waitpid(pid, &status, WNOHANG) == 0; waited += 10) {
            if (waited > 20000) kill(pid, SIGKILL);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + sig) << sig << ": " << status;
        EXPECT_LT(took, std::chrono::seconds(5)) << sig;
        std::ifstream f(err);
        const std::string said((std::istreambuf_iterator<char>(f)), {});
        EXPECT_NE(said.find("服务器在 3 秒内没有确认取消"), std::string::npos) << said;
    }
    server.faults().ignoreAttention = false;
    server.faults().answerDelayMs = 0;
}

// A statement that fails part-way (an overflow in sum(), a deadlock victim): the rows
// received are never taken for the result, whether the error comes within the first block,
// after several blocks or after the last row, with an ERROR token or only the DONE's error bit.
TEST_F(Tds, AnErrorAfterRowsFailsTheWholeStatement) {
    CDB db(params, odbcConnector());
    for (const long after : {1L, 2500L, 3000L})
        for (const int number : {8115, 1205, 0}) {  // 0: the DONE's error bit and no message
            server.faults().errorAfterRows = after;
            server.faults().errorNumber = number;
            server.faults().errorToken = number != 0;
            try {
                auto rs = db.ExecSqlRs("select n, t from wide");
                ADD_FAILURE() << after << "/" << number << ": " << rs->recordCount() << " rows taken as the result";
            } catch (const DbError& e) {
                EXPECT_EQ(e.failure(), Failure::Statement) << e.what();
                const char* said = number == 8115   ? "算术溢出"
                                   : number == 1205 ? "死锁"
                                                    : "服务器报告语句出错，但没有给出原因";
                EXPECT_NE(std::string(e.what()).find(said), std::string::npos) << after << ": " << e.what();
            }
            server.faults().errorToken = true;
            server.faults().errorAfterRows = -1;
            EXPECT_EQ(db.ExecSqlRs("select count(*) as c from wide")->value(0, 0).i, 3000) << after;
        }
    // A second result after the rows, ending well or with the error bit (with and without
    // a message): the statement fails, whatever the first result's DONE says.
    faq::test::expectASecondResultFails(db, "select count(*) as a from wide", "select n as a from wide",
                                        "select a from no_such_table");
    for (const int number : {8115, 0}) {
        server.faults().errorAfterRows = 3001;  // within the second result
        server.faults().errorNumber = number;
        server.faults().errorToken = number != 0;
        try {
            db.ExecSqlRs("select count(*) as a from wide; select n as a from wide");
            ADD_FAILURE() << number << ": taken as the result";
        } catch (const DbError& e) {
            EXPECT_NE(std::string(e.what()).find(kSecondResult), std::string::npos) << e.what();
            if (number) {
                EXPECT_NE(std::string(e.what()).find("算术溢出"), std::string::npos) << e.what();
            }
        }
        server.faults().errorToken = true;
        server.faults().errorAfterRows = -1;
    }
    // The program stops reading a result past its memory: the rest is cancelled at the
    // server, the connection answers the next statement.
    // Many packets in flight when it stops: the server acknowledges after whole rows.
    setResultMemoryLimit(1 << 20);
    for (int i = 0; i < 3; ++i) {
        EXPECT_THROW(db.ExecSqlRs("select a.n, a.t, b.t from wide a, wide b limit 300000"), DbError);
        EXPECT_EQ(db.ExecSqlRs("select count(*) as c from wide")->value(0, 0).i, 3000);
    }
    setResultMemoryLimit(0);
    // faquery report: nothing on standard output, no file, exit 4, the server's words.
    server.faults().errorNumber = 8115;
    server.faults().errorAfterRows = 3;
    const std::string out = faq::test::tempPath("tds-partial.out"), err = faq::test::tempPath("tds-partial.err");
    for (const std::string format : {"table", "csv", "xlsx"}) {
        const std::string file = faq::test::tempPath("tds-partial." + format);
        std::remove(file.c_str());
        const std::string cmd = "FAQUERY_PWD=tds-secret-9 " FAQ_BINARY_DIR "/src/faquery report --server " +
                                server.address() + " --database UFDATA_001_2026 --from 2000-1 --to 2026-12 --format " +
                                format + (format == "table" ? "" : " --output " + file) + " > " + out + " 2> " + err;
        EXPECT_EQ(WEXITSTATUS(std::system(cmd.c_str())), 4) << format;
        EXPECT_EQ(std::filesystem::file_size(out), 0u) << format;
        EXPECT_FALSE(std::filesystem::exists(file)) << format;
        std::ifstream f(err);
        const std::string said((std::istreambuf_iterator<char>(f)), {});
        EXPECT_NE(said.find("算术溢出"), std::string::npos) << said;
    }
    server.faults().errorAfterRows = -1;
}

// The server goes away while the program stands idle. Still down: one statement, one
// message that says so in Chinese with the driver's words. Back (or restarted meanwhile):
// the next statement connects afresh and answers at once.
TEST_F(Tds, AServerRestartedWhileIdleCostsNoExtraPress) {
    TdsServer::Options options;
    options.file = path;
    auto first = std::make_unique<TdsServer>(options);
    options.port = first->port();
    params.server = first->address();
    faq::query::listMng builder(params, odbcConnector());
    ASSERT_GT(builder.getDeptList(nullptr)->recordCount(), 0u);
    first.reset();
    try {
        builder.getDeptList(nullptr);
        FAIL() << "an answer from a stopped server";
    } catch (const DbError& e) {
        EXPECT_EQ(e.failure(), Failure::Connect) << e.what();
        EXPECT_TRUE(std::string(e.what()).starts_with("与数据库的连接已断开，重新连接失败")) << e.what();
        EXPECT_FALSE(e.records().empty());
    }
    for (int restart = 0; restart < 2; ++restart) {
        TdsServer again(options);
        EXPECT_GT(builder.getDeptList(nullptr)->recordCount(), 0u) << restart;
        EXPECT_EQ(again.logins(), 1) << restart;
    }  // the second time, the server went away after an answer, the first after a failure
}

// faquery report in a process of its own, over the wire and on the file.
std::string report(const std::string& source, const std::string& args, const std::string& env = {}) {
    const std::string out = faq::test::tempPath("tds-report.out");
    const std::string cmd = env + " FAQUERY_PWD=tds-secret-9 " FAQ_BINARY_DIR "/src/faquery report " + source +
                            " --today 2026-12-07 " + args + " > " + out;
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::ifstream f(out, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), {});
}

// The parts of a workbook that hold its cells (the rest carries the time it was written).
std::string cells(const std::string& xlsx) {
    const std::string out = xlsx + ".cells";
    const std::string cmd =
        "python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
        "sys.stdout.buffer.write(b\"\".join(z.read(n) for n in sorted(z.namelist()) "
        "if n.startswith(\"xl/\")))' " +
        xlsx + " > " + out;
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    std::ifstream f(out, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), {});
}

// Cards without sAssetNum, a column the summary never reads: the card list goes on without
// 资产编号 and says so once, over the wire (SQL Server's 207) as from the file.
TEST_F(Tds, TheCardListGoesWithoutAColumnTheCardsLack) {
    const std::string file = faq::test::tempPath("tds-no-asset-num.db");
    std::filesystem::remove(file);
    std::filesystem::copy_file(path, file);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    registerSqlDialect(db);  // the sample's collations
    ASSERT_EQ(sqlite3_exec(db, "alter table fa_Cards drop column sAssetNum", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    TdsServer lacking({.file = file, .columnTypes = {{"开始使用日期", "varchar(10)"}}});
    std::string shown;
    for (const std::string& source :
         {"--sqlite " + file, "--server " + lacking.address() + " --database UFDATA_001_2026"}) {
        const std::string out = faq::test::tempPath("tds-lack.out"), err = faq::test::tempPath("tds-lack.err");
        const std::string cmd = "FAQUERY_PWD=tds-secret-9 " FAQ_BINARY_DIR "/src/faquery report " + source +
                                " --today 2026-12-07 --from 2000-1 --to 2026-12 --cards --format csv > " + out +
                                " 2> " + err;
        ASSERT_EQ(std::system(cmd.c_str()), 0) << source;
        std::ifstream o(out, std::ios::binary), e(err);
        const std::string csv((std::istreambuf_iterator<char>(o)), {}), said((std::istreambuf_iterator<char>(e)), {});
        EXPECT_EQ(csv.substr(0, csv.find('\r')),
                  "\xEF\xBB\xBF卡片编号,固定资产名称,使用部门,开始使用日期,原值,增加方式");
        EXPECT_EQ(said, "这个数据库的卡片没有资产编号（fa_Cards.sAssetNum）一列，明细中不列出资产编号\n") << source;
        if (shown.empty()) shown = csv;
        EXPECT_EQ(csv, shown) << source;
        EXPECT_GT(std::count(csv.begin(), csv.end(), '\n'), 100);
    }
}

TEST_F(Tds, ReportOverTheWireGivesTheEmbeddedEnginesBytesFetchingInBlocks) {
    // unixODBC's trace of every call, for the one run below that counts them.
    const std::string dir = faq::test::registerSqlServerDriver(FAQ_TDS_ODBC_DRIVER);
    const std::string trace = dir + "/trace.log";
    std::ofstream(dir + "/odbcinst.ini", std::ios::app) << "[ODBC]\nTrace=Yes\nTraceFile=" << trace << "\n";
    const std::string traced = "ODBCSYSINI=" + dir;
    faq::test::registerSqlServerDriver(FAQ_TDS_ODBC_DRIVER);  // the other runs: untraced
    const std::string wire = "--server " + server.address() + " --database UFDATA_001_2026";
    const std::string file = "--sqlite " + path;
    TdsServer nvarchar({.file = path, .nvarcharTexts = true, .columnTypes = {{"开始使用日期", "nvarchar(10)"}}});
    const std::string wireN = "--server " + nvarchar.address() + " --database UFDATA_001_2026";
    for (const std::string criteria :
         {"--from 2000-1 --to 2026-12", "--name 电 --like --dept 03", "--name 'O'\\''Neil 台式机'"}) {
        const std::string table = report(file, criteria);
        ASSERT_GT(table.size(), 200u) << criteria;
        EXPECT_EQ(report(wire, criteria), table) << criteria;
        EXPECT_EQ(report(wireN, criteria), table) << criteria;
        const std::string csv = report(file, criteria + " --format csv");
        EXPECT_EQ(report(wire, criteria + " --format csv", criteria[2] == 'f' ? traced : ""), csv) << criteria;
        EXPECT_EQ(report(wireN, criteria + " --format csv"), csv) << criteria;
        // The cards behind the summary, over the wire as in the file.
        const std::string cards = report(file, criteria + " --cards --format csv");
        ASSERT_GT(cards.size(), 100u) << criteria;
        EXPECT_EQ(report(wire, criteria + " --cards --format csv"), cards) << criteria;
        const std::string a = faq::test::tempPath("tds-a.xlsx"), b = faq::test::tempPath("tds-b.xlsx");
        std::remove(a.c_str()), std::remove(b.c_str());
        report(file, criteria + " --format xlsx --output " + a);
        report(wire, criteria + " --format xlsx --output " + b);
        EXPECT_EQ(cells(a), cells(b)) << criteria;
    }
    // The traced run: the whole period, a few thousand rows, in blocks of bound arrays;
    // no value read cell by cell.
    std::ifstream f(trace);
    const std::string log((std::istreambuf_iterator<char>(f)), {});
    auto calls = [&](const std::string& name) {
        const std::regex entry("\\[" + name + "\\.c\\]\\[\\d+\\]\\s+Entry:");
        return std::distance(std::sregex_iterator(log.begin(), log.end(), entry), std::sregex_iterator());
    };
    const std::string csv = report(file, "--from 2000-1 --to 2026-12 --format csv");
    const auto rows = std::count(csv.begin(), csv.end(), '\n');
    ASSERT_GT(rows, 2000);
    EXPECT_LE(calls("SQLFetch"), 2 + rows / 1000 + 2) << rows << " rows";
    EXPECT_EQ(calls("SQLGetData"), 0);
}

}  // namespace
