#include "startup.h"

#include <QApplication>
#include <QIcon>
#include <QPointer>

#include "app/frm_db_set.h"
#include "app/program.h"
#include "app/twips.h"
#include "frm_login.h"

static void initResources() { Q_INIT_RESOURCE(faquery); }

namespace faq::ui {

namespace {
QPointer<frmLogin>& window() {
    static QPointer<frmLogin> w;
    return w;
}
}  // namespace

void installAppLook() {
    initResources();
    app::installFontSubstitutes();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/faquery.svg")));
}

void wireSettingsDialog(app::FrmDbSet& dialog) {
    dialog.showQueryWindow = [](app::FrmDbSet& d) -> bool {
        if (!window()) {
            auto* w = new frmLogin();
            if (auto error = w->Form_Load()) {
                delete w;
                app::showMessage(&d, *error);
                return false;
            }
            window() = w;
        }
        window()->show();
        window()->activateWindow();
        return true;
    };
}

frmLogin* queryWindow() { return window().data(); }

}  // namespace faq::ui
