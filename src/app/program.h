// Process-level services the windows share: ending the process and message boxes. Each can be replaced, so tests run
// the windows without ending or blocking.
#pragma once

#include <QByteArray>
#include <QMessageBox>
#include <QSize>
#include <QString>
#include <functional>

class QPushButton;

class QWidget;

namespace faq::app {

constexpr const char* kAppTitle = "固定资产查询";

// The program's windows: a fixed border with a title, system menu and close box, and no
// maximise or minimise buttons.
constexpr Qt::WindowFlags kFixedWindowFlags = Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                                              Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                                              Qt::CustomizeWindowHint;

// Ends the process at once: no window's closing logic runs and nothing is torn down.
// With an ender set (tests), calls it instead and returns.
void endProgram();
void setProgramEnder(std::function<void()> ender);

// A message box titled "固定资产查询" with one OK button, at least as wide as its title.
// Afterwards the focus goes to focusAfter, or back to the control that had it (in
// parent's window when the focus was elsewhere).
void showMessage(QWidget* parent, const QString& text, QMessageBox::Icon icon = QMessageBox::Warning,
                 QWidget* focusAfter = nullptr);
// The same with a second button, `offer`, beside 确定: true when the user chose it.
bool askMessage(QWidget* parent, const QString& text, const QString& offer,
                QMessageBox::Icon icon = QMessageBox::Information);
// Moves w to the centre of the screen; a window larger than the screen (large scales on
// small screens) keeps its top left corner, with the criteria, on it.
void placeCentred(QWidget* w);
// On Windows, 帮助 chosen in w's system menu (the command the guide adds there): does what
// F1 does in w and returns true. For the windows' nativeEvent; the application's filters
// never see a command the menu sends.
bool helpFromSystemMenu(QWidget* w, const QByteArray& eventType, void* message);
constexpr unsigned kSystemMenuHelp = 0x0010;  // a command id below 0xF000, a multiple of 16

// The client size a fixed window gets on the primary screen: its designed size, or less
// where the screen (less a frame and title bar) is smaller, never below `least`.
QSize fittedSize(QSize designed, QSize least);

// Enter (either key) on the focused button presses it, as on Windows; no button becomes
// the window's default.
void pressOnEnter(QPushButton* button);

using MessageSink = std::function<void(const QString& text, QMessageBox::Icon icon)>;
void setMessageSink(MessageSink sink);
// For askMessage while a message sink is set: the answer (none set: the offer declined).
void setOfferAnswer(std::function<bool(const QString& offer)> answer);

}  // namespace faq::app
