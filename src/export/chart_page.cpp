#include "chart_page.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace faq::output {

namespace {

const QColor kBar(0x3A, 0x6E, 0xA5), kNegative(0xB0, 0x40, 0x40), kAxis(0x60, 0x60, 0x60), kGrid(0xE0, 0xE0, 0xE0);

QFont sized(QFont f, qreal pixels, bool bold = false) {
    f.setPixelSize(std::max(1, static_cast<int>(std::lround(pixels))));
    f.setBold(bold);
    return f;
}

// The bars' scale: from the smaller of 0 and the least value to the larger of 0 and the most.
struct Scale {
    double low = 0, high = 0;
    explicit Scale(const std::vector<ChartBar>& bars) {
        for (const ChartBar& b : bars) low = std::min(low, b.value), high = std::max(high, b.value);
        if (high - low <= 0) high = low + 1;
    }
    qreal at(double v, qreal from, qreal length) const { return from + (v - low) / (high - low) * length; }
};

void paintDepartments(QPainter& p, const QRectF& area, const std::vector<ChartBar>& bars, const QFont& body,
                      const QFont& head) {
    p.setFont(head);
    const QFontMetricsF mh(head), m(body);
    p.setPen(Qt::black);
    p.drawText(QRectF(area.left(), area.top(), area.width(), mh.height()), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("原值（按使用部门）"));
    if (bars.empty()) return;
    const QRectF box = area.adjusted(0, mh.height() * 1.4, 0, 0);
    qreal labelWidth = 0, figureWidth = 0;
    for (const ChartBar& b : bars)
        labelWidth = std::max(labelWidth, m.horizontalAdvance(b.label)),
        figureWidth = std::max(figureWidth, m.horizontalAdvance(b.figure));
    labelWidth = std::min(labelWidth, box.width() * 0.3);
    const qreal gap = m.height() * 0.5;
    const qreal left = box.left() + labelWidth + gap,
                length = std::max<qreal>(box.width() - labelWidth - figureWidth - 3 * gap, 1);
    const qreal row = std::min(box.height() / static_cast<qreal>(bars.size()), m.height() * 2.2);
    const Scale s(bars);
    const qreal zero = s.at(0, left, length);
    p.setFont(body);
    for (size_t i = 0; i < bars.size(); ++i) {
        const ChartBar& b = bars[i];
        const qreal y = box.top() + row * static_cast<qreal>(i);
        p.setPen(Qt::black);
        p.drawText(QRectF(box.left(), y, labelWidth, row), Qt::AlignRight | Qt::AlignVCenter,
                   m.elidedText(b.label, Qt::ElideMiddle, labelWidth));
        const qreal end = s.at(b.value, left, length);
        const QRectF bar(std::min(zero, end), y + row * 0.18, std::max(std::abs(end - zero), 1.0), row * 0.64);
        p.fillRect(bar, b.value < 0 ? kNegative : kBar);
        p.drawText(QRectF(bar.right() + gap, y, figureWidth + gap, row), Qt::AlignLeft | Qt::AlignVCenter, b.figure);
    }
    p.setPen(kAxis);
    p.drawLine(QPointF(zero, box.top()), QPointF(zero, box.top() + row * static_cast<qreal>(bars.size())));
}

void paintYears(QPainter& p, const QRectF& area, const std::vector<ChartBar>& bars, const QFont& body,
                const QFont& head) {
    p.setFont(head);
    const QFontMetricsF mh(head);
    p.setPen(Qt::black);
    p.drawText(QRectF(area.left(), area.top(), area.width(), mh.height()), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("原值（按开始使用年份）"));
    if (bars.empty()) return;
    // Figures too wide for their column go smaller, then upright.
    QFont small = body;
    QFontMetricsF m(small);
    const QRectF box = area.adjusted(0, mh.height() * 1.4, 0, -m.height() * 1.5);
    const qreal column = box.width() / static_cast<qreal>(bars.size());
    qreal widest = 0;
    for (const ChartBar& b : bars) widest = std::max(widest, m.horizontalAdvance(b.figure));
    const bool upright = widest > column * 0.98;
    qreal widestLabel = 0;
    for (const ChartBar& b : bars) widestLabel = std::max(widestLabel, m.horizontalAdvance(b.label));
    const qreal labelRoom = widestLabel + m.height() * 0.6;
    const size_t every = std::max<size_t>(1, static_cast<size_t>(std::ceil(labelRoom / column)));
    const qreal figureRoom = upright ? widest + m.height() * 0.5 : m.height() * 1.3;
    const qreal top = box.top() + figureRoom, height = std::max<qreal>(box.height() - figureRoom, 1);
    const Scale s(bars);
    // Upward from the zero line: the scale runs from the bottom of the box.
    const auto yOf = [&](double v) { return top + height - (s.at(v, 0, height)); };
    const qreal zero = yOf(0);
    p.setPen(kGrid);
    p.drawLine(QPointF(box.left(), zero), QPointF(box.right(), zero));
    p.setFont(small);
    for (size_t i = 0; i < bars.size(); ++i) {
        const ChartBar& b = bars[i];
        const qreal x = box.left() + column * static_cast<qreal>(i);
        const qreal end = yOf(b.value);
        const QRectF bar(x + column * 0.15, std::min(zero, end), column * 0.7, std::max(std::abs(end - zero), 1.0));
        p.fillRect(bar, b.value < 0 ? kNegative : kBar);
        p.setPen(Qt::black);
        if (upright) {
            p.save();
            p.translate(x + column / 2 + m.ascent() / 2 - m.descent(), bar.top() - m.height() * 0.25);
            p.rotate(-90);
            p.drawText(QPointF(0, 0), b.figure);
            p.restore();
        } else {
            p.drawText(QRectF(x, bar.top() - m.height() * 1.2, column, m.height()), Qt::AlignCenter, b.figure);
        }
        // Years too many for a label each under its column: every few, evenly.
        if (i % every == 0)
            p.drawText(QRectF(x + column / 2 - labelRoom / 2, box.bottom() + m.height() * 0.2, labelRoom, m.height()),
                       Qt::AlignCenter, m.elidedText(b.label, Qt::ElideRight, labelRoom));
    }
    p.setPen(kAxis);
    p.drawLine(QPointF(box.left(), zero), QPointF(box.right(), zero));
}

}  // namespace

