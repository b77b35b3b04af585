#include "workbook_export.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include "data/db_error.h"
#include "data/workbook.h"

namespace faq::ui {

QString ExportOutcome::message() const {
    switch (kind) {
        case NoData: return QStringLiteral("没有可输出的数据");
        case Failed: return QStringLiteral("输出失败：") + error;
        case Opened: return QStringLiteral("输出成功!");
        case SavedNotOpened: return QStringLiteral("工作簿已保存：") + QDir::toNativeSeparators(path);
    }
    return {};
}

WorkbookExporter::WorkbookExporter()
    : folder(QDir(QDir::tempPath()).filePath(QStringLiteral("faquery"))),
      opener([](const QString& path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); }),
      now([] { return QDateTime::currentDateTime(); }) {}

QString WorkbookExporter::newFileName() const {
    const QString stem = QStringLiteral("固定资产查询_") + now().toString(QStringLiteral("yyyyMMdd_HHmmss"));
    QDir dir(folder);
    QString name = stem + QStringLiteral(".xlsx");
    for (int n = 1; dir.exists(name); ++n) name = stem + QStringLiteral("_%1.xlsx").arg(n);
    return dir.filePath(name);
}

ExportOutcome WorkbookExporter::run(const data::RecordsetPtr& rs, const QStringList& captions) const {
    ExportOutcome out;
    if (!rs) return out;
    if (!QDir().mkpath(folder)) {
        out.kind = ExportOutcome::Failed;
        out.error = QStringLiteral("无法创建文件夹 ") + QDir::toNativeSeparators(folder);
        return out;
    }
    const QString path = newFileName();
    // Written under a temporary name and renamed into place only when complete.
    const QString part = QFileInfo(path).dir().filePath(QStringLiteral(".") + QFileInfo(path).fileName() + QStringLiteral(".part"));
    std::vector<std::string> heads;
    for (const QString& c : captions) heads.push_back(c.toStdString());
    const size_t first = rs->bof() ? 0 : static_cast<size_t>(rs->position());
    try {
        data::writeWorkbook(QFile::encodeName(part).toStdString(), heads, *rs, first,
                            QFile::encodeName(folder).toStdString());
    } catch (const data::DbError& e) {
        QFile::remove(part);
        out.kind = ExportOutcome::Failed;
        out.error = QString::fromUtf8(e.what());
        return out;
    }
    if (!QFile::rename(part, path)) {
        QFile::remove(part);
        out.kind = ExportOutcome::Failed;
        out.error = QStringLiteral("无法保存文件 ") + QDir::toNativeSeparators(path);
        return out;
    }
    out.path = path;
    out.kind = opener && opener(path) ? ExportOutcome::Opened : ExportOutcome::SavedNotOpened;
    return out;
}

}  // namespace faq::ui
