#include "private_folder.h"

#include "file_system.h"

namespace faq::output {

std::string privateTempFolder(const std::string& tempRoot) {
    return platform::privateFolder(tempRoot);
}

}  // namespace faq::output
