// SQL Server's convert() styles and date comparisons on SQLite.
#include "data/sql_dialect.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <string>

#include "data/embedded_sql.h"
#include "data/sql_collation.h"
#include "query/sql_text.h"

namespace {

class Dialect : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
        ASSERT_EQ(faq::data::registerSqlDialect(db), SQLITE_OK);
        exec("create table t(id integer, d datetime collate sqldate)");
        exec(
            "insert into t values (1,'2026-06-05 00:00:00'),(2,'2026-06-06 00:00:00'),(3,'2026-06-06 10:30:00'),"
            "(4,'2026-12-31 00:00:00'),(5,'2027-01-15 00:00:00'),(6,null),(7,'2026-6-7')");
    }
    void TearDown() override { sqlite3_close(db); }
    void exec(const std::string& sql) {
        ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    }
    // The single value of a one-row, one-column query as text ("NULL" for null).
    std::string one(const std::string& sql) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK)
            return std::string("ERROR: ") + sqlite3_errmsg(db);
        std::string out;
        int rc = sqlite3_step(s);
        if (rc == SQLITE_ROW)
            out = sqlite3_column_type(s, 0) == SQLITE_NULL ? "NULL"
                                                           : reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
        else if (rc != SQLITE_DONE)
            out = std::string("ERROR: ") + sqlite3_errmsg(db);
        sqlite3_finalize(s);
        return out;
    }
    std::string ids(const std::string& where) {
        return one("select group_concat(id) from (select id from t where " + where + " order by id)");
    }
    sqlite3* db = nullptr;
};

TEST_F(Dialect, ConvertStylesOnDatesWithAndWithoutTime) {
    EXPECT_EQ(one("select convert(varchar(10), '2026-06-05 13:45:10', 102)"), "2026.06.05");
    EXPECT_EQ(one("select convert(varchar(10), '2026-6-5', 102)"), "2026.06.05");
    EXPECT_EQ(one("select convert(varchar(10), '2026-06-05', 23)"), "2026-06-05");
    EXPECT_EQ(one("select convert(varchar(10), '2026-06-05', 111)"), "2026/06/05");
    EXPECT_EQ(one("select convert(varchar(19), '2026-06-05 13:45:10', 120)"), "2026-06-05 13:45:10");
    EXPECT_EQ(one("select convert(varchar(30), '2026-06-05 13:45:10.25', 121)"), "2026-06-05 13:45:10.250");
    EXPECT_EQ(one("select convert(varchar(30), '2026-01-05 13:45:10')"), "Jan  5 2026  1:45PM");
    EXPECT_EQ(one("select convert(varchar(10), '2026-01-05')"), "Jan  5 202");  // cut at its length
    EXPECT_EQ(one("select convert(varchar(4), '固定资产名称')"), "固定资产");   // characters, not bytes
    EXPECT_EQ(one("select convert(varchar(10), null, 102)"), "NULL");
    EXPECT_EQ(one("select convert(varchar(10), d, 102) from t where id = 6"), "NULL");
    EXPECT_EQ(one("select convert(varchar(10), 12.5, 102)"), "12.5");
    EXPECT_EQ(one("select convert(varchar(10), 'not a date', 102)"), "not a date");
    EXPECT_NE(one("select convert(varchar(10), '2026-06-05', 999)").find("ERROR"), std::string::npos);
    EXPECT_NE(one("select convert(varchar(0), '2026-06-05', 102)").find("ERROR"), std::string::npos);
}

