#include "odbc_fetch.h"

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <vector>

#include "db_error.h"
#include "utf.h"

namespace faq::data::odbc {

namespace {

constexpr SQLULEN kMaxBoundChars = 4000;
constexpr size_t kBlockBufferBytes = 8u << 20;
constexpr SQLULEN kMaxRowsPerBlock = 1024;

// The years a column's dates may have, by its type.
struct DateRange {
    short minYear = 1, maxYear = 9999;
};

struct ColumnPlan {
    std::string name;
    SQLSMALLINT sqlType = 0;
    FieldType type = FieldType::Text;
    SQLSMALLINT cType = SQL_C_WCHAR;
    SQLLEN width = 0;  // bytes of one bound element
    bool longData = false;
    DateRange dates;  // of a date column, by its type
};

std::string describeName(const Stmt& stmt, SQLUSMALLINT col, SQLSMALLINT* sqlType, SQLULEN* size) {
    std::u16string name(128, u'\0');
    SQLSMALLINT len = 0, digits = 0, nullable = 0;
    stmt.check(SQLDescribeColW(stmt.get(), col, wide(name), static_cast<SQLSMALLINT>(name.size()), &len, sqlType, size,
                               &digits, &nullable),
               "读取结果列信息失败");
    if (len >= static_cast<SQLSMALLINT>(name.size())) {
        name.assign(static_cast<size_t>(len) + 1, u'\0');
        stmt.check(SQLDescribeColW(stmt.get(), col, wide(name), static_cast<SQLSMALLINT>(name.size()), &len, sqlType,
                                   size, &digits, &nullable),
                   "读取结果列信息失败");
    }
    // Some drivers report the length in bytes; the buffer is zero-filled, so the name ends
    // at the first NUL within the reported length.
    size_t n = std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(len, 0)), name.size());
    n = std::min(n, std::char_traits<char16_t>::length(name.c_str()));
    return toUtf8(std::u16string_view(name.data(), n));
}

std::vector<ColumnPlan> describe(const Stmt& stmt) {
    SQLSMALLINT count = 0;
    stmt.check(SQLNumResultCols(stmt.get(), &count), "读取结果列数失败");
    std::vector<ColumnPlan> plan(static_cast<size_t>(count));
    for (SQLSMALLINT c = 0; c < count; ++c) {
        ColumnPlan& p = plan[static_cast<size_t>(c)];
        SQLULEN size = 0;
        p.name = describeName(stmt, static_cast<SQLUSMALLINT>(c + 1), &p.sqlType, &size);
        switch (p.sqlType) {
            case SQL_BIT:
            case SQL_TINYINT:
            case SQL_SMALLINT:
            case SQL_INTEGER:
            case SQL_BIGINT: p.type = FieldType::Integer, p.cType = SQL_C_SBIGINT, p.width = sizeof(int64_t); break;
            case SQL_REAL:
            case SQL_FLOAT:
            case SQL_DOUBLE: p.type = FieldType::Double, p.cType = SQL_C_DOUBLE, p.width = sizeof(double); break;
            case SQL_DECIMAL:
            case SQL_NUMERIC:
                p.type = FieldType::Decimal, p.cType = SQL_C_CHAR;
                p.longData = size == 0 || size > 100;
                p.width = static_cast<SQLLEN>(size) + 3;  // sign, point, NUL
                break;
            case SQL_TYPE_DATE:
            case SQL_TYPE_TIMESTAMP:
            case SQL_DATE:
            case SQL_TIMESTAMP: {
                p.type = FieldType::DateTime, p.cType = SQL_C_TYPE_TIMESTAMP;
                p.width = sizeof(SQL_TIMESTAMP_STRUCT);
                // SQL Server's datetime holds 1753–9999, smalldatetime 1900–2079.
                char16_t typeName[64] = {};
                SQLSMALLINT len = 0;
                if (succeeded(SQLColAttributeW(stmt.get(), static_cast<SQLUSMALLINT>(c + 1), SQL_DESC_TYPE_NAME,
                                               typeName, sizeof typeName - sizeof(char16_t), &len, nullptr))) {
                    const std::u16string_view name(typeName);
                    if (name == u"datetime") p.dates.minYear = 1753;
                    if (name == u"smalldatetime") p.dates = {1900, 2079};
                }
                break;
            }
            case SQL_LONGVARCHAR:
            case SQL_WLONGVARCHAR:
            case SQL_LONGVARBINARY: p.longData = true; break;
            default:
                p.longData = size == 0 || size > kMaxBoundChars;
                p.width = static_cast<SQLLEN>((size + 1) * sizeof(char16_t));
                break;
        }
    }
    return plan;
}

