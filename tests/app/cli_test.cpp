// The faquery binary as a user runs it: without a display, interrupted, with file names
// that are not UTF-8.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <iconv.h>
#include <pty.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <thread>

#include "data/sql_dialect.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int code = -1;  // exit code, or 128 + signal
    std::string out, err;
};

std::string slurpFd(int fd) {
    std::string s;
    char buf[4096];
    for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) s.append(buf, static_cast<size_t>(n));
    return s;
}

// In a child: becomes build/src/faquery with args.
[[noreturn]] void execFaquery(const std::vector<std::string>& args) {
    std::vector<std::string> store{FAQ_BINARY_DIR "/src/faquery"};
    store.insert(store.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : store) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
}

// Runs build/src/faquery with args, no display and no Qt platform set; sends signal
// `interrupt` after `afterMs` milliseconds when given; limits `resource` (RLIMIT_AS …) to
// `limit` when given. With display, it runs on that X display in a session of its own, with
// no terminal, as a desktop entry starts it.
Outcome faquery(const std::vector<std::string>& args, int interrupt = 0, int afterMs = 0, int resource = -1,
                rlim_t limit = 0, const std::function<void(pid_t)>& beforeInterrupt = {},
                const std::string& display = {}) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) unsetenv(v);
        if (!display.empty()) {
            setsid();
            setenv("DISPLAY", display.c_str(), 1);
            const int null = open("/dev/null", O_RDONLY);
            dup2(null, 0);
        }
        if (resource >= 0) {
            const rlimit l{limit, limit};
            setrlimit(resource, &l);
        }
        execFaquery(args);
    }
    close(out[1]);
    close(err[1]);
    if (interrupt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(afterMs));
        if (beforeInterrupt) beforeInterrupt(pid);
        kill(pid, interrupt);
    }
    Outcome r;
    std::thread errReader([&] { r.err = slurpFd(err[0]); });
    r.out = slurpFd(out[0]);
    errReader.join();
    close(out[0]);
    close(err[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

// Runs build/src/faquery with args on a terminal of its own (a pty), sending `interrupt`
// after `afterMs` milliseconds; everything it wrote there.
std::string onTerminal(const std::vector<std::string>& args, int interrupt = 0, int afterMs = 0) {
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        execFaquery(args);
    }
    std::thread interrupter;
    if (interrupt)
        interrupter = std::thread([pid, interrupt, afterMs] {
            std::this_thread::sleep_for(std::chrono::milliseconds(afterMs));
            kill(pid, interrupt);
        });
    std::string seen;
    char buf[512];
    for (ssize_t n; (n = read(master, buf, sizeof buf)) > 0;) seen.append(buf, static_cast<size_t>(n));
    if (interrupter.joinable()) interrupter.join();
    close(master);
    waitpid(pid, nullptr, 0);
    return seen;
}

// UTF-8 text in another encoding.
std::string encoded(const std::string& utf8, const char* encoding) {
    iconv_t cd = iconv_open(encoding, "UTF-8");
    std::string out(utf8.size() * 4, '\0');
    char* in = const_cast<char*>(utf8.data());
    char* to = out.data();
    size_t left = utf8.size(), room = out.size();
    iconv(cd, &in, &left, &to, &room);
    iconv_close(cd);
    out.resize(out.size() - room);
    return out;
}

// Makes the department list of the sample file db take for ever to compute.
bool slowDepartments(const std::string& db) {
    sqlite3* h = nullptr;
    if (sqlite3_open(db.c_str(), &h) != SQLITE_OK) return false;
    const int rc = sqlite3_exec(h,
                                "drop table department; create view department as select '01' as cDepCode, 'x' as "
                                "cDepName from (with recursive c(x) as (select 1 union all select x + 1 from c where "
                                "x < 4000000000) select x from c) where x = 0",
                                nullptr, nullptr, nullptr);
    sqlite3_close(h);
    return rc == SQLITE_OK;
}

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/faq-cli-XXXXXX";
        dir = mkdtemp(tmpl);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::vector<std::string> files() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
        return out;
    }
    std::string dir;
};

