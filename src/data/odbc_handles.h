// RAII owners of ODBC handles and the check of every return code.
#pragma once

#ifdef _WIN32
#include <windows.h>  // before the ODBC headers, which use its types
#endif
#include <sql.h>
#include <sqlext.h>

#include <string>
#include <utility>

#include "db_error.h"

namespace faq::data::odbc {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the driver manager must use UTF-16 SQLWCHAR");

inline SQLWCHAR* wide(std::u16string& s) {
    return reinterpret_cast<SQLWCHAR*>(s.data());
}

// Every diagnostic record of handle, in order.
std::vector<DiagRecord> diagnostics(SQLSMALLINT type, SQLHANDLE handle);

// Throws DbError with context and the handle's diagnostics unless rc is a success; a
// success with information fails too when a record is an error rather than a warning.
void check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const char* context);

// What the user reads when a call that reads a result fails without a record.
constexpr const char* kNoCause = "服务器报告语句出错，但没有给出原因";

// check, for the calls that read a result (SQLFetch, SQLGetData, SQLMoreResults): there any
// return but SQL_SUCCESS that carries no diagnostic record fails the statement too. FreeTDS
// answers so for a result the server ended with its error bit and no message: SQL_ERROR
// row by row, SQL_SUCCESS_WITH_INFO for the last block with rows.
void checkFetch(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const char* context);

inline bool succeeded(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

template <SQLSMALLINT Type>
class Handle {
public:
    Handle() = default;
    // Allocates a handle of Type under parent (SQL_NULL_HANDLE for an environment).
    explicit Handle(SQLHANDLE parent, SQLSMALLINT parentType = 0) {
        SQLRETURN rc = SQLAllocHandle(Type, parent, &mHandle);
        if (!succeeded(rc)) {
            mHandle = SQL_NULL_HANDLE;
            if (parent == SQL_NULL_HANDLE) throw DbError("无法分配 ODBC 环境句柄（ODBC 驱动程序管理器不可用）");
            odbc::check(rc, parentType, parent, "分配 ODBC 句柄失败");
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& o) noexcept : mHandle(std::exchange(o.mHandle, SQLHANDLE{})) {}
    Handle& operator=(Handle&& o) noexcept {
        if (this != &o) {
            reset();
            mHandle = std::exchange(o.mHandle, SQLHANDLE{});
        }
        return *this;
    }
    ~Handle() { reset(); }
    void reset() noexcept {
        if (mHandle != SQL_NULL_HANDLE) SQLFreeHandle(Type, mHandle);
        mHandle = SQL_NULL_HANDLE;
    }
    SQLHANDLE get() const { return mHandle; }
    void check(SQLRETURN rc, const char* context) const { odbc::check(rc, Type, mHandle, context); }
    void checkFetch(SQLRETURN rc, const char* context) const { odbc::checkFetch(rc, Type, mHandle, context); }

private:
    SQLHANDLE mHandle = SQL_NULL_HANDLE;
};

using Env = Handle<SQL_HANDLE_ENV>;
using Dbc = Handle<SQL_HANDLE_DBC>;
using Stmt = Handle<SQL_HANDLE_STMT>;

}  // namespace faq::data::odbc
