#include "tds_server.h"

#include <arpa/inet.h>
#include <iconv.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "data/embedded_sql.h"
#include "data/sql_dialect.h"
#include "data/utf.h"

namespace faq::test {

namespace {

using Bytes = std::string;

// 2.2.3.1.1 packet types, 2.2.7 token types.
enum : uint8_t {
    kSqlBatch = 0x01,
    kReply = 0x04,
    kAttention = 0x06,
    kLogin7 = 0x10,
    kPrelogin = 0x12,
    kColMetadata = 0x81,
    kError = 0xAA,
    kInfo = 0xAB,
    kLoginAck = 0xAD,
    kRow = 0xD1,
    kEnvChange = 0xE3,
    kDone = 0xFD,
};
// 2.2.7.6 DONE status bits.
enum : uint16_t { kDoneMore = 0x1, kDoneError = 0x2, kDoneCount = 0x10, kDoneAttn = 0x20 };
// 2.2.5.1.2 collation Chinese_PRC_CI_AS: LCID 0x0804, ignore case, kana and width; code page 936.
constexpr uint8_t kCollation[5] = {0x04, 0x08, 0xD0, 0x00, 0x00};

void put8(Bytes& b, unsigned v) {
    b.push_back(static_cast<char>(v & 0xFF));
}
void put16(Bytes& b, unsigned v) {
    put8(b, v), put8(b, v >> 8);
}
void put32(Bytes& b, uint32_t v) {
    put16(b, v & 0xFFFF), put16(b, v >> 16);
}
void put64(Bytes& b, uint64_t v) {
    put32(b, static_cast<uint32_t>(v)), put32(b, static_cast<uint32_t>(v >> 32));
}
void putUcs2(Bytes& b, const std::u16string& s) {
    for (char16_t c : s) put16(b, c);
}
// B_VARCHAR and US_VARCHAR (2.2.5.2.3): a length in characters, then UCS-2.
void putBVarchar(Bytes& b, const std::string& utf8) {
    const auto s = data::toUtf16(utf8);
    put8(b, static_cast<unsigned>(s.size()));
    putUcs2(b, s);
}
void putUsVarchar(Bytes& b, const std::string& utf8) {
    const auto s = data::toUtf16(utf8);
    put16(b, static_cast<unsigned>(s.size()));
    putUcs2(b, s);
}
unsigned get16(const Bytes& b, size_t at) {
    return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8;
}
uint32_t get32(const Bytes& b, size_t at) {
    return get16(b, at) | static_cast<uint32_t>(get16(b, at + 2)) << 16;
}
std::string ucs2At(const Bytes& b, size_t at, size_t chars) {
    std::u16string s;
    for (size_t i = 0; i < chars && at + 2 * i + 1 < b.size(); ++i)
        s.push_back(static_cast<char16_t>(get16(b, at + 2 * i)));
    return data::toUtf8(s);
}

// UTF-8 to code page 936, each character it lacks as '?', as SQL Server stores it.
Bytes toGbk(const std::string& utf8) {
    thread_local const struct Converter {
        iconv_t cd = iconv_open("GBK", "UTF-8");
        ~Converter() { iconv_close(cd); }
    } converter;
    const iconv_t cd = converter.cd;
    Bytes out(utf8.size() * 2 + 4, '\0');
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size(), outLeft = out.size();
    char* o = out.data();
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    while (inLeft) {
        if (iconv(cd, &in, &inLeft, &o, &outLeft) != static_cast<size_t>(-1)) break;
        size_t i = static_cast<size_t>(in - utf8.data());
        data::decodeUtf8(utf8, i);
        *o++ = '?', --outLeft;
        inLeft -= i - static_cast<size_t>(in - utf8.data());
        in = const_cast<char*>(utf8.data()) + i;
    }
    out.resize(static_cast<size_t>(o - out.data()));
    return out;
}

// 2.2.5.4 data types the answers use.
enum class Type { Int, BigInt, Float, Money, Decimal, DateTime, VarChar, NVarChar, NVarCharMax, Text };
struct Column {
    std::string name;
    Type type = Type::VarChar;
    int length = 1;  // characters of varchar(n) and nvarchar(n)
    int precision = 18, scale = 2;
};

std::optional<Column> parseType(std::string t, bool nvarcharTexts) {
    std::transform(t.begin(), t.end(), t.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    Column c;
    int a = 0, b = 0;
    auto is = [&](const char* prefix) { return t.rfind(prefix, 0) == 0; };
    if (t == "int" || t == "integer" || t == "smallint") return c.type = Type::Int, c;
    if (t == "bigint") return c.type = Type::BigInt, c;
    if (t == "float" || t == "double" || t == "real") return c.type = Type::Float, c;
    if (t == "money") return c.type = Type::Money, c;
    if ((is("decimal(") || is("numeric(")) && std::sscanf(t.c_str() + t.find('('), "(%d,%d)", &a, &b) == 2)
        return c.type = Type::Decimal, c.precision = a, c.scale = b, c;
    if (t == "datetime" || t == "date") return c.type = Type::DateTime, c;
    if (t == "nvarchar(max)" || t == "varchar(max)") return c.type = Type::NVarCharMax, c;
    if (t == "text" || t == "ntext") return c.type = Type::Text, c;
    if (is("nvarchar(") && std::sscanf(t.c_str() + 8, "(%d)", &a) == 1) return c.type = Type::NVarChar, c.length = a, c;
    if ((is("varchar(") || is("char(")) && std::sscanf(t.c_str() + t.find('('), "(%d)", &a) == 1)
        return c.type = nvarcharTexts ? Type::NVarChar : Type::VarChar, c.length = a, c;
    return std::nullopt;
}

struct Cell {
    int kind = SQLITE_NULL;
    int64_t i = 0;
    double d = 0;
    std::string text;
};

// Days since 1900-01-01 and 1/300 s ticks of "YYYY-MM-DD[ HH:MM:SS[.fff]]" (2.2.5.5.1.8).
std::optional<std::pair<int32_t, uint32_t>> datetimeOf(const std::string& s) {
    int y = 0, m = 0, d = 0, hh = 0, mi = 0, ss = 0, ms = 0;
    if (std::sscanf(s.c_str(), "%d-%d-%d %d:%d:%d.%d", &y, &m, &d, &hh, &mi, &ss, &ms) < 3) return std::nullopt;
    if (m < 1 || m > 12 || d < 1 || d > 31) return std::nullopt;
    const int yy = y - (m <= 2);  // days from civil, 1970-based
    const int era = (yy >= 0 ? yy : yy - 399) / 400;
    const int yoe = yy - era * 400, doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t days = era * 146097LL + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468 + 25567;
    const int64_t msDay = ((hh * 60LL + mi) * 60 + ss) * 1000 + ms;
    return std::make_pair(static_cast<int32_t>(days), static_cast<uint32_t>((msDay * 3 + 5) / 10));
}

double numberOf(const Cell& c) {
    return c.kind == SQLITE_INTEGER ? static_cast<double>(c.i)
           : c.kind == SQLITE_FLOAT ? c.d
                                    : std::atof(c.text.c_str());
}
std::string textOf(const Cell& c) {
    if (c.kind == SQLITE_INTEGER) return std::to_string(c.i);
    if (c.kind == SQLITE_FLOAT) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.17g", c.d);
        return buf;
    }
    return c.text;
}

// An nvarchar's units: a blob stands for them as stored (UTF-16LE, whatever they hold).
std::u16string utf16Of(const Cell& c) {
    if (c.kind != SQLITE_BLOB) return data::toUtf16(textOf(c));
    std::u16string s(c.text.size() / 2, u'\0');
    for (size_t i = 0; i < s.size(); ++i)
        s[i] =
            static_cast<char16_t>(static_cast<uint8_t>(c.text[2 * i]) | static_cast<uint8_t>(c.text[2 * i + 1]) << 8);
    return s;
}

// 2.2.7.4 COLMETADATA with TYPE_INFO (2.2.5.6).
void putMetadata(Bytes& b, const std::vector<Column>& cols) {
    put8(b, kColMetadata);
    put16(b, static_cast<unsigned>(cols.size()));
    for (const Column& c : cols) {
        put32(b, 0);       // UserType
        put16(b, 0x0001);  // Flags: nullable, read-only
        switch (c.type) {
            case Type::Int: put8(b, 0x26), put8(b, 4); break;     // INTN
            case Type::BigInt: put8(b, 0x26), put8(b, 8); break;  // INTN
            case Type::Float: put8(b, 0x6D), put8(b, 8); break;   // FLTN
            case Type::Money: put8(b, 0x6E), put8(b, 8); break;   // MONEYN
            case Type::Decimal:                                   // DECIMALN
                put8(b, 0x6A), put8(b, c.precision <= 9 ? 5 : 9), put8(b, static_cast<unsigned>(c.precision));
                put8(b, static_cast<unsigned>(c.scale));
                break;
            case Type::DateTime: put8(b, 0x6F), put8(b, 8); break;  // DATETIMN
            case Type::VarChar:                                     // BIGVARCHRTYPE
                put8(b, 0xA7), put16(b, static_cast<unsigned>(c.length));
                b.append(reinterpret_cast<const char*>(kCollation), 5);
                break;
            case Type::NVarChar:  // NVARCHARTYPE, length in bytes
                put8(b, 0xE7), put16(b, static_cast<unsigned>(c.length) * 2);
                b.append(reinterpret_cast<const char*>(kCollation), 5);
                break;
            case Type::NVarCharMax:  // NVARCHARTYPE with 0xFFFF: PLP values
                put8(b, 0xE7), put16(b, 0xFFFF);
                b.append(reinterpret_cast<const char*>(kCollation), 5);
                break;
            case Type::Text:  // TEXTTYPE with its table name (7.2: NumParts, then parts)
                put8(b, 0x23), put32(b, 0x7FFFFFFF);
                b.append(reinterpret_cast<const char*>(kCollation), 5);
                put8(b, 1), putUsVarchar(b, "t");
                break;
        }
        putBVarchar(b, c.name);
    }
}

// 2.2.7.19 ROW: each value in its column's type.
void putRow(Bytes& b, const std::vector<Column>& cols, const std::vector<Cell>& row) {
    put8(b, kRow);
    for (size_t k = 0; k < cols.size(); ++k) {
        const Column& c = cols[k];
        const Cell& v = row[k];
        const bool null = v.kind == SQLITE_NULL;
        switch (c.type) {
            case Type::Int:
                if (null)
                    put8(b, 0);
                else
                    put8(b, 4), put32(b, static_cast<uint32_t>(static_cast<int32_t>(std::llround(numberOf(v)))));
                break;
            case Type::BigInt:
                if (null)
                    put8(b, 0);
                else
                    put8(b, 8),
                        put64(b, static_cast<uint64_t>(v.kind == SQLITE_INTEGER ? v.i : std::llround(numberOf(v))));
                break;
            case Type::Float: {
                if (null) {
                    put8(b, 0);
                    break;
                }
                const double d = numberOf(v);
                uint64_t bits;
                std::memcpy(&bits, &d, 8);
                put8(b, 8), put64(b, bits);
                break;
            }
            case Type::Money: {  // 2.2.5.5.1.4: 1/10000 units, high half first
                if (null) {
                    put8(b, 0);
                    break;
                }
                const auto m = static_cast<uint64_t>(std::llround(numberOf(v) * 10000.0));
                put8(b, 8), put32(b, static_cast<uint32_t>(m >> 32)), put32(b, static_cast<uint32_t>(m));
                break;
            }
            case Type::Decimal: {  // 2.2.5.5.1.6: sign, then the magnitude little-endian
                if (null) {
                    put8(b, 0);
                    break;
                }
                const double scaled = std::round(numberOf(v) * std::pow(10.0, c.scale));
                const auto mag = static_cast<uint64_t>(std::fabs(scaled));
                if (c.precision <= 9)
                    put8(b, 5), put8(b, scaled >= 0), put32(b, static_cast<uint32_t>(mag));
                else
                    put8(b, 9), put8(b, scaled >= 0), put64(b, mag);
                break;
            }
            case Type::DateTime: {
                const auto dt = null ? std::nullopt : datetimeOf(textOf(v));
                if (!dt)
                    put8(b, 0);
                else
                    put8(b, 8), put32(b, static_cast<uint32_t>(dt->first)), put32(b, dt->second);
                break;
            }
            case Type::VarChar: {
                if (null) {
                    put16(b, 0xFFFF);
                    break;
                }
                // A blob stands for the bytes as a varchar holds them, valid in 936 or not.
                const Bytes g = v.kind == SQLITE_BLOB ? v.text : toGbk(textOf(v));
                put16(b, static_cast<unsigned>(std::min<size_t>(g.size(), 8000))), b.append(g, 0, 8000);
                break;
            }
            case Type::NVarChar: {
                if (null) {
                    put16(b, 0xFFFF);
                    break;
                }
                const auto s = utf16Of(v);
                put16(b, static_cast<unsigned>(std::min<size_t>(s.size(), 4000) * 2)), putUcs2(b, s.substr(0, 4000));
                break;
            }
            case Type::NVarCharMax: {  // 2.2.5.2.3 PLP: total length, chunks, terminator
                if (null) {
                    put64(b, ~uint64_t{0});
                    break;
                }
                const auto s = utf16Of(v);
                put64(b, s.size() * 2);
                for (size_t at = 0; at < s.size(); at += 2000) {
                    const auto part = s.substr(at, 2000);
                    put32(b, static_cast<uint32_t>(part.size() * 2)), putUcs2(b, part);
                }
                put32(b, 0);
                break;
            }
            case Type::Text: {  // 2.2.5.2.4: text pointer, timestamp, length, bytes
                if (null) {
                    put8(b, 0);
                    break;
                }
                const Bytes g = v.kind == SQLITE_BLOB ? v.text : toGbk(textOf(v));
                put8(b, 16), b.append(16, '\x01'), b.append(8, '\0'), put32(b, static_cast<uint32_t>(g.size())),
                    b.append(g);
                break;
            }
        }
    }
}

void putDone(Bytes& b, uint16_t status, uint16_t curCmd, uint64_t rows) {
    put8(b, kDone), put16(b, status), put16(b, curCmd), put64(b, rows);
}

// 2.2.7.10 ERROR and 2.2.7.13 INFO.
void putMessage(Bytes& b, uint8_t token, uint32_t number, uint8_t state, uint8_t cls, const std::string& text) {
    Bytes body;
    put32(body, number), put8(body, state), put8(body, cls);
    putUsVarchar(body, text), putBVarchar(body, "FAQTDS"), putBVarchar(body, ""), put32(body, 1);
    put8(b, token), put16(b, static_cast<unsigned>(body.size())), b.append(body);
}

// 2.2.7.9 ENVCHANGE with B_VARCHAR values (database, language, packet size).
void putEnvChange(Bytes& b, uint8_t type, const std::string& now, const std::string& was) {
    Bytes body;
    put8(body, type), putBVarchar(body, now), putBVarchar(body, was);
    put8(b, kEnvChange), put16(b, static_cast<unsigned>(body.size())), b.append(body);
}

std::string lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// SQLite's words as a Chinese SQL Server puts them: number, text.
std::pair<uint32_t, std::string> serverError(const std::string& sqliteMessage) {
    auto after = [&](const char* head) { return sqliteMessage.substr(std::strlen(head)); };
    if (sqliteMessage.rfind("no such table: ", 0) == 0)
        return {208, "对象名 '" + after("no such table: ") + "' 无效。"};
    if (sqliteMessage.rfind("no such column: ", 0) == 0)
        return {207, "列名 '" + after("no such column: ") + "' 无效。"};
    return {102, "语法错误：" + sqliteMessage};
}

}  // namespace

struct TdsServer::Encoded {
    Bytes bytes;               // COLMETADATA … DONE, or an ERROR with its DONE
    std::vector<size_t> rows;  // where each ROW begins
};

namespace {

class Connection {
public:
    Connection(int fd, const TdsServer::Options& o, TdsServer::Faults& f) : mFd(fd), mOptions(o), mFaults(f) {}
    ~Connection() { sqlite3_close(mDb); }

