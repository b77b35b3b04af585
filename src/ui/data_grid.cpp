#include "data_grid.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

#include "app/twips.h"

namespace faq::ui {

void GridView::keyPressEvent(QKeyEvent* e) {
    emit keyDown(e->key(), e->modifiers());
    QTableView::keyPressEvent(e);
}

DataGrid::DataGrid(QWidget* parent) : QFrame(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    mCaption = new QLabel(this);
    mCaption->setAlignment(Qt::AlignCenter);
    mCaption->setFrameShape(QFrame::StyledPanel);
    mCaption->setAutoFillBackground(true);
    mCaption->setBackgroundRole(QPalette::Button);
    mCaption->hide();
    layout->addWidget(mCaption);
    mView = new GridView(this);
    mModel = new RecordsetModel(this);
    mView->setModel(mModel);
    mView->setSelectionBehavior(QAbstractItemView::SelectRows);
    mView->setSelectionMode(QAbstractItemView::SingleSelection);
    mView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    mView->setWordWrap(false);
    mView->setAlternatingRowColors(false);
    // Fixed row height and no sizing to contents: a million rows cost nothing up front.
    mView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // A row is a line of text and a little air above and below it.
    constexpr int kRowPadding = 4;
    mView->verticalHeader()->setDefaultSectionSize(mView->fontMetrics().height() + kRowPadding);
    mView->verticalHeader()->setMinimumSectionSize(1);
    mView->verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    mView->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    // A new column is 1514.83 twips wide, as the grid control draws it.
    mView->horizontalHeader()->setDefaultSectionSize(app::twips(1515));
    mView->horizontalHeader()->setHighlightSections(false);
    layout->addWidget(mView);
    setFocusProxy(mView);
    connect(mView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current, const QModelIndex&) {
                const auto& rs = mModel->recordset();
                if (mSyncing || !rs || !current.isValid()) return;
                mSyncing = true;
                rs->setPosition(current.row());
                mSyncing = false;
            });
}

DataGrid::~DataGrid() {
    unhook();
}

void DataGrid::setCaption(const QString& caption) {
    mCaption->setText(caption);
    mCaption->setVisible(!caption.isEmpty());
}

void DataGrid::unhook() {
    if (mListener && mModel->recordset()) mModel->recordset()->removeListener(mListener);
    mListener = 0;
}

void DataGrid::bind(data::RecordsetPtr rs, bool autoColumns) {
    unhook();
    mModel->setRecordset(rs, autoColumns);
    if (!rs) return;
    mListener = rs->addListener([this](long pos) {
        if (mSyncing) return;
        mSyncing = true;
        if (pos >= 0 && pos < mModel->rowCount()) {
            mView->setCurrentIndex(mModel->index(static_cast<int>(pos), std::max(0, mView->currentIndex().column())));
        } else {
            mView->selectionModel()->clearCurrentIndex();
            mView->clearSelection();
        }
        mSyncing = false;
    });
    // The recordset stands on its first record: so does the grid.
    if (!rs->bof() && !rs->eof() && mModel->columnCount() > 0) {
        mSyncing = true;
        mView->setCurrentIndex(mModel->index(static_cast<int>(rs->position()), 0));
        mSyncing = false;
    }
}

std::optional<QString> DataGrid::currentText(int column) const {
    const QModelIndex cur = mView->currentIndex();
    if (!cur.isValid() || column < 0 || column >= mModel->columnCount()) return std::nullopt;
    return mModel->text(cur.row(), column);
}

}  // namespace faq::ui
