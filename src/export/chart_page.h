// A picture of a summary: 原值 by department (horizontal bars, largest first) and by year of
// start (columns), each bar labelled with its figure. Painted with Qt alone, on a window,
// an image, a printer's page or a PDF's.
#pragma once

#include <QFont>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <vector>

class QPainter;

namespace faq::output {

struct ChartBar {
    QString label;
    double value = 0;
    QString figure;  // the value as the grid shows it
};

struct ChartPicture {
    QString title;
    QStringList lines;                  // under the title: the criteria
    std::vector<ChartBar> departments;  // largest first
    std::vector<ChartBar> years;        // in order of the year
};

// Paints c into area (in p's units) in font's family, sized to the area.
void paintChart(QPainter& p, const QRectF& area, const ChartPicture& c, const QFont& font);

}  // namespace faq::output
