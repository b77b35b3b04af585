#include "report.h"

#include <QCommandLineParser>
#include <QFile>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "cli.h"
#include "clock.h"
#include "data/db_error.h"
#include "data/workbook.h"
#include "mdl_main.h"
#include "query/money_format.h"
#include "query/period.h"
#include "text_table.h"

namespace faq::app {

namespace {

const char* const kDescription =
    "faquery report：在命令行输出固定资产汇总（与查询窗口相同的条件、语句和结果）。\n"
    "\n"
    "数据库：--demo、--sqlite 文件，或 --server/--database/--uid 连接名为 \"sql server\" 的 ODBC 驱动程序；\n"
    "密码取自环境变量 FAQUERY_PWD，未设置且标准输入是终端时提示输入（不回显），从不作为参数给出。\n"
    "\n"
    "退出码：0 完成；2 参数或条件不正确；3 数据库连接失败；4 查询失败；5 输出失败。";

// "YYYY-MM" into its year and month texts.
bool splitPeriod(const QString& text, std::string* year, std::string* month) {
    const QStringList parts = text.split(QLatin1Char('-'));
    if (parts.size() != 2) return false;
    *year = parts[0].toStdString();
    *month = parts[1].toStdString();
    return true;
}

std::optional<query::CivilDate> parseDay(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('-'));
    if (parts.size() != 3 || parts[0].size() != 4 || !query::isValidDate(text.toStdString())) return std::nullopt;
    return query::CivilDate{parts[0].toInt(), parts[1].toInt(), parts[2].toInt()};
}

// Writes through a temporary file renamed into place when complete.
bool writeFile(const std::string& path, const std::function<void(const std::string& tmp)>& write, std::string* error) {
    const std::string tmp = path + ".part-" + std::to_string(getpid());
    try {
        write(tmp);
        std::filesystem::rename(tmp, path);
        return true;
    } catch (const std::exception& e) {
        std::error_code ec;
        std::filesystem::remove(tmp, ec);
        *error = e.what();
        return false;
    }
}

void writeStream(const std::string& tmp, const std::function<void(std::ostream&)>& body) {
    std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
    if (!f) throw std::runtime_error("无法创建文件 " + tmp + "：" + std::strerror(errno));
    body(f);
    f.flush();
    if (!f) throw std::runtime_error("写入文件失败：" + std::string(std::strerror(errno)));
    f.close();
    if (!f) throw std::runtime_error("写入文件失败：" + std::string(std::strerror(errno)));
}

}  // namespace

ReportIo standardReportIo() {
    ReportIo io;
    io.out = &std::cout;
    io.err = &std::cerr;
    io.passwordFromEnvironment = []() -> std::optional<std::string> {
        const char* p = std::getenv("FAQUERY_PWD");
        if (!p) return std::nullopt;
        return std::string(p);
    };
    io.askPassword = []() -> std::optional<std::string> {
        if (!isatty(STDIN_FILENO)) return std::nullopt;
        termios old{};
        tcgetattr(STDIN_FILENO, &old);
        termios quiet = old;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        std::fputs("密码：", stderr);
        std::fflush(stderr);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        std::string pwd;
        std::getline(std::cin, pwd);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
        std::fputs("\n", stderr);
        return pwd;
    };
    return io;
}