    // 2.2.3.1 one message: its packets' bodies up to the one with end-of-message status.
    bool readMessage(uint8_t* type, Bytes* body) {
        body->clear();
        for (;;) {
            uint8_t h[8];
            if (!readAll(h, 8)) return false;
            const size_t len = static_cast<size_t>(h[2]) << 8 | h[3];
            if (len < 8) return false;
            const size_t at = body->size();
            body->resize(at + len - 8);
            if (!readAll(body->data() + at, len - 8)) return false;
            *type = h[0];
            if (h[1] & 0x01) return true;
        }
    }

    bool prelogin() {  // 2.2.6.5: version, no encryption, no instance, no MARS
        Bytes b;
        const uint8_t options[][2] = {{0x00, 6}, {0x01, 1}, {0x02, 1}, {0x03, 0}, {0x04, 1}};
        size_t offset = 5 * 5 + 1;
        for (const auto& o : options) {
            put8(b, o[0]), put8(b, offset >> 8), put8(b, offset & 0xFF), put8(b, 0), put8(b, o[1]);
            offset += o[1];
        }
        put8(b, 0xFF);
        b += std::string("\x0F\x00\x07\xD0\x00\x00", 6);    // 15.0.2000
        put8(b, mOptions.requireEncryption ? 0x03 : 0x02);  // ENCRYPT_REQ or ENCRYPT_NOT_SUP
        put8(b, 0x00), put8(b, 0x00);                       // instance, MARS off
        return sendMessage(b);
    }

