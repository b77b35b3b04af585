// The user's guide, in Chinese, inside the program: an HTML page with pictures of the real
// windows, shown in a window of its own (F1 in every window).
#pragma once

#include <QString>
#include <functional>

class QTextBrowser;
class QWidget;

namespace faq::ui {

// Shows the guide at section (an anchor of the page: "start", "query", "picker" …), in its
// one window, raised when it is already open. Returns the browser, for the tests.
QTextBrowser* showGuide(QWidget* from, const QString& section);

// Lets F1 in window (and on Windows 帮助 in its system menu) show the guide at section, or at
// the section chosen when it is pressed.
void addGuideKey(QWidget* window, const QString& section);
void addGuideKey(QWidget* window, std::function<QString()> section);

}  // namespace faq::ui
