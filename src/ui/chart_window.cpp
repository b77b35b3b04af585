#include "chart_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QVBoxLayout>

#include "app/printed_summary.h"
#include "app/program.h"
#include "guide_window.h"

namespace faq::ui {

ChartView::ChartView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("chartView"));
    setMinimumSize(320, 240);
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
}

void ChartView::setPicture(std::shared_ptr<const output::ChartPicture> picture) {
    mPicture = std::move(picture);
    update();
}

void ChartView::paintEvent(QPaintEvent*) {
    if (!mPicture) return;
    QPainter p(this);
    const qreal margin = fontMetrics().height();
    output::paintChart(p, QRectF(rect()).adjusted(margin, margin, -margin, -margin), *mPicture, app::printFont());
}

QImage ChartView::image(QSize size) const {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    if (!mPicture) return image;
    QPainter p(&image);
    const qreal margin = size.height() / 30.0;
    output::paintChart(p, QRectF(QPointF(0, 0), QSizeF(size)).adjusted(margin, margin, -margin, -margin), *mPicture,
                       app::printFont());
    return image;
}

frmChart::frmChart(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("frmChart"));
    setWindowTitle(QStringLiteral("图表"));
    setAttribute(Qt::WA_DeleteOnClose);
    view = new ChartView(this);
    chkFirstPage = new QCheckBox(QStringLiteral("作为PDF和打印的首页(&F)"), this);
    chkFirstPage->setObjectName(QStringLiteral("chkFirstPage"));
    btnCopy = new QPushButton(QStringLiteral("复制图片"), this);
    btnCopy->setObjectName(QStringLiteral("btnCopy"));
    btnPrint = new QPushButton(QStringLiteral("打印…"), this);
    btnPrint->setObjectName(QStringLiteral("btnPrint"));
    btnClose = new QPushButton(QStringLiteral("关闭"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    for (QPushButton* b : {btnCopy, btnPrint, btnClose}) app::pressOnEnter(b);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(chkFirstPage, 1);
    bottom->addWidget(btnCopy);
    bottom->addWidget(btnPrint);
    bottom->addWidget(btnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view, 1);
    layout->addLayout(bottom);
    setTabOrder(view, chkFirstPage);
    setTabOrder(chkFirstPage, btnCopy);
    setTabOrder(btnCopy, btnPrint);
    setTabOrder(btnPrint, btnClose);
    connect(btnCopy, &QPushButton::clicked, this, &frmChart::copyPicture);
    connect(btnPrint, &QPushButton::clicked, this, &frmChart::print);
    connect(btnClose, &QPushButton::clicked, this, &QWidget::close);
    new QShortcut(QKeySequence::Copy, this, this, &frmChart::copyPicture);
    new QShortcut(QKeySequence::Print, this, this, &frmChart::print);
    new QShortcut(QKeySequence(Qt::Key_Escape), this, this, &QWidget::close);
    addGuideKey(this, QStringLiteral("chart"));
    // Most of a small screen (its figures readable at 150 % on 1024×768), at most 900×700.
    const QRect room = (owner ? owner->screen() : QGuiApplication::primaryScreen())->availableGeometry();
    resize(std::min(room.width() * 17 / 20, 900), std::min(room.height() * 4 / 5, 700));
    move(room.center() - rect().center());
}

void frmChart::showPicture(std::shared_ptr<const output::ChartPicture> picture) {
    view->setPicture(std::move(picture));
    show();
    raise();
    activateWindow();
    view->setFocus(Qt::OtherFocusReason);
}

bool frmChart::firstPage() const {
    return chkFirstPage->isChecked();
}

void frmChart::copyPicture() {
    if (!view->picture()) return;
    // Twice the window's size: sharp when pasted into a document and scaled down.
    QGuiApplication::clipboard()->setImage(view->image(view->size() * 2));
}

bool frmChart::printOn(QPrinter& printer) const {
    if (!view->picture()) return false;
    QPainter p;
    if (!p.begin(&printer)) return false;
    output::paintChart(p, QRectF(QPointF(0, 0), printer.pageLayout().paintRectPixels(printer.resolution()).size()),
                       *view->picture(), app::printFont());
    return p.end();
}

void frmChart::print() {
    if (!view->picture()) return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(view->picture()->title);
    printer.setPageOrientation(QPageLayout::Landscape);
    QPrintDialog dialog(&printer, this);
    dialog.setWindowTitle(QStringLiteral("打印图表"));
    if (dialog.exec() != QDialog::Accepted) return;
    if (!printOn(printer)) app::showMessage(this, QStringLiteral("打印图表失败：无法在打印机上绘制页面"));
}

bool frmChart::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    if (app::helpFromSystemMenu(this, eventType, message)) {
        *result = 0;
        return true;
    }
    return QWidget::nativeEvent(eventType, message, result);
}

}  // namespace faq::ui