    // 2.2.6.4 LOGIN7; the password's bytes are nibble-swapped and XOR 0xA5.
    bool login(const Bytes& m, std::atomic<int>& logins) {
        if (m.size() < 94) return false;
        mVersion = get32(m, 4);
        const uint32_t packet = get32(m, 8);
        mPacketSize = packet >= 512 && packet <= 32767 ? packet : 4096;
        auto field = [&](size_t at) { return ucs2At(m, get16(m, at), get16(m, at + 2)); };
        const std::string user = field(40), database = field(68);
        std::u16string pwd;
        for (size_t i = 0, at = get16(m, 44), n = get16(m, 46); i < n && at + 2 * i + 1 < m.size(); ++i) {
            uint8_t lo = static_cast<uint8_t>(m[at + 2 * i]) ^ 0xA5,
                    hi = static_cast<uint8_t>(m[at + 2 * i + 1]) ^ 0xA5;
            lo = static_cast<uint8_t>(lo << 4 | lo >> 4), hi = static_cast<uint8_t>(hi << 4 | hi >> 4);
            pwd.push_back(static_cast<char16_t>(lo | hi << 8));
        }
        Bytes b;
        if (user != mOptions.login || data::toUtf8(pwd) != mOptions.password) {
            putMessage(b, kError, 18456, 1, 14, "用户 '" + user + "' 登录失败。");
            putDone(b, kDoneError, 0, 0);
            sendMessage(b);
            return false;
        }
        if (!database.empty() && lower(database) != lower(mOptions.database)) {
            putMessage(b, kError, 4060, 1, 11, "无法打开登录所请求的数据库 \"" + database + "\"。登录失败。");
            putMessage(b, kError, 18456, 1, 14, "用户 '" + user + "' 登录失败。");
            putDone(b, kDoneError, 0, 0);
            sendMessage(b);
            return false;
        }
        if (sqlite3_open_v2(mOptions.file.c_str(), &mDb, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
            data::registerSqlDialect(mDb) != SQLITE_OK)
            return false;
        sqlite3_busy_timeout(mDb, 5000);
        putEnvChange(b, 1, mOptions.database, "master");
        putMessage(b, kInfo, 5701, 2, 0, "已将数据库上下文更改为 '" + mOptions.database + "'。");
        putEnvChange(b, 2, "简体中文", "");
        putMessage(b, kInfo, 5703, 1, 0, "已将语言设置更改为 简体中文。");
        Bytes coll;  // 2.2.7.9: SQL collation as B_VARBYTE
        put8(coll, 7), put8(coll, 5), coll.append(reinterpret_cast<const char*>(kCollation), 5), put8(coll, 0);
        put8(b, kEnvChange), put16(b, static_cast<unsigned>(coll.size())), b.append(coll);
        Bytes ack;  // 2.2.7.14 LOGINACK: T-SQL, the TDS version agreed, program name and version
        const uint32_t agreed = std::min<uint32_t>(mVersion, 0x74000004);
        put8(ack, 1), put8(ack, agreed >> 24), put8(ack, agreed >> 16), put8(ack, agreed >> 8), put8(ack, agreed);
        putBVarchar(ack, "Microsoft SQL Server"), ack += std::string("\x0F\x00\x07\xD0", 4);
        put8(b, kLoginAck), put16(b, static_cast<unsigned>(ack.size())), b.append(ack);
        putEnvChange(b, 4, std::to_string(mPacketSize), "4096");
        putDone(b, 0, 0, 0);
        ++logins;
        return sendMessage(b);
    }

    // 2.2.6.7 SQL batch: ALL_HEADERS (7.2 and later), then the text in UCS-2.
    std::string batchText(const Bytes& m) const {
        size_t at = mVersion >= 0x72000000 && m.size() >= 4 ? get32(m, 0) : 0;
        return ucs2At(m, at, (m.size() - std::min(at, m.size())) / 2);
    }

    std::shared_ptr<const TdsServer::Encoded> run(const std::string& batch) const {
        auto out = std::make_shared<TdsServer::Encoded>();
        const std::string t = lower(batch.substr(batch.find_first_not_of(" \t\r\n") == std::string::npos
                                                     ? batch.size()
                                                     : batch.find_first_not_of(" \t\r\n")));
        if (t.empty() || t.rfind("set ", 0) == 0 || t.rfind("use ", 0) == 0) {
            putDone(out->bytes, 0, 0xC5, 0);
            return out;
        }
        const std::string sql = data::embeddedStatement(batch, data::readCardIndexes(mDb));
        const char* tail = sql.c_str();
        while (tail && *tail) {
            sqlite3_stmt* st = nullptr;
            if (sqlite3_prepare_v2(mDb, tail, -1, &st, &tail) != SQLITE_OK) {
                fail(*out, sqlite3_errmsg(mDb));
                return out;
            }
            if (!st) break;
            const int n = sqlite3_column_count(st);
            std::vector<std::vector<Cell>> rows;
            int rc;
            while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
                auto& row = rows.emplace_back(static_cast<size_t>(n));
                for (int k = 0; k < n; ++k) {
                    Cell& c = row[static_cast<size_t>(k)];
                    c.kind = sqlite3_column_type(st, k);
                    if (c.kind == SQLITE_INTEGER)
                        c.i = sqlite3_column_int64(st, k);
                    else if (c.kind == SQLITE_FLOAT)
                        c.d = sqlite3_column_double(st, k);
                    else if (c.kind != SQLITE_NULL)
                        c.text.assign(reinterpret_cast<const char*>(sqlite3_column_text(st, k)),
                                      static_cast<size_t>(sqlite3_column_bytes(st, k)));
                }
            }
            if (rc != SQLITE_DONE) {
                fail(*out, sqlite3_errmsg(mDb));
                sqlite3_finalize(st);
                return out;
            }
            const bool more =
                tail && *tail && std::string_view(tail).find_first_not_of(" \t\r\n;") != std::string::npos;
            if (n == 0) {
                putDone(out->bytes, static_cast<uint16_t>(kDoneCount | (more ? kDoneMore : 0)), 0xC3,
                        static_cast<uint64_t>(sqlite3_changes(mDb)));
            } else {
                const auto cols = columns(st, rows);
                putMetadata(out->bytes, cols);
                for (const auto& row : rows) {
                    out->rows.push_back(out->bytes.size());
                    putRow(out->bytes, cols, row);
                }
                putDone(out->bytes, static_cast<uint16_t>(kDoneCount | (more ? kDoneMore : 0)), 0xC1, rows.size());
            }
            sqlite3_finalize(st);
        }
        if (out->bytes.empty()) putDone(out->bytes, 0, 0, 0);
        return out;
    }

