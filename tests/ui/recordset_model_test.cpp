// The grid's model over a recordset passes Qt's own model checks through binding,
// formatting, rebinding and unbinding.
#include "ui/recordset_model.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>

#include "data/recordset.h"

using namespace faq;

TEST(RecordsetModel, PassesQtsModelChecksThroughItsLife) {
    ui::RecordsetModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.setColumns({{QString(), -1, {}}, {QString(), -1, {}}});
    data::RecordsetBuilder b({{"名称", data::FieldType::Text}, {"原值", data::FieldType::Double}});
    for (int i = 0; i < 50; ++i) {
        b.putText("电脑 " + std::to_string(i));
        i % 7 ? b.putDouble(i * 1.5) : b.putNull();
    }
    auto rs = b.finish();
    model.setRecordset(rs, true);
    EXPECT_EQ(model.rowCount(), 50);
    EXPECT_EQ(model.columnCount(), 2);
    model.setColumnFormat(1, [](const data::Value& v) { return v.isNull() ? std::string() : v.toString() + " 元"; });
    EXPECT_EQ(model.text(1, 1), QStringLiteral("1.5 元"));
    model.setRecordset(data::RecordsetBuilder({{"空", data::FieldType::Text}}).finish(), true);
    EXPECT_EQ(model.rowCount(), 0);
    model.setRecordset(nullptr, false);
    EXPECT_EQ(model.rowCount(), 0);
}
