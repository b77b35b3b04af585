// The query window's 输出PDF…: the view shown as pages, written on the worker into a file
// that replaces nothing until it is whole.
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QStandardPaths>

#include "app/printed_summary.h"
#include "app/program.h"
#include "export/printed_table.h"
#include "frm_login.h"

namespace faq::ui {

frmLogin::PagesWritten frmLogin::writePages(const std::function<int()>& write) {
    PagesWritten w;
    try {
        w.pages = write();
    } catch (const output::OutputCancelled&) {
        w.cancelled = true;
    } catch (const output::OutputError& e) {
        w.error = QString::fromUtf8(e.what());
    }
    return w;
}

bool frmLogin::sayPagesFailure(const Outcome<PagesWritten>& out, const QString& cancelled, const QString& failed) {
    if (out.value && out.value->cancelled) {
        sayDone(cancelled);
        return true;
    }
    if (out.value && out.value->error.isEmpty()) return false;
    app::showMessage(this, failed + (out.value ? out.value->error : QString::fromStdString(out.otherError)));
    return true;
}

void frmLogin::btnPdf_Click() {
    if (busy()) return;
    if (!mView || !mShownCriteria) return app::showMessage(this, QStringLiteral("还没有查询结果可以输出"));
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty()) folder = QDir::homePath();
    const QString suggested =
        QDir(folder).filePath(QStringLiteral("固定资产汇总表_%1.pdf")
                                  .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmmss"))));
    const QString path = mChoosePdfPath ? mChoosePdfPath(suggested)
                                        : QFileDialog::getSaveFileName(this, QStringLiteral("输出PDF"), suggested,
                                                                       QStringLiteral("PDF 文件 (*.pdf)"));
    if (path.isEmpty()) return;
    auto table = printedView();
    beginWork(QStringLiteral("正在输出 PDF"));
    mLine->progress = std::make_shared<output::WriteProgress>();
    mLine->job = runInBackground<PagesWritten>(
        mSession, this,
        [view = mView, table, path, keep = mSession.shared_from_this(), progress = mLine->progress](app::mdlMain&) {
            return writePages([&] {
                output::AtomicFile file(fileNameBytes(path));
                const int pages = output::writePdf(file, *table, &keep->cancelRequested(), progress.get());
                file.commit();
                return pages;
            });
        },
        [this, path](Outcome<PagesWritten>& out) {
            endWork();
            if (sayPagesFailure(out, QStringLiteral("输出已取消，没有写入 PDF"), QStringLiteral("输出PDF失败：")))
                return;
            const QString lead = QStringLiteral("已输出 PDF（%1 页）：").arg(out.value->pages);
            mLine->say(fittedPath(lead, path), lead + QDir::toNativeSeparators(path));
            offerFolder(this, lead + QStringLiteral("\n") + QDir::toNativeSeparators(path), path,
                        QStringLiteral("PDF "));
        });
}

}  // namespace faq::ui
