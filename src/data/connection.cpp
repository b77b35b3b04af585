#include "connection.h"

#include "odbc_connection.h"

namespace faq::data {

namespace {
Connector& current() {
    static Connector connector;
    return connector;
}
}  // namespace

void setConnector(Connector c) { current() = std::move(c); }

std::unique_ptr<Connection> openConnection(const std::string& connectionString) {
    if (current()) return current()(connectionString);
    return std::make_unique<OdbcConnection>(connectionString);
}

}  // namespace faq::data
