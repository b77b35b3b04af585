// The query-text builder: turns criteria into statements and runs them on its own CDB,
// which it creates at the first call that needs it.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "cmvlogin.h"
#include "data/cdb.h"
#include "data/recordset.h"

namespace faq::query {

class listMng {
public:
    // The CDB is built from params as they are at the first call, through connector.
    listMng(const data::ConnParams& params, data::Connector connector);
    ~listMng();
    // The asset summary; stores the statement in p.strSql before running it.
    data::RecordsetPtr getList(CMvLogin& p);
    // Distinct asset names beginning with zcName (all of them when it is empty); p is unused.
    data::RecordsetPtr getCobList(CMvLogin* p, const std::string& zcName);
    // cDepCode, cDepName of every department, ordered by code; p is unused.
    data::RecordsetPtr getDeptList(CMvLogin* p);

    bool connected() const { return mLive != nullptr; }
    // Stops the statement running on another thread (any thread), and forgets the request.
    void cancel();
    void clearCancel();

private:
    data::RecordsetPtr run(const std::string& sql);
    const data::ConnParams& mParams;
    data::Connector mConnector;
    // A failed connection leaves no CDB, so the next call tries again.
    std::unique_ptr<data::CDB> mDb;
    std::atomic<data::CDB*> mLive{nullptr};  // mDb once open, for cancel() from other threads
};

}  // namespace faq::query
