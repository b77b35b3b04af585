// Exports a result to a new workbook in the program's folder under the system's temporary
// folder and hands it to the desktop's spreadsheet program.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>

#include "data/recordset.h"

namespace faq::ui {

struct ExportOutcome {
    enum Kind { NoData, Failed, Opened, SavedNotOpened } kind = NoData;
    QString path;   // the workbook written (Opened, SavedNotOpened)
    QString error;  // the reason (Failed)
    // The message for the user, as the query window shows it.
    QString message() const;
};

class WorkbookExporter {
public:
    WorkbookExporter();
    // Where workbooks go; by default <temp>/faquery.
    QString folder;
    // Opens a written workbook; returns false when no program could be started.
    std::function<bool(const QString& path)> opener;
    // Clock for the file name.
    std::function<QDateTime()> now;

    // Writes the header row of captions and the records of rs from its current record to
    // the last, leaving the current record where it was.
    ExportOutcome run(const data::RecordsetPtr& rs, const QStringList& captions) const;

    // 固定资产查询_YYYYMMDD_HHMMSS[_n].xlsx, not yet taken in folder.
    QString newFileName() const;
};

}  // namespace faq::ui