std::vector<Field> fieldsOf(const std::vector<ColumnPlan>& plan) {
    std::vector<Field> fields;
    fields.reserve(plan.size());
    for (const auto& p : plan) fields.push_back({p.name, p.type});
    return fields;
}

// Writes v as `width` decimal digits at p; returns the end.
char* digitsAt(char* p, unsigned v, int width) {
    for (int i = width - 1; i >= 0; --i, v /= 10) p[i] = static_cast<char>('0' + v % 10);
    return p + width;
}

// "YYYY-MM-DD", then " HH:MM:SS" and ".fff" when the value has them, written in buf; by
// hand, as this runs for every date of a result.
std::string_view timestampText(char (&buf)[32], const SQL_TIMESTAMP_STRUCT& ts, bool dateOnly) {
    char* p = buf;
    if (ts.year < 0) *p++ = '-';
    p = digitsAt(p, static_cast<unsigned>(ts.year < 0 ? -ts.year : ts.year) % 10000, 4);
    *p++ = '-';
    p = digitsAt(p, ts.month % 100, 2);
    *p++ = '-';
    p = digitsAt(p, ts.day % 100, 2);
    if (!dateOnly) {
        *p++ = ' ';
        p = digitsAt(p, ts.hour % 100, 2);
        *p++ = ':';
        p = digitsAt(p, ts.minute % 100, 2);
        *p++ = ':';
        p = digitsAt(p, ts.second % 100, 2);
        if (ts.fraction) {
            *p++ = '.';
            p = digitsAt(p, static_cast<unsigned>(ts.fraction / 1000000) % 1000, 3);
        }
    }
    return {buf, static_cast<size_t>(p - buf)};
}

// A date the column's type cannot hold (a server sending what it never stores) is refused:
// shown it would read as another date (year 113 as "0113").
const SQL_TIMESTAMP_STRUCT& checkedDate(const SQL_TIMESTAMP_STRUCT& ts, DateRange range) {
    if (ts.year >= range.minYear && ts.year <= range.maxYear && ts.month >= 1 && ts.month <= 12 && ts.day >= 1 &&
        ts.day <= 31 && ts.hour <= 23 && ts.minute <= 59 && ts.second <= 61)
        return ts;
    throw DbError("服务器送来的日期（" + std::to_string(ts.year) + " 年 " + std::to_string(ts.month) + " 月 " +
                  std::to_string(ts.day) + " 日）超出了这一列的日期类型能保存的范围（" + std::to_string(range.minYear) +
                  "–" + std::to_string(range.maxYear) + " 年）：结果不可信，查询没有结果");
}

void putTimestamp(RecordsetBuilder& b, const SQL_TIMESTAMP_STRUCT& ts, bool dateOnly, DateRange range) {
    char buf[32];
    b.putText(timestampText(buf, checkedDate(ts, range), dateOnly), FieldType::DateTime);
}

bool isDateOnly(SQLSMALLINT sqlType) {
    return sqlType == SQL_TYPE_DATE || sqlType == SQL_DATE;
}

void setRowArraySize(const Stmt& stmt, SQLULEN* rows) {
    SQLRETURN rc = SQLSetStmtAttr(stmt.get(), SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(*rows), 0);
    if (rc == SQL_SUCCESS) return;
    if (rc == SQL_SUCCESS_WITH_INFO || rc == SQL_ERROR) {
        // The driver may lower the size (01S02) or not support arrays at all.
        SQLULEN actual = 1;
        if (rc == SQL_ERROR) {
            SQLSetStmtAttr(stmt.get(), SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN{1}), 0);
        } else {
            stmt.check(SQLGetStmtAttr(stmt.get(), SQL_ATTR_ROW_ARRAY_SIZE, &actual, 0, nullptr), "读取行数组大小失败");
        }
        *rows = std::max<SQLULEN>(actual, 1);
        return;
    }
    stmt.check(rc, "设置行数组大小失败");
}

// A text the driver gave no length for (SQL_NO_TOTAL): FreeTDS answers so for every piece it
// converts from a code page (a long varchar or text read in pieces, a varchar ending in half
// a GBK character). It ends what it wrote with a terminator and leaves the rest of the buffer
// as it was, so buffers are laid with a fill no terminator equals, and the last terminator
// before the fill ends the piece. The first NUL does not: SQL Server keeps NULs inside texts.
template <typename Char>
constexpr Char kFill = static_cast<Char>(~Char{});
constexpr unsigned char kFillByte = 0xFF;

