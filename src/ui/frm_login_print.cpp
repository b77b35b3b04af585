// The query window's 打印…: the cells measured on the worker, the preview opened on the
// first pages while the rest are laid out, and the printing itself on the worker.
#include <QDateTime>
#include <QDir>
#include <QMessageBox>
#include <QPrinter>
#include <QToolBar>

#include "app/printed_summary.h"
#include "app/program.h"
#include "export/printed_table.h"
#include "frm_login.h"
#include "guide_window.h"

namespace faq::ui {

void frmLogin::btnPrint_Click() {
    if (busy()) return;
    if (!mView || !mShownCriteria) return app::showMessage(this, QStringLiteral("还没有查询结果可以打印"));
    auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
    auto table = printedView();
    printer->setDocName(table->title);
    struct Measured {
        std::shared_ptr<const output::MeasuredTable> cells;
        QString problem;
        bool cancelled = false;
    };
    beginWork(QStringLiteral("正在准备打印"));
    mLine->progress = std::make_shared<output::WriteProgress>();
    mLine->job = runInBackground<Measured>(
        mSession, this,
        [view = mView, table, resolution = printer->resolution(), keep = mSession.shared_from_this(),
         progress = mLine->progress](app::mdlMain&) {
            Measured m;
            // A character no face of the page shows would print as a box: refused before
            // any page, found in the pass that measures the cells.
            output::FontCheck fonts(table->font, output::PageUse::Paper);
            try {
                m.cells = std::make_shared<const output::MeasuredTable>(*table, resolution, &keep->cancelRequested(),
                                                                        progress.get(), &fonts);
            } catch (const output::OutputCancelled&) {
                m.cancelled = true;
            }
            if (auto problem = fonts.problem()) m.problem = *problem;
            return m;
        },
        [this, printer](Outcome<Measured>& out) {
            endWork();
            if (out.value && out.value->cancelled) return sayDone(QStringLiteral("打印已取消"));
            if (!out.value) return app::showMessage(this, QString::fromStdString(out.otherError));
            if (!out.value->problem.isEmpty())
                return app::showMessage(this, QStringLiteral("无法打印：") + out.value->problem);
            printer->setPageLayout(out.value->cells->preferredLayout());
            openPreview(printer, out.value->cells);
        });
}

void frmLogin::openPreview(std::shared_ptr<QPrinter> printer, std::shared_ptr<const output::MeasuredTable> cells) {
    auto pages = std::make_shared<output::TablePages>(cells, printer->pageLayout());
    auto* preview = new PrintPreview(printer, pages, this);
    mPreview = preview;
    preview->setWindowTitle(QStringLiteral("打印预览 - 固定资产汇总表"));
    preview->setAttribute(Qt::WA_DeleteOnClose);
    addGuideKey(preview, QStringLiteral("print"));
    preview->resize(app::fittedSize(QSize(900, 700), QSize(400, 300)));
    // On a small screen the tools shrink until every one of them shows (none behind "»").
    QToolBar* tools = preview->tools();
    const int room = preview->width() - 8;
    for (int icon = tools->iconSize().width() - 2; icon >= 12 && tools->sizeHint().width() > room; icon -= 2)
        tools->setIconSize(QSize(icon, icon));
    connect(preview, &PrintPreview::cancelRequested, this, [this] {
        if (busy()) btnCancel_Click();
    });
    connect(preview, &PrintPreview::layoutChanged, this, [this, preview, cells](const QPageLayout& layout) {
        if (busy()) return;
        auto again = std::make_shared<output::TablePages>(cells, layout);
        preview->setPages(again);
        layOutPreview(again);
    });
    connect(preview, &PrintPreview::printRequested, this, [this, preview, printer] {
        if (auto shown = preview->view()->pagesShared()) printPages(printer, shown);
    });
    preview->open();
    layOutPreview(pages);
}

void frmLogin::layOutPreview(std::shared_ptr<output::TablePages> pages) {
    beginWork(QStringLiteral("正在打印预览"));
    mLine->progress = std::make_shared<output::WriteProgress>();
    if (mPreview) mPreview->setProgress(mLine->progress);
    mLine->job = runInBackground<bool>(
        mSession, this,
        [pages, keep = mSession.shared_from_this(), progress = mLine->progress](app::mdlMain&) {
            try {
                pages->layOut(&keep->cancelRequested(), progress.get());
                return true;
            } catch (const output::OutputCancelled&) {
                return false;
            }
        },
        [this](Outcome<bool>& out) {
            endWork();
            if (out.value && *out.value) {
                if (mPreview) mPreview->refresh();
                return;
            }
            // Pages not all laid out are not offered for printing: the preview goes.
            if (mPreview) mPreview->close();
            if (out.value) return sayDone(QStringLiteral("打印预览已取消"));
            app::showMessage(this, QStringLiteral("无法打印：") + QString::fromStdString(out.otherError));
        });
}

void frmLogin::printPages(std::shared_ptr<QPrinter> printer, std::shared_ptr<const output::TablePages> pages) {
    // Printed to a file: written as every file of the program is, whole or not at all.
    const QString file = printer->outputFormat() == QPrinter::PdfFormat ? printer->outputFileName() : QString();
    beginWork(QStringLiteral("正在打印"));
    mLine->progress = std::make_shared<output::WriteProgress>();
    mLine->job = runInBackground<PagesWritten>(
        mSession, this,
        [printer, pages, file, keep = mSession.shared_from_this(), progress = mLine->progress](app::mdlMain&) {
            const std::atomic<bool>* stop = &keep->cancelRequested();
            return writePages([&] {
                // The print dialog may have chosen another paper or orientation: the pages
                // are laid out again for it.
                std::shared_ptr<const output::TablePages> laid = pages;
                if (!printer->pageLayout().isEquivalentTo(pages->pageLayout())) {
                    auto again = std::make_shared<output::TablePages>(pages->cells(), printer->pageLayout());
                    again->layOut(stop, progress.get());
                    laid = again;
                }
                if (file.isEmpty())
                    return output::paintPages(*printer, printer->resolution(), *laid, stop, progress.get(),
                                              [printer] { printer->abort(); });
                output::AtomicFile out(fileNameBytes(file));
                const int written = output::writePdf(out, *laid, printer->docName(), stop, progress.get());
                out.commit();
                return written;
            });
        },
        [this, file](Outcome<PagesWritten>& out) {
            endWork();
            if (sayPagesFailure(out, QStringLiteral("打印已取消，没有送出任何一页"), QStringLiteral("打印失败：")))
                return;
            if (file.isEmpty()) return sayDone(QStringLiteral("已送往打印机（%1 页）").arg(out.value->pages));
            sayDone(fittedPath(QStringLiteral("已打印到文件（%1 页）：").arg(out.value->pages), file));
        });
}

}  // namespace faq::ui
