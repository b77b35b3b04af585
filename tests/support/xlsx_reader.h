// Reads a workbook back with a real reader (openpyxl) for comparing cell by cell.
#pragma once

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QThread>

#include "unix_path.h"

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
#ifdef _WIN32
    // Under Wine the host's interpreter writes into a file, put in place whole when done:
    // neither its output nor its end comes back to QProcess.
    const QString json = path + QStringLiteral(".json");
    QFile::remove(json);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("FAQ_XLSX_JSON"), QString::fromStdString(unixPath(json.toStdString())));
    p.setProcessEnvironment(env);
#endif
    // Debian's interpreter, where python3-openpyxl is installed.
    p.start(QStringLiteral("/usr/bin/python3"),
            QStringList{QStringLiteral(FAQ_SOURCE_DIR "/tests/support/read_xlsx.py"),
                        QString::fromStdString(unixPath(path.toStdString()))} +
                sheetIndexes);
#ifdef _WIN32
    for (int waited = 0; !QFile::exists(json) && waited < 60000; waited += 20) QThread::msleep(20);
    QFile out(json);
    if (!out.open(QIODevice::ReadOnly)) {
        wb.error = QStringLiteral("read_xlsx.py wrote nothing for ") + path;
        return wb;
    }
    const QJsonObject root = QJsonDocument::fromJson(out.readAll()).object();
    out.close();
    out.remove();
#else
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
        wb.error = QString::fromUtf8(p.readAllStandardError());
        return wb;
    }
    const QJsonObject root = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
#endif
    wb.sheetCount = root.value(QStringLiteral("sheets")).toInt();
    for (const auto& s : root.value(QStringLiteral("data")).toArray()) {
        const QJsonObject o = s.toObject();
        wb.sheets.push_back({o.value(QStringLiteral("name")).toString(), o.value(QStringLiteral("max_row")).toInt(),
                             o.value(QStringLiteral("rows")).toArray()});
    }
    return wb;
}

}  // namespace faq::test
