// The query window's workbooks: the summary (the document's plain export, or a view's own
// with its formulas) and the card window's list, written on the worker and opened.
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include "app/printed_summary.h"
#include "app/program.h"
#include "frm_login.h"

namespace faq::ui {

void frmLogin::exportToExcel(data::RecordsetPtr rs, const QStringList& captions, QWidget* owner, const QString& stem,
                             std::optional<output::TrailingRow> trailer) {
    exportWith(
        [exporter = mExporter, rs, captions, stem, trailer = std::move(trailer)](const std::atomic<bool>* stop,
                                                                                 output::WriteProgress* progress) {
            return exporter.write(rs, captions, stop, progress, stem, trailer ? &*trailer : nullptr);
        },
        owner);
}

void frmLogin::exportWith(std::function<ExportOutcome(const std::atomic<bool>*, output::WriteProgress*)> write,
                          QWidget* owner) {
    // The whole result, whatever row the grid stands on; the grid stays there.
    beginWork(QStringLiteral("正在输出"));
    mLine->progress = std::make_shared<output::WriteProgress>();
    mLine->job = runInBackground<ExportOutcome>(
        mSession, this,
        [write = std::move(write), keep = mSession.shared_from_this(), progress = mLine->progress](app::mdlMain&) {
            return write(&keep->cancelRequested(), progress.get());
        },
        [this, owner = QPointer<QWidget>(owner ? owner : this)](Outcome<ExportOutcome>& out) {
            endWork();
            // The message belongs to the window the export was asked from, and gives the
            // focus back to it.
            QWidget* said = owner ? owner.data() : this;
            ExportOutcome failed;
            failed.error = QString::fromStdString(out.otherError);
            const ExportOutcome done = mExporter.open(out.value.value_or(failed));
            if (done.kind == ExportOutcome::Cancelled) return sayDone(done.message());
            if (done.kind == ExportOutcome::SavedNotOpened) {
                // Nothing opened it, and it lies in a hidden folder the system empties: the
                // way to it is offered.
                offerFolder(said, done.message(), done.path, QStringLiteral("工作簿"));
                return;
            }
            app::showMessage(said, done.message(),
                             done.kind == ExportOutcome::Opened ? QMessageBox::NoIcon : QMessageBox::Warning);
        });
}

void frmLogin::offerFolder(QWidget* owner, const QString& message, const QString& file, const QString& what) {
    if (!app::askMessage(owner, message, QStringLiteral("打开所在文件夹"), QMessageBox::Information)) return;
    const QString folder = QFileInfo(file).absolutePath();
    if (!folderProgramKnown() || !QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        app::showMessage(owner,
                         QStringLiteral("这台电脑的桌面没有打开文件夹的程序。%1所在的文件夹是：\n").arg(what) +
                             QDir::toNativeSeparators(folder),
                         QMessageBox::Information);
}

void frmLogin::btnCsv_Click() {
    if (busy()) return;
    if (mView && !mView->plain()) return exportView();
    QStringList captions;
    for (int c = 0; c < dgContent->model()->columnCount(); ++c)
        captions << dgContent->model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    exportToExcel(rsResult, captions);
}

void frmLogin::exportView() {
    // The sheet's rows are the view's, kept alive by the job that writes them.
    auto sheet = std::make_shared<output::SummarySheet>(app::summarySheet(*mView));
    exportWith(
        [exporter = mExporter, sheet, keep = mView](const std::atomic<bool>* stop, output::WriteProgress* progress) {
            return exporter.writeSummary(*sheet, stop, progress);
        });
}

}  // namespace faq::ui