TEST_F(CommandLine, HelpAndMistakesNeedNoDisplay) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"},
                                                 {"--help-all"},
                                                 {"-h"},
                                                 {"--version"},
                                                 {"report", "--help"},
                                                 {"sample-db", "--help"}}) {
        const Outcome r = faquery(args);
        EXPECT_EQ(r.code, 0) << args[0] << r.err;
        EXPECT_FALSE(r.out.empty());
    }
    EXPECT_NE(faquery({"--help-all"}).out.find("-platform"), std::string::npos);
    const Outcome bad = faquery({"--dem"});  // no abbreviations
    EXPECT_EQ(bad.code, 2);
    EXPECT_NE(bad.err.find("不认识的选项：--dem"), std::string::npos) << bad.err;
    EXPECT_EQ(faquery({"--sqlite", ""}).code, 2);
    EXPECT_EQ(faquery({"report", "--password=Hush-1"}).err.find("Hush-1"), std::string::npos);
    // A password on the window program's command line is refused, never repeated.
    for (const char* given : {"--pwd=Hush-1", "--password", "-p"}) {
        const Outcome pwd = faquery({"--server", "s", given, "Hush-1"});
        EXPECT_EQ(pwd.code, 2) << given;
        EXPECT_NE(pwd.err.find("密码不能写在命令行上"), std::string::npos) << pwd.err;
        EXPECT_EQ(pwd.err.find("Hush-1"), std::string::npos) << pwd.err;
    }
    // Output that cannot be written is an error; a reader that leaves early is not.
    const std::string self = FAQ_BINARY_DIR "/src/faquery ";
    for (const char* a : {"--help", "--version", "report --help", "sample-db --help"})
        EXPECT_EQ(WEXITSTATUS(std::system((self + a + " > /dev/full 2> /dev/null").c_str())), 5) << a;
    const std::string piped =
        "bash -c '" + self + "sample-db " + dir + "/piped.db --cards 50 | true; exit ${PIPESTATUS[0]}'";
    EXPECT_EQ(WEXITSTATUS(std::system(piped.c_str())), 0);
    fs::remove(dir + "/piped.db");
    // No usable driver under the name the connection string gives: said in Chinese, with
    // what to do, and the driver manager's own words after it.
    std::ofstream(dir + "/odbcinst.ini") << "[sql server]\nDriver=/nonexistent/libnodriver.so\n";
    setenv("ODBCSYSINI", dir.c_str(), 1);
    setenv("FAQUERY_PWD", "", 1);
    const Outcome noDriver = faquery({"report", "--server", "127.0.0.1,1", "--database", "d", "--uid", "sa"});
    unsetenv("ODBCSYSINI");
    unsetenv("FAQUERY_PWD");
    EXPECT_EQ(noDriver.code, 3);
    EXPECT_NE(noDriver.err.find("找不到 ODBC 驱动程序“sql server”"), std::string::npos) << noDriver.err;
    EXPECT_NE(noDriver.err.find("README"), std::string::npos);
    EXPECT_NE(noDriver.err.find("Can't open lib"), std::string::npos);
    EXPECT_NE(noDriver.err.find("已注册的驱动程序：sql server"), std::string::npos) << noDriver.err;
    // A driver name that cannot stand in the connection string's braces is refused first.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"report", "--server", "s", "--driver", "a}b"}, {"--server", "s", "--driver", " "}}) {
        const Outcome r = faquery(args);
        EXPECT_EQ(r.code, 2) << args[0];
        EXPECT_NE(r.err.find("--driver 需要一个驱动程序的名称"), std::string::npos) << r.err;
    }
}

TEST_F(CommandLine, ResultsTooLargeForMemoryAreAMessage) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than any limit leaves";
#endif
    const std::string db = dir + "/big.db";
    ASSERT_EQ(faquery({"sample-db", db, "--cards", "100000"}).code, 0);
    const std::vector<std::string> all{"report", "--sqlite", db, "--from", "1990-01", "--to", "2026-12"};
    // From too little to load the program to enough: a message and exit 4 on the way,
    // never an abort.
    int messages = 0;
    for (rlim_t mb = 75; mb <= 300; mb += 15) {
        const Outcome r = faquery(all, 0, 0, RLIMIT_AS, mb << 20);
        if (r.code == 127) continue;  // the libraries did not fit
        if (r.code == 0) break;
        EXPECT_EQ(r.code, 4) << mb << " MB: " << r.err;
        EXPECT_TRUE(r.err.find("内存不足") != std::string::npos || r.err.find("系统资源不足") != std::string::npos)
            << mb << " MB: " << r.err;
        ++messages;
    }
    EXPECT_GT(messages, 0);
    EXPECT_EQ(files(), std::vector<std::string>{"big.db"});
}

