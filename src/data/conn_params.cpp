#include "conn_params.h"

#include "db_error.h"

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

namespace {

// The box a key's value was typed into, for the refusal.
const char* boxOf(std::string key) {
    while (!key.empty() && key.front() == ' ') key.erase(0, 1);
    for (auto& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return key == "SERVER" ? "数据库地址" : key == "DATABASE" ? "数据库名" : key == "UID" ? "用户名" : "密码";
}

}  // namespace

std::string forFreeTds(const std::string& cs) {
    std::string out;
    size_t i = 0;
    while (i < cs.size()) {
        const size_t eq = cs.find('=', i);
        if (eq == std::string::npos) {
            out += cs.substr(i);
            break;
        }
        const std::string key = cs.substr(i, eq - i);
        out += cs.substr(i, eq + 1 - i);
        i = eq + 1;
        if (i < cs.size() && cs[i] == '{') {
            // ODBC's rule: up to the single '}', "}}" standing for '}'.
            std::string value;
            for (++i; i < cs.size(); ++i) {
                if (cs[i] != '}') {
                    value += cs[i];
                } else if (i + 1 < cs.size() && cs[i + 1] == '}') {
                    value += '}', ++i;
                } else {
                    ++i;
                    break;
                }
            }
            if (value.find("};") != std::string::npos)
                throw DbError(std::string("“") + boxOf(key) +
                                  "”中含有“};”：这台电脑上的 SQL Server 驱动程序（FreeTDS）无法传递这样的值，"
                                  "所以没有尝试登录。请让管理员改用不含“};”的值",
                              Failure::Connect);
            out += "{" + value + "}";
        }
        const size_t semi = cs.find(';', i);
        out += cs.substr(i, semi == std::string::npos ? std::string::npos : semi + 1 - i);
        if (semi == std::string::npos) break;
        i = semi + 1;
    }
    if (out.empty() || out.back() != ';') out += ';';
    return out;
}

}  // namespace faq::data
