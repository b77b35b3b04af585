#include "startup.h"

#include <QApplication>
#include <QIcon>
#include <QImageReader>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "app/program.h"
#include "app/twips.h"
#include "frm_login.h"
#include "guide_window.h"

static void initResources() {
    Q_INIT_RESOURCE(faquery);
#ifdef FAQ_QT_TRANSLATIONS
    Q_INIT_RESOURCE(translations);
#endif
}

namespace faq::ui {

namespace {

// Qt's texts that its Chinese translation misses (the file dialog's type column names a
// folder "Folder", on Windows "File Folder": Qt 6 moved them to a context the translation
// does not have).
class MissingQtTexts : public QTranslator {
public:
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* source, const char*, int) const override {
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0) return {};
        static const std::pair<const char*, const char*> texts[] = {{"Folder", "文件夹"}, {"File Folder", "文件夹"},
                                                                    {"Drive", "驱动器"},  {"File", "文件"},
                                                                    {"Alias", "别名"},    {"Shortcut", "快捷方式"}};
        for (const auto& [en, zh] : texts)
            if (qstrcmp(source, en) == 0) return QString::fromUtf8(zh);
        return {};
    }
};

}  // namespace

void installAppLook() {
    initResources();
    // Qt's own texts (确定, 取消, 复制 in a text box's menu) in Chinese: the copy inside the
    // program, else the system's.
    static QTranslator translator;
    if (translator.load(QStringLiteral(":/translations/qtbase_zh_CN.qm")) ||
        translator.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&translator);
    static MissingQtTexts missing;
    QCoreApplication::installTranslator(&missing);
    // Dates and file types in Qt's own dialogs in Chinese too, whatever the system's locale
    // (the program's own figures have formats of their own).
    if (QLocale().language() != QLocale::Chinese) QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    app::installFontSubstitutes();
    // Drawn from the SVG where Qt's SVG plugin is there, else the 256-pixel PNG rendered from it.
    const bool svg = QImageReader::supportedImageFormats().contains("svg");
    QApplication::setWindowIcon(QIcon(svg ? QStringLiteral(":/faquery.svg") : QStringLiteral(":/faquery.png")));
}

Startup::Startup(data::Connector connector, app::Clock clock)
    : mConnector(std::move(connector)), mClock(std::move(clock)), mSettings(std::make_unique<app::FrmDbSet>()) {
    mSettings->beginSession = [this]() -> app::Session& { return beginSession(); };
    mSettings->showQueryWindow = [this](app::FrmDbSet& d) { return showQueryWindow(d); };
    addGuideKey(mSettings.get(), QStringLiteral("start"));
}

Startup::~Startup() {
    delete mWindow.data();
}

frmLogin* Startup::queryWindow() const {
    return mWindow.data();
}

bool Startup::connecting() const {
    return mWindow && mWindow->loading();
}

app::Session& Startup::beginSession() {
    // Once the query window is up the dialog is hidden for good; until then every connect
    // starts from nothing.
    if (!mWindow) {
        mSession = std::make_shared<app::Session>(mConnector, mClock);
        mSession->engine = mEngine;
    }
    return *mSession;
}

bool Startup::showQueryWindow(app::FrmDbSet&) {
    if (!mWindow) {
        auto* w = new frmLogin(*mSession);
        mWindow = w;
        QObject::connect(w, &frmLogin::loadFailed, w, [this, w](const QString& message) {
            if (mWindow == w) loadFailed(message);  // a window already given up says nothing more
        });
        w->Form_Load();
    }
    mWindow->show();
    mWindow->activateWindow();
    return true;
}

void Startup::loadFailed(const QString& message) {
    frmLogin* w = mWindow.data();
    mWindow = nullptr;
    w->hide();
    // The session (and its connection) goes with the window; a connect still under way
    // finishes on its own and is discarded.
    QObject::connect(w, &QObject::destroyed, [session = std::move(mSession)] {});
    w->deleteLater();
    mSettings->show();
    mSettings->activateWindow();
    if (!message.isEmpty()) app::showMessage(mSettings.get(), message);
}

}  // namespace faq::ui
