#include "frm_cards.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "app/program.h"
#include "app/twips.h"
#include "data_grid.h"
#include "guide_window.h"
#include "query/money_format.h"

namespace faq::ui {

namespace {

struct CardTotals {
    size_t lines = 0, counted = 0;  // counted: those with an 增加方式, as the summary's 数量
    long double sum = 0;
    bool anyValue = false;
};

CardTotals totals(const data::Recordset& cards) {
    const int value = cards.fieldIndex("原值"), origin = cards.fieldIndex("增加方式");
    CardTotals t;
    t.lines = cards.recordCount();
    for (size_t r = 0; r < cards.recordCount(); ++r) {
        if (value >= 0) {
            const data::Value v = cards.value(r, static_cast<size_t>(value));
            if (!v.isNull()) t.sum += v.toDouble(), t.anyValue = true;
        }
        if (origin >= 0 && !cards.value(r, static_cast<size_t>(origin)).isNull()) ++t.counted;
    }
    return t;
}

QString countsText(const CardTotals& t) {
    const QLocale zh(QLocale::Chinese, QLocale::China);
    QString text =
        QStringLiteral("%1 行，数量 %2").arg(zh.toString(qulonglong(t.lines)), zh.toString(qulonglong(t.counted)));
    if (t.counted != t.lines) text += QStringLiteral("（数量只计有增加方式的卡片，与汇总相同）");
    return text;
}

}  // namespace

QString cardTotalText(const data::Recordset& cards) {
    const CardTotals t = totals(cards);
    data::Value total;
    if (t.anyValue) total.type = data::FieldType::Double, total.d = static_cast<double>(t.sum);
    const QLocale zh(QLocale::Chinese, QLocale::China);
    QString text = QStringLiteral("合计: %1 行，原值 %2，数量 %3")
                       .arg(zh.toString(qulonglong(t.lines)))
                       .arg(QString::fromStdString(query::formatMoney(total)).trimmed())
                       .arg(zh.toString(qulonglong(t.counted)));
    if (t.counted != t.lines) text += QStringLiteral("（数量只计有增加方式的卡片，与汇总相同）");
    return text;
}

output::TrailingRow cardTotalRow(const data::Recordset& cards) {
    const CardTotals t = totals(cards);
    output::TrailingRow row(cards.fieldCount());
    if (row.empty()) return row;
    row[0].text = "合计:";
    const int name = cards.fieldIndex("固定资产名称"), value = cards.fieldIndex("原值");
    row[name > 0 ? static_cast<size_t>(name) : std::min<size_t>(1, row.size() - 1)].text = countsText(t).toStdString();
    if (value >= 0 && t.anyValue) row[static_cast<size_t>(value)].number = static_cast<double>(t.sum);
    return row;
}

frmCards::frmCards(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("frmCards"));
    setWindowTitle(QStringLiteral("卡片明细"));
    setAttribute(Qt::WA_DeleteOnClose);
    lblWhat = new QLabel(this);
    lblWhat->setObjectName(QStringLiteral("lblWhat"));
    lblWhat->setWordWrap(true);
    dgCards = new DataGrid(this);
    dgCards->setObjectName(QStringLiteral("dgCards"));
    dgCards->setFont(app::songTi9());
    dgCards->view()->setFont(app::songTi9());
    dgCards->view()->horizontalHeader()->setFont(app::songTi9());
    dgCards->enableCopy();
    lblTotal = new QLabel(this);
    lblTotal->setObjectName(QStringLiteral("lblTotal"));
    lblTotal->setWordWrap(true);
    lblTotal->setTextInteractionFlags(Qt::TextSelectableByMouse);
    btnCsv = new QPushButton(QStringLiteral("输出EXCEL"), this);
    btnCsv->setObjectName(QStringLiteral("btnCsv"));
    app::pressOnEnter(btnCsv);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblTotal, 1);
    bottom->addWidget(btnCsv);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblWhat);
    layout->addWidget(dgCards, 1);
    layout->addLayout(bottom);
    setTabOrder(dgCards->view(), btnCsv);
    connect(btnCsv, &QPushButton::clicked, this, &frmCards::exportRequested);
    new QShortcut(QKeySequence(Qt::Key_Escape), this, this, &QWidget::close);
    addGuideKey(this, QStringLiteral("cards"));
    resize(app::fittedSize(QSize(680, 420), QSize(400, 240)));
}

void frmCards::showCards(FetchedRows cards, const QString& what) {
    mCards = std::move(cards.rows);
    // What the list leaves out, and why, under what it shows.
    lblWhat->setText(mCards->notice.empty() ? what : what + QLatin1Char('\n') + QString::fromStdString(mCards->notice));
    dgCards->bind(mCards, true);
    const int value = mCards->fieldIndex("原值");
    if (value >= 0)
        dgCards->model()->setColumnFormat(value, [](const data::Value& v) { return query::formatMoney(v); });
    dgCards->fitColumns(cards.widest);
    lblTotal->setText(cardTotalText(*mCards));
    if (!isVisible()) placeOverOwner();
    show();
    raise();
    activateWindow();
    dgCards->view()->setFocus(Qt::OtherFocusReason);
}

void frmCards::placeOverOwner() {
    // As wide as its columns need, where the screen has room; over the query window.
    QWidget* owner = parentWidget();
    QScreen* screen = owner && owner->screen() ? owner->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect free = screen->availableGeometry();
    QTableView* view = dgCards->view();
    int columns = view->verticalHeader()->isVisible() ? view->verticalHeader()->width() : 0;
    for (int c = 0; c < view->model()->columnCount(); ++c) columns += view->columnWidth(c);
    // Not shown yet, it has no frame: the query window's tells how wide the frame will be.
    const int frame =
        std::max(frameGeometry().width() - width(), owner ? owner->frameGeometry().width() - owner->width() : 0);
    const int frameHeight =
        std::max(frameGeometry().height() - height(), owner ? owner->frameGeometry().height() - owner->height() : 0);
    const int chrome =
        width() - dgCards->width() + view->verticalScrollBar()->sizeHint().width() + 2 * view->frameWidth();
    const int wanted = std::max(width(), columns + chrome);
    resize(std::min(wanted, free.width() - frame), height());
    QRect placed(QPoint(0, 0), size() + QSize(frame, frameHeight));
    placed.moveCenter(owner ? owner->frameGeometry().center() : free.center());
    placed.moveLeft(std::clamp(placed.left(), free.left(), std::max(free.left(), free.right() + 1 - placed.width())));
    placed.moveTop(std::clamp(placed.top(), free.top(), std::max(free.top(), free.bottom() + 1 - placed.height())));
    move(placed.topLeft());
}

QStringList frmCards::captions() const {
    QStringList out;
    for (int c = 0; c < dgCards->model()->columnCount(); ++c)
        out << dgCards->model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    return out;
}

bool frmCards::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    if (app::helpFromSystemMenu(this, eventType, message)) {
        *result = 0;
        return true;
    }
    return QWidget::nativeEvent(eventType, message, result);
}

}  // namespace faq::ui
