#include "connection.h"

#include "odbc_connection.h"

namespace faq::data {

Connector odbcConnector(const std::string& driver) {
    return [driver](const std::string& cs) -> std::unique_ptr<Connection> {
        const std::string named = "DRIVER={" + std::string(kDefaultDriver) + "}";
        if (driver == kDefaultDriver || !cs.starts_with(named)) return std::make_unique<OdbcConnection>(cs);
        return std::make_unique<OdbcConnection>("DRIVER={" + driver + "}" + cs.substr(named.size()));
    };
}

bool isDriverName(const std::string& name) {
    return name.find_first_of(std::string("{}\0", 3)) == std::string::npos &&
           name.find_first_not_of(' ') != std::string::npos;
}

}  // namespace faq::data
