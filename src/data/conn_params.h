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

// The same connection string as FreeTDS's parser reads it. That parser ends a braced value at
// the first "};" (at the end of the string it keeps the closing brace in the value) and never
// reads "}}" as '}': a braced value goes as it stands, and the string ends with ';'. A value
// FreeTDS cannot carry (one holding "};") is refused with a DbError that names its box
// before any login is tried.
std::string forFreeTds(const std::string& connectionString);

}  // namespace faq::data
