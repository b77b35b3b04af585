// Real drivers under the windows: PostgreSQL through ODBC failing (wrong password, missing
// database, server down at start, server stopped between two queries), and FreeTDS with
// the TDS test server (a whole session, a wrong password, a connection dropped in the
// middle of a result) and with a server that never answers the login. Runs alone: it
// stops and starts the PostgreSQL server.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>
#include <thread>

#include "app/frm_db_set.h"
#include "data/cdb.h"
#include "export/workbook.h"
#include "gui_fixture.h"
#include "support/odbc_env.h"
#include "support/pg_env.h"
#include "support/tds_server.h"
#include "ui/data_combo.h"
#include "ui/data_grid.h"
#include "ui/form_select.h"
#include "ui/frm_login.h"
#include "ui/startup.h"

using namespace faq;

namespace {

void pgServer(const char* action, const test::PgServer& pg) {
    const char* data = std::getenv("FAQ_PG_DATA");
    ASSERT_NE(data, nullptr) << "FAQ_PG_DATA is not set";
    std::string cmd = std::string(FAQ_SOURCE_DIR "/scripts/pg-server ") + action + " " + data;
    if (std::string(action) == "start") cmd += " " + pg.port;
    ASSERT_EQ(std::system((cmd + " > /dev/null 2>&1").c_str()), 0) << cmd;
}

// The settings dialog of one start-up, as a user retries it: the server, login, password
// and database typed in, connect pressed.
class SettingsTest : public test::GuiTest {
protected:
    QStringList connectWith(const std::string& server, const std::string& user, const QString& pwd, const QString& db) {
        messages.clear();
        if (!st) st = startup();
        app::FrmDbSet& dlg = st->settings();
        dlg.show();
        dlg.Text1->setText(QString::fromStdString(server));
        dlg.Text2->setText(db);
        dlg.Text3->setText(QString::fromStdString(user));
        dlg.Text4->setText(pwd);
        dlg.Command1_Click();
        settle(*st);
        EXPECT_EQ(st->queryWindow() != nullptr, messages.empty());
        if (st->queryWindow()) {
            EXPECT_FALSE(dlg.isVisible());
        } else {
            EXPECT_TRUE(dlg.isVisible());
        }
        return messageTexts();
    }
    std::unique_ptr<ui::Startup> st;
};

class PgFaults : public SettingsTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        FAQ_REQUIRE_PG(pg);
        test::registerSqlServerDriver(FAQ_PG_ODBC_DRIVER);
        connector = test::compactOdbcConnector(";Port=" + pg.port);
        newSession().params = {"127.0.0.1", pg.database, pg.user, pg.password};
    }
    void TearDown() override {
        if (stopped) pgServer("start", pg);
        GuiTest::TearDown();
    }
    QStringList connectWith(const QString& pwd, const QString& db) {
        return SettingsTest::connectWith("127.0.0.1", pg.user, pwd, db);
    }
    test::PgServer pg;
    bool stopped = false;
};

TEST_F(PgFaults, LoginFailuresBringTheSettingsBackWithTheDriversMessage) {
    {
        data::CDB db(session->params, connector);
        db.ExecSql(test::kPgLookupTables);
    }
    QStringList m = connectWith(QStringLiteral("wrong-Pw-1"), QString::fromStdString(pg.database));
    ASSERT_EQ(m.size(), 1);
    EXPECT_TRUE(m[0].startsWith(QStringLiteral("数据库连接失败：用户名或密码不正确"))) << m[0].toStdString();
    EXPECT_TRUE(m[0].contains(QStringLiteral("password authentication failed"))) << m[0].toStdString();
    EXPECT_FALSE(m[0].contains(QStringLiteral("wrong-Pw-1")));
    m = connectWith(QString::fromStdString(pg.password), QStringLiteral("no_such_db"));
    ASSERT_EQ(m.size(), 1);
    EXPECT_TRUE(m[0].startsWith(QStringLiteral("数据库连接失败：无法打开这个数据库"))) << m[0].toStdString();
    EXPECT_TRUE(m[0].contains(QStringLiteral("no_such_db"))) << m[0].toStdString();
    // A database the login may open but which lacks the tables: the lookup fails after a
    // successful connect. The corrected name then opens the window: nothing is kept.
    m = connectWith(QString::fromStdString(pg.password), QStringLiteral("postgres"));
    ASSERT_EQ(m.size(), 1);
    EXPECT_TRUE(m[0].startsWith(QStringLiteral("查询失败："))) << m[0].toStdString();
    EXPECT_EQ(st->session(), nullptr);
    EXPECT_TRUE(connectWith(QString::fromStdString(pg.password), QString::fromStdString(pg.database)).isEmpty());
    // Server not running at start.
    pgServer("stop", pg);
    stopped = true;
    st.reset();
    m = connectWith(QString::fromStdString(pg.password), QString::fromStdString(pg.database));
    ASSERT_EQ(m.size(), 1);
    EXPECT_TRUE(m[0].startsWith(QStringLiteral("数据库连接失败：无法连接到数据库服务器"))) << m[0].toStdString();
}

