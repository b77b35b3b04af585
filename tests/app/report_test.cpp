// faquery report: arguments, exit codes and the three output formats.
#include "app/report.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/mdl_main.h"
#include "app/printed_summary.h"
#include "app/session.h"
#include "data/db_error.h"
#include "data/recordset.h"
#include "data/sql_dialect.h"
#include "export/sample_file.h"
#include "export/table_pages.h"
#include "export/text_table.h"
#include "query/money_format.h"
#include "query/period.h"
#include "support/long_names.h"
#include "support/odbc_env.h"
#include "support/pdf_text.h"
#include "support/xlsx_reader.h"

using namespace faq;

namespace {

struct Outcome {
    int code = -1;
    std::string out, err;
};

Outcome report(QStringList args, std::optional<std::string> envPassword = std::nullopt) {
    std::ostringstream out, err;
    app::ReportIo io{&out, &err, [envPassword] { return envPassword; },
                     [](app::InterruptGuard&) { return std::nullopt; }};
    std::vector<std::string> bytes;
    for (const QString& a : args) bytes.push_back(a.toStdString());
    Outcome r;
    r.code = app::runReport(bytes, io);
    r.out = out.str();
    r.err = err.str();
    return r;
}

QStringList demo(QStringList more = {}) {
    return QStringList{QStringLiteral("--demo"), QStringLiteral("--today"), QStringLiteral("2026-12-07"),
                       QStringLiteral("--from"), QStringLiteral("2018-01")} +
           more;
}

std::vector<std::string> lines(const std::string& text, const char* sep = "\n") {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t pos; (pos = text.find(sep, start)) != std::string::npos; start = pos + std::strlen(sep))
        out.push_back(text.substr(start, pos - start));
    return out;
}

