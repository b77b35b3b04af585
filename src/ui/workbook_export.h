// Exports a result to a new workbook in the user's own folder under the system's
// temporary folder and hands it to the desktop's spreadsheet program.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <atomic>

#include "data/recordset.h"

namespace faq::ui {

struct ExportOutcome {
    enum Kind { NoData, Failed, Cancelled, Opened, SavedNotOpened } kind = NoData;
    QString path;   // the workbook written (Opened, SavedNotOpened)
    QString error;  // the reason (Failed)
    // The message for the user, as the query window shows it.
    QString message() const;
};

// Whether the desktop names a program that opens .xlsx workbooks.
bool spreadsheetProgramKnown();

class WorkbookExporter {
public:
    WorkbookExporter();
    // The temporary folder; workbooks go to its faquery-<uid> folder.
    QString tempRoot;

    // Writes the header row of captions and the records of rs from its current record to
    // the last, leaving the current record where it was, then opens the workbook.
    ExportOutcome run(const data::RecordsetPtr& rs, const QStringList& captions) const;

    // The two halves of run: writing (on any thread; stops when *stop turns true) and
    // handing the workbook to the desktop's program for workbooks, when the desktop names
    // one (on the UI thread, through QDesktopServices).
    ExportOutcome write(const data::RecordsetPtr& rs, const QStringList& captions, size_t firstRow,
                        const std::atomic<bool>* stop = nullptr) const;
    ExportOutcome open(ExportOutcome written) const;

    // 固定资产查询_YYYYMMDD_HHMMSS[_n].xlsx, not yet taken in folder.
    QString newFileName(const QString& folder) const;
};

}  // namespace faq::ui
