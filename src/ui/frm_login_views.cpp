// The query window's 汇总方式 and 部门小计: the statement's result regrouped on the worker,
// bound to the grid with its 小计 and 合计: rows set apart; no statement is sent for it.
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>

#include "app/printed_summary.h"
#include "app/program.h"
#include "data/db_error.h"
#include "data_grid.h"
#include "frm_login.h"
#include "query/money_format.h"

namespace faq::ui {

query::Grouping frmLogin::chosenGrouping() const {
    return static_cast<query::Grouping>(cboGroup->currentData().toInt());
}

bool frmLogin::chosenSubtotals() const {
    return query::subtotalsApply(chosenGrouping()) && chkSubtotals->isChecked();
}

void frmLogin::enableSubtotals() {
    // Only where the level has the department and another key; the tick stays for the next
    // level that has them.
    chkSubtotals->setEnabled(query::subtotalsApply(chosenGrouping()));
}

frmLogin::ShownView frmLogin::makeView(data::RecordsetPtr detailed, query::Grouping g, bool subtotals,
                                       const std::atomic<bool>* stop) {
    ShownView v;
    v.detailed = detailed;
    auto view = std::make_shared<query::SummaryView>(query::summaryView(detailed, g, subtotals, stop));
    v.widest = widestRows(*view->rows);
    v.view = std::move(view);
    return v;
}

void frmLogin::showView(std::shared_ptr<const query::SummaryView> view, const WidestRows& widest) {
    mView = std::move(view);
    dgContent->bind(mView->rows, true);
    const int value = mView->valueColumn();
    dgContent->model()->setColumnFormat(value >= 0 ? value : 3,
                                        [](const data::Value& v) { return query::formatMoney(v); });
    if (!mView->plain()) {
        std::vector<bool> bold(mView->kinds.size());
        for (size_t r = 0; r < bold.size(); ++r) bold[r] = mView->kinds[r] != query::RowKind::Detail;
        dgContent->model()->setBoldRows(std::move(bold), dgContent->view()->font());
    }
    dgContent->fitColumns(widest);
}

void frmLogin::cboGroup_Click() {
    enableSubtotals();
    // A level chosen while the last one is still being added up replaces it: the criteria
    // stay enabled for that work, which stops within a few thousand rows (so the worker is
    // soon free for the next), and its answer is no longer heard.
    if (busy() && mLine->criteriaStay()) {
        if (mStopRegroup) *mStopRegroup = true;
        endWork();
    }
    if (busy() || !rsResult || !mView) return;
    const query::Grouping g = chosenGrouping();
    const bool subtotals = chosenSubtotals();
    if (mView->grouping == g && mView->subtotals == subtotals) return;
    mLine->begin(QStringLiteral("正在汇总"), true);
    mStopRegroup = std::make_shared<std::atomic<bool>>(false);
    mLine->job = runInBackground<ShownView>(
        mSession, this,
        [detailed = rsResult, g, subtotals, stop = mStopRegroup](app::mdlMain&) {
            return makeView(detailed, g, subtotals, stop.get());
        },
        [this](Outcome<ShownView>& out) {
            endWork();
            // A cancel leaves the level shown as it was, and the box says it again.
            if (out.dbError && out.dbError->failure() == data::Failure::Cancelled) {
                cboGroup->setCurrentIndex(cboGroup->findData(static_cast<int>(mView->grouping)));
                if (query::subtotalsApply(mView->grouping)) chkSubtotals->setChecked(mView->subtotals);
                enableSubtotals();
                return sayDone(QStringLiteral("汇总已取消"));
            }
            if (sayFailure(out)) return;
            showView(out.value->view, out.value->widest);
        });
}

std::shared_ptr<output::PrintedTable> frmLogin::printedView() const {
    auto t = std::make_shared<output::PrintedTable>(
        app::printedTable(*mView,
                          app::printedLines(*mShownCriteria, app::sourceText(mSession.engine, mSession.params),
                                            QDateTime::currentDateTime()),
                          app::printFont()));
    // The picture first, when its window asks for it and shows this result.
    if (mChart && mChart->firstPage() && mChart->picture()) t->chart = mChart->picture();
    return t;
}

}  // namespace faq::ui
