#include "embedded_sql.h"

#include <sqlite3.h>

#include <initializer_list>
#include <string_view>
#include <vector>

#include "sql_collation.h"

namespace {

// The latest-card subquery as the program writes it, around its date condition.
constexpr std::string_view kSubqueryHead =
    "   where  fa_Cards.sCardID IN (   SELECT    Max(fc.sCardID) As sCardID  From    fa_Cards fc Where ";
constexpr std::string_view kSubqueryTail = " GROUP BY fc.sCardNum ) ";
// Its parts that compare texts, and the same under the collation.
constexpr std::string_view kCorrelatedIn = "   where  fa_Cards.sCardID IN (",
                           kCorrelatedInCi = "   where  fa_Cards.sCardID COLLATE chinese_prc_ci_as IN (";
constexpr std::string_view kCorrelatedMax = "Max(fc.sCardID) As sCardID",
                           kCorrelatedMaxCi = "Max(fc.sCardID COLLATE chinese_prc_ci_as) As sCardID";
constexpr std::string_view kSubqueryTailCi = " GROUP BY fc.sCardNum COLLATE chinese_prc_ci_as ) ";
// The date condition: texts between its three literals.
constexpr std::string_view kCondition[] = {"(((fa_Cards.dInputDate)<= '", "') AND ((fa_Cards.dTransDate)<='",
                                           "' Or (fa_Cards.dTransDate) Is Null) AND ((fa_Cards.dDisposeDate)<='",
                                           "' Or (fa_Cards.dDisposeDate) Is Null))"};
// The head of the card list, which has the subquery once and no union.
constexpr std::string_view kCardListHead = "      Select  fa_Cards.sCardNum as [卡片编号],";
// Every text the engine's forms compare, compared as the server does (Chinese_PRC_CI_AS):
// codes and card numbers without case or trailing blanks too.
#define FAQ_CI " COLLATE chinese_prc_ci_as"
constexpr std::string_view kUncorrelated = " AND fa_Cards.sCardID" FAQ_CI " IN (SELECT Max(fc.sCardID" FAQ_CI
                                           ") FROM fa_Cards fc GROUP BY fc.sCardNum" FAQ_CI ") ";

// The joins of both statements as the program writes them...
constexpr std::string_view kProgramFrom =
    "  FROM   (fa_Origins AS fa_Origins_2 RIGHT JOIN ("
    "                                 fa_Origins AS fa_Origins_1 RIGHT JOIN ("
    "                                 (((((((fa_Cards LEFT JOIN fa_DeprTransactions ON fa_Cards.sCardNum = "
    "fa_DeprTransactions.sCardNum)"
    "                                   LEFT JOIN fa_WorkLoad ON fa_Cards.sCardNum = fa_WorkLoad.sCardNum))"
    "                                    LEFT JOIN fa_AssetTypes ON fa_Cards.sTypeNum = fa_AssetTypes.sNum)"
    "                                    LEFT JOIN fa_Status ON fa_Cards.sStatusID = fa_Status.sID)"
    "                                    LEFT JOIN fa_Depreciations ON fa_Cards.sDeprMethodID = fa_Depreciations.sID)"
    "                                    LEFT JOIN fa_ItemsManual ON fa_Cards.sCardNum = fa_ItemsManual.sCardNum)"
    "                                    LEFT JOIN fa_Origins ON fa_Cards.sOrgID = fa_Origins.sID) ON "
    "fa_Origins_1.sAddID = fa_Cards.sOrgAddID)"
    "                                    ON fa_Origins_2.sDecID = fa_Cards.sOrgDisposeID)"
    "                                    LEFT JOIN fa_Vouchers ON fa_Cards.sVoucherNum = fa_Vouchers.sNum"
    "                                    INNER join fa_DeptScale on (fa_Cards.sCardNum = fa_DeptScale.sCardNum"
    "                                    AND fa_cards.lOptID = fa_DeptScale.lOptID)"
    "                                   INNER JOIN fa_Departments ON fa_DeptScale.sDeptNum = fa_Departments.sNum";
// ...and the same joins from the cards outwards: "A RIGHT JOIN (B) ON c" is "B LEFT JOIN A ON
// c", and each ON names fa_Cards and the table it joins only, so the chain needs no brackets.
constexpr std::string_view kPlannedFrom =
    "  FROM fa_Cards"
    " LEFT JOIN fa_DeprTransactions ON fa_Cards.sCardNum = fa_DeprTransactions.sCardNum"
    " LEFT JOIN fa_WorkLoad ON fa_Cards.sCardNum = fa_WorkLoad.sCardNum"
    " LEFT JOIN fa_AssetTypes ON fa_Cards.sTypeNum = fa_AssetTypes.sNum"
    " LEFT JOIN fa_Status ON fa_Cards.sStatusID = fa_Status.sID"
    " LEFT JOIN fa_Depreciations ON fa_Cards.sDeprMethodID = fa_Depreciations.sID"
    " LEFT JOIN fa_ItemsManual ON fa_Cards.sCardNum = fa_ItemsManual.sCardNum"
    " LEFT JOIN fa_Origins ON fa_Cards.sOrgID = fa_Origins.sID"
    " LEFT JOIN fa_Origins AS fa_Origins_1 ON fa_Origins_1.sAddID = fa_Cards.sOrgAddID"
    " LEFT JOIN fa_Origins AS fa_Origins_2 ON fa_Origins_2.sDecID = fa_Cards.sOrgDisposeID"
    " LEFT JOIN fa_Vouchers ON fa_Cards.sVoucherNum = fa_Vouchers.sNum"
    " INNER join fa_DeptScale on (fa_Cards.sCardNum = fa_DeptScale.sCardNum AND fa_cards.lOptID = fa_DeptScale.lOptID)"
    " INNER JOIN fa_Departments ON fa_DeptScale.sDeptNum = fa_Departments.sNum";
// A card's latest version by one seek. With sCardID unique, "id is the greatest of its own
// card number" is "id is the greatest of some card number"; IS groups NULL numbers as GROUP
// BY does, and a NULL id passes neither test.
constexpr std::string_view kLatestBySeek = " AND fa_Cards.sCardID" FAQ_CI " = (SELECT Max(fc.sCardID" FAQ_CI
                                           ") FROM fa_Cards fc WHERE fc.sCardNum" FAQ_CI " IS fa_Cards.sCardNum) ";
// Where the card list's criteria end.
constexpr std::string_view kCardListOrder = " Order By ";
// The same test answered by the connection (CardIndexes).
constexpr std::string_view kLatestMarked = " AND faq_latest(fa_Cards.rowid, fa_Cards.sCardNum, fa_Cards.sCardID) ";
// The joins' comparisons of texts, as both FROMs write them.
constexpr std::string_view kJoinEqualities[] = {"fa_Cards.sCardNum = fa_DeprTransactions.sCardNum",
                                                "fa_Cards.sCardNum = fa_WorkLoad.sCardNum",
                                                "fa_Cards.sTypeNum = fa_AssetTypes.sNum",
                                                "fa_Cards.sStatusID = fa_Status.sID",
                                                "fa_Cards.sDeprMethodID = fa_Depreciations.sID",
                                                "fa_Cards.sCardNum = fa_ItemsManual.sCardNum",
                                                "fa_Cards.sOrgID = fa_Origins.sID",
                                                "fa_Origins_1.sAddID = fa_Cards.sOrgAddID",
                                                "fa_Origins_2.sDecID = fa_Cards.sOrgDisposeID",
                                                "fa_Cards.sVoucherNum = fa_Vouchers.sNum",
                                                "fa_Cards.sCardNum = fa_DeptScale.sCardNum",
                                                "fa_DeptScale.sDeptNum = fa_Departments.sNum"};

// from with each of its joins' comparisons of texts under the collation.
std::string collatedJoins(std::string_view from) {
    std::string out(from);
    for (const std::string_view eq : kJoinEqualities) {
        const size_t at = out.find(eq);
        if (at != std::string::npos) out.insert(at + eq.size(), FAQ_CI);
    }
    return out;
}
const std::string& programFromCi();
const std::string& plannedFromCi();
const std::string& programFromCi() {
    static const std::string from = collatedJoins(kProgramFrom);
    return from;
}
const std::string& plannedFromCi() {
    static const std::string from = collatedJoins(kPlannedFrom);
    return from;
}

// Where the summary's criteria end and its grouping begins.
constexpr std::string_view kGroupBy = "  Group By convert(varchar(10),fa_Cards.dStartdate,102), ";
constexpr std::string_view kSummaryHead = "      Select distinct ";

// The end of the T-SQL string literal whose opening quote stands before pos (quotes are
// doubled inside), or npos.
size_t literalEnd(std::string_view s, size_t pos) {
    for (; pos < s.size(); ++pos) {
        if (s[pos] != '\'') continue;
        if (pos + 1 < s.size() && s[pos + 1] == '\'')
            ++pos;
        else
            return pos;
    }
    return std::string_view::npos;
}

// Length of the date condition starting at pos, or 0 when the text there is not it.
size_t conditionAt(std::string_view s, size_t pos) {
    const size_t start = pos;
    for (size_t part = 0; part < std::size(kCondition); ++part) {
        if (s.substr(pos, kCondition[part].size()) != kCondition[part]) return 0;
        pos += kCondition[part].size();
        if (part + 1 == std::size(kCondition)) break;
        pos = literalEnd(s, pos);
        if (pos == std::string_view::npos) return 0;
    }
    return pos - start;
}

// Where each occurrence of what stands outside string literals in s; empty when s holds an
// unclosed literal.
std::vector<size_t> findOutsideLiterals(std::string_view s, std::string_view what) {
    std::vector<size_t> at;
    for (size_t pos = 0; pos < s.size(); ++pos) {
        if (s[pos] == '\'') {
            pos = literalEnd(s, pos + 1);
            if (pos == std::string_view::npos) return {};
            continue;
        }
        if (s.substr(pos, what.size()) == what) at.push_back(pos);
    }
    return at;
}

}  // namespace

