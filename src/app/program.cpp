#include "program.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif

#include <QApplication>
#include <QGridLayout>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSpacerItem>
#include <cstdio>
#include <cstdlib>

#include "export/atomic_file.h"

namespace faq::app {

namespace {
std::function<void()>& ender() {
    static std::function<void()> f;
    return f;
}
MessageSink& sink() {
    static MessageSink s;
    return s;
}
}  // namespace

void endProgram() {
    if (ender()) {
        ender()();
        return;
    }
    output::removePendingTempsBeforeExit();  // an export cut short leaves nothing behind
    std::fflush(nullptr);
    std::_Exit(0);
}

void setProgramEnder(std::function<void()> f) {
    ender() = std::move(f);
}

namespace {

QWidget* focusToRestore(QWidget* parent, QWidget* focusAfter) {
    if (focusAfter) return focusAfter;
    QWidget* now = QApplication::focusWidget();
    if (!parent || (now && now->window() == parent->window())) return now;
    if (QWidget* last = parent->window()->focusWidget()) return last;
    // A window that never had the focus: its first control in the focus order.
    QWidget* w = parent->window();
    for (QWidget* next = w->nextInFocusChain(); next && next != w; next = next->nextInFocusChain())
        if (next->window() == w && next->isVisibleTo(w) && next->isEnabled() && (next->focusPolicy() & Qt::TabFocus))
            return next;
    return nullptr;
}

void giveFocus(const QPointer<QWidget>& w) {
    if (!w || !w->isVisible() || !w->isEnabled()) return;
    w->window()->activateWindow();
    w->setFocus(Qt::OtherFocusReason);
}

std::function<bool(const QString&)>& offerAnswer() {
    static std::function<bool(const QString&)> a;
    return a;
}

// The message box of showMessage and askMessage; true when offer (if any) was chosen.
bool showBox(QWidget* parent, const QString& text, QMessageBox::Icon icon, QWidget* focusAfter, const QString& offer) {
    const QPointer<QWidget> back = focusToRestore(parent, focusAfter);
    if (sink()) {
        sink()(text, icon);
        const bool chosen = !offer.isEmpty() && offerAnswer() && offerAnswer()(offer);
        giveFocus(back);
        return chosen;
    }
    const QString title = QString::fromUtf8(kAppTitle);
    // A long driver text would make the box taller than the screen: the first lines show,
    // the whole text is in the details.
    constexpr int kShownLines = 6;
    constexpr int kShownChars = 600;
    const QStringList lines = text.split(QLatin1Char('\n'));
    QString shown = text;
    if (lines.size() > kShownLines || text.size() > kShownChars)
        shown = lines.mid(0, kShownLines).join(QLatin1Char('\n')).left(kShownChars) +
                QStringLiteral("…\n（全文见“显示详细信息”）");
    QMessageBox box(icon, title, shown, QMessageBox::Ok, parent);
    QAbstractButton* offered = offer.isEmpty() ? nullptr : box.addButton(offer, QMessageBox::ActionRole);
    if (shown != text) box.setDetailedText(text);
    // Window managers draw titles in their own, often larger, font beside an icon and up to
    // three buttons: leave room for all of it, so that the title is never cut.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        const QFontMetrics fm(box.font());
        const int room = fm.horizontalAdvance(title) * 3 / 2 + fm.height() * 8;
        grid->addItem(new QSpacerItem(room, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                      grid->columnCount());
    }
    box.exec();
    giveFocus(back);
    return offered && box.clickedButton() == offered;
}

}  // namespace

void setOfferAnswer(std::function<bool(const QString& offer)> answer) {
    offerAnswer() = std::move(answer);
}

void showMessage(QWidget* parent, const QString& text, QMessageBox::Icon icon, QWidget* focusAfter) {
    showBox(parent, text, icon, focusAfter, {});
}

bool askMessage(QWidget* parent, const QString& text, const QString& offer, QMessageBox::Icon icon) {
    return showBox(parent, text, icon, nullptr, offer);
}

void placeCentred(QWidget* w) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect free = screen->availableGeometry();
    const QPoint centred = free.center() - w->rect().center();
    w->move(std::max(centred.x(), free.left()), std::max(centred.y(), free.top()));
}

bool helpFromSystemMenu(QWidget* w, const QByteArray& eventType, void* message) {
#ifdef Q_OS_WIN
    if (eventType != "windows_generic_MSG") return false;
    const MSG* msg = static_cast<const MSG*>(message);
    if (msg->message != WM_SYSCOMMAND || (msg->wParam & 0xFFF0) != kSystemMenuHelp) return false;
    for (QShortcut* key : w->findChildren<QShortcut*>(QString(), Qt::FindDirectChildrenOnly))
        if (key->key() == QKeySequence(Qt::Key_F1)) {
            emit key->activated();
            return true;
        }
#else
    (void)w, (void)eventType, (void)message;
#endif
    return false;
}

QSize fittedSize(QSize designed, QSize least) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return designed;
    // The frame is not known before the window is shown: a title bar and borders as large
    // as Windows draws them at any scale, in the window's own pixels.
    const QSize frame(16, 40);
    const QSize room = screen->availableGeometry().size() - frame;
    return designed.boundedTo(room).expandedTo(least);
}

void pressOnEnter(QPushButton* button) {
    button->setDefault(false);
    // Outside a dialog an auto-default button takes Enter when focused and never becomes
    // the window's default.
    button->setAutoDefault(true);
}

void setMessageSink(MessageSink s) {
    sink() = std::move(s);
}

}  // namespace faq::app
