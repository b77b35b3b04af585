// The print preview: the pages of a table as the layout fills them, each painted when it
// comes into view, with the tools of a print preview (zoom, fit width or page, pages,
// orientation, page setup, 打印). The window that opens it lays the pages out on the
// worker and prints them; this window only paints.
#pragma once

#include <QAbstractScrollArea>
#include <QDialog>
#include <QPageLayout>
#include <QPointer>
#include <QTimer>
#include <memory>

#include "export/table_pages.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QPrinter;
class QPushButton;
class QToolBar;

namespace faq::ui {

// The pages one under the other, centred, at a zoom; only those in view are painted.
class PageView : public QAbstractScrollArea {
    Q_OBJECT
    enum class Fit { None, Width, Page };

public:
    explicit PageView(QWidget* parent = nullptr);
    void setPages(std::shared_ptr<const output::TablePages> pages);
    const output::TablePages* pages() const { return mPages.get(); }
    const std::shared_ptr<const output::TablePages>& pagesShared() const { return mPages; }
    // Pages laid out since the last look: the scroll range grows, the footers change.
    void refresh();
    int pageCount() const { return mCount; }
    // The page at the middle of the view (0-based).
    int currentPage() const;
    void showPage(int page);
    qreal zoom() const { return mZoom; }
    void setZoom(qreal zoom);
    void fitWidth() { fit(Fit::Width); }
    void fitPage() { fit(Fit::Page); }
    // The pages painted by the last paint of the view (a test looks).
    int pagesPainted() const { return mPainted; }

signals:
    void zoomChanged(qreal zoom);
    void currentPageChanged(int page);

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void wheelEvent(QWheelEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    QSizeF pageSize() const;  // one page at the zoom, in the view's pixels
    qreal gap() const { return 12; }
    void updateRange();
    void applyFit();
    void fit(Fit how);

    std::shared_ptr<const output::TablePages> mPages;
    int mCount = 0;
    bool mComplete = false;
    qreal mZoom = 1;
    Fit mFit = Fit::Width;
    int mPainted = 0;
    int mLastCurrent = -1;
};

class PrintPreview : public QDialog {
    Q_OBJECT
public:
    // printer: the pages' printer, its page layout that of pages; pages are being laid out.
    PrintPreview(std::shared_ptr<QPrinter> printer, std::shared_ptr<const output::TablePages> pages,
                 QWidget* parent = nullptr);
    // The same table laid out again (another orientation or page setup).
    void setPages(std::shared_ptr<const output::TablePages> pages);
    PageView* view() const { return mView; }
    QToolBar* tools() const { return mTools; }
    const std::shared_ptr<QPrinter>& printer() const { return mPrinter; }
    // Whether the pages are laid out whole (打印 waits for that).
    bool complete() const;
    // 打印 in the preview: the system's print dialog, then printRequested. Test's stand-in
    // for the dialog: returns whether to print.
    void print();
    void setPrintDialog(std::function<bool(QPrinter&)> dialog) { mPrintDialog = std::move(dialog); }
    // What the layout running says of itself, for the line under the pages.
    void setProgress(std::shared_ptr<const output::WriteProgress> progress) { mProgress = std::move(progress); }
    QLabel* busyLine() const { return mBusy; }
    QPushButton* cancelButton() const { return mCancel; }
    // Looks at once for pages laid out (it looks every tenth of a second anyway).
    void refresh();

signals:
    // The printer's page layout changed (orientation, page setup): the pages are laid out again.
    void layoutChanged(const QPageLayout& layout);
    // The print dialog was accepted: the window prints the pages on the printer.
    void printRequested();
    // 取消 (or Esc, or closing the preview) while the pages are being laid out.
    void cancelRequested();

protected:
    void reject() override;

private:
    void pageSetup();
    void setOrientation(QPageLayout::Orientation o);
    void showZoom(qreal zoom);
    void showCurrent(int page);

    std::shared_ptr<QPrinter> mPrinter;
    PageView* mView;
    QToolBar* mTools;
    QComboBox* mZoomBox;
    QLineEdit* mPageBox;
    QLabel* mCountLabel;
    QWidget* mBusyRow;
    QLabel* mBusy;
    QPushButton* mCancel;
    std::shared_ptr<const output::WriteProgress> mProgress;
    QAction *mPortrait, *mLandscape, *mPrint, *mFirst, *mPrevious, *mNext, *mLast;
    QTimer mPoll;
    std::function<bool(QPrinter&)> mPrintDialog;
};

}  // namespace faq::ui
