// Reads a workbook back with a real reader (openpyxl) for comparing cell by cell.
#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace faq::test {

struct Sheet {
    QString name;
    int maxRow = 0;
    QJsonArray rows;  // each a row of cells: ["s", text], ["n", number] or null
};

struct Workbook {
    int sheetCount = 0;
    std::vector<Sheet> sheets;
    QString error;
};

inline Workbook readXlsx(const QString& path, const QStringList& sheetIndexes = {}) {
    Workbook wb;
    QProcess p;
    // Debian's interpreter, where python3-openpyxl is installed.
    p.start(QStringLiteral("/usr/bin/python3"),
            QStringList{QStringLiteral(FAQ_SOURCE_DIR "/tests/support/read_xlsx.py"), path} + sheetIndexes);
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
        wb.error = QString::fromUtf8(p.readAllStandardError());
        return wb;
    }
    const QJsonObject root = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    wb.sheetCount = root.value(QStringLiteral("sheets")).toInt();
    for (const auto& s : root.value(QStringLiteral("data")).toArray()) {
        const QJsonObject o = s.toObject();
        wb.sheets.push_back({o.value(QStringLiteral("name")).toString(), o.value(QStringLiteral("max_row")).toInt(),
                             o.value(QStringLiteral("rows")).toArray()});
    }
    return wb;
}

}  // namespace faq::test
