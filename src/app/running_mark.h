// The mark the setup program, the uninstaller and the MSI look for before they replace or
// remove the program's files.
#pragma once

namespace faq::app {

// Windows: holds the named mutex "Global\faquery-running", seen from every session (an
// upgrade from an administrator's remote session or a deployment tool running as SYSTEM
// sees the users' copies), and "faquery-running" in the session's own namespace, which the
// setup programs of earlier versions look for. Both go with the process. Elsewhere nothing.
void markRunning();

}  // namespace faq::app
