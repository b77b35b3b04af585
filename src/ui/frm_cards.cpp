#include "frm_cards.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include "app/program.h"
#include "app/twips.h"
#include "data_grid.h"
#include "guide_window.h"
#include "query/money_format.h"

namespace faq::ui {

QString cardTotalText(const data::Recordset& cards) {
    const int value = cards.fieldIndex("原值"), origin = cards.fieldIndex("增加方式");
    long double sum = 0;
    bool anyValue = false;
    size_t counted = 0;
    for (size_t r = 0; r < cards.recordCount(); ++r) {
        if (value >= 0) {
            const data::Value v = cards.value(r, static_cast<size_t>(value));
            if (!v.isNull()) sum += v.toDouble(), anyValue = true;
        }
        if (origin >= 0 && !cards.value(r, static_cast<size_t>(origin)).isNull()) ++counted;
    }
    data::Value total;
    if (anyValue) total.type = data::FieldType::Double, total.d = static_cast<double>(sum);
    const QLocale zh(QLocale::Chinese, QLocale::China);
    QString text = QStringLiteral("合计: %1 行，原值 %2，数量 %3")
                       .arg(zh.toString(qulonglong(cards.recordCount())))
                       .arg(QString::fromStdString(query::formatMoney(total)).trimmed())
                       .arg(zh.toString(qulonglong(counted)));
    if (counted != cards.recordCount()) text += QStringLiteral("（数量只计有增加方式的卡片，与汇总相同）");
    return text;
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

void frmCards::showCards(data::RecordsetPtr cards, const QString& what) {
    mCards = std::move(cards);
    // What the list leaves out, and why, under what it shows.
    lblWhat->setText(mCards->notice.empty() ? what : what + QLatin1Char('\n') + QString::fromStdString(mCards->notice));
    dgCards->bind(mCards, true);
    const int value = mCards->fieldIndex("原值");
    if (value >= 0)
        dgCards->model()->setColumnFormat(value, [](const data::Value& v) { return query::formatMoney(v); });
    dgCards->fitColumns();
    lblTotal->setText(cardTotalText(*mCards));
    show();
    raise();
    activateWindow();
    dgCards->view()->setFocus(Qt::OtherFocusReason);
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
