// The export to a workbook, read back with a real reader and compared cell by cell.
#ifndef _WIN32
#include <unistd.h>
#endif

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTemporaryDir>
#include <atomic>
#include <thread>

#include "app/program.h"
#include "export/workbook.h"
#include "gui_fixture.h"
#include "query/money_format.h"
#include "query/summary_view.h"
#include "support/xlsx_reader.h"
#include "ui/data_grid.h"
#include "ui/frm_cards.h"

using namespace faq;

namespace {

class Export : public test::GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        ASSERT_TRUE(dir.isValid());
    }
    // The query window, its exporter writing into dir; the desktop names a program for
    // workbooks or not.
    std::unique_ptr<ui::frmLogin> window(bool programKnown = true) {
        test::spreadsheetProgramKnown(programKnown);
        auto w = openQueryWindow();
        w->exporter().tempRoot = dir.path();
        return w;
    }
    QStringList files() const {
#ifdef _WIN32
        // libxlsxwriter's temporary file of a sheet without data rows (tmp.*, opened to be
        // deleted on close) is left open there until the program ends.
        return QDir(exportFolder()).entryList({QStringLiteral("*.xltx")}, QDir::Files | QDir::Hidden);
#else
        return QDir(exportFolder()).entryList(QDir::Files | QDir::Hidden);
#endif
    }
    QString exportFolder() const {
#ifdef _WIN32
        return dir.filePath(QStringLiteral("faquery"));
#else
        return dir.filePath(QStringLiteral("faquery-%1").arg(geteuid()));
#endif
    }
    // Rows [first, last] of the result against the data rows of sheet 0.
    void expectSheetMatches(const data::RecordsetPtr& rs, size_t first, const test::Workbook& wb) {
        ASSERT_TRUE(wb.error.isEmpty()) << wb.error.toStdString();
        ASSERT_EQ(wb.sheetCount, 1);
        const QJsonArray rows = wb.sheets[0].rows;
        const char* captions[] = {"开始使用日期", "使用部门", "固定资产名称", "原值", "数量"};
        for (int c = 0; c < 5; ++c)
            EXPECT_EQ(rows[0].toArray()[c].toArray()[1].toString(), QString::fromUtf8(captions[c]));
        ASSERT_EQ(static_cast<size_t>(rows.size()), rs->recordCount() - first + 1);
        for (size_t r = first; r < rs->recordCount(); ++r) {
            const QJsonArray row = rows[static_cast<int>(r - first + 1)].toArray();
            for (size_t c = 0; c < 5; ++c) {
                const data::Value v = rs->value(r, c);
                const QJsonValue cell = row[static_cast<int>(c)];
                if (v.isNull() || (v.type == data::FieldType::Text && v.text.empty())) {
                    EXPECT_TRUE(cell.isNull()) << r << "," << c;
                } else if (v.isNumber()) {
                    ASSERT_EQ(cell.toArray()[0].toString(), QStringLiteral("n")) << r << "," << c;
                    EXPECT_DOUBLE_EQ(cell.toArray()[1].toDouble(), v.toDouble());
                } else {
                    ASSERT_EQ(cell.toArray()[0].toString(), QStringLiteral("s")) << r << "," << c;
                    EXPECT_EQ(cell.toArray()[1].toString().toStdString(), std::string(v.text));
                }
            }
        }
    }
    QTemporaryDir dir;
    test::UrlCatcher catcher;
    const QStringList& opened = catcher.opened;
};