TEST_F(Dialect, DateColumnsCompareWithTextsAsDates) {
    EXPECT_EQ(ids("d <= '2026-6-06'"), "1,2");  // unpadded literal; 10:30 is after the day began
    EXPECT_EQ(ids("d >= '2026-6-6'"), "2,3,4,5,7");
    EXPECT_EQ(ids("(d) <='2026-12-31'"), "1,2,3,4,7");  // parenthesised column keeps its collation
    EXPECT_EQ(ids("d > '2026-12-31'"), "5");
    EXPECT_EQ(ids("d <= '2027-01-15'"), "1,2,3,4,5,7");
    EXPECT_EQ(ids("d = '2026-06-07 00:00:00'"), "7");  // unpadded value in the column
    EXPECT_EQ(ids("d is null"), "6");
    EXPECT_EQ(ids("d <= '2026-12-31' or d is null"), "1,2,3,4,6,7");
    EXPECT_EQ(ids("d < 'garbage'"), "1,2,3,4,5,7");  // texts that are no date order after every date
    EXPECT_EQ(one("select max(d) from t"), "2027-01-15 00:00:00");
    EXPECT_EQ(one("select min(d) from t"), "2026-06-05 00:00:00");
    // Dates written as the columns hold them and written any other way, and texts that look
    // like dates and are none: the same order whichever way each pair is compared.
    exec("create table w(k integer, d datetime collate sqldate)");
    std::string values;
    unsigned seed = 7;
    for (int i = 0; i < 300; ++i) {
        seed = seed * 1103515245u + 12345u;
        const int y = 2025 + seed % 2, m = 1 + (seed >> 4) % 12, day = 1 + (seed >> 8) % 31, h = (seed >> 13) % 3,
                  ms = (seed >> 15) % 2 * 500;
        const long long key = ((((y * 13LL + m) * 32 + day) * 24 + h) * 1000 + ms);
        char canonical[40], other[40];
        if (ms)
            std::snprintf(canonical, sizeof canonical, "%04d-%02d-%02d %02d:00:00.%03d", y, m, day, h, ms);
        else if (h)
            std::snprintf(canonical, sizeof canonical, "%04d-%02d-%02d %02d:00:00", y, m, day, h);
        else
            std::snprintf(canonical, sizeof canonical, (seed >> 20) % 2 ? "%04d-%02d-%02d" : "%04d-%02d-%02d 00:00:00",
                          y, m, day);
        std::snprintf(other, sizeof other, "%04d/%d/%d %d:0:0.%d", y, m, day, h, ms / 100);
        values += (i ? "," : "") +
                  ("(" + std::to_string(key) + ",'" + canonical + "'),(" + std::to_string(key) + ",'" + other + "')");
    }
    exec("insert into w values " + values +
         ",(9e15,'2026-13-01'),(9e15,'2026-06-07 24:00:00'),(9e15,'2026-06-07x'),(9e15,'2026-06-07 10:00:00.')");
    EXPECT_EQ(one("select count(*) from w a join w b on a.d < b.d and a.k > b.k"), "0");
    EXPECT_EQ(one("select count(*) from w a join w b on a.d = b.d and a.k <> b.k"), "0");
    EXPECT_EQ(one("select count(*) from w a join w b on a.d = b.d and a.k = b.k and a.k < 9e15"),
              one("select sum(n * n) from (select count(*) n from w where k < 9e15 group by k)"));
}

