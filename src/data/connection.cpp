#include "connection.h"

#include "odbc_connection.h"

namespace faq::data {

Connector odbcConnector() {
    return [](const std::string& cs) -> std::unique_ptr<Connection> { return std::make_unique<OdbcConnection>(cs); };
}

}  // namespace faq::data
