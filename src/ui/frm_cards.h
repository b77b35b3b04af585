// The cards behind one row of the summary (or behind all of it): a window of the query
// window's, with its own grid, total line and export.
#pragma once

#include <QStringList>
#include <QWidget>

#include "data/recordset.h"
#include "data_grid.h"
#include "export/workbook.h"

class QLabel;
class QPushButton;

namespace faq::ui {

class frmCards : public QWidget {
    Q_OBJECT
public:
    explicit frmCards(QWidget* owner);

    // Shows cards, the list for the row described by what.
    void showCards(FetchedRows cards, const QString& what);
    const data::RecordsetPtr& cards() const { return mCards; }
    // The grid's captions, as the export writes them.
    QStringList captions() const;

    QLabel* lblWhat;
    DataGrid* dgCards;
    QLabel* lblTotal;
    QPushButton* btnCsv;

signals:
    void exportRequested();

protected:
    // 帮助 in the system menu (Windows) does what F1 does.
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    void placeOverOwner();
    data::RecordsetPtr mCards;
};

// The total line of a card list: its lines, its 原值 summed, and 数量 as the summary counts
// (the cards with an 增加方式).
QString cardTotalText(const data::Recordset& cards);
// The same as the workbook's last line: 合计: first, the counts under 固定资产名称, 原值 summed.
output::TrailingRow cardTotalRow(const data::Recordset& cards);

}  // namespace faq::ui
