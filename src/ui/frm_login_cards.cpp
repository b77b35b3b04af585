// The query window's 明细: the cards behind any row of the view shown (a 小计 and the
// 合计: row too), through the card statement with that row's keys, in the card window.
#include "app/program.h"
#include "frm_login.h"

namespace faq::ui {

namespace {

QString shown(const std::optional<std::string>& v) {
    return v ? QString::fromStdString(*v) : QStringLiteral("（空）");
}

// What the card window says it lists: the row's keys as the view names them.
QString rowText(const query::SummaryRow& key, query::Grouping g, query::RowKind kind) {
    QStringList parts;
    if (key.byDate) {
        const char* what = g == query::Grouping::MonthDept  ? "开始使用月份"
                           : g == query::Grouping::YearDept ? "开始使用年份"
                                                            : "开始使用日期";
        parts << QString::fromUtf8(what) + QStringLiteral(" ") + shown(key.startDate);
    }
    if (key.byDepartment) parts << QStringLiteral("使用部门 ") + shown(key.department);
    if (key.byName) parts << QStringLiteral("固定资产名称 ") + shown(key.assetName);
    QString text = parts.join(QStringLiteral("　"));
    if (kind == query::RowKind::Subtotal) text += QStringLiteral("（小计行）");
    return text;
}

}  // namespace

void frmLogin::showCards(int row) {
    if (busy() || !mView || !mShownCriteria || row < 0 || static_cast<size_t>(row) >= mView->kinds.size()) return;
    const auto r = static_cast<size_t>(row);
    const std::optional<query::SummaryRow> key = mView->cardsOf(r);
    // The total row, last, stands for every card of the result.
    const QString what = key ? rowText(*key, mView->grouping, mView->kinds[r]) : QStringLiteral("全部卡片（合计行）");
    beginWork(QStringLiteral("正在读取卡片明细"));
    mLine->job = runInBackground<FetchedRows>(
        mSession, this,
        [criteria = mShownCriteria, key](app::mdlMain& m) { return withWidestRows(m.fetchCards(*criteria, key)); },
        [this, what](Outcome<FetchedRows>& out) {
            endWork();
            if (sayFailure(out)) return;
            if (!mCards) {
                mCards = new frmCards(this);
                connect(mCards, &frmCards::exportRequested, this, [this] {
                    if (busy() || !mCards || !mCards->cards()) return;
                    exportToExcel(mCards->cards(), mCards->captions(), mCards, QStringLiteral("卡片明细"),
                                  cardTotalRow(*mCards->cards()));
                });
            }
            mCards->showCards(std::move(*out.value), what);
        });
}

}  // namespace faq::ui
