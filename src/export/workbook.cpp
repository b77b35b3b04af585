#include "workbook.h"

#include <xlsxwriter.h>

#include <cerrno>
#include <cstdio>
#include <utility>
#include <vector>

#include "file_system.h"
#include "quiet_library.h"
#include "workbook_check.h"
#include "workbook_parts.h"
#include "workbook_template.h"

namespace faq::output {

namespace parts {

void check(lxw_error err, const char* what) {
    if (err == LXW_NO_ERROR) return;
    const int cause = errno;
    // The file operations of the zip phase fail for the system's reasons (a full disk, a
    // file-size limit): those say what happened, the library's own words come after.
    if (cause != 0 && (err == LXW_ERROR_CREATING_XLSX_FILE || err == LXW_ERROR_CREATING_TMPFILE ||
                       (err >= LXW_ERROR_ZIP_FILE_OPERATION && err <= LXW_ERROR_ZIP_CLOSE))) {
        errno = cause;
        throw OutputError(std::string(what) + "：" + platform::lastError() + "（" + lxw_strerror(err) + "）");
    }
    throw OutputError(std::string(what) + "：" + lxw_strerror(err));
}

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// text as a cell's string is written, NUL-terminated in out for the C API. The format reads
// "_xHHHH_" as the character HHHH, so the '_' of such a sequence in a text goes as "_x005F_";
// U+FFFE and U+FFFF, which XML 1.0 does not allow, go as their escapes. libxlsxwriter
// escapes the control characters itself.
const char* cellText(std::string_view text, std::string& out) {
    if (text.find_first_of("_\xEF") == std::string_view::npos) {
        out.assign(text);
        return out.c_str();
    }
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_' && i + 6 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X') && isHex(text[i + 2]) &&
            isHex(text[i + 3]) && isHex(text[i + 4]) && isHex(text[i + 5]) && text[i + 6] == '_') {
            out += "_x005F_";
        } else if (c == '\xEF' && i + 2 < text.size() && text[i + 1] == '\xBF' &&
                   (text[i + 2] == '\xBE' || text[i + 2] == '\xBF')) {
            out += text[i + 2] == '\xBE' ? "_xFFFE_" : "_xFFFF_";
            i += 2;
        } else {
            out += c;
        }
    }
    return out.c_str();
}

lxw_worksheet* newSheet(lxw_workbook* wb, const std::vector<std::string>& captions) {
    lxw_worksheet* ws = workbook_add_worksheet(wb, nullptr);
    if (!ws) throw OutputError("无法添加工作表");
    std::string text;
    for (size_t c = 0; c < captions.size(); ++c)
        if (!captions[c].empty())
            check(worksheet_write_string(ws, 0, static_cast<lxw_col_t>(c), cellText(captions[c], text), nullptr),
                  "写入标题失败");
    return ws;
}

// Frees a workbook without zipping it (an export given up): libxlsxwriter leaves the
// worksheets' temporary files of its constant-memory mode open then, so they are closed here.
void discard(lxw_workbook* wb, const std::vector<lxw_worksheet*>& sheets) {
    for (lxw_worksheet* ws : sheets)
        if (ws->optimize_tmpfile) {
            std::fclose(ws->optimize_tmpfile);
            ws->optimize_tmpfile = nullptr;
        }
    lxw_workbook_free(wb);
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

lxw_workbook* newWorkbook(AtomicFile& file, std::string& tmpDir) {
    tmpDir = platform::narrowPath(folderOf(file.target()));
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = tmpDir.data();
    lxw_workbook* wb = workbook_new_opt(file.openablePath().c_str(), &options);
    if (!wb) throw OutputError("无法创建工作簿：" + file.target());
    return wb;
}

void closeWorkbook(lxw_workbook* wb, AtomicFile& file, WriteProgress* progress, size_t rows) {
    if (progress) {
        progress->rows = rows;
        progress->closing = true;
    }
    errno = 0;  // what the zip phase fails for, if it does
    check(workbook_close(wb), ("写入工作簿 " + file.target() + " 失败").c_str());
}

}  // namespace parts

