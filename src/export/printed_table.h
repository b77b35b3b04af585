// A result on paper, for a printer and for PDF alike: a title and a few lines under it on
// the first page, then the table with its header row on every page, columns fitted to the
// page width (the numbers whole on one line, long texts wrapped, never cut, a row taller
// than a page continued on the next), a total row set apart, and "第 N 页 共 M 页"
// under each page. How the pages are laid out and painted: table_pages.h.
#pragma once

#include <QFont>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "atomic_file.h"
#include "chart_page.h"
#include "data/recordset.h"
#include "workbook.h"

namespace faq::output {

class TablePages;

struct PrintedTable {
    QString title;
    QStringList lines;  // under the title: the criteria, where the data came from, when
    QStringList captions;
    const data::Recordset* rows = nullptr;
    // How each column shows its values (empty: as the value's text), and which stand right.
    std::vector<std::function<QString(const data::Value&)>> formats;
    std::vector<bool> alignRight;
    bool totalLast = false;      // the last row is the total row
    std::vector<bool> setApart;  // rows set apart as the total row is (a view's 小计)
    QFont font;                  // the table's; the title is larger and bold
    // When given, the first page: the picture of the result, before the table's pages.
    std::shared_ptr<const ChartPicture> chart;
};

// Writes t as a PDF (the fonts embedded, the text extractable) into file; the caller commits.
// Before a page is painted, a character the fonts would not show (or keep) as itself refuses
// the file (OutputError). Throws OutputCancelled when *stop turns true.
int writePdf(AtomicFile& file, const PrintedTable& t, const std::atomic<bool>* stop = nullptr,
             WriteProgress* progress = nullptr);
// Pages already laid out (whole) as a PDF titled title, on their page layout.
int writePdf(AtomicFile& file, const TablePages& pages, const QString& title, const std::atomic<bool>* stop = nullptr,
             WriteProgress* progress = nullptr);

}  // namespace faq::output
