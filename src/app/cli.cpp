#include "cli.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstdio>

#include "data/connection.h"
#include "data/db_error.h"
#include "data/sample_db.h"
#include "data/sqlite_connection.h"

namespace faq::app {

namespace {

void printErr(const QString& text) {
    std::fputs((text + QLatin1Char('\n')).toUtf8().constData(), stderr);
    std::fflush(stderr);
}

const char* const kCommands =
    "固定资产查询：连接 SQL Server 上的账套数据库，按开始使用日期、部门和资产名称汇总在用的固定资产卡片。\n"
    "\n"
    "命令：\n"
    "  faquery [--demo | --sqlite 文件]        打开窗口（先显示数据库设置）\n"
    "  faquery report [选项]                   在命令行输出汇总（faquery report --help 查看选项）\n"
    "  faquery sample-db 文件 [--cards N] [--seed S]\n"
    "                                          写出一个示例数据库文件\n"
    "\n"
    "不带 --demo 或 --sqlite 时，通过名为 \"sql server\" 的 ODBC 驱动程序连接数据库。";

}  // namespace

void applyEngine(const EngineChoice& choice) {
    if (choice.demo) {
        data::setConnector(data::embeddedConnector({"", true, kDemoCards, kDemoSeed}));
    } else if (!choice.sqliteFile.isEmpty()) {
        data::setConnector(data::embeddedConnector({QFile::encodeName(choice.sqliteFile).toStdString(), true, 0, 0}));
    } else {
        data::setConnector(nullptr);
    }
}

void installChineseQtTexts() {
    static QTranslator translator;
    if (translator.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&translator);
}

std::optional<int> parseGuiArguments(const QStringList& arguments, EngineChoice* choice) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kCommands));
    parser.addHelpOption();
    QCommandLineOption demo(QStringLiteral("demo"), QStringLiteral("使用内存中生成的示例数据库（不写任何文件）"));
    QCommandLineOption sqlite(QStringLiteral("sqlite"), QStringLiteral("使用 SQLite 数据库文件（只读打开）"),
                              QStringLiteral("文件"));
    parser.addOption(demo);
    parser.addOption(sqlite);
    if (!parser.parse(arguments)) {
        printErr(parser.errorText());
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs((parser.helpText() + QLatin1Char('\n')).toUtf8().constData(), stdout);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        printErr(QStringLiteral("不认识的参数：") + parser.positionalArguments().join(QLatin1Char(' ')));
        return 2;
    }
    if (parser.isSet(demo) && parser.isSet(sqlite)) {
        printErr(QStringLiteral("--demo 和 --sqlite 只能选一个"));
        return 2;
    }
    choice->demo = parser.isSet(demo);
    choice->sqliteFile = parser.value(sqlite);
    return std::nullopt;
}

int runSampleDb(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("写出一个示例账套数据库（SQLite 文件），内容由种子和卡片数确定。"));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("文件"), QStringLiteral("要写出的数据库文件（不能已存在）"));
    QCommandLineOption cards(QStringLiteral("cards"), QStringLiteral("卡片数（默认 500）"), QStringLiteral("N"),
                             QString::number(kDemoCards));
    QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("随机种子（默认 20261207）"), QStringLiteral("S"),
                            QString::number(kDemoSeed));
    parser.addOption(cards);
    parser.addOption(seed);
    QStringList args = arguments;
    if (args.size() > 1) args.removeAt(1);  // "sample-db"
    if (!parser.parse(args)) {
        printErr(parser.errorText());
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(parser.helpText().toUtf8().constData(), stdout);
        return 0;
    }
    if (parser.positionalArguments().size() != 1) {
        printErr(QStringLiteral("请给出一个文件名：faquery sample-db 文件 [--cards N] [--seed S]"));
        return 2;
    }
    bool okCards = false, okSeed = false;
    const int n = parser.value(cards).toInt(&okCards);
    const qulonglong s = parser.value(seed).toULongLong(&okSeed);
    if (!okCards || n < 1 || n > 1000000 || !okSeed || s == 0) {
        printErr(QStringLiteral("--cards 须为 1 到 1000000 之间的整数，--seed 须为正整数"));
        return 2;
    }
    const QString file = parser.positionalArguments().front();
    try {
        data::writeSampleFile(QFile::encodeName(file).toStdString(), {n, s});
    } catch (const data::DbError& e) {
        printErr(QString::fromUtf8(e.what()));
        return 5;
    }
    std::printf("%s\n", QStringLiteral("已写出示例数据库：%1（%2 张卡片，种子 %3）").arg(file).arg(n).arg(s).toUtf8().constData());
    return 0;
}

}  // namespace faq::app
