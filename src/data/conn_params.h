// The four connection parameters and the connection string built from them.
#pragma once

#include <string>

namespace faq::data {

struct ConnParams {
    std::string server;
    std::string database;
    std::string uid;
    std::string pwd;
};

// "DRIVER={sql server}; SERVER=" + server + "; DATABASE=" + database + "; UID=" + uid +
// "; PWD=" + pwd, values as typed. A value holding ';', '{' or '}' would be misread by
// the driver's parser, so it alone goes in braces with each '}' doubled, as ODBC specifies.
std::string buildConnectionString(const ConnParams& p);

// value as it stands in a connection string: verbatim, or braced when it must be.
std::string connectionStringValue(const std::string& value);

}  // namespace faq::data
