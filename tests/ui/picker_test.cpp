// F2 and the asset-name picker.
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>

#include "gui_fixture.h"
#include "ui/data_combo.h"
#include "ui/data_grid.h"
#include "ui/form_select.h"

using namespace faq;

namespace {

class Picker : public test::GuiTest {
protected:
    QStringList listed(ui::FormSelect* p) {
        QStringList out;
        for (int r = 0; r < p->dgList->model()->rowCount(); ++r) out << p->dgList->model()->text(r, 0);
        return out;
    }
};

TEST_F(Picker, F2FromAnyControlOpensItAndOtherKeysDoNot) {
    auto w = openQueryWindow();
    keyTo(w->dcob, Qt::Key_F3);
    EXPECT_EQ(w->picker(), nullptr);
    QWidget* controls[] = {w->byyyy,  w->Command1,          w->bmm,    w->eyyyy, w->emm, w->dcob, w->dcbmDept,
                           w->btnCsv, w->dgContent->view(), w->chkLike};
    for (QWidget* c : controls) {
        if (w->picker()) w->picker()->close();  // unload, so each F2 loads it afresh
        QApplication::processEvents();
        ASSERT_EQ(w->picker(), nullptr);
        keyTo(c, Qt::Key_F2, c == w->emm ? Qt::ShiftModifier : Qt::NoModifier);
        settle(w);
        ASSERT_NE(w->picker(), nullptr) << c->objectName().toStdString();
        EXPECT_TRUE(w->picker()->isVisible());
    }
    auto* p = w->picker();
    EXPECT_EQ(p->windowTitle(), QStringLiteral("固定资产选择"));
    // A tool window of the query window: off the taskbar.
    EXPECT_EQ(p->parentWidget(), w.get());
    EXPECT_EQ(p->windowType(), Qt::Tool);
    EXPECT_EQ(p->size(), QSize(280, 240));
    EXPECT_EQ(p->dgList->geometry(), QRect(8, 8, 265, 225));
    EXPECT_EQ(p->dgList->model()->columnCount(), 2);
    EXPECT_EQ(p->dgList->model()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("固定资产名"));
    EXPECT_EQ(p->dgList->model()->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), QString());
    EXPECT_EQ(p->dgList->view()->horizontalHeader()->sectionSize(0),
              p->dgList->view()->horizontalHeader()->sectionSize(1));
}

TEST_F(Picker, ListsNamesBeginningWithTheBoxText) {
    auto w = openQueryWindow();
    w->dcob->setEditText(QStringLiteral("电脑"));
    keyTo(w->dcob, Qt::Key_F2);
    settle(w);
    ASSERT_NE(w->picker(), nullptr);
    const QStringList names = listed(w->picker());
    EXPECT_TRUE(names.contains(QStringLiteral("电脑")));
    EXPECT_TRUE(names.contains(QStringLiteral("电脑桌")));
    EXPECT_FALSE(names.contains(QStringLiteral("台式电脑")));
    for (const auto& n : names) EXPECT_TRUE(n.startsWith(QStringLiteral("电脑"))) << n.toStdString();
    EXPECT_EQ(w->picker()->dgList->view()->currentIndex().row(), 0);
    EXPECT_EQ(test::switches().sent.back(),
              " SELECT distinct  sAssetName FROM fa_Cards where sAssetName like  '电脑%'");
}

TEST_F(Picker, EnterWithAnyShiftStatePicksTheCurrentRow) {
    auto w = openQueryWindow();
    for (Qt::KeyboardModifiers mods : {Qt::KeyboardModifiers(Qt::NoModifier), Qt::KeyboardModifiers(Qt::ShiftModifier),
                                       Qt::KeyboardModifiers(Qt::ControlModifier)}) {
        w->dcob->setEditText(QString());
        keyTo(w->dcob, Qt::Key_F2);  // loads with the empty text, then only shows again
        settle(w);
        w->dcob->setEditText(QStringLiteral("typed"));
        auto* p = w->picker();
        ASSERT_NE(p, nullptr);
        auto* view = p->dgList->view();
        view->setCurrentIndex(p->dgList->model()->index(0, 0));
        keyTo(view, Qt::Key_Down);
        keyTo(view, Qt::Key_Down);  // arrows only move
        EXPECT_TRUE(p->isVisible());
        const QString third = p->dgList->model()->text(2, 0);
        keyTo(view, Qt::Key_Return, mods);
        EXPECT_FALSE(p->isVisible());
        EXPECT_EQ(w->dcob->currentText(), third);
        EXPECT_EQ(w->byyyy->currentText(), QStringLiteral("2026"));  // nothing else changes
    }
}