// 卡片明细's 输出EXCEL: named for what it holds, its last line the total the window shows,
// its message its own (the focus goes back to it). The window opens over the query window,
// its columns whole where the screen has room.
TEST_F(Export, TheCardListsWorkbookEndsWithItsTotalAndIsNamedForIt) {
    auto w = window();
    w->byyyy->setEditText(QStringLiteral("2010"));
    w->Command1_Click();
    settle(w);
    const int last = static_cast<int>(w->result()->recordCount()) - 1;
    w->showCards(last);
    settle(w);
    ui::frmCards* cards = w->cardWindow();
    ASSERT_NE(cards, nullptr);
    EXPECT_TRUE(cards->frameGeometry().intersects(w->frameGeometry()));
    EXPECT_TRUE(cards->screen()->availableGeometry().contains(cards->frameGeometry()))
        << cards->frameGeometry().x() << "," << cards->frameGeometry().y() << " " << cards->frameGeometry().width()
        << "x" << cards->frameGeometry().height() << " in " << cards->screen()->availableGeometry().width() << "x"
        << cards->screen()->availableGeometry().height();
    QTableView* view = cards->dgCards->view();
    int columns = 0;
    for (int c = 0; c < view->model()->columnCount(); ++c) columns += view->columnWidth(c);
    if (columns + 80 < cards->screen()->availableGeometry().width()) {
        EXPECT_GE(view->viewport()->width(), columns);
    }
    activate(cards);
    keyTo(cards->btnCsv, Qt::Key_Space);
    settle(w);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(QFileInfo(opened[0]).fileName().startsWith(QStringLiteral("卡片明细_"))) << opened[0].toStdString();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith(QStringLiteral("输出成功!")));
    EXPECT_EQ(QApplication::focusWidget() ? QApplication::focusWidget()->window() : nullptr, cards);
    const auto wb = test::readXlsx(opened[0]);
    ASSERT_EQ(static_cast<size_t>(wb.sheets[0].rows.size()), cards->cards()->recordCount() + 2);  // captions, total
    const QJsonArray total = wb.sheets[0].rows.last().toArray();
    EXPECT_EQ(total[0].toArray()[1].toString(), QStringLiteral("合计:"));
    const int value = cards->cards()->fieldIndex("原值");
    EXPECT_NEAR(total[value].toArray()[1].toDouble(), w->result()->value(static_cast<size_t>(last), 3).toDouble(),
                0.005);
    EXPECT_TRUE(total[2].toArray()[1].toString().contains(QStringLiteral("数量")))
        << total[2].toArray()[1].toString().toStdString();
}

