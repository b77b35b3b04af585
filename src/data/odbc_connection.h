// A connection through the ODBC driver manager, with wide-character calls throughout.
#pragma once

#include "connection.h"
#include "odbc_handles.h"

namespace faq::data {

class OdbcConnection : public Connection {
public:
    static constexpr int kLoginTimeoutSeconds = 15;

    // Connects without prompting; throws DbError with the driver's diagnostics.
    explicit OdbcConnection(const std::string& connectionString);
    ~OdbcConnection() override;

    void execute(const std::string& sql, int timeoutSeconds) override;
    RecordsetPtr query(const std::string& sql, int timeoutSeconds) override;
    RecordsetPtr callProcedure(Command& cmd, bool wantResult) override;
    void beginTransaction() override;
    void commitTransaction() override;
    void rollbackTransaction() override;
    void close() override;

    // Results are fetched in blocks of rows where the driver allows; off, every value is
    // read with SQLGetData (for drivers whose block cursors misbehave).
    void setBlockFetch(bool on) { mBlockFetch = on; }

private:
    odbc::Stmt statement(int timeoutSeconds);
    void endTransaction(SQLSMALLINT completion, const char* context);
    // Consumes every remaining result of stmt.
    static void drainResults(const odbc::Stmt& stmt);
    // Moves past results without columns (row counts of statements before a query);
    // rc is the result of the execution and is updated. Returns the column count, 0 when
    // no result has columns.
    static SQLSMALLINT firstResultWithColumns(const odbc::Stmt& stmt, SQLRETURN* rc);

    odbc::Env mEnv;
    odbc::Dbc mDbc;
    bool mConnected = false;
    bool mInTransaction = false;
    bool mBlockFetch = true;
};

}  // namespace faq::data
