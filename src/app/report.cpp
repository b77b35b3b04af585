#include "report.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include <QGuiApplication>
#include <QString>
#include <iostream>
#include <new>
#include <system_error>

#include "export/atomic_file.h"
#include "export/quiet_library.h"
#include "export/summary_workbook.h"
#include "export/text_table.h"
#include "export/workbook.h"
#include "interrupt.h"
#include "mdl_main.h"
#include "options.h"
#include "printed_summary.h"
#include "query/money_format.h"
#include "query/period.h"
#include "query/sql_text.h"
#include "query/summary_view.h"
#include "session.h"
#include "terminal_text.h"

namespace faq::app {

namespace {

const char* const kHelp =
    "用法：faquery report (--demo | --sqlite 文件 | --server 地址) [选项]\n"
    "\n"
    "在命令行输出固定资产汇总（与查询窗口相同的条件、语句和结果）。\n"
    "\n"
    "数据库：\n"
    "  --demo                使用内存中生成的示例数据库\n"
    "  --sqlite 文件         使用 SQLite 数据库文件（只读打开）\n"
    "  --server 地址         通过名为 \"sql server\" 的 ODBC 驱动程序连接（如 host 或 host,1433）\n"
    "  --database 数据库名   默认 ufdata_001_\n"
    "  --uid 用户名          默认 sa\n"
    "  --driver 名称         通过这个名字注册的 ODBC 驱动程序连接（默认 \"sql server\"）\n"
    "  密码取自环境变量 FAQUERY_PWD；未设置且标准输入是终端时提示输入（不回显）；从不作为参数给出。\n"
    "\n"
    "条件：\n"
    "  --from YYYY-MM        期间开始年月（默认今年 1 月）\n"
    "  --to YYYY-MM          期间结束年月（默认今年 12 月）\n"
    "  --dept 编码           部门编码（含下级部门）\n"
    "  --name 名称           固定资产名称\n"
    "  --like                名称模糊查询（包含即可）\n"
    "  --today YYYY-MM-DD    当天日期，决定截止日期（默认系统日期）\n"
    "  --cards               不汇总，列出汇总所计的每一张卡片（与查询窗口“明细”相同）\n"
    "\n"
    "汇总方式（与查询窗口“汇总方式”相同，由同一条语句的结果相加，不另发语句）：\n"
    "  --group 方式          date-dept-name（默认：按日期、部门、资产）、dept-name（按部门、资产）、\n"
    "                        dept（按部门）、name（按资产名称）、month-dept（按月份、部门）、\n"
    "                        year-dept（按年份、部门）\n"
    "  --subtotals           每个部门之后加一行小计（汇总方式须含部门和另一项）；xlsx 中小计和合计为\n"
    "                        SUBTOTAL 公式\n"
    "  --chart               pdf 的第一页为图表（原值按部门、按开始使用年份）\n"
    "\n"
    "输出：\n"
    "  --format 格式         table、csv、xlsx 或 pdf（默认 table；pdf 为可打印的汇总表，A4）\n"
    "  --output 文件         输出文件（默认标准输出；xlsx、pdf 必须指定）；先写临时文件，完成后才替换\n"
    "                        写到终端时用终端的编码；写入管道或重定向时为 UTF-8，Windows 的 | more、\n"
    "                        findstr 和 PowerShell 的 > 读不懂它：请用 --output（UTF-8 带 BOM）\n"
    "  --show-sql            把发送的语句写到标准错误\n"
    "  -h, --help            显示本帮助\n"
    "\n"
    "退出码：0 完成；2 参数或条件不正确；3 数据库连接失败；4 查询失败或数据库被锁定；5 输出失败；\n"
    "130 已取消（Ctrl-C）；143 已取消（SIGTERM，例如计划任务停止了它）。\n";

enum class Format { Table, Csv, Xlsx, Pdf };

// What the arguments ask for, checked before anything connects.
struct Request {
    EngineChoice engine;
    data::ConnParams params;
    bool askPassword = false;
    query::CivilDate today;
    query::CMvLogin criteria;
    std::optional<std::string> dept;
    Format format = Format::Table;
    std::optional<std::string> output;
    bool showSql = false;
    bool cards = false;  // the cards behind the summary instead of it
    query::Grouping grouping = query::Grouping::DateDeptName;
    bool subtotals = false;
    bool chart = false;  // the PDF's first page is the result's picture
};

struct Exit {
    int code;
    std::string message;  // for standard error; empty: nothing to say
};

const std::vector<OptionDef>& reportOptions() {
    static const std::vector<OptionDef> known = {
        {"demo"},
        {"sqlite", OptionDef::Value},
        {"server", OptionDef::Value},
        {"database", OptionDef::Value},
        {"uid", OptionDef::Value},
        {"user", OptionDef::Value},  // the same, by the name a shortcut of the windows may use
        {"driver", OptionDef::Value},
        {"from", OptionDef::Value},
        {"to", OptionDef::Value},
        {"dept", OptionDef::Value},
        {"name", OptionDef::Value},
        {"like"},
        {"today", OptionDef::Value},
        {"format", OptionDef::Value},
        {"output", OptionDef::Value},
        {"show-sql"},
        {"cards"},
        {"group", OptionDef::Value},
        {"subtotals"},
        {"chart"},
        {"help", OptionDef::Flag, 'h'},
        // Recognised only to refuse them without repeating what follows.
        {"pwd", OptionDef::OptionalValue},
        {"password", OptionDef::OptionalValue, 'p'},
    };
    return known;
}

// "YYYY-MM" into its year and month texts.
bool splitPeriod(const std::string& text, std::string* year, std::string* month) {
    const size_t dash = text.find('-');
    if (dash == std::string::npos || text.find('-', dash + 1) != std::string::npos) return false;
    *year = text.substr(0, dash);
    *month = text.substr(dash + 1);
    return true;
}

// --today: a real date from 1753 on, whose as-of date (a month later) stays within 9999.
std::optional<query::CivilDate> parseToday(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-' || !query::isValidDate(text)) return std::nullopt;
    const query::CivilDate d{std::stoi(text.substr(0, 4)), std::stoi(text.substr(5, 2)), std::stoi(text.substr(8, 2))};
    if (d.year < 1753 || (d.year == 9999 && d.month == 12)) return std::nullopt;
    return d;
}

std::variant<Request, Exit> readRequest(const ParsedOptions& p, const Clock& systemClock) {
    auto bad = [](std::string message) { return Exit{kReportBadArguments, std::move(message)}; };
    if (p.error) return bad(*p.error + "（faquery report --help 查看用法）");
    if (!p.positional.empty()) return bad("不认识的参数：" + p.positional.front());
    const int sources = p.has("demo") + p.has("sqlite") + p.has("server");
    if (sources != 1) return bad("请给出 --demo、--sqlite 文件 或 --server 地址 中的一个");
    if (p.has("sqlite") && p.value("sqlite").empty()) return bad("--sqlite 需要一个文件名");
    if (p.has("output") && p.value("output").empty()) return bad("--output 需要一个文件名");

    Request r;
    const std::string fmt = p.value("format", "table");
    if (fmt == "table")
        r.format = Format::Table;
    else if (fmt == "csv")
        r.format = Format::Csv;
    else if (fmt == "xlsx")
        r.format = Format::Xlsx;
    else if (fmt == "pdf")
        r.format = Format::Pdf;
    else
        return bad("输出格式须为 table、csv、xlsx 或 pdf");
    if (r.format == Format::Xlsx && !p.has("output")) return bad("xlsx 格式需要 --output 文件");
    if (r.format == Format::Pdf && !p.has("output")) return bad("pdf 格式需要 --output 文件");
    if (p.has("output")) r.output = p.value("output");
    r.showSql = p.has("show-sql");
    r.cards = p.has("cards");
    if (p.has("group")) {
        auto g = query::groupingFromOption(p.value("group"));
        if (!g) return bad("--group 须为 date-dept-name、dept-name、dept、name、month-dept 或 year-dept");
        r.grouping = *g;
    }
    r.subtotals = p.has("subtotals");
    r.chart = p.has("chart");
    if (r.cards && (p.has("group") || r.subtotals || r.chart))
        return bad("--cards 列出卡片，不与 --group、--subtotals 或 --chart 同用");
    if (r.subtotals && !query::subtotalsApply(r.grouping))
        return bad("--subtotals 只用于含部门和另一项的汇总方式（date-dept-name、dept-name、month-dept、year-dept）");
    if (r.chart && r.format != Format::Pdf) return bad("--chart 只用于 pdf 格式");

    r.today = systemClock();
    if (p.has("today")) {
        auto day = parseToday(p.value("today"));
        if (!day) return bad("--today 不正确：须为 1753-01-01 到 9999-11-30 之间的有效日期（YYYY-MM-DD）");
        r.today = *day;
    }
    const std::string thisYear = std::to_string(r.today.year);
    std::string begYear = thisYear, begMonth = "1", endYear = thisYear, endMonth = "12";
    if ((p.has("from") && !splitPeriod(p.value("from"), &begYear, &begMonth)) ||
        (p.has("to") && !splitPeriod(p.value("to"), &endYear, &endMonth)))
        return bad(query::kBadPeriodMessage);
    if (auto message = query::fillDates(r.criteria, begYear, begMonth, endYear, endMonth, r.today))
        return bad(*message);
    r.criteria.gsCZLike = p.has("like") ? "1" : "0";
    r.criteria.strZcID = p.value("name");
    if (p.has("dept")) r.dept = p.value("dept");

    r.engine.demo = p.has("demo");
    r.engine.sqliteFile = p.value("sqlite");
    if (p.has("driver")) {
        if (!data::isDriverName(p.value("driver"))) return bad("--driver 需要一个驱动程序的名称（不含 { 和 }）");
        r.engine.driver = p.value("driver");
    }
    r.params = {p.value("server"), p.value("database", "ufdata_001_"), p.value("user", p.value("uid", "sa")), ""};
    r.askPassword = p.has("server");
    return r;
}

// As if the department with this code had been chosen in the department box.
std::optional<Exit> chooseDepartment(mdlMain& m, query::CMvLogin& criteria, const std::string& code) {
    auto list = m.fetchDeptList(&criteria);
    const int codeField = list->fieldIndex("cDepCode"), nameField = list->fieldIndex("cDepName");
    for (size_t r = 0; r < list->recordCount(); ++r) {
        if (list->value(r, static_cast<size_t>(codeField)).toString() != code) continue;
        criteria.strDeptID = code;
        const std::string name = list->value(r, static_cast<size_t>(nameField)).toString();
        criteria.strDeptName = QString::fromStdString(name).trimmed().toStdString();
        return std::nullopt;
    }
    return Exit{kReportBadArguments, "部门不存在"};
}

// Fonts and painting need a GUI application, which a report has not; it needs no display
// (on Linux, Qt's offscreen platform). Made once, it lives until the process ends.
void ensureGuiApplication() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return;
    if (QCoreApplication::instance()) throw output::OutputError("程序内部错误：没有图形应用程序，无法排版 PDF");
    static int argc = 1;
    static char name[] = "faquery";
    static char* argv[] = {name, nullptr};
#ifndef _WIN32
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    (void)app;
}

void writeText(std::ostream& out, const data::Recordset& rs, Format format, bool terminal) {
    if (format == Format::Csv) {
        output::writeCsv(out, rs, terminal);
        return;
    }
    std::vector<std::function<std::string(const data::Value&)>> formats(rs.fieldCount());
    const int value = rs.fieldIndex("原值");
    if (value >= 0) formats[static_cast<size_t>(value)] = [](const data::Value& v) { return query::formatMoney(v); };
    output::writeTable(out, rs, formats);
}

std::optional<Exit> writeResult(const Request& r, const data::RecordsetPtr& result, const ReportIo& io) {
    std::optional<query::SummaryView> view;
    if (!r.cards) view = query::summaryView(result, r.grouping, r.subtotals);
    const data::Recordset& rs = view ? *view->rows : *result;
    if (!r.output) {
        writeText(*io.out, rs, r.format, io.outIsTerminal);
        io.out->flush();
        if (!*io.out) return Exit{kReportOutputFailed, "输出失败：无法写入标准输出"};
        return std::nullopt;
    }
    try {
        // Never over the database being read, whatever name reaches it.
        output::AtomicFile file(*r.output, {.mayReplace = true, .keepIntact = {r.engine.sqliteFile}});
        if (r.format == Format::Xlsx && view && !view->plain()) {
            output::writeSummaryWorkbook(file, summarySheet(*view));
        } else if (r.format == Format::Xlsx) {
            std::vector<std::string> captions;
            for (size_t c = 0; c < rs.fieldCount(); ++c) captions.push_back(rs.field(c).name);
            output::writeWorkbook(file, captions, rs);
        } else if (r.format == Format::Pdf) {
            const output::QuietLibrary quiet;  // fontconfig's lines, and Qt's before its handler is set
            ensureGuiApplication();
            const QStringList lines =
                printedLines(r.criteria, sourceText(r.engine, r.params), QDateTime::currentDateTime());
            output::PrintedTable table =
                view ? printedTable(*view, lines, printFont()) : printedTable(rs, r.cards, lines, printFont());
            if (r.chart)
                table.chart = std::make_shared<output::ChartPicture>(chartPicture(query::chartData(result), lines));
            output::writePdf(file, table);
        } else {
            output::AtomicFileStream text(file);
            writeText(text, rs, r.format, false);
            text.flush();
        }
        file.commit();
    } catch (const output::OutputError& e) {
        return Exit{kReportOutputFailed, std::string("输出失败：") + e.what()};
    }
    return std::nullopt;
}

// A statement cancelled by a signal ends as the signal would have: 130 for Ctrl-C, 143 for
// SIGTERM (a scheduler's stop).
Exit failure(const Session& session, const data::DbError& e, const InterruptGuard& interrupts) {
    const int code = e.failure() == data::Failure::Cancelled
                         ? (interrupts.cancelSignal() ? 128 + interrupts.cancelSignal() : kReportCancelled)
                     : e.failure() == data::Failure::Connect ? kReportConnectFailed
                                                             : kReportQueryFailed;
    return {code, session.failureMessage(e)};
}

// Connects, runs the summary and writes it.
Exit run(Request& r, const ReportIo& io, InterruptGuard& interrupts) {
    const query::CivilDate day = r.today;
    Session session(connectorFor(r.engine), [day] { return day; });
    mdlMain m(session);
    m.gsServer = r.params.server;
    m.gsDatabase = r.params.database;
    m.gsUid = r.params.uid;
    if (r.askPassword) {
        auto pwd = io.passwordFromEnvironment ? io.passwordFromEnvironment() : std::nullopt;
        if (!pwd && io.askPassword) pwd = io.askPassword(interrupts);
        m.gsPwd = pwd.value_or("");
    }
    interrupts.setCanceller([&session] { return session.cancel(); });
    data::RecordsetPtr rs;
    try {
        if (r.dept)
            if (auto bad = chooseDepartment(m, r.criteria, *r.dept)) return *bad;
        if (r.cards) {
            r.criteria.strSql = query::cardListSql(r.criteria, std::nullopt);
            rs = m.fetchCards(r.criteria, std::nullopt);
        } else {
            rs = m.fetchList(r.criteria);
        }
    } catch (const data::DbError& e) {
        interrupts.setCanceller(nullptr);
        if (r.showSql && !r.criteria.strSql.empty()) *io.err << r.criteria.strSql << '\n';
        return failure(session, e, interrupts);
    }
    interrupts.setCanceller(nullptr);
    if (r.showSql) *io.err << r.criteria.strSql << '\n';
    if (auto bad = writeResult(r, rs, io)) return *bad;
    if (!rs->notice.empty()) *io.err << rs->notice << std::endl;
    return {kReportOk, {}};
}

}  // namespace

