#include "summary_view.h"

#include <algorithm>
#include <unordered_map>

#include "data/db_error.h"
#include "data/sql_collation.h"
#include "exact_sum.h"
#include "money_format.h"

namespace faq::query {

namespace {

enum Key { Date, Dept, Name };

struct Level {
    std::vector<Key> keys;   // in the order of the columns
    size_t dateLength = 10;  // yyyy.mm.dd, yyyy.mm or yyyy
    const char* dateCaption = "开始使用日期";
};

Level levelOf(Grouping g) {
    switch (g) {
        case Grouping::DateDeptName: return {{Date, Dept, Name}};
        case Grouping::DeptName: return {{Dept, Name}};
        case Grouping::Dept: return {{Dept}};
        case Grouping::Name: return {{Name}};
        case Grouping::MonthDept: return {{Date, Dept}, 7, "开始使用月份"};
        case Grouping::YearDept: return {{Date, Dept}, 4, "开始使用年份"};
    }
    return {};
}

using Part = std::optional<std::string_view>;

// How two keys' values order: NULL first, as SQL Server sorts it; then by the collation.
int compareParts(const Part& a, const Part& b) {
    if (!a || !b) return a ? 1 : b ? -1 : 0;
    return data::compareSqlServer(*a, *b);
}

struct Group {
    Part part[3];  // the first row's spellings, by Key
    ExactSum value;
    int64_t count = 0;
    size_t first = 0;  // the first detailed row, for a stable order
};

void putPart(data::RecordsetBuilder& b, const Part& p) {
    if (p)
        b.putText(*p);
    else
        b.putNull();
}

void putSum(data::RecordsetBuilder& b, const ExactSum& s) {
    std::string text;
    const data::Value v = s.value(text);
    switch (v.type) {
        case data::FieldType::Null: b.putNull(); break;
        case data::FieldType::Double: b.putDouble(v.d); break;
        default: b.putText(v.text, data::FieldType::Decimal); break;
    }
}

void putCell(data::RecordsetBuilder& b, const data::Value& v) {
    switch (v.type) {
        case data::FieldType::Null: b.putNull(); break;
        case data::FieldType::Integer: b.putInt(v.i); break;
        case data::FieldType::Double: b.putDouble(v.d); break;
        default: b.putText(v.text, v.type); break;
    }
}

int fieldOr(const data::Recordset& rs, std::string_view name, int fallback) {
    const int f = rs.fieldIndex(name);
    return f >= 0 ? f : fallback;
}

}  // namespace

const std::vector<GroupingName>& groupings() {
    static const std::vector<GroupingName> all = {
        {Grouping::DateDeptName, "date-dept-name", "按日期、部门、资产"},
        {Grouping::DeptName, "dept-name", "按部门、资产"},
        {Grouping::Dept, "dept", "按部门"},
        {Grouping::Name, "name", "按资产名称"},
        {Grouping::MonthDept, "month-dept", "按月份、部门"},
        {Grouping::YearDept, "year-dept", "按年份、部门"},
    };
    return all;
}

const GroupingName& groupingName(Grouping g) {
    for (const GroupingName& n : groupings())
        if (n.grouping == g) return n;
    return groupings().front();
}

std::optional<Grouping> groupingFromOption(std::string_view option) {
    for (const GroupingName& n : groupings())
        if (option == n.option) return n.grouping;
    return std::nullopt;
}

bool subtotalsApply(Grouping g) {
    const Level l = levelOf(g);
    return l.keys.size() > 1 && std::find(l.keys.begin(), l.keys.end(), Dept) != l.keys.end();
}

std::optional<SummaryRow> SummaryView::cardsOf(size_t r) const {
    if (r >= kinds.size() || kinds[r] == RowKind::Total) return std::nullopt;
    const auto key = [&](int column) -> std::optional<std::string> {
        const data::Value v = rows->value(r, static_cast<size_t>(column));
        if (v.isNull()) return std::nullopt;
        return std::string(v.text);
    };
    const bool subtotal = kinds[r] == RowKind::Subtotal;
    SummaryRow row;
    row.byDate = dateColumn >= 0 && !subtotal;
    row.byDepartment = deptColumn >= 0;
    row.byName = nameColumn >= 0 && !subtotal;
    if (row.byDate) row.startDate = key(dateColumn);
    if (row.byDepartment) row.department = key(deptColumn);
    if (row.byName) row.assetName = key(nameColumn);
    return row;
}

int SummaryView::valueColumn() const {
    return rows ? fieldOr(*rows, "原值", static_cast<int>(rows->fieldCount()) - 2) : -1;
}

SummaryView summaryView(const data::RecordsetPtr& detailed, Grouping g, bool subtotals, const std::atomic<bool>* stop) {
    SummaryView view;
    view.grouping = g;
    view.subtotals = subtotals && subtotalsApply(g);
    const data::Recordset& rs = *detailed;
    const size_t n = rs.recordCount();
    const bool hasTotal = n > 0;  // the statement's last row is its 合计:
    const size_t details = hasTotal ? n - 1 : 0;
    const int field[3] = {fieldOr(rs, "开始使用日期", 0), fieldOr(rs, "使用部门", 1), fieldOr(rs, "固定资产名称", 2)};
    const int valueField = fieldOr(rs, "原值", 3), countField = fieldOr(rs, "数量", 4);
    const auto part = [&](size_t r, Key k, size_t length) -> Part {
        const data::Value v = rs.value(r, static_cast<size_t>(field[k]));
        if (v.isNull()) return std::nullopt;
        std::string_view t = v.text;
        if (k == Date && t.size() > length) t = t.substr(0, length);
        return t;
    };

    Level level = levelOf(g);
    if (view.subtotals) {  // the department first: its rows together, then its 小计
        std::stable_partition(level.keys.begin(), level.keys.end(), [](Key k) { return k == Dept; });
    }

    if (view.plain()) {
        view.rows = detailed;
        view.kinds.assign(n, RowKind::Detail);
        if (hasTotal) view.kinds.back() = RowKind::Total;
        view.dateColumn = field[Date], view.deptColumn = field[Dept], view.nameColumn = field[Name];
        return view;
    }

    // The detailed rows into groups of equal keys under the collation.
    std::vector<Group> groups;
    std::unordered_map<std::string, size_t> index;
    std::string key;
    for (size_t r = 0; r < details; ++r) {
        if ((r & 4095) == 0 && stop && *stop) throw data::DbError("汇总已取消", data::Failure::Cancelled);
        key.clear();
        Part parts[3];
        for (Key k : level.keys) {
            parts[k] = part(r, k, level.dateLength);
            if (parts[k])
                key += '\1', key += data::sqlServerKey(*parts[k]);
            else
                key += '\0';
            key += '\2';
        }
        auto [it, fresh] = index.try_emplace(key, groups.size());
        if (fresh) {
            Group& made = groups.emplace_back();
            for (int k = 0; k < 3; ++k) made.part[k] = parts[k];
            made.first = r;
        }
        Group& grp = groups[it->second];
        grp.value.add(rs.value(r, static_cast<size_t>(valueField)));
        const data::Value c = rs.value(r, static_cast<size_t>(countField));
        grp.count += c.type == data::FieldType::Integer ? c.i : static_cast<int64_t>(c.toDouble());
    }
    std::sort(groups.begin(), groups.end(), [&](const Group& a, const Group& b) {
        for (Key k : level.keys)
            if (const int c = compareParts(a.part[k], b.part[k])) return c < 0;
        return a.first < b.first;
    });

    std::vector<data::Field> fields;
    for (Key k : level.keys)
        fields.push_back({k == Date   ? level.dateCaption
                          : k == Dept ? "使用部门"
                                      : "固定资产名称",
                          data::FieldType::Text});
    fields.push_back({"原值", rs.field(static_cast<size_t>(valueField)).type});
    fields.push_back({"数量", rs.field(static_cast<size_t>(countField)).type});
    data::RecordsetBuilder b(fields);
    const size_t keys = level.keys.size();

    for (size_t k = 0; k < keys; ++k)
        (level.keys[k] == Date   ? view.dateColumn
         : level.keys[k] == Dept ? view.deptColumn
                                 : view.nameColumn) = static_cast<int>(k);
    const auto subtotal = [&](const Group& head, const ExactSum& sum, int64_t count) {
        for (size_t k = 0; k < keys; ++k) {
            if (level.keys[k] == Dept)
                putPart(b, head.part[Dept]);
            else
                b.putText(k + 1 == keys ? kSubtotalLabel : "");
        }
        putSum(b, sum);
        b.putInt(count);
        view.kinds.push_back(RowKind::Subtotal);
    };

    ExactSum deptSum;
    int64_t deptCount = 0;
    size_t deptHead = 0;  // the department's first group, whose spelling its 小计 shows
    for (size_t i = 0; i < groups.size(); ++i) {
        const Group& grp = groups[i];
        if (i > 0 && compareParts(groups[i - 1].part[Dept], grp.part[Dept]) != 0) deptHead = i;
        for (Key k : level.keys) putPart(b, grp.part[k]);
        putSum(b, grp.value);
        b.putInt(grp.count);
        view.kinds.push_back(RowKind::Detail);
        if (!view.subtotals) continue;
        deptSum.add(grp.value);
        deptCount += grp.count;
        const bool last = i + 1 == groups.size() || compareParts(groups[i + 1].part[Dept], grp.part[Dept]) != 0;
        if (!last) continue;
        subtotal(groups[deptHead], deptSum, deptCount);
        deptSum = ExactSum();
        deptCount = 0;
    }
    if (hasTotal) {
        // The statement's own total, as it came: the label in the last key column.
        for (size_t k = 0; k < keys; ++k) b.putText(k + 1 == keys ? "合计:" : "");
        putCell(b, rs.value(n - 1, static_cast<size_t>(valueField)));
        putCell(b, rs.value(n - 1, static_cast<size_t>(countField)));
        view.kinds.push_back(RowKind::Total);
    }
    view.rows = b.finish();
    view.rows->notice = rs.notice;
    return view;
}

namespace {

ChartBarData bar(std::string label, const ExactSum& sum) {
    std::string text;
    const data::Value v = sum.value(text);
    // A department whose every 原值 is NULL stands at zero, and says so.
    data::Value zero;
    zero.type = data::FieldType::Integer;
    ChartBarData b{std::move(label), v.toDouble(), formatMoney(v.isNull() ? zero : v)};
    while (!b.figure.empty() && b.figure.back() == ' ') b.figure.pop_back();
    return b;
}

ExactSum sumOf(const data::Value& v) {
    ExactSum s;
    s.add(v);
    return s;
}

}  // namespace

ChartData chartData(const data::RecordsetPtr& detailed, const std::atomic<bool>* stop) {
    ChartData c;
    const SummaryView depts = summaryView(detailed, Grouping::Dept, false, stop);
    const data::Recordset& d = *depts.rows;
    struct Dept {
        Part name;
        ExactSum value;
        double approx;
    };
    std::vector<Dept> all;
    for (size_t r = 0; r < d.recordCount(); ++r) {
        if (depts.kinds[r] != RowKind::Detail) continue;
        const data::Value name = d.value(r, 0);
        ExactSum v = sumOf(d.value(r, 1));
        std::string text;
        const double approx = v.value(text).toDouble();
        all.push_back({name.isNull() ? Part() : Part(name.text), std::move(v), approx});
    }
    std::stable_sort(all.begin(), all.end(), [](const Dept& a, const Dept& b) { return a.approx > b.approx; });
    ExactSum others;
    for (size_t i = 0; i < all.size(); ++i) {
        if (i < kChartDepartments || all.size() == kChartDepartments + 1)
            c.departments.push_back(bar(all[i].name ? std::string(*all[i].name) : "（空）", all[i].value));
        else
            others.add(all[i].value);
    }
    if (!others.empty()) c.departments.push_back(bar("其他", others));

    const SummaryView years = summaryView(detailed, Grouping::YearDept, false, stop);
    const data::Recordset& y = *years.rows;
    std::vector<std::pair<Part, ExactSum>> byYear;
    for (size_t r = 0; r < y.recordCount(); ++r) {
        if (years.kinds[r] != RowKind::Detail) continue;
        const data::Value year = y.value(r, 0);
        const Part key = year.isNull() ? Part() : Part(year.text);
        // The rows come by year: a year's departments one after another.
        if (byYear.empty() || compareParts(byYear.back().first, key) != 0) byYear.emplace_back(key, ExactSum());
        byYear.back().second.add(y.value(r, 2));
    }
    for (const auto& [key, sum] : byYear) c.years.push_back(bar(key ? std::string(*key) : "（无日期）", sum));
    return c;
}

}  // namespace faq::query
