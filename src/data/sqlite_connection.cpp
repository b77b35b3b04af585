#include "sqlite_connection.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "db_error.h"
#include "embedded_sql.h"
#include "program_error.h"
#include "sample_db.h"
#include "sql_collation.h"
#include "sql_dialect.h"

namespace faq::data {

namespace {

int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

FieldType declaredType(const char* decl) {
    if (!decl) return FieldType::Null;  // an expression: decided by its first value
    std::string t(decl);
    for (auto& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (t.find("INT") != std::string::npos) return FieldType::Integer;
    if (t.find("CHAR") != std::string::npos || t.find("TEXT") != std::string::npos ||
        t.find("CLOB") != std::string::npos)
        return FieldType::Text;
    if (t.find("REAL") != std::string::npos || t.find("FLOA") != std::string::npos ||
        t.find("DOUB") != std::string::npos)
        return FieldType::Double;
    if (t.find("DATE") != std::string::npos || t.find("TIME") != std::string::npos) return FieldType::DateTime;
    if (t.find("DEC") != std::string::npos || t.find("NUM") != std::string::npos ||
        t.find("MONEY") != std::string::npos)
        return FieldType::Decimal;
    return FieldType::Null;
}

FieldType storageType(int sqliteType) {
    switch (sqliteType) {
        case SQLITE_INTEGER: return FieldType::Integer;
        case SQLITE_FLOAT: return FieldType::Double;
        default: return FieldType::Text;
    }
}

struct Statement {
    sqlite3_stmt* stmt = nullptr;
    ~Statement() { sqlite3_finalize(stmt); }
};

// A file name as the path of a "file:" URI.
std::string uriPath(const std::string& file) {
    std::string out;
    for (unsigned char c : file) {
        if (c == '%' || c == '?' || c == '#' || c < 0x20) {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

bool exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

}  // namespace

SqliteConnection::SqliteConnection(const EmbeddedSource& source) {
    try {
        open(source.file, source.readOnly);
        int rc = registerSqlDialect(mDb);
        if (rc != SQLITE_OK) fail("注册 SQL Server 方言失败", rc);
        rc = sqlite3_create_function_v2(
            mDb, "faq_latest", 3, SQLITE_UTF8, this,
            [](sqlite3_context* ctx, int, sqlite3_value** argv) {
                auto* c = static_cast<SqliteConnection*>(sqlite3_user_data(ctx));
                const int answer = c->latestTest(argv[0], argv[1], argv[2]);
                if (answer == kLatest || answer == kNotLatest)
                    sqlite3_result_int(ctx, answer == kLatest);
                else
                    sqlite3_result_error_code(ctx, answer);
            },
            nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) fail("注册 SQL Server 方言失败", rc);
        // A large GROUP BY or ORDER BY sorts its runs on helper threads, one for each core
        // beside this one (the collation is safe to call from any of them).
        const unsigned cores = std::thread::hardware_concurrency();
        const std::string threads = "pragma threads = " + std::to_string(cores > 1 ? std::min(cores - 1, 4u) : 0u);
        sqlite3_exec(mDb, threads.c_str(), nullptr, nullptr, nullptr);
        sqlite3_progress_handler(
            mDb, 20000,
            [](void* self) -> int {
                auto* c = static_cast<SqliteConnection*>(self);
                const int64_t deadline = c->mDeadlineMs;
                return c->mCancel || (deadline && nowMs() > deadline) ? 1 : 0;
            },
            this);
        if (source.file.empty()) {
            SampleOptions options;
            if (source.sampleCards > 0) options.cards = source.sampleCards;
            if (source.sampleSeed) options.seed = source.sampleSeed;
            generateSample(mDb, options);
        }
    } catch (...) {
        sqlite3_close_v2(mDb);
        mDb = nullptr;
        throw;
    }
}

void SqliteConnection::open(const std::string& file, bool readOnly) {
    if (file.empty()) {
        int rc = sqlite3_open_v2(":memory:", &mDb, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                 nullptr);
        if (rc != SQLITE_OK) fail("无法创建内存数据库", rc);
        sqlite3_extended_result_codes(mDb, 1);
        return;
    }
    struct stat st {};
    if (stat(file.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        throw DbError("无法打开数据库文件：" + file, {{"HY000", SQLITE_CANTOPEN, "这是一个文件夹，不是数据库文件"}},
                      Failure::Connect);
    const int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
    // Opening is lazy: read the schema now, so a file that is not a database fails here; a
    // writer's lock is waited for from this first read on.
    auto readSchema = [this] {
        sqlite3_extended_result_codes(mDb, 1);
        sqlite3_busy_timeout(mDb, kBusyTimeoutMs);
        return sqlite3_exec(mDb, "select count(*) from sqlite_master", nullptr, nullptr, nullptr);
    };
    // Pages are read, never memory-mapped: a file cut short while it is read (a backup
    // copied over it) is then an I/O error with a message, not a signal that kills us.
    int rc = sqlite3_open_v2(file.c_str(), &mDb, flags, nullptr);
    if (rc == SQLITE_OK) rc = readSchema();
    if (rc == SQLITE_OK) return;
    const int primary = rc & 0xFF;
    // A writer that stopped mid-transaction leaves a journal (or WAL) that must be rolled
    // back (or checkpointed) before the file reads as committed; reading past it would
    // show half-written figures.
    const bool refusedReadOnly = readOnly && (primary == SQLITE_CANTOPEN || primary == SQLITE_READONLY);
    for (const char* pending : {"-journal", "-wal"}) {
        if (refusedReadOnly && exists(file + pending))
            throw DbError("无法打开数据库文件：" + file,
                          {{"HY000", rc,
                            std::string("文件旁有未完成的写入（") + file + pending +
                                "），直接读取会得到不完整的数字：请先用写入它的程序打开并关闭一次，再来查询"}},
                          Failure::Connect);
    }
    // A WAL-mode file in a folder that cannot take its -shm file: with no -wal or journal
    // beside it the file holds everything, and nobody can write to it there (a writer
    // would need to create one of them), so it can be read as immutable without creating
    // anything.
    if (refusedReadOnly && exists(file)) {
        sqlite3_close_v2(mDb);
        mDb = nullptr;
        rc = sqlite3_open_v2(("file:" + uriPath(file) + "?immutable=1").c_str(), &mDb,
                             SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
        if (rc == SQLITE_OK) rc = readSchema();
        if (rc == SQLITE_OK) return;
    }
    fail("无法打开数据库文件：" + file, rc);
}

SqliteConnection::~SqliteConnection() {
    if (mDb) sqlite3_close_v2(mDb);
}

SqliteConnection::SeekStatement::~SeekStatement() {
    sqlite3_finalize(stmt);
}

namespace {

// A write that failed where the database is read-only (or in memory): it was one of
// SQLite's temporary files.
bool tempWriteFailed(sqlite3* db, int rc) {
    if (!db || (rc != SQLITE_IOERR_WRITE && rc != SQLITE_IOERR_FSYNC && rc != SQLITE_IOERR_TRUNCATE)) return false;
    const char* file = sqlite3_db_filename(db, "main");
    return sqlite3_db_readonly(db, "main") == 1 || !file || !*file;
}

}  // namespace

void SqliteConnection::fail(const std::string& context, int rc) const {
    std::string msg = mDb ? sqlite3_errmsg(mDb) : sqlite3_errstr(rc);
    Failure failure = Failure::Statement;
    if ((rc & 0xFF) == SQLITE_INTERRUPT && mCancel) {
        failure = Failure::Cancelled;
    } else if ((rc & 0xFF) == SQLITE_INTERRUPT && mDeadlineMs) {
        msg = "查询超时（" + msg + "）";
    } else if ((rc & 0xFF) == SQLITE_FULL || tempWriteFailed(mDb, rc)) {
        // A read-only database grows nothing: what filled up, or hit the file-size limit,
        // is the folder of SQLite's temporary files (sorting, grouping).
        const char* tmp = std::getenv("TMPDIR");
        const bool limit = mDb && sqlite3_system_errno(mDb) == EFBIG;
        msg = std::string("临时文件夹（") + (tmp && *tmp ? tmp : "/tmp") + "）" +
              (limit ? "的文件超过了允许的大小（ulimit -f）" : "空间不足") +
              "，查询用的临时数据写不下；数据库本身没有改动（" + msg + "）";
    } else if ((rc & 0xFF) == SQLITE_NOMEM) {
        msg = std::string(kOutOfMemory) + "（" + msg + "）";
    } else if ((rc & 0xFF) == SQLITE_CORRUPT || (rc & 0xFF) == SQLITE_IOERR || (rc & 0xFF) == SQLITE_NOTADB) {
        msg = "数据库文件读不出来：文件已损坏，或在读取时被改动、替换（" + msg + "）";
    } else if (msg.rfind("no such table: ", 0) == 0) {
        msg = "不是账套数据库：缺少表 " + msg.substr(15) + "（" + msg + "）";
    } else if ((rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED) {
        failure = Failure::Locked;
        msg = "另一个程序正在写入这个数据库，等待 " + std::to_string(kBusyTimeoutMs / 1000) + " 秒后仍未结束（" + msg +
              "）";
    }
    throw DbError(context, {{"HY000", rc, msg}}, failure);
}

void SqliteConnection::cancel() {
    mCancel = true;
    if (mDb) sqlite3_interrupt(mDb);
}

void SqliteConnection::setDeadline(int timeoutSeconds) {
    mDeadlineMs = timeoutSeconds > 0 ? nowMs() + int64_t{timeoutSeconds} * 1000 : 0;
}

void SqliteConnection::execute(const std::string& sql, int timeoutSeconds) {
    if (!mDb) throw DbError("连接已关闭");
    setDeadline(timeoutSeconds);
    char* err = nullptr;
    int rc = sqlite3_exec(mDb, sql.c_str(), nullptr, nullptr, &err);
    sqlite3_free(err);
    if (rc != SQLITE_OK) fail("执行语句失败", rc);
}

RecordsetPtr SqliteConnection::query(const std::string& statement, int timeoutSeconds) {
    if (!mDb) throw DbError("连接已关闭");
    setDeadline(timeoutSeconds);
    // The summary and the card list as SQLite runs them fast, texts compared as the server
    // does; the text sent and shown stays the program's.
    RecordsetPtr rs = run(embeddedForm(statement));
    // Both read the cards' dates: say when some could not be read.
    if (decorrelateSummary(statement) != statement) rs->notice = unreadableDates();
    return rs;
}

std::string SqliteConnection::embeddedForm(const std::string& statement) {
    CardIndexes indexes = readCardIndexes(mDb);
    if (indexes.latestBySeek && decorrelateSummary(statement) != statement) indexes.latestMarked = prepareLatest();
    return embeddedStatement(statement, indexes);
}

SqliteConnection::DataState SqliteConnection::dataState() {
    RecordsetPtr version = run("pragma data_version");
    return {version->recordCount() ? version->value(0, 0).i : -1, sqlite3_total_changes64(mDb)};
}

bool SqliteConnection::prepareLatest() {
    const DataState state = dataState();
    if (mLatest && mLatest->state == state) return mLatest->usable;
    mLatest = LatestMarks{state, false, false, 0, 0, {}};
    // A table without rowids, or rowids too far apart for one bit each: the seek instead.
    constexpr int64_t kMostRowid = int64_t{64} << 20;
    sqlite3_stmt* top = nullptr;
    int rc = sqlite3_prepare_v2(mDb, "select min(rowid), max(rowid) from fa_Cards", -1, &top, nullptr);
    int64_t least = -1, most = -1;
    if (rc == SQLITE_OK && sqlite3_step(top) == SQLITE_ROW && sqlite3_column_type(top, 0) != SQLITE_NULL)
        least = sqlite3_column_int64(top, 0), most = sqlite3_column_int64(top, 1);
    sqlite3_finalize(top);
    if (least < 0 || most > kMostRowid) return false;
    mLatest->usable = true;
    mLatest->most = most;
    // Until a third of the cards have been tested, each is tested by a seek: statements that
    // keep few cards never pay for the pass that marks them all, which costs about what a
    // seek for each of a third of the cards does; statements that keep many pay at most
    // twice what either way alone would have cost, and only once for each state of the data.
    mLatest->seeksLeft = most / 3 + 1;
    return true;
}

int SqliteConnection::latestTest(sqlite3_value* rowid, sqlite3_value* number, sqlite3_value* id) {
    if (!mLatest || !mLatest->usable) return SQLITE_MISUSE;  // asked outside embeddedForm's statements
    LatestMarks& m = *mLatest;
    if (!m.marked && m.seeksLeft > 0) {
        --m.seeksLeft;
        // The test as the statements write it: the id is the greatest of its card number's.
        if (!mSeek.stmt) {
            const int rc = sqlite3_prepare_v3(
                mDb,
                "select ?2 collate chinese_prc_ci_as = max(sCardID collate chinese_prc_ci_as) from fa_Cards"
                " where sCardNum collate chinese_prc_ci_as is ?1",
                -1, SQLITE_PREPARE_PERSISTENT, &mSeek.stmt, nullptr);
            if (rc != SQLITE_OK) return rc;
        }
        sqlite3_reset(mSeek.stmt);
        sqlite3_bind_value(mSeek.stmt, 1, number);
        sqlite3_bind_value(mSeek.stmt, 2, id);
        const int rc = sqlite3_step(mSeek.stmt);
        const bool latest = rc == SQLITE_ROW && sqlite3_column_int(mSeek.stmt, 0) == 1;
        sqlite3_reset(mSeek.stmt);
        if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? SQLITE_ERROR : rc;
        return latest ? kLatest : kNotLatest;
    }
    if (!m.marked) {
        if (const int rc = markLatest(); rc != SQLITE_OK) return rc;
    }
    const int64_t row = sqlite3_value_int64(rowid);
    if (row < 0) return kNotLatest;
    const auto word = static_cast<size_t>(row) / 64;
    return word < m.bits.size() && (m.bits[word] >> (row % 64) & 1) ? kLatest : kNotLatest;
}

int SqliteConnection::markLatest() {
    LatestMarks& m = *mLatest;
    m.bits.assign(static_cast<size_t>(m.most / 64 + 1), 0);
    // Every version of each card number together, its ids in order, as the index keeps them:
    // the last id of a number is its latest version (the ids are unique under the collation,
    // or the statements would not be asked to test so). NULL numbers are one number, as IS
    // has it; a NULL id is never the latest.
    Statement s;
    int rc = sqlite3_prepare_v2(mDb,
                                "select rowid, sCardNum from fa_Cards where sCardID is not null"
                                " order by sCardNum collate chinese_prc_ci_as, sCardID collate chinese_prc_ci_as",
                                -1, &s.stmt, nullptr);
    if (rc != SQLITE_OK) return rc;
    std::optional<std::string> number;
    int64_t last = -1;
    bool first = true;
    const auto endNumber = [&] {
        if (!first && last <= m.most) m.bits[static_cast<size_t>(last) / 64] |= uint64_t{1} << (last % 64);
    };
    while ((rc = sqlite3_step(s.stmt)) == SQLITE_ROW) {
        const int64_t row = sqlite3_column_int64(s.stmt, 0);
        std::optional<std::string_view> num;
        if (sqlite3_column_type(s.stmt, 1) != SQLITE_NULL) {
            const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s.stmt, 1));
            num = std::string_view(p ? p : "", static_cast<size_t>(sqlite3_column_bytes(s.stmt, 1)));
        }
        const bool sameNumber = !first && (num ? number && compareSqlServer(*num, *number) == 0 : !number.has_value());
        if (!sameNumber) {
            endNumber();
            number = num ? std::optional<std::string>(std::string(*num)) : std::nullopt;
            first = false;
        }
        last = row;
    }
    if (rc != SQLITE_DONE) return rc;
    endNumber();
    m.marked = true;
    return SQLITE_OK;
}

// Cards whose dates SQLite holds as texts no date reading takes: they fall out of every
// period and as-of test, which SQL Server's datetime columns would never let happen.
std::string SqliteConnection::unreadableDates() {
    // A pass over every card: counted again only when the data changed, by another
    // connection (data_version) or by this one.
    const DataState state = dataState();
    const int64_t dataVersion = state.dataVersion, changes = state.changes;
    if (mUnreadable && mUnreadable->dataVersion == dataVersion && mUnreadable->changes == changes)
        return mUnreadable->notice;
    constexpr const char* kCount =
        "select count(distinct sCardNum), min(coalesce(case when isdate(dStartdate) = 0 then dStartdate end,"
        " case when isdate(dInputDate) = 0 then dInputDate end, case when isdate(dTransDate) = 0 then dTransDate end,"
        " case when isdate(dDisposeDate) = 0 then dDisposeDate end)) from fa_Cards"
        " where (dStartdate is not null and isdate(dStartdate) = 0) or (dInputDate is not null and isdate(dInputDate) "
        "= 0)"
        " or (dTransDate is not null and isdate(dTransDate) = 0) or (dDisposeDate is not null and isdate(dDisposeDate) "
        "= 0)";
    RecordsetPtr count = run(kCount);
    std::string notice;
    if (count->recordCount() && count->value(0, 0).i != 0)
        notice = "有 " + std::to_string(count->value(0, 0).i) + " 张卡片的日期无法识别（例如“" +
                 std::string(count->value(0, 1).text) + "”），没有计入任何期间";
    mUnreadable = Unreadable{dataVersion, changes, notice};
    return notice;
}

RecordsetPtr SqliteConnection::run(const std::string& sql) {
    const char* tail = sql.c_str();
    const char* end = tail + sql.size();
    RecordsetPtr first;
    while (tail < end) {
        Statement s;
        const char* next = nullptr;
        int rc = sqlite3_prepare_v3(mDb, tail, static_cast<int>(end - tail), 0, &s.stmt, &next);
        if (rc != SQLITE_OK) fail("执行查询失败", rc);
        tail = next;
        if (!s.stmt) continue;  // blanks or a comment
        const int cols = sqlite3_column_count(s.stmt);
        if (cols == 0 || first) {
            // As a server runs a whole batch: what follows the first result runs to its end
            // too, and its failure is the statement's. A query asks for one result: a
            // second one fails it.
            while ((rc = sqlite3_step(s.stmt)) == SQLITE_ROW) {
            }
            if (rc != SQLITE_DONE) fail(cols && first ? kSecondResult : "执行语句失败", rc);
            if (cols && first) throw DbError(kSecondResult);
            continue;
        }
        std::vector<Field> fields(static_cast<size_t>(cols));
        for (int c = 0; c < cols; ++c) {
            const char* name = sqlite3_column_name(s.stmt, c);
            fields[static_cast<size_t>(c)] = {name ? name : "", declaredType(sqlite3_column_decltype(s.stmt, c))};
        }
        rc = sqlite3_step(s.stmt);
        // Columns without a declared type take the kind of their first value.
        for (int c = 0; c < cols; ++c) {
            auto& f = fields[static_cast<size_t>(c)];
            if (f.type == FieldType::Null)
                f.type = rc == SQLITE_ROW && sqlite3_column_type(s.stmt, c) != SQLITE_NULL
                             ? storageType(sqlite3_column_type(s.stmt, c))
                             : FieldType::Text;
        }
        std::vector<FieldType> textKind(fields.size());
        for (size_t c = 0; c < fields.size(); ++c) {
            FieldType t = fields[c].type;
            textKind[c] = (t == FieldType::DateTime || t == FieldType::Decimal) ? t : FieldType::Text;
        }
        RecordsetBuilder b(std::move(fields));
        for (; rc == SQLITE_ROW; rc = sqlite3_step(s.stmt)) {
            for (int c = 0; c < cols; ++c) {
                // One look-up of the cell, then its value read directly: this connection is
                // used by one thread at a time, so the unprotected value is safe to read.
                sqlite3_value* v = sqlite3_column_value(s.stmt, c);
                switch (sqlite3_value_type(v)) {
                    case SQLITE_NULL: b.putNull(); break;
                    case SQLITE_INTEGER: b.putInt(sqlite3_value_int64(v)); break;
                    case SQLITE_FLOAT: b.putDouble(sqlite3_value_double(v)); break;
                    default: {
                        const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
                        const auto n = static_cast<size_t>(sqlite3_value_bytes(v));
                        if (!p && sqlite3_errcode(mDb) == SQLITE_NOMEM) fail("读取数据失败", SQLITE_NOMEM);
                        b.putText(std::string_view(p ? p : "", n), textKind[static_cast<size_t>(c)]);
                    }
                }
            }
        }
        if (rc != SQLITE_DONE) fail("读取数据失败", rc);
        first = b.finish();
    }
    return first ? first : RecordsetBuilder({}).finish();
}

RecordsetPtr SqliteConnection::callProcedure(Command& cmd, bool) {
    throw DbError("嵌入式数据库（SQLite）没有存储过程，无法调用：" + cmd.commandText);
}

void SqliteConnection::beginTransaction() {
    if (mInTransaction) throw ProgramError("不支持嵌套事务");
    execute("BEGIN", 0);
    mInTransaction = true;
}

void SqliteConnection::commitTransaction() {
    if (!mInTransaction) throw ProgramError("提交事务失败：没有活动的事务");
    execute("COMMIT", 0);
    mInTransaction = false;
}

void SqliteConnection::rollbackTransaction() {
    if (!mInTransaction) throw ProgramError("回滚事务失败：没有活动的事务");
    execute("ROLLBACK", 0);
    mInTransaction = false;
}

void SqliteConnection::close() {
    if (!mDb) return;
    int rc = sqlite3_close_v2(mDb);
    mDb = nullptr;
    if (rc != SQLITE_OK) throw DbError("关闭连接失败", {{"HY000", rc, sqlite3_errstr(rc)}});
}

Connector embeddedConnector(EmbeddedSource source) {
    return [source](const std::string&) -> std::unique_ptr<Connection> {
        return std::make_unique<SqliteConnection>(source);
    };
}

}  // namespace faq::data
