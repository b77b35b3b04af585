#include "printed_table.h"

#include <QFontMetricsF>
#include <QIODevice>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
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

// The table laid out on one device: fonts, column widths and where each page begins.
struct Layout {
    QFont body, bold, title;
    qreal pad = 0, line = 0, titleLine = 0;
    QRectF page;
    std::vector<qreal> natural, widths, heights;  // heights: one per row
    qreal headerHeight = 0, headBlock = 0, footer = 0;
    std::vector<size_t> pageStarts;  // first row of each page

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

    // Each column's widest text, caption included, with its padding.
    void measure(QPaintDevice& device, const PrintedTable& t, const std::atomic<bool>* stop) {
        const size_t columns = static_cast<size_t>(t.captions.size());
        const QFontMetricsF m(body, &device), mb(bold, &device);
        natural.assign(columns, 0);
        for (size_t c = 0; c < columns; ++c) natural[c] = mb.horizontalAdvance(t.captions[static_cast<int>(c)]);
        const size_t rows = t.rows ? t.rows->recordCount() : 0;
        for (size_t r = 0; r < rows; ++r) {
            if (r % kCheckEvery == 0) check(stop);
            const QFontMetricsF& f = t.totalLast && r + 1 == rows ? mb : m;
            for (size_t c = 0; c < columns && c < t.rows->fieldCount(); ++c)
                natural[c] = std::max(natural[c], f.horizontalAdvance(cellText(t, r, c)));
        }
        for (qreal& w : natural) w = std::ceil(w + 2 * pad + 1);
    }

    qreal naturalTotal() const { return std::accumulate(natural.begin(), natural.end(), qreal(0)); }

    // The page's width shared out: all columns widened alike when there is room; when not,
    // the right-aligned (number) columns keep theirs and the texts share the rest, wrapping.
    void fit() {
        const qreal room = page.width(), total = naturalTotal();
        widths = natural;
        if (total <= 0) return;
        if (total <= room) {
            for (qreal& w : widths) w *= room / total;
            return;
        }
        qreal fixed = 0;
        for (size_t c = 0; c < widths.size(); ++c)
            if (fixedColumn[c]) fixed += natural[c];
        const qreal flexible = total - fixed, left = room - fixed;
        if (flexible > 0 && left > flexible * 0.2) {
            for (size_t c = 0; c < widths.size(); ++c)
                if (!fixedColumn[c]) widths[c] = natural[c] * left / flexible;
        } else {
            for (qreal& w : widths) w *= room / total;
        }
    }
    std::vector<bool> fixedColumn;

    qreal cellHeight(const QFontMetricsF& m, const QString& text, qreal width) const {
        if (m.horizontalAdvance(text) <= width - 2 * pad) return line;
        return std::max(line, m.boundingRect(QRectF(0, 0, width - 2 * pad, 1e9), kWrap, text).height());
    }

    void paginate(QPaintDevice& device, const PrintedTable& t, const std::atomic<bool>* stop) {
        const QFontMetricsF m(body, &device), mb(bold, &device);
        headerHeight = 0;
        for (size_t c = 0; c < widths.size(); ++c)
            headerHeight = std::max(headerHeight, cellHeight(mb, t.captions[static_cast<int>(c)], widths[c]));
        headerHeight += 2 * pad;
        headBlock = titleLine + pad * 2 + t.lines.size() * line + line;
        footer = line * 2;
        const size_t rows = t.rows ? t.rows->recordCount() : 0;
        heights.assign(rows, 0);
        pageStarts = {0};
        qreal y = headBlock + headerHeight;
        const qreal bottom = page.height() - footer;
        for (size_t r = 0; r < rows; ++r) {
            if (r % kCheckEvery == 0) check(stop);
            const bool total = t.totalLast && r + 1 == rows;
            qreal h = 0;
            for (size_t c = 0; c < widths.size() && c < t.rows->fieldCount(); ++c)
                h = std::max(h, cellHeight(total ? mb : m, cellText(t, r, c), widths[c]));
            h += 2 * pad;
            heights[r] = h;
            if (y + h > bottom && r > pageStarts.back()) {
                pageStarts.push_back(r);
                y = headerHeight;
            }
            y += h;
        }
    }
};

