#include "recordset_model.h"

namespace faq::ui {

RecordsetModel::RecordsetModel(QObject* parent) : QAbstractTableModel(parent) {}

void RecordsetModel::setColumns(std::vector<Column> columns) {
    beginResetModel();
    mColumns = std::move(columns);
    endResetModel();
}

void RecordsetModel::setRecordset(data::RecordsetPtr rs, bool autoColumns) {
    beginResetModel();
    mRs = std::move(rs);
    mBold.clear();
    if (autoColumns && mRs) {
        mColumns.clear();
        for (size_t i = 0; i < mRs->fieldCount(); ++i)
            mColumns.push_back({QString::fromStdString(mRs->field(i).name), static_cast<int>(i), {}});
    }
    endResetModel();
}

void RecordsetModel::setColumnFormat(int column, std::function<std::string(const data::Value&)> format) {
    if (column < 0 || column >= static_cast<int>(mColumns.size())) return;
    mColumns[static_cast<size_t>(column)].format = std::move(format);
    if (rowCount() > 0) emit dataChanged(index(0, column), index(rowCount() - 1, column), {Qt::DisplayRole});
}

void RecordsetModel::setBoldRows(std::vector<bool> rows, QFont font) {
    mBold = std::move(rows);
    font.setBold(true);
    mBoldFont = font;
    if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::FontRole});
}

int RecordsetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !mRs ? 0 : static_cast<int>(mRs->recordCount());
}

int RecordsetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(mColumns.size());
}

QString RecordsetModel::text(int row, int column) const {
    if (!mRs || row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return {};
    const Column& c = mColumns[static_cast<size_t>(column)];
    if (c.field < 0 || c.field >= static_cast<int>(mRs->fieldCount())) return {};
    const data::Value v = mRs->value(static_cast<size_t>(row), static_cast<size_t>(c.field));
    if (c.format) return QString::fromStdString(c.format(v));
    if (v.type == data::FieldType::Text || v.type == data::FieldType::DateTime || v.type == data::FieldType::Decimal)
        return QString::fromUtf8(v.text.data(), static_cast<qsizetype>(v.text.size()));
    return QString::fromStdString(v.toString());
}

QVariant RecordsetModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return text(index.row(), index.column());
    if (role == Qt::FontRole) {
        const auto r = static_cast<size_t>(index.row());
        if (r < mBold.size() && mBold[r]) return mBoldFont;
        return {};
    }
    if (role == Qt::TextAlignmentRole) {
        const Column& c = mColumns[static_cast<size_t>(index.column())];
        if (mRs && c.field >= 0 && c.field < static_cast<int>(mRs->fieldCount())) {
            const auto t = mRs->field(static_cast<size_t>(c.field)).type;
            if (t == data::FieldType::Integer || t == data::FieldType::Double || t == data::FieldType::Decimal)
                return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        }
        return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    }
    return {};
}

QVariant RecordsetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return {};
    if (section < 0 || section >= columnCount()) return {};
    return mColumns[static_cast<size_t>(section)].caption;
}

Qt::ItemFlags RecordsetModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

}  // namespace faq::ui
