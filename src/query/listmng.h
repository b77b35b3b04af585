// The query-text builder: turns criteria into statements and runs them on its own CDB,
// which it creates at the first call that needs it.
#pragma once

#include <memory>
#include <string>

#include "cmvlogin.h"
#include "data/cdb.h"
#include "data/recordset.h"

namespace faq::query {

class listMng {
public:
    listMng();
    ~listMng();
    // The asset summary; stores the statement in p.strSql before running it.
    data::RecordsetPtr getList(CMvLogin& p);
    // Distinct asset names beginning with zcName (all of them when it is empty); p is unused.
    data::RecordsetPtr getCobList(CMvLogin* p, const std::string& zcName);
    // cDepCode, cDepName of every department, ordered by code; p is unused.
    data::RecordsetPtr getDeptList(CMvLogin* p);

    bool connected() const { return mDb != nullptr; }

private:
    data::RecordsetPtr run(const std::string& sql);
    // A failed connection leaves no CDB, so the next call tries again.
    std::unique_ptr<data::CDB> mDb;
};

}  // namespace faq::query
