// Binding a million-row result to the query window's grid and painting it (offscreen),
// and what the recordset costs per row beyond its text.
#include <QApplication>
#include <QKeyEvent>

#include "bench_util.h"
#include "query/money_format.h"
#include "query/summary_view.h"
#include "sample_rows.h"
#include "ui/data_grid.h"
#include "ui/frm_login.h"

using namespace faq;
using namespace faq::bench;

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    constexpr int kRows = 1000000;
    auto rs = summaryShapedRows(kRows);

    std::vector<double> bindPaint, scan, fit, pageDown;
    app::Session session;  // never connects: the window is only shown
    for (int rep = 0; rep < 5; ++rep) {
        ui::frmLogin window(session);  // the real grid, geometry and fonts
        window.show();
        QApplication::processEvents();
        auto* grid = window.dgContent;
        double t = nowMs();
        grid->bind(rs, true);
        grid->model()->setColumnFormat(3, [](const data::Value& v) { return query::formatMoney(v); });
        grid->view()->viewport()->repaint();
        bindPaint.push_back(nowMs() - t);
        t = nowMs();
        const ui::WidestRows widest = ui::widestRows(*rs);  // on the worker, in the program
        scan.push_back(nowMs() - t);
        t = nowMs();
        grid->fitColumns(widest);
        fit.push_back(nowMs() - t);
        t = nowMs();
        QKeyEvent key(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
        QApplication::sendEvent(grid->view(), &key);
        grid->view()->viewport()->repaint();
        pageDown.push_back(nowMs() - t);
        if (grid->view()->currentIndex().row() <= 0) std::fprintf(stderr, "page down did not move\n");
        grid->bind(nullptr, false);
    }
    report("grid: bind 1M rows + first paint", median(bindPaint), 100, 0, "ms; baseline is the goal",
           "goal: under 100 ms");
    report("grid: widest rows of 1M (worker)", median(scan), 0, 0, "ms; on the worker, no goal", "");
    report("grid: fit columns to 1M rows (window)", median(fit), 100, 0, "ms; baseline is the goal",
           "goal: under 100 ms");
    report("grid: page-down repaint", median(pageDown), 100, 0, "ms; baseline is the goal", "goal: under 100 ms");
    // The levels of the summary, added up on the worker, against the widest-rows scan of the
    // same rows (the other pass the worker makes over a result before the window shows it).
    struct Level {
        const char* name;
        query::Grouping grouping;
        bool subtotals;
    };
    for (const Level& level :
         {Level{"按部门", query::Grouping::Dept, false}, Level{"按月份、部门+小计", query::Grouping::MonthDept, true},
          Level{"按日期、部门、资产+小计", query::Grouping::DateDeptName, true}}) {
        std::vector<double> regroup, base, ratio;
        for (int rep = 0; rep < 5; ++rep) {
            double t = nowMs();
            const query::SummaryView view = query::summaryView(rs, level.grouping, level.subtotals);
            regroup.push_back(nowMs() - t);
            if (view.rows->recordCount() < 2) std::fprintf(stderr, "no rows\n");
            t = nowMs();
            const ui::WidestRows widest = ui::widestRows(*rs);
            base.push_back(nowMs() - t);
            ratio.push_back(regroup.back() / base.back());
        }
        report(std::string("view ") + level.name + " of 1M (worker)", median(regroup), median(base), 0,
               "ms; baseline: the widest-rows scan", "", median(ratio));
    }
    {
        std::vector<double> chart;
        for (int rep = 0; rep < 5; ++rep) {
            const double t = nowMs();
            const query::ChartData c = query::chartData(rs);
            chart.push_back(nowMs() - t);
            if (c.years.empty()) std::fprintf(stderr, "no years\n");
        }
        report("chart figures of 1M (worker)", median(chart), 0, 0, "ms; on the worker, no goal", "");
    }
    const double perRow = static_cast<double>(rs->memoryBytes() - rs->textBytes()) / kRows;
    report("recordset bytes per row beyond text", perRow, 64, 0, "bytes; baseline is the goal", "goal: under 64");
    return 0;
}
