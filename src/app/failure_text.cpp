#include "failure_text.h"

#include <algorithm>
#include <initializer_list>

#include "data/odbc_connection.h"

namespace faq::app {

namespace {

bool anyNative(const data::DbError& e, std::initializer_list<long> natives) {
    return std::any_of(e.records().begin(), e.records().end(), [&](const data::DiagRecord& r) {
        return std::find(natives.begin(), natives.end(), r.nativeError) != natives.end();
    });
}

bool anyState(const data::DbError& e, std::initializer_list<const char*> states) {
    return std::any_of(e.records().begin(), e.records().end(), [&](const data::DiagRecord& r) {
        return std::any_of(states.begin(), states.end(), [&](const char* s) { return r.sqlState == s; });
    });
}

bool anyWords(const data::DbError& e, std::initializer_list<const char*> words) {
    return std::any_of(e.records().begin(), e.records().end(), [&](const data::DiagRecord& r) {
        return std::any_of(words.begin(), words.end(),
                           [&](const char* w) { return r.message.find(w) != std::string::npos; });
    });
}

}  // namespace

std::string explainConnectFailure(const data::DbError& e) {
    // The account itself: locked after wrong passwords (18486), its password expired or to
    // be changed before any other use (18487, 18488). Both come in place of 18456.
    if (anyNative(e, {18486}))
        return "这个登录名已被服务器锁定（多次输入错误的密码后，服务器会锁定它）：请让管理员解除锁定后再试。";
    if (anyNative(e, {18487, 18488}))
        return "这个登录名的密码已过期或必须修改：请让管理员修改密码（或用 SQL Server 的管理工具修改）后再试。";
    // PostgreSQL names a login that does not exist a role: a refused login, not a database.
    const bool noRole = anyWords(e, {"role \""}) && anyWords(e, {"\" does not exist"});
    // Most telling first: a database that cannot be opened comes with a refused login
    // (SQL Server sends 4060, then 18456), and a refused login with the driver's "cannot
    // connect". SQL Server 4060; PostgreSQL 3D000.
    if (!noRole &&
        (anyNative(e, {4060}) || anyState(e, {"3D000"}) || anyWords(e, {"Cannot open database", "\" does not exist"})))
        return "无法打开这个数据库：数据库名称不正确，或者这个登录名没有使用它的权限，请核对数据库名称。";
    // SQL Server 18456; PostgreSQL 28P01/28000 (psqlODBC hands them over as words).
    if (noRole || anyNative(e, {18456}) || anyState(e, {"28000", "28P01"}) ||
        anyWords(e, {"Login failed", "password authentication failed", "no password supplied", "pg_hba.conf"}))
        return "用户名或密码不正确，或者这个登录名不允许登录这台服务器：请核对用户名和密码。";
    // The login time-out: HYT00 of the driver manager and the drivers, FreeTDS 20003. A
    // server that answered its pre-login and asked for encryption was there: the encrypted
    // handshake is what stalled.
    if (e.encryptionStalled())
        return "服务器回应了登录前的握手并要求加密连接，但加密握手在 " +
               std::to_string(data::OdbcConnection::kLoginTimeoutSeconds) +
               " 秒内没有完成：多半是服务器只接受这台电脑的驱动程序不支持的加密协议版本（例如只允许 TLS 1.3），"
               "或者证书设置不符。请让管理员检查服务器的加密设置（强制加密、允许的 TLS 版本、证书）。";
    if (anyState(e, {"HYT00", "HYT01"}) || anyNative(e, {20003}))
        return "服务器在 " + std::to_string(data::OdbcConnection::kLoginTimeoutSeconds) +
               " 秒内没有回应登录：请确认数据库地址和端口是服务器的，服务器正在运行。";
    // Reached, but no connection came of it: TLS (Microsoft's drivers: the SSPI errors of
    // an untrusted or misnamed certificate, "SSL Provider"; psqlODBC in words) or, with
    // FreeTDS, 20002 once the socket was open (a TLS handshake that failed, or no SQL Server
    // at that port).
    if (anyNative(e, {20002, -2146893019, -2146893022, -2146893018, -2146893048}) ||
        anyWords(e, {"SSL Provider", "SSL error", "TLS", "certificate", "证书"}))
        return "连接到了服务器，但没能建立连接：多半是加密或证书的设置不符（也可能这个地址上的服务不是 SQL Server），"
               "请让管理员检查服务器的加密和证书设置，并核对数据库地址。";
    // Nobody answering at that address: 08001/08S01 while connecting; FreeTDS 20009
    // (unavailable), 20012/20013 (unknown host); Microsoft's drivers 17, 53, 2, 11001, 10060,
    // 10061.
    if (anyState(e, {"08001", "08S01"}) || anyNative(e, {20009, 20012, 20013, 17, 53, 11001, 10060, 10061}))
        return "无法连接到数据库服务器：请检查“数据库地址”（主机、主机,端口 或 主机\\实例）是否正确，"
               "网络是否畅通，服务器是否正在运行。";
    return {};
}

}  // namespace faq::app
