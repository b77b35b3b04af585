#include "conn_params.h"

namespace faq::data {

std::string connectionStringValue(const std::string& value) {
    if (value.find_first_of(";{}") == std::string::npos) return value;
    std::string out = "{";
    for (char c : value) {
        out += c;
        if (c == '}') out += '}';
    }
    return out + "}";
}

std::string buildConnectionString(const ConnParams& p) {
    return "DRIVER={sql server}; SERVER=" + connectionStringValue(p.server) +
           "; DATABASE=" + connectionStringValue(p.database) + "; UID=" + connectionStringValue(p.uid) +
           "; PWD=" + connectionStringValue(p.pwd);
}

}  // namespace faq::data
