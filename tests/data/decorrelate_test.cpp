// The embedded engine's uncorrelated form of the summary returns the rows of the statement
// it replaces, on many small random databases full of the cases that could tell them apart.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <map>
#include <random>
#include <regex>

#include "data/db_error.h"
#include "data/embedded_sql.h"
#include "data/sql_collation.h"
#include "data/sqlite_connection.h"
#include "query/period.h"
#include "query/sql_text.h"
#include "query/summary_view.h"

using namespace faq;

namespace {

// Every row as text, sorted: the statement has no ORDER BY. keyed: the department and
// name columns as the collation's keys (which spelling of a group shows is no matter).
std::vector<std::string> rowsOf(sqlite3* db, const std::string& sql, bool keyed = false) {
    sqlite3_stmt* s = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    std::vector<std::string> rows;
    while (sqlite3_step(s) == SQLITE_ROW) {
        std::string row;
        for (int c = 0; c < sqlite3_column_count(s); ++c) {
            const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(s, c));
            const std::string text = t && keyed && (c == 1 || c == 2) ? data::sqlServerKey(t) : t ? t : "";
            row += t ? std::to_string(sqlite3_column_type(s, c)) + ":" + text : "NULL";
            row += '\x1f';
        }
        rows.push_back(row);
    }
    sqlite3_finalize(s);
    std::sort(rows.begin(), rows.end());
    return rows;
}

// Folded as the collation folds, trailing blanks kept (a LIKE pattern's count).
std::string folded(const std::string& s) {
    const std::string k = data::sqlServerKey(s + "\x01");
    const size_t blanks = s.size() - s.find_last_not_of(' ') - 1;
    return k.substr(0, k.size() - 1) + std::string(s.find_last_not_of(' ') == std::string::npos ? 0 : blanks, ' ');
}

// A T-SQL pattern as GLOB, SQLite's own case-sensitive matcher, for folded texts.
std::string globOf(const std::string& like) {
    std::string g;
    for (size_t i = 0; i < like.size(); ++i) {
        const char c = like[i];
        if (c == '%')
            g += '*';
        else if (c == '_')
            g += '?';
        else if (c == '*' || c == '?')
            g += std::string("[") + c + "]";
        else if (c == '[') {
            const size_t close = like.find(']', i + (i + 2 < like.size() && like[i + 1] == '^' ? 3 : 2));
            if (close == std::string::npos) return "[";  // matches nothing, as in T-SQL
            g += like.substr(i, close + 1 - i);
            i = close;
        } else
            g += c;
    }
    return g;
}

