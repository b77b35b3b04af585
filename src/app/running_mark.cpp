#include "app/running_mark.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace faq::app {

void markRunning() {
#ifdef _WIN32
    // A second copy opens the same mutex; the handles are never closed, so the mark lasts
    // exactly as long as some copy runs. The global one may be refused by a policy that
    // withholds the namespace; the local one still stands then.
    CreateMutexW(nullptr, FALSE, L"Global\\faquery-running");
    CreateMutexW(nullptr, FALSE, L"faquery-running");
#endif
}

}  // namespace faq::app
