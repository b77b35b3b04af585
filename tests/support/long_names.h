// A sample file whose cards carry names of 1,000, 4,000 and 40,000 characters, Chinese and
// Latin (the 4,000 Latin ones without a blank to wrap at), and the check that a PDF of it
// kept every figure.
#pragma once

#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <string>
#include <vector>

#include "data/sqlite_connection.h"
#include "export/sample_file.h"

namespace faq::test {

inline std::vector<std::string> longNames() {
    std::vector<std::string> out;
    for (size_t n : {1000u, 4000u, 40000u}) {
        std::string zh, latin;
        for (size_t i = 0; i < n; ++i) zh += i % 7 == 6 ? "机" : "设";
        for (size_t i = 0; i < n; ++i) latin += i % 9 == 8 ? ' ' : static_cast<char>('a' + i % 26);
        out.push_back(zh);
        out.push_back(n == 4000 ? std::string(n, 'x') : latin);
    }
    return out;
}

// Every third card in service, from the first on, takes one of the long names.
inline void writeLongNameSample(const std::string& path) {
    std::filesystem::remove(path);
    output::writeSampleFile(path, {120, 4});
    data::SqliteConnection db(data::EmbeddedSource{path, false});
    const auto names = longNames();
    for (size_t i = 0; i < names.size(); ++i)
        db.execute("update fa_Cards set sAssetName = '" + names[i] +
                       "' where rowid = (select rowid from fa_Cards c where dDisposeDate is null and sCardID = "
                       "(select max(sCardID) from fa_Cards d where d.sCardNum = c.sCardNum) order by rowid limit 1 "
                       "offset " +
                       std::to_string(i * 3) + ")",
                   30);
}

struct PrintedFigures {
    QString lead;   // the row's date, or 合计:
    QString value;  // 原值 as printed
    QString count;  // 数量; empty in the card list
};

// The first row (of rows, in their order) whose figures do not stand on one line of the
// PDF's text (pdftotext -layout) after its lead; -1 when every row's do.
inline int firstRowWithoutItsFigures(const QString& pdfText, const std::vector<PrintedFigures>& rows) {
    const QStringList text = pdfText.split(QRegularExpression(QStringLiteral("[\n\f]")));
    qsizetype at = 0;
    for (size_t r = 0; r < rows.size(); ++r) {
        const PrintedFigures& f = rows[r];
        for (;; ++at) {
            if (at >= text.size()) return static_cast<int>(r);
            const QString& l = text[at];
            const qsizetype a = l.indexOf(f.lead);
            const qsizetype b = a < 0 ? -1 : l.indexOf(f.value, a + f.lead.size());
            if (b >= 0 && (f.count.isEmpty() || l.indexOf(QLatin1Char(' ') + f.count, b + f.value.size()) >= 0)) break;
        }
        ++at;
    }
    return -1;
}

}  // namespace faq::test
