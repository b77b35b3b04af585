// A read-only table model over a recordset: the cells are read from the recordset when
// painted, nothing is copied per cell.
#pragma once

#include <QAbstractTableModel>
#include <QFont>
#include <functional>
#include <vector>

#include "data/recordset.h"

namespace faq::ui {

class RecordsetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    struct Column {
        QString caption;
        int field = -1;                                         // -1: a column without a field, always empty
        std::function<std::string(const data::Value&)> format;  // display text; default plain
    };

    explicit RecordsetModel(QObject* parent = nullptr);

    // Design-time columns, shown before any recordset is bound.
    void setColumns(std::vector<Column> columns);
    // Binds rs; with autoColumns the columns become the recordset's fields, captioned by
    // their names. nullptr unbinds.
    void setRecordset(data::RecordsetPtr rs, bool autoColumns);
    const data::RecordsetPtr& recordset() const { return mRs; }
    void setColumnFormat(int column, std::function<std::string(const data::Value&)> format);
    const std::vector<Column>& columns() const { return mColumns; }
    // Rows set apart (a 小计, the 合计:) in font, bold; the rest as the view draws them.
    // Bound with the recordset: binding another forgets them.
    void setBoldRows(std::vector<bool> rows, QFont font);

    // Text of a cell as displayed.
    QString text(int row, int column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    data::RecordsetPtr mRs;
    std::vector<Column> mColumns;
    std::vector<bool> mBold;
    QFont mBoldFont;
};

}  // namespace faq::ui
