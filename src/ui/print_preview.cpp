#include "print_preview.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScrollBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace faq::ui {

namespace {

constexpr qreal kMinZoom = 0.1, kMaxZoom = 4, kZoomStep = 1.25;
constexpr int kPollMs = 100;  // how often the preview looks for pages laid out meanwhile

QIcon previewIcon(const char* name) {
    QIcon icon;
    for (const char* size : {"24", "32"})
        icon.addFile(QStringLiteral(":/qt-project.org/dialogs/qprintpreviewdialog/images/%1-%2.png")
                         .arg(QLatin1String(name), QLatin1String(size)));
    return icon;
}

QString percent(qreal zoom) {
    return QStringLiteral("%1%").arg(std::lround(zoom * 100));
}

}  // namespace

PageView::PageView(QWidget* parent) : QAbstractScrollArea(parent) {
    setObjectName(QStringLiteral("pageView"));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAutoFillBackground(false);
    // Always there, so that fitting the width does not make it come and go.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    verticalScrollBar()->setSingleStep(24);
    horizontalScrollBar()->setSingleStep(24);
}

void PageView::setPages(std::shared_ptr<const output::TablePages> pages) {
    const int current = currentPage();
    mPages = std::move(pages);
    mCount = mPages ? mPages->pagesReady() : 0;
    mComplete = mPages && mPages->complete();
    applyFit();
    updateRange();
    showPage(std::min(current, std::max(0, mCount - 1)));
    viewport()->update();
}

void PageView::refresh() {
    if (!mPages) return;
    const int count = mPages->pagesReady();
    const bool complete = mPages->complete();
    if (count == mCount && complete == mComplete) return;
    mCount = count;
    mComplete = complete;
    updateRange();
    viewport()->update();  // the footers say 共 N 页 once the count is known
}

QSizeF PageView::pageSize() const {
    if (!mPages) return QSizeF(0, 0);
    const QSizeF points = mPages->pageLayout().fullRectPoints().size();
    return points * (logicalDpiX() / 72.0) * mZoom;
}

void PageView::updateRange() {
    const QSizeF page = pageSize();
    const int height = static_cast<int>(std::ceil(mCount * (page.height() + gap()) + gap()));
    const int width = static_cast<int>(std::floor(page.width() + 2 * gap()));
    verticalScrollBar()->setRange(0, std::max(0, height - viewport()->height()));
    verticalScrollBar()->setPageStep(viewport()->height());
    horizontalScrollBar()->setRange(0, std::max(0, width - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
}

int PageView::currentPage() const {
    if (mCount == 0) return 0;
    const qreal step = pageSize().height() + gap();
    if (step <= 0) return 0;
    const qreal middle = verticalScrollBar()->value() + viewport()->height() / 2.0;
    return std::clamp(static_cast<int>(middle / step), 0, mCount - 1);
}

void PageView::showPage(int page) {
    if (mCount == 0) return;
    page = std::clamp(page, 0, mCount - 1);
    const qreal step = pageSize().height() + gap();
    verticalScrollBar()->setValue(static_cast<int>(std::lround(page * step)));
    viewport()->update();
    if (page != mLastCurrent) {
        mLastCurrent = page;
        emit currentPageChanged(page);
    }
}

void PageView::setZoom(qreal zoom) {
    mFit = Fit::None;
    zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    if (std::abs(zoom - mZoom) < 1e-6) return;
    const int page = currentPage();
    mZoom = zoom;
    updateRange();
    showPage(page);
    emit zoomChanged(mZoom);
}

void PageView::applyFit() {
    if (!mPages || mFit == Fit::None) return;
    const QSizeF points = mPages->pageLayout().fullRectPoints().size() * (logicalDpiX() / 72.0);
    if (points.width() <= 0 || points.height() <= 0) return;
    qreal zoom = (viewport()->width() - 2 * gap()) / points.width();
    if (mFit == Fit::Page) zoom = std::min(zoom, (viewport()->height() - 2 * gap()) / points.height());
    zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    if (std::abs(zoom - mZoom) < 1e-6) return;
    mZoom = zoom;
    emit zoomChanged(mZoom);
}

void PageView::fit(Fit how) {
    const int page = currentPage();
    mFit = how;
    applyFit();
    updateRange();
    showPage(page);
}

void PageView::resizeEvent(QResizeEvent* e) {
    const int page = currentPage();
    QAbstractScrollArea::resizeEvent(e);
    const qreal before = mZoom;
    applyFit();
    updateRange();
    if (before != mZoom) showPage(page);
}

void PageView::wheelEvent(QWheelEvent* e) {
    if (e->modifiers() & Qt::ControlModifier) {
        const int steps = e->angleDelta().y() / 120;
        if (steps != 0) setZoom(mZoom * std::pow(kZoomStep, steps));
        e->accept();
        return;
    }
    QAbstractScrollArea::wheelEvent(e);
}

void PageView::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Home) return showPage(0);
    if (e->key() == Qt::Key_End) return showPage(mCount - 1);
    QAbstractScrollArea::keyPressEvent(e);
}

