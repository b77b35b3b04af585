// Built twice: into the program, and with FAQ_SQLITE_EXTENSION as a loadable extension
// for the sqlite3 shell (".load ./faqdialect").
#ifdef FAQ_SQLITE_EXTENSION
#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT1
#else
#include <sqlite3.h>
#endif

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string_view>

#include "sql_collation.h"
#include "sql_dialect.h"
#include "utf.h"

namespace {

struct DateKey {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, milli = 0;
    bool hasTime = false;
};

// Reads 1..maxDigits digits; returns how many were read.
size_t digits(std::string_view s, size_t pos, size_t maxDigits, int* out) {
    size_t n = 0;
    int v = 0;
    while (pos + n < s.size() && n < maxDigits && s[pos + n] >= '0' && s[pos + n] <= '9')
        v = v * 10 + (s[pos + n++] - '0');
    *out = v;
    return n;
}

// Date texts as SQL Server reads them for a datetime: yyyy-m-d, yyyy/m/d, yyyy.m.d or
// yyyymmdd, optionally followed by [ |T]h:m[:s[.fff]].
bool parseDate(std::string_view s, DateKey* k) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    size_t p = digits(s, 0, 8, &k->year);
    if (p == 8) {
        int all = k->year;
        k->year = all / 10000, k->month = all / 100 % 100, k->day = all % 100;
    } else {
        if (p != 4 || p >= s.size()) return false;
        const char sep = s[p];
        if (sep != '-' && sep != '/' && sep != '.') return false;
        size_t n = digits(s, ++p, 2, &k->month);
        if (!n || (p += n) >= s.size() || s[p] != sep) return false;
        n = digits(s, ++p, 2, &k->day);
        if (!n) return false;
        p += n;
    }
    if (k->month < 1 || k->month > 12 || k->day < 1 || k->day > 31) return false;
    if (p == s.size()) return true;
    if (s[p] != ' ' && s[p] != 'T') return false;
    while (p < s.size() && (s[p] == ' ' || s[p] == 'T')) ++p;
    size_t n = digits(s, p, 2, &k->hour);
    if (!n || (p += n) >= s.size() || s[p] != ':') return false;
    n = digits(s, ++p, 2, &k->minute);
    if (!n) return false;
    p += n;
    if (p < s.size() && s[p] == ':') {
        n = digits(s, ++p, 2, &k->second);
        if (!n) return false;
        p += n;
        if (p < s.size() && s[p] == '.') {
            int frac = 0;
            n = digits(s, ++p, 3, &frac);
            if (!n) return false;
            p += n;
            while (p < s.size() && s[p] >= '0' && s[p] <= '9') ++p;
            k->milli = frac * (n == 1 ? 100 : n == 2 ? 10 : 1);
        }
    }
    k->hasTime = true;
    return p == s.size() && k->hour < 24 && k->minute < 60 && k->second < 60;
}

int compareKeys(const DateKey& a, const DateKey& b) {
    const int av[] = {a.year, a.month, a.day, a.hour, a.minute, a.second, a.milli};
    const int bv[] = {b.year, b.month, b.day, b.hour, b.minute, b.second, b.milli};
    for (int i = 0; i < 7; ++i)
        if (av[i] != bv[i]) return av[i] < bv[i] ? -1 : 1;
    return 0;
}

// A date as the columns hold it, "yyyy-mm-dd" with " hh:mm:ss" and ".fff" or without:
// fills time with "hh:mm:ss.fff" (zeros where there is none); false for any other text.
// Two such texts order as their dates byte by byte, with no reading of either.
bool canonicalDate(std::string_view s, char* time) {
    if (s.size() != 10 && s.size() != 19 && s.size() != 23) return false;
    const auto digitsAt = [&s](std::initializer_list<size_t> at) {
        for (size_t i : at)
            if (s[i] < '0' || s[i] > '9') return false;
        return true;
    };
    const auto two = [&s](size_t i) { return (s[i] - '0') * 10 + (s[i + 1] - '0'); };
    if (!digitsAt({0, 1, 2, 3, 5, 6, 8, 9}) || s[4] != '-' || s[7] != '-') return false;
    if (two(5) < 1 || two(5) > 12 || two(8) < 1 || two(8) > 31) return false;
    std::memcpy(time, "00:00:00.000", 12);
    if (s.size() == 10) return true;
    if (s[10] != ' ' || s[13] != ':' || s[16] != ':' || !digitsAt({11, 12, 14, 15, 17, 18})) return false;
    if (two(11) > 23 || two(14) > 59 || two(17) > 59) return false;
    std::memcpy(time, s.data() + 11, 8);
    if (s.size() == 19) return true;
    if (s[19] != '.' || !digitsAt({20, 21, 22})) return false;
    std::memcpy(time + 9, s.data() + 20, 3);
    return true;
}

