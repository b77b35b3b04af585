// The settings dialog: the first window of the process. It asks for the four connection
// parameters, stores them and hands over to the query window; it never connects itself.
#pragma once

#include <QWidget>
#include <functional>

#include "session.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace faq::app {

class FrmDbSet : public QWidget {
    Q_OBJECT
public:
    explicit FrmDbSet(QWidget* parent = nullptr);

    // A new session for this connect, the previous one dropped; set by start-up.
    std::function<Session&()> beginSession;
    // Shows the query window; set by start-up. Returns false when it could not be shown,
    // in which case the dialog stays (or comes back) with the values as typed.
    std::function<bool(FrmDbSet&)> showQueryWindow;

    void Command1_Click();
    // The values an administrator preset, in place of the defaults.
    void usePresets(const SettingsPresets& presets);

    QLineEdit* Text1;
    QLineEdit* Text2;
    QLineEdit* Text3;
    QLineEdit* Text4;
    QPushButton* Command1;
    QLabel* lblIp;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;

protected:
    // 帮助 in the system menu (Windows) does what F1 does.
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
    void closeEvent(QCloseEvent* e) override;  // Form_QueryUnload

private:
    void Form_Load();
};

}  // namespace faq::app