void PageView::scrollContentsBy(int, int) {
    viewport()->update();
    const int page = currentPage();
    if (page != mLastCurrent) {
        mLastCurrent = page;
        emit currentPageChanged(page);
    }
}

void PageView::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    p.fillRect(viewport()->rect(), palette().color(QPalette::Dark));
    mPainted = 0;
    if (!mPages || mCount == 0) return;
    const QSizeF page = pageSize();
    const qreal step = page.height() + gap();
    const qreal top = verticalScrollBar()->value();
    const qreal left = std::max(gap(), (viewport()->width() - page.width()) / 2) - horizontalScrollBar()->value();
    const int first = std::max(0, static_cast<int>((top - gap()) / step));
    const int last = std::min(mCount - 1, static_cast<int>((top + viewport()->height()) / step));
    const QPageLayout& layout = mPages->pageLayout();
    const qreal perPoint = logicalDpiX() / 72.0 * mZoom;
    const QMarginsF margins = layout.marginsPoints();
    // The table's pixels (at its resolution) to the view's.
    const qreal scale = perPoint * 72.0 / mPages->resolution();
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    for (int i = first; i <= last; ++i) {
        const QRectF sheet(left, gap() + i * step - top, page.width(), page.height());
        p.fillRect(sheet.translated(3, 3), QColor(0, 0, 0, 60));
        p.fillRect(sheet, Qt::white);
        p.save();
        p.setClipRect(sheet);
        p.translate(sheet.left() + margins.left() * perPoint, sheet.top() + margins.top() * perPoint);
        p.scale(scale, scale);
        mPages->paintPage(p, i);
        p.restore();
        ++mPainted;
    }
}

