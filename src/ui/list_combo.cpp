#include "list_combo.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalBlocker>

namespace faq::ui {

ListCombo::ListCombo(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    connect(this, &QComboBox::editTextChanged, this, &ListCombo::followText);
}

void ListCombo::followText(const QString& text) {
    if (mFollowing) return;
    const int row = findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (row == currentIndex()) return;
    // A text that names no item leaves no item current: Down then starts at the first.
    // Changing the index must not change the text, nor where the cursor stands in it.
    mFollowing = true;
    const int cursor = lineEdit()->cursorPosition();
    {
        const QSignalBlocker quiet(this);
        setCurrentIndex(row);
    }
    if (lineEdit()->text() != text) {
        const QSignalBlocker quiet(lineEdit());
        lineEdit()->setText(text);
    }
    lineEdit()->setCursorPosition(cursor);
    mFollowing = false;
}

void ListCombo::showPopup() {
    // Items are measured as the list draws them; a scroll bar takes room beside them.
    int width = view()->sizeHintForColumn(0) + 2 * view()->frameWidth();
    if (count() > maxVisibleItems()) width += view()->verticalScrollBar()->sizeHint().width();
    view()->setMinimumWidth(width);
    QComboBox::showPopup();
}

}  // namespace faq::ui
