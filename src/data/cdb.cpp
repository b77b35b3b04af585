#include "cdb.h"

#include "db_error.h"
#include "prelogin_probe.h"

namespace faq::data {

template <typename Op>
auto CDB::guarded(Op&& op) -> decltype(op()) {
    try {
        return op();
    } catch (const DbError& e) {
        throw e.redacted(mSecret);
    }
}

namespace {

// How long the pre-login asked after a timed-out login may take.
constexpr int kProbeMs = 3000;

// The login time-out: HYT00 of the driver manager and the drivers, FreeTDS 20003.
bool loginTimedOut(const DbError& e) {
    for (const auto& r : e.records())
        if (r.sqlState == "HYT00" || r.sqlState == "HYT01" || r.nativeError == 20003) return true;
    return false;
}

}  // namespace

CDB::CDB(const ConnParams& params, const Connector& connector) {
    OpenConnection(params, connector);
}

void CDB::OpenConnection(const ConnParams& params, const Connector& connector) {
    mSecret = params.pwd;
    const std::string connectionString = buildConnectionString(params);
    auto cmd = std::make_unique<Command>();
    // The connection's command time-out governs its statements; the login time-out and
    // the command object's own time-out keep their defaults.
    try {
        mConn = connector ? connector(connectionString) : odbcConnector()(connectionString);
    } catch (const DbError& e) {
        DbError failed = e.redacted(mSecret).asConnectFailure();
        if (loginTimedOut(failed) && probePrelogin(params.server, kProbeMs) == Prelogin::Encrypted)
            failed.markEncryptionStalled();
        throw failed;
    }
    mCmd = std::move(cmd);
}

CDB::~CDB() {
    if (mConn) {
        try {
            mConn->close();
        } catch (...) {
            // Closing at the end of the object's life has nobody to report to.
        }
    }
    mCmd.reset();
    mConn.reset();
}

void CDB::ExecSql(const std::string& pstrSql) {
    guarded([&] { mConn->execute(pstrSql, kConnectionCommandTimeout); });
}

RecordsetPtr CDB::ExecSqlRs(const std::string& pstrSql, int32_t pintCursorType, int32_t pintLockType,
                            int32_t pintCmdType) {
    return guarded([&] {
        RecordsetPtr rs;
        if (pintCmdType == ado::adCmdStoredProc) {
            Command cmd;
            cmd.commandText = pstrSql;
            cmd.commandType = ado::adCmdStoredProc;
            rs = mConn->callProcedure(cmd, true);
        } else if (pintCmdType == ado::adCmdTable) {
            rs = mConn->query("SELECT * FROM " + pstrSql, kConnectionCommandTimeout);
        } else {
            rs = mConn->query(pstrSql, kConnectionCommandTimeout);
        }
        rs->cursorType = pintCursorType;
        rs->lockType = pintLockType;
        rs->options = pintCmdType;
        return rs;
    });
}

void CDB::CallProc(const std::string& pstrProcName) {
    mCmd->commandText = pstrProcName;
    mCmd->commandType = ado::adCmdStoredProc;
    guarded([&] { mConn->callProcedure(*mCmd, false); });
}

RecordsetPtr CDB::CallProcRs(const std::string& pstrProcName) {
    mCmd->commandText = pstrProcName;
    mCmd->commandType = ado::adCmdStoredProc;
    return guarded([&] { return mConn->callProcedure(*mCmd, true); });
}

void CDB::AddParameter(const std::string& pstrParaName, int32_t pintType, int32_t pintDirection,
                       const Variant& pvarValue, int32_t plngSize, int32_t pintAttributes) {
    Parameter p;  // ADO's defaults: name "", type adEmpty, direction input, size 0, no value
    p.name = pstrParaName;
    p.type = pintType;
    p.direction = pintDirection;
    p.attributes = pintAttributes;
    p.value = pvarValue;
    if (plngSize != -1) p.size = plngSize;
    mCmd->parameters.push_back(std::move(p));
}

void CDB::ClearParameters() {
    mCmd->parameters.clear();
}

void CDB::beginTrans() {
    guarded([&] { mConn->beginTransaction(); });
}
void CDB::commitTrans() {
    guarded([&] { mConn->commitTransaction(); });
}
void CDB::rollbackTrans() {
    guarded([&] { mConn->rollbackTransaction(); });
}

}  // namespace faq::data