TEST_F(PgFaults, ServerStoppedBetweenTwoQueries) {
    data::CDB db(session->params, connector);
    db.ExecSql(test::kPgLookupTables);
    auto shown = db.ExecSqlRs("select sAssetName as \"固定资产名称\", 1.5::float8 as \"原值\" from fa_Cards", 3, 1, 1);
    auto w = openQueryWindow();  // lists from PostgreSQL
    keyTo(w->dcob, Qt::Key_F2);
    settle(w);
    ASSERT_NE(w->picker(), nullptr);
    EXPECT_EQ(w->picker()->dgList->model()->rowCount(), 3);
    delete w->picker();

    pgServer("stop", pg);
    stopped = true;
    keyTo(w->dcob, Qt::Key_F2);
    settle(w);
    // The statement is sent again at once on a new connection, which fails: one message
    // that says so, the driver's words after it.
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith(QStringLiteral("数据库连接失败：无法连接到数据库服务器")))
        << messages[0].text.toStdString();
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("与数据库的连接已断开，重新连接失败")));
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("[08001]")));
    EXPECT_EQ(w->picker(), nullptr);
    EXPECT_THROW(db.ExecSqlRs("select 1"), data::DbError);
    // What was fetched before stays whole and can still be written out.
    ASSERT_EQ(shown->recordCount(), 3u);
    EXPECT_EQ(shown->value(0, 0).text, "电脑");
    const std::string path = test::tempPath("after-stop.xlsx");
    std::remove(path.c_str());
    output::saveWorkbook(path, {"固定资产名称", "原值"}, *shown);
    EXPECT_TRUE(QFile::exists(QString::fromStdString(path)));
    // The window stays usable: the next statement tries to connect again, and says the
    // same when that fails too.
    w->dcob->setEditText(QStringLiteral("电脑"));
    w->Command1_Click();
    settle(w);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_TRUE(messages[1].text.startsWith(QStringLiteral("数据库连接失败：无法连接到数据库服务器")))
        << messages[1].text.toStdString();
    EXPECT_TRUE(messages[1].text.contains(QStringLiteral("与数据库的连接已断开，重新连接失败")));
    // The server back: the next statement connects and answers.
    pgServer("start", pg);
    stopped = false;
    w->dcob->setEditText(QString());
    keyTo(w->dcob, Qt::Key_F2);
    settle(w);
    EXPECT_EQ(messages.size(), 2u);
    ASSERT_NE(w->picker(), nullptr);
    EXPECT_EQ(w->picker()->dgList->model()->rowCount(), 3);
    // Restarted while the window stood idle: the first press gives the list.
    delete w->picker();
    pgServer("stop", pg);
    pgServer("start", pg);
    keyTo(w->dcob, Qt::Key_F2);
    settle(w);
    EXPECT_EQ(messages.size(), 2u) << messageTexts().join('\n').toStdString();
    ASSERT_NE(w->picker(), nullptr);
    EXPECT_EQ(w->picker()->dgList->model()->rowCount(), 3);
}

