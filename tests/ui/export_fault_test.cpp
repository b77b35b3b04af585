// The disk filling while a workbook is written: the export reports the failure and leaves
// no partial file. The limit is set in a child process so nothing else is affected.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>
#include <thread>
#include <vector>

#include "ui/workbook_export.h"

using namespace faq;

TEST(ExportFaults, DiskFullLeavesNothingAndIsReported) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("faquery-%1").arg(geteuid()));
    data::RecordsetBuilder b({{"名称", data::FieldType::Text}, {"原值", data::FieldType::Double}});
    for (int i = 0; i < 200000; ++i) {
        b.putText("数控车床 " + std::to_string(i));
        b.putDouble(i * 1.5);
    }
    auto rs = b.finish();
    int pipefd[2];
    ASSERT_EQ(pipe(pipefd), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipefd[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit lim{256 * 1024, 256 * 1024};  // the disk is "full" after 256 KiB per file
        setrlimit(RLIMIT_FSIZE, &lim);
        ui::WorkbookExporter ex;
        ex.tempRoot = dir.path();
        const ui::ExportOutcome out = ex.run(rs, {QStringLiteral("名称"), QStringLiteral("原值")});
        const QByteArray msg = out.message().toUtf8();
        (void)!write(pipefd[1], msg.constData(), static_cast<size_t>(msg.size()));
        _exit(out.kind == ui::ExportOutcome::Failed ? 0 : 1);
    }
    close(pipefd[1]);
    char buf[4096] = {};
    const ssize_t n = read(pipefd[0], buf, sizeof buf - 1);
    close(pipefd[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    const QString message = QString::fromUtf8(buf, static_cast<int>(std::max<ssize_t>(n, 0)));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << message.toStdString();
    EXPECT_TRUE(message.startsWith(QStringLiteral("输出失败："))) << message.toStdString();
    EXPECT_TRUE(QDir(folder).entryList(QDir::Files | QDir::Hidden).isEmpty())
        << QDir(folder).entryList(QDir::Files | QDir::Hidden).join(',').toStdString();
}

TEST(ExportFaults, ExportsAtOnceAndAnUnusableTmpdirNeverLoseAWorkbook) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    data::RecordsetBuilder b({{"名称", data::FieldType::Text}});
    for (int i = 0; i < 20000; ++i) b.putText("电脑 " + std::to_string(i));
    auto rs = b.finish();
    // Several exports in the same second into one folder: each takes a free name.
    constexpr int kExports = 4;
    std::vector<ui::ExportOutcome> outs(kExports);
    std::vector<std::thread> exports;
    for (int i = 0; i < kExports; ++i)
        exports.emplace_back([&, i] {
            ui::WorkbookExporter ex;
            ex.tempRoot = dir.path();
            outs[static_cast<size_t>(i)] = ex.write(rs, {QStringLiteral("名称")});
        });
    for (auto& t : exports) t.join();
    QStringList paths;
    for (const auto& out : outs) {
        EXPECT_EQ(out.kind, ui::ExportOutcome::SavedNotOpened) << out.message().toStdString();
        paths << out.path;
    }
    paths.removeDuplicates();
    EXPECT_EQ(paths.size(), kExports);
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("faquery-%1").arg(geteuid()))).entryList(QDir::Files).size(), kExports);

    // TMPDIR naming no folder: the system's /tmp, and the message says so.
    const QByteArray before = qgetenv("TMPDIR");
    qputenv("TMPDIR", "/nonexistent-faq-tmp");
    ui::WorkbookExporter fallback;
    qputenv("TMPDIR", before);
    EXPECT_EQ(fallback.tempRoot, QStringLiteral("/tmp"));
    const ui::ExportOutcome out = fallback.write(rs, {QStringLiteral("名称")});
    ASSERT_EQ(out.kind, ui::ExportOutcome::SavedNotOpened) << out.message().toStdString();
    EXPECT_TRUE(out.path.startsWith(QStringLiteral("/tmp/faquery-"))) << out.path.toStdString();
    EXPECT_TRUE(out.message().contains(QStringLiteral("/nonexistent-faq-tmp"))) << out.message().toStdString();
    QFile::remove(out.path);
    QDir().rmdir(QFileInfo(out.path).absolutePath());  // when nothing else is in it
}
