// The asset-name picker: lists the asset names beginning with the text of the query
// window's asset-name box and writes the chosen one back into it.
#pragma once

#include <QWidget>
#include <optional>

#include "app/session.h"
#include "background.h"

class QComboBox;

namespace faq::ui {

class DataGrid;

class FormSelect : public QWidget {
    Q_OBJECT
public:
    // dcob: the query window's asset-name box, read when loading and written on a pick.
    // A tool window of owner (off the taskbar, above the query window).
    FormSelect(QComboBox* dcob, app::Session& session, QWidget* owner);

    // Fills the grid from the list query, run on the session's worker; ends with loaded(),
    // or loadFailed(message, whether it was cancelled), unless the ticket returned is given
    // up first.
    JobTicketPtr Form_Load();
    // The text of the asset-name box the list was loaded for.
    const QString& prefix() const { return mPrefix; }
    void dgList_Click();
    void dgList_KeyDown(int keyCode, Qt::KeyboardModifiers shift);

    DataGrid* dgList;

signals:
    void loaded();
    void loadFailed(const QString& message, bool cancelled);
    // Hidden after a pick, or closed.
    void hidden();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* e) override;

private:
    void pick();
    QComboBox* mDcob;
    app::Session& mSession;
    QString mPrefix;
};

}  // namespace faq::ui
