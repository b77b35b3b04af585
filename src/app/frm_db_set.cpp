#include "frm_db_set.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "mdl_main.h"
#include "program.h"
#include "twips.h"

namespace faq::app {

FrmDbSet::FrmDbSet(QWidget* parent) : QWidget(parent, kFixedWindowFlags) {
    setObjectName(QStringLiteral("FrmDbSet"));
    setWindowTitle(QStringLiteral("数据库设置"));
    setFixedSize(twipsSize(4275, 3270));

    Text1 = placed(new QLineEdit(this), "Text1", twipsRect(1560, 120, 1815, 375));
    Text2 = placed(new QLineEdit(this), "Text2", twipsRect(1560, 720, 1815, 375));
    Text3 = placed(new QLineEdit(this), "Text3", twipsRect(1560, 1320, 1815, 375));
    Text4 = placed(new QLineEdit(this), "Text4", twipsRect(1560, 1920, 1815, 375));
    Text4->setEchoMode(QLineEdit::Password);  // never show the password on screen
    // The fields have no length limit (QLineEdit's default would be 32767 characters).
    constexpr int kNoLengthLimit = 1 << 24;
    for (auto* e : {Text1, Text2, Text3, Text4}) e->setMaxLength(kNoLengthLimit);
    Command1 = placed(new QPushButton(QStringLiteral("连接"), this), "Command1", twipsRect(1560, 2520, 975, 375));
    pressOnEnter(Command1);
    lblIp = placed(new QLabel(QStringLiteral("数据库地址"), this), "lblIp", twipsRect(240, 240, 1095, 255));
    Label1 = placed(new QLabel(QStringLiteral("数据库名"), this), "Label1", twipsRect(240, 720, 1095, 255));
    Label2 = placed(new QLabel(QStringLiteral("用户名"), this), "Label2", twipsRect(240, 1320, 1095, 375));
    Label3 = placed(new QLabel(QStringLiteral("密码"), this), "Label3", twipsRect(240, 2040, 1095, 375));
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label3->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblIp->setBuddy(Text1);
    Label1->setBuddy(Text2);
    Label2->setBuddy(Text3);
    Label3->setBuddy(Text4);

    setTabOrder(Text1, Text2);
    setTabOrder(Text2, Text3);
    setTabOrder(Text3, Text4);
    setTabOrder(Text4, Command1);
    connect(Command1, &QPushButton::clicked, this, &FrmDbSet::Command1_Click);

    placeCentred(this);
    Form_Load();
}

void FrmDbSet::Form_Load() {
    Text1->setText(QStringLiteral("."));
    Text2->setText(QStringLiteral("ufdata_001_"));
    Text3->setText(QStringLiteral("sa"));
}

void FrmDbSet::usePresets(const SettingsPresets& presets) {
    if (presets.server) Text1->setText(QString::fromStdString(*presets.server));
    if (presets.database) Text2->setText(QString::fromStdString(*presets.database));
    if (presets.uid) Text3->setText(QString::fromStdString(*presets.uid));
    // The first box that wants typing: the password, where the rest is given.
    if (presets.server && presets.database && presets.uid) Text4->setFocus(Qt::OtherFocusReason);
}

void FrmDbSet::Command1_Click() {
    if (!beginSession) return;
    mdlMain m(beginSession());
    m.gsServer = Text1->text().toStdString();
    m.gsDatabase = Text2->text().toStdString();
    m.gsUid = Text3->text().toStdString();
    m.gsPwd = Text4->text().toStdString();
    if (showQueryWindow && showQueryWindow(*this)) hide();
}

void FrmDbSet::closeEvent(QCloseEvent* e) {
    endProgram();
    e->accept();
}

bool FrmDbSet::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    if (helpFromSystemMenu(this, eventType, message)) {
        *result = 0;
        return true;
    }
    return QWidget::nativeEvent(eventType, message, result);
}

}  // namespace faq::app
