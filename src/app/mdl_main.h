// Process-wide state and the thin functions through which the windows reach the query
// builder.
#pragma once

#include <string>

#include "data/conn_params.h"
#include "data/recordset.h"
#include "query/cmvlogin.h"
#include "query/listmng.h"

namespace faq::mdlMain {

// The connection parameters, stored in the data layer (see conn_params.h).
inline std::string& gsServer = data::connParams().server;
inline std::string& gsDatabase = data::connParams().database;
inline std::string& gsUid = data::connParams().uid;
inline std::string& gsPwd = data::connParams().pwd;

// The shared query builder, created on first use and kept until the process ends.
query::listMng& gListMng();
// Whether the shared builder holds an open connection: tells a failed connection from a
// failed statement.
bool connectionOpen();
// Drops the shared builder and its connection; the next call starts afresh. Used by tests.
void resetListMng();

data::RecordsetPtr fetchList(query::CMvLogin& p);
data::RecordsetPtr fetchCobList(query::CMvLogin* p, const std::string& zcName);
data::RecordsetPtr fetchDeptList(query::CMvLogin* p);

}  // namespace faq::mdlMain
