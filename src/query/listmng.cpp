#include "listmng.h"

#include <cctype>
#include <utility>

#include "data/db_error.h"
#include "sql_text.h"

namespace faq::query {

listMng::listMng(const data::ConnParams& params, data::Connector connector)
    : mParams(params), mConnector(std::move(connector)) {}
listMng::~listMng() = default;

namespace {

// The connection itself failed (the driver found it dead, SQLSTATE class 08, a server
// shutting down, FreeTDS's network errors 20004/20006/20017, or the driver's words for
// it), not the statement: it answers nothing more.
bool connectionLost(const data::DbError& e) {
    if (e.failure() == data::Failure::Cancelled) return false;
    if (e.connectionDead()) return true;
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
        if (!mLost) throw;  // said again at every try until a connection is made
        throw data::DbError("与数据库的连接已断开，重新连接失败：" + e.context(), e.records(), e.failure());
    }
    mLost = false;
    std::lock_guard lock(mDbLock);
    mDb = std::move(db);
    mOpen = true;
    if (mCancelRequested) mDb->cancel();  // pressed while this connection was being made
}

void listMng::drop() {
    {
        std::lock_guard lock(mDbLock);
        mOpen = false;
        mDb.reset();
    }
    mLost = true;
}

data::RecordsetPtr listMng::run(const std::string& sql) {
    const auto exec = [&] {
        return mDb->ExecSqlRs(sql, data::ado::adOpenStatic, data::ado::adLockReadOnly, data::ado::adCmdText);
    };
    if (!mDb) open();
    try {
        return exec();
    } catch (const data::DbError& e) {
        if (!connectionLost(e)) throw;
        drop();
        if (!e.unanswered())
            throw data::DbError("与数据库的连接已断开，下一次查询时会重新连接：" + e.context(), e.records(),
                                e.failure());
    }
    // The connection was gone before the statement got any answer (a server restarted
    // while the window stood idle). Every statement here only reads, so it is sent again
    // at once on a new connection: one press gives the result.
    open();
    try {
        return exec();
    } catch (const data::DbError& e) {
        if (!connectionLost(e)) throw;
        drop();
        throw data::DbError("与数据库的连接已断开，下一次查询时会重新连接：" + e.context(), e.records(), e.failure());
    }
}

void listMng::cancel() {
    std::lock_guard lock(mDbLock);
    mCancelRequested = true;
    if (mDb) mDb->cancel();
}

void listMng::clearCancel() {
    std::lock_guard lock(mDbLock);
    mCancelRequested = false;
    if (mDb) mDb->clearCancel();
}

data::RecordsetPtr listMng::getList(CMvLogin& p) {
    p.strSql = summarySql(p);
    return run(p.strSql);
}

namespace {

// The server's word that fa_Cards has no sAssetNum: SQL Server 207 (列名 … 无效 / Invalid
// column name), ODBC 42S22, PostgreSQL 42703, SQLite "no such column".
bool noAssetNumber(const data::DbError& e) {
    if (e.failure() != data::Failure::Statement) return false;
    for (const data::DiagRecord& r : e.records()) {
        std::string m = r.message;
        for (char& c : m) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (m.find("sassetnum") == std::string::npos) continue;
        if (r.nativeError == 207 || r.sqlState == "42S22" || r.sqlState == "42703" ||
            m.find("no such column") != std::string::npos || m.find("does not exist") != std::string::npos ||
            m.find("invalid column") != std::string::npos || m.find("无效") != std::string::npos)
            return true;
    }
    return false;
}

}  // namespace

data::RecordsetPtr listMng::getCards(const CMvLogin& p, const std::optional<SummaryRow>& row) {
    if (!mNoAssetNumber) {
        try {
            return run(cardListSql(p, row));
        } catch (const data::DbError& e) {
            if (!noAssetNumber(e)) throw;
            mNoAssetNumber = true;
        }
    }
    data::RecordsetPtr rs = run(cardListSql(p, row, false));
    const std::string said = "这个数据库的卡片没有资产编号（fa_Cards.sAssetNum）一列，明细中不列出资产编号";
    rs->notice = rs->notice.empty() ? said : rs->notice + "；" + said;
    return rs;
}

data::RecordsetPtr listMng::getCobList(CMvLogin*, const std::string& zcName) {
    return run(assetNameListSql(zcName));
}

data::RecordsetPtr listMng::getDeptList(CMvLogin*) {
    return run(departmentListSql());
}

}  // namespace faq::query
