// A drop-down combo box with editable text, as on Windows: the open list is at least as
// wide as its widest item, and the list's current item follows the text shown, typed or
// set, so that the arrow keys step on from there.
#pragma once

#include <QComboBox>

namespace faq::ui {

class ListCombo : public QComboBox {
    Q_OBJECT
public:
    explicit ListCombo(QWidget* parent = nullptr);
    void showPopup() override;

private:
    void followText(const QString& text);
    bool mFollowing = false;
};

}  // namespace faq::ui
