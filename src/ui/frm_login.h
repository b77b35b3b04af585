// The query window: its controls and criteria, the result grid and the level it shows. Its work
// and outputs live in files of their own: frm_login_views (汇总方式, 部门小计), _cards (明细),
// _chart (图表…), _picker (F2), _workbook (输出EXCEL), _pdf and _print; the work line in work_line.
#pragma once

#include <QPointer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

#include "app/session.h"
#include "background.h"
#include "chart_window.h"
#include "data/recordset.h"
#include "export/table_pages.h"
#include "form_select.h"
#include "frm_cards.h"
#include "print_preview.h"
#include "query/cmvlogin.h"
#include "query/summary_view.h"
#include "work_line.h"
#include "workbook_export.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPrinter;
class QPushButton;
class QShortcut;

namespace faq::ui {

class DataCombo;
class DataGrid;
class FormSelect;

class frmLogin : public QWidget {
    Q_OBJECT
public:
    // The window works through session for its whole life. Statements run on the
    // session's worker thread; the window stays responsive and can cancel them.
    explicit frmLogin(app::Session& session, QWidget* parent = nullptr);
    ~frmLogin() override;

    // Form_Load: fills the period, and the lookup lists on the worker (this connects).
    // Ends with loaded(), or loadFailed(message): the window must then not stay open.
    void Form_Load();

    void Command1_Click();
    void btnCsv_Click();
    // 明细 (double-click, Enter or the grid's menu): the cards behind the grid's row `row`,
    // every card of the result on the total row, in the card window.
    void showCards(int row);
    // 打印… (Ctrl+P): the result's pages in the print preview, laid out on the worker while
    // the first are shown; 打印 there prints them on the worker.
    void btnPrint_Click();
    PrintPreview* preview() const { return mPreview; }
    // 输出PDF…: the result as a PDF where the user chooses (chooser: the save dialog, or a
    // test's stand-in; an empty answer writes nothing).
    void btnPdf_Click();
    void setPdfPathChooser(std::function<QString(const QString& suggested)> chooser) {
        mChoosePdfPath = std::move(chooser);
    }
    frmCards* cardWindow() const { return mCards; }
    frmChart* chartWindow() const { return mChart; }
    void Form_KeyDown(int keyCode, Qt::KeyboardModifiers shift);
    // "取消": stops the running statement at the server; a connect is abandoned.
    void btnCancel_Click();
    // 汇总方式 or 部门小计 changed: the result shown regrouped on the worker, no statement sent.
    void cboGroup_Click();
    // 图表…: a chart of the result shown.
    void btnChart_Click();

    // Whether work runs on the worker (the criteria and buttons are then disabled).
    bool busy() const { return mLine->busy(); }
    bool loading() const { return mLoading; }
    // Whether the export running is zipping its workbook, which cannot be stopped.
    bool exportFinishing() const { return mLine->finishing(); }

