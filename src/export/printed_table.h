// A result on paper, for a printer and for PDF alike: a title and a few lines under it on
// the first page, then the table with its header row on every page, columns fitted to the
// page width (the numbers whole on one line, long texts wrapped, never cut, a row taller
// than a page continued on the next), a total row set apart, and "第 N 页 共 M 页"
// under each page.
#pragma once

#include <QFont>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <optional>
#include <vector>

#include "atomic_file.h"
#include "data/recordset.h"
#include "page_fonts.h"
#include "workbook.h"

class QPagedPaintDevice;
class QPdfWriter;

namespace faq::output {

struct PrintedTable {
    QString title;
    QStringList lines;  // under the title: the criteria, where the data came from, when
    QStringList captions;
    const data::Recordset* rows = nullptr;
    // How each column shows its values (empty: as the value's text), and which stand right.
    std::vector<std::function<QString(const data::Value&)>> formats;
    std::vector<bool> alignRight;
    bool totalLast = false;  // the last row is the total row
    QFont font;              // the table's; the title is larger and bold
};

// Sets device's page layout: A4 with 15 mm margins, portrait unless the columns fit only
// when it lies (or need less wrapping so).
// Every text the pages show goes to fonts, when given, in the same pass.
void choosePageLayout(QPagedPaintDevice& device, int resolution, const PrintedTable& t,
                      const std::atomic<bool>* stop = nullptr, WriteProgress* progress = nullptr,
                      FontCheck* fonts = nullptr);

// Paints t on device, page after page; returns the number of pages. Throws OutputCancelled
// when *stop turns true (checked every few hundred rows), OutputError when painting fails or
// (before a page is begun) when a FontCheck of the pages has something to say.
int paintTable(QPagedPaintDevice& device, const PrintedTable& t, const std::atomic<bool>* stop = nullptr,
               WriteProgress* progress = nullptr, PageUse use = PageUse::Paper);

// Writes t as a PDF (the fonts embedded, the text extractable) into file; the caller commits.
int writePdf(AtomicFile& file, const PrintedTable& t, const std::atomic<bool>* stop = nullptr,
             WriteProgress* progress = nullptr);

}  // namespace faq::output
