// A data grid bound to a recordset: an optional title bar over a table view whose current
// row is the recordset's current record, both ways.
#pragma once

#include <QFrame>
#include <QTableView>
#include <functional>
#include <vector>

#include "recordset_model.h"

class QLabel;

namespace faq::ui {

class GridView : public QTableView {
    Q_OBJECT
public:
    using QTableView::QTableView;

signals:
    // A key going down, with its code and modifiers, before the view's own handling.
    void keyDown(int key, Qt::KeyboardModifiers modifiers);

protected:
    void keyPressEvent(QKeyEvent* e) override;
};

// For each field of a recordset, the rows of its widest values (a few, by a cheap measure):
// the candidates fitColumns measures as shown. Reading every row, it belongs on the worker,
// beside the statement that brought the rows.
using WidestRows = std::vector<std::vector<size_t>>;
WidestRows widestRows(const data::Recordset& rs);

// A result as a window takes it from the worker: the rows, and their widest ones.
struct FetchedRows {
    data::RecordsetPtr rows;
    WidestRows widest;
};
FetchedRows withWidestRows(data::RecordsetPtr rows);

class DataGrid : public QFrame {
    Q_OBJECT
public:
    explicit DataGrid(QWidget* parent = nullptr);
    ~DataGrid() override;

    void setCaption(const QString& caption);
    RecordsetModel* model() const { return mModel; }
    GridView* view() const { return mView; }
    // Binds rs (nullptr unbinds) and ties the current row to its current record.
    void bind(data::RecordsetPtr rs, bool autoColumns);
    // Widens each column to its widest value as shown (of the candidate rows widestRows
    // found for the bound recordset) and to its caption; the user may still resize them
    // afterwards.
    void fitColumns(const WidestRows& widest);
    // Text of column `column` in the current row; nullopt when there is no current row.
    std::optional<QString> currentText(int column) const;

    // Rows can be selected several at a time (Shift/Ctrl with the mouse, Shift with the
    // arrows) and copied: Ctrl+C and the right-click menu (复制, 全选).
    void enableCopy();
    // The selected rows as a spreadsheet takes them: the column captions, then a line per
    // row in grid order, cells separated by tabs; numbers as the grid shows them without
    // their thousands separators and trailing blank, tabs and line breaks inside a text as
    // blanks.
    QString selectedText() const;
    void copySelection() const;

private:
    void unhook();
    QLabel* mCaption = nullptr;
    GridView* mView = nullptr;
    RecordsetModel* mModel = nullptr;
    int mListener = 0;
    bool mSyncing = false;
};

}  // namespace faq::ui
