// The embedded engine: SQLite through its C API, with the SQL Server dialect registered,
// behind the same Connection interface as ODBC.
#pragma once

#include <cstdint>
#include <string>

#include "connection.h"

struct sqlite3;

namespace faq::data {

struct EmbeddedSource {
    std::string file;        // a SQLite database file; empty: a sample generated in memory
    bool readOnly = true;    // files are opened read-only unless a caller needs to write
    int sampleCards = 0;     // for the in-memory sample
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

    sqlite3* handle() const { return mDb; }

private:
    void setDeadline(int timeoutSeconds);
    [[noreturn]] void fail(const std::string& context, int rc) const;

    sqlite3* mDb = nullptr;
    bool mInTransaction = false;
    int64_t mDeadlineMs = 0;
};

// A connector that opens source for every connection string.
Connector embeddedConnector(EmbeddedSource source);

}  // namespace faq::data