TEST_F(CommandLine, ATerminalInGb18030TypesAndReadsItsOwnEncoding) {
    // The locale built here, for this test alone.
    const std::string locales = dir + "/locales";
    fs::create_directories(locales);
    if (std::system(("localedef -i zh_CN -f GB18030 " + locales + "/zh_CN.GB18030 > /dev/null 2>&1").c_str()) != 0)
        GTEST_SKIP() << "localedef cannot build zh_CN.GB18030 here";
    setenv("LOCPATH", locales.c_str(), 1);
    setenv("LC_ALL", "zh_CN.GB18030", 1);
    const std::string gbName = "\xB5\xE7\xC4\xD4";  // 电脑, as that terminal types it
    const Outcome found = faquery(
        {"report", "--demo", "--today", "2026-12-07", "--from", "2018-01", "--name", gbName, "--format", "csv"});
    const Outcome wrong = faquery({"report", "--from", "13"});
    // A file name is said in the terminal's encoding, as it was typed.
    const Outcome missing =
        faquery({"report", "--demo", "--format", "csv", "--output", dir + "/缺" + gbName + "/" + gbName + ".csv"});
    // On the terminal itself, the lines written beside the streams too: sample-db's, and an
    // interrupt's while the statement is cancelled.
    const std::string written = onTerminal({"sample-db", dir + "/s.db", "--cards", "10"});
    ASSERT_TRUE(slowDepartments(dir + "/s.db"));
    const std::string cancelled =
        onTerminal({"report", "--sqlite", dir + "/s.db", "--dept", "01", "--format", "csv"}, SIGINT, 800);
    unsetenv("LC_ALL");
    unsetenv("LOCPATH");
    EXPECT_EQ(found.code, 0) << found.err;
    EXPECT_NE(found.out.find("电脑"), std::string::npos) << found.out;  // into a pipe: UTF-8, as before
    EXPECT_EQ(wrong.code, 2);
    EXPECT_NE(wrong.err.find("\xC7\xEB\xB8\xF8"), std::string::npos) << wrong.err;  // 请给, in GB18030
    EXPECT_EQ(wrong.err.find("请给"), std::string::npos);
    EXPECT_EQ(missing.code, 5);
    EXPECT_NE(missing.err.find("/\xC8\xB1" + gbName + "/"), std::string::npos) << missing.err;  // 缺电脑
    EXPECT_EQ(missing.err.find('?'), std::string::npos) << missing.err;
    EXPECT_NE(written.find(encoded("已写出示例数据库", "GB18030")), std::string::npos) << written;
    EXPECT_NE(cancelled.find(encoded("正在取消…（再按一次 Ctrl-C 立即结束）", "GB18030")), std::string::npos)
        << cancelled;
    EXPECT_NE(cancelled.find(encoded("查询已取消", "GB18030")), std::string::npos) << cancelled;
    for (const std::string& said : {written, cancelled}) EXPECT_EQ(said.find("已"), std::string::npos) << said;
}

