#include "table_pages.h"

#include <QFontMetricsF>
#include <QHash>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QTextLayout>
#include <algorithm>
#include <cmath>
#include <numeric>

namespace faq::output {

namespace {

constexpr int kCheckEvery = 256;  // rows between two looks at the stop flag
constexpr qreal kMarginMm = 15;
constexpr int kWrap = Qt::TextWordWrap | Qt::TextWrapAnywhere;
constexpr int kCacheLimit = 50000;  // distinct texts of a column whose widths are kept

void check(const std::atomic<bool>* stop) {
    if (stop && stop->load()) throw OutputCancelled();
}

// A font of size points at resolution, in pixels: laid out once, painted alike on any
// device the painter is scaled to. Unhinted, so that its widths do not depend on the device.
QFont pixelFont(QFont f, qreal points, int resolution, bool bold) {
    f.setPixelSize(std::max(1, static_cast<int>(std::lround(points * resolution / 72.0))));
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setBold(bold);
    return f;
}

// A cell's text wrapped into lines of width (a word moves to the next line whole where it
// can, a longer one breaks anywhere); the same layout measures the cell and paints it.
struct CellLines {
    QTextLayout layout;
    std::vector<std::pair<qreal, qreal>> lines;  // each line's top and bottom
    qreal height = 0;

