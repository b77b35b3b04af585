// The program's module of shared names, as a thin façade over the session that owns the
// connection: the connection parameters gsServer … gsPwd, the query builder gListMng and
// the functions through which the windows reach it.
#pragma once

#include <memory>
#include <string>

#include "data/recordset.h"
#include "query/cmvlogin.h"
#include "query/listmng.h"
#include "session.h"

namespace faq::app {

class mdlMain {
public:
    explicit mdlMain(Session& session)
        : gsServer(session.params.server),
          gsDatabase(session.params.database),
          gsUid(session.params.uid),
          gsPwd(session.params.pwd),
          mSession(session) {}
    // For a job: its statements all go to builder, whatever the session does meanwhile.
    mdlMain(Session& session, std::shared_ptr<query::listMng> builder) : mdlMain(session) {
        mPinned = std::move(builder);
    }

    std::string& gsServer;
    std::string& gsDatabase;
    std::string& gsUid;
    std::string& gsPwd;

    query::listMng& gListMng() { return mPinned ? *mPinned : mSession.builder(); }
    data::RecordsetPtr fetchList(query::CMvLogin& p) { return gListMng().getList(p); }
    data::RecordsetPtr fetchCards(const query::CMvLogin& p, const std::optional<query::SummaryRow>& row) {
        return gListMng().getCards(p, row);
    }
    data::RecordsetPtr fetchCobList(query::CMvLogin* p, const std::string& zcName) {
        return gListMng().getCobList(p, zcName);
    }
    data::RecordsetPtr fetchDeptList(query::CMvLogin* p) { return gListMng().getDeptList(p); }

private:
    Session& mSession;
    std::shared_ptr<query::listMng> mPinned;
};

}  // namespace faq::app
