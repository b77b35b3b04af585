#include "cli.h"

#include <QCoreApplication>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "data/db_error.h"
#include "export/atomic_file.h"
#include "export/sample_file.h"
#include "interrupt.h"
#include "options.h"
#include "report.h"
#include "terminal_text.h"

#ifndef FAQ_VERSION
#define FAQ_VERSION "0"
#endif

// Where the packages put the user's guide.
#ifdef _WIN32
#define FAQ_GUIDE_PATH "安装文件夹中的 guide\\guide.html（开始菜单“使用说明”）"
#else
#define FAQ_GUIDE_PATH "/usr/share/doc/faquery/guide/guide.html"
#endif

namespace faq::app {

namespace {

void printErr(const std::string& text) {
    writeTerminal(2, text + "\n");
}

// Writes text to standard output; 0, or 5 with a message when it could not be written
// (a full disk, /dev/full).
int printOut(const std::string& text) {
    if (writeTerminal(1, text)) return 0;
    const int err = errno;
    std::clearerr(stdout);
    printErr(std::string("无法写出到标准输出：") + std::strerror(err));
    return 5;
}

const char* const kGuiHelp =
    "用法：faquery [--demo | --sqlite 文件] [--server 地址] [--database 数据库名] [--uid 用户名] [--driver 名称]\n"
    "      faquery report [选项]                      在命令行输出汇总（faquery report --help 查看选项）\n"
    "      faquery sample-db 文件 [--cards N] [--seed S]  写出一个示例数据库文件\n"
    "\n"
    "固定资产查询：连接 SQL Server 上的账套数据库，按开始使用日期、部门和资产名称汇总在用的固定资产卡片。\n"
    "不带 --demo 或 --sqlite 时，通过名为 \"sql server\" 的 ODBC 驱动程序连接数据库。\n"
    "\n"
    "选项：\n"
    "  --demo            使用内存中生成的示例数据库（不写任何文件）\n"
    "  --sqlite 文件     使用 SQLite 数据库文件（只读打开，从不修改）\n"
    "  --server 地址     设置对话框中预先填好的数据库地址（管理员可写在快捷方式里）\n"
    "  --database 名称   预先填好的数据库名\n"
    "  --uid 用户名      预先填好的用户名（也可写作 --user）；密码从不写在命令行上\n"
    "  --driver 名称     通过这个名字注册的 ODBC 驱动程序连接（默认 \"sql server\"），\n"
    "                    如 \"ODBC Driver 18 for SQL Server\"\n"
    "  -h, --help        显示本帮助\n"
    "  --help-all        显示本帮助和 Qt 的窗口选项\n"
    "  -v, --version     显示版本\n"
    "\n"
    "使用说明：在程序的任一窗口按 F1；也可用浏览器打开 " FAQ_GUIDE_PATH "。\n";

const char* const kQtHelp =
    "\n"
    "Qt 窗口选项（交给 Qt 处理）：\n"
    "  -platform 名称        窗口系统插件，如 xcb、wayland、offscreen\n"
    "  -platformtheme 名称   平台主题\n"
    "  -style 名称           界面风格，如 fusion\n"
    "  -stylesheet 文件      样式表\n"
    "  -reverse              从右到左的布局\n"
    "  -qwindowgeometry 几何  第一个窗口的位置和大小\n"
    "  -qwindowtitle 标题    第一个窗口的标题\n"
    "  -display 显示         X11 显示\n";

// Qt's options and whether each takes a value; Qt also accepts them with two dashes and
// with "=value".
struct QtOption {
    const char* name;
    bool value;
};
constexpr QtOption kQtOptions[] = {
    {"platform", true},        {"platformpluginpath", true},
    {"platformtheme", true},   {"plugin", true},
    {"qwindowgeometry", true}, {"qwindowicon", true},
    {"qwindowtitle", true},    {"session", true},
    {"style", true},           {"stylesheet", true},
    {"display", true},         {"geometry", true},
    {"title", true},           {"name", true},
    {"visual", true},          {"qmljsdebugger", true},
    {"reverse", false},        {"widgetcount", false},
    {"nograb", false},         {"dograb", false},
    {"sync", false},
};

// args without Qt's own options (which stay in argv for QApplication).
std::vector<std::string> withoutQtOptions(const std::vector<std::string>& args) {
    std::vector<std::string> out;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") {
            out.insert(out.end(), args.begin() + static_cast<long>(i), args.end());
            break;
        }
        const std::string bare = a.rfind("--", 0) == 0  ? a.substr(2)
                                 : a.rfind('-', 0) == 0 ? a.substr(1)
                                                        : std::string();
        const std::string key = bare.substr(0, bare.find('='));
        const QtOption* qt = nullptr;
        for (const auto& o : kQtOptions)
            if (!key.empty() && key == o.name) qt = &o;
        if (!qt) {
            out.push_back(a);
            continue;
        }
        if (qt->value && bare.find('=') == std::string::npos) ++i;  // its value follows
    }
    return out;
}