TEST_F(CommandLine, InterruptedOrFailedWritesLeaveNothingAndSayWhy) {
    // Every signal that ends a process: a terminal closed, an alarm, a user's signal.
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGALRM, SIGUSR1, SIGQUIT}) {
        const Outcome r = faquery({"sample-db", dir + "/big.db", "--cards", "1000000"}, sig, 700);
        EXPECT_EQ(r.code, 128 + sig) << sig << r.err;
        EXPECT_TRUE(files().empty()) << sig << files().front();
    }
    // The window program too (logout ends it with SIGTERM): its guard removes what an
    // export was writing and says so.
    setenv("QT_QPA_PLATFORM_OVERRIDE", "offscreen", 1);
    std::string limits;  // a program that may hold a password writes no core file
    const Outcome window = faquery({"--demo", "-platform", "offscreen"}, SIGTERM, 1500, -1, 0, [&](pid_t pid) {
        std::ifstream f("/proc/" + std::to_string(pid) + "/limits");
        limits.assign(std::istreambuf_iterator<char>(f), {});
    });
    EXPECT_TRUE(std::regex_search(limits, std::regex("Max core file size +0 +0 "))) << limits;
    unsetenv("QT_QPA_PLATFORM_OVERRIDE");
    EXPECT_EQ(window.code, 128 + SIGTERM);
    EXPECT_NE(window.err.find("已中断"), std::string::npos) << window.err;
    // A file-size limit (ulimit -f) is a write error with a message.
    const Outcome capped =
        faquery({"report", "--demo", "--from", "1990-01", "--format", "csv", "--output", dir + "/out.csv"}, 0, 0,
                RLIMIT_FSIZE, 64 << 10);
    EXPECT_EQ(capped.code, 5) << capped.err;
    EXPECT_NE(capped.err.find("文件超过了允许的大小"), std::string::npos) << capped.err;
    EXPECT_TRUE(files().empty()) << files().front();
    // The same limit met by SQLite's sorting files: blamed on the temporary folder.
    ASSERT_EQ(faquery({"sample-db", dir + "/cards.db", "--cards", "40000"}).code, 0);
    setenv("TMPDIR", dir.c_str(), 1);
    const Outcome sortCapped =
        faquery({"report", "--sqlite", dir + "/cards.db", "--from", "1990-01"}, 0, 0, RLIMIT_FSIZE, 64 << 10);
    unsetenv("TMPDIR");
    EXPECT_EQ(sortCapped.code, 4) << sortCapped.err;
    EXPECT_NE(sortCapped.err.find("临时文件夹（" + dir + "）的文件超过了允许的大小"), std::string::npos)
        << sortCapped.err;
    EXPECT_NE(sortCapped.err.find("数据库本身没有改动"), std::string::npos) << sortCapped.err;
    // A full disk (a small file system of its own, where the superuser may mount one).
    const std::string small = dir + "/small";
    fs::create_directory(small);
    if (geteuid() == 0 && std::system(("mount -t tmpfs -o size=64k tmpfs " + small + " 2> /dev/null").c_str()) == 0) {
        for (const char* format : {"csv", "xlsx", "pdf"}) {
            const Outcome full = faquery(
                {"report", "--demo", "--from", "1990-01", "--format", format, "--output", small + "/out." + format});
            EXPECT_EQ(full.code, 5) << format << full.err;
            EXPECT_NE(full.err.find("磁盘空间不足"), std::string::npos) << format << full.err;
            EXPECT_EQ(full.err.find("[ERROR]"), std::string::npos) << full.err;  // the library's own lines
            EXPECT_TRUE(fs::is_empty(small)) << format;
        }
        // A full temporary folder: SQLite's sorting files, blamed on the folder, not the database.
        setenv("TMPDIR", small.c_str(), 1);
        const Outcome sorting = faquery({"report", "--sqlite", dir + "/cards.db", "--from", "1990-01"});
        unsetenv("TMPDIR");
        EXPECT_EQ(sorting.code, 4);
        EXPECT_NE(sorting.err.find("临时文件夹（" + small + "）空间不足"), std::string::npos) << sorting.err;
        EXPECT_NE(sorting.err.find("数据库本身没有改动"), std::string::npos);
        std::system(("umount " + small).c_str());
    }
    fs::remove(small);
    // A PDF of some 36,000 rows: whole, its 合计: row on its last page; interrupted on its
    // way (half a second in, of some 1.2 s), nothing.
    const std::string pdf = dir + "/big.pdf";
    const Outcome whole =
        faquery({"report", "--sqlite", dir + "/cards.db", "--from", "1990-01", "--format", "pdf", "--output", pdf});
    ASSERT_EQ(whole.code, 0) << whole.err;
    ASSERT_EQ(std::system(("pdftotext -layout -l 1 " + pdf + " " + dir + "/first.txt && pdftotext -layout -f " +
                           "$(pdfinfo " + pdf + " | sed -n 's/^Pages: *//p') " + pdf + " " + dir + "/last.txt")
                              .c_str()),
              0);
    std::ifstream first(dir + "/first.txt"), last(dir + "/last.txt");
    const std::string firstPage((std::istreambuf_iterator<char>(first)), {}),
        lastPage((std::istreambuf_iterator<char>(last)), {});
    EXPECT_NE(firstPage.find("固定资产汇总表"), std::string::npos);
    EXPECT_NE(lastPage.find("合计:"), std::string::npos);
    EXPECT_TRUE(std::regex_search(lastPage, std::regex("第 ([0-9]{3,}) 页 共 \\1 页"))) << lastPage;
    fs::remove(pdf), fs::remove(dir + "/first.txt"), fs::remove(dir + "/last.txt");
    const Outcome stopped =
        faquery({"report", "--sqlite", dir + "/cards.db", "--from", "1990-01", "--format", "pdf", "--output", pdf},
                SIGINT, 500);
    EXPECT_EQ(stopped.code, 130) << stopped.err;
    fs::remove(dir + "/cards.db");
    EXPECT_TRUE(files().empty()) << files().front();
    // A finished file is never touched by a later run that is interrupted.
    ASSERT_EQ(faquery({"sample-db", dir + "/small.db", "--cards", "50"}).code, 0);
    const Outcome again = faquery({"sample-db", dir + "/small.db"});
    EXPECT_EQ(again.code, 5);
    EXPECT_NE(again.err.find("已存在"), std::string::npos);
}

