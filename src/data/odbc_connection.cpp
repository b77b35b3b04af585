#include "odbc_connection.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string_view>
#include <vector>

#include "conn_params.h"
#include "odbc_fetch.h"
#include "program_error.h"
#include "utf.h"

namespace faq::data {

using namespace odbc;

namespace {

// Statement attributes that some drivers do not support: those states are tolerated.
void setOptionalAttr(const Stmt& stmt, SQLINTEGER attr, SQLULEN value) {
    SQLRETURN rc = SQLSetStmtAttr(stmt.get(), attr, reinterpret_cast<SQLPOINTER>(value), 0);
    if (succeeded(rc)) return;
    auto recs = diagnostics(SQL_HANDLE_STMT, stmt.get());
    for (const auto& r : recs)
        if (r.sqlState == "HYC00" || r.sqlState == "HY092" || r.sqlState == "HY024" || r.sqlState == "01S02") return;
    throw DbError("设置语句属性失败", std::move(recs));
}

// The drivers the driver manager has registered: each one's name, lower-cased, and its
// attributes ("key=value" texts) lower-cased, in the order it lists them.
struct InstalledDriver {
    std::string name, shownName, attributes;
};

std::vector<InstalledDriver> installedDrivers(SQLHENV env) {
    std::vector<InstalledDriver> out;
    SQLWCHAR desc[256], attrs[4096];
    SQLSMALLINT descLen = 0, attrsLen = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (succeeded(SQLDriversW(env, direction, desc, 256, &descLen, attrs, 4096, &attrsLen))) {
        direction = SQL_FETCH_NEXT;
        InstalledDriver d;
        d.shownName = toUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(desc),
                                                 std::min<size_t>(static_cast<size_t>(descLen), 255)));
        d.name = d.shownName;
        for (auto& c : d.name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        // Attributes: "key=value" texts, each ended by a NUL.
        d.attributes = toUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(attrs),
                                                  std::min<size_t>(static_cast<size_t>(attrsLen), 4095)));
        for (auto& c : d.attributes) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        out.push_back(std::move(d));
    }
    return out;
}

// Whether the driver registered as `driver` is FreeTDS (on Linux, and under Wine where
// odbc32 reaches the host's driver manager). Asked once per name and process: the driver
// manager keeps the first registration it read.
bool driverIsFreeTds(SQLHENV env, std::string driver) {
    for (auto& c : driver) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    static std::mutex lock;
    static std::map<std::string, bool> known;
    std::lock_guard hold(lock);
    if (auto it = known.find(driver); it != known.end()) return it->second;
    bool freeTds = false;
    for (const InstalledDriver& d : installedDrivers(env))
        if (d.name == driver) {
            freeTds =
                d.attributes.find("tdsodbc") != std::string::npos || d.attributes.find("freetds") != std::string::npos;
            break;
        }
    known.emplace(driver, freeTds);
    return freeTds;
}

// The driver a connection string names (DRIVER={name} at its start), or the program's own.
std::string driverOf(const std::string& cs) {
    constexpr std::string_view kHead = "DRIVER={";
    if (!cs.starts_with(kHead)) return kDefaultDriver;
    const size_t close = cs.find('}', kHead.size());
    return close == std::string::npos ? std::string(kDefaultDriver) : cs.substr(kHead.size(), close - kHead.size());
}

// FreeTDS with its default protocol version "auto" tries 7.4, and when a server accepts the
// connection but stays silent, falls back to 5.0 and waits for ever; the login time-out
// holds for one fixed version. 7.4 is what SQL Server 2012 and later speak, and older
// servers answer a 7.4 login with their own version. A DSN-less connection never reads
// freetds.conf: the version goes in the connection string, unless TDSVER chooses one. (Not
// by setting TDSVER: a connection opens on the worker, and setenv there races every getenv
// of the window's thread.)
std::string withFreeTdsVersion([[maybe_unused]] std::string cs) {
#ifndef _WIN32  // Windows has its own SQL Server driver
    if (!std::getenv("TDSVER")) cs += "TDS_Version=7.4;";
#endif
    return cs;
}

struct ParamBinding {
    SQLSMALLINT cType = SQL_C_WCHAR;
    SQLSMALLINT sqlType = SQL_WVARCHAR;
    SQLULEN columnSize = 0;
    SQLSMALLINT digits = 0;
    int64_t i = 0;
    double d = 0;
    std::u16string w;
    std::string a;
    SQLLEN ind = 0;
};