int sign(int c) {
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

// Dates order as dates; any text that is not a date orders after every date, bytewise.
int sqlDateCollation(void*, int n1, const void* p1, int n2, const void* p2) {
    std::string_view a(static_cast<const char*>(p1), static_cast<size_t>(n1));
    std::string_view b(static_cast<const char*>(p2), static_cast<size_t>(n2));
    char ta[12], tb[12];
    if (canonicalDate(a, ta) && canonicalDate(b, tb)) {
        const int day = std::memcmp(a.data(), b.data(), 10);
        return day ? sign(day) : sign(std::memcmp(ta, tb, 12));
    }
    DateKey ka, kb;
    const bool da = parseDate(a, &ka), db = parseDate(b, &kb);
    if (da && db) return compareKeys(ka, kb);
    if (da != db) return da ? -1 : 1;
    int c = a.compare(b);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

// isdate(expr): 1 when expr reads as a date, as SQL Server's ISDATE; 0 otherwise.
void isDateFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    DateKey k;
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const auto len = static_cast<size_t>(sqlite3_value_bytes(argv[0]));
    sqlite3_result_int(ctx, sqlite3_value_type(argv[0]) == SQLITE_TEXT && parseDate({text, len}, &k) ? 1 : 0);
}

// varchar(N) / nvarchar(N): the type argument of convert().
void typeFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const long long n = sqlite3_value_int64(argv[0]);
    if (sqlite3_value_type(argv[0]) != SQLITE_INTEGER || n < 1 || n > 8000) {
        sqlite3_result_error(ctx, "varchar 的长度必须是 1 到 8000 之间的整数", -1);
        return;
    }
    char buf[32];
    int len = std::snprintf(buf, sizeof buf, "varchar(%lld)", n);
    sqlite3_result_text(ctx, buf, len, SQLITE_TRANSIENT);
}

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Formats k in a CONVERT style; returns the length, or -1 for a style not supported.
int formatDate(const DateKey& k, int style, char* out, size_t cap) {
    const int y = k.year, m = k.month, d = k.day, yy = k.year % 100;
    switch (style) {
        case 0:
        case 100: {
            int h12 = k.hour % 12 == 0 ? 12 : k.hour % 12;
            return std::snprintf(out, cap, "%s %2d %04d %2d:%02d%s", kMonths[m - 1], d, y, h12, k.minute,
                                 k.hour < 12 ? "AM" : "PM");
        }
        case 1: return std::snprintf(out, cap, "%02d/%02d/%02d", m, d, yy);
        case 2: return std::snprintf(out, cap, "%02d.%02d.%02d", yy, m, d);
        case 11: return std::snprintf(out, cap, "%02d/%02d/%02d", yy, m, d);
        case 12: return std::snprintf(out, cap, "%02d%02d%02d", yy, m, d);
        case 101: return std::snprintf(out, cap, "%02d/%02d/%04d", m, d, y);
        case 102: return std::snprintf(out, cap, "%04d.%02d.%02d", y, m, d);
        case 103: return std::snprintf(out, cap, "%02d/%02d/%04d", d, m, y);
        case 104: return std::snprintf(out, cap, "%02d.%02d.%04d", d, m, y);
        case 105: return std::snprintf(out, cap, "%02d-%02d-%04d", d, m, y);
        case 108: return std::snprintf(out, cap, "%02d:%02d:%02d", k.hour, k.minute, k.second);
        case 110: return std::snprintf(out, cap, "%02d-%02d-%04d", m, d, y);
        case 111: return std::snprintf(out, cap, "%04d/%02d/%02d", y, m, d);
        case 112: return std::snprintf(out, cap, "%04d%02d%02d", y, m, d);
        case 20:
        case 120: return std::snprintf(out, cap, "%04d-%02d-%02d %02d:%02d:%02d", y, m, d, k.hour, k.minute, k.second);
        case 21:
        case 121:
            return std::snprintf(out, cap, "%04d-%02d-%02d %02d:%02d:%02d.%03d", y, m, d, k.hour, k.minute, k.second,
                                 k.milli);
        case 23: return std::snprintf(out, cap, "%04d-%02d-%02d", y, m, d);
        case 126:
            if (k.milli)
                return std::snprintf(out, cap, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", y, m, d, k.hour, k.minute,
                                     k.second, k.milli);
            return std::snprintf(out, cap, "%04d-%02d-%02dT%02d:%02d:%02d", y, m, d, k.hour, k.minute, k.second);
        default: return -1;
    }
}

// Byte length of the first n characters of a UTF-8 text.
size_t utf8Prefix(const unsigned char* s, size_t len, long long n) {
    const std::string_view text(reinterpret_cast<const char*>(s), len);
    size_t i = 0;
    for (long long c = 0; i < len && c < n; ++c) faq::data::decodeUtf8(text, i);
    return i;
}

