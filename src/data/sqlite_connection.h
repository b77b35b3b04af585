// The embedded engine: SQLite through its C API, with the SQL Server dialect registered,
// behind the same Connection interface as ODBC.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "connection.h"

struct sqlite3;
struct sqlite3_stmt;

struct sqlite3_value;

namespace faq::data {

struct EmbeddedSource {
    std::string file;      // a SQLite database file; empty: a sample generated in memory
    bool readOnly = true;  // files are opened read-only unless a caller needs to write
    int sampleCards = 0;   // for the in-memory sample
    uint64_t sampleSeed = 0;
};

class SqliteConnection : public Connection {
public:
    explicit SqliteConnection(const EmbeddedSource& source);
    ~SqliteConnection() override;

    void execute(const std::string& sql, int timeoutSeconds) override;
    RecordsetPtr query(const std::string& sql, int timeoutSeconds) override;
    RecordsetPtr callProcedure(Command& cmd, bool wantResult) override;
    void beginTransaction() override;
    void commitTransaction() override;
    void rollbackTransaction() override;
    void close() override;
    void cancel() override;
    void clearCancel() override { mCancel = false; }

    sqlite3* handle() const { return mDb; }
    // The statement as this connection runs it (embedded_sql.h), its latest-version test
    // answered by the connection where the file allows.
    std::string embeddedForm(const std::string& statement);

    // How long a statement waits for another program's write to end.
    static constexpr int kBusyTimeoutMs = 5000;

private:
    void open(const std::string& file, bool readOnly);
    void setDeadline(int timeoutSeconds);
    [[noreturn]] void fail(const std::string& context, int rc) const;
    // Runs the statements of sql; the last one's rows.
    RecordsetPtr run(const std::string& sql);
    std::string unreadableDates();
    // Whether faq_latest(rowid, number, id) can answer the latest-version test for this
    // statement: by a seek for the first cards, then from marks made for every card, once
    // for each state of the data.
    bool prepareLatest();
    static constexpr int kLatest = -1, kNotLatest = -2;  // else an SQLite error code
    int latestTest(sqlite3_value* rowid, sqlite3_value* number, sqlite3_value* id);
    int markLatest();

    // A state of the data: changed by another connection (data_version) or by this one.
    struct DataState {
        int64_t dataVersion, changes;
        bool operator==(const DataState&) const = default;
    };
    DataState dataState();
    struct LatestMarks {
        DataState state;
        bool usable, marked;
        int64_t most = 0;            // the greatest rowid
        int64_t seeksLeft = 0;       // cards to test by a seek before marking them all
        std::vector<uint64_t> bits;  // one a rowid
    };
    std::optional<LatestMarks> mLatest;
    struct SeekStatement {
        sqlite3_stmt* stmt = nullptr;
        ~SeekStatement();
    } mSeek;

    // The cards whose dates no date reading takes, as of a state of the data.
    struct Unreadable {
        int64_t dataVersion, changes;
        std::string notice;
    };
    std::optional<Unreadable> mUnreadable;

    sqlite3* mDb = nullptr;
    bool mInTransaction = false;
    std::atomic<int64_t> mDeadlineMs{0};
    std::atomic<bool> mCancel{false};
};

// A connector that opens source for every connection string.
Connector embeddedConnector(EmbeddedSource source);

}  // namespace faq::data