// A whole number of ASCII digits, nothing else.
std::optional<unsigned long long> wholeNumber(const std::string& s) {
    unsigned long long v = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || r.ec != std::errc() || r.ptr != s.data() + s.size()) return std::nullopt;
    return v;
}

}  // namespace

const char* version() {
    return FAQ_VERSION;
}

std::optional<int> runSubcommand(const std::vector<std::string>& args) {
    // sample-db takes a file name and numbers: its arguments stay as they are.
    if (!args.empty() && args[0] == "sample-db") return runSampleDb({args.begin() + 1, args.end()});
    if (!args.empty() && args[0] == "report")
        return runReport(argumentsFromTerminal({args.begin() + 1, args.end()}, {"--sqlite", "--output"}),
                         standardReportIo());
    return std::nullopt;
}

bool refusalNeedsAWindow() {
#ifdef _WIN32
    // Started from a shortcut: no console to attach to, nothing redirected.
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    return !GetConsoleWindow() && (!err || err == INVALID_HANDLE_VALUE || GetFileType(err) == FILE_TYPE_UNKNOWN);
#else
    // A desktop entry's stderr goes to a log nobody reads; a terminal's is read. Without a
    // display (or on a platform nobody sees) there is no window to show.
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.startsWith("offscreen") || platform.startsWith("minimal")) return false;
    return !isatty(STDERR_FILENO) &&
           (!qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"));
#endif
}

std::optional<std::string> passwordOnCommandLine(const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        std::string name = a.substr(0, a.find('='));
        for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (const char* option : {"--pwd", "--password", "--pass", "-p"})
            if (name == option)
                return std::string("密码不能写在命令行上（") + option +
                       "）：同一台电脑上的其他用户能看到命令行。请在设置对话框中输入密码"
                       "（faquery report 取自环境变量 FAQUERY_PWD，或在终端提示时输入）";
    }
    return std::nullopt;
}

