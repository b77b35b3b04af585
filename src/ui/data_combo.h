// An editable combo box listing one column of a recordset, optionally yielding another
// column of the chosen entry as its bound value.
#pragma once

#include <optional>
#include <string>

#include "data/recordset.h"
#include "list_combo.h"

namespace faq::ui {

class DataCombo : public ListCombo {
    Q_OBJECT
public:
    explicit DataCombo(QWidget* parent = nullptr);

    // Lists field listField of rs; boundField (may be empty) supplies the bound values.
    void setListSource(data::RecordsetPtr rs, const std::string& listField, const std::string& boundField = {});
    // The bound value of the chosen entry: the current one while the text is its text
    // (stored names may end in blanks), else the entry the text names, exactly or but
    // for blanks at either end; nullopt when it names none.
    std::optional<std::string> boundValue() const;

private:
    data::RecordsetPtr mRs;
    int mBoundField = -1;
};

}  // namespace faq::ui
