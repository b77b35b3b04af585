// The four connection parameters and the connection string built from them.
//
// The data layer owns the parameters so that a CDB can read them when it is constructed
// without the data layer depending on the application layer; mdlMain exposes them under
// their process-wide names gsServer, gsDatabase, gsUid and gsPwd.
#pragma once

#include <string>

namespace faq::data {

struct ConnParams {
    std::string server;
    std::string database;
    std::string uid;
    std::string pwd;
};

// Process-wide parameters, empty until the settings dialog writes them.
ConnParams& connParams();

// "DRIVER={sql server}; SERVER=" + server + "; DATABASE=" + database + "; UID=" + uid +
// "; PWD=" + pwd; values verbatim, nothing escaped, nothing else added.
std::string buildConnectionString(const ConnParams& p);

}  // namespace faq::data
