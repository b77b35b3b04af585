// faquery report and the query window give the same statement and the same rows.
#include <QCheckBox>
#include <QComboBox>
#include <sstream>

#include "app/cli.h"
#include "app/report.h"
#include "gui_fixture.h"
#include "query/money_format.h"
#include "query/summary_view.h"
#include "ui/data_combo.h"
#include "ui/data_grid.h"

using namespace faq;

namespace {

class ReportAgreement : public test::GuiTest {};

std::vector<std::string> split(const std::string& text, const std::string& sep) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t pos; (pos = text.find(sep, start)) != std::string::npos; start = pos + sep.size())
        out.push_back(text.substr(start, pos - start));
    out.push_back(text.substr(start));
    return out;
}

TEST_F(ReportAgreement, SameCriteriaSameStatementSameRows) {
    connector = app::connectorFor({true, {}});
    newSession();
    setToday({2026, 12, 7});
    auto w = openQueryWindow();
    w->byyyy->setEditText(QStringLiteral("2018"));
    w->bmm->setEditText(QStringLiteral("3"));
    w->dcob->setEditText(QStringLiteral("电"));
    w->chkLike->setChecked(true);
    w->dcbmDept->setEditText(QStringLiteral("生产部"));
    w->Command1_Click();
    settle(w);
    ASSERT_TRUE(messages.empty());
    const std::string windowSql = w->criteria().strSql;

    auto run = [](const std::vector<std::string>& extra) {
        std::ostringstream out, err;
        app::ReportIo io{&out, &err, [] { return std::nullopt; }, [](app::InterruptGuard&) { return std::nullopt; }};
        std::vector<std::string> args{"--demo", "--today", "2026-12-07", "--from", "2018-3", "--to",      "2026-12",
                                      "--dept", "03",      "--name",     "电",     "--like", "--show-sql"};
        args.insert(args.end(), extra.begin(), extra.end());
        const int code = app::runReport(args, io);
        EXPECT_EQ(code, 0) << err.str();
        return std::make_pair(out.str(), err.str());
    };
    const auto [csv, sqlOut] = run({"--format", "csv"});
    EXPECT_EQ(sqlOut, windowSql + "\n");
    const auto [table, sqlOut2] = run({});
    EXPECT_EQ(sqlOut2, sqlOut);

    auto* m = w->dgContent->model();
    auto rows = split(csv.substr(3), "\r\n");
    rows.pop_back();  // after the last line end
    auto tableRows = split(table, "\n");
    ASSERT_EQ(static_cast<int>(rows.size()), m->rowCount() + 1);
    for (int r = 0; r < m->rowCount(); ++r) {
        const auto f = split(rows[static_cast<size_t>(r) + 1], ",");
        ASSERT_EQ(f.size(), 5u);
        for (int c : {0, 1, 2, 4}) EXPECT_EQ(m->text(r, c).toStdString(), f[static_cast<size_t>(c)]) << r << "," << c;
        data::Value v;
        if (!f[3].empty()) v.type = data::FieldType::Double, v.d = std::stod(f[3]);
        EXPECT_EQ(m->text(r, 3).toStdString(), query::formatMoney(v));
        EXPECT_NE(tableRows[static_cast<size_t>(r) + 2].find(m->text(r, 3).trimmed().toStdString()), std::string::npos);
    }
    // Every level, with its 小计 where it has one: the window's rows are the report's, and the
    // statement sent for both is the same one.
    for (const query::GroupingName& level : query::groupings()) {
        for (const bool subtotals : {false, true}) {
            if (subtotals && !query::subtotalsApply(level.grouping)) continue;
            w->cboGroup->setCurrentIndex(w->cboGroup->findData(static_cast<int>(level.grouping)));
            w->chkSubtotals->setChecked(subtotals);
            w->cboGroup_Click();
            settle(w);
            std::vector<std::string> extra{"--format", "csv", "--group", level.option};
            if (subtotals) extra.push_back("--subtotals");
            const auto [levelCsv, levelSql] = run(extra);
            EXPECT_EQ(levelSql, windowSql + "\n");
            auto lines = split(levelCsv.substr(3), "\r\n");
            lines.pop_back();
            ASSERT_EQ(static_cast<int>(lines.size()), m->rowCount() + 1) << level.option;
            const int value = w->view()->valueColumn();
            for (int r = 0; r < m->rowCount(); ++r) {
                const auto f = split(lines[static_cast<size_t>(r) + 1], ",");
                ASSERT_EQ(static_cast<int>(f.size()), m->columnCount()) << level.option;
                for (int c = 0; c < m->columnCount(); ++c) {
                    if (c == value) {
                        data::Value v;
                        if (!f[static_cast<size_t>(c)].empty())
                            v.type = data::FieldType::Double, v.d = std::stod(f[static_cast<size_t>(c)]);
                        EXPECT_EQ(m->text(r, c).toStdString(), query::formatMoney(v)) << level.option << " " << r;
                    } else {
                        EXPECT_EQ(m->text(r, c).toStdString(), f[static_cast<size_t>(c)]) << level.option << " " << r;
                    }
                }
            }
        }
    }
}

}  // namespace
