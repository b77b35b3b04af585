// What the workbook writers share: libxlsxwriter's errors as OutputError, texts as a cell
// holds them, a sheet with its header row, a workbook given up.
#pragma once

#include <xlsxwriter.h>

#include <string>
#include <string_view>
#include <vector>

#include "atomic_file.h"
#include "workbook.h"

namespace faq::output::parts {

void check(lxw_error err, const char* what);
const char* cellText(std::string_view text, std::string& out);
lxw_worksheet* newSheet(lxw_workbook* wb, const std::vector<std::string>& captions);
void discard(lxw_workbook* wb, const std::vector<lxw_worksheet*>& sheets);
std::string folderOf(const std::string& path);
// A new workbook in file's temporary file, in constant memory, its own scratch files in the
// target's folder (tmpDir keeps that folder's name while the workbook lives).
lxw_workbook* newWorkbook(AtomicFile& file, std::string& tmpDir);
// Zips it (the stage that cannot be stopped, said in progress, which then counts rows).
void closeWorkbook(lxw_workbook* wb, AtomicFile& file, WriteProgress* progress, size_t rows);

}  // namespace faq::output::parts
