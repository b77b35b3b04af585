// The query window as a Windows user works it: lists and columns that read in full, Tab,
// Enter and the focus after a message or the picker.
#include <QAbstractItemView>
#include <QCheckBox>
#include <QCompleter>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "app/frm_db_set.h"
#include "gui_fixture.h"
#include "ui/data_combo.h"
#include "ui/data_grid.h"
#include "ui/form_select.h"

using namespace faq;
using faq::ui::frmLogin;

namespace {

class Desktop : public test::GuiTest {};

// Every item of box fits its open list, unelided.
void expectListReadsInFull(QComboBox* box) {
    box->showPopup();
    QAbstractItemView* list = box->view();
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->isVisible(); }, 2000)) << box->objectName().toStdString();
    // The width the list's own delegate needs to draw its widest item without eliding it.
    EXPECT_GE(list->viewport()->width(), list->sizeHintForColumn(0)) << box->objectName().toStdString();
    box->hidePopup();
}

TEST_F(Desktop, ListsAndColumnsReadInFullAndFollowTheirText) {
    connector = test::flakySample(5000);  // a total of eleven digits
    newSession();
    auto w = openQueryWindow();
    for (QComboBox* box : {static_cast<QComboBox*>(w->byyyy), static_cast<QComboBox*>(w->bmm),
                           static_cast<QComboBox*>(w->dcob), static_cast<QComboBox*>(w->dcbmDept)})
        expectListReadsInFull(box);

    // The list stands on the item the text names, typed or set; Up and Down go on from it.
    EXPECT_EQ(w->byyyy->currentIndex(), w->byyyy->count() - 1);
    QTest::keyClick(w->byyyy, Qt::Key_Up);
    EXPECT_EQ(w->byyyy->currentText(), QStringLiteral("2025"));
    QTest::keyClick(w->emm, Qt::Key_Up);
    EXPECT_EQ(w->emm->currentText(), QStringLiteral("11"));
    w->bmm->lineEdit()->selectAll();
    QTest::keyClicks(w->bmm, QStringLiteral("5"));
    QTest::keyClick(w->bmm, Qt::Key_Down);
    EXPECT_EQ(w->bmm->currentText(), QStringLiteral("6"));
    w->eyyyy->setEditText(QStringLiteral("20x"));  // names no item: Down starts at the first
    QTest::keyClick(w->eyyyy, Qt::Key_Down);
    EXPECT_EQ(w->eyyyy->currentText(), QStringLiteral("1926"));

    // After a query every column is as wide as its widest value as shown and its caption,
    // whatever the font (the desktop's may be larger than the one here).
    QFont large = w->dgContent->view()->font();
    large.setPointSize(large.pointSize() * 2);
    w->dgContent->view()->setFont(large);
    w->byyyy->setEditText(QStringLiteral("1990"));
    w->eyyyy->setEditText(QStringLiteral("2026"));
    w->emm->setEditText(QStringLiteral("12"));
    w->Command1_Click();
    settle(w);
    const auto* model = w->dgContent->model();
    QHeaderView* header = w->dgContent->view()->horizontalHeader();
    const QFontMetrics fm(w->dgContent->view()->font());
    ASSERT_EQ(model->columnCount(), 5);
    for (int c = 0; c < model->columnCount(); ++c) {
        int widest = header->sectionSizeHint(c);
        for (int r = 0; r < model->rowCount(); ++r) widest = std::max(widest, fm.horizontalAdvance(model->text(r, c)));
        EXPECT_GE(header->sectionSize(c), widest) << c;
    }
    EXPECT_EQ(header->sectionResizeMode(3), QHeaderView::Interactive);

    // Tab leaves the grid for the next control, Shift+Tab for the one before; arrows stay.
    keyTo(w->dgContent->view(), Qt::Key_Down);
    EXPECT_EQ(w->dgContent->view()->currentIndex().row(), 1);
    QTest::keyClick(w->dgContent->view(), Qt::Key_Tab);
    EXPECT_EQ(w->focusWidget(), w->chkLike);
    keyTo(w->dgContent->view(), Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(w->focusWidget(), w->btnChart);  // the buttons beside 输出EXCEL come before the grid
    screenshot(w.get(), QStringLiteral("query-columns"));
}

TEST_F(Desktop, EnterPressesTheFocusedButtonAndTheFocusComesBack) {
    auto st = startup();
    app::FrmDbSet& dlg = st->settings();
    dlg.show();
    activate(&dlg);
    keyTo(dlg.Text2, Qt::Key_Return);  // in a text box Enter does nothing
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(st->queryWindow(), nullptr);

    // A failed connect: the settings come back with the focus where it was.
    test::switches().failConnect = true;
    keyTo(dlg.Command1, Qt::Key_Return);
    settle(*st);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(dlg.focusWidget(), dlg.Command1);
    test::switches().failConnect = false;
    dlg.Command1->setFocus();
    QKeyEvent keypadEnter(QEvent::KeyPress, Qt::Key_Enter, Qt::KeypadModifier);
    QApplication::sendEvent(dlg.Command1, &keypadEnter);
    settle(*st);
    frmLogin* w = st->queryWindow();
    ASSERT_NE(w, nullptr);
    settle(w);

    // Enter on 查询 queries; the focus stays on the button through the work.
    keyTo(w->Command1, Qt::Key_Return);
    settle(w);
    ASSERT_NE(w->result(), nullptr);
    EXPECT_EQ(w->focusWidget(), w->Command1);

    // A bad period: the message, then the focus in the box that is wrong.
    w->emm->setEditText(QStringLiteral("13"));
    keyTo(w->Command1, Qt::Key_Return);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].text, QStringLiteral("期间输入不正确"));
    EXPECT_EQ(w->focusWidget(), w->emm);
    EXPECT_EQ(w->emm->lineEdit()->selectedText(), QStringLiteral("13"));  // a 7 typed now makes 7, not 137
    QTest::keyClicks(w->emm, QStringLiteral("7"));
    EXPECT_EQ(w->emm->currentText(), QStringLiteral("7"));
    w->emm->setEditText(QStringLiteral("12"));

    // After a pick, or when the picker closes, the focus is back where F2 was pressed;
    // a completion list open at F2 goes first.
    activate(w);
    w->dcob->setFocus();
    QKeyEvent typed(QEvent::KeyPress, 0, Qt::NoModifier, QStringLiteral("电"));  // as an input method types it
    QApplication::sendEvent(w->dcob->lineEdit(), &typed);
    QWidget* completions = w->dcob->completer()->popup();
    ASSERT_TRUE(QTest::qWaitFor([&] { return completions->isVisible(); }, 2000));
    w->Form_KeyDown(Qt::Key_F2, Qt::NoModifier);
    EXPECT_FALSE(completions->isVisible());
    settle(w);
    ui::FormSelect* picker = w->picker();
    ASSERT_NE(picker, nullptr);
    activate(picker);
    QTest::keyClick(picker->dgList->view(), Qt::Key_Down);
    QTest::keyClick(picker->dgList->view(), Qt::Key_Return);
    EXPECT_FALSE(picker->isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return w->focusWidget() == w->dcob; }, 2000));
    EXPECT_TRUE(w->dcob->currentText().startsWith(QStringLiteral("电")));
    keyTo(w->chkLike, Qt::Key_F2);
    settle(w);
    ASSERT_TRUE(w->picker()->isVisible());
    w->picker()->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return w->focusWidget() == w->chkLike; }, 2000));
    // Esc in the picker: closed, the box as it was, the focus back.
    const QString before = w->dcob->currentText();
    keyTo(w->emm, Qt::Key_F2);
    settle(w);
    ASSERT_TRUE(w->picker()->isVisible());
    activate(w->picker());
    QTest::keyClick(w->picker()->dgList->view(), Qt::Key_Escape);
    EXPECT_FALSE(w->picker()->isVisible());
    EXPECT_EQ(w->dcob->currentText(), before);
    EXPECT_TRUE(QTest::qWaitFor([&] { return w->focusWidget() == w->emm; }, 2000));
}