    CellLines(const QString& text, const QFont& font, qreal width, bool alignRight) : layout(text, font) {
        QTextOption option(alignRight ? Qt::AlignRight : Qt::AlignLeft);
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.setCacheEnabled(true);
        layout.beginLayout();
        for (QTextLine l = layout.createLine(); l.isValid(); l = layout.createLine()) {
            l.setLineWidth(std::max<qreal>(width, 1));
            l.setPosition(QPointF(0, height));
            lines.emplace_back(height, height + l.height());
            height += l.height();
        }
        layout.endLayout();
    }
};

// A copy of f with a font data of its own: a font shared with another thread would look
// up its glyphs in two threads' font caches at once (a page is painted on the window's
// thread while the worker lays out the next ones with the table's fonts).
QFont ownCopy(const QFont& f) {
    QFont copy(f);
    copy.setPixelSize(f.pixelSize());  // detaches
    return copy;
}

bool breaksLine(const QString& text) {
    return text.contains(QChar::LineSeparator);
}

}  // namespace

MeasuredTable::MeasuredTable(const PrintedTable& t, int resolution, const std::atomic<bool>* stop,
                             WriteProgress* progress, FontCheck* fonts)
    : mResolution(resolution),
      mTitle(t.title),
      mLines(t.lines),
      mCaptions(t.captions),
      mTotalLast(t.totalLast),
      mSetApart(t.setApart),
      mChart(t.chart),
      mFont(t.font),
      mBody(pixelFont(t.font, t.font.pointSizeF(), resolution, false)),
      mBold(pixelFont(t.font, t.font.pointSizeF(), resolution, true)),
      mTitleFont(pixelFont(t.font, t.font.pointSizeF() * 1.6, resolution, true)) {
    mColumns = static_cast<size_t>(t.captions.size());
    for (size_t c = 0; c < mColumns; ++c) mRight.push_back(c < t.alignRight.size() && t.alignRight[c]);
    const QFontMetricsF m(mBody), mb(mBold);
    mPad = m.height() * 0.3;
    mLine = m.height();
    mAscent = m.ascent();
    mBoldAscent = mb.ascent();
    mTitleLine = QFontMetricsF(mTitleFont).height();
    mNatural.assign(mColumns, 0);
    for (size_t c = 0; c < mColumns; ++c) mNatural[c] = mb.horizontalAdvance(t.captions[static_cast<int>(c)]);
    if (fonts) {
        for (const QString& text : QStringList{t.title, QStringLiteral("第 0123456789 页 共")} + t.lines + t.captions)
            fonts->add(text);
        if (t.chart) {
            fonts->add(t.chart->title + t.chart->lines.join(QString()) + QStringLiteral("原值（按使用部门开始年份）"));
            for (const auto* bars : {&t.chart->departments, &t.chart->years})
                for (const ChartBar& b : *bars) fonts->add(b.label + b.figure);
        }
    }
    mRows = t.rows ? t.rows->recordCount() : 0;
    const size_t fields = t.rows ? std::min(mColumns, t.rows->fieldCount()) : 0;
    mStarts.reserve(mRows * mColumns + 1);
    mAdvance.reserve(mRows * mColumns);
    // A text met before in its column (a date, a department) is neither measured nor
    // checked again.
    std::vector<QHash<QString, float>> seen(mColumns);
    for (size_t r = 0; r < mRows; ++r) {
        if (r % kCheckEvery == 0) {
            check(stop);
            if (progress) progress->at(WriteProgress::Measuring, r, mRows);
        }
        for (size_t c = 0; c < mColumns; ++c) {
            QString text;
            if (c < fields) {
                const data::Value v = t.rows->value(r, c);
                text = c < t.formats.size() && t.formats[c] ? t.formats[c](v) : QString::fromStdString(v.toString());
            }
            mStarts.push_back(static_cast<quint32>(mTexts.size()));
            mTexts += text;
            float width = 0;
            if (total(r)) {
                width = static_cast<float>(mb.horizontalAdvance(text));
                if (fonts) fonts->add(text);
            } else if (auto known = seen[c].constFind(text); known != seen[c].cend()) {
                width = *known;
            } else {
                width = static_cast<float>(m.horizontalAdvance(text));
                if (fonts) fonts->add(text);
                if (seen[c].size() >= kCacheLimit) seen[c].clear();
                seen[c].insert(text, width);
            }
            mAdvance.push_back(width);
            mNatural[c] = std::max<qreal>(mNatural[c], width);
        }
    }
    mStarts.push_back(static_cast<quint32>(mTexts.size()));
    if (progress) progress->at(WriteProgress::Measuring, mRows, mRows);
    for (qreal& w : mNatural) w = std::ceil(w + 2 * mPad + 1);
}

QString MeasuredTable::cell(size_t r, size_t c) const {
    const size_t i = r * mColumns + c;
    return QString::fromRawData(mTexts.constData() + mStarts[i], static_cast<qsizetype>(mStarts[i + 1] - mStarts[i]));
}

QPageLayout MeasuredTable::preferredLayout() const {
    const QMarginsF margins(kMarginMm, kMarginMm, kMarginMm, kMarginMm);
    const QPageLayout portrait(QPageSize(QPageSize::A4), QPageLayout::Portrait, margins, QPageLayout::Millimeter);
    QPageLayout landscape = portrait;
    landscape.setOrientation(QPageLayout::Landscape);
    const qreal need = std::accumulate(mNatural.begin(), mNatural.end(), qreal(0));
    const int narrow = portrait.paintRectPixels(mResolution).width();
    return need > narrow && landscape.paintRectPixels(mResolution).width() > narrow ? landscape : portrait;
}

TablePages::TablePages(std::shared_ptr<const MeasuredTable> cells, const QPageLayout& layout)
    : mCells(std::move(cells)), mLayout(layout) {
    const MeasuredTable& t = *mCells;
    mPage = QRectF(QPointF(0, 0), QSizeF(layout.paintRectPixels(t.mResolution).size()));
    // The page's width shared out. With room to spare every column widens alike. Without,
    // the number columns keep the width their widest value needs, and the texts share what
    // is left: a text narrower than its fair share keeps its width, the others divide the
    // rest equally and wrap. Only numbers wider than the page itself are ever wrapped.
    const std::vector<qreal>& natural = t.mNatural;
    const qreal room = mPage.width(), totalWidth = std::accumulate(natural.begin(), natural.end(), qreal(0));
    mWidths = natural;
    const auto scaled = [&] {
        for (qreal& w : mWidths) w *= room / totalWidth;
    };
    if (totalWidth > 0 && totalWidth <= room) {
        scaled();
    } else if (totalWidth > room) {
        qreal fixed = 0;
        std::vector<size_t> texts;
        for (size_t c = 0; c < mWidths.size(); ++c) {
            if (t.mRight[c])
                fixed += natural[c];
            else
                texts.push_back(c);
        }
        const qreal minimum = 4 * t.mLine + 2 * t.mPad;  // a few characters a line, at the least
        qreal left = room - fixed;
        if (texts.empty() || left < minimum * static_cast<qreal>(texts.size())) {
            scaled();
        } else {
            std::sort(texts.begin(), texts.end(), [&](size_t a, size_t b) { return natural[a] < natural[b]; });
            for (size_t i = 0; i < texts.size(); ++i) {
                const qreal share = left / static_cast<qreal>(texts.size() - i);
                mWidths[texts[i]] = std::max(minimum, std::min(natural[texts[i]], share));
                left -= mWidths[texts[i]];
            }
        }
    }
    for (size_t c = 0; c < mWidths.size(); ++c) {
        const QString& caption = t.mCaptions[static_cast<int>(c)];
        const qreal inner = mWidths[c] - 2 * t.mPad;
        const qreal h = QFontMetricsF(t.mBold).horizontalAdvance(caption) <= inner
                            ? t.mLine
                            : std::max(t.mLine, CellLines(caption, t.mBold, inner, false).height);
        mHeaderHeight = std::max(mHeaderHeight, h);
    }
    mHeaderHeight += 2 * t.mPad;
    mHeadBlock = t.mTitleLine + t.mPad * 2 + static_cast<qreal>(t.mLines.size()) * t.mLine + t.mLine;
    mFooter = t.mLine * 2;
}

qreal TablePages::cellHeight(size_t r, size_t c) const {
    const MeasuredTable& t = *mCells;
    const qreal inner = mWidths[c] - 2 * t.mPad;
    const QString text = t.cell(r, c);
    if (t.advance(r, c) <= inner && !breaksLine(text)) return t.mLine;
    return std::max(t.mLine, CellLines(text, t.total(r) ? t.mBold : t.mBody, inner, t.mRight[c]).height);
}

// Where a piece of row r that begins at from and may reach limit ends: no line of any cell
// is cut, and the piece holds at least one line.
qreal TablePages::cut(size_t r, qreal from, qreal limit) const {
    const MeasuredTable& t = *mCells;
    std::vector<std::vector<std::pair<qreal, qreal>>> cells;
    for (size_t c = 0; c < mWidths.size(); ++c)
        cells.push_back(
            CellLines(t.cell(r, c), t.total(r) ? t.mBold : t.mBody, mWidths[c] - 2 * t.mPad, t.mRight[c]).lines);
    qreal end = limit;
    for (bool moved = true; moved;) {
        moved = false;
        for (const auto& lines : cells)
            for (const auto& [top, bottom] : lines)
                if (top >= from && top < end && bottom > limit) {
                    end = top;
                    moved = true;
                }
    }
    if (end > from) return end;
    // Not even one whole line fits: the piece takes the first line of each cell.
    qreal first = limit;
    for (const auto& lines : cells)
        for (const auto& [top, bottom] : lines)
            if (top >= from) {
                first = std::max(first, bottom);
                break;
            }
    return first;
}

void TablePages::layOut(const std::atomic<bool>* stop, WriteProgress* progress) {
    const MeasuredTable& t = *mCells;
    const size_t rows = t.mRows;
    const qreal pad2 = 2 * t.mPad, bottom = mPage.height() - mFooter;
    std::vector<Piece> page;
    qreal y = mHeadBlock + mHeaderHeight;
    const auto newPage = [&] {
        std::lock_guard<std::mutex> hold(mLock);
        mPages.push_back(std::move(page));
        page.clear();
        y = mHeaderHeight;
    };
    for (size_t r = 0; r < rows; ++r) {
        if (r % kCheckEvery == 0) {
            check(stop);
            if (progress) progress->at(WriteProgress::LayingOut, r, rows);
        }
        qreal h = 0;
        for (size_t c = 0; c < mWidths.size(); ++c) h = std::max(h, cellHeight(r, c));
        const bool oneLine = h <= t.mLine;
        const bool fresh = page.empty();
        if (y + h + pad2 > bottom && !fresh && mHeaderHeight + h + pad2 <= bottom) newPage();
        if (y + h + pad2 <= bottom) {
            page.push_back({r, 0, h, oneLine});
            y += h + pad2;
            continue;
        }
        // Taller than a page: as much of it as fits here (a few lines at least, or it begins
        // on the next page), the rest on the pages after.
        if (!page.empty() && bottom - y - pad2 < 3 * t.mLine) newPage();
        for (qreal from = 0; from < h;) {
            const qreal to = std::min(h, cut(r, from, from + (bottom - y - pad2)));
            page.push_back({r, from, to, false});
            y += to - from + pad2;
            from = to;
            if (from < h) newPage();
        }
    }
    std::lock_guard<std::mutex> hold(mLock);
    mPages.push_back(std::move(page));
    mComplete = true;
    if (progress) progress->at(WriteProgress::LayingOut, rows, rows);
}

int TablePages::pagesReady() const {
    std::lock_guard<std::mutex> hold(mLock);
    return static_cast<int>(mPages.size()) + lead();
}

bool TablePages::complete() const {
    std::lock_guard<std::mutex> hold(mLock);
    return mComplete;
}

void TablePages::drawHeader(QPainter& p, qreal y, const PaintFonts& fonts) const {
    const MeasuredTable& t = *mCells;
    p.setFont(fonts.bold);
    p.fillRect(QRectF(0, y, std::accumulate(mWidths.begin(), mWidths.end(), 0.0), mHeaderHeight),
               QColor(0xE4, 0xE4, 0xE4));
    qreal x = 0;
    for (size_t c = 0; c < mWidths.size(); ++c) {
        const QRectF cell(x, y, mWidths[c], mHeaderHeight);
        p.drawRect(cell);
        p.drawText(cell.adjusted(t.mPad, t.mPad, -t.mPad, -t.mPad), Qt::AlignHCenter | Qt::AlignVCenter | kWrap,
                   t.mCaptions[static_cast<int>(c)]);
        x += mWidths[c];
    }
}

// One piece of a row at y: a row of one line is painted from what was measured, a cell that
// wraps through its lines that fall in the piece.
void TablePages::drawPiece(QPainter& p, qreal y, const Piece& piece, const PaintFonts& fonts) const {
    const MeasuredTable& t = *mCells;
    const size_t r = piece.row;
    const bool total = t.total(r);
    const QFont& font = total ? fonts.bold : fonts.body;
    p.setFont(font);
    const qreal h = piece.to - piece.from + 2 * t.mPad;
    const qreal width = std::accumulate(mWidths.begin(), mWidths.end(), 0.0);
    if (total) p.fillRect(QRectF(0, y, width, h), QColor(0xF2, 0xF2, 0xF2));
    const qreal ascent = total ? t.mBoldAscent : t.mAscent;
    qreal x = 0;
    for (size_t c = 0; c < mWidths.size(); ++c) {
        p.drawRect(QRectF(x, y, mWidths[c], h));
        const qreal inner = mWidths[c] - 2 * t.mPad;
        const QString text = t.cell(r, c);
        if (piece.oneLine || (t.advance(r, c) <= inner && !breaksLine(text))) {
            if (piece.from == 0 && !text.isEmpty()) {
                const qreal left = t.mRight[c] ? x + mWidths[c] - t.mPad - t.advance(r, c) : x + t.mPad;
                p.drawText(QPointF(left, y + t.mPad + ascent), text);
            }
        } else {
            const CellLines cellLines(text, font, inner, t.mRight[c]);
            for (int i = 0; i < cellLines.layout.lineCount(); ++i) {
                const qreal top = cellLines.lines[static_cast<size_t>(i)].first;
                if (top >= piece.from && top < piece.to)
                    cellLines.layout.lineAt(i).draw(&p, QPointF(x + t.mPad, y + t.mPad - piece.from));
            }
        }
        x += mWidths[c];
    }
    if (total && piece.from == 0) {  // set apart by a second rule above it
        const qreal gap = t.mPad * 0.4;
        p.drawLine(QPointF(0, y - gap), QPointF(x, y - gap));
    }
}

void TablePages::paintPage(QPainter& p, int page) const {
    const MeasuredTable& t = *mCells;
    std::vector<Piece> pieces;
    int pages = 0;
    bool complete = false;
    if (lead() && page == 0) {
        // The picture, on the printable area whole.
        paintChart(p, QRectF(QPointF(0, 0), mPage.size()), *t.chart(), t.font());
        return;
    }
    const int tablePage = page - lead();
    {
        std::lock_guard<std::mutex> hold(mLock);
        if (tablePage < 0 || tablePage >= static_cast<int>(mPages.size())) return;
        pieces = mPages[static_cast<size_t>(tablePage)];
        pages = static_cast<int>(mPages.size()) + lead();
        complete = mComplete;
    }
    const PaintFonts fonts{ownCopy(t.mBody), ownCopy(t.mBold), ownCopy(t.mTitleFont)};
    p.save();
    p.setPen(QPen(Qt::black, std::max<qreal>(1, t.mPad * 0.12)));
    qreal y = 0;
    if (tablePage == 0) {
        p.setFont(fonts.title);
        p.drawText(QRectF(0, 0, mPage.width(), t.mTitleLine), Qt::AlignHCenter | Qt::AlignTop, t.mTitle);
        y = t.mTitleLine + t.mPad * 2;
        p.setFont(fonts.body);
        for (const QString& line : t.mLines) {
            p.drawText(QRectF(0, y, mPage.width(), t.mLine), Qt::AlignLeft | Qt::AlignTop, line);
            y += t.mLine;
        }
        y = mHeadBlock;
    }
    drawHeader(p, y, fonts);
    y += mHeaderHeight;
    for (const Piece& piece : pieces) {
        drawPiece(p, y, piece, fonts);
        y += piece.to - piece.from + 2 * t.mPad;
    }
    p.setFont(fonts.body);
    const QString footer = complete ? QStringLiteral("第 %1 页 共 %2 页").arg(page + 1).arg(pages)
                                    : QStringLiteral("第 %1 页").arg(page + 1);
    p.drawText(QRectF(0, mPage.height() - t.mLine, mPage.width(), t.mLine), Qt::AlignHCenter | Qt::AlignBottom, footer);
    p.restore();
}

int paintPages(QPagedPaintDevice& device, int resolution, const TablePages& pages, const std::atomic<bool>* stop,
               WriteProgress* progress, const std::function<void()>& abandon) {
    const int count = pages.pagesReady();
    const qreal scale = static_cast<qreal>(resolution) / pages.resolution();
    QPainter p;
    if (!p.begin(&device)) throw OutputError("无法开始绘制页面");
    try {
        for (int page = 0; page < count; ++page) {
            check(stop);
            if (progress) progress->at(WriteProgress::Painting, static_cast<size_t>(page), static_cast<size_t>(count));
            if (page > 0 && !device.newPage()) throw OutputError("无法开始新的一页");
            p.save();
            p.scale(scale, scale);
            pages.paintPage(p, page);
            p.restore();
        }
    } catch (...) {
        if (abandon) abandon();
        throw;
    }
    if (progress) {
        progress->rows = pages.cells()->rowCount();
        progress->at(WriteProgress::Painting, static_cast<size_t>(count), static_cast<size_t>(count));
    }
    if (!p.end()) throw OutputError("无法完成页面");
    return count;
}

}  // namespace faq::output
