#include "core_dumps.h"

#ifndef _WIN32
#include <sys/resource.h>
#endif
#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace faq::app {

void keepOutOfCoreDumps() {
#ifndef _WIN32
    const rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);
#endif
#ifdef __linux__
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
#endif
}

}  // namespace faq::app
