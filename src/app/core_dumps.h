// A process that holds a database password writes no core dump: the password would be in it.
#pragma once

namespace faq::app {

// Linux and other POSIX systems: no core file (RLIMIT_CORE 0) and, on Linux, not dumpable
// (no core through a core pattern pipe either, and no reading of its memory by other
// processes of the same user). Windows: the program writes no dump of its own. Call first in
// main, before any secret is read.
void keepOutOfCoreDumps();

}  // namespace faq::app
