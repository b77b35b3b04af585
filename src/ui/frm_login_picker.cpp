// The query window's F2: the asset names beginning with the text typed, loaded on the worker
// into the picker, which fills the asset-name box; the focus comes back where it was.
#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>

#include "app/program.h"
#include "data_combo.h"
#include "form_select.h"
#include "frm_login.h"

namespace faq::ui {

void frmLogin::showPicker() {
    // After a pick, or when the picker closes, the focus comes back to where it was.
    mFocusBeforePicker = focusWidget();
    // A completion list left open would stay above the picker and take its keys.
    for (QComboBox* box : findChildren<QComboBox*>()) {
        if (box->completer() && box->completer()->popup()) box->completer()->popup()->hide();
        box->hidePopup();
    }
    // A list loaded for another beginning of the name would be a wrong one: it goes, and a
    // new picker loads the names for the text as it stands.
    if (mPicker && mPicker->prefix() != dcob->currentText()) delete mPicker.data();
    if (mPicker) {
        mPicker->show();
        mPicker->raise();
        mPicker->activateWindow();
        return;
    }
    auto* picker = new FormSelect(dcob, mSession, this);
    connect(picker, &FormSelect::hidden, this, [this] {
        if (!mFocusBeforePicker || !mFocusBeforePicker->isVisible() || !mFocusBeforePicker->isEnabled()) return;
        activateWindow();
        mFocusBeforePicker->setFocus(Qt::OtherFocusReason);
    });
    beginWork(QStringLiteral("正在读取资产名称"));
    connect(picker, &FormSelect::loaded, this, [this, picker] {
        endWork();
        mPicker = picker;
        picker->show();
        picker->raise();
        picker->activateWindow();
    });
    connect(picker, &FormSelect::loadFailed, this, [this, picker](const QString& message, bool cancelled) {
        endWork();
        picker->deleteLater();
        if (cancelled)
            sayDone(message);
        else
            app::showMessage(this, message);
    });
    mLine->job = picker->Form_Load();
}

}  // namespace faq::ui
