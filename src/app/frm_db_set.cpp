#include "frm_db_set.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "mdl_main.h"
#include "program.h"
#include "twips.h"

namespace faq::app {

namespace {
template <typename W>
W* make(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    auto* w = new W(text, parent);
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(geometry);
    return w;
}
QLineEdit* edit(QWidget* parent, const char* name, QRect geometry) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setGeometry(geometry);
    return e;
}
}  // namespace

FrmDbSet::FrmDbSet(QWidget* parent) : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                                                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint) {
    setObjectName(QStringLiteral("FrmDbSet"));
    setWindowTitle(QStringLiteral("数据库设置"));
    setFixedSize(twipsSize(4275, 3270));

    Text1 = edit(this, "Text1", twipsRect(1560, 120, 1815, 375));
    Text2 = edit(this, "Text2", twipsRect(1560, 720, 1815, 375));
    Text3 = edit(this, "Text3", twipsRect(1560, 1320, 1815, 375));
    Text4 = edit(this, "Text4", twipsRect(1560, 1920, 1815, 375));
    Text4->setEchoMode(QLineEdit::Password);  // never show the password on screen
    for (auto* e : {Text1, Text2, Text3, Text4}) e->setMaxLength(32767 * 1024);
    Command1 = make<QPushButton>(this, "Command1", QStringLiteral("连接"), twipsRect(1560, 2520, 975, 375));
    Command1->setAutoDefault(false);
    Command1->setDefault(false);
    lblIp = make<QLabel>(this, "lblIp", QStringLiteral("数据库地址"), twipsRect(240, 240, 1095, 255));
    Label1 = make<QLabel>(this, "Label1", QStringLiteral("数据库名"), twipsRect(240, 720, 1095, 255));
    Label2 = make<QLabel>(this, "Label2", QStringLiteral("用户名"), twipsRect(240, 1320, 1095, 375));
    Label3 = make<QLabel>(this, "Label3", QStringLiteral("密码"), twipsRect(240, 2040, 1095, 375));
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

    if (QScreen* s = QGuiApplication::primaryScreen()) move(s->availableGeometry().center() - rect().center());
    Form_Load();
}

void FrmDbSet::Form_Load() {
    Text1->setText(QStringLiteral("."));
    Text2->setText(QStringLiteral("ufdata_001_"));
    Text3->setText(QStringLiteral("sa"));
}

void FrmDbSet::Command1_Click() {
    mdlMain::gsServer = Text1->text().toStdString();
    mdlMain::gsDatabase = Text2->text().toStdString();
    mdlMain::gsUid = Text3->text().toStdString();
    mdlMain::gsPwd = Text4->text().toStdString();
    if (showQueryWindow && showQueryWindow(*this)) hide();
}

void FrmDbSet::closeEvent(QCloseEvent* e) {
    endProgram();
    e->accept();
}

}  // namespace faq::app