// Chinese_PRC_CI_AS: case and width of letters ignored, trailing blanks ignored by = but
// not in LIKE patterns, T-SQL's wildcards and brackets.
TEST_F(Dialect, TextsCompareAsChinesePrcCiAs) {
    using faq::data::compareSqlServer, faq::data::likeSqlServer, faq::data::sqlServerKey;
    EXPECT_EQ(compareSqlServer("UPS_电源", "ups_电源"), 0);
    EXPECT_EQ(compareSqlServer("ＵＰＳ_电源", "ups_电源"), 0);  // full-width letters
    EXPECT_EQ(compareSqlServer("电脑  ", "电脑"), 0);
    EXPECT_EQ(compareSqlServer("电脑\u3000", "电脑"), 0);
    EXPECT_NE(compareSqlServer(" 电脑", "电脑"), 0);  // leading blanks count
    EXPECT_NE(compareSqlServer("电脑", "電腦"), 0);   // Chinese characters as they are
    EXPECT_NE(compareSqlServer("cafe", "café"), 0);   // accents count
    EXPECT_LT(compareSqlServer("a", "B"), 0);
    EXPECT_GT(compareSqlServer("ab", "A"), 0);
    EXPECT_EQ(sqlServerKey("ＵＰＳ_电源  "), sqlServerKey("ups_电源"));
    // Texts of whole and broken characters: ordered as their keys are (no character below the
    // blank that pads the shorter), and a common beginning changes nothing.
    const char* pieces[] = {"电", "\xE7\x94", "\x94", "\xB5", "A", "a", " ", "Ｕ", "!", "か", "ｶ", "ﾞ", "\u3099", "が"};
    unsigned seed = 11;
    const auto text = [&] {
        std::string t;
        for (seed = seed * 1103515245u + 12345u; t.size() < (seed >> 8) % 9;) {
            seed = seed * 1103515245u + 12345u;
            t += pieces[(seed >> 16) % std::size(pieces)];
        }
        return t;
    };
    for (int n = 0; n < 3000; ++n) {
        const std::string a = text(), b = text();
        const int c = compareSqlServer(a, b);
        const int keys = sqlServerKey(a).compare(sqlServerKey(b));
        ASSERT_EQ(c, keys < 0 ? -1 : keys > 0 ? 1 : 0) << a << " / " << b;
        for (const char* p : {"电脑", "A", "Ｕ"})
            ASSERT_EQ(compareSqlServer(p + a, p + b), c) << p << a << " / " << p << b;
    }
    // Every cased letter folds, its accent kept: Greek, Cyrillic, accented Latin, Roman
    // numerals, circled and full-width letters; case-free scripts and ß/ss as they are.
    for (auto [a, b] : {std::pair{"Φ20钢管", "φ20钢管"},
                        {"ДИВАН", "диван"},
                        {"ÉCRAN", "écran"},
                        {"Ⅱ号机", "ⅱ号机"},
                        {"Ⓐ区", "ⓐ区"},
                        {"ＡＢＣ", "abc"},
                        {"ΣΟΦΑ", "σοφα"},
                        {"ẞ", "ß"}}) {
        EXPECT_EQ(compareSqlServer(a, b), 0) << a << " / " << b;
        EXPECT_EQ(sqlServerKey(a), sqlServerKey(b)) << a;
        EXPECT_TRUE(likeSqlServer(a, b)) << a;
    }
    // Neither width nor kana type counts (the collation has neither _WS nor _KS): full- and
    // half-width signs and katakana, katakana and hiragana, a sound mark and its letter.
    for (auto [a, b] : {std::pair{"￥100", "¥100"},
                        {"￡5", "£5"},
                        {"ﾃｽﾄ机", "テスト机"},
                        {"テスト", "てすと"},
                        {"ｶﾞｽ", "ガス"},
                        {"ﾊﾟｲﾌﾟ", "パイプ"},
                        {"か\u3099", "が"},
                        {"ｽｰﾊﾟｰ", "すーぱー"}}) {
        EXPECT_EQ(compareSqlServer(a, b), 0) << a << " / " << b;
        EXPECT_EQ(compareSqlServer(std::string("电脑") + a, std::string("电脑") + b), 0) << a << " / " << b;
        EXPECT_EQ(sqlServerKey(a), sqlServerKey(b)) << a;
        EXPECT_TRUE(likeSqlServer(a, b)) << a;
        EXPECT_TRUE(likeSqlServer(std::string("x") + a + "y", std::string("%") + b + "%")) << a;
    }
    EXPECT_NE(compareSqlServer("か", "が"), 0);
    EXPECT_NE(compareSqlServer("かX", "か\u3099"), 0);
    EXPECT_LT(compareSqlServer("か", "か\u3099"), 0);
    for (auto [a, b] : {std::pair{"É", "e"}, {"é", "e"}, {"ß", "ss"}, {"Φ", "F"}, {"Д", "D"}, {"Ⅱ", "II"}})
        EXPECT_NE(compareSqlServer(a, b), 0) << a << " / " << b;
    struct Like {
        const char* value;
        const char* pattern;
        bool matches;
    } cases[] = {
        {"UPS_电源", "ups%", true},
        {"UPS_电源", "%电源", true},
        {"UPS_电源", "ups_电源", true},
        {"UPSx电源", "ups[_]电源", false},
        {"UPS_电源", "ups[_]电源", true},
        {"电脑 ", "电脑", true},
        {"电脑", "电脑 ", false},
        // The value's trailing blanks may count (a value that holds the pattern matches),
        // the pattern's always do.
        {"电脑 ", "%电脑 %", true},
        {"电脑 ", "电脑 ", true},
        {"05  ", "05  %", true},
        {"05  ", "05%", true},
        {"05 ", "05  %", false},
        {"电脑", "电_", true},
        {"电", "电_", false},
        {"b电脑", "[a-c]电脑", true},
        {"d电脑", "[a-c]电脑", false},
        {"D电脑", "[^a-c]电脑", true},
        {"[x]", "[[]x]", true},
        {"x]", "x]", true},
        {"50%", "50[%]", true},
        {"500", "50[%]", false},
        {"abc", "[abc", false},
        {"abc", "%", true},
        {"", "%", true},
        {"", "_", false},
        {"a-b", "a[-]b", true},
        {"aXb", "a%b%", true},
        {"ab", "a%%b", true},
        {"axxbyyb", "a%b", true},
        {"]", "[]]", true},
        {"电", "[电脑]", true},
        {"ａ", "A", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(likeSqlServer(c.value, c.pattern), c.matches) << c.value << " / " << c.pattern;
    EXPECT_TRUE(likeSqlServer("50%", "50!%", U'!'));
    EXPECT_FALSE(likeSqlServer("500", "50!%", U'!'));
    // The same through SQLite: the operator, the collation, and the statements' rewriting.
    exec("create table n(id integer, name text)");
    exec("insert into n values (1, 'UPS_电源'), (2, 'ups_电源 '), (3, 'ＵＰＳ_电源'), (4, '电脑'), (5, 'upsx电源')");
    EXPECT_EQ(one("select group_concat(id) from n where name like 'ups[_]%'"), "1,2,3");
    EXPECT_EQ(one("select group_concat(id) from n where name = 'ups_电源' collate chinese_prc_ci_as"), "1,2,3");
    EXPECT_EQ(one("select count(*) from (select 1 from n group by name collate chinese_prc_ci_as)"), "3");
    const std::string list = faq::data::withSqlServerComparisons(" SELECT distinct  sAssetName FROM fa_Cards");
    exec("create table fa_Cards(sAssetName text)");
    exec("insert into fa_Cards select name from n");
    EXPECT_EQ(one("select group_concat(sAssetName, '|') from (" + list + ")"), "UPS_电源|upsx电源|电脑");
    const std::string some =
        faq::data::withSqlServerComparisons(" SELECT distinct  sAssetName FROM fa_Cards where sAssetName like  'Ups%'");
    EXPECT_EQ(one("select group_concat(sAssetName, '|') from (" + some + ")"), "UPS_电源|upsx电源");
    // Read off an index by a seek a spelling, the rest (beyond the seeks) in one pass: the
    // same lines, with a NULL, a blob, numbers and more spellings than the seeks take.
    EXPECT_FALSE(faq::data::readCardIndexes(db).namesInOrder);
    exec("create index fa_Cards_name on fa_Cards(sAssetName)");
    ASSERT_TRUE(faq::data::readCardIndexes(db).namesInOrder);
    const auto lines = [&](const std::string& sql) {
        return one("select count(*) || ':' || group_concat(ifnull(sAssetName, 'NULL'), '|') from (" + sql +
                   " ORDER BY 1)");
    };
    for (const char* more :
         {"", "insert into fa_Cards values (null), (x'e794b5'), ('电脑  ')",
          "with recursive c(v) as (select 1 union all select v + 1 from c where v < 9000) insert into fa_Cards "
          "select printf('%s%05d', iif(v % 3, 'n', 'N'), v / 2) from c"}) {
        if (*more) exec(more);
        for (const std::string& sql : {faq::query::assetNameListSql(""), faq::query::assetNameListSql("Ups")}) {
            const std::string seek = faq::data::embeddedStatement(sql, faq::data::readCardIndexes(db));
            ASSERT_NE(seek, faq::data::withSqlServerComparisons(sql));
            EXPECT_EQ(lines(seek), lines(faq::data::withSqlServerComparisons(sql))) << more;
        }
    }
    EXPECT_EQ(lines(list).substr(0, 5), "4506:");
    // The departments likewise: a code and name written twice in other case or with blanks
    // are one department.
    exec("create table department(cDepCode text, cDepName text)");
    exec(
        "insert into department values ('0301', '一车间'), ('0301 ', '一车间'), ('a1', 'Ｘ组'), ('A1', 'x组'), ('02', "
        "'财务部')");
    const std::string depts = faq::data::withSqlServerComparisons(faq::query::departmentListSql());
    EXPECT_EQ(one("select group_concat(cDepCode || '=' || cDepName, '|') from (" + depts + ")"),
              "02=财务部|0301=一车间|A1=x组");
}

#ifndef _WIN32  // the extension is for the sqlite3 shell of Linux
TEST(DialectExtension, LoadsIntoTheSqliteShell) {
    const std::string cmd = "sqlite3 :memory: '.load " FAQ_BINARY_DIR
                            "/faqdialect' "
                            "\"select convert(varchar(10), '2026-6-5', 102);\" 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char buf[256] = {};
    std::string out;
    while (fgets(buf, sizeof buf, p)) out += buf;
    EXPECT_EQ(pclose(p), 0) << out;
    EXPECT_EQ(out, "2026.06.05\n");
}

#endif

}  // namespace