void drawRow(QPainter& p, const Layout& l, const PrintedTable& t, qreal y, qreal h, const QStringList& texts,
             bool header, bool total) {
    qreal x = 0;
    p.setFont(header || total ? l.bold : l.body);
    if (header || total)
        p.fillRect(QRectF(0, y, std::accumulate(l.widths.begin(), l.widths.end(), 0.0), h),
                   QColor(header ? 0xE4 : 0xF2, header ? 0xE4 : 0xF2, header ? 0xE4 : 0xF2));
    for (size_t c = 0; c < l.widths.size(); ++c) {
        const QRectF cell(x, y, l.widths[c], h);
        p.drawRect(cell);
        const Qt::Alignment align = header ? Qt::AlignHCenter | Qt::AlignVCenter
                                           : (right(t, c) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop;
        p.drawText(cell.adjusted(l.pad, l.pad, -l.pad, -l.pad), static_cast<int>(align) | kWrap,
                   texts.value(static_cast<int>(c)));
        x += l.widths[c];
    }
    if (total) {  // set apart by a second rule above it
        const qreal gap = l.pad * 0.4;
        p.drawLine(QPointF(0, y - gap), QPointF(x, y - gap));
    }
}

Layout layoutFor(QPaintDevice& device, const PrintedTable& t, const std::atomic<bool>* stop) {
    Layout l(device, t);
    l.measure(device, t, stop);
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

void choosePageLayout(QPagedPaintDevice& device, int resolution, const PrintedTable& t) {
    const QMarginsF margins(kMarginMm, kMarginMm, kMarginMm, kMarginMm);
    const QPageLayout portrait(QPageSize(QPageSize::A4), QPageLayout::Portrait, margins, QPageLayout::Millimeter);
    device.setPageLayout(portrait);
    const Layout l = layoutFor(device, t, nullptr);
    const qreal need = l.naturalTotal();
    const qreal wide = QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, margins, QPageLayout::Millimeter)
                           .paintRectPixels(resolution)
                           .width();
    if (need > portrait.paintRectPixels(resolution).width() && wide > portrait.paintRectPixels(resolution).width())
        device.setPageOrientation(QPageLayout::Landscape);
}

int paintTable(QPagedPaintDevice& device, const PrintedTable& t, const std::atomic<bool>* stop,
               WriteProgress* progress) {
    Layout l = layoutFor(device, t, stop);
    l.fit();
    l.paginate(device, t, stop);
    const int pages = static_cast<int>(l.pageStarts.size());
    QPainter p;
    if (!p.begin(&device)) throw OutputError("无法开始绘制页面");
    p.setPen(QPen(Qt::black, std::max<qreal>(1, l.pad * 0.12)));
    const size_t rows = t.rows ? t.rows->recordCount() : 0;
    for (int page = 0; page < pages; ++page) {
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
        drawRow(p, l, t, y, l.headerHeight, t.captions, true, false);
        y += l.headerHeight;
        const size_t end = page + 1 < pages ? l.pageStarts[static_cast<size_t>(page) + 1] : rows;
        for (size_t r = l.pageStarts[static_cast<size_t>(page)]; r < end; ++r) {
            if (r % kCheckEvery == 0) {
                check(stop);
                if (progress) progress->rows = r;
            }
            QStringList texts;
            for (size_t c = 0; c < l.widths.size() && c < t.rows->fieldCount(); ++c) texts << cellText(t, r, c);
            drawRow(p, l, t, y, l.heights[r], texts, false, t.totalLast && r + 1 == rows);
            y += l.heights[r];
        }
        p.setFont(l.body);
        p.drawText(QRectF(0, l.page.height() - l.line, l.page.width(), l.line), Qt::AlignHCenter | Qt::AlignBottom,
                   QStringLiteral("第 %1 页 共 %2 页").arg(page + 1).arg(pages));
    }
    if (progress) progress->rows = rows;
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
        choosePageLayout(pdf, pdf.resolution(), t);
        pages = paintTable(pdf, t, stop, progress);
    }
    if (!out.error().empty()) throw OutputError(out.error());
    return pages;
}

}  // namespace faq::output
