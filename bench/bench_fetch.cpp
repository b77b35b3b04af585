// Fetching a million rows: from PostgreSQL through psqlODBC (text, date, decimal, double,
// integer), our bound block fetch against per-cell SQLGetData, both into a recordset; the
// summary's column types through FreeTDS from the TDS test server and through the SQLite
// ODBC driver; and the embedded connection against a bare sqlite3_step loop.
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <vector>

#include "bench_util.h"
#include "data/odbc_connection.h"
#include "data/sqlite_connection.h"
#include "support/tds_server.h"

using namespace faq;
using namespace faq::bench;

namespace {

constexpr int kRows = 1000000;
constexpr int kCountedRows = 100000;  // under callgrind

std::string query(int rows) {
    return "select a, b, c, v, n from plain limit " + std::to_string(rows);
}
const std::vector<SQLSMALLINT> kSummaryTypes = {SQL_C_WCHAR, SQL_C_WCHAR, SQL_C_WCHAR, SQL_C_DOUBLE, SQL_C_SBIGINT};

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

// Our fetch of a whole result into a recordset, on a connection opened beforehand.
size_t fetchAll(data::OdbcConnection& c, const char* query) {
    return c.query(query, 0)->recordCount();
}

// Registers the drivers under names of their own (the driver manager reads them once).
void registerDrivers() {
    const std::string dir = benchDir() + "/odbc";
    std::system(("mkdir -p " + dir).c_str());
    std::ofstream(dir + "/odbcinst.ini") << "[sqlite]\nDriver=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so\n"
                                         << "[postgresql]\nDriver=/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so\n"
                                         << "[freetds]\nDriver=/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so\n";
    setenv("ODBCSYSINI", dir.c_str(), 1);
}

// A statement handle on a connection of the plain ODBC API, for the baselines.
struct RawStatement {
    SQLHENV env = SQL_NULL_HANDLE;
    SQLHDBC dbc = SQL_NULL_HANDLE;
    SQLHSTMT st = SQL_NULL_HANDLE;
    explicit RawStatement(const std::string& connStr) {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
        SQLDriverConnect(dbc, nullptr, (SQLCHAR*)connStr.c_str(), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    }
    ~RawStatement() {
        SQLFreeHandle(SQL_HANDLE_STMT, st);
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
};

// The driver alone: the statement and a bound block fetch of its rows into columns of the
// given C types (texts as 40 characters, decimals as text), nothing stored. Returns the rows.
size_t driverAlone(SQLHSTMT st, const char* query, const std::vector<SQLSMALLINT>& types) {
    constexpr SQLULEN kRowsPerFetch = 1024;
    SQLULEN got = 0;
    SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(kRowsPerFetch), 0);
    SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, &got, 0);
    SQLExecDirect(st, (SQLCHAR*)query, SQL_NTS);
    std::vector<std::vector<char>> data(types.size());
    std::vector<SQLLEN> ind(kRowsPerFetch * types.size());
    for (size_t c = 0; c < types.size(); ++c) {
        const SQLLEN width = types[c] == SQL_C_WCHAR            ? 41 * 2
                             : types[c] == SQL_C_CHAR           ? 24
                             : types[c] == SQL_C_TYPE_TIMESTAMP ? sizeof(SQL_TIMESTAMP_STRUCT)
                                                                : 8;
        data[c].resize(static_cast<size_t>(width) * kRowsPerFetch);
        SQLBindCol(st, static_cast<SQLUSMALLINT>(c + 1), types[c], data[c].data(), width, &ind[c * kRowsPerFetch]);
    }
    size_t rows = 0;
    while (SQL_SUCCEEDED(SQLFetch(st))) rows += got;
    SQLFreeStmt(st, SQL_CLOSE);
    SQLFreeStmt(st, SQL_UNBIND);
    SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
    return rows;
}

// The connections of one driver, opened before anything is measured: ours in blocks, ours
// per cell, and the plain API's. Only statements and their rows are measured.
struct Clients {
    data::OdbcConnection blocks, cells;
    RawStatement raw;
    explicit Clients(const std::string& connStr) : blocks(connStr), cells(connStr), raw(connStr) {
        blocks.setBlockFetch(true);
        cells.setBlockFetch(false);
    }
};

// Rows of five types on the PostgreSQL server that scripts/bench starts.
void fetchFromPostgres(Bench& bench) {
    const char* port = std::getenv("FAQ_PG_PORT");
    if (!port) {
        std::printf("%-36s (no PostgreSQL server: run scripts/bench)\n", "fetch 1M rows, ODBC (PostgreSQL)");
        return;
    }
    const std::string connStr =
        std::string("DRIVER={postgresql};SERVER=127.0.0.1;Port=") + port + ";DATABASE=faqtest;UID=faq;PWD=faq-test-pw";
    data::OdbcConnection setup(connStr);
    // (Not "if not exists": the notice it gives for an existing table fails the statement.)
    if (setup.query("select count(*) from pg_tables where tablename = 'fetch5'", 0)->value(0, 0).i == 0)
        setup.execute(
            "create table fetch5 as select ('固定资产 ' || (i % 1000))::varchar(40) as t, "
            "date '2000-01-01' + (i % 10000) as d, ((i % 100000) * 1.25)::numeric(18,2) as m, (i * 0.5)::float8 as f, "
            "i::integer as n from generate_series(1, 1000000) i",
            0);
    const int rows = bench.rows(kRows, kCountedRows);
    const std::string q = "select t, d, m, f, n from fetch5 limit " + std::to_string(rows);
    Clients clients(connStr);
    auto check = [&](size_t got) {
        if (got != static_cast<size_t>(rows)) std::fprintf(stderr, "PostgreSQL fetch returned %zu rows\n", got);
    };
    bench.run(
        "fetch 1M rows, ODBC (PostgreSQL)", 7, [&] { check(fetchAll(clients.blocks, q.c_str())); },
        [&] { check(fetchAll(clients.cells, q.c_str())); }, "ms; baseline per-cell SQLGetData into a recordset",
        "goal: ratio <= 0.67");
    // What of it is the driver's: the same bound fetch with nothing stored.
    bench.run(
        "  the same against psqlODBC alone", 9, [&] { check(fetchAll(clients.blocks, q.c_str())); },
        [&] {
            check(driverAlone(clients.raw.st, q.c_str(),
                              {SQL_C_WCHAR, SQL_C_TYPE_TIMESTAMP, SQL_C_CHAR, SQL_C_DOUBLE, SQL_C_SBIGINT}));
        },
        "ms; baseline bound fetch storing nothing", "goal: ratio <= 1.10");
}

// The summary's five columns (varchar(10) dates, two varchar texts, float, int) through
// FreeTDS from the TDS test server, which answers from bytes it prepared once.
void fetchFromTds(Bench& bench, const std::string& path) {
    test::TdsServer server({.file = path, .columnTypes = {{"a", "varchar(10)"}}, .cacheResults = true});
    setenv("TDSVER", "7.4", 0);
    const std::string connStr =
        "DRIVER={freetds};SERVER=" + server.address() + ";DATABASE=UFDATA_001_2026;UID=sa;PWD=tds-secret-9";
    const int rows = bench.rows(kRows, kCountedRows);
    const std::string q = query(rows);
    auto check = [&](size_t got) {
        if (got != static_cast<size_t>(rows)) std::fprintf(stderr, "FreeTDS fetch returned %zu rows\n", got);
    };
    Clients clients(connStr);
    check(fetchAll(clients.blocks, q.c_str()));  // the server prepares its answer
    bench.run(
        "fetch 1M rows, ODBC (FreeTDS)", 7, [&] { check(fetchAll(clients.blocks, q.c_str())); },
        [&] { check(fetchAll(clients.cells, q.c_str())); }, "ms; baseline per-cell SQLGetData into a recordset",
        "goal: ratio <= 0.67");
    bench.run(
        "  the same against FreeTDS alone", 9, [&] { check(fetchAll(clients.blocks, q.c_str())); },
        [&] { check(driverAlone(clients.raw.st, q.c_str(), kSummaryTypes)); },
        "ms; baseline bound fetch storing nothing", "goal: ratio <= 1.10");
}

// The same driver read with one SQLGetData call per cell.
long long perCellOdbc(SQLHSTMT st, const char* q) {
    SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN{1}), 0);
    SQLExecDirect(st, (SQLCHAR*)q, SQL_NTS);
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
    SQLFreeStmt(st, SQL_CLOSE);
    return sum;
}

