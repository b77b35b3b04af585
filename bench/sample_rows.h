// A million rows shaped like the summary: a date text, a department, an asset name, a
// value and a count.
#pragma once

#include <cstdio>

#include "data/recordset.h"

namespace faq::bench {

inline data::RecordsetPtr summaryShapedRows(int rows) {
    data::RecordsetBuilder b({{"开始使用日期", data::FieldType::Text},
                              {"使用部门", data::FieldType::Text},
                              {"固定资产名称", data::FieldType::Text},
                              {"原值", data::FieldType::Double},
                              {"数量", data::FieldType::Integer}});
    const char* depts[] = {"办公室", "一车间", "华东销售处", "信息中心"};
    const char* names[] = {"台式电脑", "电脑桌", "数控车床", "空调机组", "小轿车"};
    for (int i = 0; i < rows; ++i) {
        char date[16];
        std::snprintf(date, sizeof date, "%04d.%02d.%02d", 1990 + i % 37, 1 + i % 12, 1 + i % 28);
        b.putText(date);
        b.putText(depts[i % 4]);
        b.putText(names[i % 5]);
        b.putDouble(i * 1.25 + 0.01);
        b.putInt(i % 7);
    }
    return b.finish();
}

}  // namespace faq::bench
