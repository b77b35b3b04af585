#include "guide_window.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>

#ifdef Q_OS_WIN
#include <windows.h>

#include "app/program.h"
#endif

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

namespace {

// What F1 (and on Windows the system menu's 帮助) opens for the window it belongs to.
class GuideKey : public QObject {
public:
    GuideKey(QWidget* window, std::function<QString()> section)
        : QObject(window), mWindow(window), mSection(std::move(section)) {
        setObjectName(QStringLiteral("guideKey"));
    }
    void open() const { showGuide(mWindow, mSection()); }

private:
    QWidget* mWindow;
    std::function<QString()> mSection;
};

#ifdef Q_OS_WIN
// The system menu's entry, added when the window first shows; the window's nativeEvent
// hands the command to F1 (app::helpFromSystemMenu).
class SystemMenuHelp : public QObject {
public:
    static void add(QWidget* window) {
        static auto* filter = new SystemMenuHelp;
        window->installEventFilter(filter);
    }
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::Show) {
            auto* w = static_cast<QWidget*>(watched);
            HMENU menu = GetSystemMenu(reinterpret_cast<HWND>(w->winId()), FALSE);
            if (menu && GetMenuState(menu, app::kSystemMenuHelp, MF_BYCOMMAND) == static_cast<UINT>(-1)) {
                AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
                AppendMenuW(menu, MF_STRING, app::kSystemMenuHelp, L"帮助(&H)\tF1");
            }
        }
        return false;
    }
};
#endif

}  // namespace

void addGuideKey(QWidget* window, std::function<QString()> section) {
    auto* key = new GuideKey(window, std::move(section));
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), window);
    f1->setContext(Qt::WindowShortcut);
    QObject::connect(f1, &QShortcut::activated, key, &GuideKey::open);
#ifdef Q_OS_WIN
    SystemMenuHelp::add(window);
#endif
}

void addGuideKey(QWidget* window, const QString& section) {
    addGuideKey(window, [section] { return section; });
}

}  // namespace faq::ui
