// A sample database written to a file of its own.
#pragma once

#include <string>

#include "data/sample_db.h"

namespace faq::output {

// Writes a new sample database file; an existing file is never replaced. Throws
// OutputError, or DbError when the engine fails.
void writeSampleFile(const std::string& path, const data::SampleOptions& options);

}  // namespace faq::output
