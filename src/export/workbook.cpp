#include "workbook.h"

#include <xlsxwriter.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "file_system.h"
#include "workbook_check.h"

namespace faq::output {

namespace {

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

lxw_worksheet* newSheet(lxw_workbook* wb, const std::vector<std::string>& captions) {
    lxw_worksheet* ws = workbook_add_worksheet(wb, nullptr);
    if (!ws) throw OutputError("无法添加工作表");
    for (size_t c = 0; c < captions.size(); ++c)
        if (!captions[c].empty())
            check(worksheet_write_string(ws, 0, static_cast<lxw_col_t>(c), captions[c].c_str(), nullptr),
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

}  // namespace

void writeWorkbook(AtomicFile& file, const std::vector<std::string>& captions, const data::Recordset& rs,
                   const std::atomic<bool>* stop, WriteProgress* progress) {
    const std::string path = file.openablePath();
    std::string tmpDir = platform::narrowPath(folderOf(file.target()));
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = tmpDir.data();
    lxw_workbook* wb = workbook_new_opt(path.c_str(), &options);
    if (!wb) throw OutputError("无法创建工作簿：" + file.target());
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
                    default:
                        cell.assign(v.text);  // NUL-terminated copy for the C API
                        err = worksheet_write_string(ws, row, col, cell.c_str(), nullptr);
                        break;
                }
                if (err == LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED)
                    throw OutputError("第 " + std::to_string(r + 1) + " 行的文本超过单元格上限（32767 个字符）");
                check(err, "写入单元格失败");
            }
        }
    } catch (...) {
        discard(wb, sheets);  // the file goes anyway: zipping it would only keep the user waiting
        throw;
    }
    if (progress) {
        progress->rows = rs.recordCount();
        progress->closing = true;
    }
    errno = 0;  // what the zip phase fails for, if it does
    check(workbook_close(wb), ("写入工作簿 " + file.target() + " 失败").c_str());
    verifyWorkbook(path, static_cast<int>(sheets.size()));
}

void saveWorkbook(const std::string& path, const std::vector<std::string>& captions, const data::Recordset& rs,
                  const TargetRules& rules, const std::atomic<bool>* stop, WriteProgress* progress) {
    AtomicFile file(path, rules);
    writeWorkbook(file, captions, rs, stop, progress);
    file.commit();
}

}  // namespace faq::output
