#include "guide_window.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>

// The guide's resource, in a static library: registered before its first use.
static void initGuideResource() {
    Q_INIT_RESOURCE(guide);
}

namespace faq::ui {

QTextBrowser* showGuide(QWidget* from, const QString& section) {
    static const bool registered = (initGuideResource(), true);
    (void)registered;
    static QPointer<QTextBrowser> guide;
    if (!guide) {
        guide = new QTextBrowser;  // a window of its own, outliving the one it came from
        guide->setAttribute(Qt::WA_DeleteOnClose);
        guide->setObjectName(QStringLiteral("guide"));
        guide->setWindowTitle(QStringLiteral("固定资产查询 使用说明"));
        guide->setOpenExternalLinks(false);
        guide->setSearchPaths({QStringLiteral(":/guide")});
        // As large as reads well, never larger than the screen it opens on.
        QScreen* screen = from && from->screen() ? from->screen() : QGuiApplication::primaryScreen();
        const QSize room = screen ? screen->availableGeometry().size() * 9 / 10 : QSize(760, 600);
        guide->resize(QSize(760, 600).boundedTo(room));
        new QShortcut(QKeySequence(Qt::Key_Escape), guide, guide.data(), &QWidget::close);
    }
    guide->setSource(QUrl(QStringLiteral("qrc:/guide/guide.html#") + section));
    guide->show();
    guide->raise();
    guide->activateWindow();
    return guide;
}

void addGuideKey(QWidget* window, std::function<QString()> section) {
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), window);
    f1->setContext(Qt::WindowShortcut);
    QObject::connect(f1, &QShortcut::activated, window,
                     [window, section = std::move(section)] { showGuide(window, section()); });
}

void addGuideKey(QWidget* window, const QString& section) {
    addGuideKey(window, [section] { return section; });
}

}  // namespace faq::ui
