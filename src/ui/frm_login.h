// The query window: criteria, the result grid, the asset-name picker on F2 and the export.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

#include "app/session.h"
#include "background.h"
#include "data/recordset.h"
#include "export/table_pages.h"
#include "form_select.h"
#include "frm_cards.h"
#include "print_preview.h"
#include "query/cmvlogin.h"
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
    void Form_KeyDown(int keyCode, Qt::KeyboardModifiers shift);
    // "取消": stops the running statement at the server; a connect is abandoned.
    void btnCancel_Click();

    // Whether work runs on the worker (the criteria and buttons are then disabled).
    bool busy() const { return !mWork.isEmpty(); }
    bool loading() const { return mLoading; }
    // Whether the export running is zipping its workbook, which cannot be stopped.
    bool exportFinishing() const { return mExportProgress && mExportProgress->closing; }

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
    QPushButton* btnPrint;
    QPushButton* btnPdf;
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
    // lead and path as the busy line can show them: the name whole, the folder's middle elided.
    QString fittedPath(const QString& lead, const QString& path) const;
    // Why a result holds the 合计: row alone.
    static QString emptyResultText(const query::CMvLogin& criteria);
    void initCriteriaControls();
    // rs as a workbook named for stem, trailer after its records; owner: the window whose
    // message it is.
    void exportToExcel(data::RecordsetPtr rs, const QStringList& captions, QWidget* owner = nullptr,
                       const QString& stem = QStringLiteral("固定资产查询"),
                       std::optional<output::TrailingRow> trailer = std::nullopt);
    void showPicker();
    void openPreview(std::shared_ptr<QPrinter> printer, std::shared_ptr<const output::MeasuredTable> cells);
    void layOutPreview(std::shared_ptr<output::TablePages> pages);
    void printPages(std::shared_ptr<QPrinter> printer, std::shared_ptr<const output::TablePages> pages);
    void beginWork(const QString& what);
    void endWork();
    void showBusy();
    void sayDone(const QString& what);
    // A fetch's outcome without its rows: a cancel said on the busy line, a failure
    // in a message box. False when there are rows to show.
    bool sayFailure(const Outcome<FetchedRows>& out);
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
    bool showFinishingExport();

    app::Session& mSession;
    std::unique_ptr<query::CMvLogin> objCriteria;
    data::RecordsetPtr rsResult;
    QPointer<FormSelect> mPicker;
    QPointer<frmCards> mCards;
    QPointer<PrintPreview> mPreview;
    std::function<QString(const QString&)> mChoosePdfPath;
    // The criteria of the result the grid shows (a failed query leaves both as they were).
    std::shared_ptr<const query::CMvLogin> mShownCriteria;
    WorkbookExporter mExporter;
    QString mWork;                                           // what runs, for the status line; empty when idle
    unsigned mWorkSerial = 0;                                // counts the work begun
    bool mCancelling = false;                                // 取消 pressed for the work running
    JobTicketPtr mJob;                                       // the running work's claim on its outcome
    std::shared_ptr<output::WriteProgress> mExportProgress;  // the export running, how far it came
    bool mLoading = false;
    QElapsedTimer mWorkClock;
    QTimer mBusyTimer;
    QShortcut* mEscape = nullptr;
    QPointer<QWidget> mFocusBeforeWork, mFocusBeforePicker;
};

}  // namespace faq::ui
