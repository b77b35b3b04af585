#include "sql_text.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace faq::query {

namespace {

// Head of the grouped SELECT
constexpr std::string_view A1 = " Select distinct ";
constexpr std::string_view A2 = "      convert(varchar(10),fa_Cards.dStartdate,102)  as [开始使用日期] ,";
constexpr std::string_view A3 = "       (fa_Cards.sDeptNames) as [使用部门] ,";
constexpr std::string_view A4 = "      (fa_Cards.sAssetName) as [固定资产名称],";
constexpr std::string_view A5 = "      sum(fa_Cards.dblValue) as [原值],";
constexpr std::string_view A6 = "      count( (fa_Cards.sOrgID)) as [数量] ";

// FROM block, used twice
constexpr std::string_view B1 = "  FROM   (fa_Origins AS fa_Origins_2 RIGHT JOIN (";
constexpr std::string_view B2 = "                                 fa_Origins AS fa_Origins_1 RIGHT JOIN (";
constexpr std::string_view B3 =
    "                                 (((((((fa_Cards LEFT JOIN fa_DeprTransactions ON fa_Cards.sCardNum = "
    "fa_DeprTransactions.sCardNum)";
constexpr std::string_view B4 =
    "                                   LEFT JOIN fa_WorkLoad ON fa_Cards.sCardNum = fa_WorkLoad.sCardNum))";
constexpr std::string_view B5 =
    "                                    LEFT JOIN fa_AssetTypes ON fa_Cards.sTypeNum = fa_AssetTypes.sNum)";
constexpr std::string_view B6 =
    "                                    LEFT JOIN fa_Status ON fa_Cards.sStatusID = fa_Status.sID)";
constexpr std::string_view B7 =
    "                                    LEFT JOIN fa_Depreciations ON fa_Cards.sDeprMethodID = fa_Depreciations.sID)";
constexpr std::string_view B8 =
    "                                    LEFT JOIN fa_ItemsManual ON fa_Cards.sCardNum = fa_ItemsManual.sCardNum)";
constexpr std::string_view B9 =
    "                                    LEFT JOIN fa_Origins ON fa_Cards.sOrgID = fa_Origins.sID) ON "
    "fa_Origins_1.sAddID = fa_Cards.sOrgAddID)";
constexpr std::string_view B10 = "                                    ON fa_Origins_2.sDecID = fa_Cards.sOrgDisposeID)";
constexpr std::string_view B11 =
    "                                    LEFT JOIN fa_Vouchers ON fa_Cards.sVoucherNum = fa_Vouchers.sNum";
constexpr std::string_view B12 =
    "                                    INNER join fa_DeptScale on (fa_Cards.sCardNum = fa_DeptScale.sCardNum";
constexpr std::string_view B13 = "                                    AND fa_cards.lOptID = fa_DeptScale.lOptID)";
constexpr std::string_view B14 =
    "                                   INNER JOIN fa_Departments ON fa_DeptScale.sDeptNum = fa_Departments.sNum";

// WHERE block (latest-card subquery), used twice
constexpr std::string_view C1 = "   where  fa_Cards.sCardID IN (  ";
constexpr std::string_view C2 = " SELECT ";
constexpr std::string_view C3 = "   Max(fc.sCardID) As sCardID ";
constexpr std::string_view C4 = " From ";
constexpr std::string_view C5 = "   fa_Cards fc";
constexpr std::string_view C6a = " Where (((fa_Cards.dInputDate)<= '", C6b = "')";
constexpr std::string_view C7a = " AND ((fa_Cards.dTransDate)<='", C7b = "'",
                           C7c = " Or (fa_Cards.dTransDate) Is Null)";
constexpr std::string_view C8a = " AND ((fa_Cards.dDisposeDate)<='", C8b = "'",
                           C8c = " Or (fa_Cards.dDisposeDate) Is Null))";
constexpr std::string_view C9 = " GROUP BY fc.sCardNum ) ";
constexpr std::string_view C10 = "  and  (fa_Cards.dDisposeDate is null ) ";

// Criteria, used twice
constexpr std::string_view D1a = " and  dStartdate >= '", D1b = "'";
constexpr std::string_view D2a = "   AND dStartdate <='", D2b = "'";
constexpr std::string_view D3a_a = " AND fa_Cards.sAssetName like  '%", D3a_b = "%'";
constexpr std::string_view D3b_a = " AND fa_Cards.sAssetName = '", D3b_b = "'";
constexpr std::string_view D4a = " AND (fa_DeptScale.sDeptNum) Like  '", D4b = "%'";

// GROUP BY of the grouped SELECT
constexpr std::string_view E1 = "  Group By convert(varchar(10),fa_Cards.dStartdate,102), ";
constexpr std::string_view E2 = "    fa_Cards.sDeptNames ,";
constexpr std::string_view E3 = "  fa_Cards.sAssetName ";

// Union and head of the total SELECT
constexpr std::string_view F1 = " union  ALL";
constexpr std::string_view F2 = " Select  ";
constexpr std::string_view F3 = "      ''  as [开始使用日期] ,";
constexpr std::string_view F4 = "       '' as [使用部门] ,";
constexpr std::string_view F5 = "     '合计:' as [固定资产名称],";
constexpr std::string_view F6 = "      sum( fa_Cards.dblValue) as [原值],";
constexpr std::string_view F7 = "      count( (fa_Cards.sOrgID)) as [数量] ";

// The card list: the cards behind the summary, under the same FROM, WHERE and criteria
constexpr std::string_view K1 = "      Select  fa_Cards.sCardNum as [卡片编号],";
constexpr std::string_view K2 = "      fa_Cards.sAssetNum as [资产编号],";
constexpr std::string_view K3 = "      fa_Cards.sAssetName as [固定资产名称],";
constexpr std::string_view K4 = "      fa_Cards.sDeptNames as [使用部门],";
constexpr std::string_view K5 = "      convert(varchar(10),fa_Cards.dStartdate,102) as [开始使用日期],";
constexpr std::string_view K6 = "      fa_Cards.dblValue as [原值],";
// The summary's 数量 counts the cards with an origin: shown, so that the list adds up to it
constexpr std::string_view K6b = "      fa_Cards.sOrgID as [增加方式] ";
// One summary row: its three group values, equal as the grouping has them, or NULL
constexpr std::string_view R1a = " AND convert(varchar(10),fa_Cards.dStartdate,102) = '", R1b = "'",
                           R1n = " AND fa_Cards.dStartdate Is Null";
// A month or a year of start: the dates from its first day up to the first day after it
constexpr std::string_view R1c = " AND fa_Cards.dStartdate >= '", R1d = "'", R1e = " AND fa_Cards.dStartdate < '",
                           R1f = "'";
constexpr std::string_view R2a = " AND fa_Cards.sDeptNames = '", R2b = "'", R2n = " AND fa_Cards.sDeptNames Is Null";
constexpr std::string_view R3a = " AND fa_Cards.sAssetName = '", R3b = "'", R3n = " AND fa_Cards.sAssetName Is Null";
constexpr std::string_view K7 =
    " Order By fa_Cards.dStartdate, fa_Cards.sDeptNames, fa_Cards.sAssetName, fa_Cards.sCardNum, fa_Cards.sCardID";

// Lookup lists
constexpr std::string_view L1 = " SELECT distinct  sAssetName";
constexpr std::string_view L2 = " FROM";
constexpr std::string_view L3 = " fa_Cards";
constexpr std::string_view L4a = " where sAssetName like  '", L4b = "%'";
constexpr std::string_view M1 = " SELECT distinct cDepCode as cDepCode ,cDepName as cDepName ";
constexpr std::string_view M2 = " FROM";
constexpr std::string_view M3 = " department order by cDepCode";

template <typename... Parts>
void append(std::string& s, const Parts&... parts) {
    (s.append(parts), ...);
}

void appendFrom(std::string& s) {
    append(s, B1, B2, B3, B4, B5, B6, B7, B8, B9, B10, B11, B12, B13, B14);
}

void appendWhere(std::string& s, const CMvLogin& p) {
    const std::string date = sqlLiteral(p.strDate);
    append(s, C1, C2, C3, C4, C5);
    append(s, C6a, date, C6b);
    append(s, C7a, date, C7b, C7c);
    append(s, C8a, date, C8b, C8c);
    append(s, C9, C10);
}

void appendCriteria(std::string& s, const CMvLogin& p) {
    append(s, D1a, sqlLiteral(p.strBegDate), D1b);
    append(s, D2a, sqlLiteral(p.strEndDate), D2b);
    if (!p.strZcID.empty()) {
        if (p.gsCZLike == "1")
            append(s, D3a_a, sqlLiteral(p.strZcID), D3a_b);
        else
            append(s, D3b_a, sqlLiteral(p.strZcID), D3b_b);
    }
    if (!p.strDeptName.empty()) append(s, D4a, sqlLiteral(p.strDeptID), D4b);
}

// "yyyy.mm" or "yyyy" (a view's month or year of start): its first day and the first day
// after it (empty after 9999), as the period's dates are written; nullopt for anything else.
std::optional<std::pair<std::string, std::string>> periodRange(std::string_view key) {
    const auto digits = [](std::string_view t) {
        return !t.empty() && std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (!(key.size() == 4 && digits(key)) &&
        !(key.size() == 7 && key[4] == '.' && digits(key.substr(0, 4)) && digits(key.substr(5))))
        return std::nullopt;
    const int year = std::stoi(std::string(key.substr(0, 4)));
    const int month = key.size() == 7 ? std::stoi(std::string(key.substr(5))) : 0;
    if (key.size() == 7 && (month < 1 || month > 12)) return std::nullopt;
    char first[48], after[48];
    std::snprintf(first, sizeof first, "%04d-%02d-01", year, month ? month : 1);
    const int nextYear = month == 0 || month == 12 ? year + 1 : year,
              nextMonth = month == 0 || month == 12 ? 1 : month + 1;
    std::snprintf(after, sizeof after, "%04d-%02d-01", nextYear, nextMonth);
    return std::pair<std::string, std::string>{first, nextYear > 9999 ? std::string() : std::string(after)};
}

}  // namespace

std::string sqlLiteral(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        out.push_back(c);
        if (c == '\'') out.push_back('\'');
    }
    return out;
}