// As a scheduler runs it (cron, a service, su: no XDG_RUNTIME_DIR; a broken fontconfig),
// a report's stderr holds its own Chinese words and no library's line.
TEST_F(CommandLine, AReportsStderrHoldsOnlyItsOwnWords) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string keep = runtime ? runtime : "";
    unsetenv("XDG_RUNTIME_DIR");
    for (const bool brokenFonts : {false, true}) {
        if (brokenFonts) setenv("FONTCONFIG_FILE", (dir + "/no-such-fonts.conf").c_str(), 1);
        const Outcome pdf =
            faquery({"report", "--demo", "--from", "2020-01", "--format", "pdf", "--output", dir + "/out.pdf"});
        // Under LeakSanitizer its summary of suppressions follows; that is the test's, not the program's.
        std::string said = pdf.err;
        said.erase(std::min(said.size(),
                            said.find("-----------------------------------------------------\nSuppressions used:")));
        const Outcome xlsx = faquery({"report", "--demo", "--format", "xlsx", "--output", dir + "/nowhere/out.xlsx"});
        unsetenv("FONTCONFIG_FILE");
        if (!brokenFonts) {
            EXPECT_EQ(pdf.code, 0);
            EXPECT_EQ(said, "");
        }
        for (const Outcome* o : {&pdf, &xlsx})
            for (const char* english : {"QStandardPaths", "Fontconfig", "[ERROR]", "qt.", "QFont"})
                EXPECT_EQ(o->err.find(english), std::string::npos) << o->err;
        EXPECT_EQ(xlsx.code, 5);
        EXPECT_NE(xlsx.err.find("输出失败："), std::string::npos) << xlsx.err;
        fs::remove(dir + "/out.pdf");
    }
    if (runtime) setenv("XDG_RUNTIME_DIR", keep.c_str(), 1);
}

// Whether process pid has ended (a zombie, not yet waited for).
bool ended(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return true;
    const size_t paren = line.rfind(')');
    return paren != std::string::npos && paren + 2 < line.size() && line[paren + 2] == 'Z';
}