TEST_F(Picker, SingleClickPicksTheClickedRowAndTheListFollowsTheBoxText) {
    auto w = openQueryWindow();
    keyTo(w->dcob, Qt::Key_F2);
    settle(w);
    auto* p = w->picker();
    ASSERT_NE(p, nullptr);
    auto* view = p->dgList->view();
    const QString fifth = p->dgList->model()->text(4, 0);
    const QRect cell = view->visualRect(p->dgList->model()->index(4, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_FALSE(p->isVisible());
    EXPECT_EQ(w->dcob->currentText(), fifth);
    const size_t sent = test::switches().sent.size();
    // The text it was loaded for, F2 again: the same list and row, no new query.
    w->dcob->setEditText(QString());
    keyTo(w->dcob, Qt::Key_F2);
    settle(w);
    EXPECT_EQ(w->picker(), p);
    EXPECT_TRUE(p->isVisible());
    EXPECT_EQ(view->currentIndex().row(), 4);
    EXPECT_EQ(test::switches().sent.size(), sent);
    // Esc closes it as a pick does: the box keeps its text, the focus goes back.
    keyTo(view, Qt::Key_Escape);
    EXPECT_FALSE(p->isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return w->focusWidget() == w->dcob; }, 2000));
    // Another beginning typed: the names that begin with it, never the old list.
    for (const QString& prefix : {QStringLiteral("电"), QStringLiteral("车")}) {
        w->dcob->setEditText(prefix);
        keyTo(w->dcob, Qt::Key_F2);
        settle(w);
        ASSERT_NE(w->picker(), nullptr);
        p = w->picker();
        EXPECT_TRUE(p->isVisible());
        EXPECT_EQ(test::switches().sent.back(),
                  " SELECT distinct  sAssetName FROM fa_Cards where sAssetName like  '" + prefix.toStdString() + "%'");
        ASSERT_GT(p->dgList->model()->rowCount(), 0);
        for (const auto& n : listed(p)) EXPECT_TRUE(n.startsWith(prefix)) << n.toStdString();
        keyTo(p->dgList->view(), Qt::Key_Return);
    }
    // The close box unloads it: the next F2 queries with the text of the box now.
    w->dcob->setEditText(QStringLiteral("车"));
    keyTo(w->dcob, Qt::Key_F2);
    settle(w);
    p = w->picker();
    ASSERT_NE(p, nullptr);
    p->close();
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(w->picker(), nullptr);
    keyTo(w->dcob, Qt::Key_F2);
    settle(w);
    ASSERT_NE(w->picker(), nullptr);
    EXPECT_EQ(test::switches().sent.back(), " SELECT distinct  sAssetName FROM fa_Cards where sAssetName like  '车%'");
    for (const auto& n : listed(w->picker())) EXPECT_TRUE(n.startsWith(QStringLiteral("车"))) << n.toStdString();
}

TEST_F(Picker, EmptyListPickKeepsTheBoxAndFailuresAreReported) {
    auto w = openQueryWindow();
    w->dcob->setEditText(QStringLiteral("没有这种资产"));
    keyTo(w->dcob, Qt::Key_F2);
    settle(w);
    auto* p = w->picker();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->dgList->model()->rowCount(), 0);
    keyTo(p->dgList->view(), Qt::Key_Return);
    EXPECT_FALSE(p->isVisible());
    EXPECT_EQ(w->dcob->currentText(), QStringLiteral("没有这种资产"));
    p->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    test::switches().failQueries = true;
    keyTo(w->dcob, Qt::Key_F2);
    settle(w);
    EXPECT_EQ(w->picker(), nullptr);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith(QStringLiteral("查询失败：")));
    test::switches().failQueries = false;
    // A list cancelled (Esc while it loads) says so in the busy line, as the list it was.
    test::switches().slowQueries = true;
    keyTo(w->dcob, Qt::Key_F2);
    QTest::qWait(100);
    keyTo(w->dcob, Qt::Key_Escape);
    settle(w);
    test::switches().slowQueries = false;
    EXPECT_EQ(w->picker(), nullptr);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(w->lblBusy->text(), QStringLiteral("资产名称列表已取消"));
    w->dcob->setEditText(QStringLiteral("O'N"));  // a quote in the prefix is not an error
    keyTo(w->dcob, Qt::Key_F2);
    settle(w);
    ASSERT_NE(w->picker(), nullptr);
    EXPECT_EQ(listed(w->picker()), QStringList{QStringLiteral("O'Neil 台式机")});
}

}  // namespace