// The characters before the terminator of a piece written into a filled buffer of room
// characters, or npos when the driver left no terminator.
template <typename Char>
size_t writtenBefore(const Char* p, size_t room) {
    size_t i = room;
    while (i > 0 && p[i - 1] == kFill<Char>) --i;
    if (i == 0 || p[i - 1] != Char{}) return std::string::npos;
    return i - 1;
}

constexpr char16_t kBrokenMark = u'\uFFFD';  // as every byte that is no character reads

// The buffers of texts read in pieces, kept laid with the fill between pieces.
struct Pieces {
    static constexpr size_t kRoom = 4096;  // characters of a piece, terminator included
    std::vector<char16_t> wide = std::vector<char16_t>(kRoom, kFill<char16_t>);
    std::vector<char> narrow = std::vector<char>(kRoom, kFill<char>);
    std::u16string wtext;  // the value read
    std::string text;
    template <typename Char>
    Char* buffer() {
        if constexpr (std::is_same_v<Char, char16_t>)
            return wide.data();
        else
            return narrow.data();
    }
};

// Reads a character column in pieces; returns false for null.
template <typename Char>
bool getChars(const Stmt& stmt, SQLUSMALLINT col, SQLSMALLINT cType, Pieces& pieces, std::basic_string<Char>& out) {
    out.clear();
    Char* buf = pieces.buffer<Char>();
    constexpr size_t room = Pieces::kRoom, cap = room - 1;
    for (;;) {
        SQLLEN ind = 0;
        SQLRETURN rc = SQLGetData(stmt.get(), col, cType, buf, room * sizeof(Char), &ind);
        if (rc == SQL_NO_DATA) return true;
        stmt.checkFetch(rc, "读取数据失败");
        if (ind == SQL_NULL_DATA) {
            std::fill_n(buf, 1, kFill<Char>);
            return false;
        }
        if (ind == SQL_NO_TOTAL) {
            const size_t n = writtenBefore(buf, room);
            if (n == std::string::npos)
                throw DbError("驱动程序返回的文字没有结尾，无法确定它的长度；为免显示不完整的文字，查询没有结果");
            out.append(buf, n);
            std::fill_n(buf, n + 1, kFill<Char>);
            if (n == 0) {
                // Nothing converted: what is left of the value forms no character (half a
                // GBK character at its end), and asking again gives the same.
                if constexpr (std::is_same_v<Char, char16_t>) out.push_back(kBrokenMark);
                return true;
            }
            if (rc == SQL_SUCCESS) return true;
            continue;  // the piece may end short of the buffer with more to come
        }
        const size_t n = std::min(static_cast<size_t>(ind) / sizeof(Char), cap);
        out.append(buf, n);
        std::fill_n(buf, std::min(n + 1, room), kFill<Char>);
        if (rc == SQL_SUCCESS) return true;
        // SQL_SUCCESS_WITH_INFO: more follows only when the piece filled the buffer.
        if (n < cap) return true;
    }
}

// Reads the value of column col in the current row with SQLGetData, of any length.
void readCell(const Stmt& stmt, const ColumnPlan& p, SQLUSMALLINT col, RecordsetBuilder& builder, Pieces& pieces) {
    SQLLEN n = 0;
    switch (p.cType) {
        case SQL_C_SBIGINT: {
            int64_t v = 0;
            stmt.checkFetch(SQLGetData(stmt.get(), col, SQL_C_SBIGINT, &v, sizeof v, &n), "读取数据失败");
            n == SQL_NULL_DATA ? builder.putNull() : builder.putInt(v);
            break;
        }
        case SQL_C_DOUBLE: {
            double v = 0;
            stmt.checkFetch(SQLGetData(stmt.get(), col, SQL_C_DOUBLE, &v, sizeof v, &n), "读取数据失败");
            n == SQL_NULL_DATA ? builder.putNull() : builder.putDouble(v);
            break;
        }
        case SQL_C_TYPE_TIMESTAMP: {
            SQL_TIMESTAMP_STRUCT ts{};
            stmt.checkFetch(SQLGetData(stmt.get(), col, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &n), "读取数据失败");
            if (n == SQL_NULL_DATA)
                builder.putNull();
            else
                putTimestamp(builder, ts, isDateOnly(p.sqlType), p.dates);
            break;
        }
        case SQL_C_CHAR:
            if (getChars(stmt, col, SQL_C_CHAR, pieces, pieces.text))
                builder.putText(pieces.text, p.type);
            else
                builder.putNull();
            break;
        default:
            if (getChars(stmt, col, SQL_C_WCHAR, pieces, pieces.wtext))
                builder.putUtf16(pieces.wtext.data(), pieces.wtext.size(), p.type);
            else
                builder.putNull();
            break;
    }
}

