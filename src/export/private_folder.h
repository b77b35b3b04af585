// The export folder: a folder of this user's own under the temporary folder, so that on a
// shared machine nobody else can pre-create it, read from it or plant links in it.
#pragma once

#include <string>

namespace faq::output {

// <tempRoot>/faquery-<uid>, created with mode 0700. An existing one must be a real folder
// owned by the user; one open to others is closed again. On Windows, whose temporary
// folder is the user's own, <tempRoot>\faquery, never a link. Throws OutputError.
std::string privateTempFolder(const std::string& tempRoot);

}  // namespace faq::output