// The program's own connection string through FreeTDS to the TDS test server.
class TdsSession : public SettingsTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        test::registerSqlServerDriver(FAQ_TDS_ODBC_DRIVER);
        connector = data::odbcConnector();
        file = test::tempPath("tds-gui.db");
        std::remove(file.c_str());
        ASSERT_EQ(std::system((FAQ_BINARY_DIR "/src/faquery sample-db " + file + " > /dev/null").c_str()), 0);
        server = std::make_unique<test::TdsServer>(test::TdsServer::Options{
            .file = file, .columnTypes = {{"开始使用日期", "varchar(10)"}, {"原值", "money"}}});
    }
    std::string file;
    std::unique_ptr<test::TdsServer> server;
};

TEST_F(TdsSession, ConnectLookupsQueryPickExportAndADroppedResult) {
    const QString database = QStringLiteral("UFDATA_001_2026");
    QStringList m = connectWith(server->address(), "sa", QStringLiteral("wrong-Pw-1"), database);
    ASSERT_EQ(m.size(), 1);
    EXPECT_TRUE(m[0].startsWith(QStringLiteral("数据库连接失败：用户名或密码不正确"))) << m[0].toStdString();
    EXPECT_TRUE(m[0].contains(QStringLiteral("用户 'sa' 登录失败。"))) << m[0].toStdString();
    EXPECT_FALSE(m[0].contains(QStringLiteral("wrong-Pw-1")));
    // Each failure a user meets leads with its cause: a database the login cannot open,
    // nothing at the address, a server that wants encryption this connection cannot give.
    m = connectWith(server->address(), "sa", QStringLiteral("tds-secret-9"), QStringLiteral("UFDATA_404"));
    ASSERT_EQ(m.size(), 1);
    EXPECT_TRUE(m[0].startsWith(QStringLiteral("数据库连接失败：无法打开这个数据库"))) << m[0].toStdString();
    m = connectWith("127.0.0.1,1", "sa", QStringLiteral("tds-secret-9"), database);
    ASSERT_EQ(m.size(), 1);
    EXPECT_TRUE(m[0].startsWith(QStringLiteral("数据库连接失败：无法连接到数据库服务器"))) << m[0].toStdString();
    test::TdsServer::Options tls;
    tls.file = file;
    tls.requireEncryption = true;
    test::TdsServer encrypting(tls);
    m = connectWith(encrypting.address(), "sa", QStringLiteral("tds-secret-9"), database);
    ASSERT_EQ(m.size(), 1);
    EXPECT_TRUE(m[0].startsWith(QStringLiteral("数据库连接失败：连接到了服务器，但没能建立连接")))
        << m[0].toStdString();
    // The same server silent once TLS begins (a TLS version the driver cannot speak): after
    // the login time-out, the message names encryption, not an address that never answered.
    tls.stallTls = true;
    test::TdsServer stalling(tls);
    m = connectWith(stalling.address(), "sa", QStringLiteral("tds-secret-9"), database);
    ASSERT_EQ(m.size(), 1);
    EXPECT_TRUE(m[0].startsWith(QStringLiteral("数据库连接失败：服务器回应了登录前的握手并要求加密连接")))
        << m[0].toStdString();
    ASSERT_TRUE(connectWith(server->address(), "sa", QStringLiteral("tds-secret-9"), database).isEmpty());
    ui::frmLogin* w = st->queryWindow();
    EXPECT_GT(w->dcbmDept->count(), 5);  // the departments, from the wire
    w->byyyy->setEditText(QStringLiteral("2015"));
    w->dcob->setEditText(QStringLiteral("电"));
    w->chkLike->setChecked(true);
    w->Command1_Click();
    settle(w);
    ASSERT_TRUE(messages.empty()) << messageTexts().join('\n').toStdString();
    const int rows = w->dgContent->model()->rowCount();
    ASSERT_GT(rows, 3);
    EXPECT_EQ(w->dgContent->model()->index(rows - 1, 2).data().toString(), QStringLiteral("合计:"));
    screenshot(w, QStringLiteral("tds-result"));
    keyTo(w->dcob, Qt::Key_F2);
    settle(w);
    ASSERT_NE(w->picker(), nullptr);
    ASSERT_GT(w->picker()->dgList->model()->rowCount(), 1);
    keyTo(w->picker()->dgList, Qt::Key_Return);
    settle(w);
    EXPECT_TRUE(w->dcob->currentText().startsWith(QStringLiteral("电"))) << w->dcob->currentText().toStdString();
    // The export writes what the wire brought.
    QTemporaryDir dir;
    test::UrlCatcher catcher;
    test::spreadsheetProgramKnown(true);
    w->exporter().tempRoot = dir.path();
    w->dcob->setEditText(QStringLiteral("电"));
    w->Command1_Click();
    settle(w);
    w->btnCsv_Click();
    settle(w);
    ASSERT_EQ(messageTexts().size(), 1);
    EXPECT_TRUE(messageTexts()[0].startsWith(QStringLiteral("输出成功!\n"))) << messageTexts()[0].toStdString();
    ASSERT_EQ(catcher.opened.size(), 1);
    EXPECT_GT(QFileInfo(catcher.opened[0]).size(), 4000);
    // The server fails the statement after some rows: a message with its words, the last
    // result kept whole, and the export writes that one.
    messages.clear();
    server->faults().errorAfterRows = 2;
    w->byyyy->setEditText(QStringLiteral("2000"));
    w->Command1_Click();
    settle(w);
    server->faults().errorAfterRows = -1;
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith(QStringLiteral("查询失败："))) << messages[0].text.toStdString();
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("算术溢出"))) << messages[0].text.toStdString();
    EXPECT_EQ(w->dgContent->model()->rowCount(), rows);
    EXPECT_EQ(w->result()->recordCount(), static_cast<size_t>(rows));
    // The connection dropped after a few rows: a message, the last result kept whole, and
    // the next query connects afresh.
    messages.clear();
    server->faults().dropAfterRows = 2;
    w->byyyy->setEditText(QStringLiteral("2000"));
    w->Command1_Click();
    settle(w);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith(QStringLiteral("查询失败：与数据库的连接已断开")))
        << messages[0].text.toStdString();
    EXPECT_EQ(w->dgContent->model()->rowCount(), rows);
    server->faults().dropAfterRows = -1;
    w->Command1_Click();
    settle(w);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_GT(w->dgContent->model()->rowCount(), rows);
    EXPECT_EQ(server->logins(), 2);
}