// A level with 小计 goes to the workbook with its 小计 and 合计 as SUBTOTAL formulas over the
// rows above them, their values cached (read unopened), in the grid's 原值 format, bold, the
// columns wide enough; LibreOffice, made to calculate them, finds the window's figures.
TEST_F(Export, AViewWithSubtotalsIsWrittenWithFormulasThatRecalculateToItsFigures) {
    auto w = window();
    w->byyyy->setEditText(QStringLiteral("2010"));
    w->Command1_Click();
    settle(w);
    w->cboGroup->setCurrentIndex(w->cboGroup->findText(QStringLiteral("按月份、部门")));
    w->chkSubtotals->setChecked(true);
    w->cboGroup_Click();
    settle(w);
    const auto view = w->view();
    ASSERT_TRUE(view && view->subtotals);
    keyTo(w->btnCsv, Qt::Key_Space);
    settle(w);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(QFileInfo(opened[0]).fileName().startsWith(QStringLiteral("固定资产汇总_")));
    QString error;
    const QJsonObject book = test::readSummaryXlsx(opened[0], &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    const QJsonArray cells = book.value(QStringLiteral("cells")).toArray();
    const QJsonArray recalculated = book.value(QStringLiteral("recalculated")).toArray();
    const data::Recordset& rs = *view->rows;
    ASSERT_EQ(static_cast<size_t>(cells.size()), rs.recordCount() + 1);
    ASSERT_EQ(recalculated.size(), cells.size());
    const int value = view->valueColumn(), count = static_cast<int>(rs.fieldCount()) - 1;
    int formulas = 0;
    size_t groupFirst = 2;
    for (size_t r = 0; r < rs.recordCount(); ++r) {
        const QJsonArray row = cells[static_cast<int>(r + 1)].toArray();
        const QJsonObject money = row[value].toObject();
        const bool apart = view->kinds[r] != query::RowKind::Detail;
        EXPECT_EQ(money.value(QStringLiteral("fmt")).toString(), QStringLiteral("#,##0.00")) << r;
        EXPECT_EQ(money.value(QStringLiteral("b")).toBool(), apart) << r;
        EXPECT_NEAR(money.value(QStringLiteral("v")).toDouble(), rs.value(r, static_cast<size_t>(value)).toDouble(),
                    0.005)
            << r;
        EXPECT_EQ(row[count].toObject().value(QStringLiteral("v")).toInt(), rs.value(r, static_cast<size_t>(count)).i);
        const QString formula = money.value(QStringLiteral("f")).toString();
        if (apart) {
            // Over the department's rows, or (the total) every row above.
            const size_t from = view->kinds[r] == query::RowKind::Total ? 2 : groupFirst;
            EXPECT_EQ(formula, QStringLiteral("=SUBTOTAL(9,C%1:C%2)").arg(from).arg(r + 1)) << r;
            const QJsonArray again = recalculated[static_cast<int>(r + 1)].toArray();
            EXPECT_NEAR(again[value].toString().toDouble(), rs.value(r, static_cast<size_t>(value)).toDouble(), 0.005)
                << r;
            EXPECT_EQ(again[count].toString().toLongLong(), rs.value(r, static_cast<size_t>(count)).i) << r;
            ++formulas;
            groupFirst = r + 3;
        } else {
            EXPECT_TRUE(formula.isEmpty()) << r;
        }
    }
    EXPECT_GT(formulas, 5);
    // The 合计 still the statement's.
    EXPECT_EQ(rs.value(rs.recordCount() - 1, static_cast<size_t>(value)).toDouble(),
              w->result()->value(w->result()->recordCount() - 1, 3).toDouble());
    // Each column as wide as its widest figure: a ten-digit total with its separators.
    const QJsonObject widths = book.value(QStringLiteral("widths")).toObject();
    const QString widest = QString::fromStdString(query::formatMoney(rs.value(rs.recordCount() - 1, 2))).trimmed();
    EXPECT_GE(widths.value(QStringLiteral("C")).toDouble(), widest.size()) << widest.toStdString();
}

TEST_F(Export, RightAfterAQueryAndAgainOnASecondPress) {
    auto w = window();
    w->byyyy->setEditText(QStringLiteral("2015"));
    w->Command1_Click();
    settle(w);
    auto rs = w->result();
    w->btnCsv_Click();
    settle(w);
    ASSERT_EQ(messageTexts().size(), 1);
    EXPECT_TRUE(messageTexts()[0].startsWith(QStringLiteral("输出成功!\n"))) << messageTexts()[0].toStdString();
    EXPECT_EQ(messages[0].icon, QMessageBox::NoIcon);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(QFileInfo(opened[0]).fileName().startsWith(QStringLiteral("固定资产查询_")));
    EXPECT_TRUE(opened[0].endsWith(QStringLiteral(".xltx")));
    auto wb = test::readXlsx(opened[0]);
    expectSheetMatches(rs, 0, wb);
    EXPECT_EQ(wb.sheets[0].name, QStringLiteral("Sheet1"));
    // The last data row is the total row.
    const QJsonArray last = wb.sheets[0].rows.last().toArray();
    EXPECT_EQ(last[2].toArray()[1].toString(), QStringLiteral("合计:"));
    EXPECT_EQ(rs->position(), 0);  // left where it was
    w->btnCsv_Click();
    settle(w);
    ASSERT_EQ(opened.size(), 2);
    EXPECT_NE(opened[0], opened[1]);  // a new file each press; the first stays
    expectSheetMatches(rs, 0, test::readXlsx(opened[1]));
    EXPECT_EQ(files().size(), 2);  // nothing partial left over
}

TEST_F(Export, WritesTheWholeResultWhateverRowIsCurrentAndLeavesItThere) {
    // Asking for the program for workbooks runs with the export, behind the busy line.
    qputenv("FAQ_TEST_SPREADSHEET_DELAY", "1");
    auto w = window();
    w->byyyy->setEditText(QStringLiteral("2015"));
    w->Command1_Click();
    settle(w);
    const int total = w->dgContent->model()->rowCount() - 1;
    for (const int row : {3, total}) {
        w->dgContent->view()->setCurrentIndex(w->dgContent->model()->index(row, 0));
        QTest::keyClick(w->btnCsv, Qt::Key_Return);  // Enter presses the focused button
        EXPECT_TRUE(w->busy());
#ifndef _WIN32  // the shell's association is read at once there
        EXPECT_TRUE(QTest::qWaitFor([&] { return w->lblBusy->isVisible(); }, 900));
#endif
        settle(w);
        expectSheetMatches(w->result(), 0, test::readXlsx(opened.last()));
        EXPECT_EQ(w->result()->position(), row);
        EXPECT_EQ(w->dgContent->view()->currentIndex().row(), row);
    }
    ASSERT_EQ(messageTexts().size(), 2);
    for (const QString& m : messageTexts()) EXPECT_TRUE(m.startsWith(QStringLiteral("输出成功!\n")));
    qunsetenv("FAQ_TEST_SPREADSHEET_DELAY");
}

TEST_F(Export, CancelStopsTheRowsButNotTheZipAndNeverTheConnection) {
    connector = test::flakySample(20000);
    newSession();
    auto w = window();
    w->byyyy->setEditText(QStringLiteral("1990"));
    w->Command1_Click();
    settle(w);
    // While the rows are written: it stops, leaves no file, and gives up nothing (no
    // statement runs, so the connection stays), even well past the time a silent server gets.
    const unsigned generation = session->generation();
    const int connects = test::switches().connects;
    w->btnCsv_Click();
    w->btnCancel_Click();
    settle(w);
    QTest::qWait(3500);
    EXPECT_TRUE(messages.empty()) << messageTexts().join('\n').toStdString();
    EXPECT_EQ(w->lblBusy->text(), QStringLiteral("输出已取消"));
    EXPECT_TRUE(w->lblBusy->isVisible());
    EXPECT_EQ(session->generation(), generation);
    EXPECT_TRUE(files().isEmpty()) << files().join(' ').toStdString();
    w->Command1_Click();
    settle(w);
    EXPECT_EQ(test::switches().connects, connects);
    messages.clear();
    // While it is zipped: said, and written whole.
    w->btnCsv_Click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->exportFinishing() || !w->busy(); }, 30000));
    ASSERT_TRUE(w->exportFinishing()) << "the zip phase was not seen";
    w->btnCancel_Click();
    EXPECT_FALSE(w->btnCancel->isEnabled());
    EXPECT_TRUE(w->lblBusy->text().startsWith(QStringLiteral("正在完成工作簿，已无法取消")))
        << w->lblBusy->text().toStdString();
    settle(w);
    ASSERT_EQ(messageTexts().size(), 1);
    EXPECT_TRUE(messageTexts()[0].startsWith(QStringLiteral("输出成功!\n")));  // written whole, not cancelled
    EXPECT_TRUE(w->btnCancel->isEnabled());
    ASSERT_EQ(opened.size(), 1);
    expectSheetMatches(w->result(), 0, test::readXlsx(opened[0]));
}