// Started from a desktop entry (no terminal) with an option it refuses, the window program
// shows the refusal in a window, never the secret, and exits 2 once it is closed (Enter).
TEST_F(CommandLine, ARefusalWithoutATerminalIsShownInAWindow) {
    if (std::system("command -v Xvfb xdotool > /dev/null") != 0) GTEST_SKIP() << "no Xvfb or xdotool";
    const std::string display = ":" + std::to_string(150 + getpid() % 100);
    const pid_t x = fork();
    if (x == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1), dup2(null, 2);
        execlp("Xvfb", "Xvfb", display.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp", nullptr);
        _exit(127);
    }
    const std::string socket = "/tmp/.X11-unix/X" + display.substr(1);
    for (int waited = 0; !fs::exists(socket) && waited < 10000; waited += 50)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::string xdotool = "DISPLAY=" + display + " xdotool ";
    // Under the sanitizers: Qt's window system caches, left at exit, are no leaks of ours
    // (as for the window tests).
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::string keptAsan = asan ? asan : "";
    if (asan) setenv("ASAN_OPTIONS", (keptAsan + ":detect_leaks=0").c_str(), 1);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--pwd", "Secret-XYZ-42"}, {"--server"}, {"--bogus"}}) {
        bool shown = false;
        const Outcome r = faquery(
            args, SIGTERM, 200, -1, 0,
            [&](pid_t pid) {
                for (int waited = 0; !shown && waited < 15000; waited += 100) {
                    shown = std::system((xdotool + "search --name 固定资产查询 > /dev/null").c_str()) == 0;
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                }
                // Enter, again until the window goes (a slow start, a sanitizer's, may not take
                // the first one); then the program ends of itself, however long its exit takes.
                for (int waited = 0; waited < 20000; waited += 500) {
                    std::system((xdotool +
                                 "search --onlyvisible --name 固定资产查询 windowfocus --sync key Return 2> /dev/null")
                                    .c_str());
                    std::this_thread::sleep_for(std::chrono::milliseconds(500));
                    if (std::system((xdotool + "search --onlyvisible --name 固定资产查询 > /dev/null").c_str()) != 0)
                        break;
                }
                for (int waited = 0; waited < 30000 && !ended(pid); waited += 100)
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
            },
            display);
        EXPECT_TRUE(shown) << args.front();
        EXPECT_EQ(r.code, 2) << args.front() << r.err;
        EXPECT_NE(r.err.find(args.front()), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("Secret-XYZ"), std::string::npos) << r.err;
    }
    if (asan) setenv("ASAN_OPTIONS", keptAsan.c_str(), 1);
    kill(x, SIGTERM);
    waitpid(x, nullptr, 0);
}