PrintPreview::PrintPreview(std::shared_ptr<QPrinter> printer, std::shared_ptr<const output::TablePages> pages,
                           QWidget* parent)
    : QDialog(parent), mPrinter(std::move(printer)), mView(new PageView(this)), mTools(new QToolBar(this)) {
    setObjectName(QStringLiteral("printPreview"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(mTools);
    layout->addWidget(mView, 1);
    // While the pages are being laid out: how far, and 取消.
    mBusyRow = new QWidget(this);
    auto* busyRow = new QHBoxLayout(mBusyRow);
    busyRow->setContentsMargins(6, 2, 6, 2);
    mBusy = new QLabel(mBusyRow);
    mBusy->setObjectName(QStringLiteral("lblBusy"));
    mCancel = new QPushButton(QStringLiteral("取消"), mBusyRow);
    mCancel->setObjectName(QStringLiteral("btnCancel"));
    busyRow->addWidget(mBusy, 1);
    busyRow->addWidget(mCancel);
    layout->addWidget(mBusyRow);
    connect(mCancel, &QPushButton::clicked, this, &PrintPreview::cancelRequested);
    mTools->setObjectName(QStringLiteral("previewTools"));
    mTools->setIconSize(QSize(24, 24));
    const auto add = [this](const char* icon, const QString& text, const QKeySequence& key = {}) {
        QAction* a = mTools->addAction(previewIcon(icon), text);
        a->setToolTip(key.isEmpty() ? text
                                    : text + QStringLiteral("（") + key.toString(QKeySequence::NativeText) +
                                          QStringLiteral("）"));
        if (!key.isEmpty()) {
            a->setShortcut(key);
            a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
            addAction(a);
        }
        return a;
    };
    connect(add("zoom-fit-width", QStringLiteral("适合宽度")), &QAction::triggered, mView, &PageView::fitWidth);
    connect(add("zoom-fit-page", QStringLiteral("适合整页")), &QAction::triggered, mView, &PageView::fitPage);
    mZoomBox = new QComboBox(mTools);
    mZoomBox->setObjectName(QStringLiteral("zoomBox"));
    mZoomBox->setEditable(true);
    mZoomBox->setToolTip(QStringLiteral("缩放比例"));
    for (int z : {25, 50, 75, 100, 125, 150, 200, 400}) mZoomBox->addItem(QStringLiteral("%1%").arg(z));
    mZoomBox->setInsertPolicy(QComboBox::NoInsert);
    mTools->addWidget(mZoomBox);
    const auto zoomFromBox = [this] {
        QString text = mZoomBox->currentText().trimmed();
        text.remove(QLatin1Char('%'));
        bool ok = false;
        const double z = text.toDouble(&ok);
        if (ok && z > 0) mView->setZoom(z / 100);
        showZoom(mView->zoom());
    };
    connect(mZoomBox, &QComboBox::textActivated, this, zoomFromBox);
    connect(add("zoom-out", QStringLiteral("缩小"), QKeySequence::ZoomOut), &QAction::triggered, this,
            [this] { mView->setZoom(mView->zoom() / kZoomStep); });
    connect(add("zoom-in", QStringLiteral("放大"), QKeySequence::ZoomIn), &QAction::triggered, this,
            [this] { mView->setZoom(mView->zoom() * kZoomStep); });
    mTools->addSeparator();
    mPortrait = add("layout-portrait", QStringLiteral("纵向"));
    mLandscape = add("layout-landscape", QStringLiteral("横向"));
    for (QAction* a : {mPortrait, mLandscape}) a->setCheckable(true);
    connect(mPortrait, &QAction::triggered, this, [this] { setOrientation(QPageLayout::Portrait); });
    connect(mLandscape, &QAction::triggered, this, [this] { setOrientation(QPageLayout::Landscape); });
    mTools->addSeparator();
    mFirst = add("go-first", QStringLiteral("第一页"), QKeySequence(Qt::CTRL | Qt::Key_Home));
    mPrevious = add("go-previous", QStringLiteral("上一页"), QKeySequence(Qt::CTRL | Qt::Key_PageUp));
    mPageBox = new QLineEdit(mTools);
    mPageBox->setObjectName(QStringLiteral("pageBox"));
    mPageBox->setToolTip(QStringLiteral("当前页（输入页号后按 Enter 转到该页）"));
    mPageBox->setValidator(new QIntValidator(1, 1000000, mPageBox));
    mPageBox->setAlignment(Qt::AlignRight);
    mPageBox->setMaximumWidth(mPageBox->fontMetrics().horizontalAdvance(QStringLiteral("0000000")) + 8);
    mTools->addWidget(mPageBox);
    mCountLabel = new QLabel(mTools);
    mCountLabel->setObjectName(QStringLiteral("pageCount"));
    mTools->addWidget(mCountLabel);
    mNext = add("go-next", QStringLiteral("下一页"), QKeySequence(Qt::CTRL | Qt::Key_PageDown));
    mLast = add("go-last", QStringLiteral("最后一页"), QKeySequence(Qt::CTRL | Qt::Key_End));
    connect(mFirst, &QAction::triggered, this, [this] { mView->showPage(0); });
    connect(mPrevious, &QAction::triggered, this, [this] { mView->showPage(mView->currentPage() - 1); });
    connect(mNext, &QAction::triggered, this, [this] { mView->showPage(mView->currentPage() + 1); });
    connect(mLast, &QAction::triggered, this, [this] { mView->showPage(mView->pageCount() - 1); });
    connect(mPageBox, &QLineEdit::returnPressed, this, [this] {
        mView->showPage(mPageBox->text().toInt() - 1);
        mView->setFocus();
    });
    mTools->addSeparator();
    connect(add("page-setup", QStringLiteral("页面设置…")), &QAction::triggered, this, &PrintPreview::pageSetup);
    mPrint = add("printer", QStringLiteral("打印…"), QKeySequence::Print);
    connect(mPrint, &QAction::triggered, this, &PrintPreview::print);
    for (QAction* a : mTools->actions())
        if (auto* button = qobject_cast<QToolButton*>(mTools->widgetForAction(a))) button->setObjectName(a->text());
    connect(mView, &PageView::zoomChanged, this, &PrintPreview::showZoom);
    connect(mView, &PageView::currentPageChanged, this, &PrintPreview::showCurrent);
    connect(&mPoll, &QTimer::timeout, this, &PrintPreview::refresh);
    setPages(std::move(pages));
    mView->setFocus();
}

void PrintPreview::setPages(std::shared_ptr<const output::TablePages> pages) {
    const bool portrait = pages->pageLayout().orientation() == QPageLayout::Portrait;
    mPortrait->setChecked(portrait);
    mLandscape->setChecked(!portrait);
    mView->setPages(std::move(pages));
    showZoom(mView->zoom());
    refresh();
    mPoll.start(kPollMs);
}

bool PrintPreview::complete() const {
    return mView->pages() && mView->pages()->complete();
}

void PrintPreview::refresh() {
    mView->refresh();
    const bool done = complete();
    if (done) mPoll.stop();
    const int count = mView->pageCount();
    // Until the layout is done the count grows, and says so.
    mCountLabel->setText(done ? QStringLiteral(" / %1 ").arg(count) : QStringLiteral(" / %1… ").arg(count));
    mCountLabel->setToolTip(done ? QStringLiteral("共 %1 页").arg(count)
                                 : QStringLiteral("正在分页，已排好 %1 页").arg(count));
    for (QAction* a : {mPrint, mPortrait, mLandscape}) a->setEnabled(done);
    showCurrent(mView->currentPage());
    if (mBusyRow->isVisibleTo(this) == done) {
        mBusyRow->setVisible(!done);
        layout()->activate();  // the pages take its room at once
    }
    if (!done) {
        const QLocale zh(QLocale::Chinese, QLocale::China);
        QString rows;
        if (mProgress && mProgress->of > 0)
            rows = QStringLiteral("（%1 / %2 行）")
                       .arg(zh.toString(qulonglong(mProgress->done)), zh.toString(qulonglong(mProgress->of)));
        mBusy->setText(QStringLiteral("正在分页：已排好 %1 页%2…").arg(zh.toString(count), rows));
    }
}

void PrintPreview::reject() {
    // Closed before the pages are all laid out: the layout stops.
    if (!complete()) emit cancelRequested();
    QDialog::reject();
}

void PrintPreview::showZoom(qreal zoom) {
    mZoomBox->setEditText(percent(zoom));
}

void PrintPreview::showCurrent(int page) {
    if (!mPageBox->hasFocus()) mPageBox->setText(QString::number(mView->pageCount() > 0 ? page + 1 : 0));
    mFirst->setEnabled(page > 0);
    mPrevious->setEnabled(page > 0);
    mNext->setEnabled(page + 1 < mView->pageCount());
    mLast->setEnabled(page + 1 < mView->pageCount());
}

void PrintPreview::setOrientation(QPageLayout::Orientation o) {
    if (!complete() || !mView->pages()) return;
    mPortrait->setChecked(o == QPageLayout::Portrait);
    mLandscape->setChecked(o == QPageLayout::Landscape);
    if (mView->pages()->pageLayout().orientation() == o) return;
    mPrinter->setPageOrientation(o);
    emit layoutChanged(mPrinter->pageLayout());
}

void PrintPreview::pageSetup() {
    if (!complete() || !mView->pages()) return;
    QPageSetupDialog dialog(mPrinter.get(), this);
    dialog.setWindowTitle(QStringLiteral("页面设置"));
    if (dialog.exec() != QDialog::Accepted) return;
    if (!mPrinter->pageLayout().isEquivalentTo(mView->pages()->pageLayout()))
        emit layoutChanged(mPrinter->pageLayout());
}

void PrintPreview::print() {
    if (!complete()) return;
    bool go = false;
    if (mPrintDialog) {
        go = mPrintDialog(*mPrinter);
    } else {
        QPrintDialog dialog(mPrinter.get(), this);
        dialog.setWindowTitle(QStringLiteral("打印"));
        go = dialog.exec() == QDialog::Accepted;
    }
    if (!go) return;
    emit printRequested();
    accept();
}

}  // namespace faq::ui