namespace {

using namespace parts;

// Writes the workbook with libxlsxwriter into file's temporary file, unchecked; returns the
// number of its sheets.
int zipWorkbook(AtomicFile& file, const std::vector<std::string>& captions, const data::Recordset& rs,
                const std::atomic<bool>* stop, WriteProgress* progress, const TrailingRow* trailer) {
    const QuietLibrary quiet;
    std::string tmpDir;
    lxw_workbook* wb = newWorkbook(file, tmpDir);
    std::vector<lxw_worksheet*> sheets;
    try {
        lxw_worksheet* ws = sheets.emplace_back(newSheet(wb, captions));
        const size_t fields = rs.fieldCount();
        std::string cell;
        lxw_row_t row = 1;
        for (size_t r = 0; r < rs.recordCount(); ++r, ++row) {
            if ((r & 1023) == 0) {
                if (stop && *stop) throw OutputCancelled();
                if (progress) progress->rows = r;
            }
            if (row > kRowsPerSheet) {
                ws = sheets.emplace_back(newSheet(wb, captions));
                row = 1;
            }
            for (size_t c = 0; c < fields; ++c) {
                const data::Value v = rs.value(r, c);
                const auto col = static_cast<lxw_col_t>(c);
                lxw_error err = LXW_NO_ERROR;
                switch (v.type) {
                    case data::FieldType::Null: break;
                    case data::FieldType::Integer:
                    case data::FieldType::Double:
                    case data::FieldType::Decimal:
                        err = worksheet_write_number(ws, row, col, v.toDouble(), nullptr);
                        break;
                    default: err = worksheet_write_string(ws, row, col, cellText(v.text, cell), nullptr); break;
                }
                if (err == LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED)
                    throw OutputError("第 " + std::to_string(r + 1) + " 行的文本超过单元格上限（32767 个字符）");
                check(err, "写入单元格失败");
            }
        }
        if (trailer) {
            if (row > kRowsPerSheet) {
                ws = sheets.emplace_back(newSheet(wb, captions));
                row = 1;
            }
            for (size_t c = 0; c < trailer->size(); ++c) {
                const TrailingCell& cellValue = (*trailer)[c];
                const auto col = static_cast<lxw_col_t>(c);
                if (cellValue.number)
                    check(worksheet_write_number(ws, row, col, *cellValue.number, nullptr), "写入单元格失败");
                else if (!cellValue.text.empty())
                    check(worksheet_write_string(ws, row, col, cellText(cellValue.text, cell), nullptr),
                          "写入单元格失败");
            }
        }
    } catch (...) {
        discard(wb, sheets);  // the file goes anyway: zipping it would only keep the user waiting
        throw;
    }
    closeWorkbook(wb, file, progress, rs.recordCount());
    return static_cast<int>(sheets.size());
}

}  // namespace

void writeWorkbook(AtomicFile& file, const std::vector<std::string>& captions, const data::Recordset& rs,
                   const std::atomic<bool>* stop, WriteProgress* progress, WorkbookForm form,
                   const TrailingRow* trailer) {
    int sheets = 0;
    if (form == WorkbookForm::Template) {
        // libxlsxwriter writes workbooks only: one into a scratch file beside, copied as a
        // template into file, and the scratch file goes.
        AtomicFile scratch(file.target());
        sheets = zipWorkbook(scratch, captions, rs, stop, progress, trailer);
        copyAsTemplate(scratch.tempPath(), file);
    } else {
        sheets = zipWorkbook(file, captions, rs, stop, progress, trailer);
    }
    // Read back once, what the caller is about to commit.
    verifyWorkbook(file.openablePath(), sheets);
}

void saveWorkbook(const std::string& path, const std::vector<std::string>& captions, const data::Recordset& rs,
                  const TargetRules& rules, const std::atomic<bool>* stop, WriteProgress* progress, WorkbookForm form,
                  const TrailingRow* trailer) {
    AtomicFile file(path, rules);
    writeWorkbook(file, captions, rs, stop, progress, form, trailer);
    file.commit();
}

}  // namespace faq::output
