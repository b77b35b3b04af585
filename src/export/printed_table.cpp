#include "printed_table.h"

#include <QFontMetricsF>
#include <QIODevice>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QTextLayout>
#include <algorithm>
#include <cmath>
#include <numeric>

namespace faq::output {

namespace {

constexpr int kCheckEvery = 256;  // rows between two looks at the stop flag
constexpr qreal kMarginMm = 15;
constexpr int kWrap = Qt::TextWordWrap | Qt::TextWrapAnywhere;

void check(const std::atomic<bool>* stop) {
    if (stop && stop->load()) throw OutputCancelled();
}

QString cellText(const PrintedTable& t, size_t r, size_t c) {
    const data::Value v = t.rows->value(r, c);
    if (c < t.formats.size() && t.formats[c]) return t.formats[c](v);
    return QString::fromStdString(v.toString());
}

bool right(const PrintedTable& t, size_t c) {
    return c < t.alignRight.size() && t.alignRight[c];
}

// A cell's text wrapped into lines of width (a word moves to the next line whole where it
// can, a longer one breaks anywhere); the same layout measures the cell and paints it.
struct CellLines {
    QTextLayout layout;
    std::vector<std::pair<qreal, qreal>> lines;  // each line's top and bottom
    qreal height = 0;

    CellLines(const QString& text, const QFont& font, QPaintDevice* device, qreal width, bool alignRight)
        : layout(text, font, device) {
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

// The table laid out on one device: fonts, column widths and what each page holds. A row
// taller than what is left of a page goes on to the next pages, line by line; every piece
// of it is a slice [from, to) of its cells' lines.
struct Layout {
    QFont body, bold, title;
    qreal pad = 0, line = 0, titleLine = 0;
    QRectF page;
    std::vector<qreal> natural, widths, heights;  // heights: one per row, without padding
    std::vector<bool> fixedColumn;
    qreal headerHeight = 0, headBlock = 0, footer = 0;
    struct Piece {
        size_t row;
        qreal from, to;
    };
    std::vector<Piece> pieces;
    std::vector<size_t> pageStarts;  // first piece of each page

    Layout(QPaintDevice& device, const PrintedTable& t) : body(t.font), bold(t.font), title(t.font) {
        bold.setBold(true);
        title.setBold(true);
        title.setPointSizeF(t.font.pointSizeF() * 1.6);
        const QFontMetricsF m(body, &device);
        pad = m.height() * 0.3;
        line = m.height();
        titleLine = QFontMetricsF(title, &device).height();
        page = QRectF(0, 0, device.width(), device.height());
    }

    // Each column's widest text, caption included, with its padding; every text the pages
    // show goes to fonts, when given.
    void measure(QPaintDevice& device, const PrintedTable& t, const std::atomic<bool>* stop, FontCheck* fonts,
                 WriteProgress* progress = nullptr) {
        const size_t columns = static_cast<size_t>(t.captions.size());
        const QFontMetricsF m(body, &device), mb(bold, &device);
        natural.assign(columns, 0);
        for (size_t c = 0; c < columns; ++c) natural[c] = mb.horizontalAdvance(t.captions[static_cast<int>(c)]);
        if (fonts) {
            for (const QString& text :
                 QStringList{t.title, QStringLiteral("第 0123456789 页 共")} + t.lines + t.captions)
                fonts->add(text);
        }
        const size_t rows = t.rows ? t.rows->recordCount() : 0;
        for (size_t r = 0; r < rows; ++r) {
            if (r % kCheckEvery == 0) {
                check(stop);
                if (progress) progress->at(WriteProgress::Measuring, r, rows);
            }
            const QFontMetricsF& f = t.totalLast && r + 1 == rows ? mb : m;
            for (size_t c = 0; c < columns && c < t.rows->fieldCount(); ++c) {
                const QString text = cellText(t, r, c);
                if (fonts) fonts->add(text);
                natural[c] = std::max(natural[c], f.horizontalAdvance(text));
            }
        }
        for (qreal& w : natural) w = std::ceil(w + 2 * pad + 1);
    }

    qreal naturalTotal() const { return std::accumulate(natural.begin(), natural.end(), qreal(0)); }

    // The page's width shared out. With room to spare every column widens alike. Without,
    // the number columns keep the width their widest value needs, and the texts share what
    // is left: a text narrower than its fair share keeps its width, the others divide the
    // rest equally and wrap. Only numbers wider than the page itself are ever wrapped.
    void fit() {
        const qreal room = page.width(), total = naturalTotal();
        widths = natural;
        if (total <= 0 || total <= room) {
            if (total > 0)
                for (qreal& w : widths) w *= room / total;
            return;
        }
        qreal fixed = 0;
        std::vector<size_t> texts;
        for (size_t c = 0; c < widths.size(); ++c) {
            if (fixedColumn[c])
                fixed += natural[c];
            else
                texts.push_back(c);
        }
        const qreal minimum = 4 * line + 2 * pad;  // a few characters a line, at the least
        qreal left = room - fixed;
        if (texts.empty() || left < minimum * static_cast<qreal>(texts.size())) {
            for (qreal& w : widths) w *= room / total;
            return;
        }
        std::sort(texts.begin(), texts.end(), [&](size_t a, size_t b) { return natural[a] < natural[b]; });
        for (size_t i = 0; i < texts.size(); ++i) {
            const qreal share = left / static_cast<qreal>(texts.size() - i);
            widths[texts[i]] = std::max(minimum, std::min(natural[texts[i]], share));
            left -= widths[texts[i]];
        }
    }

    qreal textWidth(size_t c) const { return widths[c] - 2 * pad; }

    bool oneLine(const QFontMetricsF& m, const QString& text, size_t c) const {
        return m.horizontalAdvance(text) <= textWidth(c) && !text.contains(QChar::LineSeparator);
    }

    qreal cellHeight(QPaintDevice& device, const QFontMetricsF& m, const QFont& font, const QString& text, size_t c,
                     bool alignRight) const {
        if (oneLine(m, text, c)) return line;
        return std::max(line, CellLines(text, font, &device, textWidth(c), alignRight).height);
    }

    // Where a piece of row r that begins at from and may reach limit ends: no line of any
    // cell is cut, and the piece holds at least one line.
    qreal cut(QPaintDevice& device, const PrintedTable& t, size_t r, qreal from, qreal limit) const {
        const bool total = t.totalLast && r + 1 == t.rows->recordCount();
        std::vector<std::vector<std::pair<qreal, qreal>>> cells;
        for (size_t c = 0; c < widths.size() && c < t.rows->fieldCount(); ++c)
            cells.push_back(
                CellLines(cellText(t, r, c), total ? bold : body, &device, textWidth(c), right(t, c)).lines);
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

    void paginate(QPaintDevice& device, const PrintedTable& t, const std::atomic<bool>* stop,
                  WriteProgress* progress = nullptr) {
        const QFontMetricsF m(body, &device), mb(bold, &device);
        headerHeight = 0;
        for (size_t c = 0; c < widths.size(); ++c)
            headerHeight =
                std::max(headerHeight, cellHeight(device, mb, bold, t.captions[static_cast<int>(c)], c, false));
        headerHeight += 2 * pad;
        headBlock = titleLine + pad * 2 + t.lines.size() * line + line;
        footer = line * 2;
        const size_t rows = t.rows ? t.rows->recordCount() : 0;
        heights.assign(rows, 0);
        pieces.clear();
        pageStarts = {0};
        qreal y = headBlock + headerHeight;
        const qreal bottom = page.height() - footer;
        const auto newPage = [&] {
            pageStarts.push_back(pieces.size());
            y = headerHeight;
        };
        for (size_t r = 0; r < rows; ++r) {
            if (r % kCheckEvery == 0) {
                check(stop);
                if (progress) progress->at(WriteProgress::LayingOut, r, rows);
            }
            const bool total = t.totalLast && r + 1 == rows;
            qreal h = 0;
            for (size_t c = 0; c < widths.size() && c < t.rows->fieldCount(); ++c)
                h = std::max(
                    h, cellHeight(device, total ? mb : m, total ? bold : body, cellText(t, r, c), c, right(t, c)));
            heights[r] = h;
            const bool fresh = pieces.size() == pageStarts.back();
            if (y + h + 2 * pad > bottom && !fresh && headerHeight + h + 2 * pad <= bottom) newPage();
            if (y + h + 2 * pad <= bottom) {
                pieces.push_back({r, 0, h});
                y += h + 2 * pad;
                continue;
            }
            // Taller than a page: as much of it as fits here (a few lines at least, or it
            // begins on the next page), the rest on the pages after.
            if (!fresh && bottom - y - 2 * pad < 3 * line) newPage();
            for (qreal from = 0; from < h;) {
                const qreal to = std::min(h, cut(device, t, r, from, from + (bottom - y - 2 * pad)));
                pieces.push_back({r, from, to});
                from = to;
                y += to - pieces.back().from + 2 * pad;
                if (from < h) newPage();
            }
        }
    }
};

// One piece of a row, or the caption row (header), at y.
void drawPiece(QPainter& p, QPaintDevice& device, const Layout& l, const PrintedTable& t, qreal y,
               const Layout::Piece& piece, const QStringList& texts, bool header, bool total) {
    qreal x = 0;
    const QFont& font = header || total ? l.bold : l.body;
    p.setFont(font);
    const qreal h = piece.to - piece.from + 2 * l.pad;
    if (header || total)
        p.fillRect(QRectF(0, y, std::accumulate(l.widths.begin(), l.widths.end(), 0.0), h),
                   QColor(header ? 0xE4 : 0xF2, header ? 0xE4 : 0xF2, header ? 0xE4 : 0xF2));
    // A row one line high has no cell that wraps: nothing of it is measured again.
    const bool oneLineRow = !header && l.heights[piece.row] <= l.line;
    const QFontMetricsF m(font, &device);
    for (size_t c = 0; c < l.widths.size(); ++c) {
        const QRectF cell(x, y, l.widths[c], h);
        p.drawRect(cell);
        const QString text = texts.value(static_cast<int>(c));
        const QRectF inner = cell.adjusted(l.pad, l.pad, -l.pad, -l.pad);
        if (header) {
            p.drawText(inner, Qt::AlignHCenter | Qt::AlignVCenter | kWrap, text);
        } else if (oneLineRow || l.oneLine(m, text, c)) {
            if (piece.from == 0)
                p.drawText(inner, static_cast<int>(right(t, c) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop, text);
        } else {
            const CellLines cellLines(text, font, &device, l.textWidth(c), right(t, c));
            for (int i = 0; i < cellLines.layout.lineCount(); ++i) {
                const qreal top = cellLines.lines[static_cast<size_t>(i)].first;
                if (top >= piece.from && top < piece.to)
                    cellLines.layout.lineAt(i).draw(&p, QPointF(inner.left(), inner.top() - piece.from));
            }
        }
        x += l.widths[c];
    }
    if (total && piece.from == 0) {  // set apart by a second rule above it
        const qreal gap = l.pad * 0.4;
        p.drawLine(QPointF(0, y - gap), QPointF(x, y - gap));
    }
}

Layout layoutFor(QPaintDevice& device, const PrintedTable& t, const std::atomic<bool>* stop, FontCheck* fonts = nullptr,
                 WriteProgress* progress = nullptr) {
    Layout l(device, t);
    l.measure(device, t, stop, fonts, progress);
    l.fixedColumn.resize(l.natural.size());
    for (size_t c = 0; c < l.natural.size(); ++c) l.fixedColumn[c] = right(t, c);
    return l;
}

// A QIODevice over the atomic file's temporary file.
class FileDevice : public QIODevice {
public:
    explicit FileDevice(AtomicFile& file) : mFile(file) { open(QIODevice::WriteOnly); }
    const std::string& error() const { return mError; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override {
        try {
            mFile.write(std::string_view(data, static_cast<size_t>(size)));
            return size;
        } catch (const OutputError& e) {
            if (mError.empty()) mError = e.what();
            return -1;
        }
    }

private:
    AtomicFile& mFile;
    std::string mError;
};

}  // namespace

void choosePageLayout(QPagedPaintDevice& device, int resolution, const PrintedTable& t, const std::atomic<bool>* stop,
                      WriteProgress* progress, FontCheck* fonts) {
    const QMarginsF margins(kMarginMm, kMarginMm, kMarginMm, kMarginMm);
    const QPageLayout portrait(QPageSize(QPageSize::A4), QPageLayout::Portrait, margins, QPageLayout::Millimeter);
    device.setPageLayout(portrait);
    const Layout l = layoutFor(device, t, stop, fonts, progress);
    const qreal need = l.naturalTotal();
    const qreal wide = QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, margins, QPageLayout::Millimeter)
                           .paintRectPixels(resolution)
                           .width();
    if (need > portrait.paintRectPixels(resolution).width() && wide > portrait.paintRectPixels(resolution).width())
        device.setPageOrientation(QPageLayout::Landscape);
}

int paintTable(QPagedPaintDevice& device, const PrintedTable& t, const std::atomic<bool>* stop, WriteProgress* progress,
               PageUse use) {
    // Before anything is painted: a character the fonts would not show (or keep) as itself
    // refuses the pages.
    FontCheck fonts(t.font, use);
    Layout l = layoutFor(device, t, stop, &fonts, progress);
    if (auto problem = fonts.problem()) throw OutputError(problem->toStdString());
    l.fit();
    l.paginate(device, t, stop, progress);
    const int pages = static_cast<int>(l.pageStarts.size());
    QPainter p;
    if (!p.begin(&device)) throw OutputError("无法开始绘制页面");
    p.setPen(QPen(Qt::black, std::max<qreal>(1, l.pad * 0.12)));
    const size_t rows = t.rows ? t.rows->recordCount() : 0;
    for (int page = 0; page < pages; ++page) {
        if (progress) progress->at(WriteProgress::Painting, static_cast<size_t>(page), static_cast<size_t>(pages));
        if (page > 0 && !device.newPage()) throw OutputError("无法开始新的一页");
        qreal y = 0;
        if (page == 0) {
            p.setFont(l.title);
            p.drawText(QRectF(0, 0, l.page.width(), l.titleLine), Qt::AlignHCenter | Qt::AlignTop, t.title);
            y = l.titleLine + l.pad * 2;
            p.setFont(l.body);
            for (const QString& line : t.lines) {
                p.drawText(QRectF(0, y, l.page.width(), l.line), Qt::AlignLeft | Qt::AlignTop, line);
                y += l.line;
            }
            y = l.headBlock;
        }
        drawPiece(p, device, l, t, y, {0, 0, l.headerHeight - 2 * l.pad}, t.captions, true, false);
        y += l.headerHeight;
        const size_t end = page + 1 < pages ? l.pageStarts[static_cast<size_t>(page) + 1] : l.pieces.size();
        for (size_t i = l.pageStarts[static_cast<size_t>(page)]; i < end; ++i) {
            const Layout::Piece& piece = l.pieces[i];
            const size_t r = piece.row;
            if (i % kCheckEvery == 0) {
                check(stop);
                if (progress) progress->rows = r;
            }
            QStringList texts;
            for (size_t c = 0; c < l.widths.size() && c < t.rows->fieldCount(); ++c) texts << cellText(t, r, c);
            drawPiece(p, device, l, t, y, piece, texts, false, t.totalLast && r + 1 == rows);
            y += piece.to - piece.from + 2 * l.pad;
        }
        p.setFont(l.body);
        p.drawText(QRectF(0, l.page.height() - l.line, l.page.width(), l.line), Qt::AlignHCenter | Qt::AlignBottom,
                   QStringLiteral("第 %1 页 共 %2 页").arg(page + 1).arg(pages));
    }
    if (progress) {
        progress->rows = rows;
        progress->at(WriteProgress::Painting, static_cast<size_t>(pages), static_cast<size_t>(pages));
    }
    if (!p.end()) throw OutputError("无法完成页面");
    return pages;
}

int writePdf(AtomicFile& file, const PrintedTable& t, const std::atomic<bool>* stop, WriteProgress* progress) {
    FileDevice out(file);
    int pages = 0;
    {
        QPdfWriter pdf(&out);
        pdf.setCreator(QStringLiteral("faquery"));
        pdf.setTitle(t.title);
        choosePageLayout(pdf, pdf.resolution(), t, stop, progress);
        pages = paintTable(pdf, t, stop, progress, PageUse::Pdf);
    }
    if (!out.error().empty()) throw OutputError(out.error());
    return pages;
}

}  // namespace faq::output
