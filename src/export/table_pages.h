// A table's pages: every cell's text formatted and measured once (MeasuredTable), then laid
// out on pages of one size and orientation (TablePages), page after page, so that the first
// pages can be shown while the rest are still being laid out. Painting a page reads what the
// layout kept; nothing is measured again but the cells that wrap.
#pragma once

#include <QFont>
#include <QPageLayout>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "page_fonts.h"
#include "printed_table.h"
#include "workbook.h"

class QPainter;
class QPagedPaintDevice;

namespace faq::output {

// Every text of the pages at one resolution (pixels per inch), in fonts sized in those
// pixels, so that the same layout paints alike on a printer, a PDF and the screen.
class MeasuredTable {
public:
    // Throws OutputCancelled when *stop turns true. Every text the pages show goes to fonts,
    // when given, in the same pass.
    MeasuredTable(const PrintedTable& t, int resolution, const std::atomic<bool>* stop = nullptr,
                  WriteProgress* progress = nullptr, FontCheck* fonts = nullptr);

    int resolution() const { return mResolution; }
    size_t rowCount() const { return mRows; }
    // A4 with 15 mm margins, portrait unless the columns fit only when the page lies.
    QPageLayout preferredLayout() const;
    // The picture painted on a page before the table's (none: nullptr), in the table's font.
    const std::shared_ptr<const ChartPicture>& chart() const { return mChart; }
    const QFont& font() const { return mFont; }

private:
    friend class TablePages;
    QString cell(size_t r, size_t c) const;  // shares the text, copies nothing
    float advance(size_t r, size_t c) const { return mAdvance[r * mColumns + c]; }
    bool total(size_t r) const { return (mTotalLast && r + 1 == mRows) || (r < mSetApart.size() && mSetApart[r]); }

    int mResolution;
    size_t mRows = 0, mColumns = 0;
    QString mTitle;
    QStringList mLines, mCaptions;
    std::vector<bool> mRight;
    bool mTotalLast = false;
    std::vector<bool> mSetApart;
    std::shared_ptr<const ChartPicture> mChart;
    QFont mFont;
    QFont mBody, mBold, mTitleFont;
    qreal mPad = 0, mLine = 0, mTitleLine = 0, mAscent = 0, mBoldAscent = 0;
    QString mTexts;                // every cell's text, one after another
    std::vector<quint32> mStarts;  // where each cell's text begins, and one more for the end
    std::vector<float> mAdvance;   // each cell's width on one line
    std::vector<qreal> mNatural;   // each column's widest text with its padding
};

// t laid out on pages of one layout. layOut fills the pages one after another; pagesReady,
// complete and paintPage may be called from another thread meanwhile, for the pages filled.
class TablePages {
public:
    TablePages(std::shared_ptr<const MeasuredTable> cells, const QPageLayout& layout);

    // Throws OutputCancelled when *stop turns true (the pages filled so far stay).
    void layOut(const std::atomic<bool>* stop = nullptr, WriteProgress* progress = nullptr);

    const QPageLayout& pageLayout() const { return mLayout; }
    const std::shared_ptr<const MeasuredTable>& cells() const { return mCells; }
    int resolution() const { return mCells->resolution(); }
    // The pages ready, the picture's first when the table has one.
    int pagesReady() const;
    bool complete() const;
    // Paints one page that is ready: p's origin at the top left of the page's printable
    // area, one unit a pixel at the table's resolution (the caller scales p to its device).
    // The footer says "共 N 页" only when the layout is complete.
    void paintPage(QPainter& p, int page) const;

private:
    struct Piece {
        size_t row;
        qreal from, to;  // the slice of the row's lines this piece holds
        bool oneLine;    // no cell of the row wraps
    };
    struct PaintFonts {
        QFont body, bold, title;
    };
    int lead() const { return mCells->chart() ? 1 : 0; }  // the picture's page before the table's
    qreal cellHeight(size_t r, size_t c) const;
    qreal cut(size_t r, qreal from, qreal limit) const;
    void drawPiece(QPainter& p, qreal y, const Piece& piece, const PaintFonts& fonts) const;
    void drawHeader(QPainter& p, qreal y, const PaintFonts& fonts) const;

    std::shared_ptr<const MeasuredTable> mCells;
    QPageLayout mLayout;
    QRectF mPage;  // the printable area, in pixels
    std::vector<qreal> mWidths;
    qreal mHeaderHeight = 0, mHeadBlock = 0, mFooter = 0;

    mutable std::mutex mLock;                // guards what follows
    std::vector<std::vector<Piece>> mPages;  // the pages filled
    bool mComplete = false;
};

// Paints every page of pages (laid out whole) on device, each scaled from the table's
// resolution to resolution; returns the number of pages. Throws OutputCancelled when *stop
// turns true, OutputError when painting fails; abandon, when given, is called first, while
// the device is still open (a printer's job is then discarded, not sent half done).
int paintPages(QPagedPaintDevice& device, int resolution, const TablePages& pages,
               const std::atomic<bool>* stop = nullptr, WriteProgress* progress = nullptr,
               const std::function<void()>& abandon = {});

}  // namespace faq::output
