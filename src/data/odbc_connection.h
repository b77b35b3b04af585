// A connection through the ODBC driver manager, with wide-character calls throughout.
#pragma once

#include <atomic>
#include <mutex>

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
    void cancel() override;
    void clearCancel() override { mCancel = false; }

    // Results are fetched into bound columns, in blocks of rows where the driver allows;
    // off, every value is read with SQLGetData (for drivers whose binding misbehaves).
    void setBlockFetch(bool on) { mBlockFetch = on; }

private:
    friend class Running;
    odbc::Stmt statement(int timeoutSeconds);
    // Runs op with stmt as the statement that cancel() stops; an error after a cancel
    // request becomes a cancelled one.
    template <typename Op>
    auto running(const odbc::Stmt& stmt, Op&& op) -> decltype(op());
    RecordsetPtr callWith(const odbc::Stmt& stmt, Command& cmd, const std::string& call, bool wantResult);
    void endTransaction(SQLSMALLINT completion, const char* context);
    // What the driver knows of the connection after a failure (false where it cannot say).
    bool connectionDead() const;
    // Consumes every remaining result of stmt.
    // Reads the statement's answer to its end; the first failure in it fails the statement.
    // oneResult: a result with columns among what follows (a query asks for one) fails it too.
    static void drainResults(const odbc::Stmt& stmt, bool oneResult = false);
    // Moves past results without columns (row counts of statements before a query);
    // rc is the result of the execution and is updated. Returns the column count, 0 when
    // no result has columns.
    static SQLSMALLINT firstResultWithColumns(const odbc::Stmt& stmt, SQLRETURN* rc);

    odbc::Env mEnv;
    odbc::Dbc mDbc;
    bool mConnected = false;
    bool mInTransaction = false;
    bool mBlockFetch = true;
    SQLUINTEGER mGetDataExtensions = 0;
    std::mutex mRunningLock;
    SQLHSTMT mRunning = SQL_NULL_HSTMT;
    std::atomic<bool> mCancel{false};
};

}  // namespace faq::data