ReportIo standardReportIo() {
    ReportIo io;
#ifdef _WIN32
    io.outIsTerminal = _isatty(_fileno(stdout));
    // The bytes as written: CSV ends its lines with CR LF itself, and a table or CSV sent
    // into a file is the same as on any other system (text mode would add a CR to each).
    if (!io.outIsTerminal) _setmode(_fileno(stdout), _O_BINARY);
#else
    io.outIsTerminal = isatty(STDOUT_FILENO);
#endif
    // Messages in the terminal's encoding; the result too when it goes to the terminal
    // (into a pipe or a file it stays UTF-8).
    io.out = io.outIsTerminal ? &terminalStream(std::cout, 1) : &std::cout;
    io.err = &terminalStream(std::cerr, 2);
    io.passwordFromEnvironment = []() -> std::optional<std::string> {
        const char* p = std::getenv("FAQUERY_PWD");
        if (!p) return std::nullopt;
        return std::string(p);
    };
    io.askPassword = [](InterruptGuard& interrupts) -> std::optional<std::string> {
        if (!InterruptGuard::inputIsTerminal()) return std::nullopt;
        interrupts.echo(false);  // an interrupt while typing brings the echo back
        writeTerminal(2, "密码：");
        std::string pwd = readTerminalLine().value_or("");
        interrupts.echo(true);
        writeTerminal(2, "\n");
        return pwd;
    };
    return io;
}