SQLSMALLINT ioType(int32_t direction) {
    switch (direction) {
        case ado::adParamInput: return SQL_PARAM_INPUT;
        case ado::adParamOutput:
        case ado::adParamReturnValue: return SQL_PARAM_OUTPUT;
        case ado::adParamInputOutput: return SQL_PARAM_INPUT_OUTPUT;
        default: throw ProgramError("不支持的参数方向：" + std::to_string(direction));
    }
}

void classify(const Parameter& p, ParamBinding& b) {
    switch (p.type) {
        case ado::adSmallInt: b.cType = SQL_C_SBIGINT, b.sqlType = SQL_SMALLINT; break;
        case ado::adInteger: b.cType = SQL_C_SBIGINT, b.sqlType = SQL_INTEGER; break;
        case ado::adTinyInt: b.cType = SQL_C_SBIGINT, b.sqlType = SQL_TINYINT; break;
        case ado::adBigInt: b.cType = SQL_C_SBIGINT, b.sqlType = SQL_BIGINT; break;
        case ado::adBoolean: b.cType = SQL_C_SBIGINT, b.sqlType = SQL_BIT; break;
        case ado::adSingle: b.cType = SQL_C_DOUBLE, b.sqlType = SQL_REAL; break;
        case ado::adDouble: b.cType = SQL_C_DOUBLE, b.sqlType = SQL_DOUBLE; break;
        case ado::adCurrency: b.cType = SQL_C_CHAR, b.sqlType = SQL_DECIMAL, b.columnSize = 19, b.digits = 4; break;
        case ado::adDecimal: b.cType = SQL_C_CHAR, b.sqlType = SQL_DECIMAL, b.columnSize = 38; break;
        case ado::adNumeric: b.cType = SQL_C_CHAR, b.sqlType = SQL_NUMERIC, b.columnSize = 38; break;
        case ado::adDate:
        case ado::adDBTimeStamp:
            b.cType = SQL_C_CHAR, b.sqlType = SQL_TYPE_TIMESTAMP, b.columnSize = 23, b.digits = 3;
            break;
        case ado::adDBDate: b.cType = SQL_C_CHAR, b.sqlType = SQL_TYPE_DATE, b.columnSize = 10; break;
        case ado::adChar: b.sqlType = SQL_CHAR; break;
        case ado::adVarChar: b.sqlType = SQL_VARCHAR; break;
        case ado::adLongVarChar: b.sqlType = SQL_LONGVARCHAR; break;
        case ado::adWChar: b.sqlType = SQL_WCHAR; break;
        case ado::adVarWChar: b.sqlType = SQL_WVARCHAR; break;
        case ado::adLongVarWChar: b.sqlType = SQL_WLONGVARCHAR; break;
        default: throw ProgramError("不支持的参数类型：" + std::to_string(p.type));
    }
}

std::string variantText(const Variant& v) {
    if (auto* s = std::get_if<std::string>(&v)) return *s;
    if (auto* i = std::get_if<int64_t>(&v)) return std::to_string(*i);
    if (auto* d = std::get_if<double>(&v)) {
        Value val;
        val.type = FieldType::Double;
        val.d = *d;
        return val.toString();
    }
    return {};
}

// A number from a parameter's value; a text that is none is the program's mistake.
template <typename T>
T numberOf(const Variant& v) {
    if (auto* i = std::get_if<int64_t>(&v)) return static_cast<T>(*i);
    if (auto* d = std::get_if<double>(&v)) return static_cast<T>(*d);
    if (auto* s = std::get_if<std::string>(&v)) {
        try {
            return std::is_integral_v<T> ? static_cast<T>(std::stoll(*s)) : static_cast<T>(std::stod(*s));
        } catch (const std::exception&) {
            throw ProgramError("参数值不是数字：" + *s);
        }
    }
    return T{};
}