int runReport(const QStringList& arguments, const ReportIo& io) {
    std::ostream& err = *io.err;
    auto fail = [&](int code, const QString& message) {
        err << message.toStdString() << std::endl;
        return code;
    };
    QStringList args = arguments;
    if (args.size() > 1) args.removeAt(1);  // "report"
    // A password never travels as an argument; say so without repeating it.
    for (const QString& a : args)
        if (a.startsWith(QStringLiteral("--pwd")) || a.startsWith(QStringLiteral("--password")) ||
            a.startsWith(QStringLiteral("-p")))
            return fail(kReportBadArguments, QStringLiteral("密码不能作为参数给出，请使用环境变量 FAQUERY_PWD"));

    QCommandLineParser p;
    p.setApplicationDescription(QString::fromUtf8(kDescription));
    p.addHelpOption();
    const QCommandLineOption demo(QStringLiteral("demo"), QStringLiteral("使用内存中生成的示例数据库"));
    const QCommandLineOption sqlite(QStringLiteral("sqlite"), QStringLiteral("使用 SQLite 数据库文件"), QStringLiteral("文件"));
    const QCommandLineOption server(QStringLiteral("server"), QStringLiteral("数据库地址（如 host 或 host,1433）"),
                                    QStringLiteral("地址"));
    const QCommandLineOption database(QStringLiteral("database"), QStringLiteral("数据库名（默认 ufdata_001_）"),
                                      QStringLiteral("数据库名"), QStringLiteral("ufdata_001_"));
    const QCommandLineOption uid(QStringLiteral("uid"), QStringLiteral("用户名（默认 sa）"), QStringLiteral("用户名"),
                                 QStringLiteral("sa"));
    const QCommandLineOption from(QStringLiteral("from"), QStringLiteral("期间开始年月（默认今年 1 月）"),
                                  QStringLiteral("YYYY-MM"));
    const QCommandLineOption to(QStringLiteral("to"), QStringLiteral("期间结束年月（默认今年 12 月）"), QStringLiteral("YYYY-MM"));
    const QCommandLineOption dept(QStringLiteral("dept"), QStringLiteral("部门编码（含下级部门）"), QStringLiteral("编码"));
    const QCommandLineOption name(QStringLiteral("name"), QStringLiteral("固定资产名称"), QStringLiteral("名称"));
    const QCommandLineOption like(QStringLiteral("like"), QStringLiteral("名称模糊查询（包含即可）"));
    const QCommandLineOption today(QStringLiteral("today"), QStringLiteral("当天日期，决定截止日期（默认系统日期）"),
                                   QStringLiteral("YYYY-MM-DD"));
    const QCommandLineOption format(QStringLiteral("format"), QStringLiteral("输出格式 table、csv 或 xlsx（默认 table）"),
                                    QStringLiteral("格式"), QStringLiteral("table"));
    const QCommandLineOption output(QStringLiteral("output"), QStringLiteral("输出文件（默认标准输出；xlsx 必须指定）"),
                                    QStringLiteral("文件"));
    const QCommandLineOption showSql(QStringLiteral("show-sql"), QStringLiteral("把发送的语句写到标准错误"));
    p.addOptions({demo, sqlite, server, database, uid, from, to, dept, name, like, today, format, output, showSql});
    if (!p.parse(args)) return fail(kReportBadArguments, p.errorText());
    if (p.isSet(QStringLiteral("help"))) {
        *io.out << p.helpText().toStdString() << std::endl;
        return kReportOk;
    }
    if (!p.positionalArguments().isEmpty())
        return fail(kReportBadArguments, QStringLiteral("不认识的参数：") + p.positionalArguments().join(QLatin1Char(' ')));
    const int sources = (p.isSet(demo) ? 1 : 0) + (p.isSet(sqlite) ? 1 : 0) + (p.isSet(server) ? 1 : 0);
    if (sources != 1) return fail(kReportBadArguments, QStringLiteral("请给出 --demo、--sqlite 文件 或 --server 地址 中的一个"));
    const QString fmt = p.value(format);
    if (fmt != QStringLiteral("table") && fmt != QStringLiteral("csv") && fmt != QStringLiteral("xlsx"))
        return fail(kReportBadArguments, QStringLiteral("输出格式须为 table、csv 或 xlsx"));
    if (fmt == QStringLiteral("xlsx") && !p.isSet(output))
        return fail(kReportBadArguments, QStringLiteral("xlsx 格式需要 --output 文件"));

    // Criteria, checked before anything connects.
    query::CivilDate day = app::today();
    if (p.isSet(today)) {
        auto parsed = parseDay(p.value(today));
        if (!parsed) return fail(kReportBadArguments, QStringLiteral("--today 须为有效日期 YYYY-MM-DD"));
        day = *parsed;
    }
    const std::string thisYear = std::to_string(day.year);
    std::string begYear = thisYear, begMonth = "1", endYear = thisYear, endMonth = "12";
    if ((p.isSet(from) && !splitPeriod(p.value(from), &begYear, &begMonth)) ||
        (p.isSet(to) && !splitPeriod(p.value(to), &endYear, &endMonth)))
        return fail(kReportBadArguments, QString::fromUtf8(query::kBadPeriodMessage));
    query::CMvLogin criteria;
    if (auto bad = query::fillDates(criteria, begYear, begMonth, endYear, endMonth, day))
        return fail(kReportBadArguments, QString::fromStdString(*bad));
    criteria.gsCZLike = p.isSet(like) ? "1" : "0";
    criteria.strZcID = p.value(name).toStdString();

    EngineChoice engine;
    engine.demo = p.isSet(demo);
    engine.sqliteFile = p.value(sqlite);
    applyEngine(engine);
    mdlMain::gsServer = p.value(server).toStdString();
    mdlMain::gsDatabase = p.value(database).toStdString();
    mdlMain::gsUid = p.value(uid).toStdString();
    mdlMain::gsPwd.clear();
    if (p.isSet(server)) {
        auto pwd = io.passwordFromEnvironment ? io.passwordFromEnvironment() : std::nullopt;
        if (!pwd && io.askPassword) pwd = io.askPassword();
        mdlMain::gsPwd = pwd.value_or("");
    }

    auto dbFailure = [&](const data::DbError& e) {
        const bool connected = mdlMain::connectionOpen();
        return fail(connected ? kReportQueryFailed : kReportConnectFailed,
                    (connected ? QStringLiteral("查询失败：") : QStringLiteral("数据库连接失败：")) + QString::fromUtf8(e.what()));
    };
    if (p.isSet(dept)) {
        // As if the department with this code had been chosen in the box.
        const std::string code = p.value(dept).toStdString();
        try {
            auto list = mdlMain::fetchDeptList(&criteria);
            const int codeField = list->fieldIndex("cDepCode"), nameField = list->fieldIndex("cDepName");
            bool found = false;
            for (size_t r = 0; r < list->recordCount() && !found; ++r) {
                if (list->value(r, static_cast<size_t>(codeField)).toString() != code) continue;
                found = true;
                criteria.strDeptID = code;
                criteria.strDeptName =
                    QString::fromStdString(list->value(r, static_cast<size_t>(nameField)).toString()).trimmed().toStdString();
            }
            if (!found) return fail(kReportBadArguments, QStringLiteral("部门不存在"));
        } catch (const data::DbError& e) {
            return dbFailure(e);
        }
    }

    data::RecordsetPtr rs;
    try {
        rs = mdlMain::fetchList(criteria);
    } catch (const data::DbError& e) {
        if (p.isSet(showSql) && !criteria.strSql.empty()) err << criteria.strSql << std::endl;
        return dbFailure(e);
    }
    if (p.isSet(showSql)) err << criteria.strSql << std::endl;

    std::vector<std::function<std::string(const data::Value&)>> formats(rs->fieldCount());
    const int value = rs->fieldIndex("原值");
    if (value >= 0) formats[static_cast<size_t>(value)] = [](const data::Value& v) { return query::formatMoney(v); };
    auto body = [&](std::ostream& o) {
        if (fmt == QStringLiteral("csv")) writeCsv(o, *rs);
        else writeTable(o, *rs, formats);
    };
    std::string error;
    if (!p.isSet(output)) {
        body(*io.out);
        io.out->flush();
        if (!*io.out) return fail(kReportOutputFailed, QStringLiteral("输出失败：无法写入标准输出"));
        return kReportOk;
    }
    const std::string path = QFile::encodeName(p.value(output)).toStdString();
    const bool ok = writeFile(
        path,
        [&](const std::string& tmp) {
            if (fmt == QStringLiteral("xlsx")) {
                std::vector<std::string> captions;
                for (size_t c = 0; c < rs->fieldCount(); ++c) captions.push_back(rs->field(c).name);
                const auto dir = std::filesystem::path(path).parent_path();
                data::writeWorkbook(tmp, captions, *rs, 0, dir.empty() ? std::string(".") : dir.string());
            } else {
                writeStream(tmp, body);
            }
        },
        &error);
    if (!ok) return fail(kReportOutputFailed, QStringLiteral("输出失败：") + QString::fromStdString(error));
    return kReportOk;
}

}  // namespace faq::app