    // The statement's result, and the view of it the grid shows.
    const data::RecordsetPtr& result() const { return rsResult; }
    const std::shared_ptr<const query::SummaryView>& view() const { return mView; }
    // The level and subtotals chosen in the criteria frame.
    query::Grouping chosenGrouping() const;
    bool chosenSubtotals() const;
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
    QLabel* Label4;
    QComboBox* cboGroup;
    QCheckBox* chkSubtotals;
    QPushButton* Command1;
    DataGrid* dgContent;
    QPushButton* btnCsv;
    QPushButton* btnPrint;
    QPushButton* btnPdf;
    QPushButton* btnChart;
    // While work runs: what it is and for how long, and its cancel button.
    QLabel* lblBusy;
    QPushButton* btnCancel;

signals:
    void loaded();
    // The lookup lists could not be loaded (message), or the user cancelled (empty).
    void loadFailed(const QString& message);

protected:
    // 帮助 in the system menu (Windows) does what F1 does.
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
    void closeEvent(QCloseEvent* e) override;  // Form_QueryUnload

private:
    // message, with 打开所在文件夹 for the folder of file (what it holds: 工作簿, PDF).
    void offerFolder(QWidget* owner, const QString& message, const QString& file, const QString& what);
    QString fittedPath(const QString& lead, const QString& path) const { return mLine->fittedPath(lead, path); }
    // Why a result holds the 合计: row alone.
    static QString emptyResultText(const query::CMvLogin& criteria);
    void initCriteriaControls();
    // rs as a workbook named for stem, trailer after its records; owner: the window whose
    // message it is.
    void exportToExcel(data::RecordsetPtr rs, const QStringList& captions, QWidget* owner = nullptr,
                       const QString& stem = QStringLiteral("固定资产查询"),
                       std::optional<output::TrailingRow> trailer = std::nullopt);
    // The work of write (a workbook, its cancel and progress), then the workbook opened.
    void exportWith(std::function<ExportOutcome(const std::atomic<bool>*, output::WriteProgress*)> write,
                    QWidget* owner = nullptr);
    void showPicker();
    void openPreview(std::shared_ptr<QPrinter> printer, std::shared_ptr<const output::MeasuredTable> cells);
    void layOutPreview(std::shared_ptr<output::TablePages> pages);
    void printPages(std::shared_ptr<QPrinter> printer, std::shared_ptr<const output::TablePages> pages);
    void beginWork(const QString& what) { mLine->begin(what); }
    void endWork() { mLine->end(); }
    void sayDone(const QString& what) { mLine->say(what); }
    // The view (and its widest rows) bound to the grid.
    void showView(std::shared_ptr<const query::SummaryView> view, const WidestRows& widest);
    // The printed table of the view shown.
    std::shared_ptr<output::PrintedTable> printedView() const;
    // The summary's workbook: the document's plain export for its own view, the view's own
    // (formulas for 小计 and 合计) for the others.
    void exportView();
    // A fetch's outcome without its rows: a cancel said on the busy line, a failure
    // in a message box. False when there are rows to show.
    template <typename R>
    bool sayFailure(const Outcome<R>& out) {
        return sayFailure(out.dbError, out.value.has_value(), out.otherError);
    }
    bool sayFailure(const std::optional<data::DbError>& dbError, bool hasValue, const std::string& otherError);
    // A view made on the worker, with the widest rows of its grid.
    struct ShownView {
        data::RecordsetPtr detailed;
        std::shared_ptr<const query::SummaryView> view;
        WidestRows widest;
    };
    static ShownView makeView(data::RecordsetPtr detailed, query::Grouping g, bool subtotals,
                              const std::atomic<bool>* stop);
    // Pages written (a PDF, a printer's job) on the worker: how many, or how it ended.
    struct PagesWritten {
        int pages = 0;
        QString error;
        bool cancelled = false;
    };
    // write's pages, its cancel or its failure caught; run on the worker.
    static PagesWritten writePages(const std::function<int()>& write);
    // A cancel said on the busy line (cancelled), a failure in a box (failed and the reason);
    // false when the pages were written.
    bool sayPagesFailure(const Outcome<PagesWritten>& out, const QString& cancelled, const QString& failed);
    void enableSubtotals();

    app::Session& mSession;
    std::unique_ptr<query::CMvLogin> objCriteria;
    data::RecordsetPtr rsResult;
    QPointer<FormSelect> mPicker;
    QPointer<frmCards> mCards;
    QPointer<PrintPreview> mPreview;
    std::function<QString(const QString&)> mChoosePdfPath;
    // The criteria of the result the grid shows (a failed query leaves both as they were).
    std::shared_ptr<const query::CMvLogin> mShownCriteria;
    std::shared_ptr<const query::SummaryView> mView;
    QPointer<frmChart> mChart;
    std::shared_ptr<std::atomic<bool>> mStopRegroup;  // the level being added up: stop it
    WorkbookExporter mExporter;
    WorkLine* mLine = nullptr;
    bool mLoading = false;
    QPointer<QWidget> mFocusBeforePicker;
};

}  // namespace faq::ui
