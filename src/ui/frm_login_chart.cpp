// The query window's 图表…: the figures of the result shown added up on the worker, then
// painted in the chart window.
#include <QDateTime>

#include "app/printed_summary.h"
#include "app/program.h"
#include "data/db_error.h"
#include "frm_login.h"

namespace faq::ui {

void frmLogin::btnChart_Click() {
    if (busy()) return;
    if (!rsResult || !mShownCriteria) return app::showMessage(this, QStringLiteral("还没有查询结果可以画图表"));
    const QStringList lines = app::printedLines(*mShownCriteria, app::sourceText(mSession.engine, mSession.params),
                                                QDateTime::currentDateTime());
    beginWork(QStringLiteral("正在画图表"));
    mLine->job = runInBackground<std::shared_ptr<const output::ChartPicture>>(
        mSession, this,
        [detailed = rsResult, lines, keep = mSession.shared_from_this()](app::mdlMain&) {
            return std::make_shared<const output::ChartPicture>(
                app::chartPicture(query::chartData(detailed, &keep->cancelRequested()), lines));
        },
        [this](Outcome<std::shared_ptr<const output::ChartPicture>>& out) {
            endWork();
            if (out.dbError && out.dbError->failure() == data::Failure::Cancelled)
                return sayDone(QStringLiteral("图表已取消"));
            if (sayFailure(out)) return;
            if (!mChart) mChart = new frmChart(this);
            mChart->showPicture(*out.value);
        });
}

}  // namespace faq::ui
