// The one file writer: what it refuses to replace, what it leaves behind, links, modes,
// and the user's own export folder. Real files, a device, a FIFO, another user's folder.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <xlsxwriter.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include "data/recordset.h"
#include "export/atomic_file.h"
#include "export/private_folder.h"
#include "export/text_table.h"
#include "export/workbook.h"
#include "export/workbook_check.h"

using namespace faq;
namespace fs = std::filesystem;

namespace {

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

class FileOutput : public ::testing::Test {
protected:
    void SetUp() override {
        dir = (fs::temp_directory_path() / ("faq-out-" + std::to_string(std::random_device()()))).string();
        fs::create_directory(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string at(const std::string& name) const { return dir + "/" + name; }
    // Everything in dir: a refused or failed write leaves no temporary file.
    std::set<std::string> names() const {
        std::set<std::string> out;
        for (const auto& e : fs::directory_iterator(dir)) out.insert(e.path().filename().string());
        return out;
    }
    // The message of the refusal to write content to path, or "" when it was written.
    static std::string refusal(const std::string& path, const output::TargetRules& rules = {}) {
        try {
            output::AtomicFile f(path, rules);
            f.write("new");
            f.commit();
            return {};
        } catch (const output::OutputError& e) {
            return e.what();
        }
    }
    std::string dir;
};

TEST_F(FileOutput, ReplacesOnlyRegularFilesTheUserMayWriteAndNeverTheDatabase) {
    std::ofstream(at("old.csv")) << "old";
    EXPECT_EQ(refusal(at("old.csv")), "");
    EXPECT_EQ(slurp(at("old.csv")), "new");
    EXPECT_EQ(refusal(at("fresh.csv")), "");
    EXPECT_EQ(slurp(at("fresh.csv")), "new");
    std::set<std::string> expected{"old.csv", "fresh.csv"};

#ifndef _WIN32
    struct stat st {};
    chmod(at("old.csv").c_str(), 0604);
    EXPECT_EQ(refusal(at("old.csv")), "");
    stat(at("old.csv").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0604u);  // the replaced file's permissions stay
    const mode_t before = umask(027);
    EXPECT_EQ(refusal(at("masked.csv")), "");
    umask(before);
    stat(at("masked.csv").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // a new file: 0666 less the umask

    // A link stays a link; the file it names receives the content, as cp does.
    std::ofstream(at("real.csv")) << "old";
    fs::create_symlink("real.csv", at("link.csv"));
    EXPECT_EQ(refusal(at("link.csv")), "");
    EXPECT_TRUE(fs::is_symlink(at("link.csv")));
    EXPECT_EQ(slurp(at("real.csv")), "new");

    EXPECT_NE(refusal("/dev/null").find("不是普通文件"), std::string::npos);
    ASSERT_EQ(mkfifo(at("fifo").c_str(), 0600), 0);
    EXPECT_NE(refusal(at("fifo")).find("不是普通文件"), std::string::npos);
    expected.insert({"masked.csv", "real.csv", "link.csv", "fifo"});
#else
    EXPECT_NE(refusal("NUL").find("不是普通文件"), std::string::npos);
#endif
    fs::create_directory(at("folder"));
    EXPECT_NE(refusal(at("folder")).find("不是普通文件"), std::string::npos);

    // The database being read, under another name (a hard link) too.
    std::ofstream(at("books.db")) << "database";
    fs::create_hard_link(at("books.db"), at("alias.db"));
    EXPECT_NE(refusal(at("alias.db"), {.mayReplace = true, .keepIntact = {at("books.db")}}).find("正在读取的数据库"),
              std::string::npos);
    EXPECT_EQ(slurp(at("books.db")), "database");

    // Write-protected, even for the superuser.
    std::ofstream(at("locked.csv")) << "keep";
    fs::permissions(at("locked.csv"), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_NE(refusal(at("locked.csv")).find("只读"), std::string::npos);
    EXPECT_EQ(slurp(at("locked.csv")), "keep");
    fs::permissions(at("locked.csv"), fs::perms::owner_write, fs::perm_options::add);

    EXPECT_NE(refusal(at("old.csv"), {.mayReplace = false, .keepIntact = {}}).find("已存在"), std::string::npos);
    EXPECT_NE(refusal(at("no-such-folder/x.csv")).find("无法在"), std::string::npos);

    expected.insert({"folder", "books.db", "alias.db", "locked.csv"});
    EXPECT_EQ(names(), expected);
}

TEST_F(FileOutput, TemporaryFilesAreExclusiveAndGoneWhenNotCommitted) {
    {
        output::AtomicFile a(at("out.csv")), b(at("out.csv"));
        EXPECT_NE(a.tempPath(), b.tempPath());
        EXPECT_EQ(a.tempPath().rfind(dir + "/.out.csv.", 0), 0u);
        a.write("partial");
        EXPECT_FALSE(fs::exists(at("out.csv")));
    }
    EXPECT_TRUE(names().empty());
    // No-replace: a file that appears before the rename is kept, and the temp goes.
    output::AtomicFile c(at("race.csv"), {.mayReplace = false, .keepIntact = {}});
    c.write("mine");
    std::ofstream(at("race.csv")) << "theirs";
    EXPECT_THROW(c.commit(), output::OutputError);
    EXPECT_EQ(slurp(at("race.csv")), "theirs");
}

#ifndef _WIN32
TEST_F(FileOutput, AnotherUserCannotReplaceOrPreCreate) {
    constexpr uid_t kNobody = 65534;
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    chmod(dir.c_str(), 0777);
    std::ofstream(at("roots.csv")) << "root's";
    chmod(at("roots.csv").c_str(), 0644);
    // A folder of faquery's name made by someone else before the user's first export.
    const std::string planted = at("faquery-0");
    const pid_t pid = fork();
    if (pid == 0) {
        if (setuid(kNobody) != 0) _exit(10);
        if (refusal(at("roots.csv")).find("只读") == std::string::npos) _exit(11);
        if (mkdir(planted.c_str(), 0777) != 0) _exit(12);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(slurp(at("roots.csv")), "root's");
    try {
        output::privateTempFolder(dir);
        FAIL() << "used a folder another user made";
    } catch (const output::OutputError& e) {
        EXPECT_NE(std::string(e.what()).find("其他用户"), std::string::npos) << e.what();
    }
}

#endif

TEST_F(FileOutput, PrivateFolderIsTheUsersAlone) {
#ifdef _WIN32
    const std::string folder = output::privateTempFolder(dir);
    EXPECT_TRUE(fs::is_directory(folder));
    fs::remove(folder);
    std::ofstream(folder) << "a file in its place";
    EXPECT_THROW(output::privateTempFolder(dir), output::OutputError);
#else
    const std::string folder = output::privateTempFolder(dir);
    EXPECT_EQ(folder, dir + "/faquery-" + std::to_string(geteuid()));
    struct stat st {};
    lstat(folder.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    chmod(folder.c_str(), 0777);  // opened up since: closed again
    output::privateTempFolder(dir);
    lstat(folder.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    fs::remove(folder);
    fs::create_symlink("/tmp", folder);  // a link planted in its place is never followed
    EXPECT_THROW(output::privateTempFolder(dir), output::OutputError);
#endif
}

// Every XML part is parsed back: a sheet that a reader would refuse (not UTF-8, a character
// XML 1.0 forbids) fails the export. The writer itself gets every text there as it was.
TEST_F(FileOutput, AWorkbookIsTakenAsWrittenOnlyWhenEveryPartIsWellFormedXml) {
    for (const char* text : {"电脑", "\xB5\xE7\xC4\xD4", "a\xEF\xBF\xBE", "b\xEF\xBF\xBF"}) {  // GBK, U+FFFE, U+FFFF
        const std::string path = at("check.xlsx");
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;  // texts inline in the sheet, as the export writes them
        lxw_workbook* wb = workbook_new_opt(path.c_str(), &options);
        worksheet_write_string(workbook_add_worksheet(wb, nullptr), 0, 0, text, nullptr);
        ASSERT_EQ(workbook_close(wb), LXW_NO_ERROR);
        if (text[0] != '\xE7')
            EXPECT_THROW(output::verifyWorkbook(path, 1), output::OutputError) << text;
        else
            EXPECT_NO_THROW(output::verifyWorkbook(path, 1));
        fs::remove(path);
    }
    const std::vector<std::string> texts = {"\xEF\xBF\xBE前\xEF\xBF\xBF后", "_x0041_ 与 _X004a_", "控\x01制\x1f", "␀",
                                            "_x41_"};
    data::RecordsetBuilder b({{"名称", data::FieldType::Text}});
    for (const auto& t : texts) b.putText(t);
    const std::string path = at("hostile.xlsx"), json = at("hostile.json");
    const auto rs = b.finish();
    ASSERT_NO_THROW(output::saveWorkbook(path, {"名\xEF\xBF\xBF称_x0042_"}, *rs));
#ifdef _WIN32
    // Read back on Linux only: the host's interpreter gives Wine no output to redirect.
    return;
#endif
    const std::string cmd = "/usr/bin/python3 " FAQ_SOURCE_DIR "/tests/support/read_xlsx.py " + path + " > " + json;
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::ifstream f(json);
    const std::string read((std::istreambuf_iterator<char>(f)), {});
    std::string expected = R"({"sheets": 1, "data": [{"name": "Sheet1", "max_row": 6, "rows": [[["s", "名)"
                           "\xEF\xBF\xBF"
                           R"(称_x0042_"]])";
    for (const auto& t : texts) {
        std::string escaped;
        for (unsigned char c : t)
            if (c < 0x20) {
                char u[8];
                std::snprintf(u, sizeof u, "\\u%04x", c);
                escaped += u;
            } else {
                escaped += static_cast<char>(c);
            }
        expected += R"(, [["s", ")" + escaped + R"("]])";
    }
    expected += "]}]}\n";
    EXPECT_EQ(read, expected);
    // The same as a template: the same cells, the workbook part typed as a template's.
    const std::string xltx = at("hostile.xltx");
    ASSERT_NO_THROW(output::saveWorkbook(xltx, {"名\xEF\xBF\xBF称_x0042_"}, *rs, {}, nullptr, nullptr,
                                         output::WorkbookForm::Template));
    ASSERT_EQ(
        std::system(("/usr/bin/python3 " FAQ_SOURCE_DIR "/tests/support/read_xlsx.py " + xltx + " > " + json).c_str()),
        0);
    std::ifstream g(json);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(g)), {}), expected);
    const std::string types = at("types.xml");
    ASSERT_EQ(
        std::system(("/usr/bin/python3 -c 'import sys, zipfile; sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1])"
                     ".read(\"[Content_Types].xml\"))' " +
                     xltx + " > " + types)
                        .c_str()),
        0);
    std::ifstream t(types);
    const std::string typesXml((std::istreambuf_iterator<char>(t)), {});
    EXPECT_NE(typesXml.find("spreadsheetml.template.main+xml"), std::string::npos) << typesXml;
    EXPECT_EQ(typesXml.find("spreadsheetml.sheet.main+xml"), std::string::npos) << typesXml;
}

TEST(Csv, NumbersAtFifteenDigitsFormulasStayTextTerminalsSeeNoControls) {
    data::RecordsetBuilder b({{"名称", data::FieldType::Text}, {"原值", data::FieldType::Double}});
    double sum = 0;
    for (double v : {234390498.7, 0.1}) sum += v;  // 234390498.79999998…
    const char* names[] = {"=1+1", "-pump", "@x", "+3", "\tTab", "plain", "\x1b[2J清屏"};
    for (const char* n : names) {
        b.putText(n);
        b.putDouble(n[0] == 'p' ? sum : -1.5);
    }
    auto rs = b.finish();
    std::ostringstream file, terminal;
    output::writeCsv(file, *rs);
    output::writeCsv(terminal, *rs, true);
    const std::string f = file.str();
    EXPECT_NE(f.find("plain,234390498.8\r\n"), std::string::npos) << f;
    for (const char* guarded : {"'=1+1,-1.5", "'-pump,", "'@x,", "'+3,", "'\tTab,"})
        EXPECT_NE(f.find(guarded), std::string::npos) << guarded;
    EXPECT_NE(f.find("\x1b[2J"), std::string::npos);  // a file keeps the data
    EXPECT_EQ(terminal.str().find('\x1b'), std::string::npos);
    EXPECT_EQ(output::numberText(1e20), "100000000000000000000");
}

TEST(TextTable, CjkAndEmojiColumnsStayAligned) {
    EXPECT_EQ(output::displayWidth("电脑"), 4u);
    EXPECT_EQ(output::displayWidth("\u231A\U0001F680"), 4u);  // watch and rocket: wide, as the terminal draws them
    EXPECT_EQ(output::displayWidth("e\u0301"), 1u);           // a combining accent takes no column
    data::RecordsetBuilder b({{"名称", data::FieldType::Text}, {"数量", data::FieldType::Integer}});
    for (const char* n : {"电脑", "\U0001F680火箭", "\u231A", "plain", "𠀀"}) {
        b.putText(n);
        b.putInt(1);
    }
    auto rs = b.finish();
    std::ostringstream out;
    output::writeTable(out, *rs, {});
    std::istringstream lines(out.str());
    std::vector<size_t> widths;
    for (std::string line; std::getline(lines, line);) widths.push_back(output::displayWidth(line));
    ASSERT_EQ(widths.size(), 7u);
    for (size_t w : widths) EXPECT_EQ(w, widths[0]);
}

}  // namespace
