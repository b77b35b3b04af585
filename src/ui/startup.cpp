#include "startup.h"

#include <QApplication>
#include <QIcon>

#include "app/program.h"
#include "app/twips.h"
#include "frm_login.h"

static void initResources() { Q_INIT_RESOURCE(faquery); }

namespace faq::ui {

void installAppLook() {
    initResources();
    app::installFontSubstitutes();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/faquery.svg")));
}

Startup::Startup(data::Connector connector, app::Clock clock)
    : mConnector(std::move(connector)), mClock(std::move(clock)), mSettings(std::make_unique<app::FrmDbSet>()) {
    mSettings->beginSession = [this]() -> app::Session& { return beginSession(); };
    mSettings->showQueryWindow = [this](app::FrmDbSet& d) { return showQueryWindow(d); };
}

Startup::~Startup() {
    delete mWindow.data();
}

frmLogin* Startup::queryWindow() const { return mWindow.data(); }

app::Session& Startup::beginSession() {
    // Once the query window is up the dialog is hidden for good; until then every connect
    // starts from nothing.
    if (!mWindow) mSession = std::make_unique<app::Session>(mConnector, mClock);
    return *mSession;
}

bool Startup::showQueryWindow(app::FrmDbSet& d) {
    if (!mWindow) {
        auto* w = new frmLogin(*mSession);
        if (auto error = w->Form_Load()) {
            delete w;
            mSession.reset();  // its connection closes; the next connect opens a new one
            app::showMessage(&d, *error);
            return false;
        }
        mWindow = w;
    }
    mWindow->show();
    mWindow->activateWindow();
    return true;
}

}  // namespace faq::ui