// The summary as SQL Server answers it, worked out independently: the same tables with every
// text folded and stripped of trailing blanks (in temporary tables that hide the real ones),
// plain comparisons, and LIKE done by GLOB on the folded pattern.
std::vector<std::string> oracleRows(sqlite3* db, query::CMvLogin p) {
    sqlite3_create_function(
        db, "sqlkey", 1, SQLITE_UTF8, nullptr,
        [](sqlite3_context* ctx, int, sqlite3_value** v) {
            const auto* t = reinterpret_cast<const char*>(sqlite3_value_text(v[0]));
            if (!t) return sqlite3_result_null(ctx);
            sqlite3_result_text(ctx, data::sqlServerKey(t).c_str(), -1, SQLITE_TRANSIENT);
        },
        nullptr, nullptr);
    sqlite3_create_function(
        db, "sqlfold", 1, SQLITE_UTF8, nullptr,
        [](sqlite3_context* ctx, int, sqlite3_value** v) {
            const auto* t = reinterpret_cast<const char*>(sqlite3_value_text(v[0]));
            if (!t) return sqlite3_result_null(ctx);
            sqlite3_result_text(ctx, folded(t).c_str(), -1, SQLITE_TRANSIENT);
        },
        nullptr, nullptr);
    // Every table in a temporary copy that hides it: every text folded as the collation
    // folds (names, departments, codes, card numbers and ids), compared bytewise.
    sqlite3_stmt* schema = nullptr;
    sqlite3_prepare_v2(db, "select name, sql from main.sqlite_master where type = 'table'", -1, &schema, nullptr);
    std::string fill, drop;
    while (sqlite3_step(schema) == SQLITE_ROW) {
        const std::string name = reinterpret_cast<const char*>(sqlite3_column_text(schema, 0));
        std::string create = reinterpret_cast<const char*>(sqlite3_column_text(schema, 1));
        create = std::regex_replace(create, std::regex(" collate chinese_prc_ci_as", std::regex::icase), "");
        create.replace(0, create.find(name), "CREATE TEMP TABLE ");
        fill += create + "; insert into temp." + name + " select * from main." + name + ";";
        // A name as LIKE sees it too: its trailing blanks may count.
        if (name == "fa_Cards")
            fill +=
                "alter table temp.fa_Cards add column sNameBlanks text;"
                "update temp.fa_Cards set sNameBlanks = sqlfold(sAssetName);";
        sqlite3_stmt* cols = nullptr;
        sqlite3_prepare_v2(db, ("select name, type from pragma_table_info('" + name + "', 'main')").c_str(), -1, &cols,
                           nullptr);
        while (sqlite3_step(cols) == SQLITE_ROW) {
            const std::string col = reinterpret_cast<const char*>(sqlite3_column_text(cols, 0));
            const std::string type = reinterpret_cast<const char*>(sqlite3_column_text(cols, 1));
            if (type.find("char") != std::string::npos)
                fill += "update temp." + name + " set " + col + " = sqlkey(" + col + ");";
        }
        sqlite3_finalize(cols);
        drop += "drop table temp." + name + ";";
    }
    sqlite3_finalize(schema);
    EXPECT_EQ(sqlite3_exec(db, fill.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    std::string sql;
    if (p.gsCZLike == "1") {
        const std::string pattern = p.strZcID;
        p.strZcID = folded(pattern);
        sql = query::summarySql(p);
        const std::string from = " AND fa_Cards.sAssetName like  '%" + query::sqlLiteral(p.strZcID) + "%'";
        const std::string glob = "'*" + query::sqlLiteral(globOf(p.strZcID)) + "*'";
        const std::string to = " AND (fa_Cards.sAssetName glob " + glob + " OR fa_Cards.sNameBlanks glob " + glob + ")";
        for (size_t at; !p.strZcID.empty() && (at = sql.find(from)) != std::string::npos;)
            sql.replace(at, from.size(), to);
    } else {
        p.strZcID = data::sqlServerKey(p.strZcID);
        sql = query::summarySql(p);
    }
    auto rows = rowsOf(db, sql);
    sqlite3_exec(db, drop.c_str(), nullptr, nullptr, nullptr);
    return rows;
}

std::string literal(const std::optional<std::string>& v) {
    return v ? "'" + query::sqlLiteral(*v) + "'" : "null";
}

// A summary row as its values: start date, department, name, 原值 and 数量.
struct SummaryLine {
    std::optional<std::string> date, dept, name;
    std::optional<double> value;
    long long count = 0;
};

std::optional<std::string> textAt(sqlite3_stmt* s, int c) {
    if (sqlite3_column_type(s, c) == SQLITE_NULL) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(sqlite3_column_text(s, c)));
}

std::vector<SummaryLine> summaryLines(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* s = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    std::vector<SummaryLine> lines;
    while (sqlite3_step(s) == SQLITE_ROW) {
        SummaryLine l{textAt(s, 0), textAt(s, 1), textAt(s, 2), std::nullopt, sqlite3_column_int64(s, 4)};
        if (sqlite3_column_type(s, 3) != SQLITE_NULL) l.value = sqlite3_column_double(s, 3);
        lines.push_back(l);
    }
    sqlite3_finalize(s);
    return lines;
}

// The card list of sql added up as the summary adds its cards: 原值 summed (none when every
// value is NULL), 数量 the lines with an 增加方式.
SummaryLine cardTotals(sqlite3* db, const std::string& sql) {
    SummaryLine total;
    sqlite3_stmt* s = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    while (sqlite3_step(s) == SQLITE_ROW) {
        if (sqlite3_column_type(s, 5) != SQLITE_NULL)
            total.value = total.value.value_or(0) + sqlite3_column_double(s, 5);
        if (sqlite3_column_type(s, 6) != SQLITE_NULL) ++total.count;
    }
    sqlite3_finalize(s);
    return total;
}

// Cards with several versions per card number, missing and equal dates, dates on either
// side of the as-of date in both written forms, disposed cards, cards without a
// department share, names holding quotes and wildcards.
void fillCards(sqlite3* db, std::mt19937& rng) {
    auto pick = [&](const auto& pool) { return pool[rng() % std::size(pool)]; };
    const std::optional<std::string> dates[] = {std::nullopt,         "2026-06-06 00:00:00", "2026-06-07 00:00:00",
                                                "2026-6-7",           "2026-06-08 00:00:00", "2025-12-31 00:00:00",
                                                "2026-06-07 10:00:00"};
    const std::optional<std::string> starts[] = {
        std::nullopt, "2024-01-01 00:00:00", "2025-06-30 00:00:00", "2025-07-01 00:00:00",
        "2026-6-7",   "2026-12-31 00:00:00"};
    const char* names[] = {"电脑",        "电脑桌", "O'Neil 台式机", "50%功率机组", "UPS_电源",     "ups_电源",
                           "ＵＰＳ_电源", "电脑  ", "[x]机",         "Ｘ机",        "o'neil 台式机"};
    // Codes and card numbers that SQL Server's comparison finds equal and bytes do not: case
    // and trailing blanks, in a card's versions, its share and the share's department.
    const char* depts[] = {"01", "0101", "03", "0301", "04", "03 ", "0301  "};
    const char* numbers[] = {"00001", "00002", "00002 ", "W1", "w1", "W1 ", "00003", "00004", "00005"};
    sqlite3_exec(db, "delete from fa_Cards; delete from fa_DeptScale", nullptr, nullptr, nullptr);
    const int cards = 8 + static_cast<int>(rng() % 40);
    std::string sql;
    for (int i = 1; i <= cards; ++i) {
        char id[16], num[8];
        // Ids unique under the collation, whose greatest is another under it than in bytes
        // (of a10 and A9 the server keeps A9).
        std::snprintf(id, sizeof id, "%s%d", rng() % 2 ? "a" : "A", 5 + static_cast<int>(rng() % 40) * 100 + i);
        std::snprintf(num, sizeof num, "%s", pick(numbers));
        std::string share = num;
        if (rng() % 3 == 0) share = share == "W1" ? "w1 " : share + " ";
        const std::optional<std::string> value =
            rng() % 10 ? std::optional<std::string>(std::to_string(rng() % 100000) + ".25") : std::nullopt;
        sql +=
            "insert into fa_Cards(sCardID, sCardNum, sAssetName, sDeptNames, sOrgID, lOptID, dblValue, dStartdate, "
            "dInputDate, dTransDate, dDisposeDate) values ('" +
            std::string(id) + "', '" + num + "', " + literal(std::string(pick(names))) + ", " +
            literal(std::string(pick(names)) + "部") + ", " + (rng() % 4 ? "'01'" : "null") + ", " + std::to_string(i) +
            ", " + value.value_or("null") + ", " + literal(pick(starts)) + ", " + literal(pick(dates)) + ", " +
            literal(pick(dates)) + ", " + literal(rng() % 3 ? std::nullopt : pick(dates)) + ");";
        if (rng() % 7)
            sql += "insert into fa_DeptScale values ('" + share + "', " + std::to_string(i) + ", '" + pick(depts) +
                   "', 1.0);";
    }
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
}

// The same tables without their keys, indexes and collations, as a file made by another
// program may have them, and with what keys would forbid: lookups that match a card twice, a version
// repeated, a card version's id under a second card number.
void dropKeys(sqlite3* db) {
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, "select name, sql from sqlite_master where type = 'table'", -1, &s, nullptr);
    std::string script;
    while (sqlite3_step(s) == SQLITE_ROW) {
        const std::string name = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
        std::string create = reinterpret_cast<const char*>(sqlite3_column_text(s, 1));
        create = std::regex_replace(create, std::regex(R"(,\s*primary key\([^)]*\))"), "");
        create = std::regex_replace(create, std::regex(" primary key| unique"), "");
        // Its texts compared bytewise unless a statement says otherwise.
        create = std::regex_replace(create, std::regex(" collate chinese_prc_ci_as"), "");
        script += "alter table " + name + " rename to keyed; " + create + "; insert into " + name +
                  " select * from keyed; drop table keyed;";
    }
    sqlite3_finalize(s);
    ASSERT_EQ(sqlite3_exec(db, script.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
}

void addDuplicates(sqlite3* db) {
    const char* script =
        "insert into fa_Origins select * from fa_Origins where sID = '01';"
        "insert into fa_DeprTransactions values ('00003', 1, 1.0), ('00003', 2, 2.0);"
        "insert into fa_Cards select * from fa_Cards where rowid % 5 = 0;"
        "insert into fa_Cards select * from fa_Cards where rowid % 6 = 1;"
        "update fa_Cards set sCardNum = '00009' where rowid > (select max(rowid) from fa_Cards) - "
        "(select count(*) from fa_Cards where rowid % 6 = 1) / 2;"
        "insert into fa_DeptScale select sCardNum, lOptID, '0301', 1.0 from fa_Cards where sCardNum = '00009';";
    ASSERT_EQ(sqlite3_exec(db, script, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
}

// Both forms as the embedded engine runs them, against each other and against SQL Server's
// answer worked out on folded names: names that differ in case, width and trailing blanks
// are one name, and patterns with brackets match as T-SQL's.
TEST(Decorrelation, SameRowsAsTheCorrelatedStatementAndAsSqlServerOnRandomDatabases) {
    std::mt19937 rng(20261207);
    const char* names[] = {"",      "",      "",      "电脑",    "O'Neil 台式机", "%",    "_",       "ups_电源",
                           "电脑 ", "[[]x]", "[u]ps", "[^电]脑", "ups[_]",        "ｘ机", "[a-z]机", "电[脑"};
    const char* depts[] = {"", "01", "03", "0301"};
    int compared = 0;
    long long cardRows = 0;
    for (int round = 0; round < 150; ++round) {
        data::SqliteConnection c(data::EmbeddedSource{"", true, 1, 1});  // the schema; cards come next
        // Every third database as a file made elsewhere: no keys, no index, duplicates.
        const bool keyless = round % 3 == 2;
        if (keyless) dropKeys(c.handle());
        fillCards(c.handle(), rng);
        if (keyless) addDuplicates(c.handle());
        const data::CardIndexes indexes = data::readCardIndexes(c.handle());
        ASSERT_EQ(indexes.latestBySeek, !keyless);
        for (int q = 0; q < 3; ++q) {
            query::CMvLogin p;
            const std::string begYear = std::to_string(2024 + rng() % 3), endYear = "2026";
            query::fillDates(p, begYear, std::to_string(1 + rng() % 12), endYear, "12",
                             {2026, 5, 7});  // as of 2026-6-07
            p.strZcID = names[rng() % std::size(names)];
            p.gsCZLike = rng() % 2 ? "1" : "0";
            p.strDeptID = depts[rng() % std::size(depts)];
            p.strDeptName = p.strDeptID.empty() ? "" : "部门";
            const std::string sql = query::summarySql(p);
            const std::string fast = data::decorrelateSummary(sql);
            ASSERT_NE(fast, sql);
            const auto expected = rowsOf(c.handle(), data::withSqlServerComparisons(sql), true);
            ASSERT_EQ(rowsOf(c.handle(), data::withSqlServerComparisons(fast), true), expected)
                << "round " << round << "\n"
                << sql;
            // The planned form, with each way to the latest version the schema allows.
            for (const bool seek : {false, indexes.latestBySeek}) {
                const std::string planned = data::plannedSummary(data::withSqlServerComparisons(fast), {seek});
                ASSERT_NE(planned, data::withSqlServerComparisons(fast));
                ASSERT_EQ(rowsOf(c.handle(), planned, true), expected) << "round " << round << " seek " << seek << "\n"
                                                                       << planned;
            }
            if (getenv("FAQ_DUMP") && round == 5 && q == 0) {
                sqlite3_exec(c.handle(), "vacuum into '/tmp/round5.db'", nullptr, nullptr, nullptr);
                fprintf(stderr, "SQL %s\n", sql.c_str());
            }
            const auto oracle = oracleRows(c.handle(), p);
            ASSERT_EQ(rowsOf(c.handle(), data::embeddedStatement(sql, indexes), true), oracle)
                << "round " << round << ": " << p.strZcID << (p.gsCZLike == "1" ? " (like)" : "");
            // As the connection runs it: the latest versions sought for the first cards, then
            // marked for all.
            ASSERT_EQ(rowsOf(c.handle(), c.embeddedForm(sql), true), oracle) << "round " << round;
            compared += static_cast<int>(expected.size()) - 1;  // group rows besides the total
            // The cards behind each row, and behind the total row, add up to it: the
            // correlated and the embedded engine's form alike.
            for (const SummaryLine& line : summaryLines(c.handle(), data::withSqlServerComparisons(fast))) {
                std::optional<query::SummaryRow> row;
                if (line.name != "合计:") row = query::SummaryRow{line.date, line.dept, line.name};
                const std::string cards = query::cardListSql(p, row);
                ASSERT_NE(data::decorrelateSummary(cards), cards);
                for (const std::string& form : {data::withSqlServerComparisons(cards),
                                                data::embeddedStatement(cards, indexes), c.embeddedForm(cards)}) {
                    const SummaryLine got = cardTotals(c.handle(), form);
                    EXPECT_EQ(got.count, line.count) << "round " << round << " " << line.name.value_or("NULL");
                    ASSERT_EQ(got.value.has_value(), line.value.has_value()) << "round " << round;
                    if (got.value) {
                        EXPECT_NEAR(*got.value, *line.value, 0.005) << "round " << round;
                    }
                }
                cardRows += line.count;
            }
        }
    }
    EXPECT_GT(compared, 50);
    EXPECT_GT(cardRows, 30);
    // On the sample database, every row of a whole-period summary and of one department.
    data::SqliteConnection sample(data::EmbeddedSource{"", true, 400, 7});
    for (const char* dept : {"", "03"}) {
        query::CMvLogin p;
        query::fillDates(p, "2000", "1", "2026", "12", {2026, 12, 7});
        p.strDeptID = dept;
        p.strDeptName = *dept ? "生产部" : "";
        const data::CardIndexes indexes = data::readCardIndexes(sample.handle());
        const auto lines = summaryLines(sample.handle(), data::embeddedStatement(query::summarySql(p), indexes));
        ASSERT_GT(lines.size(), 40u);
        for (const SummaryLine& line : lines) {
            std::optional<query::SummaryRow> row;
            if (line.name != "合计:") row = query::SummaryRow{line.date, line.dept, line.name};
            const SummaryLine got =
                cardTotals(sample.handle(), data::embeddedStatement(query::cardListSql(p, row), indexes));
            EXPECT_EQ(got.count, line.count) << line.name.value_or("NULL");
            ASSERT_TRUE(got.value && line.value);
            EXPECT_NEAR(*got.value, *line.value, 0.005) << line.name.value_or("NULL");
        }
    }
    // A large sort runs its runs on helper threads, the collation called from each: the same
    // rows as sorted on the statement's thread alone.
    data::SqliteConnection big(data::EmbeddedSource{"", true, 20000, 11});
    query::CMvLogin whole;
    query::fillDates(whole, "1990", "1", "2026", "12", {2026, 12, 7});
    for (const std::string& sql : {query::summarySql(whole), query::cardListSql(whole, std::nullopt)}) {
        const std::string form = big.embeddedForm(sql);
        sqlite3_exec(big.handle(), "pragma threads = 0", nullptr, nullptr, nullptr);
        const auto alone = rowsOf(big.handle(), form, true);
        ASSERT_GT(alone.size(), 15000u);
        sqlite3_exec(big.handle(), "pragma threads = 3; pragma cache_size = 1", nullptr, nullptr, nullptr);
        ASSERT_EQ(rowsOf(big.handle(), "pragma threads"), std::vector<std::string>{"1:3\x1f"});
        EXPECT_EQ(rowsOf(big.handle(), form, true), alone);
    }
}

// Every level of the summary against the statement's rows added up here, independently:
// keys folded by the collation's own key, the date cut to its month or year, sums in long
// double. Rows, 小计 and 合计 to the cent, the departments in the collation's order with each
// 小计 after its own rows; and the cards behind every row of every level add up to it.
TEST(Decorrelation, EveryLevelOfTheSummaryAddsUpTheStatementsRowsOnRandomDatabases) {
    std::mt19937 rng(20261209);
    using query::Grouping;
    struct Expected {
        long double value = 0;
        bool any = false;
        long long count = 0;
    };
    const auto number = [](const data::Value& v) { return v.isNull() ? 0.0L : static_cast<long double>(v.toDouble()); };
    int rows = 0, cardLists = 0;
    for (int round = 0; round < 60; ++round) {
        data::SqliteConnection c(data::EmbeddedSource{"", true, 1, 1});
        fillCards(c.handle(), rng);
        query::CMvLogin p;
        query::fillDates(p, std::to_string(2024 + rng() % 2), "1", "2026", "12", {2026, 5, 7});
        const data::RecordsetPtr detailed = c.query(query::summarySql(p), 0);
        ASSERT_GT(detailed->recordCount(), 0u);
        const size_t last = detailed->recordCount() - 1;
        for (const query::GroupingName& level : query::groupings()) {
            for (const bool subtotals : {false, true}) {
                if (subtotals && !query::subtotalsApply(level.grouping)) continue;
                const query::SummaryView view = query::summaryView(detailed, level.grouping, subtotals);
                const data::Recordset& v = *view.rows;
                const bool byDate = level.grouping == Grouping::DateDeptName || level.grouping == Grouping::MonthDept ||
                                    level.grouping == Grouping::YearDept;
                const bool byDept = level.grouping != Grouping::Name;
                const bool byName = level.grouping == Grouping::DateDeptName || level.grouping == Grouping::DeptName ||
                                    level.grouping == Grouping::Name;
                const size_t cut = level.grouping == Grouping::MonthDept  ? 7
                                   : level.grouping == Grouping::YearDept ? 4
                                                                          : 10;
                const auto keyOf = [](const data::Value& t, size_t n) {
                    if (t.isNull()) return std::string("\x01null");
                    return data::sqlServerKey(std::string(t.text).substr(0, n));
                };
                // Re-aggregated from the statement's rows.
                std::map<std::string, Expected> groups, depts;
                for (size_t r = 0; r < last; ++r) {
                    std::string key;
                    if (byDate) key += keyOf(detailed->value(r, 0), cut) + "\x02";
                    if (byDept) key += keyOf(detailed->value(r, 1), 1000) + "\x02";
                    if (byName) key += keyOf(detailed->value(r, 2), 1000) + "\x02";
                    for (Expected* e : {&groups[key], &depts[keyOf(detailed->value(r, 1), 1000)]}) {
                        const data::Value value = detailed->value(r, 3);
                        e->value += number(value);
                        e->any = e->any || !value.isNull();
                        e->count += detailed->value(r, 4).i;
                    }
                }
                // The view's rows, as keys in its own column order.
                const int dateCol = v.fieldIndex(level.grouping == Grouping::MonthDept  ? "开始使用月份"
                                                 : level.grouping == Grouping::YearDept ? "开始使用年份"
                                                                                        : "开始使用日期");
                const int deptCol = v.fieldIndex("使用部门"), nameCol = v.fieldIndex("固定资产名称");
                const int valueCol = v.fieldIndex("原值"), countCol = v.fieldIndex("数量");
                ASSERT_EQ(v.fieldCount(), size_t(byDate + byDept + byName + 2)) << level.option;
                ASSERT_EQ(view.kinds.size(), v.recordCount());
                ASSERT_EQ(view.kinds.back(), query::RowKind::Total);
                if (subtotals) {
                    ASSERT_EQ(deptCol, 0);  // the department first
                }
                size_t details = 0, subtotalRows = 0;
                std::optional<std::string> previousDept;
                Expected running;
                for (size_t r = 0; r < v.recordCount(); ++r) {
                    const data::Value value = v.value(r, static_cast<size_t>(valueCol));
                    const long long count = v.value(r, static_cast<size_t>(countCol)).i;
                    const std::string where = std::string(level.option) + (subtotals ? " 小计" : "") + " round " +
                                              std::to_string(round) + " row " + std::to_string(r);
                    if (view.kinds[r] == query::RowKind::Total) {
                        EXPECT_EQ(r + 1, v.recordCount());
                        EXPECT_EQ(value.toString(), detailed->value(last, 3).toString()) << where;
                        EXPECT_EQ(count, detailed->value(last, 4).i) << where;
                        continue;
                    }
                    const std::string dept = byDept ? keyOf(v.value(r, static_cast<size_t>(deptCol)), 1000) : "";
                    if (view.kinds[r] == query::RowKind::Subtotal) {
                        ++subtotalRows;
                        ASSERT_TRUE(previousDept && *previousDept == dept) << where;  // after its own rows
                        const Expected& e = depts[dept];
                        EXPECT_NEAR(static_cast<double>(number(value)), static_cast<double>(e.value), 0.005) << where;
                        EXPECT_EQ(count, e.count) << where;
                        EXPECT_NEAR(static_cast<double>(running.value), static_cast<double>(e.value), 0.005) << where;
                        running = {};
                        continue;
                    }
                    if (byDept && previousDept && *previousDept != dept) {
                        // A new department: in the collation's order, NULL first, never seen again.
                        const data::Value now = v.value(r, static_cast<size_t>(deptCol)),
                                          before = v.value(r - 1, static_cast<size_t>(deptCol));
                        if (subtotals || level.grouping == Grouping::Dept || level.grouping == Grouping::DeptName) {
                            ASSERT_FALSE(now.isNull()) << where;
                            if (!before.isNull()) {
                                EXPECT_GT(data::compareSqlServer(now.text, before.text), 0) << where;
                            }
                        }
                        if (subtotals) {
                            EXPECT_EQ(view.kinds[r - 1], query::RowKind::Subtotal) << where;
                        }
                    }
                    previousDept = dept;
                    std::string key;
                    if (byDate) key += keyOf(v.value(r, static_cast<size_t>(dateCol)), cut) + "\x02";
                    if (byDept) key += dept + "\x02";
                    if (byName) key += keyOf(v.value(r, static_cast<size_t>(nameCol)), 1000) + "\x02";
                    const auto found = groups.find(key);
                    ASSERT_NE(found, groups.end()) << where;
                    EXPECT_EQ(value.isNull(), !found->second.any) << where;
                    EXPECT_NEAR(static_cast<double>(number(value)), static_cast<double>(found->second.value), 0.005)
                        << where;
                    EXPECT_EQ(count, found->second.count) << where;
                    running.value += number(value);
                    groups.erase(found);  // each group once
                    ++details;
                }
                EXPECT_TRUE(groups.empty()) << level.option << " round " << round;
                if (subtotals) {
                    EXPECT_EQ(subtotalRows, depts.size()) << level.option;
                }
                rows += static_cast<int>(details);
                // 明细 of every row (the level's own keys, a month or a year as a range of
                // dates) adds up to it.
                for (size_t r = 0; r < v.recordCount(); ++r) {
                    const SummaryLine got =
                        cardTotals(c.handle(), c.embeddedForm(query::cardListSql(p, view.cardsOf(r))));
                    const data::Value value = v.value(r, static_cast<size_t>(valueCol));
                    const std::string where =
                        std::string(level.option) + " round " + std::to_string(round) + " row " + std::to_string(r);
                    EXPECT_EQ(got.count, v.value(r, static_cast<size_t>(countCol)).i) << where;
                    ASSERT_EQ(got.value.has_value(), !value.isNull()) << where;
                    if (got.value) {
                        EXPECT_NEAR(*got.value, value.toDouble(), 0.005) << where;
                    }
                    ++cardLists;
                }
            }
        }
    }
    EXPECT_GT(rows, 500);
    EXPECT_GT(cardLists, 1000);
    // Stopped when asked, as a cancel.
    data::SqliteConnection sample(data::EmbeddedSource{"", true, 400, 7});
    query::CMvLogin whole;
    query::fillDates(whole, "1990", "1", "2026", "12", {2026, 12, 7});
    const std::atomic<bool> stop{true};
    try {
        query::summaryView(sample.query(query::summarySql(whole), 0), Grouping::Dept, false, &stop);
        ADD_FAILURE() << "not stopped";
    } catch (const data::DbError& e) {
        EXPECT_EQ(e.failure(), data::Failure::Cancelled);
    }
}

TEST(Decorrelation, AnyOtherTextStaysAsItIs) {
    query::CMvLogin p;
    query::fillDates(p, "2026", "1", "2026", "12", {2026, 12, 7});
    const std::string sql = query::summarySql(p);
    const std::string fast = data::decorrelateSummary(sql);
    EXPECT_EQ(fast.find("Max(fc.sCardID) As sCardID"), std::string::npos);
    // One half changed, a clipped statement, the lookups: untouched.
    std::string oneHalf = sql;
    oneHalf.replace(oneHalf.rfind("GROUP BY fc.sCardNum"), 20, "GROUP BY fc.sCardID ");
    for (const std::string& other :
         {oneHalf, sql.substr(0, sql.find(" union  ALL")), query::assetNameListSql("电"), query::departmentListSql()})
        EXPECT_EQ(data::decorrelateSummary(other), other);
    // Planned only when both halves select the same cards.
    std::string otherTotal = fast;
    otherTotal.replace(otherTotal.rfind("2026-12-31"), 10, "2026-11-30");
    for (const std::string& other : {otherTotal, sql, query::assetNameListSql("电")})
        EXPECT_EQ(data::plannedSummary(other, {true}), other);
    // The subquery's text inside a name is a name, not a subquery.
    const size_t head = sql.find("   where  fa_Cards.sCardID IN (");
    p.strZcID = sql.substr(head, sql.find(" GROUP BY fc.sCardNum ) ") + 24 - head);
    const std::string named = query::summarySql(p);
    const std::string rewritten = data::decorrelateSummary(named);
    EXPECT_NE(rewritten, named);
    EXPECT_NE(rewritten.find(query::sqlLiteral(p.strZcID)), std::string::npos);
    const std::string planned = data::plannedSummary(data::withSqlServerComparisons(rewritten), {true});
    EXPECT_NE(planned, data::withSqlServerComparisons(rewritten));
    EXPECT_NE(planned.find(query::sqlLiteral(p.strZcID)), std::string::npos);
}

}  // namespace
