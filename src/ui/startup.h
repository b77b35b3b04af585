// Start-up of the windows: the settings dialog first, the query window on connect.
#pragma once

#include <QString>

namespace faq::app {
class FrmDbSet;
}

namespace faq::ui {

class frmLogin;

// Application-wide look: the icon on every window and the fallbacks of "宋体".
void installAppLook();
// Connect shows the one query window; when it cannot load, its message is shown, the
// window goes away and the settings dialog stays with the values as typed.
void wireSettingsDialog(app::FrmDbSet& dialog);
// The query window, once shown.
frmLogin* queryWindow();

}  // namespace faq::ui