std::optional<int> parseGuiArguments(const std::vector<std::string>& args, EngineChoice* choice,
                                     SettingsPresets* presets, std::string* refusal) {
    const auto refuse = [refusal](const std::string& message) {
        printErr(message);
        if (refusal) *refusal = message;
        return 2;
    };
    if (auto refused = passwordOnCommandLine(args)) return refuse(*refused);
    const ParsedOptions p = parseOptions(withoutQtOptions(args), {{"demo"},
                                                                  {"sqlite", OptionDef::Value},
                                                                  {"server", OptionDef::Value},
                                                                  {"database", OptionDef::Value},
                                                                  {"uid", OptionDef::Value},
                                                                  {"user", OptionDef::Value},
                                                                  {"driver", OptionDef::Value},
                                                                  {"help", OptionDef::Flag, 'h'},
                                                                  {"help-all"},
                                                                  {"version", OptionDef::Flag, 'v'}});
    if (p.has("help") || p.has("help-all")) return printOut(std::string(kGuiHelp) + (p.has("help-all") ? kQtHelp : ""));
    if (p.has("version")) return printOut(std::string("faquery ") + version() + "\n");
    if (p.error) return refuse(*p.error + "（faquery --help 查看用法）");
    if (!p.positional.empty()) return refuse("不认识的参数：" + p.positional.front() + "（faquery --help 查看用法）");
    if (p.has("demo") && p.has("sqlite")) return refuse("--demo 和 --sqlite 只能选一个");
    if (p.has("sqlite") && p.value("sqlite").empty()) return refuse("--sqlite 需要一个文件名");
    if (p.has("driver") && !data::isDriverName(fromTerminal(p.value("driver"))))
        return refuse("--driver 需要一个驱动程序的名称（不含 { 和 }）");
    choice->demo = p.has("demo");
    choice->sqliteFile = p.value("sqlite");
    if (p.has("driver")) choice->driver = fromTerminal(p.value("driver"));
    if (presets) {
        // Typed at a terminal in its own encoding, as UTF-8 like everything the dialog shows.
        if (p.has("server")) presets->server = fromTerminal(p.value("server"));
        if (p.has("database")) presets->database = fromTerminal(p.value("database"));
        if (p.has("uid") || p.has("user")) presets->uid = fromTerminal(p.value(p.has("user") ? "user" : "uid"));
    }
    return std::nullopt;
}

int runSampleDb(const std::vector<std::string>& args) {
    static const char* const kHelp =
        "用法：faquery sample-db 文件 [--cards N] [--seed S]\n"
        "\n"
        "写出一个示例账套数据库（SQLite 文件），内容由种子和卡片数确定；已有的文件不会被覆盖。\n"
        "\n"
        "选项：\n"
        "  --cards N    卡片数，1 到 1000000（默认 5000）\n"
        "  --seed S     随机种子，正整数（默认 20261207）\n"
        "  -h, --help   显示本帮助\n";
    const ParsedOptions p =
        parseOptions(args, {{"cards", OptionDef::Value}, {"seed", OptionDef::Value}, {"help", OptionDef::Flag, 'h'}});
    if (p.has("help")) return printOut(kHelp);
    if (p.error) {
        printErr(*p.error + "（faquery sample-db --help 查看用法）");
        return 2;
    }
    if (p.positional.size() != 1 || p.positional.front().empty()) {
        printErr("请给出一个文件名：faquery sample-db 文件 [--cards N] [--seed S]");
        return 2;
    }
    const auto cards = p.has("cards") ? wholeNumber(p.value("cards")) : std::optional<unsigned long long>(kDemoCards);
    const auto seed = p.has("seed") ? wholeNumber(p.value("seed")) : std::optional<unsigned long long>(kDemoSeed);
    if (!cards || *cards < 1 || *cards > 1000000 || !seed || *seed == 0) {
        printErr("--cards 须为 1 到 1000000 之间的整数，--seed 须为正整数");
        return 2;
    }
    const std::string& file = p.positional.front();
    InterruptGuard interrupts;  // an interrupted run leaves no temporary file behind
    try {
        output::writeSampleFile(file, {static_cast<int>(*cards), *seed});
    } catch (const output::OutputError& e) {
        printErr(std::string("写出示例数据库失败：") + e.what());
        return 5;
    } catch (const data::DbError& e) {
        printErr(std::string("写出示例数据库失败：") + e.what());
        return 5;
    }
    // Written while the interrupts are still taken: a reader gone (… | head) does not end
    // the process, and the file is complete whether or not this line arrives.
    writeTerminal(1, "已写出示例数据库：" + file + "（" + std::to_string(*cards) + " 张卡片，种子 " +
                         std::to_string(*seed) + "）\n");
    return 0;
}

}  // namespace faq::app
