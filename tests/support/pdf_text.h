// The text of a PDF as a second, independent reader finds it: poppler's pdftotext, the pages
// separated by form feeds.
#pragma once

#include <QFile>
#include <QProcess>
#include <QString>
#include <QThread>

#include "unix_path.h"

namespace faq::test {

inline QString pdfText(const QString& pdf) {
#ifdef _WIN32
    // Under Wine the host's program neither hands back its output nor its end: it writes a
    // file, renamed into place when whole.
    const QString out = pdf + QStringLiteral(".txt");
    QFile::remove(out);
    QProcess p;
    p.start(QStringLiteral("/bin/sh"),
            {QStringLiteral("-c"), QStringLiteral("pdftotext -layout \"$1\" \"$2.part\" && mv \"$2.part\" \"$2\""),
             QStringLiteral("sh"), QString::fromStdString(unixPath(pdf.toStdString())),
             QString::fromStdString(unixPath(out.toStdString()))});
    for (int waited = 0; !QFile::exists(out) && waited < 60000; waited += 20) QThread::msleep(20);
    QFile f(out);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QString text = QString::fromUtf8(f.readAll());
    f.close();
    f.remove();
    return text;
#else
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) return {};
    return QString::fromUtf8(p.readAllStandardOutput());
#endif
}

}  // namespace faq::test