    // Sends an answer in packets, with the faults asked for; watches for ATTENTION (2.2.1.7)
    // between rows and while it waits. Returns false when the connection is gone.
    bool answer(const TdsServer::Encoded& e, std::atomic<int>& attentions) {
        if (!waitWatching(mFaults.answerDelayMs)) return attended(attentions);
        const long drop = mFaults.dropAfterRows, error = mFaults.errorAfterRows;
        const std::string_view all(e.bytes);
        size_t sent = 0;
        for (size_t r = 0; r <= e.rows.size(); ++r) {
            // The end of row r - 1: where row r begins, or the last statement's DONE (13 bytes).
            const size_t end = r < e.rows.size() ? e.rows[r] : all.size() - 13;
            if (error >= 0 && static_cast<long>(r) == error && !e.rows.empty()) {
                Bytes tail;
                if (mFaults.errorToken) {
                    const int number = mFaults.errorNumber;
                    putMessage(tail, kError, static_cast<uint32_t>(number), 1, number == 1205 ? 13 : 16,
                               number == 1205
                                   ? "事务(进程 ID 52)与另一个进程被死锁在 锁 资源上，并且已被选作死锁牺牲品。"
                                   : "将 expression 转换为数据类型 money 时出现算术溢出错误。");
                }
                putDone(tail, kDoneError | kDoneCount, 0xC1, static_cast<uint64_t>(r));
                return send(all.substr(sent, end - sent), End::Keep) && send(tail, End::Last);
            }
            if (r == e.rows.size()) break;
            const int delay = mFaults.rowDelayMs;
            if (drop >= 0 && static_cast<long>(r) == drop) {
                send(all.substr(sent, e.rows[r] - sent), End::Flush);
                shutdown(mFd, SHUT_RDWR);
                return false;
            }
            if (delay > 0 || e.rows[r] - sent >= 64 * mPacketSize) {
                if (!send(all.substr(sent, e.rows[r] - sent), delay > 0 ? End::Flush : End::Keep)) return false;
                sent = e.rows[r];
                if (delay > 0 ? !waitWatching(delay) : attentionWaiting()) return attended(attentions);
            }
        }
        return send(all.substr(sent), End::Last);
    }