// Each column's bound arrays, and what its cells need, in one place for the loops over its cells.
struct Bound {
    std::vector<char> data;
    std::vector<SQLLEN> ind;
    size_t width = 0;
    SQLSMALLINT cType = 0;
    FieldType type = FieldType::Text;
    bool perCell = false, dateOnly = false;
    DateRange dates;
    bool text = false;   // bound as characters
    SQLLEN longest = 0;  // the longest value that fits the element whole
};

// Whether the block fetched holds every row and every value whole in its element.
bool plainBlock(const std::vector<Bound>& cols, const SQLUSMALLINT* status, SQLULEN rows) {
    for (SQLULEN r = 0; r < rows; ++r)
        if (status[r] != SQL_ROW_SUCCESS && status[r] != SQL_ROW_SUCCESS_WITH_INFO) return false;
    for (const Bound& b : cols) {
        if (!b.text) continue;
        for (SQLULEN r = 0; r < rows; ++r)
            if (b.ind[r] != SQL_NULL_DATA && (b.ind[r] < 0 || b.ind[r] > b.longest)) return false;
    }
    return true;
}

// Lays the fill again over what the driver wrote into the text elements of a block, once
// the block is read, so that the next block's texts without a length can be measured.
struct Refill {
    std::vector<Bound>& cols;
    SQLULEN rows;
    Refill(std::vector<Bound>& c, SQLULEN n) : cols(c), rows(n) {}
    Refill(const Refill&) = delete;
    ~Refill() {
        for (Bound& b : cols) {
            if (!b.text) continue;
            const size_t unit = b.cType == SQL_C_WCHAR ? sizeof(char16_t) : 1;
            char* cell = b.data.data();
            for (SQLULEN r = 0; r < rows; ++r, cell += b.width) {
                const SQLLEN n = b.ind[r];
                const size_t used = n == SQL_NULL_DATA         ? unit
                                    : n >= 0 && n <= b.longest ? static_cast<size_t>(n) + unit
                                                               : b.width;
                std::memset(cell, kFillByte, used);
            }
        }
    }
};

// A value of a bound array element (not necessarily aligned for T).
template <class T>
T boundValue(const char* cell) {
    T v;
    std::memcpy(&v, cell, sizeof v);
    return v;
}

// The cells of one column of a plain block into the builder's rows: each through
// `put(run, k, cell, length)`, NULLs aside, a run of cells at a time.
template <class Put>
void putCells(RecordsetBuilder& builder, size_t c, const Bound& b, SQLULEN rows, Put put) {
    const char* cell = b.data.data();
    for (SQLULEN r = 0; r < rows;) {
        auto run = builder.run(c, r, rows - r);
        for (size_t k = 0; k < run.n; ++k, ++r, cell += b.width) {
            const SQLLEN n = b.ind[r];
            if (n == SQL_NULL_DATA)
                run.putNull(k);
            else
                put(run, k, cell, n);
        }
    }
}

void putColumn(RecordsetBuilder& builder, size_t c, const Bound& b, SQLULEN rows) {
    using Run = RecordsetBuilder::Run;
    switch (b.cType) {
        case SQL_C_WCHAR:
            putCells(builder, c, b, rows, [t = b.type](Run& run, size_t k, const char* cell, SQLLEN n) {
                run.putUtf16(k, reinterpret_cast<const char16_t*>(cell), static_cast<size_t>(n) / 2, t);
            });
            break;
        case SQL_C_SBIGINT:
            putCells(builder, c, b, rows,
                     [](Run& run, size_t k, const char* cell, SQLLEN) { run.putInt(k, boundValue<int64_t>(cell)); });
            break;
        case SQL_C_DOUBLE:
            putCells(builder, c, b, rows,
                     [](Run& run, size_t k, const char* cell, SQLLEN) { run.putDouble(k, boundValue<double>(cell)); });
            break;
        case SQL_C_TYPE_TIMESTAMP:
            putCells(builder, c, b, rows,
                     [dateOnly = b.dateOnly, range = b.dates](Run& run, size_t k, const char* cell, SQLLEN) {
                         char buf[32];
                         run.putText(
                             k,
                             timestampText(buf, checkedDate(boundValue<SQL_TIMESTAMP_STRUCT>(cell), range), dateOnly),
                             FieldType::DateTime);
                     });
            break;
        default:
            putCells(builder, c, b, rows, [t = b.type](Run& run, size_t k, const char* cell, SQLLEN n) {
                run.putText(k, std::string_view(cell, static_cast<size_t>(n)), t);
            });
            break;
    }
}

}  // namespace

