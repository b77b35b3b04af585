// Fetching a million rows of the summary's column types (three texts, a double, an
// integer): the ODBC layer against per-cell SQLGetData on the same driver, and the
// embedded connection against a bare sqlite3_step loop.
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "bench_util.h"
#include "data/odbc_connection.h"
#include "data/sqlite_connection.h"

using namespace faq;
using namespace faq::bench;

namespace {

constexpr int kRows = 1000000;
const char* const kQuery = "select a, b, c, v, n from plain";

std::string makeTable() {
    const std::string path = benchDir() + "/fetch-1m.db";
    if (access(path.c_str(), F_OK) == 0) return path;
    const std::string tmp = path + ".tmp";
    std::remove(tmp.c_str());
    sqlite3* db = nullptr;
    sqlite3_open(tmp.c_str(), &db);
    sqlite3_exec(db, "create table plain(a varchar(20), b varchar(20), c varchar(40), v double, n integer); begin",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "insert into plain values (?,?,?,?,?)", -1, &st, nullptr);
    const char* depts[] = {"办公室", "一车间", "华东销售处", "信息中心"};
    const char* names[] = {"台式电脑", "电脑桌", "数控车床", "空调机组", "小轿车"};
    for (int i = 0; i < kRows; ++i) {
        char date[16];
        std::snprintf(date, sizeof date, "%04d.%02d.%02d", 1990 + i % 37, 1 + i % 12, 1 + i % 28);
        sqlite3_bind_text(st, 1, date, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, depts[i % 4], -1, SQLITE_STATIC);
        sqlite3_bind_text(st, 3, names[i % 5], -1, SQLITE_STATIC);
        sqlite3_bind_double(st, 4, (i % 100000) * 1.25 + 0.01);
        sqlite3_bind_int64(st, 5, i % 7);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    std::rename(tmp.c_str(), path.c_str());
    return path;
}

void registerSqliteDriver() {
    const std::string dir = benchDir() + "/odbc";
    std::system(("mkdir -p " + dir).c_str());
    std::ofstream(dir + "/odbcinst.ini") << "[sql server]\nDriver=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so\n";
    setenv("ODBCSYSINI", dir.c_str(), 1);
}

// The same driver read with one SQLGetData call per cell.
long long perCellOdbc(const std::string& connStr) {
    SQLHENV env;
    SQLHDBC dbc;
    SQLHSTMT st;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    SQLDriverConnect(dbc, nullptr, (SQLCHAR*)connStr.c_str(), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    SQLExecDirect(st, (SQLCHAR*)kQuery, SQL_NTS);
    long long sum = 0;
    SQLWCHAR text[64];
    double d;
    SQLBIGINT n;
    SQLLEN ind;
    while (SQL_SUCCEEDED(SQLFetch(st))) {
        for (SQLUSMALLINT c = 1; c <= 3; ++c) {
            SQLGetData(st, c, SQL_C_WCHAR, text, sizeof text, &ind);
            sum += ind;
        }
        SQLGetData(st, 4, SQL_C_DOUBLE, &d, sizeof d, &ind);
        SQLGetData(st, 5, SQL_C_SBIGINT, &n, sizeof n, &ind);
        sum += n + static_cast<long long>(d);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return sum;
}

long long bareSqlite(const std::string& path) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, kQuery, -1, &st, nullptr);
    long long sum = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        for (int c = 0; c < 3; ++c) {
            sum += sqlite3_column_text(st, c)[0];
            sum += sqlite3_column_bytes(st, c);
        }
        sum += static_cast<long long>(sqlite3_column_double(st, 3)) + sqlite3_column_int64(st, 4);
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return sum;
}

}  // namespace

int main() {
    const std::string path = makeTable();
    registerSqliteDriver();
    const std::string connStr = "DRIVER={sql server};DATABASE=" + path + (getenv("STEP") ? ";StepAPI=1" : "");
    volatile long long sink = 0;
    size_t rows = 0;
    auto [odbcOurs, odbcBase] = compare(
        3,
        [&] {
            data::OdbcConnection c(connStr);
            rows = c.query(kQuery, 0)->recordCount();
        },
        [&] { sink = sink + perCellOdbc(connStr); });
    if (rows != kRows) std::fprintf(stderr, "ODBC fetch returned %zu rows\n", rows);
    report("fetch 1M rows, ODBC (sqliteodbc)", odbcOurs, odbcBase, "ms; baseline per-cell SQLGetData",
           "goal: ours at least 1.5x faster, ratio <= 0.67");
    auto [blocks, pieces] = compare(
        3,
        [&] {
            data::OdbcConnection c(connStr);
            rows = c.query(kQuery, 0)->recordCount();
        },
        [&] {
            data::OdbcConnection c(connStr);
            c.setBlockFetch(false);
            rows = c.query(kQuery, 0)->recordCount();
        });
    report("fetch 1M rows, ODBC blocks/per-cell", blocks, pieces, "ms; both into a recordset", "information");
    auto [embOurs, embBase] = compare(
        5,
        [&] {
            data::SqliteConnection c({path, true, 0, 0});
            rows = c.query(kQuery, 0)->recordCount();
        },
        [&] { sink = sink + bareSqlite(path); });
    if (rows != kRows) std::fprintf(stderr, "embedded fetch returned %zu rows\n", rows);
    report("fetch 1M rows, embedded SQLite", embOurs, embBase, "ms; baseline bare sqlite3_step loop", "goal: ratio <= 1.2");
    return 0;
}