// Puts p's value into b's buffer for SQLBindParameter (room for an output value too);
// returns the buffer and its length in bytes.
std::pair<SQLPOINTER, SQLLEN> fillBuffer(const Parameter& p, SQLSMALLINT io, ParamBinding& b) {
    classify(p, b);
    const bool isNull = std::holds_alternative<std::monostate>(p.value);
    b.ind = isNull && io != SQL_PARAM_OUTPUT ? SQL_NULL_DATA : 0;
    if (p.size > 0 && b.columnSize == 0 && b.cType != SQL_C_WCHAR) b.columnSize = static_cast<SQLULEN>(p.size);
    switch (b.cType) {
        case SQL_C_SBIGINT: b.i = numberOf<int64_t>(p.value); return {&b.i, sizeof b.i};
        case SQL_C_DOUBLE: b.d = numberOf<double>(p.value); return {&b.d, sizeof b.d};
        case SQL_C_CHAR: {
            b.a = variantText(p.value);
            const size_t cap = std::max<size_t>({b.a.size(), static_cast<size_t>(std::max(p.size, 0)), 64}) + 1;
            b.a.resize(cap, '\0');
            if (b.ind != SQL_NULL_DATA) b.ind = SQL_NTS;
            return {b.a.data(), static_cast<SQLLEN>(cap)};
        }
        default: {
            b.w = toUtf16(variantText(p.value));
            const size_t len = b.w.size();
            // An output text gets the room its size asks for, or 8000 characters.
            const size_t cap =
                io == SQL_PARAM_INPUT ? len : std::max<size_t>(p.size > 0 ? static_cast<size_t>(p.size) : 8000, len);
            b.columnSize = std::max<SQLULEN>(p.size > 0 ? static_cast<SQLULEN>(p.size) : cap, 1);
            b.w.resize(cap + 1, u'\0');
            if (b.ind != SQL_NULL_DATA) b.ind = static_cast<SQLLEN>(len * sizeof(char16_t));
            return {b.w.data(), static_cast<SQLLEN>((cap + 1) * sizeof(char16_t))};
        }
    }
}

// An output or input-output parameter's value from its buffer.
void readBack(Parameter& p, const ParamBinding& b) {
    if (b.ind == SQL_NULL_DATA) {
        p.value = std::monostate{};
    } else if (b.cType == SQL_C_SBIGINT) {
        p.value = b.i;
    } else if (b.cType == SQL_C_DOUBLE) {
        p.value = b.d;
    } else if (b.cType == SQL_C_CHAR) {
        p.value = std::string(b.a.c_str());
    } else {
        const size_t units = b.ind >= 0 ? std::min(static_cast<size_t>(b.ind) / 2, b.w.size() - 1)
                                        : std::char_traits<char16_t>::length(b.w.c_str());
        p.value = toUtf8(std::u16string_view(b.w.data(), units));
    }
}

}  // namespace

namespace {

// What to do about a driver the driver manager has not, on the platform the program runs
// on, and the drivers it has: one of them may be the one to preset.
std::string driverMissing(const std::string& driver, SQLHENV env) {
#ifdef _WIN32
    const std::string shown = driver == kDefaultDriver ? "SQL Server" : driver;  // as Windows names its own
#else
    const std::string& shown = driver;
#endif
    std::string said = "找不到 ODBC 驱动程序“" + shown + "”：";
    if (driver != kDefaultDriver)
        said += "启动参数 --driver 指定了它；请改为这台电脑上已注册的驱动程序，或安装它";
    else
#ifdef _WIN32
        said +=
            "Windows 自带这个名字的驱动程序；如果它不在了，或服务器要求它不支持的加密，请安装 Microsoft ODBC "
            "Driver 17 或 18 for SQL Server，并在快捷方式中用 --driver \"ODBC Driver 18 for SQL Server\" 选用它"
            "（“ODBC 数据源(64 位)”→“驱动程序”列出已安装的驱动程序）";
#else
        said +=
            "请安装 FreeTDS（apt-get install tdsodbc unixodbc），并在 /etc/odbcinst.ini 中以“sql server”为名注册它"
            "（见 README 的“Pointing it at SQL Server”一节；faquery 的 Debian 软件包会自动注册），"
            "或用 --driver 名称 选用已注册的驱动程序";
#endif
    std::string names;
    for (const InstalledDriver& d : installedDrivers(env)) names += (names.empty() ? "" : "、") + d.shownName;
    said += names.empty() ? "。这台电脑上没有注册任何 ODBC 驱动程序" : "。这台电脑上已注册的驱动程序：" + names;
    return said;
}

// The driver manager could not find or load the driver the connection string names.
bool isDriverMissing(const DbError& e) {
    for (const auto& r : e.records())
        if (r.sqlState == "IM002" || r.sqlState == "IM003" || r.message.find("Can't open lib") != std::string::npos)
            return true;
    return false;
}

}  // namespace

