// The statement texts the program sends, each built in one place from named fragments.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "cmvlogin.h"

namespace faq::query {

// A value for a T-SQL string literal: every single quote doubled. LIKE wildcards keep
// their meaning.
std::string sqlLiteral(std::string_view value);

// The asset summary: grouped rows, then the total row "合计:".
std::string summarySql(const CMvLogin& p);
// One grouped row of the summary, by the values it shows: start date (yyyy.mm.dd; in a
// coarser view the month yyyy.mm or the year yyyy, the cards started within it),
// department and asset name; nullopt where the row holds NULL. A key the row's view does
// not have (by* false) matches every card.
struct SummaryRow {
    std::optional<std::string> startDate, department, assetName;
    bool byDate = true, byDepartment = true, byName = true;
};
// The cards the summary of p counts, one line for each thing counted (a card counted under
// two department shares stands twice), with the same joins, latest version and criteria:
// those of one grouped row, or of the whole result (the total row) without a row. Their
// 原值 add up to the row's; the row's 数量 counts those with an 增加方式 (origin). Without
// assetNumber, the list leaves out 资产编号 (fa_Cards.sAssetNum, which the summary never reads).
std::string cardListSql(const CMvLogin& p, const std::optional<SummaryRow>& row, bool assetNumber = true);
// Distinct asset names, those beginning with prefix when it is not empty.
std::string assetNameListSql(const std::string& prefix);
// Departments: cDepCode, cDepName ordered by code.
std::string departmentListSql();

}  // namespace faq::query
