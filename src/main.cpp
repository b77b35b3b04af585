// faquery: start-up. The arguments are read first, so help, the sub-commands and mistakes
// need no display; the window application exists only when a window will be shown.
#ifdef _WIN32
#include <windows.h>
#endif

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/cli.h"
#include "app/core_dumps.h"
#include "app/interrupt.h"
#include "app/program.h"
#include "app/running_mark.h"
#include "app/terminal_text.h"
#include "ui/frm_login.h"
#include "ui/startup.h"

namespace {
// A window program on Windows has no console: the command line writes to the one it was
// started from, when there is one, except where its output is redirected (> file, a pipe):
// a handle it was given stays.
void useParentConsole() {
#ifdef _WIN32
    auto given = [](DWORD which) {
        const HANDLE h = GetStdHandle(which);
        return h && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_UNKNOWN;
    };
    const bool out = given(STD_OUTPUT_HANDLE), err = given(STD_ERROR_HANDLE), in = given(STD_INPUT_HANDLE);
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        if (!out) std::freopen("CONOUT$", "w", stdout);
        if (!err) std::freopen("CONOUT$", "w", stderr);
        if (!in) std::freopen("CONIN$", "r", stdin);
    }
#endif
}
}  // namespace

int main(int argc, char** argv) {
    faq::app::keepOutOfCoreDumps();  // before any password is typed or read
    faq::app::markRunning();         // the setup programs refuse to replace files in use
    faq::app::captureTerminalEncoding();
    std::vector<std::string> args = faq::app::commandLineArguments(argc, argv);
    if (!args.empty()) useParentConsole();
    if (auto code = faq::app::runSubcommand(args)) return *code;
    faq::app::EngineChoice engine;
    faq::app::SettingsPresets presets;
    std::string refusal;
    if (auto code = faq::app::parseGuiArguments(args, &engine, &presets, &refusal)) {
        // Started from a desktop entry or a shortcut, the refusal would go unseen: the
        // program would just "not start".
        if (!refusal.empty() && faq::app::refusalNeedsAWindow()) {
            QApplication app(argc, argv);
            faq::ui::installAppLook();
            faq::app::showMessage(nullptr,
                                  QString::fromStdString(refusal) + QStringLiteral("\n\n固定资产查询没有启动。"));
        }
        return *code;
    }

    // Before any other thread: a signal (logout, a closed terminal) during an export leaves
    // no temporary file behind.
    faq::app::InterruptGuard interrupts;
    QApplication app(argc, argv);
    faq::ui::installAppLook();
    faq::ui::Startup startup(faq::app::connectorFor(engine));
    startup.setEngine(engine);
    startup.settings().usePresets(presets);
    startup.settings().show();
    // For the start-up benchmark: end as soon as the named window is ready (the query
    // window: shown, its lists loaded), or fail after half a minute.
    const QByteArray probe = qgetenv("FAQUERY_STARTUP_PROBE");
    QTimer probeTimer;
    QElapsedTimer probeClock;
    if (!probe.isEmpty()) {
        if (probe == "query") QTimer::singleShot(0, [&startup] { startup.settings().Command1_Click(); });
        probeClock.start();
        QObject::connect(&probeTimer, &QTimer::timeout, [&startup, &probeClock, probe] {
            const faq::ui::frmLogin* query = startup.queryWindow();
            const bool ready = probe == "query" ? query && query->isVisible() && !query->loading() && !query->busy()
                                                : startup.settings().isVisible();
            if (!ready && probeClock.elapsed() < 30000) return;
            std::fflush(nullptr);
            std::_Exit(ready ? 0 : 1);
        });
        probeTimer.start(1);
    }
    return app.exec();
}
