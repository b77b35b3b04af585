#include "listmng.h"

#include <utility>

#include "data/db_error.h"
#include "sql_text.h"

namespace faq::query {

listMng::listMng(const data::ConnParams& params, data::Connector connector)
    : mParams(params), mConnector(std::move(connector)) {}
listMng::~listMng() = default;

namespace {

// The connection itself failed (SQLSTATE class 08, a server shutting down, FreeTDS's
// network errors 20004/20006/20017, or the driver's words for it), not the statement: it
// answers nothing more.
bool connectionLost(const data::DbError& e) {
    if (e.failure() == data::Failure::Cancelled) return false;
    for (const auto& r : e.records()) {
        if (r.sqlState.rfind("08", 0) == 0 || r.sqlState.rfind("57P0", 0) == 0) return true;
        if (r.message.find("[FreeTDS]") != std::string::npos &&
            (r.nativeError == 20004 || r.nativeError == 20006 || r.nativeError == 20017))
            return true;
        for (const char* words : {"server closed the connection", "connection has been lost", "connection is dead"})
            if (r.message.find(words) != std::string::npos) return true;
    }
    return false;
}

}  // namespace

void listMng::open() {
    std::unique_ptr<data::CDB> db;
    try {
        db = std::make_unique<data::CDB>(mParams, mConnector);
    } catch (const data::DbError& e) {
        if (!std::exchange(mLost, false)) throw;
        throw data::DbError("与数据库的连接已断开，重新连接失败：" + e.context(), e.records(), e.failure());
    }
    mLost = false;
    std::lock_guard lock(mDbLock);
    mDb = std::move(db);
    mOpen = true;
}

data::RecordsetPtr listMng::run(const std::string& sql) {
    if (!mDb) open();
    try {
        return mDb->ExecSqlRs(sql, data::ado::adOpenStatic, data::ado::adLockReadOnly, data::ado::adCmdText);
    } catch (const data::DbError& e) {
        if (!connectionLost(e)) throw;
        // Dropped: the next statement connects afresh with the same parameters.
        {
            std::lock_guard lock(mDbLock);
            mOpen = false;
            mDb.reset();
        }
        mLost = true;
        throw data::DbError("与数据库的连接已断开，下一次查询时会重新连接：" + e.context(), e.records(), e.failure());
    }
}

void listMng::cancel() {
    std::lock_guard lock(mDbLock);
    if (mDb) mDb->cancel();
}

void listMng::clearCancel() {
    std::lock_guard lock(mDbLock);
    if (mDb) mDb->clearCancel();
}

data::RecordsetPtr listMng::getList(CMvLogin& p) {
    p.strSql = summarySql(p);
    return run(p.strSql);
}

data::RecordsetPtr listMng::getCobList(CMvLogin*, const std::string& zcName) {
    return run(assetNameListSql(zcName));
}

data::RecordsetPtr listMng::getDeptList(CMvLogin*) {
    return run(departmentListSql());
}

}  // namespace faq::query