namespace faq::data {

std::string decorrelateSummary(const std::string& sql) {
    const std::string_view s(sql);
    std::string out;
    size_t copied = 0, found = 0, unionAt = s.find(" union  ALL Select  ");
    // Only outside string literals: a criterion may hold any text.
    for (const size_t pos : findOutsideLiterals(s, kSubqueryHead)) {
        const size_t cond = pos + kSubqueryHead.size();
        const size_t condLen = conditionAt(s, cond);
        if (condLen == 0 || s.substr(cond + condLen, kSubqueryTail.size()) != kSubqueryTail) return sql;
        // One subquery before the union and one after it, nothing else.
        if (++found > 2 || (found == 1) != (pos < unionAt)) return sql;
        out.append(s.substr(copied, pos - copied));
        out.append("   where  (");
        out.append(s.substr(cond, condLen));
        out.append(")");
        out.append(kUncorrelated);
        copied = cond + condLen + kSubqueryTail.size();
    }
    const bool summary = found == 2 && unionAt != std::string_view::npos && s.starts_with(kSummaryHead);
    const bool cards = found == 1 && unionAt == std::string_view::npos && s.starts_with(kCardListHead);
    if (!summary && !cards) return sql;
    out.append(s.substr(copied));
    return out;
}

namespace {

// The text between literals: pos is outside one; returns where the next literal begins
// (its quote), or the end.
size_t nextLiteral(std::string_view s, size_t pos) {
    const size_t q = s.find('\'', pos);
    return q == std::string_view::npos ? s.size() : q;
}

// sql with each of the fragments replaced wherever it stands outside string literals.
std::string replaceOutsideLiterals(std::string_view s,
                                   std::initializer_list<std::pair<std::string_view, std::string_view>> fragments) {
    std::string out;
    out.reserve(s.size() + 256);
    for (size_t pos = 0; pos < s.size();) {
        const size_t end = nextLiteral(s, pos);
        for (size_t at = pos; at < end;) {
            bool replaced = false;
            for (const auto& [from, to] : fragments)
                if (s.substr(at, from.size()) == from && at + from.size() <= end) {
                    out.append(to);
                    at += from.size();
                    replaced = true;
                    break;
                }
            if (!replaced) out.push_back(s[at++]);
        }
        if (end == s.size()) break;
        const size_t close = literalEnd(s, end + 1);
        if (close == std::string_view::npos) return std::string(s);  // not the program's text
        out.append(s.substr(end, close + 1 - end));
        pos = close + 1;
    }
    return out;
}

// The asset names' list as withSqlServerComparisons writes it: head, the program's filter, tail.
constexpr std::string_view kNamesHead =
    " SELECT min(sAssetName) as sAssetName FROM (SELECT DISTINCT sAssetName COLLATE BINARY AS sAssetName"
    " FROM fa_Cards";
constexpr std::string_view kNamesTail = ") fa_Cards GROUP BY sAssetName" FAQ_CI;

}  // namespace

std::string namesBySeek(const std::string& withComparisons) {
    const std::string_view s(withComparisons);
    if (!s.starts_with(kNamesHead) || !s.ends_with(kNamesTail)) return withComparisons;
    const std::string filter(s.substr(kNamesHead.size(), s.size() - kNamesHead.size() - kNamesTail.size()));
    const std::string seeks = std::to_string(kNameSeeks);
    // Each step the least name beyond the last (NULL when none is left); the ordered pass
    // takes what lies beyond the last step, and a NULL name is one more line.
    return "WITH RECURSIVE faq_names(sAssetName, k) AS (SELECT min(sAssetName), 1 FROM fa_Cards"
           " UNION ALL SELECT (SELECT min(sAssetName) FROM fa_Cards WHERE sAssetName > faq_names.sAssetName), k + 1"
           " FROM faq_names WHERE sAssetName IS NOT NULL AND k < " +
           seeks +
           ")"
           " SELECT min(sAssetName) as sAssetName FROM (SELECT sAssetName FROM faq_names WHERE sAssetName IS NOT NULL"
           " UNION ALL SELECT DISTINCT sAssetName FROM fa_Cards WHERE sAssetName >"
           " (SELECT sAssetName FROM faq_names WHERE k = " +
           seeks +
           ")"
           " UNION ALL SELECT NULL WHERE EXISTS (SELECT 1 FROM fa_Cards WHERE sAssetName IS NULL)) fa_Cards" +
           filter + " GROUP BY sAssetName" FAQ_CI;
}

std::string withSqlServerComparisons(const std::string& sql) {
    const std::string_view s(sql);
    if (s.starts_with("      Select distinct ") && s.find(" union  ALL Select  ") != std::string_view::npos)
        return replaceOutsideLiterals(
            s, {{"    fa_Cards.sDeptNames ,", "    fa_Cards.sDeptNames" FAQ_CI " ,"},
                {"  fa_Cards.sAssetName  union  ALL", "  fa_Cards.sAssetName" FAQ_CI "  union  ALL"},
                {" AND fa_Cards.sAssetName = ", " AND fa_Cards.sAssetName" FAQ_CI " = "},
                {kProgramFrom, programFromCi()},
                {kCorrelatedIn, kCorrelatedInCi},
                {kCorrelatedMax, kCorrelatedMaxCi},
                {kSubqueryTail, kSubqueryTailCi}});
    if (s.starts_with(kCardListHead) && s.find(" union  ALL Select  ") == std::string_view::npos)
        return replaceOutsideLiterals(s, {{" AND fa_Cards.sAssetName = ", " AND fa_Cards.sAssetName" FAQ_CI " = "},
                                          {" AND fa_Cards.sDeptNames = ", " AND fa_Cards.sDeptNames" FAQ_CI " = "},
                                          {kProgramFrom, programFromCi()},
                                          {kCorrelatedIn, kCorrelatedInCi},
                                          {kCorrelatedMax, kCorrelatedMaxCi},
                                          {kSubqueryTail, kSubqueryTailCi}});
    // The departments: one line for each code and name the server finds distinct.
    if (s == " SELECT distinct cDepCode as cDepCode ,cDepName as cDepName  FROM department order by cDepCode")
        return " SELECT min(cDepCode) as cDepCode, min(cDepName) as cDepName FROM department"
               " GROUP BY cDepCode" FAQ_CI ", cDepName" FAQ_CI " ORDER BY 1" FAQ_CI;
    constexpr std::string_view kNames = " SELECT distinct  sAssetName FROM fa_Cards";
    if (s.starts_with(kNames) && (s.size() == kNames.size() || s.substr(kNames.size()).starts_with(" where ")))
        // Each spelling once first (bytewise, a look-up for each card), then the spellings
        // grouped: sorting every card's name under the collation takes five times as long.
        return std::string(kNamesHead) + std::string(s.substr(kNames.size())) + std::string(kNamesTail);
    return sql;
}

namespace {

// One FROM of the decorrelated text: the joins, then "   where  (" condition ")" and the
// uncorrelated latest-card test.
struct FromWhere {
    size_t end = 0;  // where the test ends
    std::string_view condition;
};

bool fromWhereAt(std::string_view s, size_t pos, FromWhere* out) {
    constexpr std::string_view kWhere = "   where  (";
    size_t at = pos + programFromCi().size();
    if (s.substr(at, kWhere.size()) != kWhere) return false;
    at += kWhere.size();
    const size_t condLen = conditionAt(s, at);
    if (condLen == 0 || s.substr(at + condLen, 1) != ")" ||
        s.substr(at + condLen + 1, kUncorrelated.size()) != kUncorrelated)
        return false;
    *out = {at + condLen + 1 + kUncorrelated.size(), s.substr(at, condLen)};
    return true;
}

}  // namespace

std::string plannedSummary(const std::string& decorrelated, const CardIndexes& indexes) {
    const std::string_view s(decorrelated);
    const std::vector<size_t> froms = findOutsideLiterals(s, programFromCi());
    const bool summary = froms.size() == 2 && s.starts_with(kSummaryHead);
    const bool cards = froms.size() == 1 && s.starts_with(kCardListHead);
    if (!summary && !cards) return decorrelated;
    FromWhere parts[2];
    for (size_t i = 0; i < froms.size(); ++i)
        if (!fromWhereAt(s, froms[i], &parts[i])) return decorrelated;
    // The connection's own test comes last, after the criteria, so that it is asked only for
    // the cards they keep; the subqueries stand where the program's text has its test.
    const std::string_view latest =
        indexes.latestMarked ? std::string_view() : (indexes.latestBySeek ? kLatestBySeek : kUncorrelated);
    const std::string_view lastTest = indexes.latestMarked ? kLatestMarked : std::string_view();
    const auto fromAndWhere = [&](const FromWhere& p) {
        std::string out(plannedFromCi());
        out.append("   where  (").append(p.condition).append(")").append(latest);
        return out;
    };
    if (cards) {
        const std::string_view rest = s.substr(parts[0].end);
        const std::vector<size_t> order = findOutsideLiterals(rest, kCardListOrder);
        const size_t criteriaEnd = order.size() == 1 ? order[0] : rest.size();
        return std::string(s.substr(0, froms[0])) + fromAndWhere(parts[0]) + std::string(rest.substr(0, criteriaEnd)) +
               std::string(lastTest) + std::string(rest.substr(criteriaEnd));
    }

    // The summary: its criteria end where its grouping begins, and the total's are the same.
    const std::string_view afterFirst = s.substr(parts[0].end, froms[1] - parts[0].end);
    const std::vector<size_t> groupBy = findOutsideLiterals(afterFirst, kGroupBy);
    if (groupBy.size() != 1) return decorrelated;
    const std::string_view criteria = afterFirst.substr(0, groupBy[0]);
    if (s.substr(parts[1].end) != criteria || parts[0].condition != parts[1].condition) return decorrelated;
    std::string out =
        "WITH faq_cards AS MATERIALIZED (SELECT fa_Cards.dStartdate AS dStartdate, fa_Cards.sDeptNames AS sDeptNames,"
        " fa_Cards.sAssetName AS sAssetName, fa_Cards.dblValue AS dblValue, fa_Cards.sOrgID AS sOrgID";
    out.append(fromAndWhere(parts[0])).append(criteria).append(lastTest).append(")");
    out.append("      Select ").append(s.substr(kSummaryHead.size(), froms[0] - kSummaryHead.size()));
    out.append("  FROM faq_cards AS fa_Cards").append(afterFirst.substr(groupBy[0]));
    out.append("  FROM faq_cards AS fa_Cards");
    return out;
}

std::string embeddedStatement(const std::string& sql, const CardIndexes& indexes) {
    const std::string planned = plannedSummary(withSqlServerComparisons(decorrelateSummary(sql)), indexes);
    return indexes.namesInOrder ? namesBySeek(planned) : planned;
}

namespace {

bool sameName(const char* a, const char* b) {
    return a && b && sqlite3_stricmp(a, b) == 0;
}

}  // namespace

CardIndexes readCardIndexes(sqlite3* db) {
    // The forms compare card numbers and ids under the collation: an index serves them only
    // under it too.
    const auto column = [db](const char* name, const char** collation) {
        return sqlite3_table_column_metadata(db, "main", "fa_Cards", name, nullptr, collation, nullptr, nullptr,
                                             nullptr) == SQLITE_OK;
    };
    const char* nameCollation = nullptr;
    const bool cards = column("sCardNum", nullptr) && column("sCardID", nullptr);
    const bool names = column("sAssetName", &nameCollation) && sameName(nameCollation, "BINARY");
    if (!cards && !names) return {};
    const std::string num = kSqlServerCollation, id = kSqlServerCollation;
    struct Index {
        std::string name;
        bool unique;
    };
    std::vector<Index> indexes;
    sqlite3_stmt* list = nullptr;
    if (sqlite3_prepare_v2(db, "select name, \"unique\", partial from pragma_index_list('fa_Cards', 'main')", -1, &list,
                           nullptr) == SQLITE_OK)
        while (sqlite3_step(list) == SQLITE_ROW)
            if (sqlite3_column_int(list, 2) == 0)  // a partial index holds only some rows
                indexes.push_back(
                    {reinterpret_cast<const char*>(sqlite3_column_text(list, 0)), sqlite3_column_int(list, 1) != 0});
    sqlite3_finalize(list);
    bool seek = false, uniqueId = false, namesInOrder = false;
    for (const Index& index : indexes) {
        sqlite3_stmt* info = nullptr;
        if (sqlite3_prepare_v2(db, "select name, coll from pragma_index_xinfo(?, 'main') where key order by seqno", -1,
                               &info, nullptr) != SQLITE_OK) {
            sqlite3_finalize(info);
            continue;
        }
        sqlite3_bind_text(info, 1, index.name.c_str(), -1, SQLITE_TRANSIENT);
        std::vector<std::pair<std::string, std::string>> keys;  // column (empty: an expression), collation
        while (sqlite3_step(info) == SQLITE_ROW) {
            const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(info, 0));
            const auto* coll = reinterpret_cast<const char*>(sqlite3_column_text(info, 1));
            keys.emplace_back(name ? name : "", coll ? coll : "");
        }
        sqlite3_finalize(info);
        if (!keys.empty() && sameName(keys[0].first.c_str(), "sCardNum") &&
            sameName(keys[0].second.c_str(), num.c_str()))
            seek = true;
        if (index.unique && keys.size() == 1 && sameName(keys[0].first.c_str(), "sCardID") &&
            sameName(keys[0].second.c_str(), id.c_str()))
            uniqueId = true;
        if (!keys.empty() && sameName(keys[0].first.c_str(), "sAssetName") &&
            sameName(keys[0].second.c_str(), "BINARY"))
            namesInOrder = true;
    }
    return {cards && seek && uniqueId, false, names && namesInOrder};
}

}  // namespace faq::data
