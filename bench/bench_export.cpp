// A million five-column rows to a workbook: the export against a bare libxlsxwriter loop
// writing the same cells.
#include <unistd.h>
#include <xlsxwriter.h>

#include <cstdio>

#include "bench_util.h"
#include "export/workbook.h"
#include "export/workbook_check.h"
#include "sample_rows.h"

using namespace faq;
using namespace faq::bench;

int main(int argc, char** argv) {
    Bench bench(argc, argv);
    const int kRows = bench.rows(1000000, 100000);
    auto rs = summaryShapedRows(kRows);
    // The baseline's cells, prepared beforehand: NUL-terminated texts and numbers.
    std::vector<std::string> texts;
    std::vector<double> values;
    for (size_t r = 0; r < rs->recordCount(); ++r) {
        for (size_t c = 0; c < 3; ++c) texts.emplace_back(rs->value(r, c).text);
        values.push_back(rs->value(r, 3).d);
        values.push_back(static_cast<double>(rs->value(r, 4).i));
    }
    const std::vector<std::string> captions = {"开始使用日期", "使用部门", "固定资产名称", "原值", "数量"};
    const std::string dir = benchDir();
    const std::string ours = dir + "/export-ours.xlsx", base = dir + "/export-base.xlsx";
    // What a bare libxlsxwriter loop writes, as the baseline does.
    auto bareLoop = [&] {
        lxw_workbook_options opt{};
        opt.constant_memory = LXW_TRUE;
        opt.tmpdir = const_cast<char*>(dir.c_str());
        lxw_workbook* wb = workbook_new_opt(base.c_str(), &opt);
        lxw_worksheet* ws = workbook_add_worksheet(wb, nullptr);
        for (int c = 0; c < 5; ++c)
            worksheet_write_string(ws, 0, static_cast<lxw_col_t>(c), captions[static_cast<size_t>(c)].c_str(), nullptr);
        for (int r = 0; r < kRows; ++r) {
            for (int c = 0; c < 3; ++c)
                worksheet_write_string(ws, static_cast<lxw_row_t>(r + 1), static_cast<lxw_col_t>(c),
                                       texts[static_cast<size_t>(r) * 3 + static_cast<size_t>(c)].c_str(), nullptr);
            worksheet_write_number(ws, static_cast<lxw_row_t>(r + 1), 3, values[static_cast<size_t>(r) * 2], nullptr);
            worksheet_write_number(ws, static_cast<lxw_row_t>(r + 1), 4, values[static_cast<size_t>(r) * 2 + 1],
                                   nullptr);
        }
        workbook_close(wb);
    };
    // The export reads every XML part of what it wrote back through a parser before calling
    // it written; the baseline does the same check after its bare loop.
    bench.run(
        "export 1M rows to xlsx", 5,
        [&] {
            unlink(ours.c_str());
            output::saveWorkbook(ours, captions, *rs);
        },
        [&] {
            bareLoop();
            output::verifyWorkbook(base, 1);
        },
        "ms; baseline bare libxlsxwriter loop, then the same check", "goal: ratio <= 1.10");
    bench.run(
        "  the check alone vs the bare loop", 3, [&] { output::verifyWorkbook(base, 1); }, bareLoop,
        "ms; baseline bare libxlsxwriter loop", "information: the price of parsing every part");
    unlink(ours.c_str());
    unlink(base.c_str());
    return 0;
}
