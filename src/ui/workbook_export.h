// Exports a result to a new workbook in the user's own folder under the system's
// temporary folder and hands it to the desktop's spreadsheet program. It is written as a
// template (.xltx), which Excel and LibreOffice open as a new, untitled workbook: the user
// edits it, and Save asks where, as for the unsaved workbook the export always left.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>

#include "data/recordset.h"
#include "export/summary_workbook.h"
#include "export/workbook.h"

namespace faq::ui {

// A file name as the file writer takes it: UTF-8 on Windows (it calls the wide API), the
// bytes of the file system elsewhere.
std::string fileNameBytes(const QString& name);

struct ExportOutcome {
    enum Kind { Failed, Cancelled, Opened, SavedNotOpened } kind = Failed;
    QString path;               // the workbook written (Opened, SavedNotOpened)
    QString error;              // the reason (Failed)
    QString note;               // said after the message: where the workbook went, if not where asked
    bool programKnown = false;  // the desktop names a program for workbooks (SavedNotOpened)
    // The message for the user, as the query window shows it.
    QString message() const;
};

// Whether the desktop names a program that opens .xltx workbooks, and one that opens folders.
bool spreadsheetProgramKnown();
bool folderProgramKnown();

class WorkbookExporter {
public:
    WorkbookExporter();
    // The temporary folder; workbooks go to its faquery-<uid> folder. The system's, when
    // TMPDIR names no usable folder: /tmp, as the platform's own tools fall back (said in
    // tempNote).
    QString tempRoot;
    QString tempNote;

    // Writes the header row of captions and every record of rs (none when rs is null),
    // leaving its current record where it was, then opens the workbook.
    ExportOutcome run(const data::RecordsetPtr& rs, const QStringList& captions) const;

    // The two halves of run: writing and asking the desktop for its program for workbooks
    // (on any thread; stops when *stop turns true, *progress tells how far it came), and
    // handing the workbook to that program (on the UI thread, through QDesktopServices).
    // stem names the file (固定资产查询, 卡片明细); trailer is a line after the records.
    ExportOutcome write(const data::RecordsetPtr& rs, const QStringList& captions,
                        const std::atomic<bool>* stop = nullptr, output::WriteProgress* progress = nullptr,
                        const QString& stem = QStringLiteral("固定资产查询"),
                        const output::TrailingRow* trailer = nullptr) const;
    // A summary with its subtotal and total formulas, as write does the rest.
    ExportOutcome writeSummary(const output::SummarySheet& sheet, const std::atomic<bool>* stop = nullptr,
                               output::WriteProgress* progress = nullptr,
                               const QString& stem = QStringLiteral("固定资产汇总")) const;
    ExportOutcome open(ExportOutcome written) const;

    // stem_YYYYMMDD_HHMMSS[_n].xltx, not yet taken in folder.
    QString newFileName(const QString& folder, const QString& stem = QStringLiteral("固定资产查询")) const;

private:
    // A new template named for stem in the private folder, written by into (a file never
    // replaced: a name taken meanwhile goes to the next).
    ExportOutcome writeNew(const QString& stem, const std::function<void(output::AtomicFile&)>& into) const;
};

}  // namespace faq::ui