TEST(FreeTdsFaults, SilentServerFailsWithinTheLoginTimeout) {
    // FreeTDS as Debian installs it: no configuration file, no TDSVER.
    test::registerSqlServerDriver(FAQ_TDS_ODBC_DRIVER);
    unsetenv("TDSVER");
    setenv("FREETDSCONF", "/nonexistent/freetds.conf", 1);
    // A server that accepts the connection and never says a word.
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ASSERT_EQ(listen(fd, 16), 0);
    std::vector<int> accepted;
    std::thread acceptor([&] {
        for (int c; (c = accept(fd, nullptr, nullptr)) >= 0;) accepted.push_back(c);
    });
    QStringList messages;
    app::setMessageSink([&](const QString& t, QMessageBox::Icon) { messages << t; });
    ui::Startup st(data::odbcConnector());
    app::FrmDbSet& dlg = st.settings();
    dlg.show();
    dlg.Text1->setText(QStringLiteral("127.0.0.1,%1").arg(ntohs(a.sin_port)));
    QElapsedTimer t;
    t.start();
    dlg.Command1_Click();
    test::GuiTest::settle(st);
    const qint64 ms = t.elapsed();
    shutdown(fd, SHUT_RDWR);
    close(fd);
    acceptor.join();
    EXPECT_FALSE(accepted.empty());  // the driver did get through to the listener
    for (int c : accepted) close(c);
    app::setMessageSink(nullptr);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("数据库连接失败：服务器在 15 秒内没有回应登录")))
        << messages[0].toStdString();
    EXPECT_GT(ms, 14000);  // the login time-out is 15 s: the driver waited for it
    EXPECT_LT(ms, 20000);  // and not longer
    EXPECT_TRUE(dlg.isVisible());
}

}  // namespace
