// The summary at the level the user files it: the statement's rows (by start date,
// department and asset name) added up in the program into coarser rows, with a 小计 after
// each department on request. Every figure is a sum of the statement's own figures, keys
// equal as SQL Server's collation finds them; the 合计: row is the statement's.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/recordset.h"
#include "sql_text.h"

namespace faq::query {

enum class Grouping { DateDeptName, DeptName, Dept, Name, MonthDept, YearDept };

struct GroupingName {
    Grouping grouping;
    const char* option;   // report --group
    const char* caption;  // the window's 汇总方式
};
// Every level, the statement's own first, in the order the window lists them.
const std::vector<GroupingName>& groupings();
std::optional<Grouping> groupingFromOption(std::string_view option);
const GroupingName& groupingName(Grouping g);
// Whether 部门小计 applies: the level holds the department and another key.
bool subtotalsApply(Grouping g);

enum class RowKind : unsigned char { Detail, Subtotal, Total };

struct SummaryView {
    Grouping grouping = Grouping::DateDeptName;
    bool subtotals = false;
    // The view's keys, 原值 and 数量; with subtotals the department first. The 合计: row last.
    data::RecordsetPtr rows;
    std::vector<RowKind> kinds;  // for each row
    // The columns of the keys (-1: the level has not that key); the date's holds a day, a
    // month or a year.
    int dateColumn = -1, deptColumn = -1, nameColumn = -1;
    // The cards row r adds up (the card statement's row criteria, from the keys it shows);
    // nullopt for the 合计: row, which stands for every card of the result.
    std::optional<SummaryRow> cardsOf(size_t r) const;
    // The statement's result as it came: what the document's own view shows and exports.
    bool plain() const { return grouping == Grouping::DateDeptName && !subtotals; }
    int valueColumn() const;  // 原值
};

// detailed: the statement's result, its 合计: row last. subtotals where they do not apply
// are none. A plain view holds detailed itself. Throws data::DbError (Failure::Cancelled)
// when *stop turns true (looked at every few thousand rows).
SummaryView summaryView(const data::RecordsetPtr& detailed, Grouping g, bool subtotals,
                        const std::atomic<bool>* stop = nullptr);

// The figures of the result's picture: 原值 by department, largest first, those beyond the
// 15th gathered as 其他; 原值 by year of start, in order of the year. Each a sum of the
// statement's figures, with its text as the grid shows it.
struct ChartBarData {
    std::string label;
    double value = 0;
    std::string figure;
};
struct ChartData {
    std::vector<ChartBarData> departments, years;
};
constexpr size_t kChartDepartments = 15;
ChartData chartData(const data::RecordsetPtr& detailed, const std::atomic<bool>* stop = nullptr);

// The label of the 小计 rows, in the last key column.
constexpr const char* kSubtotalLabel = "小计";

}  // namespace faq::query
