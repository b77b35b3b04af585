// Form geometry is given in twips: 15 to a pixel at 100 % scale.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>

namespace faq::app {

constexpr int twips(int t) {
    return (t + 7) / 15;
}
inline QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twips(left), twips(top), twips(width), twips(height));
}
inline QSize twipsSize(int width, int height) {
    return QSize(twips(width), twips(height));
}

// Gives w its object name and its place; returns w.
template <typename W>
W* placed(W* w, const char* name, QRect geometry) {
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(geometry);
    return w;
}

// "宋体" 9 pt, falling back to an installed CJK font.
QFont songTi9();
// Registers the fallbacks of "宋体" once per process.
void installFontSubstitutes();

}  // namespace faq::app
