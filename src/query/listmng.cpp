#include "listmng.h"

#include "sql_text.h"

namespace faq::query {

listMng::listMng(const data::ConnParams& params, data::Connector connector)
    : mParams(params), mConnector(std::move(connector)) {}
listMng::~listMng() = default;

data::RecordsetPtr listMng::run(const std::string& sql) {
    if (!mDb) {
        mDb = std::make_unique<data::CDB>(mParams, mConnector);
        mLive = mDb.get();
    }
    return mDb->ExecSqlRs(sql, data::ado::adOpenStatic, data::ado::adLockReadOnly, data::ado::adCmdText);
}

void listMng::cancel() {
    if (data::CDB* db = mLive) db->cancel();
}

void listMng::clearCancel() {
    if (data::CDB* db = mLive) db->clearCancel();
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
