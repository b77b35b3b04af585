// A million five-column rows to a workbook: the export against a bare libxlsxwriter loop
// writing the same cells.
#include <unistd.h>
#include <xlsxwriter.h>

#include <cstdio>

#include "bench_util.h"
#include "data/workbook.h"

using namespace faq;
using namespace faq::bench;

int main() {
    constexpr int kRows = 1000000;
    data::RecordsetBuilder b({{"开始使用日期", data::FieldType::Text}, {"使用部门", data::FieldType::Text},
                              {"固定资产名称", data::FieldType::Text}, {"原值", data::FieldType::Double},
                              {"数量", data::FieldType::Integer}});
    // The baseline's cells, prepared beforehand: NUL-terminated texts and numbers.
    std::vector<std::string> texts;
    std::vector<double> values;
    const char* depts[] = {"办公室", "一车间", "华东销售处", "信息中心"};
    const char* names[] = {"台式电脑", "电脑桌", "数控车床", "空调机组", "小轿车"};
    for (int i = 0; i < kRows; ++i) {
        char date[16];
        std::snprintf(date, sizeof date, "%04d.%02d.%02d", 1990 + i % 37, 1 + i % 12, 1 + i % 28);
        b.putText(date);
        b.putText(depts[i % 4]);
        b.putText(names[i % 5]);
        b.putDouble(i * 1.25 + 0.01);
        b.putInt(i % 7);
        texts.emplace_back(date);
        texts.emplace_back(depts[i % 4]);
        texts.emplace_back(names[i % 5]);
        values.push_back(i * 1.25 + 0.01);
        values.push_back(i % 7);
    }
    auto rs = b.finish();
    const std::vector<std::string> captions = {"开始使用日期", "使用部门", "固定资产名称", "原值", "数量"};
    const std::string dir = benchDir();
    const std::string ours = dir + "/export-ours.xlsx", base = dir + "/export-base.xlsx";
    auto [o, bl] = compare(
        3, [&] { data::writeWorkbook(ours, captions, *rs, 0, dir); },
        [&] {
            lxw_workbook_options opt{};
            opt.constant_memory = LXW_TRUE;
            opt.tmpdir = const_cast<char*>(dir.c_str());
            lxw_workbook* wb = workbook_new_opt(base.c_str(), &opt);
            lxw_worksheet* ws = workbook_add_worksheet(wb, nullptr);
            for (int c = 0; c < 5; ++c) worksheet_write_string(ws, 0, static_cast<lxw_col_t>(c), captions[static_cast<size_t>(c)].c_str(), nullptr);
            for (int r = 0; r < kRows; ++r) {
                for (int c = 0; c < 3; ++c)
                    worksheet_write_string(ws, static_cast<lxw_row_t>(r + 1), static_cast<lxw_col_t>(c),
                                           texts[static_cast<size_t>(r) * 3 + static_cast<size_t>(c)].c_str(), nullptr);
                worksheet_write_number(ws, static_cast<lxw_row_t>(r + 1), 3, values[static_cast<size_t>(r) * 2], nullptr);
                worksheet_write_number(ws, static_cast<lxw_row_t>(r + 1), 4, values[static_cast<size_t>(r) * 2 + 1], nullptr);
            }
            workbook_close(wb);
        });
    report("export 1M rows to xlsx", o, bl, "ms; baseline bare libxlsxwriter loop", "goal: ratio <= 1.15");
    unlink(ours.c_str());
    unlink(base.c_str());
    return 0;
}
