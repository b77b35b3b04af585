// Binding a million-row result to the query window's grid and painting it (offscreen),
// and what the recordset costs per row beyond its text.
#include <QApplication>
#include <QKeyEvent>

#include "bench_util.h"
#include "query/money_format.h"
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
    const double perRow = static_cast<double>(rs->memoryBytes() - rs->textBytes()) / kRows;
    report("recordset bytes per row beyond text", perRow, 64, 0, "bytes; baseline is the goal", "goal: under 64");
    return 0;
}
