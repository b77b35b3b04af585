#include "guide_window.h"

#include <QApplication>
#include <QImage>
#include <QPointer>
#include <QScreen>
#include <QShortcut>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>
#include <QUrl>
#include <algorithm>

#ifdef Q_OS_WIN
#include <windows.h>

#include "app/program.h"
#endif

// The guide's resource, in a static library: registered before its first use.
static void initGuideResource() {
    Q_INIT_RESOURCE(guide);
}

namespace faq::ui {

namespace {

// The pictures of the windows, no wider than the page: the guide never scrolls sideways.
void fitPictures(QTextBrowser* b) {
    QTextDocument* doc = b->document();
    const qreal room = b->viewport()->width() - 2 * doc->documentMargin() - 8;
    if (room <= 0) return;
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            QTextImageFormat picture = f.charFormat().toImageFormat();
            if (!picture.isValid()) continue;
            const QImage image(QStringLiteral(":/guide/") + picture.name());
            if (image.isNull()) continue;
            const QSizeF natural = image.size() / image.devicePixelRatio();
            const qreal width = std::min(natural.width(), room);
            if (qFuzzyCompare(picture.width(), width)) continue;
            picture.setWidth(width);
            picture.setHeight(natural.height() * width / natural.width());
            QTextCursor c(doc);
            c.setPosition(f.position());
            c.setPosition(f.position() + f.length(), QTextCursor::KeepAnchor);
            c.setCharFormat(picture);
        }
}

class GuideBrowser : public QTextBrowser {
protected:
    void resizeEvent(QResizeEvent* e) override {
        QTextBrowser::resizeEvent(e);
        fitPictures(this);
    }
};

// Where the focus was when the guide was asked for: it goes back there when the guide closes.
QPointer<QWidget> gCaller, gCallerFocus;

}  // namespace

QTextBrowser* showGuide(QWidget* from, const QString& section) {
    static const bool registered = (initGuideResource(), true);
    (void)registered;
    static QPointer<QTextBrowser> guide;
    // The window F1 was pressed in: the one with the focus (a picker over the window whose
    // key it was), else the one asking.
    if (QWidget* focus = QApplication::focusWidget(); focus && focus->window() != guide) {
        gCaller = focus->window();
        gCallerFocus = focus;
    } else if (from && from->window() != guide) {
        gCaller = from->window();
        gCallerFocus = nullptr;
    }
    if (!guide) {
        guide = new GuideBrowser;  // a window of its own, outliving the one it came from
        guide->setAttribute(Qt::WA_DeleteOnClose);
        guide->setObjectName(QStringLiteral("guide"));
        guide->setWindowTitle(QStringLiteral("固定资产查询 使用说明"));
        guide->setOpenExternalLinks(false);
        guide->setSearchPaths({QStringLiteral(":/guide")});
        guide->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        // As large as reads well, never larger than the screen it opens on (with room for a
        // frame taller than the platform says, as a window manager may draw it), over the
        // window it was asked for from.
        QScreen* screen = from && from->screen() ? from->screen() : QGuiApplication::primaryScreen();
        const QRect free = screen ? screen->availableGeometry() : QRect(0, 0, 800, 640);
        guide->resize(QSize(760, 600).boundedTo(free.size() * 17 / 20));
        // Placed frame and all: the platform knows the frame once the native window exists
        // (Windows at once; an X11 window manager only later, and then nothing is added).
        guide->winId();
        const QRect over = gCaller ? gCaller->frameGeometry() : free;
        QRect placed(QPoint(0, 0), guide->frameGeometry().size());
        placed.moveCenter(over.center());
        placed.moveLeft(std::clamp(placed.left(), free.left(), std::max(free.left(), free.right() - placed.width())));
        placed.moveTop(std::clamp(placed.top(), free.top(), std::max(free.top(), free.bottom() - placed.height())));
        guide->move(placed.topLeft());
        new QShortcut(QKeySequence(Qt::Key_Escape), guide, guide.data(), &QWidget::close);
        QObject::connect(guide, &QObject::destroyed, [] {
            if (!gCaller || !gCaller->isVisible()) return;
            gCaller->activateWindow();
            if (gCallerFocus && gCallerFocus->isVisible() && gCallerFocus->isEnabled())
                gCallerFocus->setFocus(Qt::OtherFocusReason);
        });
    }
    guide->setSource(QUrl(QStringLiteral("qrc:/guide/guide.html#") + section));
    fitPictures(guide);
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
