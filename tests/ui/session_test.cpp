// A whole session (connect, query, F2, export) writes nothing outside the export folder,
// and the password shows up in no message, output or file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDirIterator>
#include <QLineEdit>
#include <QTest>
#include <cstdlib>

#include "app/frm_db_set.h"
#include "app/mdl_main.h"
#include "app/program.h"
#include "support/temp_cleanup.h"
#include "support/test_connector.h"
#include "ui/data_combo.h"
#include "ui/data_grid.h"
#include "ui/form_select.h"
#include "ui/frm_login.h"
#include "ui/gui_fixture.h"
#include "ui/startup.h"

using namespace faq;

namespace {

QString gRoot;  // HOME, XDG folders and TMPDIR of this process all live here
const char* const kPassword = "Sess-Pw-4242";

QStringList filesUnder(const QString& dir) {
    QStringList out;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) out << QDir(gRoot).relativeFilePath(it.next());
    return out;
}

TEST(Session, NothingPersistsAndThePasswordNeverShows) {
    QStringList shown;
    app::setMessageSink([&](const QString& t, QMessageBox::Icon) { shown << t; });
    app::setProgramEnder([] {});
    // stdout and stderr of the whole session go to a file we read afterwards.
    const QString capture = gRoot + QStringLiteral("/../session-output.txt");
    std::fflush(nullptr);
    const int savedOut = dup(1), savedErr = dup(2);
    FILE* cap = std::fopen(capture.toUtf8().constData(), "w");
    dup2(fileno(cap), 1);
    dup2(fileno(cap), 2);

    ui::Startup st(test::flakySample());
    app::FrmDbSet& dlg = st.settings();
    dlg.show();
    dlg.Text4->setText(QString::fromLatin1(kPassword));
    test::switches().failConnect = true;  // a driver error that echoes the connection string
    dlg.Command1_Click();
    test::GuiTest::settle(st);
    test::switches().failConnect = false;
    dlg.Command1_Click();
    test::GuiTest::settle(st);
    ui::frmLogin* w = st.queryWindow();
    ASSERT_NE(w, nullptr);
    w->byyyy->setEditText(QStringLiteral("2000"));
    w->Command1_Click();
    test::GuiTest::settle(w);
    w->dcob->setEditText(QStringLiteral("电脑"));
    w->Form_KeyDown(Qt::Key_F2, Qt::NoModifier);
    test::GuiTest::settle(w);
    ASSERT_NE(w->picker(), nullptr);
    w->picker()->dgList_KeyDown(Qt::Key_Return, Qt::NoModifier);
    w->Command1_Click();
    test::GuiTest::settle(w);
    test::UrlCatcher catcher;
    test::spreadsheetProgramKnown(true);
    const QStringList& opened = catcher.opened;
    w->btnCsv_Click();
    test::GuiTest::settle(w);

    std::fflush(nullptr);
    dup2(savedOut, 1);
    dup2(savedErr, 2);
    std::fclose(cap);

    ASSERT_EQ(shown.size(), 2);
    EXPECT_TRUE(shown[0].startsWith(QStringLiteral("数据库连接失败：")));
    EXPECT_TRUE(shown[0].contains(QStringLiteral("PWD=***")));  // the echoed string, password removed
    EXPECT_TRUE(shown[1].startsWith(QStringLiteral("输出成功!\n")));
    for (const QString& m : shown) EXPECT_FALSE(m.contains(QString::fromLatin1(kPassword))) << m.toStdString();

    // Only the workbook, in the program's folder under the temporary folder.
    ASSERT_EQ(opened.size(), 1);
    const QStringList files = filesUnder(gRoot);
    ASSERT_EQ(files.size(), 1) << files.join(QStringLiteral(", ")).toStdString();
    EXPECT_TRUE(files[0].startsWith(QStringLiteral("tmp/faquery-%1/固定资产查询_").arg(geteuid())))
        << files[0].toStdString();
    QFile out(capture);
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    EXPECT_FALSE(out.readAll().contains(kPassword));
    QFile book(opened[0]);
    ASSERT_TRUE(book.open(QIODevice::ReadOnly));
    EXPECT_FALSE(book.readAll().contains(kPassword));
    app::setMessageSink(nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    // A fresh home, XDG folders and temporary folder, so anything written is seen.
    char tmpl[] = "/tmp/faq-session-XXXXXX";
    const QString base = QString::fromLocal8Bit(mkdtemp(tmpl));
    test::removeAtExit(base.toStdString());
    gRoot = base + QStringLiteral("/root");
    for (const char* sub : {"home", "config", "cache", "data", "state", "runtime", "tmp"})
        QDir().mkpath(gRoot + "/" + sub);
    QFile::setPermissions(gRoot + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    auto set = [](const char* var, const QString& v) { qputenv(var, v.toLocal8Bit()); };
    set("HOME", gRoot + "/home");
    set("XDG_CONFIG_HOME", gRoot + "/config");
    set("XDG_CACHE_HOME", gRoot + "/cache");
    set("XDG_DATA_HOME", gRoot + "/data");
    set("XDG_STATE_HOME", gRoot + "/state");
    set("XDG_RUNTIME_DIR", gRoot + "/runtime");
    set("TMPDIR", gRoot + "/tmp");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ui::installAppLook();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
