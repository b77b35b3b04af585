#include "conn_params.h"

namespace faq::data {

ConnParams& connParams() {
    static ConnParams params;
    return params;
}

std::string buildConnectionString(const ConnParams& p) {
    return "DRIVER={sql server}; SERVER=" + p.server + "; DATABASE=" + p.database + "; UID=" + p.uid +
           "; PWD=" + p.pwd;
}

}  // namespace faq::data