    // An attention seen outside an answer is acknowledged at once.
    bool acknowledge(std::atomic<int>& attentions) { return attended(attentions); }

private:
    bool readAll(void* p, size_t n) {
        auto* c = static_cast<char*>(p);
        while (n) {
            const ssize_t r = recv(mFd, c, n, 0);
            if (r <= 0) return false;
            c += r, n -= static_cast<size_t>(r);
        }
        return true;
    }
    bool writeAll(const char* p, size_t n) {
        while (n) {
            const ssize_t w = ::send(mFd, p, n, MSG_NOSIGNAL);
            if (w <= 0) return false;
            p += w, n -= static_cast<size_t>(w);
        }
        return true;
    }
    // 2.2.3.1 packets of the agreed size. Keep: only full packets go, the rest waits for
    // more; Flush: the rest goes too, in a short packet; Last: the rest ends the message.
    enum class End { Keep, Flush, Last };
    bool send(std::string_view body, End end) {
        const size_t room = mPacketSize - 8;
        mPending.append(body);
        size_t at = 0;
        Bytes out;
        while (mPending.size() - at >= room || (end != End::Keep && at < mPending.size()) ||
               (end == End::Last && mPending.empty())) {
            const size_t n = std::min(room, mPending.size() - at);
            const bool eom = end == End::Last && at + n == mPending.size();
            const size_t len = n + 8;
            out.clear();
            put8(out, kReply), put8(out, eom ? 1 : 0), put8(out, len >> 8), put8(out, len & 0xFF);
            put8(out, 0), put8(out, 0x33), put8(out, ++mPacketId), put8(out, 0);
            out.append(mPending, at, n);
            if (!writeAll(out.data(), out.size())) return false;
            at += n;
            if (eom) break;
        }
        mPending.erase(0, at);
        return true;
    }
    bool sendMessage(const Bytes& b) { return send(b, End::Last); }

