#include "summary_workbook.h"

#include <algorithm>
#include <cstdio>

#include "quiet_library.h"
#include "workbook_check.h"
#include "workbook_parts.h"
#include "workbook_template.h"

namespace faq::output {

using namespace parts;

namespace {

// A column's width in the spreadsheet's units (characters of its default font): a CJK
// character counts two.
double displayWidth(std::string_view utf8) {
    double w = 0;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if ((c & 0xC0) == 0x80) continue;
        w += c >= 0xE0 ? 2 : 1;
    }
    return w;
}

std::string moneyText(double v) {
    // As "#,##0.00" shows it: for the width only.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    std::string s = buf;
    const size_t point = s.find('.');
    const size_t start = s[0] == '-' ? 1 : 0;
    for (size_t i = point; i > start + 3; i -= 3) s.insert(i - 3, ",");
    return s;
}

}  // namespace

std::string columnName(size_t c) {
    std::string name;
    ++c;
    while (c > 0) {
        name.insert(name.begin(), static_cast<char>('A' + (c - 1) % 26));
        c = (c - 1) / 26;
    }
    return name;
}

namespace {

void zipSummary(AtomicFile& file, const SummarySheet& sheet, const std::atomic<bool>* stop, WriteProgress* progress) {
    const data::Recordset& rs = *sheet.rows;
    const size_t n = rs.recordCount(), fields = rs.fieldCount();
    if (n > kRowsPerSheet)
        throw OutputError("汇总有 " + std::to_string(n) +
                          " 行，超过一张工作表的上限；请选较粗的汇总方式或去掉部门小计");
    const QuietLibrary quiet;
    std::string tmpDir;
    lxw_workbook* wb = newWorkbook(file, tmpDir);
    std::vector<lxw_worksheet*> sheets;
    try {
        lxw_format* money = workbook_add_format(wb);
        format_set_num_format(money, "#,##0.00");
        lxw_format* bold = workbook_add_format(wb);
        format_set_bold(bold);
        lxw_format* boldMoney = workbook_add_format(wb);
        format_set_bold(boldMoney);
        format_set_num_format(boldMoney, "#,##0.00");
        const auto isMoney = [&](size_t c) {
            return std::find(sheet.moneyColumns.begin(), sheet.moneyColumns.end(), c) != sheet.moneyColumns.end();
        };
        const auto isSum = [&](size_t c) {
            return std::find(sheet.sumColumns.begin(), sheet.sumColumns.end(), c) != sheet.sumColumns.end();
        };

        // The widths first: the constant-memory writer wants them before the rows.
        std::vector<double> widths(fields, 8);
        for (size_t c = 0; c < fields && c < sheet.captions.size(); ++c)
            widths[c] = std::max(widths[c], displayWidth(sheet.captions[c]));
        for (size_t r = 0; r < n; ++r)
            for (size_t c = 0; c < fields; ++c) {
                const data::Value v = rs.value(r, c);
                const double w = v.isNull()     ? 0
                                 : isMoney(c)   ? static_cast<double>(moneyText(v.toDouble()).size())
                                 : v.isNumber() ? static_cast<double>(v.toString().size())
                                                : displayWidth(v.text);
                widths[c] = std::max(widths[c], w);
            }
        lxw_worksheet* ws = sheets.emplace_back(newSheet(wb, sheet.captions));
        for (size_t c = 0; c < fields; ++c)
            check(worksheet_set_column(ws, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c),
                                       std::min(widths[c] + 2, 100.0), isMoney(c) ? money : nullptr),
                  "设置列宽失败");

        std::string cell, formula;
        size_t groupFirst = 1;  // the sheet's first row of the group running (0 is the header)
        for (size_t r = 0; r < n; ++r) {
            if ((r & 1023) == 0) {
                if (stop && *stop) throw OutputCancelled();
                if (progress) progress->rows = r;
            }
            const auto row = static_cast<lxw_row_t>(r + 1);
            const SheetRow kind = r < sheet.kinds.size() ? sheet.kinds[r] : SheetRow::Detail;
            const bool apart = kind != SheetRow::Detail;
            for (size_t c = 0; c < fields; ++c) {
                const data::Value v = rs.value(r, c);
                const auto col = static_cast<lxw_col_t>(c);
                lxw_format* f = isMoney(c) ? (apart ? boldMoney : money) : (apart ? bold : nullptr);
                lxw_error err = LXW_NO_ERROR;
                if (apart && isSum(c)) {
                    // Over the group's rows, or for the total every row above it.
                    const size_t from = kind == SheetRow::Total ? 2 : groupFirst + 1;
                    formula = "=SUBTOTAL(9," + columnName(c) + std::to_string(from) + ":" + columnName(c) +
                              std::to_string(r + 1) + ")";
                    err = worksheet_write_formula_num(ws, row, col, formula.c_str(), f, v.toDouble());
                } else if (v.isNumber()) {
                    err = worksheet_write_number(ws, row, col, v.toDouble(), f);
                } else if (!v.isNull()) {
                    err = worksheet_write_string(ws, row, col, cellText(v.text, cell), f);
                } else if (f) {
                    err = worksheet_write_blank(ws, row, col, f);
                }
                if (err == LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED)
                    throw OutputError("第 " + std::to_string(r + 1) + " 行的文本超过单元格上限（32767 个字符）");
                check(err, "写入单元格失败");
            }
            if (kind == SheetRow::Subtotal) groupFirst = r + 2;
        }
    } catch (...) {
        discard(wb, sheets);
        throw;
    }
    closeWorkbook(wb, file, progress, n);
}

}  // namespace

void writeSummaryWorkbook(AtomicFile& file, const SummarySheet& sheet, const std::atomic<bool>* stop,
                          WriteProgress* progress, WorkbookForm form) {
    if (form == WorkbookForm::Template) {
        AtomicFile scratch(file.target());
        zipSummary(scratch, sheet, stop, progress);
        copyAsTemplate(scratch.tempPath(), file);
    } else {
        zipSummary(file, sheet, stop, progress);
    }
    verifyWorkbook(file.openablePath(), 1);
}

}  // namespace faq::output