RecordsetPtr fetchBlocks(const Stmt& stmt, SQLUINTEGER getDataExtensions) {
    auto plan = describe(stmt);
    RecordsetBuilder builder(fieldsOf(plan));
    if (plan.empty()) return builder.finish();
    const bool anyColumn = getDataExtensions & SQL_GD_ANY_COLUMN, bound = getDataExtensions & SQL_GD_BOUND;
    // Long columns are read per cell while the others stay bound; without SQL_GD_ANY_COLUMN
    // SQLGetData must come after the last bound column, so every column after a long one
    // is read per cell too. Nothing is ever executed twice.
    std::vector<bool> perCell(plan.size());
    bool afterLong = false, anyText = false;
    for (size_t c = 0; c < plan.size(); ++c) {
        perCell[c] = plan[c].longData || (afterLong && !anyColumn);
        afterLong = afterLong || plan[c].longData;
        anyText = anyText || (!perCell[c] && (plan[c].cType == SQL_C_CHAR || plan[c].cType == SQL_C_WCHAR));
    }
    const bool anyPerCell = std::find(perCell.begin(), perCell.end(), true) != perCell.end();
    // A text longer than its column's reported size is read again from its row with
    // SQLGetData: that needs SQL_GD_BOUND, and within a block also SQL_GD_BLOCK. Bound
    // arrays need nothing else of the driver, so rows come in blocks unless a long column
    // is read per cell, or one row at a time is what makes that re-reading possible. A
    // driver with neither (FreeTDS offers SQL_GD_BLOCK alone) fetches in blocks; a text
    // longer than reported is then refused, never cut.
    const bool rereadInBlocks = bound && (getDataExtensions & SQL_GD_BLOCK);
    const bool blocks = !anyPerCell && (rereadInBlocks || !bound || !anyText);

    size_t rowBytes = 0;
    for (size_t c = 0; c < plan.size(); ++c)
        if (!perCell[c]) rowBytes += static_cast<size_t>(plan[c].width) + sizeof(SQLLEN);
    SQLULEN rows =
        blocks ? std::clamp<SQLULEN>(kBlockBufferBytes / std::max<size_t>(rowBytes, 1), 1, kMaxRowsPerBlock) : 1;
    stmt.check(SQLSetStmtAttr(stmt.get(), SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0),
               "设置列绑定方式失败");
    setRowArraySize(stmt, &rows);
    SQLULEN fetched = 0;
    std::vector<SQLUSMALLINT> status(rows);
    stmt.check(SQLSetStmtAttr(stmt.get(), SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), "设置取数计数失败");
    stmt.check(SQLSetStmtAttr(stmt.get(), SQL_ATTR_ROW_STATUS_PTR, status.data(), 0), "设置行状态数组失败");

    std::vector<Bound> cols(plan.size());
    for (size_t c = 0; c < plan.size(); ++c) {
        Bound& b = cols[c];
        b.perCell = perCell[c];
        b.cType = plan[c].cType;
        b.type = plan[c].type;
        b.dateOnly = isDateOnly(plan[c].sqlType);
        b.dates = plan[c].dates;
        if (b.perCell) continue;
        b.width = static_cast<size_t>(plan[c].width);
        b.text = b.cType == SQL_C_CHAR || b.cType == SQL_C_WCHAR;
        b.longest = plan[c].width - (b.cType == SQL_C_WCHAR ? static_cast<SQLLEN>(sizeof(char16_t)) : 1);
        b.data.assign(b.width * rows, b.text ? static_cast<char>(kFillByte) : 0);
        b.ind.assign(rows, 0);
        stmt.check(SQLBindCol(stmt.get(), static_cast<SQLUSMALLINT>(c + 1), b.cType, b.data.data(), plan[c].width,
                              b.ind.data()),
                   "绑定结果列失败");
    }

    const bool reread = rows == 1 ? bound : rereadInBlocks;
    Pieces pieces;
    size_t rowNumber = 0;
    for (;;) {
        SQLRETURN rc = SQLFetch(stmt.get());
        if (rc == SQL_NO_DATA) break;
        stmt.checkFetch(rc, "读取数据失败");
        const Refill refill{cols, fetched};
        if (fetched > 1 && !anyPerCell && plainBlock(cols, status.data(), fetched)) {
            // The common case, a column at a time: every row there, every value whole.
            builder.beginRows(fetched);
            for (size_t c = 0; c < cols.size(); ++c) putColumn(builder, c, cols[c], fetched);
            builder.endRows();
            rowNumber += fetched;
            continue;
        }
        for (SQLULEN r = 0; r < fetched; ++r, ++rowNumber) {
            if (status[r] == SQL_ROW_NOROW) continue;
            if (status[r] == SQL_ROW_ERROR) stmt.check(SQL_ERROR, "读取数据行失败");
            bool positioned = rows == 1;
            for (size_t c = 0; c < cols.size(); ++c) {
                const Bound& b = cols[c];
                const SQLLEN n = b.perCell ? 0 : b.ind[r];
                const char* cell = b.data.data() + b.width * r;
                bool truncated = false;
                if (b.text && n != SQL_NULL_DATA && (n < 0 || n > b.longest)) {
                    // Not whole in its element: the driver gave no length, or a longer one.
                    if (n == SQL_NO_TOTAL && b.cType == SQL_C_WCHAR) {
                        // Ended before its element's last character: the value was whole
                        // but for bytes that form no character at its end.
                        const auto* w = reinterpret_cast<const char16_t*>(cell);
                        const size_t room = b.width / sizeof(char16_t);
                        if (const size_t units = writtenBefore(w, room);
                            units != std::string::npos && units + 1 < room) {
                            pieces.wtext.assign(w, units);
                            pieces.wtext.push_back(kBrokenMark);
                            builder.putUtf16(pieces.wtext.data(), pieces.wtext.size(), b.type);
                            continue;
                        }
                    }
                    if (!reread)
                        throw DbError("结果第 " + std::to_string(rowNumber + 1) + " 行第 " + std::to_string(c + 1) +
                                      " 列的文字比驱动程序报告的列长度长，这个驱动程序无法再次读取它；为免显示不"
                                      "完整的文字，查询没有结果");
                    truncated = true;
                }
                if (b.perCell || truncated) {
                    // A value longer than the driver said: read it whole from that row.
                    if (!positioned) {
                        stmt.check(
                            SQLSetPos(stmt.get(), static_cast<SQLSETPOSIROW>(r + 1), SQL_POSITION, SQL_LOCK_NO_CHANGE),
                            "定位数据行失败");
                        positioned = true;
                    }
                    readCell(stmt, plan[c], static_cast<SQLUSMALLINT>(c + 1), builder, pieces);
                    continue;
                }
                if (n == SQL_NULL_DATA) {
                    builder.putNull();
                    continue;
                }
                switch (b.cType) {
                    case SQL_C_WCHAR:
                        builder.putUtf16(reinterpret_cast<const char16_t*>(cell), static_cast<size_t>(n) / 2, b.type);
                        break;
                    case SQL_C_SBIGINT: builder.putInt(boundValue<int64_t>(cell)); break;
                    case SQL_C_DOUBLE: builder.putDouble(boundValue<double>(cell)); break;
                    case SQL_C_TYPE_TIMESTAMP:
                        putTimestamp(builder, boundValue<SQL_TIMESTAMP_STRUCT>(cell), b.dateOnly, b.dates);
                        break;
                    default: builder.putText(std::string_view(cell, static_cast<size_t>(n)), b.type); break;
                }
            }
        }
    }
    SQLFreeStmt(stmt.get(), SQL_UNBIND);
    return builder.finish();
}

RecordsetPtr fetchPiecewise(const Stmt& stmt) {
    auto plan = describe(stmt);
    RecordsetBuilder builder(fieldsOf(plan));
    if (plan.empty()) return builder.finish();
    SQLULEN one = 1;
    setRowArraySize(stmt, &one);
    Pieces pieces;
    for (;;) {
        SQLRETURN rc = SQLFetch(stmt.get());
        if (rc == SQL_NO_DATA) break;
        stmt.checkFetch(rc, "读取数据失败");
        for (size_t c = 0; c < plan.size(); ++c)
            readCell(stmt, plan[c], static_cast<SQLUSMALLINT>(c + 1), builder, pieces);
    }
    return builder.finish();
}

}  // namespace faq::data::odbc