    bool attentionWaiting() {
        pollfd p{mFd, POLLIN, 0};
        if (poll(&p, 1, 0) <= 0) return false;
        uint8_t h[8];
        return recv(mFd, h, 8, MSG_PEEK) == 8 && h[0] == kAttention;
    }
    // Waits ms, false as soon as an attention arrives.
    bool waitWatching(int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (ms > 0 && std::chrono::steady_clock::now() < end) {
            if (mFaults.ignoreAttention) {
                // Deaf to the client, but not to its going away.
                pollfd p{mFd, POLLIN, 0};
                char c;
                if (poll(&p, 1, 0) > 0 && recv(mFd, &c, 1, MSG_PEEK) <= 0) return false;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            }
            if (attentionWaiting()) return false;
            pollfd p{mFd, POLLIN, 0};
            poll(&p, 1, 10);
        }
        return !attentionWaiting();
    }
    // 2.2.1.7: the attention packet read, the answer cut short, DONE with the attention bit
    // in a packet of its own.
    bool attended(std::atomic<int>& attentions) {
        if (attentionWaiting()) {
            uint8_t type;
            Bytes ignored;
            if (!readMessage(&type, &ignored)) return false;
        }
        ++attentions;
        // What waits is whole rows: it goes before the acknowledgement, so that the client
        // never sees a row cut in half.
        if (!mPending.empty() && !send({}, End::Flush)) return false;
        Bytes b;
        putDone(b, kDoneAttn, 0, 0);
        return send(b, End::Last);
    }
    void fail(TdsServer::Encoded& out, const std::string& message) const {
        const auto [number, text] = serverError(message);
        out.rows.clear();
        out.bytes.clear();
        putMessage(out.bytes, kError, number, 1, 16, text);
        putDone(out.bytes, kDoneError, 0xC1, 0);
    }