TEST_F(Desktop, AMessageBoxShowsItsWholeTitleAndFitsTheScreen) {
    app::setMessageSink(nullptr);  // the real box
    QWidget owner;
    owner.show();
    struct Seen {
        int width = 0, height = 0, titleWidth = 0;
        QString details;
        QStringList buttons;  // Qt's own texts, in Chinese
    };
    auto show = [&](const QString& text) {
        Seen seen;
        QTimer::singleShot(200, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            seen = {box->width(),
                    box->height(),
                    QFontMetrics(box->font()).horizontalAdvance(box->windowTitle()),
                    box->detailedText(),
                    {}};
            for (QAbstractButton* b : box->buttons()) seen.buttons << b->text();
            screenshot(box, QStringLiteral("message"));
            box->accept();
        });
        app::showMessage(&owner, text, QMessageBox::Warning);
        return seen;
    };
    const Seen ok = show(QStringLiteral("输出成功!"));
    EXPECT_GE(ok.width, ok.titleWidth * 3 / 2 + QFontMetrics(owner.font()).height() * 6);
    EXPECT_TRUE(ok.details.isEmpty());
    EXPECT_EQ(ok.buttons, QStringList{QStringLiteral("确定")});
    EXPECT_TRUE(QFile::exists(QStringLiteral(":/translations/qtbase_zh_CN.qm")));  // inside the program
    // A driver that repeats a long statement over many records: a few lines, the rest in
    // the details.
    QStringList lines{QStringLiteral("查询失败：")};
    for (int i = 0; i < 80; ++i) lines << QStringLiteral("[42000] (102) 第 %1 行附近有语法错误。").arg(i);
    const Seen many = show(lines.join(QLatin1Char('\n')));
    EXPECT_LE(many.height, owner.screen()->availableGeometry().height() / 2);
    EXPECT_EQ(many.details, lines.join(QLatin1Char('\n')));
    // A box with an offer beside 确定: choosing it is the answer.
    for (const bool take : {true, false}) {
        QStringList buttons;
        QTimer::singleShot(200, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            for (QAbstractButton* b : box->buttons()) buttons << b->text();
            for (QAbstractButton* b : box->buttons())
                if ((b->text() == QStringLiteral("打开所在文件夹")) == take) return b->click();
        });
        EXPECT_EQ(app::askMessage(&owner, QStringLiteral("工作簿已保存"), QStringLiteral("打开所在文件夹")), take);
        EXPECT_TRUE(buttons.contains(QStringLiteral("确定")) && buttons.contains(QStringLiteral("打开所在文件夹")))
            << buttons.join(' ').toStdString();
    }
}

}  // namespace
