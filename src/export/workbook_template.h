// A workbook as a template (.xltx): the spreadsheet program opens it as a new, untitled
// workbook, so what the user edits is saved where they choose, never over the file written.
#pragma once

#include <string>

#include "atomic_file.h"

namespace faq::output {

// Copies the workbook zip at from into to as a template: the content type that names the
// workbook part changes, every other entry goes byte for byte. Throws OutputError.
void copyAsTemplate(const std::string& from, AtomicFile& to);

}  // namespace faq::output