    std::vector<Column> columns(sqlite3_stmt* st, const std::vector<std::vector<Cell>>& rows) const {
        std::vector<Column> cols;
        for (int k = 0; k < sqlite3_column_count(st); ++k) {
            const std::string name = sqlite3_column_name(st, k);
            std::optional<Column> c;
            if (auto it = mOptions.columnTypes.find(name); it != mOptions.columnTypes.end())
                c = parseType(it->second, false);
            if (!c && sqlite3_column_decltype(st, k))
                c = parseType(sqlite3_column_decltype(st, k), mOptions.nvarcharTexts);
            if (!c) {  // an expression: what its values hold
                c = Column{};
                int kinds = 0;
                size_t longest = 1;
                for (const auto& row : rows) {
                    const Cell& v = row[static_cast<size_t>(k)];
                    kinds |= 1 << v.kind;
                    if (v.kind == SQLITE_TEXT) longest = std::max(longest, toGbk(v.text).size());
                }
                if (kinds & (1 << SQLITE_TEXT | 1 << SQLITE_BLOB))
                    c->type = mOptions.nvarcharTexts ? Type::NVarChar : Type::VarChar,
                    c->length = static_cast<int>(longest);
                else if (kinds & 1 << SQLITE_FLOAT)
                    c->type = Type::Float;
                else if (kinds & 1 << SQLITE_INTEGER)
                    c->type = Type::Int;
                else
                    c->type = Type::Int;
            }
            // A real column never holds more than it declares: SQLite's may.
            if (c->type == Type::VarChar || c->type == Type::NVarChar)
                for (const auto& row : rows) {
                    const Cell& v = row[static_cast<size_t>(k)];
                    if (v.kind != SQLITE_TEXT) continue;
                    const size_t n = c->type == Type::VarChar ? toGbk(v.text).size() : data::toUtf16(v.text).size();
                    c->length = std::max(c->length,
                                         static_cast<int>(std::min<size_t>(n, c->type == Type::VarChar ? 8000 : 4000)));
                }
            c->name = name;
            cols.push_back(*c);
        }
        return cols;
    }

