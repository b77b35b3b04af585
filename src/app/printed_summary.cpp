#include "printed_summary.h"

#include "query/money_format.h"

namespace faq::app {

QString sourceText(const EngineChoice& engine, const data::ConnParams& params) {
    if (engine.demo) return QStringLiteral("示例数据库");
    if (!engine.sqliteFile.empty())
        return QStringLiteral("SQLite 文件 %1").arg(QString::fromLocal8Bit(engine.sqliteFile.c_str()));
    return QStringLiteral("数据库 %1（服务器 %2）")
        .arg(QString::fromStdString(params.database), QString::fromStdString(params.server));
}

QStringList printedLines(const query::CMvLogin& c, const QString& source, const QDateTime& at) {
    QString criteria =
        QStringLiteral("期间 %1 至 %2").arg(QString::fromStdString(c.strBegDate), QString::fromStdString(c.strEndDate));
    criteria += QStringLiteral("　部门 %1")
                    .arg(c.strDeptName.empty() ? QStringLiteral("（全部）") : QString::fromStdString(c.strDeptName));
    if (c.strZcID.empty())
        criteria += QStringLiteral("　资产名称（全部）");
    else
        criteria += QStringLiteral("　资产名称 %1（%2）")
                        .arg(QString::fromStdString(c.strZcID),
                             c.gsCZLike == "1" ? QStringLiteral("包含即可") : QStringLiteral("完全相同"));
    return {criteria, source + QStringLiteral("　打印时间 ") + at.toString(QStringLiteral("yyyy-MM-dd HH:mm"))};
}

QFont printFont() {
    QFont f;
    // A Song face first: Noto CJK's ideographs share glyphs with the Kangxi radicals, and the
    // text a PDF keeps of them would read "⾄" for "至". The faces after it serve what it
    // lacks, each character checked before a page is written (output::FontCheck).
    f.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("AR PL UMing CN"),
                   QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("Noto Serif CJK SC"),
                   QStringLiteral("Noto Sans CJK SC"), QStringLiteral("DejaVu Sans")});
    f.setPointSizeF(9);
    return f;
}

output::PrintedTable printedTable(const data::Recordset& rs, bool cards, QStringList lines, QFont font) {
    output::PrintedTable t;
    t.title = cards ? QStringLiteral("固定资产卡片明细") : QStringLiteral("固定资产汇总表");
    t.lines = std::move(lines);
    t.rows = &rs;
    t.font = std::move(font);
    const size_t n = rs.fieldCount();
    t.formats.resize(n);
    t.alignRight.resize(n);
    for (size_t c = 0; c < n; ++c) {
        const std::string& name = rs.field(c).name;
        t.captions << QString::fromStdString(name);
        if (name == "原值") {
            t.formats[c] = [](const data::Value& v) { return QString::fromStdString(query::formatMoney(v)).trimmed(); };
            t.alignRight[c] = true;
        }
        if (name == "数量") t.alignRight[c] = true;
    }
    const size_t rows = rs.recordCount();
    const int nameField = rs.fieldIndex("固定资产名称");
    t.totalLast = !cards && rows > 0 && nameField >= 0 &&
                  rs.value(rows - 1, static_cast<size_t>(nameField)).toString() == "合计:";
    return t;
}

output::PrintedTable printedTable(const query::SummaryView& view, QStringList lines, QFont font) {
    output::PrintedTable t = printedTable(*view.rows, false, std::move(lines), std::move(font));
    if (view.plain()) return t;
    t.title += QStringLiteral("（%1%2）")
                   .arg(QString::fromUtf8(query::groupingName(view.grouping).caption),
                        view.subtotals ? QStringLiteral("，部门小计") : QString());
    t.setApart.resize(view.kinds.size());
    for (size_t r = 0; r < view.kinds.size(); ++r) t.setApart[r] = view.kinds[r] != query::RowKind::Detail;
    return t;
}

output::SummarySheet summarySheet(const query::SummaryView& view) {
    output::SummarySheet sheet;
    for (size_t c = 0; c < view.rows->fieldCount(); ++c) sheet.captions.push_back(view.rows->field(c).name);
    sheet.rows = view.rows.get();
    sheet.kinds.reserve(view.kinds.size());
    for (query::RowKind k : view.kinds)
        sheet.kinds.push_back(k == query::RowKind::Subtotal ? output::SheetRow::Subtotal
                              : k == query::RowKind::Total  ? output::SheetRow::Total
                                                            : output::SheetRow::Detail);
    const auto value = static_cast<size_t>(view.valueColumn());
    sheet.sumColumns = {value, view.rows->fieldCount() - 1};
    sheet.moneyColumns = {value};
    return sheet;
}

output::ChartPicture chartPicture(const query::ChartData& data, QStringList lines) {
    output::ChartPicture c;
    c.title = QStringLiteral("固定资产原值图表");
    c.lines = std::move(lines);
    const auto bars = [](const std::vector<query::ChartBarData>& from) {
        std::vector<output::ChartBar> to;
        for (const query::ChartBarData& b : from)
            to.push_back({QString::fromStdString(b.label), b.value, QString::fromStdString(b.figure)});
        return to;
    };
    c.departments = bars(data.departments);
    c.years = bars(data.years);
    return c;
}

}  // namespace faq::app
