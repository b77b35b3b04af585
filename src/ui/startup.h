// Start-up of the windows: the settings dialog first, the query window on connect. main
// owns the one Startup, which owns the session of the current connection.
#pragma once

#include <QPointer>
#include <memory>

#include "app/frm_db_set.h"
#include "app/session.h"

namespace faq::ui {

class frmLogin;

// Application-wide look: the icon on every window, the fallbacks of "宋体" and Qt's own texts
// in Chinese.
void installAppLook();

class Startup {
public:
    // Every connect makes a new session through connector, with today's date from clock.
    explicit Startup(data::Connector connector, app::Clock clock = {});
    ~Startup();
    // The embedded database the connector reaches, if any: the sessions carry it.
    void setEngine(app::EngineChoice engine) { mEngine = std::move(engine); }

    // Connect shows the one query window, which loads its lists (and so connects) on the
    // session's worker. When that fails or is cancelled, the message is shown, the window
    // and its session go away, and the settings dialog comes back with the values as
    // typed: the next connect starts afresh from them.
    app::FrmDbSet& settings() { return *mSettings; }
    frmLogin* queryWindow() const;
    app::Session* session() const { return mSession.get(); }
    // Whether a connect is under way.
    bool connecting() const;

private:
    app::Session& beginSession();
    bool showQueryWindow(app::FrmDbSet& dialog);
    void loadFailed(const QString& message);

    data::Connector mConnector;
    app::EngineChoice mEngine;
    app::Clock mClock;
    std::unique_ptr<app::FrmDbSet> mSettings;
    std::shared_ptr<app::Session> mSession;
    QPointer<frmLogin> mWindow;
};

}  // namespace faq::ui