void paintChart(QPainter& p, const QRectF& area, const ChartPicture& c, const QFont& font) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    // Sizes follow the area: a window and an A4 page look alike.
    const qreal unit = std::clamp(std::min(area.width() / 55, area.height() / 42), 7.0, 400.0);
    const QFont title = sized(font, unit * 1.6, true), head = sized(font, unit * 1.1, true), body = sized(font, unit);
    qreal y = area.top();
    p.setPen(Qt::black);
    p.setFont(title);
    const qreal titleLine = QFontMetricsF(title).height();
    p.drawText(QRectF(area.left(), y, area.width(), titleLine), Qt::AlignHCenter | Qt::AlignVCenter, c.title);
    y += titleLine * 1.2;
    p.setFont(body);
    const qreal line = QFontMetricsF(body).height();
    for (const QString& l : c.lines) {
        p.drawText(QRectF(area.left(), y, area.width(), line), Qt::AlignHCenter | Qt::AlignVCenter, l);
        y += line;
    }
    y += line;
    const qreal rest = area.bottom() - y;
    // The departments take the room their bars need (at most 60 %), the years the rest.
    const qreal deptShare = std::min<qreal>(0.6, (static_cast<qreal>(c.departments.size()) * 2.2 + 3) * line / rest);
    const QRectF depts(area.left(), y, area.width(), rest * deptShare);
    paintDepartments(p, depts, c.departments, body, head);
    paintYears(p, QRectF(area.left(), depts.bottom() + line, area.width(), rest - depts.height() - line), c.years, body,
               head);
    p.restore();
}

}  // namespace faq::output
