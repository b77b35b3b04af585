#include "workbook_export.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#ifdef Q_OS_WIN
#include <shlwapi.h>
#include <windows.h>
#endif

#include "export/private_folder.h"
#include "export/workbook.h"

namespace faq::ui {

QString ExportOutcome::message() const {
    switch (kind) {
        case Failed: return QStringLiteral("输出失败：") + error;
        case Cancelled: return QStringLiteral("输出已取消");
        case Opened:
            return QStringLiteral(
                       "输出成功!\n表格程序打开的是一个新的、尚未保存的工作簿：保存时它会询问保存到哪里。\n"
                       "写出的文件在系统的临时文件夹（会被系统清空）：") +
                   QDir::toNativeSeparators(path) + note;
        case SavedNotOpened:
            return QStringLiteral("工作簿已保存：") + QDir::toNativeSeparators(path) + note +
                   QStringLiteral("\n这是系统的临时文件夹，系统会不时清空它：请把工作簿另存到别处。");
    }
    return {};
}

std::string fileNameBytes(const QString& name) {
#ifdef Q_OS_WIN
    return name.toStdString();
#else
    return QFile::encodeName(name).toStdString();
#endif
}

namespace {

QString fileNameOf(const std::string& bytes) {
#ifdef Q_OS_WIN
    return QString::fromStdString(bytes);
#else
    return QFile::decodeName(bytes.c_str());
#endif
}

}  // namespace

namespace {

#ifdef Q_OS_LINUX
// Whether xdg-mime names the desktop's default program for a type. QDesktopServices reports
// success as soon as xdg-open starts, found program or not.
bool xdgDefaultKnown(const QString& mimeType) {
    QProcess p;
    p.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), mimeType});
    constexpr int kXdgMimeTimeoutMs = 5000;  // it answers at once; a hung one must not hold the window
    if (!p.waitForFinished(kXdgMimeTimeoutMs) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        p.kill();
        return false;
    }
    return !p.readAllStandardOutput().trimmed().isEmpty();
}
#endif

}  // namespace

bool folderProgramKnown() {
#ifdef Q_OS_LINUX
    return xdgDefaultKnown(QStringLiteral("inode/directory"));
#else
    return true;  // Explorer
#endif
}

bool spreadsheetProgramKnown() {
#ifdef Q_OS_LINUX
    return xdgDefaultKnown(QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.template"));
#elif defined(Q_OS_WIN)
    // The shell opens a file with the program registered for its extension, if any.
    DWORD chars = 0;
    const HRESULT hr =
        AssocQueryStringW(ASSOCF_INIT_IGNOREUNKNOWN, ASSOCSTR_EXECUTABLE, L".xltx", nullptr, nullptr, &chars);
    return (hr == S_OK || hr == S_FALSE) && chars > 1;
#else
    return true;
#endif
}

WorkbookExporter::WorkbookExporter() : tempRoot(QDir::tempPath()) {
#ifndef Q_OS_WIN
    const QString asked = qEnvironmentVariable("TMPDIR");
    const QFileInfo folder(asked);
    if (!asked.isEmpty() && !(folder.isAbsolute() && folder.isDir() && folder.isWritable())) {
        tempRoot = QStringLiteral("/tmp");
        tempNote = QStringLiteral("（TMPDIR 所指的 %1 不是可用的文件夹，工作簿改存在 /tmp 下）").arg(asked);
    }
#endif
}

QString WorkbookExporter::newFileName(const QString& folder, const QString& what) const {
    const QString stem =
        what + QLatin1Char('_') + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmmss"));
    QDir dir(folder);
    QString name = stem + QStringLiteral(".xltx");
    for (int n = 1; dir.exists(name); ++n) name = stem + QStringLiteral("_%1.xltx").arg(n);
    return dir.filePath(name);
}

ExportOutcome WorkbookExporter::run(const data::RecordsetPtr& rs, const QStringList& captions) const {
    return open(write(rs, captions));
}

ExportOutcome WorkbookExporter::write(const data::RecordsetPtr& rs, const QStringList& captions,
                                      const std::atomic<bool>* stop, output::WriteProgress* progress,
                                      const QString& stem, const output::TrailingRow* trailer) const {
    const data::Recordset nothing({});  // before the first query: the header row alone
    std::vector<std::string> heads;
    for (const QString& c : captions) heads.push_back(c.toStdString());
    return writeNew(stem, [&](output::AtomicFile& file) {
        output::writeWorkbook(file, heads, rs ? *rs : nothing, stop, progress, output::WorkbookForm::Template, trailer);
    });
}

ExportOutcome WorkbookExporter::writeSummary(const output::SummarySheet& sheet, const std::atomic<bool>* stop,
                                             output::WriteProgress* progress, const QString& stem) const {
    return writeNew(stem, [&](output::AtomicFile& file) {
        output::writeSummaryWorkbook(file, sheet, stop, progress, output::WorkbookForm::Template);
    });
}

ExportOutcome WorkbookExporter::writeNew(const QString& stem,
                                         const std::function<void(output::AtomicFile&)>& into) const {
    ExportOutcome out;
    try {
        const std::string folder = output::privateTempFolder(fileNameBytes(tempRoot));
        // Another export (another instance, the same second) may take the name first: the
        // next free one is taken then, and the workbook is never lost.
        constexpr int kAttempts = 20;
        for (int attempt = 1;; ++attempt) {
            out.path = newFileName(fileNameOf(folder), stem);
            try {
                // A template: the spreadsheet program opens it as a new, untitled workbook,
                // whose Save asks where, and this file stays as written.
                output::AtomicFile file(fileNameBytes(out.path), {.mayReplace = false, .keepIntact = {}});
                into(file);
                file.commit();
                break;
            } catch (const output::TargetExists&) {
                if (attempt == kAttempts) throw;
            }
        }
        out.kind = ExportOutcome::SavedNotOpened;
        out.note = tempNote;
        out.programKnown = spreadsheetProgramKnown();
    } catch (const output::OutputCancelled&) {
        out.kind = ExportOutcome::Cancelled;
    } catch (const output::OutputError& e) {
        out.kind = ExportOutcome::Failed;
        out.error = QString::fromUtf8(e.what());
    }
    if (out.kind != ExportOutcome::SavedNotOpened) out.path.clear();
    return out;
}

ExportOutcome WorkbookExporter::open(ExportOutcome written) const {
    if (written.kind == ExportOutcome::SavedNotOpened && written.programKnown &&
        QDesktopServices::openUrl(QUrl::fromLocalFile(written.path)))
        written.kind = ExportOutcome::Opened;
    return written;
}

}  // namespace faq::ui
