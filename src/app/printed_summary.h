// The summary and the card list as printed and written as PDF: the title, the lines that
// say which criteria and which database they came from, and the table itself.
#pragma once

#include <QDateTime>
#include <QFont>
#include <QString>
#include <QStringList>

#include "data/conn_params.h"
#include "data/recordset.h"
#include "export/printed_table.h"
#include "export/summary_workbook.h"
#include "query/cmvlogin.h"
#include "query/summary_view.h"
#include "session.h"

namespace faq::app {

// Where the rows came from, as the page says it.
QString sourceText(const EngineChoice& engine, const data::ConnParams& params);
// The lines under the title: the criteria as the user set them, the source, the time.
QStringList printedLines(const query::CMvLogin& criteria, const QString& source, const QDateTime& at);
// A 9-point Song (Ming) face with Chinese glyphs, on every system.
QFont printFont();
// rs as a printed table: the summary (固定资产汇总表, its 合计: row set apart) or the card
// list (固定资产卡片明细); 原值 as the grid shows it, numbers right-aligned.
output::PrintedTable printedTable(const data::Recordset& rs, bool cards, QStringList lines, QFont font);
// A view of the summary as printed: its level in the title, its 小计 and 合计: rows set apart.
output::PrintedTable printedTable(const query::SummaryView& view, QStringList lines, QFont font);
// The result's picture: its figures, the criteria's lines under its title.
output::ChartPicture chartPicture(const query::ChartData& data, QStringList lines);
// A view's rows as a workbook with its 小计 and 合计 as formulas (rows: the view's, kept
// alive by the caller).
output::SummarySheet summarySheet(const query::SummaryView& view);

}  // namespace faq::app