TEST_F(Export, FailuresAreNeverReportedAsSuccess) {
    auto w = window(false);
    w->btnCsv_Click();  // before any query: the header row of the two empty columns alone
    settle(w);
    ASSERT_EQ(files().size(), 1) << files().join(QStringLiteral(", ")).toStdString();
    ASSERT_EQ(messages.size(), 1u);
    const QString first = QDir(exportFolder()).filePath(files()[0]);
    EXPECT_TRUE(messages[0].text.startsWith(QStringLiteral("工作簿已保存：") + QDir::toNativeSeparators(first)))
        << messages[0].text.toStdString();
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("系统会不时清空它")));
    const test::Workbook empty = test::readXlsx(first);
    ASSERT_TRUE(empty.error.isEmpty()) << empty.error.toStdString();
    EXPECT_TRUE(empty.sheets[0].rows.isEmpty() || empty.sheets[0].rows[0].toArray().isEmpty());
    EXPECT_TRUE(opened.isEmpty());

    EXPECT_TRUE(opened.isEmpty());  // the folder was not asked for
    w->Command1_Click();
    settle(w);
    QStringList offers;
    app::setOfferAnswer([&](const QString& offer) {
        offers << offer;
        return true;
    });
    w->btnCsv_Click();  // no program to open it: xdg-open would still start
    settle(w);
    app::setOfferAnswer(nullptr);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_TRUE(messages[1].text.startsWith(QStringLiteral("工作簿已保存：")));
    EXPECT_EQ(offers, QStringList{QStringLiteral("打开所在文件夹")});
    ASSERT_EQ(opened.size(), 1);  // the folder, handed to the desktop
    EXPECT_EQ(QFileInfo(opened[0]).canonicalFilePath(), QFileInfo(exportFolder()).canonicalFilePath());
    catcher.opened.clear();