// A private fontconfig with DejaVu only (no face for Chinese) and with Noto CJK only (its
// ideographs share glyphs with the Kangxi radicals): the PDF is refused, exit 5, in Chinese,
// naming the package, and nothing is written. With the system's faces, a character beyond
// the Basic Multilingual Plane, which the PDF would draw but not keep as text, is refused too.
TEST_F(CommandLine, PagesAreRefusedWhenTheFontsWouldNotShowOrKeepTheirText) {
    struct Fonts {
        const char* dir;
        const char* said;
    } sets[] = {{"/usr/share/fonts/truetype/dejavu", "没有能显示“固”"},
                {"/usr/share/fonts/opentype/noto", "在 PDF 里会被记成另一个字"}};
    for (const Fonts& f : sets) {
        if (!fs::exists(f.dir)) continue;
        const std::string conf = dir + "/fonts.conf";
        std::ofstream(conf) << "<?xml version=\"1.0\"?><!DOCTYPE fontconfig SYSTEM \"fonts.dtd\"><fontconfig><dir>"
                            << f.dir << "</dir><cachedir>" << dir << "/fc-cache</cachedir></fontconfig>\n";
        setenv("FONTCONFIG_FILE", conf.c_str(), 1);
        const Outcome pdf = faquery({"report", "--demo", "--format", "pdf", "--output", dir + "/out.pdf"});
        unsetenv("FONTCONFIG_FILE");
        EXPECT_EQ(pdf.code, 5) << f.dir << pdf.err;
        EXPECT_NE(pdf.err.find(f.said), std::string::npos) << pdf.err;
        EXPECT_NE(pdf.err.find("fonts-arphic-uming"), std::string::npos) << pdf.err;
        EXPECT_FALSE(fs::exists(dir + "/out.pdf"));
        fs::remove_all(dir + "/fc-cache"), fs::remove(conf);
    }
    const std::string db = dir + "/names.db";
    ASSERT_EQ(faquery({"sample-db", db, "--cards", "30"}).code, 0);
    sqlite3* h = nullptr;
    ASSERT_EQ(sqlite3_open(db.c_str(), &h), SQLITE_OK);
    faq::data::registerSqlDialect(h);  // the sample's collations
    ASSERT_EQ(sqlite3_exec(h,
                           "update fa_Cards set sAssetName = '𠮷野家' where rowid = (select rowid from fa_Cards c "
                           "where dDisposeDate is null and sCardID = (select max(sCardID) from fa_Cards d "
                           "where d.sCardNum = c.sCardNum) order by rowid limit 1)",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(h);
    const Outcome beyond = faquery(
        {"report", "--sqlite", db, "--from", "1990-01", "--cards", "--format", "pdf", "--output", dir + "/out.pdf"});
    EXPECT_EQ(beyond.code, 5) << beyond.err;
    EXPECT_NE(beyond.err.find("“𠮷”（U+20BB7，见于“𠮷野家”）超出了 PDF 能保存为文字的范围"), std::string::npos)
        << beyond.err;
    EXPECT_FALSE(fs::exists(dir + "/out.pdf"));
    // The system's faces keep every other text as printed: 至 stays 至.
    const Outcome whole = faquery({"report", "--demo", "--format", "pdf", "--output", dir + "/out.pdf"});
    ASSERT_EQ(whole.code, 0) << whole.err;
    ASSERT_EQ(std::system(("pdftotext " + dir + "/out.pdf " + dir + "/out.txt").c_str()), 0);
    std::ifstream text(dir + "/out.txt");
    const std::string said((std::istreambuf_iterator<char>(text)), {});
    EXPECT_NE(said.find("至"), std::string::npos);
    EXPECT_EQ(said.find("⾄"), std::string::npos);
    fs::remove(db), fs::remove(dir + "/out.pdf"), fs::remove(dir + "/out.txt");
}

TEST_F(CommandLine, FileNamesKeepTheirBytesAndTheDatabaseIsNeverTheOutput) {
    const std::string db = dir + "/books.db";
    ASSERT_EQ(faquery({"sample-db", db, "--cards", "40"}).code, 0);
    const auto size = fs::file_size(db);
    const std::string latin1 = dir + "/\xb9\xcc\xb6\xa8.csv";  // GBK bytes, not UTF-8
    const Outcome csv = faquery({"report", "--sqlite", db, "--from", "1990-01", "--format", "csv", "--output", latin1});
    EXPECT_EQ(csv.code, 0) << csv.err;
    EXPECT_TRUE(fs::exists(latin1));
    const Outcome over = faquery({"report", "--sqlite", db, "--format", "csv", "--output", db});
    EXPECT_EQ(over.code, 5);
    EXPECT_NE(over.err.find("正在读取的数据库"), std::string::npos) << over.err;
    EXPECT_EQ(fs::file_size(db), size);
}

TEST_F(CommandLine, CtrlCDuringAStatementCancelsItAndWritesNothing) {
    const std::string db = dir + "/slow.db";
    ASSERT_EQ(faquery({"sample-db", db, "--cards", "20"}).code, 0);
    ASSERT_TRUE(slowDepartments(db));
    // SIGTERM (a scheduler's stop) ends as SIGTERM, also when the cancel is honoured.
    for (const int sig : {SIGINT, SIGTERM}) {
        const auto start = std::chrono::steady_clock::now();
        const Outcome r = faquery(
            {"report", "--sqlite", db, "--dept", "01", "--format", "csv", "--output", dir + "/out.csv"}, sig, 800);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
        EXPECT_EQ(r.code, 128 + sig);
        EXPECT_NE(r.err.find("查询已取消"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("正在取消…"), std::string::npos) << r.err;  // said at once
        EXPECT_EQ(files(), std::vector<std::string>{"slow.db"});
    }
}

TEST_F(CommandLine, AnInterruptedPasswordPromptGivesTheEchoBack) {
    for (int sig : {SIGINT, SIGTERM}) {
        int master = -1;
        const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
        if (pid == 0) {
            unsetenv("FAQUERY_PWD");
            execl(FAQ_BINARY_DIR "/src/faquery", "faquery", "report", "--server", "127.0.0.1", nullptr);
            _exit(127);
        }
        std::string seen;
        char buf[256];
        while (seen.find("密码") == std::string::npos) {
            const ssize_t n = read(master, buf, sizeof buf);
            if (n <= 0) break;
            seen.append(buf, static_cast<size_t>(n));
        }
        ASSERT_NE(seen.find("密码"), std::string::npos) << seen;
        termios t{};
        tcgetattr(master, &t);
        EXPECT_FALSE(t.c_lflag & ECHO);  // typing: no echo
        kill(pid, sig);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + sig) << status;
        tcgetattr(master, &t);
        EXPECT_TRUE(t.c_lflag & ECHO);
        close(master);
    }
}

}  // namespace
