#include "sample_db.h"

#include <sqlite3.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <variant>
#include <vector>

#include "db_error.h"
#include "sql_dialect.h"

namespace faq::data {

namespace {

const char* const kSchema = R"SQL(
create table department(cDepCode varchar(12) not null, cDepName varchar(50) not null);
create table fa_Departments(sNum varchar(12) collate chinese_prc_ci_as primary key, sName varchar(50) not null);
create table fa_AssetTypes(sNum varchar(12) collate chinese_prc_ci_as primary key, sName varchar(50) not null);
create table fa_Status(sID varchar(4) collate chinese_prc_ci_as primary key, sName varchar(30) not null);
create table fa_Depreciations(sID varchar(4) collate chinese_prc_ci_as primary key, sName varchar(30) not null);
create table fa_Origins(sID varchar(4) collate chinese_prc_ci_as primary key,
                        sAddID varchar(4) collate chinese_prc_ci_as unique,
                        sDecID varchar(4) collate chinese_prc_ci_as unique, sName varchar(30) not null);
create table fa_Vouchers(sNum varchar(20) collate chinese_prc_ci_as primary key, dVouchDate datetime collate sqldate,
                         sSummary varchar(60));
create table fa_Cards(
  sCardID varchar(10) collate chinese_prc_ci_as primary key, sCardNum varchar(10) collate chinese_prc_ci_as not null,
  sAssetNum varchar(20), sAssetName varchar(60) not null, sDeptNames varchar(60),
  sTypeNum varchar(12) collate chinese_prc_ci_as, sStatusID varchar(4) collate chinese_prc_ci_as,
  sDeprMethodID varchar(4) collate chinese_prc_ci_as, sOrgID varchar(4) collate chinese_prc_ci_as,
  sOrgAddID varchar(4) collate chinese_prc_ci_as, sOrgDisposeID varchar(4) collate chinese_prc_ci_as,
  sVoucherNum varchar(20) collate chinese_prc_ci_as, lOptID integer not null, dblValue double,
  dStartdate datetime collate sqldate, dInputDate datetime collate sqldate,
  dTransDate datetime collate sqldate, dDisposeDate datetime collate sqldate);
create table fa_DeptScale(sCardNum varchar(10) collate chinese_prc_ci_as not null, lOptID integer not null,
                          sDeptNum varchar(12) collate chinese_prc_ci_as not null, dblScale double not null,
                          primary key(sCardNum, lOptID, sDeptNum));
create table fa_DeprTransactions(sCardNum varchar(10) collate chinese_prc_ci_as primary key, iPeriod integer,
                                 dblDepr double);
create table fa_WorkLoad(sCardNum varchar(10) collate chinese_prc_ci_as primary key, dblWorkTotal double,
                         dblWorkUsed double);
create table fa_ItemsManual(sCardNum varchar(10) collate chinese_prc_ci_as primary key, sItem varchar(40));
create index fa_Cards_num on fa_Cards(sCardNum, sCardID);
-- The asset names (the query window's list, F2) read off an index, not the whole table.
create index fa_Cards_name on fa_Cards(sAssetName);
)SQL";

struct Dept {
    const char* code;
    const char* name;
};
constexpr Dept kDepts[] = {
    {"01", "行政部"},   {"0101", "办公室"},     {"0102", "人事科"},     {"02", "财务部"},   {"0201", "会计科"},
    {"0202", "出纳科"}, {"03", "生产部"},       {"0301", "一车间"},     {"0302", "二车间"}, {"0303", "维修车间"},
    {"04", "销售部"},   {"0401", "华东销售处"}, {"0402", "华南销售处"}, {"05", "信息中心"}, {"06", "后勤部"},
    {"0601", "食堂"},   {"0602", "车队"},
};

struct Asset {
    const char* name;
    const char* type;
    int minYuan, maxYuan;
};
// Several names share a beginning (电脑, 电脑桌, 电脑椅; 空调, 空调机组), and a few hold
// characters that matter in SQL text (', %, _).
constexpr Asset kAssets[] = {
    {"电脑", "04", 3000, 9000},          {"电脑桌", "05", 300, 1500},        {"电脑椅", "05", 200, 1200},
    {"台式电脑", "04", 3500, 8000},      {"笔记本电脑", "04", 4500, 15000},  {"打印机", "04", 800, 6000},
    {"复印机", "05", 9000, 40000},       {"空调", "05", 2500, 9000},         {"空调机组", "02", 30000, 150000},
    {"办公桌", "05", 500, 3000},         {"办公椅", "05", 200, 1500},        {"文件柜", "05", 600, 2500},
    {"服务器", "04", 20000, 120000},     {"交换机", "04", 2000, 30000},      {"投影仪", "04", 3000, 12000},
    {"小轿车", "03", 120000, 350000},    {"货车", "03", 90000, 260000},      {"叉车", "03", 60000, 180000},
    {"车床", "02", 80000, 400000},       {"数控车床", "02", 250000, 900000}, {"铣床", "02", 70000, 300000},
    {"发电机组", "02", 150000, 600000},  {"变压器", "02", 80000, 500000},    {"厂房", "01", 1500000, 9000000},
    {"办公楼", "01", 3000000, 20000000}, {"仓库", "01", 500000, 3000000},    {"O'Neil 台式机", "04", 4000, 7000},
    {"50%功率机组", "02", 20000, 90000}, {"UPS_电源", "04", 3000, 20000},
};

// splitmix64: the same sequence on every platform.
class Rng {
public:
    explicit Rng(uint64_t seed) : mState(seed) {}
    uint64_t next() {
        uint64_t z = (mState += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int range(int lo, int hi) { return lo + static_cast<int>(next() % static_cast<uint64_t>(hi - lo + 1)); }
    bool chance(int percent) { return range(1, 100) <= percent; }

private:
    uint64_t mState;
};

// A day number (days since 1970-01-01) and its date text.
int64_t dayNumber(int y, unsigned m, unsigned d) {
    using namespace std::chrono;
    return sys_days(year_month_day(year(y), month(m), day(d))).time_since_epoch().count();
}

std::string civilText(int64_t dayNo) {
    using namespace std::chrono;
    const year_month_day ymd{sys_days(days(dayNo))};
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02u 00:00:00", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
    return buf;
}

class Db {
public:
    explicit Db(sqlite3* db) : mDb(db) {}
    void exec(const char* sql) {
        char* err = nullptr;
        if (sqlite3_exec(mDb, sql, nullptr, nullptr, &err) != SQLITE_OK) {
            std::string msg = err ? err : "";
            sqlite3_free(err);
            throw DbError("生成示例数据库失败", {{"HY000", 0, msg}});
        }
    }
    sqlite3_stmt* prepare(const char* sql) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(mDb, sql, -1, &s, nullptr) != SQLITE_OK)
            throw DbError("生成示例数据库失败", {{"HY000", 0, sqlite3_errmsg(mDb)}});
        mStatements.push_back(s);
        return s;
    }
    // Binds the texts (nullptr = NULL) and doubles in order, then runs the insert.
    void insert(sqlite3_stmt* s,
                std::initializer_list<std::variant<std::monostate, std::string, double, int64_t>> values) {
        int i = 1;
        for (const auto& v : values) {
            if (auto* t = std::get_if<std::string>(&v))
                sqlite3_bind_text(s, i, t->c_str(), -1, SQLITE_TRANSIENT);
            else if (auto* d = std::get_if<double>(&v))
                sqlite3_bind_double(s, i, *d);
            else if (auto* n = std::get_if<int64_t>(&v))
                sqlite3_bind_int64(s, i, *n);
            else
                sqlite3_bind_null(s, i);
            ++i;
        }
        if (sqlite3_step(s) != SQLITE_DONE) throw DbError("生成示例数据库失败", {{"HY000", 0, sqlite3_errmsg(mDb)}});
        sqlite3_reset(s);
    }
    ~Db() {
        for (auto* s : mStatements) sqlite3_finalize(s);
    }

private:
    sqlite3* mDb;
    std::vector<sqlite3_stmt*> mStatements;
};

std::string pad(const char* fmt, long long n) {
    char buf[32];
    std::snprintf(buf, sizeof buf, fmt, n);
    return buf;
}

}  // namespace

void generateSample(sqlite3* handle, const SampleOptions& options) {
    Db db(handle);
    db.exec("begin");
    db.exec(kSchema);
    db.exec(R"SQL(
insert into fa_AssetTypes values ('01','房屋及建筑物'),('02','机器设备'),('03','运输设备'),('04','电子设备'),('05','办公设备');
insert into fa_Status values ('1','在用'),('2','季节性停用'),('3','经营性出租'),('4','大修理停用');
insert into fa_Depreciations values ('1','平均年限法'),('2','工作量法'),('3','双倍余额递减法');
insert into fa_Origins values ('01','101','201','直接购入'),('02','102','202','自行建造'),('03','103','203','投资者投入'),
                              ('04','104','204','捐赠'),('05','105','205','盘盈');
)SQL");
    auto* dept = db.prepare("insert into department values (?, ?)");
    auto* faDept = db.prepare("insert into fa_Departments values (?, ?)");
    for (const auto& d : kDepts) {
        db.insert(dept, {std::string(d.code), std::string(d.name)});
        db.insert(faDept, {std::string(d.code), std::string(d.name)});
    }
    // A department renamed in the accounting suite keeps its code under both names.
    db.insert(dept, {std::string("0303"), std::string("机修车间")});

    auto* card = db.prepare("insert into fa_Cards values (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    auto* scale = db.prepare("insert into fa_DeptScale values (?,?,?,1.0)");
    auto* voucher = db.prepare("insert into fa_Vouchers values (?,?,?)");
    auto* depr = db.prepare("insert into fa_DeprTransactions values (?,?,?)");
    auto* work = db.prepare("insert into fa_WorkLoad values (?,?,?)");
    auto* manual = db.prepare("insert into fa_ItemsManual values (?,?)");

    Rng rng(options.seed);
    const int64_t firstDay = dayNumber(1995, 1, 1), lastDay = dayNumber(2026, 11, 30);
    const int64_t recentDay = dayNumber(2024, 1, 1);
    int64_t cardId = 0, optId = 0;
    const int deptCount = static_cast<int>(std::size(kDepts));
    const int assetCount = static_cast<int>(std::size(kAssets));
    for (int n = 1; n <= options.cards; ++n) {
        const std::string num = pad("%05lld", n);
        const Asset& asset = kAssets[rng.range(0, assetCount - 1)];
        // A third of the cards started in the last three years, the rest across thirty.
        const int64_t start = rng.chance(33) ? rng.range(0, static_cast<int>(lastDay - recentDay)) + recentDay
                                             : rng.range(0, static_cast<int>(lastDay - firstDay)) + firstDay;
        const double value = rng.range(asset.minYuan * 100, asset.maxYuan * 100) / 100.0;
        const std::string orgId = rng.chance(3) ? std::string() : pad("%02lld", rng.range(1, 5));
        const int versions = rng.chance(70) ? 1 : rng.chance(66) ? 2 : 3;
        const bool disposed = rng.chance(8);
        int64_t when = start + rng.range(0, 20);
        for (int v = 1; v <= versions; ++v) {
            const Dept& d = kDepts[rng.range(0, deptCount - 1)];
            const std::string id = pad("%010lld", ++cardId);
            const int64_t opt = ++optId;
            if (v > 1) when = std::min(lastDay, when + rng.range(30, 1500));
            const std::string input = civilText(when);
            const bool last = v == versions;
            const bool disposeNow = last && disposed;
            const int64_t disposeDay = std::min(lastDay, when + rng.range(1, 400));
            std::string voucherNum;
            if (rng.chance(60)) {
                voucherNum = "记-" + pad("%06lld", opt);
                db.insert(voucher, {voucherNum, input, std::string(v == 1 ? "新增资产" : "资产变动")});
            }
            auto textOrNull = [](const std::string& s) -> std::variant<std::monostate, std::string, double, int64_t> {
                if (s.empty()) return std::monostate{};
                return s;
            };
            db.insert(card,
                      {id, num, std::string("ZC") + num, std::string(asset.name), std::string(d.name),
                       std::string(asset.type), pad("%lld", rng.range(1, 4)), pad("%lld", rng.range(1, 3)),
                       textOrNull(orgId), textOrNull(orgId.empty() ? "" : "1" + orgId),
                       disposeNow
                           ? std::variant<std::monostate, std::string, double, int64_t>(pad("2%02lld", rng.range(1, 5)))
                           : std::monostate{},
                       textOrNull(voucherNum), opt, value, civilText(start), input,
                       v > 1 ? std::variant<std::monostate, std::string, double, int64_t>(input) : std::monostate{},
                       disposeNow ? std::variant<std::monostate, std::string, double, int64_t>(civilText(disposeDay))
                                  : std::monostate{}});
            db.insert(scale, {num, opt, std::string(d.code)});
        }
        if (rng.chance(50)) db.insert(depr, {num, int64_t{rng.range(1, 12)}, value * rng.range(1, 30) / 1000.0});
        if (std::string_view(asset.type) == "02" && rng.chance(50))
            db.insert(work, {num, double(rng.range(1000, 50000)), double(rng.range(0, 1000))});
        if (rng.chance(10)) db.insert(manual, {num, std::string("手工调整")});
    }
    db.exec("commit");
}

}  // namespace faq::data
