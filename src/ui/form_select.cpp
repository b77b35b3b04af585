#include "form_select.h"

#include <QComboBox>
#include <QHeaderView>
#include <QHideEvent>
#include <QMouseEvent>
#include <QShortcut>

#include "app/mdl_main.h"
#include "app/program.h"
#include "app/twips.h"
#include "background.h"
#include "data/db_error.h"
#include "data_grid.h"

namespace faq::ui {

using app::twipsRect;

FormSelect::FormSelect(QComboBox* dcob, app::Session& session, QWidget* owner)
    : QWidget(owner, app::kFixedWindowFlags | Qt::Tool), mDcob(dcob), mSession(session) {
    setObjectName(QStringLiteral("FormSelect"));
    setWindowTitle(QStringLiteral("固定资产选择"));
    setAttribute(Qt::WA_DeleteOnClose);  // the close box unloads the picker
    setFixedSize(app::twipsSize(4200, 3600));

    dgList = app::placed(new DataGrid(this), "dgList", twipsRect(120, 120, 3975, 3375));
    dgList->setCaption(QStringLiteral("固定资产选择"));
    dgList->setFont(app::songTi9());
    dgList->view()->setFont(app::songTi9());
    dgList->view()->horizontalHeader()->setFont(app::songTi9());
    dgList->model()->setColumns({{QStringLiteral("固定资产名"), -1, {}}, {QString(), -1, {}}});
    connect(dgList->view(), &GridView::keyDown, this, &FormSelect::dgList_KeyDown);
    // Every click in the grid is a click notification, on a row or not.
    dgList->view()->viewport()->installEventFilter(this);
    setFocusProxy(dgList);
    // Esc closes the picker as a pick does, leaving the box as it is.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::hide);

    app::placeCentred(this);
}

JobTicketPtr FormSelect::Form_Load() {
    mPrefix = mDcob->currentText();
    const std::string prefix = mPrefix.toStdString();
    return runInBackground<data::RecordsetPtr>(
        mSession, this, [prefix](app::mdlMain& m) { return m.fetchCobList(nullptr, prefix); },
        [this](Outcome<data::RecordsetPtr>& out) {
            if (!out.value) {
                const bool cancelled = out.dbError && out.dbError->failure() == data::Failure::Cancelled;
                emit loadFailed(cancelled     ? QStringLiteral("资产名称列表已取消")
                                : out.dbError ? QString::fromStdString(mSession.failureMessage(*out.dbError))
                                              : QString::fromStdString(out.otherError),
                                cancelled);
                return;
            }
            const auto& rs = *out.value;
            dgList->model()->setColumns(
                {{QStringLiteral("固定资产名"), rs->fieldIndex("sAssetName"), {}}, {QString(), -1, {}}});
            dgList->bind(rs, false);
            emit loaded();
        });
}

void FormSelect::pick() {
    // Reading the current row fails on an empty list: the box then keeps its text.
    if (auto name = dgList->currentText(0)) mDcob->setEditText(*name);
    hide();
}

void FormSelect::dgList_Click() {
    pick();
}

void FormSelect::dgList_KeyDown(int keyCode, Qt::KeyboardModifiers) {
    if (keyCode == Qt::Key_Return || keyCode == Qt::Key_Enter) pick();
}

void FormSelect::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    if (!e->spontaneous()) emit hidden();
}

bool FormSelect::eventFilter(QObject* watched, QEvent* event) {
    if (watched == dgList->view()->viewport() && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        dgList_Click();
    return QWidget::eventFilter(watched, event);
}

}  // namespace faq::ui