    int mFd;
    const TdsServer::Options& mOptions;
    TdsServer::Faults& mFaults;
    sqlite3* mDb = nullptr;
    uint32_t mVersion = 0;
    size_t mPacketSize = 4096;
    uint8_t mPacketId = 0;
    Bytes mPending;
};

}  // namespace

TdsServer::TdsServer(Options options) : mOptions(std::move(options)) {
    mListen = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(mListen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(mOptions.port));
    socklen_t len = sizeof a;
    if (bind(mListen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(mListen, 16) != 0 ||
        getsockname(mListen, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        throw std::runtime_error("TDS test server: no loopback port");
    mPort = ntohs(a.sin_port);
    mAcceptor = std::thread([this] { acceptLoop(); });
}

TdsServer::~TdsServer() {
    mStop = true;
    mAcceptor.join();
    {
        std::lock_guard lock(mMutex);
        for (int fd : mClients) shutdown(fd, SHUT_RDWR);
    }
    for (auto& t : mThreads) t.join();
    close(mListen);
}

std::string TdsServer::address() const {
    return "127.0.0.1," + std::to_string(mPort);
}

void TdsServer::acceptLoop() {
    while (!mStop) {
        pollfd p{mListen, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        const int fd = accept(mListen, nullptr, nullptr);
        if (fd < 0) continue;
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::lock_guard lock(mMutex);
        mClients.push_back(fd);
        mThreads.emplace_back([this, fd] { serve(fd); });
    }
}

void TdsServer::serve(int fd) {
    {
        Connection c(fd, mOptions, mFaults);
        uint8_t type = 0;
        Bytes m;
        bool in = false, preloginAnswered = false;
        while (!mStop && c.readMessage(&type, &m)) {
            if (type == kPrelogin && preloginAnswered && mOptions.stallTls) {
                continue;  // a TLS version it does not speak: silence until the client gives up
            } else if (type == kPrelogin) {
                if (!c.prelogin()) break;
                preloginAnswered = true;
            } else if (type == kLogin7) {
                if (!(in = c.login(m, mLogins))) break;
            } else if (type == kAttention) {
                if (!c.acknowledge(mAttentions)) break;
            } else if (type == kSqlBatch && in) {
                ++mBatches;
                const std::string text = c.batchText(m);
                std::shared_ptr<const Encoded> e;
                if (mOptions.cacheResults) {
                    std::lock_guard lock(mMutex);
                    if (auto it = mCache.find(text); it != mCache.end()) e = it->second;
                }
                if (!e) {
                    e = c.run(text);
                    if (mOptions.cacheResults) {
                        std::lock_guard lock(mMutex);
                        mCache[text] = e;
                    }
                }
                if (!c.answer(*e, mAttentions)) break;
            } else {
                break;  // RPC, bulk load, TLS: not spoken here
            }
        }
    }
    std::lock_guard lock(mMutex);
    mClients.erase(std::remove(mClients.begin(), mClients.end(), fd), mClients.end());
    close(fd);
}

}  // namespace faq::test
