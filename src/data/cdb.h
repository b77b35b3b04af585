// The database access object: one connection, one command object, and the operations
// every statement of the program runs through.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "conn_params.h"
#include "connection.h"
#include "parameter.h"
#include "recordset.h"

namespace faq::data {

class CDB {
public:
    static constexpr int kConnectionCommandTimeout = 10000;

    // Builds the connection string from params and opens the connection through connector
    // (the ODBC driver manager when empty); on failure throws the driver's error as a
    // connection failure, password removed, and nothing is kept.
    CDB(const ConnParams& params, const Connector& connector);
    ~CDB();
    CDB(const CDB&) = delete;
    CDB& operator=(const CDB&) = delete;

    void ExecSql(const std::string& pstrSql);
    RecordsetPtr ExecSqlRs(const std::string& pstrSql, int32_t pintCursorType = ado::adOpenForwardOnly,
                           int32_t pintLockType = ado::adLockReadOnly, int32_t pintCmdType = ado::adCmdText);
    void CallProc(const std::string& pstrProcName);
    RecordsetPtr CallProcRs(const std::string& pstrProcName);
    void AddParameter(const std::string& pstrParaName, int32_t pintType, int32_t pintDirection,
                      const Variant& pvarValue, int32_t plngSize = -1, int32_t pintAttributes = ado::adParamSigned);
    void ClearParameters();
    void beginTrans();
    void commitTrans();
    void rollbackTrans();

    // The command object, for reading output parameters after a call.
    const Command& command() const { return *mCmd; }
    // Stops the running statement (any thread); see Connection::cancel.
    void cancel() { mConn->cancel(); }
    void clearCancel() { mConn->clearCancel(); }

private:
    void OpenConnection(const ConnParams& params, const Connector& connector);
    // Runs op; a DbError leaves with the password taken out of its text.
    template <typename Op>
    auto guarded(Op&& op) -> decltype(op());

    std::string mSecret;  // the password, kept out of every error text
    std::unique_ptr<Connection> mConn;
    std::unique_ptr<Command> mCmd;
};

}  // namespace faq::data