TEST(Report, ArgumentsAndCriteriaErrorsExitWithTwo) {
    struct Case {
        QStringList args;
        const char* message;
    } cases[] = {
        {{}, "请给出"},
        {{"--demo", "--sqlite", "x.db"}, "请给出"},
        {{"--demo", "--format", "docx"}, "输出格式"},
        {{"--demo", "--format", "pdf"}, "pdf 格式需要 --output 文件"},
        {{"--demo", "--format", "xlsx"}, "--output"},
        {{"--demo", "--from", "2026-13"}, "期间输入不正确"},
        {{"--demo", "--to", "２０２６-01"}, "期间输入不正确"},
        {{"--demo", "--from", "202601"}, "期间输入不正确"},
        {{"--demo", "--today", "2026-02-30"}, "--today"},
        {{"--demo", "--today", "9999-12-01"}, "--today"},  // its as-of date would be 10000-01-01
        {{"--demo", "--today", "1700-01-01"}, "--today"},
        {{"--sqlite", ""}, "--sqlite 需要一个文件名"},
        {{"--demo", "--output"}, "需要一个值"},
        {{"--demo", "--dept", "99"}, "部门不存在"},
        {{"--demo", "--bogus"}, "bogus"},
        {{"--demo", "extra"}, "extra"},
        {{"--demo", "--group", "week"}, "--group 须为"},
        {{"--demo", "--group", "dept", "--subtotals"}, "--subtotals 只用于"},
        {{"--demo", "--subtotals"}, ""},  // the statement's own level has the department and more
        {{"--demo", "--chart"}, "--chart 只用于 pdf 格式"},
        {{"--demo", "--cards", "--group", "dept"}, "--cards 列出卡片"},
    };
    for (const auto& c : cases) {
        Outcome r = report(c.args);
        if (!*c.message) {
            EXPECT_EQ(r.code, 0) << c.args.join(' ').toStdString() << r.err;
            continue;
        }
        EXPECT_EQ(r.code, 2) << c.args.join(' ').toStdString();
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    for (const QStringList& secret :
         {QStringList{"--server", "x", "--password=hunter2-xyz"}, QStringList{"--server", "x", "-phunter2-xyz"},
          QStringList{"--pwd", "hunter2-xyz"}}) {
        Outcome pwd = report(secret);
        EXPECT_EQ(pwd.code, 2);
        EXPECT_NE(pwd.err.find("FAQUERY_PWD"), std::string::npos);
        EXPECT_EQ(pwd.err.find("hunter2-xyz"), std::string::npos);
    }
    // Values that merely begin with -p are values.
    EXPECT_EQ(report(demo({"--name", "-pump", "--format", "csv"})).code, 0);
    Outcome help = report({"--help"});
    EXPECT_EQ(help.code, 0);
    for (const char* opt :
         {"--demo",      "--sqlite", "--server", "--database", "--uid",       "--from",   "--to",
          "--dept",      "--name",   "--like",   "--today",    "--format",    "--output", "--show-sql",
          "FAQUERY_PWD", "退出码",   "--group",  "month-dept", "--subtotals", "--chart"})
        EXPECT_NE(help.out.find(opt), std::string::npos) << opt;
}

TEST(Report, ConnectionQueryAndOutputFailuresHaveTheirCodes) {
    const std::string dir = faq::test::tempPath("report-fail");
    std::filesystem::create_directories(dir);
    Outcome missing = report({"--sqlite", QString::fromStdString(dir + "/missing.db")});
    EXPECT_EQ(missing.code, 3);
    EXPECT_NE(missing.err.find("数据库连接失败："), std::string::npos) << missing.err;
    const Outcome folder = report({"--sqlite", QString::fromStdString(dir)});
    EXPECT_EQ(folder.code, 3);
    EXPECT_NE(folder.err.find("这是一个文件夹，不是数据库文件"), std::string::npos) << folder.err;
    // A database without the card tables: the connection works, the query does not.
    const std::string partial = dir + "/partial.db";
    std::filesystem::remove(partial);
    sqlite3* db = nullptr;
    sqlite3_open(partial.c_str(), &db);
    sqlite3_exec(db, "create table department(cDepCode text, cDepName text)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    Outcome noTable = report({"--sqlite", QString::fromStdString(partial), "--show-sql"});
    EXPECT_EQ(noTable.code, 4);
    EXPECT_NE(noTable.err.find("查询失败："), std::string::npos) << noTable.err;
    EXPECT_NE(noTable.err.find("不是账套数据库：缺少表 fa_"), std::string::npos) << noTable.err;
    EXPECT_NE(noTable.err.find("fa_"), std::string::npos);
    EXPECT_NE(noTable.err.find("      Select distinct "), std::string::npos);  // the statement that failed
    // A result past the memory a result may take: nothing written, exit 4.
    data::setResultMemoryLimit(128 << 10);
    const Outcome huge = report(demo({"--format", "csv"}));
    data::setResultMemoryLimit(0);
    EXPECT_EQ(huge.code, 4);
    EXPECT_TRUE(huge.out.empty());
    EXPECT_NE(huge.err.find("结果太大"), std::string::npos) << huge.err;
    Outcome unwritable = report(demo({"--output", "/nonexistent-dir/out.csv", "--format", "csv"}));
    EXPECT_EQ(unwritable.code, 5);
    EXPECT_NE(unwritable.err.find("输出失败："), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists("/nonexistent-dir"));
}

// The text a PDF holds, page by page (pdftotext, poppler-utils).
std::vector<std::string> pdfPages(const std::string& pdf) {
    const std::string txt = pdf + ".txt";
    EXPECT_EQ(std::system(("pdftotext -layout '" + pdf + "' '" + txt + "'").c_str()), 0);
    std::ifstream f(txt, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(f)), {});
    auto pages = lines(text, "\f");
    return pages;
}

// --group and --subtotals give the window's levels: the rows of the table are the view's,
// the workbook's 小计 and 合计 are formulas with the figures cached, and --chart puts the
// picture before the table in the PDF.
TEST(Report, TheLevelsOfTheWindowInEveryFormat) {
    Outcome table = report(demo({"--group", "year-dept", "--subtotals"}));
    ASSERT_EQ(table.code, 0) << table.err;
    const auto t = lines(table.out);
    ASSERT_GT(t.size(), 6u);
    EXPECT_TRUE(t[0].starts_with("使用部门")) << t[0];
    EXPECT_NE(t[0].find("开始使用年份"), std::string::npos);
    EXPECT_NE(t.back().find("合计:"), std::string::npos);
    // The 合计: the statement's own, as the detailed table ends.
    const auto detailed = lines(report(demo()).out);
    const auto figures = [](const std::string& line) { return line.substr(line.find("合计:") + 4); };
    const auto squeeze = [](std::string s) {
        std::erase(s, ' ');
        return s;
    };
    EXPECT_EQ(squeeze(figures(t.back())), squeeze(figures(detailed.back())));
    size_t subtotals = 0;
    for (const std::string& line : t) subtotals += line.find("小计") != std::string::npos;
    EXPECT_GT(subtotals, 5u);

    const std::string xlsx = faq::test::tempPath("levels.xlsx"), pdf = faq::test::tempPath("levels.pdf");
    std::filesystem::remove(xlsx);
    std::filesystem::remove(pdf);
    ASSERT_EQ(report(demo({"--group", "dept-name", "--subtotals", "--format", "xlsx", "--output",
                           QString::fromStdString(xlsx)}))
                  .code,
              0);
    QString error;
    const QJsonObject book = test::readSummaryXlsx(QString::fromStdString(xlsx), &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    const QJsonArray cells = book.value(QStringLiteral("cells")).toArray(),
                     again = book.value(QStringLiteral("recalculated")).toArray();
    ASSERT_GT(cells.size(), 10);
    const QJsonArray total = cells.last().toArray();
    EXPECT_EQ(total[1].toObject().value(QStringLiteral("v")).toString(), QStringLiteral("合计:"));
    EXPECT_TRUE(
        total[2].toObject().value(QStringLiteral("f")).toString().startsWith(QStringLiteral("=SUBTOTAL(9,C2:C")));
    EXPECT_NEAR(again.last().toArray()[2].toString().toDouble(),
                total[2].toObject().value(QStringLiteral("v")).toDouble(), 0.005);

    ASSERT_EQ(
        report(demo({"--group", "dept", "--chart", "--format", "pdf", "--output", QString::fromStdString(pdf)})).code,
        0);
    const QString text = test::pdfText(QString::fromStdString(pdf));
    EXPECT_TRUE(text.section(QLatin1Char('\f'), 0, 0).contains(QStringLiteral("固定资产原值图表")));
    EXPECT_TRUE(text.section(QLatin1Char('\f'), 1, 1).contains(QStringLiteral("固定资产汇总表（按部门）")));
}

TEST(Report, TableCsvXlsxAndPdfAgree) {
    Outcome table = report(demo({"--name", "电脑", "--like"}));
    ASSERT_EQ(table.code, 0) << table.err;
    const auto t = lines(table.out);
    ASSERT_GT(t.size(), 4u);
    EXPECT_EQ(t[0].substr(0, 18), "开始使用日期");
    // Aligned: every row as wide as the rule, counting CJK characters as two columns.
    for (size_t i = 2; i < t.size(); ++i) EXPECT_EQ(output::displayWidth(t[i]), output::displayWidth(t[1])) << t[i];
    EXPECT_NE(t.back().find("合计:"), std::string::npos);

    const std::string csvPath = faq::test::tempPath("report.csv");
    const std::string xlsxPath = faq::test::tempPath("report.xlsx");
    std::filesystem::remove(csvPath);
    std::filesystem::remove(xlsxPath);
    ASSERT_EQ(
        report(demo({"--name", "电脑", "--like", "--format", "csv", "--output", QString::fromStdString(csvPath)})).code,
        0);
    ASSERT_EQ(
        report(demo({"--name", "电脑", "--like", "--format", "xlsx", "--output", QString::fromStdString(xlsxPath)}))
            .code,
        0);
    std::ifstream f(csvPath, std::ios::binary);
    const std::string csv((std::istreambuf_iterator<char>(f)), {});
    ASSERT_TRUE(csv.starts_with("\xEF\xBB\xBF"));
    const auto c = lines(csv.substr(3), "\r\n");
    ASSERT_EQ(c.size(), t.size() - 1);  // no rule line
    EXPECT_EQ(c[0], "开始使用日期,使用部门,固定资产名称,原值,数量");
    auto wb = test::readXlsx(QString::fromStdString(xlsxPath));
    ASSERT_TRUE(wb.error.isEmpty()) << wb.error.toStdString();
    const QJsonArray rows = wb.sheets.at(0).rows;
    ASSERT_EQ(static_cast<size_t>(rows.size()), c.size());
    for (size_t i = 1; i < c.size(); ++i) {
        // CSV values are unformatted; the table shows 原值 formatted; the sheet holds numbers.
        const auto fields = lines(c[i] + ",", ",");
        ASSERT_EQ(fields.size(), 5u) << c[i];
        const QJsonArray row = rows[static_cast<int>(i)].toArray();
        EXPECT_EQ(row[2].toArray()[1].toString().toStdString(), fields[2]);
        // The CSV writes 15 significant digits, as a server's client shows a float.
        if (!fields[3].empty()) {
            EXPECT_EQ(output::numberText(row[3].toArray()[1].toDouble()), fields[3]);
        }
        EXPECT_EQ(row[4].toArray()[1].toInteger(), std::stoll(fields[4]));
        EXPECT_NE(t[i + 1].find(fields[2]), std::string::npos);
        if (!fields[3].empty()) {
            data::Value v;
            v.type = data::FieldType::Double;
            v.d = std::stod(fields[3]);
            EXPECT_NE(t[i + 1].find(query::formatMoney(v)), std::string::npos) << t[i + 1];
        }
    }

    // The PDF: the title and criteria on the first page, then every row of the table in its
    // order (its texts extract as Chinese), the 合计: row last, "第 N 页 共 M 页" on each
    // page. A few rows, about a thousand, and the cards behind them.
    for (const QStringList& criteria :
         {QStringList{"--name", "电脑", "--like"}, QStringList{"--from", "2018-01"}, QStringList{"--cards"}}) {
        const std::string pdfPath = faq::test::tempPath("report.pdf");
        std::filesystem::remove(pdfPath);
        const bool cards = criteria.contains("--cards");
        Outcome pdf =
            report(demo(criteria + QStringList{"--format", "pdf", "--output", QString::fromStdString(pdfPath)}));
        ASSERT_EQ(pdf.code, 0) << pdf.err;
        Outcome text = report(demo(criteria));
        const auto rowsShown = lines(text.out);
        const auto pages = pdfPages(pdfPath);
        ASSERT_GE(pages.size(), 1u);
        EXPECT_NE(pages[0].find(cards ? "固定资产卡片明细" : "固定资产汇总表"), std::string::npos);
        EXPECT_NE(pages[0].find("期间 2018-01-01 至 2026-12-31"), std::string::npos) << pages[0].substr(0, 400);
        EXPECT_NE(pages[0].find("示例数据库"), std::string::npos);
        std::string all;
        for (size_t p = 0; p < pages.size(); ++p) {
            const std::string footer = "第 " + std::to_string(p + 1) + " 页 共 " + std::to_string(pages.size()) + " 页";
            EXPECT_NE(pages[p].find(footer), std::string::npos) << footer;
            all += pages[p];
        }
        // Every row's cells, in order: the table's row, split at its blanks.
        size_t at = 0, found = 0, lastRow = 0;
        for (size_t i = 2; i < rowsShown.size(); ++i) {
            lastRow = at;
            std::istringstream cells(rowsShown[i]);
            for (std::string cell; cells >> cell;) {
                const size_t next = all.find(cell, at);
                ASSERT_NE(next, std::string::npos) << "row " << i << ": " << cell;
                at = next + cell.size();
            }
            ++found;
        }
        EXPECT_EQ(found + 2, rowsShown.size());
        if (!cards) {
            EXPECT_EQ(all.find("合计:", lastRow), all.rfind("合计:"));  // in the last row, and once
            EXPECT_NE(all.rfind("合计:"), std::string::npos);
        }
        const size_t perPage = (rowsShown.size() - 2) / pages.size();
        EXPECT_GT(perPage, 25u) << pages.size() << " pages";  // A4 at 9 pt: some forty rows a page
        EXPECT_LT(perPage, 60u) << pages.size() << " pages";
    }
}

// Names of 1,000, 4,000 and 40,000 characters, Chinese and Latin: the figures keep their
// width, the names wrap and go on over pages, and every row's 原值 and 数量 stand on one
// line with its date, the 合计: line too.
TEST(Report, APageNeverLosesAFigureToALongName) {
    const std::string db = faq::test::tempPath("report-long.db");
    test::writeLongNameSample(db);
    const QStringList all{"--sqlite",  QString::fromStdString(db), "--from", "1990-01", "--to", "2026-12", "--today",
                          "2026-12-07"};
    for (bool cards : {false, true}) {
        const QStringList args = cards ? all + QStringList{"--cards"} : all;
        const Outcome csv = report(args + QStringList{"--format", "csv"});
        ASSERT_EQ(csv.code, 0) << csv.err;
        const auto rows = lines(csv.out.substr(3), "\r\n");
        const std::string pdfPath = faq::test::tempPath("report-long.pdf");
        std::filesystem::remove(pdfPath);
        const Outcome pdf = report(args + QStringList{"--format", "pdf", "--output", QString::fromStdString(pdfPath)});
        ASSERT_EQ(pdf.code, 0) << pdf.err;
        const auto header = lines(rows[0] + ",", ",");
        const auto column = [&](const char* name) {
            return static_cast<size_t>(std::find(header.begin(), header.end(), name) - header.begin());
        };
        const size_t value = column("原值"), date = column("开始使用日期"), count = column("数量");
        ASSERT_LT(value, header.size());
        std::vector<test::PrintedFigures> figures;
        size_t longRows = 0;
        for (size_t i = 1; i < rows.size(); ++i) {
            const auto fields = lines(rows[i] + ",", ",");
            ASSERT_GE(fields.size(), header.size()) << rows[i].substr(0, 200);
            longRows +=
                std::any_of(fields.begin(), fields.end(), [](const std::string& f) { return f.size() >= 1000; });
            data::Value v;
            v.type = data::FieldType::Double;
            v.d = std::stod(fields[value]);
            figures.push_back({QString::fromStdString(fields[date].empty() ? "合计:" : fields[date]),
                               QString::fromStdString(query::formatMoney(v)).trimmed(),
                               count < fields.size() ? QString::fromStdString(fields[count]) : QString()});
        }
        EXPECT_EQ(longRows, test::longNames().size());
        const QString text = test::pdfText(QString::fromStdString(pdfPath));
        const int missing = test::firstRowWithoutItsFigures(text, figures);
        EXPECT_EQ(missing, -1) << (cards ? "cards " : "summary ") << "row " << missing << ": "
                               << figures[static_cast<size_t>(std::max(missing, 0))].lead.toStdString();
        EXPECT_GT(text.count(QLatin1Char('x')), 4000);  // the names too, line after line
    }
}

// The pages a preview shows while the rest are laid out on another thread: painted as they
// come (the sanitizers watch the sharing), and once whole the same pages as the PDF's, the
// long names wrapped and continued alike.
TEST(Report, PagesArePaintedWhileTheRestAreLaidOut) {
    const std::string db = faq::test::tempPath("report-pages.db");
    test::writeLongNameSample(db);
    app::Session session(data::embeddedConnector({db, true, 0, 0}));
    app::mdlMain mdlMain(session);
    query::CMvLogin p;
    query::fillDates(p, "1990", "1", "2026", "12", {2026, 12, 7});
    p.gsCZLike = "0";
    const auto rs = mdlMain.fetchList(p);
    const output::PrintedTable table = app::printedTable(*rs, false, {QStringLiteral("期间")}, app::printFont());
    auto cells = std::make_shared<const output::MeasuredTable>(table, 1200);
    output::TablePages pages(cells, cells->preferredLayout());
    std::atomic<bool> stop{false};
    std::thread layOut([&] { pages.layOut(&stop); });
    QImage sheet(QSize(400, 560), QImage::Format_RGB32);
    int painted = 0;
    for (bool whole = false; !whole;) {
        whole = pages.complete();
        for (int i = 0; i < pages.pagesReady(); ++i, ++painted) {
            sheet.fill(Qt::white);
            QPainter painter(&sheet);
            painter.scale(400.0 / 9921, 400.0 / 9921);
            pages.paintPage(painter, i);
        }
    }
    layOut.join();
    EXPECT_GT(painted, 0);
    const std::string pdfPath = faq::test::tempPath("report-pages.pdf");
    std::filesystem::remove(pdfPath);
    {
        output::AtomicFile file(pdfPath);
        EXPECT_EQ(output::writePdf(file, table), pages.pagesReady());
        file.commit();
    }
    EXPECT_EQ(test::pdfText(QString::fromStdString(pdfPath)).count(QLatin1Char('\f')), pages.pagesReady());
    // Stopped half way, the pages laid out so far stay and are not complete.
    output::TablePages stopped(cells, cells->preferredLayout());
    stop = true;
    EXPECT_THROW(stopped.layOut(&stop), output::OutputCancelled);
    EXPECT_FALSE(stopped.complete());
}

TEST(Report, TextsDatesAndSumsTheFileHoldsBrokenAreShownOrSaidNeverHidden) {
    const std::string db = faq::test::tempPath("report-bytes.db");
    std::filesystem::remove(db);
    output::writeSampleFile(db, {400, 9});
    sqlite3* h = nullptr;
    ASSERT_EQ(sqlite3_open(db.c_str(), &h), SQLITE_OK);
    data::registerSqlDialect(h);  // the sample's collations
    // GBK bytes for 电脑, and a name with a NUL inside, each on cards of their own.
    ASSERT_EQ(sqlite3_exec(
                  h,
                  "create table shown as select rowid r from fa_Cards c where dDisposeDate is null "
                  "and sCardID = (select max(sCardID) from fa_Cards d where d.sCardNum = c.sCardNum) "
                  "order by rowid limit 6;"
                  "update fa_Cards set sAssetName = cast(x'B5E7C4D4' as text) "
                  "where rowid = (select r from shown limit 1 offset 0);"
                  "update fa_Cards set sAssetName = cast(x'E794B5E88491004142' as text) "
                  "where rowid = (select r from shown limit 1 offset 1);"
                  "update fa_Cards set sAssetName = '电脑' where rowid = (select r from shown limit 1 offset 2);"
                  "update fa_Cards set dStartdate = '2024-13-45' where rowid = (select r from shown limit 1 offset 5);",
                  nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(h);
    const std::string xlsx = faq::test::tempPath("report-bytes.xlsx");
    std::filesystem::remove(xlsx);
    const QStringList all{"--sqlite",  QString::fromStdString(db), "--from", "1990-01", "--to", "2026-12", "--today",
                          "2026-12-07"};
    const Outcome ok = report(all + QStringList{"--format", "xlsx", "--output", QString::fromStdString(xlsx)});
    ASSERT_EQ(ok.code, 0) << ok.err;
    // A start date no reading takes leaves its card out of every period: said, with an example.
    EXPECT_NE(ok.err.find("有 1 张卡片的日期无法识别（例如“2024-13-45”）"), std::string::npos) << ok.err;
    const auto wb = test::readXlsx(QString::fromStdString(xlsx));
    ASSERT_TRUE(wb.error.isEmpty()) << wb.error.toStdString();
    QStringList names;
    for (const auto& row : wb.sheets.at(0).rows) names << row.toArray()[2].toArray()[1].toString();
    EXPECT_TRUE(names.contains(QStringLiteral("\uFFFD\uFFFD\uFFFD\uFFFD")));  // shown, never dropped
    EXPECT_TRUE(names.contains(QStringLiteral("电脑\u2400AB")));              // not cut, not merged with 电脑
    EXPECT_TRUE(names.contains(QStringLiteral("电脑")));

    // Two cards of 1e308 overflow the total.
    ASSERT_EQ(sqlite3_open(db.c_str(), &h), SQLITE_OK);
    data::registerSqlDialect(h);  // the sample's collations
    sqlite3_exec(h, "update fa_Cards set dblValue = 1e308 where rowid in (select r from shown limit 2 offset 3)",
                 nullptr, nullptr, nullptr);
    sqlite3_close(h);
    std::filesystem::remove(xlsx);
    const Outcome overflow = report(all + QStringList{"--format", "xlsx", "--output", QString::fromStdString(xlsx)});
    EXPECT_EQ(overflow.code, 4);
    EXPECT_NE(overflow.err.find("超出范围（溢出）"), std::string::npos) << overflow.err;
    EXPECT_FALSE(std::filesystem::exists(xlsx));
}

TEST(Report, DepartmentCodeActsAsTheChosenDepartment) {
    Outcome r = report(demo({"--dept", "03", "--show-sql", "--format", "csv"}));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find(" AND (fa_DeptScale.sDeptNum) Like  '03%'"), std::string::npos);
    for (const auto& row : lines(r.out.substr(3), "\r\n"))
        if (row.find("合计:") == std::string::npos && row.find("使用部门") == std::string::npos) {
            EXPECT_TRUE(row.find("生产部") != std::string::npos || row.find("车间") != std::string::npos) << row;
        }
}

TEST(Report, HostileNamesAnswerAndTheTableStaysPrintable) {
    const QString names[] = {
        "O'Neil 台式机", "'", "%", "_", "[", "   ", QString(10000, 'x'), "😀电脑𠀀", QStringLiteral("电\x1b[2J脑\x01")};
    for (const QString& n : names) {
        for (bool like : {false, true}) {
            QStringList args = demo({"--name", n, "--show-sql"});
            if (like) args << "--like";
            Outcome r = report(args);
            ASSERT_EQ(r.code, 0) << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\'') % 2, 0);
            EXPECT_NE(r.out.find("合计:"), std::string::npos);
            for (char ch : r.out) EXPECT_FALSE((ch > 0 && ch < 0x20 && ch != '\n') || ch == 0x7f) << int(ch);
        }
    }
    Outcome quoted = report(demo({"--name", "O'Neil 台式机", "--format", "csv"}));
    EXPECT_NE(quoted.out.find("O'Neil 台式机"), std::string::npos);
}

TEST(Report, ConnectFailuresSayTheirCauseInChineseAndNeverThePassword) {
    faq::test::registerSqlServerDriver(FAQ_TDS_ODBC_DRIVER);
    // Nothing listens on this port: the driver reports the connection failure.
    Outcome r = report({"--server", "127.0.0.1,1", "--database", "db", "--uid", "sa", "--show-sql"},
                       std::string("Pa55-word-XYZ"));
    EXPECT_EQ(r.code, 3);
    EXPECT_NE(r.err.find("数据库连接失败：无法连接到数据库服务器：请检查“数据库地址”"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("[FreeTDS]"), std::string::npos) << r.err;  // the driver's words follow
    EXPECT_EQ(r.err.find("Pa55-word-XYZ"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("Pa55-word-XYZ"), std::string::npos);
    // The table, with the records Microsoft's drivers give on Windows.
    struct Case {
        std::vector<data::DiagRecord> records;
        const char* lead;
    } cases[] = {
        {{{"28000", 18456, "[Microsoft][ODBC SQL Server Driver][SQL Server]用户 'sa' 登录失败。"}},
         "用户名或密码不正确"},
        {{{"42000", 4060, "[Microsoft][ODBC Driver 17 for SQL Server][SQL Server]Cannot open database \"x\""},
          {"28000", 18456, "Login failed for user 'sa'."}},
         "无法打开这个数据库"},
        {{{"42000", 4060, "[Microsoft][ODBC Driver 17 for SQL Server][SQL Server]Cannot open database \"x\""}},
         "无法打开这个数据库"},
        {{{"08001", 17, "[Microsoft][ODBC SQL Server Driver][DBNETLIB]SQL Server does not exist or access denied."}},
         "无法连接到数据库服务器"},
        {{{"08001", 11001, "[Microsoft][ODBC Driver 17 for SQL Server]TCP Provider: No such host is known."}},
         "无法连接到数据库服务器"},
        {{{"HYT00", 0, "[Microsoft][ODBC Driver 17 for SQL Server]Login timeout expired"}},
         "服务器在 15 秒内没有回应登录"},
        {{{"08001", -2146893019,
           "[Microsoft][ODBC Driver 18 for SQL Server]SSL Provider: The certificate chain was issued by an authority "
           "that is not trusted."}},
         "连接到了服务器，但没能建立连接"},
        {{{"28000", 18486,
           "[Microsoft][ODBC Driver 17 for SQL Server][SQL Server]Login failed for user 'sa' because the account is "
           "currently locked out. The system administrator can unlock it."}},
         "这个登录名已被服务器锁定"},
        {{{"28000", 18488,
           "[Microsoft][ODBC SQL Server Driver][SQL Server]用户 'sa' 登录失败。原因: 必须更改该帐户的密码。"}},
         "这个登录名的密码已过期或必须修改"},
        {{{"28000", 18487,
           "[FreeTDS][SQL Server]Login failed for user 'sa'. Reason: The password of the account "
           "has expired."}},
         "这个登录名的密码已过期或必须修改"},
        {{{"08001", 101, "FATAL:  role \"fa_reader\" does not exist"}}, "用户名或密码不正确"},
        {{{"08001", 101, "FATAL:  database \"ufdata_404\" does not exist"}}, "无法打开这个数据库"},
        {{{"HY000", 14, "unable to open database file"}}, ""},  // nothing known: the driver's words alone
    };
    for (const auto& c : cases) {
        const data::DbError e("连接数据库失败", c.records, data::Failure::Connect);
        const std::string said = app::Session().failureMessage(e);
        EXPECT_EQ(said.find(std::string("数据库连接失败：") + c.lead), 0u) << said;
        EXPECT_NE(said.find(c.records.front().message), std::string::npos) << said;
    }
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);  // PDF pages need fonts
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