OdbcConnection::OdbcConnection(const std::string& connectionString) : mEnv((ensureUtf8CType(), SQLHANDLE{})) {
    mEnv.check(SQLSetEnvAttr(mEnv.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
               "设置 ODBC 版本失败");
    const std::string driver = driverOf(connectionString);
    const bool freeTds = driverIsFreeTds(mEnv.get(), driver);
    mDbc = Dbc(mEnv.get(), SQL_HANDLE_ENV);
    mDbc.check(SQLSetConnectAttr(mDbc.get(), SQL_ATTR_LOGIN_TIMEOUT,
                                 reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(kLoginTimeoutSeconds)), 0),
               "设置登录超时失败");
    std::u16string cs = toUtf16(freeTds ? withFreeTdsVersion(forFreeTds(connectionString)) : connectionString);
    SQLSMALLINT outLen = 0;
    try {
        mDbc.check(SQLDriverConnectW(mDbc.get(), nullptr, wide(cs), static_cast<SQLSMALLINT>(cs.size()), nullptr, 0,
                                     &outLen, SQL_DRIVER_NOPROMPT),
                   "连接数据库失败");
    } catch (const DbError& e) {
        if (!isDriverMissing(e)) throw;
        throw DbError(driverMissing(driver, mEnv.get()), e.records(), e.failure());
    }
    mConnected = true;
    // What SQLGetData can do beside bound columns; a driver that does not say gets none.
    if (!succeeded(
            SQLGetInfo(mDbc.get(), SQL_GETDATA_EXTENSIONS, &mGetDataExtensions, sizeof mGetDataExtensions, nullptr)))
        mGetDataExtensions = 0;
}

OdbcConnection::~OdbcConnection() {
    if (!mConnected) return;
    if (mInTransaction) SQLEndTran(SQL_HANDLE_DBC, mDbc.get(), SQL_ROLLBACK);
    SQLDisconnect(mDbc.get());  // errors at destruction are not reported
}

// Marks the statement that cancel() stops while it runs.
class Running {
public:
    Running(OdbcConnection& c, SQLHSTMT h) : mC(c) {
        std::lock_guard lock(mC.mRunningLock);
        if (mC.mCancel) throw DbError("查询已取消", Failure::Cancelled);
        mC.mRunning = h;
    }
    ~Running() {
        std::lock_guard lock(mC.mRunningLock);
        mC.mRunning = SQL_NULL_HSTMT;
    }

private:
    OdbcConnection& mC;
};

template <typename Op>
auto OdbcConnection::running(const Stmt& stmt, Op&& op) -> decltype(op()) {
    Running mark(*this, stmt.get());
    try {
        return op();
    } catch (const DbError& e) {
        if (mCancel) throw DbError(e.context(), e.records(), Failure::Cancelled);
        throw;
    }
}

bool OdbcConnection::connectionDead() const {
    SQLUINTEGER dead = SQL_CD_FALSE;
    return succeeded(SQLGetConnectAttr(mDbc.get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) && dead == SQL_CD_TRUE;
}

void OdbcConnection::cancel() {
    std::lock_guard lock(mRunningLock);
    mCancel = true;
    if (mRunning != SQL_NULL_HSTMT) SQLCancel(mRunning);
}

Stmt OdbcConnection::statement(int timeoutSeconds) {
    if (!mConnected) throw DbError("连接已关闭");
    Stmt stmt(mDbc.get(), SQL_HANDLE_DBC);
    if (timeoutSeconds >= 0) setOptionalAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, static_cast<SQLULEN>(timeoutSeconds));
    return stmt;
}

void OdbcConnection::drainResults(const Stmt& stmt, bool oneResult) {
    bool another = false;
    for (;;) {
        SQLRETURN rc = SQLMoreResults(stmt.get());
        if (rc == SQL_NO_DATA) break;
        try {
            stmt.checkFetch(rc, "执行查询失败");
        } catch (const DbError& e) {
            // The server's words, under what went wrong first.
            if (another) throw DbError(kSecondResult, e.records());
            throw;
        }
        SQLSMALLINT cols = 0;
        if (oneResult && succeeded(SQLNumResultCols(stmt.get(), &cols)) && cols > 0) another = true;
    }
    if (another) throw DbError(kSecondResult);
}

SQLSMALLINT OdbcConnection::firstResultWithColumns(const Stmt& stmt, SQLRETURN* rc) {
    SQLSMALLINT cols = 0;
    while (*rc != SQL_NO_DATA) {
        stmt.check(SQLNumResultCols(stmt.get(), &cols), "读取结果列数失败");
        if (cols > 0) return cols;
        *rc = SQLMoreResults(stmt.get());
        if (*rc != SQL_NO_DATA) stmt.checkFetch(*rc, "读取后续结果失败");
    }
    return 0;
}

void OdbcConnection::execute(const std::string& sql, int timeoutSeconds) {
    Stmt stmt = statement(timeoutSeconds);
    std::u16string text = toUtf16(sql);
    running(stmt, [&] {
        SQLRETURN rc = SQLExecDirectW(stmt.get(), wide(text), static_cast<SQLINTEGER>(text.size()));
        if (rc == SQL_NO_DATA) return;
        stmt.checkFetch(rc, "执行语句失败");
        drainResults(stmt);
    });
}

