// Hostile input through the query window: every entry either answers correctly or gets
// the message for bad criteria, and no statement goes out broken.
#include <sqlite3.h>

#include <QCheckBox>
#include <QComboBox>
#include <algorithm>
#include <set>

#include "app/cli.h"
#include "app/frm_db_set.h"
#include "gui_fixture.h"
#include "support/odbc_env.h"
#include "ui/data_combo.h"
#include "ui/data_grid.h"
#include "ui/form_select.h"
#include "ui/startup.h"

using namespace faq;

namespace {

class Hostile : public test::GuiTest {
protected:
    // The asset names of the group rows of the shown result.
    static std::set<std::string> names(ui::frmLogin& w) {
        std::set<std::string> out;
        auto* m = w.dgContent->model();
        for (int r = 0; r + 1 < m->rowCount(); ++r) out.insert(m->text(r, 2).toStdString());
        return out;
    }
    static size_t quotes(const std::string& s) { return static_cast<size_t>(std::count(s.begin(), s.end(), '\'')); }
};

TEST_F(Hostile, NamesAnswerCorrectly) {
    auto w = openQueryWindow();
    w->byyyy->setEditText(QStringLiteral("1990"));
    struct Case {
        QString name;
        bool like;
        std::function<void(const std::set<std::string>&)> check;
    };
    const std::vector<Case> cases = {
        {QStringLiteral("O'Neil 台式机"), false, [](auto& n) { EXPECT_EQ(n, std::set<std::string>{"O'Neil 台式机"}); }},
        {QStringLiteral("'"), true, [](auto& n) { EXPECT_EQ(n, std::set<std::string>{"O'Neil 台式机"}); }},
        {QStringLiteral("%"), true, [](auto& n) { EXPECT_GT(n.size(), 10u); }},  // a wildcard, as LIKE has it
        {QStringLiteral("%"), false, [](auto& n) { EXPECT_TRUE(n.empty()); }},   // an ordinary character
        {QStringLiteral("S_"), true, [](auto& n) { EXPECT_EQ(n, std::set<std::string>{"UPS_电源"}); }},
        {QStringLiteral("["), true, [](auto& n) { EXPECT_TRUE(n.empty()); }},
        {QStringLiteral("   "), false, [](auto& n) { EXPECT_TRUE(n.empty()); }},
        {QString(10000, QLatin1Char('x')), true, [](auto& n) { EXPECT_TRUE(n.empty()); }},
        {QStringLiteral("😀电脑𠀀"), true, [](auto& n) { EXPECT_TRUE(n.empty()); }},
        {QStringLiteral("电\x01脑\t\r\n"), false, [](auto& n) { EXPECT_TRUE(n.empty()); }},
        {QStringLiteral("'; drop table fa_Cards; --"), false, [](auto& n) { EXPECT_TRUE(n.empty()); }},
    };
    for (const auto& c : cases) {
        messages.clear();
        w->chkLike->setChecked(c.like);
        w->dcob->setEditText(c.name);
        w->Command1_Click();
        settle(w);
        ASSERT_TRUE(messages.empty()) << messageTexts().join("\n").toStdString();
        EXPECT_EQ(w->criteria().strZcID, c.name.toStdString());
        EXPECT_EQ(quotes(w->criteria().strSql) % 2, 0u);  // every literal closed
        ASSERT_GE(w->dgContent->model()->rowCount(), 1);
        EXPECT_EQ(w->dgContent->model()->text(w->dgContent->model()->rowCount() - 1, 2), QStringLiteral("合计:"));
        c.check(names(*w));
    }
    // The table is still there and answers.
    w->chkLike->setChecked(false);
    w->dcob->setEditText(QStringLiteral("电脑"));
    w->Command1_Click();
    settle(w);
    EXPECT_EQ(names(*w), std::set<std::string>{"电脑"});
}

TEST_F(Hostile, PeriodsAndPickerPrefixes) {
    auto w = openQueryWindow();
    const char* bad[][2] = {{"０２", "1"}, {"2026", "０２"}, {"-1", "1"},   {"99999", "1"}, {"", "1"},
                            {"2026", ""},  {"2026", "-1"},   {"1000", "1"}, {"2026\n", "1"}};
    for (const auto& b : bad) {
        messages.clear();
        w->byyyy->setEditText(QString::fromUtf8(b[0]));
        w->bmm->setEditText(QString::fromUtf8(b[1]));
        w->Command1_Click();
        settle(w);
        EXPECT_EQ(messageTexts(), QStringList{QStringLiteral("期间输入不正确")}) << b[0] << "/" << b[1];
    }
    EXPECT_EQ(w->result(), nullptr);
    for (const QString& prefix : {QStringLiteral("%"), QStringLiteral("'"), QString(10000, QLatin1Char('y')),
                                  QStringLiteral("😀"), QStringLiteral("\x01")}) {
        messages.clear();
        if (w->picker()) delete w->picker();
        w->dcob->setEditText(prefix);
        keyTo(w->dcob, Qt::Key_F2);
        settle(w);
        ASSERT_TRUE(messages.empty()) << messageTexts().join("\n").toStdString();
        ASSERT_NE(w->picker(), nullptr);
    }
}

TEST_F(Hostile, SqliteFilesThatCannotServeAreReportedAndTheSettingsComeBack) {
    const QString dir = QString::fromStdString(test::tempPath("hostile-sqlite"));
    QDir().mkpath(dir);
    QFile junk(dir + QStringLiteral("/junk.db"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'j'));
    junk.close();
    const QString partial = dir + QStringLiteral("/partial.db");
    QFile::remove(partial);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(partial.toUtf8().constData(), &db), SQLITE_OK);
    sqlite3_exec(db, "create table department(cDepCode text, cDepName text)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    struct Case {
        QString file;
        const char* message;
    } cases[] = {{dir + QStringLiteral("/missing.db"), "数据库连接失败："},
                 {dir + QStringLiteral("/junk.db"), "数据库连接失败："},
                 {partial, "查询失败："}};
    for (const auto& c : cases) {
        messages.clear();
        connector = app::connectorFor({false, c.file.toStdString()});
        auto st = startup();
        app::FrmDbSet& dlg = st->settings();
        dlg.show();
        dlg.Command1_Click();
        settle(*st);
        ASSERT_EQ(messages.size(), 1u) << c.file.toStdString();
        EXPECT_TRUE(messages[0].text.startsWith(QString::fromUtf8(c.message))) << messages[0].text.toStdString();
        EXPECT_EQ(st->queryWindow(), nullptr);
        EXPECT_TRUE(dlg.isVisible());
    }
    EXPECT_FALSE(QFile::exists(dir + QStringLiteral("/missing.db")));
}

}  // namespace
