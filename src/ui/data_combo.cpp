#include "data_combo.h"

#include <QCompleter>
#include <QLineEdit>

#include "data/program_error.h"
#include "data/sql_collation.h"

namespace faq::ui {

namespace {
// Rows the open list shows at once: the asset names of a company run to hundreds.
constexpr int kVisibleItems = 20;
// The boxes have no length limit of their own (QLineEdit's default is 32767 characters).
constexpr int kNoLengthLimit = 1 << 24;
}  // namespace

DataCombo::DataCombo(QWidget* parent) : ListCombo(parent) {
    setMaxVisibleItems(kVisibleItems);
    lineEdit()->setMaxLength(kNoLengthLimit);
    if (completer()) {
        completer()->setCaseSensitivity(Qt::CaseSensitive);
        completer()->setCompletionMode(QCompleter::PopupCompletion);
    }
}

void DataCombo::setListSource(data::RecordsetPtr rs, const std::string& listField, const std::string& boundField) {
    const QString keep = currentText();
    clear();
    mRs = std::move(rs);
    mBoundField = -1;
    if (!mRs) return;
    const int list = mRs->fieldIndex(listField);
    if (list < 0) throw data::ProgramError("列表中没有字段：" + listField);
    if (!boundField.empty()) {
        mBoundField = mRs->fieldIndex(boundField);
        if (mBoundField < 0) throw data::ProgramError("列表中没有字段：" + boundField);
    }
    QStringList items;
    items.reserve(static_cast<qsizetype>(mRs->recordCount()));
    for (size_t r = 0; r < mRs->recordCount(); ++r) {
        const auto v = mRs->value(r, static_cast<size_t>(list));
        items << QString::fromStdString(v.toString());
    }
    addItems(items);
    setCurrentIndex(-1);
    setEditText(keep);
}

std::optional<std::string> DataCombo::boundValue() const {
    const QString text = currentText();
    int row = currentIndex();
    if (row < 0 || itemText(row) != text) row = findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    for (int i = 0; row < 0 && i < count(); ++i)
        if (itemText(i).trimmed() == text.trimmed()) row = i;
    // As the server compares names: without case and width of letters, trailing blanks aside.
    const std::string key = data::sqlServerKey(text.trimmed().toStdString());
    for (int i = 0; row < 0 && i < count(); ++i)
        if (data::sqlServerKey(itemText(i).trimmed().toStdString()) == key) row = i;
    if (row < 0) return std::nullopt;
    if (!mRs || mBoundField < 0) return text.toStdString();
    return mRs->value(static_cast<size_t>(row), static_cast<size_t>(mBoundField)).toString();
}

}  // namespace faq::ui