std::string summarySql(const CMvLogin& p) {
    std::string s;
    s.reserve(4096 + 2 * (p.strZcID.size() + p.strDeptID.size()));
    s.append(5, ' ');
    append(s, A1, A2, A3, A4, A5, A6);
    appendFrom(s);
    appendWhere(s, p);
    appendCriteria(s, p);
    append(s, E1, E2, E3);
    append(s, F1, F2, F3, F4, F5, F6, F7);
    appendFrom(s);
    appendWhere(s, p);
    appendCriteria(s, p);
    return s;
}

std::string cardListSql(const CMvLogin& p, const std::optional<SummaryRow>& row, bool assetNumber) {
    std::string s;
    s.reserve(4096);
    append(s, K1, assetNumber ? K2 : std::string_view(), K3, K4, K5, K6, K6b);
    appendFrom(s);
    appendWhere(s, p);
    appendCriteria(s, p);
    if (row) {
        const auto equal = [&s](const std::optional<std::string>& v, std::string_view head, std::string_view tail,
                                std::string_view null) {
            if (v)
                append(s, head, sqlLiteral(*v), tail);
            else
                s.append(null);
        };
        if (row->byDate) {
            if (auto range = row->startDate ? periodRange(*row->startDate) : std::nullopt) {
                append(s, R1c, range->first, R1d);
                if (!range->second.empty()) append(s, R1e, range->second, R1f);
            } else {
                equal(row->startDate, R1a, R1b, R1n);
            }
        }
        if (row->byDepartment) equal(row->department, R2a, R2b, R2n);
        if (row->byName) equal(row->assetName, R3a, R3b, R3n);
    }
    s.append(K7);
    return s;
}

std::string assetNameListSql(const std::string& prefix) {
    std::string s;
    append(s, L1, L2, L3);
    if (!prefix.empty()) append(s, L4a, sqlLiteral(prefix), L4b);
    return s;
}

std::string departmentListSql() {
    std::string s;
    append(s, M1, M2, M3);
    return s;
}

}  // namespace faq::query
