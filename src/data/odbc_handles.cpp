#include "odbc_handles.h"

#include <vector>

#include "utf.h"

namespace faq::data::odbc {

std::vector<DiagRecord> diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::vector<DiagRecord> records;
    if (handle == SQL_NULL_HANDLE) return records;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        std::u16string msg(512, u'\0');
        SQLSMALLINT len = 0;
        SQLRETURN rc =
            SQLGetDiagRecW(type, handle, i, state, &native, wide(msg), static_cast<SQLSMALLINT>(msg.size()), &len);
        if (rc == SQL_NO_DATA || !succeeded(rc)) break;
        if (len >= static_cast<SQLSMALLINT>(msg.size())) {
            msg.assign(static_cast<size_t>(len) + 1, u'\0');
            rc = SQLGetDiagRecW(type, handle, i, state, &native, wide(msg), static_cast<SQLSMALLINT>(msg.size()), &len);
            if (!succeeded(rc)) break;
        }
        msg.resize(std::char_traits<char16_t>::length(msg.c_str()));
        DiagRecord r;
        r.sqlState =
            toUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(state),
                                       std::char_traits<char16_t>::length(reinterpret_cast<const char16_t*>(state))));
        r.nativeError = native;
        r.message = toUtf8(msg);
        records.push_back(std::move(r));
    }
    return records;
}

namespace {

// A record outside class 01 (warnings) is an error: SQL Server's messages of severity 11
// and more, which a driver may hand over beside rows or with a success.
bool anyError(const std::vector<DiagRecord>& records) {
    for (const auto& r : records) {
        if (r.sqlState.starts_with("01") || r.sqlState == "00000") continue;
        // FreeTDS's own notices of bytes it could not convert (2400–2404) carry 42000,
        // though the value came and is marked where it was broken.
        if (r.nativeError >= 2400 && r.nativeError <= 2404 && r.message.starts_with("[FreeTDS]")) continue;
        return true;
    }
    return false;
}

}  // namespace

void check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const char* context) {
    if (rc == SQL_SUCCESS) return;
    if (rc == SQL_SUCCESS_WITH_INFO) {
        auto records = diagnostics(type, handle);
        if (!anyError(records)) return;
        throw DbError(context, std::move(records));
    }
    if (rc == SQL_INVALID_HANDLE) throw DbError(std::string(context) + "（无效的 ODBC 句柄）");
    auto records = diagnostics(type, handle);
    if (records.empty()) records.push_back({"HY000", 0, "ODBC 调用失败，返回码 " + std::to_string(rc)});
    throw DbError(context, std::move(records));
}

void checkFetch(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const char* context) {
    if (rc == SQL_SUCCESS || rc == SQL_INVALID_HANDLE) return check(rc, type, handle, context);
    auto records = diagnostics(type, handle);
    if (records.empty()) throw DbError(context, {{"HY000", 0, kNoCause}});
    if (rc == SQL_SUCCESS_WITH_INFO && !anyError(records)) return;
    throw DbError(context, std::move(records));
}

}  // namespace faq::data::odbc