RecordsetPtr OdbcConnection::query(const std::string& sql, int timeoutSeconds) {
    std::u16string text = toUtf16(sql);
    Stmt stmt = statement(timeoutSeconds);
    return running(stmt, [&]() -> RecordsetPtr {
        SQLRETURN rc = SQLExecDirectW(stmt.get(), wide(text), static_cast<SQLINTEGER>(text.size()));
        if (rc != SQL_NO_DATA && rc != SQL_SUCCESS) {
            try {
                stmt.checkFetch(rc, "执行查询失败");
            } catch (DbError& e) {
                throw e.markUnanswered(connectionDead());
            }
        }
        if (firstResultWithColumns(stmt, &rc) == 0) return RecordsetBuilder({}).finish();
        auto rs = mBlockFetch ? fetchBlocks(stmt, mGetDataExtensions) : fetchPiecewise(stmt);
        // A server that fails part-way sends the rows it has, then the error: only the
        // statement's end tells whether the rows are all of them. A second result means the
        // answer is not the one asked for.
        drainResults(stmt, true);
        return rs;
    });
}

RecordsetPtr OdbcConnection::callProcedure(Command& cmd, bool wantResult) {
    auto& params = cmd.parameters;
    const bool hasReturn = !params.empty() && params.front().direction == ado::adParamReturnValue;
    std::string call = hasReturn ? "{? = call " : "{call ";
    call += cmd.commandText;
    const size_t args = params.size() - (hasReturn ? 1 : 0);
    if (args > 0) {
        call += "(";
        for (size_t i = 0; i < args; ++i) call += i ? ",?" : "?";
        call += ")";
    }
    call += "}";

    Stmt stmt = statement(cmd.commandTimeout);
    return running(stmt, [&] { return callWith(stmt, cmd, call, wantResult); });
}

RecordsetPtr OdbcConnection::callWith(const Stmt& stmt, Command& cmd, const std::string& call, bool wantResult) {
    auto& params = cmd.parameters;
    std::vector<ParamBinding> bind(params.size());
    for (size_t i = 0; i < params.size(); ++i) {
        const SQLSMALLINT io = ioType(params[i].direction);
        const auto [buffer, length] = fillBuffer(params[i], io, bind[i]);
        const ParamBinding& b = bind[i];
        stmt.check(SQLBindParameter(stmt.get(), static_cast<SQLUSMALLINT>(i + 1), io, b.cType, b.sqlType, b.columnSize,
                                    b.digits, buffer, length, &bind[i].ind),
                   "绑定参数失败");
    }

    std::u16string text = toUtf16(call);
    SQLRETURN rc = SQLExecDirectW(stmt.get(), wide(text), static_cast<SQLINTEGER>(text.size()));
    if (rc != SQL_NO_DATA) stmt.checkFetch(rc, "调用存储过程失败");
    RecordsetPtr result;
    if (wantResult)
        result = firstResultWithColumns(stmt, &rc) > 0 ? fetchPiecewise(stmt) : RecordsetBuilder({}).finish();
    if (rc != SQL_NO_DATA) drainResults(stmt);

    // Output values are complete once every result has been read.
    for (size_t i = 0; i < params.size(); ++i)
        if (params[i].direction != ado::adParamInput) readBack(params[i], bind[i]);
    return result;
}

void OdbcConnection::beginTransaction() {
    if (mInTransaction) throw ProgramError("不支持嵌套事务");
    mDbc.check(SQLSetConnectAttr(mDbc.get(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
               "开始事务失败");
    mInTransaction = true;
}

void OdbcConnection::endTransaction(SQLSMALLINT completion, const char* context) {
    if (!mInTransaction) throw ProgramError(std::string(context) + "：没有活动的事务");
    mDbc.check(SQLEndTran(SQL_HANDLE_DBC, mDbc.get(), completion), context);
    mInTransaction = false;
    mDbc.check(SQLSetConnectAttr(mDbc.get(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0),
               context);
}

void OdbcConnection::commitTransaction() {
    endTransaction(SQL_COMMIT, "提交事务失败");
}
void OdbcConnection::rollbackTransaction() {
    endTransaction(SQL_ROLLBACK, "回滚事务失败");
}

void OdbcConnection::close() {
    if (!mConnected) return;
    mConnected = false;
    mDbc.check(SQLDisconnect(mDbc.get()), "关闭连接失败");
}

}  // namespace faq::data