// convert(varchar(N), expr [, style])
void convertFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    const auto* type = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    // "varchar(N)", as varchar() writes it
    long long width = 0;
    constexpr std::string_view kVarchar = "varchar(";
    const std::string_view t = type ? std::string_view(type) : std::string_view();
    size_t at = kVarchar.size();
    while (at < t.size() && at < 16 && t[at] >= '0' && t[at] <= '9') width = width * 10 + (t[at++] - '0');
    if (!t.starts_with(kVarchar) || at == kVarchar.size() || t.substr(at) != ")") {
        sqlite3_result_error(ctx, "convert 只支持 varchar(N) 类型", -1);
        return;
    }
    if (sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    int style = 0;
    if (argc == 3) {
        if (sqlite3_value_type(argv[2]) == SQLITE_NULL) {
            sqlite3_result_null(ctx);
            return;
        }
        style = sqlite3_value_int(argv[2]);
    }
    const auto* text = sqlite3_value_text(argv[1]);
    size_t len = static_cast<size_t>(sqlite3_value_bytes(argv[1]));
    char buf[64];
    DateKey k;
    if (sqlite3_value_type(argv[1]) == SQLITE_TEXT &&
        parseDate(std::string_view(reinterpret_cast<const char*>(text), len), &k)) {
        int n = formatDate(k, style, buf, sizeof buf);
        if (n < 0) {
            sqlite3_result_error(ctx, "convert 不支持这个日期样式", -1);
            return;
        }
        text = reinterpret_cast<const unsigned char*>(buf);
        len = static_cast<size_t>(n);
    }
    sqlite3_result_text(ctx, reinterpret_cast<const char*>(text), static_cast<int>(utf8Prefix(text, len, width)),
                        SQLITE_TRANSIENT);
}

// Chinese_PRC_CI_AS as a collation.
int sqlServerCollation(void*, int n1, const void* p1, int n2, const void* p2) {
    return faq::data::compareSqlServer(std::string_view(static_cast<const char*>(p1), static_cast<size_t>(n1)),
                                       std::string_view(static_cast<const char*>(p2), static_cast<size_t>(n2)));
}

std::string_view textOf(sqlite3_value* v) {
    const auto* t = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return t ? std::string_view(t, static_cast<size_t>(sqlite3_value_bytes(v))) : std::string_view();
}

// like(pattern, value [, escape]): the LIKE operator, as T-SQL has it under that collation.
void likeFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    for (int i = 0; i < argc; ++i)
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    char32_t escape = 0;
    if (argc == 3) {
        const std::string_view e = textOf(argv[2]);
        size_t at = 0;
        if (!e.empty()) escape = faq::data::decodeUtf8(e, at);
        if (e.empty() || at != e.size()) return sqlite3_result_error(ctx, "ESCAPE 必须是一个字符", -1);
    }
    sqlite3_result_int(ctx, faq::data::likeSqlServer(textOf(argv[1]), textOf(argv[0]), escape) ? 1 : 0);
}

}  // namespace

namespace faq::data {

int registerSqlDialect(sqlite3* db) {
    // SQLite's Bloom filter in front of an automatic index hashes a key's bytes: texts that
    // the collation finds equal ('03 ' and '03') never meet there, and a join on a column
    // without an index of its own (a file made elsewhere) loses rows without a word. Off.
    constexpr int kBloomFilter = 0x00080000;
    sqlite3_test_control(SQLITE_TESTCTRL_OPTIMIZATIONS, db, kBloomFilter);
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    int rc = sqlite3_create_collation_v2(db, "sqldate", SQLITE_UTF8, nullptr, sqlDateCollation, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_collation_v2(db, kSqlServerCollation, SQLITE_UTF8, nullptr, sqlServerCollation, nullptr);
    for (int argc : {2, 3})
        if (rc == SQLITE_OK)
            rc = sqlite3_create_function_v2(db, "like", argc, flags, nullptr, likeFunction, nullptr, nullptr, nullptr);
    for (const char* name : {"varchar", "nvarchar"})
        if (rc == SQLITE_OK)
            rc = sqlite3_create_function_v2(db, name, 1, flags, nullptr, typeFunction, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, "isdate", 1, flags, nullptr, isDateFunction, nullptr, nullptr, nullptr);
    for (int argc : {2, 3})
        if (rc == SQLITE_OK)
            rc = sqlite3_create_function_v2(db, "convert", argc, flags, nullptr, convertFunction, nullptr, nullptr,
                                            nullptr);
    return rc;
}

}  // namespace faq::data

#ifdef FAQ_SQLITE_EXTENSION
extern "C" int sqlite3_faqdialect_init(sqlite3* db, char**, const sqlite3_api_routines* api) {
    SQLITE_EXTENSION_INIT2(api);
    return faq::data::registerSqlDialect(db);
}
#endif
