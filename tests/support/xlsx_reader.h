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

// Runs one of the tests' Python readers on path (and more arguments) and parses the JSON it
// prints; error says why there is none.
inline QJsonObject runReader(const char* script, const QString& path, const QStringList& more, QString* error) {
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
            QStringList{QStringLiteral(FAQ_SOURCE_DIR "/tests/support/") + QString::fromLatin1(script),
                        QString::fromStdString(unixPath(path.toStdString()))} +
                more);
#ifdef _WIN32
    for (int waited = 0; !QFile::exists(json) && waited < 600000; waited += 20) QThread::msleep(20);
    QFile out(json);
    if (!out.open(QIODevice::ReadOnly)) {
        *error = QString::fromLatin1(script) + QStringLiteral(" wrote nothing for ") + path;
        return {};
    }
    const QJsonObject root = QJsonDocument::fromJson(out.readAll()).object();
    out.close();
    out.remove();
    return root;
#else
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
        *error = QString::fromUtf8(p.readAllStandardError());
        return {};
    }
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
#endif
}

inline Workbook readXlsx(const QString& path, const QStringList& sheetIndexes = {}) {
    Workbook wb;
    const QJsonObject root = runReader("read_xlsx.py", path, sheetIndexes, &wb.error);
    if (!wb.error.isEmpty()) return wb;
    wb.sheetCount = root.value(QStringLiteral("sheets")).toInt();
    for (const auto& s : root.value(QStringLiteral("data")).toArray()) {
        const QJsonObject o = s.toObject();
        wb.sheets.push_back({o.value(QStringLiteral("name")).toString(), o.value(QStringLiteral("max_row")).toInt(),
                             o.value(QStringLiteral("rows")).toArray()});
    }
    return wb;
}

// A summary workbook (summary_xlsx.py): "cells" (each {v, f, fmt, b}), "widths", and
// "recalculated", the rows as LibreOffice calculates them.
inline QJsonObject readSummaryXlsx(const QString& path, QString* error) {
    return runReader("summary_xlsx.py", path, {}, error);
}

}  // namespace faq::test