#ifndef _WIN32
    // A desktop with no program for folders either: the folder is named instead.
    const QStringList kept = files();
    qputenv("FAQ_TEST_FOLDERS", "");
    app::setOfferAnswer([](const QString&) { return true; });
    w->btnCsv_Click();
    settle(w);
    app::setOfferAnswer(nullptr);
    qunsetenv("FAQ_TEST_FOLDERS");
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_TRUE(messages[3].text.contains(QStringLiteral("工作簿所在的文件夹是：\n") +
                                          QDir::toNativeSeparators(QFileInfo(exportFolder()).absoluteFilePath())))
        << messages[3].text.toStdString();
    EXPECT_TRUE(opened.isEmpty());
    for (const QString& f : files())
        if (!kept.contains(f)) QFile::remove(QDir(exportFolder()).filePath(f));
    messages.resize(2);
#endif
    ASSERT_EQ(files().size(), 2);

    // A folder that cannot be made: its parent is a file.
    QFile blocker(dir.filePath(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    w->exporter().tempRoot = dir.filePath(QStringLiteral("blocker"));
    w->btnCsv_Click();
    settle(w);
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_TRUE(messages[2].text.startsWith(QStringLiteral("输出失败：")));
    EXPECT_TRUE(opened.isEmpty());
}

TEST(WorkbookWriter, MoreRowsThanASheetHoldsContinueOnTheNextSheet) {
    data::RecordsetBuilder b({{"n", data::FieldType::Integer}, {"t", data::FieldType::Text}});
    const size_t total = output::kRowsPerSheet + 5;
    for (size_t r = 0; r < total; ++r) {
        b.putInt(static_cast<int64_t>(r));
        if (r % 2)
            b.putNull();
        else
            b.putText("行");
    }
    auto rs = b.finish();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.xlsx"));
    // Stopped while the rows are written: it ends within a thousand rows, nothing is zipped,
    // nothing is left behind, not even an open temporary file.
    const auto openFiles = [] { return QDir(QStringLiteral("/proc/self/fd")).count(); };
    [[maybe_unused]] const auto filesBefore = openFiles();
    std::atomic<bool> stop{false};
    output::WriteProgress progress;
    std::thread stopper([&] {
        while (progress.rows < 200000) std::this_thread::yield();
        stop = true;
    });
    EXPECT_THROW(output::saveWorkbook(path.toStdString(), {"编号", "文本"}, *rs, {}, &stop, &progress),
                 output::OutputCancelled);
    stopper.join();
    EXPECT_LT(progress.rows, total);  // stopped on the way (within a thousand rows of the request)
    EXPECT_FALSE(progress.closing);
    EXPECT_TRUE(QDir(dir.path()).isEmpty(QDir::Files | QDir::Hidden));
#ifdef Q_OS_LINUX
    EXPECT_EQ(openFiles(), filesBefore);
#endif
    stop = false;
    output::saveWorkbook(path.toStdString(), {"编号", "文本"}, *rs, {}, &stop, &progress);
    EXPECT_EQ(progress.rows, total);
    EXPECT_TRUE(progress.closing);
    auto wb = test::readXlsx(path, {QStringLiteral("1")});
    ASSERT_TRUE(wb.error.isEmpty()) << wb.error.toStdString();
    EXPECT_EQ(wb.sheetCount, 2);
    ASSERT_EQ(wb.sheets.size(), 1u);
    const QJsonArray rows = wb.sheets[0].rows;
    ASSERT_EQ(rows.size(), 6);  // header + the five rows past the first sheet
    EXPECT_EQ(rows[0].toArray()[0].toArray()[1].toString(), QStringLiteral("编号"));
    for (int i = 1; i <= 5; ++i)
        EXPECT_EQ(rows[i].toArray()[0].toArray()[1].toInteger(), static_cast<qint64>(output::kRowsPerSheet + i - 1));
    auto first = test::readXlsx(path, {QStringLiteral("0d")});
    EXPECT_EQ(first.sheets[0].maxRow, static_cast<int>(output::kRowsPerSheet + 1));
}

}  // namespace
