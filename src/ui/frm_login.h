// The query window: criteria, the result grid, the asset-name picker on F2 and the export.
#pragma once

#include <QPointer>
#include <QWidget>
#include <optional>

#include "app/mdl_main.h"
#include "data/recordset.h"
#include "query/cmvlogin.h"
#include "form_select.h"
#include "workbook_export.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

namespace faq::ui {

class DataCombo;
class DataGrid;
class FormSelect;

class frmLogin : public QWidget {
    Q_OBJECT
public:
    // The window works through session for its whole life.
    explicit frmLogin(app::Session& session, QWidget* parent = nullptr);
    ~frmLogin() override;

    // Form_Load: fills the lookup lists and the period. Returns the message to show when
    // it fails (the window must then not stay open), or nullopt.
    std::optional<QString> Form_Load();

    void Command1_Click();
    void btnCsv_Click();
    void Form_KeyDown(int keyCode, Qt::KeyboardModifiers shift);

    const data::RecordsetPtr& result() const { return rsResult; }
    const query::CMvLogin& criteria() const { return *objCriteria; }
    FormSelect* picker() const { return mPicker; }
    WorkbookExporter& exporter() { return mExporter; }

    QGroupBox* Frame1;
    QLabel* Label1;
    DataCombo* dcob;
    QCheckBox* chkLike;
    QLabel* Label2;
    DataCombo* dcbmDept;
    QLabel* Label3;
    QComboBox* byyyy;
    QLabel* Label5;
    QComboBox* bmm;
    QLabel* Label6;
    QLabel* Label9;
    QComboBox* eyyyy;
    QLabel* Label7;
    QComboBox* emm;
    QLabel* Label8;
    QPushButton* Command1;
    DataGrid* dgContent;
    QPushButton* btnCsv;

protected:
    void closeEvent(QCloseEvent* e) override;  // Form_QueryUnload
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void initCriteriaControls();
    ExportOutcome exportToExcel();
    void showPicker();

    app::Session& mSession;
    app::mdlMain mMdl;
    std::unique_ptr<query::CMvLogin> objCriteria;
    data::RecordsetPtr rsResult;
    QPointer<FormSelect> mPicker;
    WorkbookExporter mExporter;
};

}  // namespace faq::ui
