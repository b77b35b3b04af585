// Process-level services the windows share: ending the process and message boxes. Each can be replaced, so tests run
// the windows without ending or blocking.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

class QWidget;

namespace faq::app {

constexpr const char* kAppTitle = "固定资产查询";

// Ends the process at once: no window's closing logic runs and nothing is torn down.
// With an ender set (tests), calls it instead and returns.
void endProgram();
void setProgramEnder(std::function<void()> ender);

// A message box titled "固定资产查询" with one OK button.
void showMessage(QWidget* parent, const QString& text, QMessageBox::Icon icon = QMessageBox::Warning);
using MessageSink = std::function<void(const QString& text, QMessageBox::Icon icon)>;
void setMessageSink(MessageSink sink);

}  // namespace faq::app