long long bareSqlite(sqlite3* db, const char* q) {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, q, -1, &st, nullptr);
    long long sum = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        for (int c = 0; c < 3; ++c) {
            sum += sqlite3_column_text(st, c)[0];
            sum += sqlite3_column_bytes(st, c);
        }
        sum += static_cast<long long>(sqlite3_column_double(st, 3)) + sqlite3_column_int64(st, 4);
    }
    sqlite3_finalize(st);
    return sum;
}

}  // namespace

int main(int argc, char** argv) {
    registerDrivers();
    Bench bench(argc, argv);
    fetchFromPostgres(bench);
    const std::string path = makeTable();
    fetchFromTds(bench, path);
    if (const char* only = std::getenv("FAQ_BENCH_ONLY"); only && std::string(only) == "freetds") return 0;
    const std::string connStr = "DRIVER={sqlite};DATABASE=" + path;
    const int rows = bench.rows(kRows, kCountedRows);
    const std::string q = query(rows);
    auto check = [&](const char* what, size_t got) {
        if (got != static_cast<size_t>(rows)) std::fprintf(stderr, "%s fetch returned %zu rows\n", what, got);
    };
    volatile long long sink = 0;
    Clients clients(connStr);
    bench.run(
        "fetch 1M rows, ODBC (sqliteodbc)", 5, [&] { check("ODBC", fetchAll(clients.blocks, q.c_str())); },
        [&] { sink = sink + perCellOdbc(clients.raw.st, q.c_str()); },
        "ms; baseline per-cell SQLGetData storing nothing",
        "information: this driver's bound fetch is its per-cell reading");
    bench.run(
        "  the same against sqliteodbc alone", 7, [&] { check("ODBC", fetchAll(clients.blocks, q.c_str())); },
        [&] { check("bare ODBC", driverAlone(clients.raw.st, q.c_str(), kSummaryTypes)); },
        "ms; baseline bound fetch storing nothing", "goal: ratio <= 1.10");
    data::SqliteConnection embedded({path, true, 0, 0});
    sqlite3* bare = nullptr;
    sqlite3_open_v2(path.c_str(), &bare, SQLITE_OPEN_READONLY, nullptr);
    bench.run(
        "fetch 1M rows, embedded SQLite", 9, [&] { check("embedded", embedded.query(q, 0)->recordCount()); },
        [&] { sink = sink + bareSqlite(bare, q.c_str()); }, "ms; baseline bare sqlite3_step loop",
        "goal: ratio <= 1.10");
    sqlite3_close(bare);
    return 0;
}
