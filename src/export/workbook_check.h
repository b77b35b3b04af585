// Reads a written workbook back: every worksheet must be present and complete. The writer
// does not notice when its temporary files stop growing (disk full, a file-size limit), so
// a cut-off sheet is only seen here.
#pragma once

#include <string>

namespace faq::output {

// Throws OutputError when the workbook at path lacks one of sheet1.xml .. sheet<sheets>.xml,
// or any XML part of it is cut off or is not well-formed XML.
void verifyWorkbook(const std::string& path, int sheets);

}  // namespace faq::output
