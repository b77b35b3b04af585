// Shared set-up of the window tests: the sample database behind a switchable connector,
// today's date fixed, message boxes and the end of the process captured.
#pragma once

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>

#include <string>
#include <utility>
#endif

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QTest>
#include <QUrl>
#include <memory>

#include "app/mdl_main.h"
#include "app/program.h"
#include "app/session.h"
#include "support/test_connector.h"
#include "ui/frm_login.h"
#include "ui/startup.h"

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '[' << l.join(QStringLiteral(", ")).toStdString() << ']';
}
QT_END_NAMESPACE

namespace faq::test {

// Takes the place of the desktop's program for workbooks: QDesktopServices hands it what
// the program would open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    UrlCatcher() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    QStringList opened;
public slots:
    void open(const QUrl& url) { opened << url.toLocalFile(); }
};

// Whether the desktop names a program for workbooks: tests/support/bin/xdg-mime reads it,
// on Windows the user's own file associations hold it.
inline void spreadsheetProgramKnown(bool known) {
#ifdef _WIN32
    // The user's own classes, and the machine's, which Wine's shell reads instead.
    for (const auto& [root, base] :
         {std::pair{HKEY_CURRENT_USER, L"Software\\Classes\\"}, std::pair{HKEY_CLASSES_ROOT, L""}}) {
        const std::wstring ext = std::wstring(base) + L".xltx", prog = std::wstring(base) + L"faquery.test.calc";
        RegDeleteTreeW(root, ext.c_str());
        RegDeleteTreeW(root, prog.c_str());
        if (!known) continue;
        const wchar_t id[] = L"faquery.test.calc";
        const wchar_t command[] = L"notepad.exe \"%1\"";
        RegSetKeyValueW(root, ext.c_str(), nullptr, REG_SZ, id, sizeof id);
        RegSetKeyValueW(root, (prog + L"\\shell\\open\\command").c_str(), nullptr, REG_SZ, command, sizeof command);
    }
#else
    qputenv("PATH", QByteArray(FAQ_SOURCE_DIR "/tests/support/bin:") + qgetenv("PATH"));
    qputenv("FAQ_TEST_SPREADSHEET", known ? "faquery-test-calc.desktop" : "");
#endif
}

// Qt's offscreen platform on Windows knows no fonts: pages are refused there (no face shows
// their text), and scripts/test-windows checks them on the windows platform.
inline bool pagesHaveNoFonts() {
#ifdef Q_OS_WIN
    return QGuiApplication::platformName() == QStringLiteral("offscreen");
#else
    return false;
#endif
}

class GuiTest : public ::testing::Test {
protected:
    struct Message {
        QString text;
        QMessageBox::Icon icon;
    };

    void SetUp() override {
        resetSwitches();
        connector = flakySample();
        newSession();
        app::setMessageSink([this](const QString& t, QMessageBox::Icon i) { messages.push_back({t, i}); });
        app::setProgramEnder([this] { ++ended; });
        spreadsheetProgramKnown(true);
    }
    void TearDown() override {
        app::setMessageSink(nullptr);
        app::setProgramEnder(nullptr);
    }
    void setToday(query::CivilDate d) { today = d; }
    app::Clock clock() {
        return [this] { return today; };
    }
    // A fresh session with the settings dialog's defaults, through connector.
    app::Session& newSession() {
        session = std::make_shared<app::Session>(connector, clock());
        session->params = {".", "ufdata_001_", "sa", ""};
        return *session;
    }
    // The start-up of the windows as main makes it, through connector.
    std::unique_ptr<ui::Startup> startup() { return std::make_unique<ui::Startup>(connector, clock()); }
    std::unique_ptr<ui::frmLogin> openQueryWindow() {
        auto w = std::make_unique<ui::frmLogin>(*session);
        QString failed;
        QObject::connect(w.get(), &ui::frmLogin::loadFailed, [&](const QString& m) { failed = m; });
        w->Form_Load();
        settle(w);
        EXPECT_TRUE(failed.isEmpty()) << failed.toStdString();
        w->show();
        activate(w.get());
        return w;
    }

public:
    // Waits until the window's work on the worker has ended and its outcome is shown.
    template <typename W>
    static void settle(const W& w) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !w->busy(); }, 60000)) << "work did not end";
    }
    // Waits until a connect from the settings dialog has ended either way.
    static void settle(const ui::Startup& st) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !st.connecting(); }, 60000)) << "connect did not end";
        QCoreApplication::processEvents();  // the failed window's removal
    }
    static void activate(QWidget* w) {
        w->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(w));
    }
    // Puts the focus on w and sends it a key, as a user typing in that control would.
    static void keyTo(QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        activate(w->window());
        w->setFocus();
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : w, static_cast<Qt::Key>(key), mods);
    }

protected:
    // Saves a picture of w under <build>/screenshots, marked with the scale it was taken at.
    static QString screenshot(QWidget* w, const QString& name) {
        QDir dir(QStringLiteral(FAQ_BINARY_DIR "/screenshots"));
        dir.mkpath(QStringLiteral("."));
        const QString scale = qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1"));
        const QString path = dir.filePath(
            name + (scale == QStringLiteral("1") ? QString() : QStringLiteral("@") + scale) + QStringLiteral(".png"));
        EXPECT_TRUE(w->grab().save(path)) << path.toStdString();
        return path;
    }
    QStringList messageTexts() const {
        QStringList out;
        for (const auto& m : messages) out << m.text;
        return out;
    }

    std::vector<Message> messages;
    int ended = 0;
    query::CivilDate today{2026, 12, 7};
    data::Connector connector;
    std::shared_ptr<app::Session> session;
};

}  // namespace faq::test
