// faquery.com, the console companion of faquery.exe on Windows. Typed at a cmd or PowerShell
// prompt, "faquery" starts this one first (.COM comes before .EXE): a console program, so
// the prompt waits for it, its exit code is the command's, and the password prompt reads
// the console without echo. It runs report, sample-db, --help and --version itself, and
// hands the windows to faquery.exe beside it.
#include <shlwapi.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/cli.h"
#include "app/core_dumps.h"
#include "app/running_mark.h"
#include "app/session.h"
#include "app/terminal_text.h"

namespace {

// faquery.exe in this program's folder, with this program's arguments as they were typed.
int startWindowProgram() {
    std::wstring self(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
        if (n == 0) return 1;
        if (n < self.size()) {
            self.resize(n);
            break;
        }
        self.resize(self.size() * 2);
    }
    const std::wstring exe = self.substr(0, self.find_last_of(L"\\/") + 1) + L"faquery.exe";
    std::wstring line = L"\"" + exe + L"\" " + PathGetArgsW(GetCommandLineW());
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        faq::app::writeTerminal(2, "无法启动 faquery.exe（应与 faquery.com 在同一个文件夹中）\n");
        return 1;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return 0;  // the windows go on by themselves; the prompt comes back
}

}  // namespace

int main(int argc, char** argv) {
    faq::app::keepOutOfCoreDumps();
    faq::app::markRunning();  // as faquery.exe: files in use
    faq::app::captureTerminalEncoding();
    const std::vector<std::string> args = faq::app::commandLineArguments(argc, argv);
    if (auto code = faq::app::runSubcommand(args)) return *code;
    // Help, the version and mistakes are said here; anything else is the windows.
    faq::app::EngineChoice engine;
    if (auto code = faq::app::parseGuiArguments(args, &engine)) return *code;
    return startWindowProgram();
}
