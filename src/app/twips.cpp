#include "twips.h"

#include <QFontDatabase>
#include <QStringList>

namespace faq::app {

void installFontSubstitutes() {
    static const bool done = [] {
        QFont::insertSubstitutions(QStringLiteral("宋体"), QStringList()
                                                               << QStringLiteral("SimSun") << QStringLiteral("NSimSun")
                                                               << QStringLiteral("Noto Serif CJK SC")
                                                               << QStringLiteral("Noto Sans CJK SC")
                                                               << QStringLiteral("WenQuanYi Zen Hei"));
        return true;
    }();
    (void)done;
}

QFont songTi9() {
    installFontSubstitutes();
    QFont f(QStringLiteral("宋体"));
    f.setPointSize(9);
    f.setWeight(QFont::Normal);
    return f;
}

}  // namespace faq::app
