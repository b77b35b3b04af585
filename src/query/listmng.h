// The query-text builder: turns criteria into statements and runs them on its own CDB,
// which it creates at the first call that needs it.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "cmvlogin.h"
#include "data/cdb.h"
#include "data/recordset.h"
#include "sql_text.h"

namespace faq::query {

class listMng {
public:
    // The CDB is built from params as they are at the first call, through connector.
    listMng(const data::ConnParams& params, data::Connector connector);
    ~listMng();
    // The asset summary; stores the statement in p.strSql before running it.
    data::RecordsetPtr getList(CMvLogin& p);
    // Distinct asset names beginning with zcName (all of them when it is empty); p is unused.
    // The cards behind one row of the summary of p, or behind all of it. On a database whose
    // cards have no sAssetNum (the summary works without it) the list leaves 资产编号 out and
    // says so in its notice.
    data::RecordsetPtr getCards(const CMvLogin& p, const std::optional<SummaryRow>& row);
    data::RecordsetPtr getCobList(CMvLogin* p, const std::string& zcName);
    // cDepCode, cDepName of every department, ordered by code; p is unused.
    data::RecordsetPtr getDeptList(CMvLogin* p);

    bool connected() const { return mOpen; }
    // Stops the statement running on another thread (any thread), and forgets the request.
    void cancel();
    void clearCancel();

private:
    data::RecordsetPtr run(const std::string& sql);
    void open();
    void drop();  // the connection is gone: the next statement connects afresh
    const data::ConnParams& mParams;
    data::Connector mConnector;
    // A failed connection leaves no CDB, so the next call tries again; so does a lost one.
    std::unique_ptr<data::CDB> mDb;
    bool mLost = false;  // the connection was lost: the next open says so when it fails
    std::mutex mDbLock;  // mDb's replacement against cancel() from other threads
    std::atomic<bool> mOpen{false};
    bool mCancelRequested = false;            // under mDbLock: a cancel reaches a connection made after it too
    std::atomic<bool> mNoAssetNumber{false};  // the cards were found without sAssetNum
};

}  // namespace faq::query