// While it lives, Qt's own messages (QStandardPaths on a machine without XDG_RUNTIME_DIR,
// font and platform warnings) are not written: a report's stderr holds its own words.
class QtQuiet {
public:
    QtQuiet() : mPrevious(qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {})) {}
    ~QtQuiet() { qInstallMessageHandler(mPrevious); }
    QtQuiet(const QtQuiet&) = delete;
    QtQuiet& operator=(const QtQuiet&) = delete;

private:
    QtMessageHandler mPrevious;
};

int runReport(const std::vector<std::string>& args, const ReportIo& io) {
    const ParsedOptions p = parseOptions(args, reportOptions());
    // A password never travels as an argument; say so without repeating it.
    if (p.has("pwd") || p.has("password")) {
        *io.err << "密码不能作为参数给出，请使用环境变量 FAQUERY_PWD" << std::endl;
        return kReportBadArguments;
    }
    if (p.has("help")) {
        *io.out << kHelp;
        io.out->flush();
        if (!*io.out) {
            *io.err << "无法写出到标准输出" << std::endl;
            return kReportOutputFailed;
        }
        return kReportOk;
    }
    auto request = readRequest(p, systemToday);
    Exit exit{kReportOk, {}};
    if (auto* bad = std::get_if<Exit>(&request)) {
        exit = *bad;
    } else {
        try {
            InterruptGuard interrupts;  // only once there is something to interrupt
            const QtQuiet quiet;
            exit = run(std::get<Request>(request), io, interrupts);
        } catch (const std::bad_alloc&) {
            exit = {kReportQueryFailed, data::kOutOfMemory};  // a temporary file went with the unwinding
        } catch (const std::system_error& e) {
            exit = {kReportQueryFailed, "系统资源不足，无法执行（" + e.code().message() + "）"};
        }
    }
    if (!exit.message.empty()) *io.err << exit.message << std::endl;
    return exit.code;
}

}  // namespace faq::app
