// Process start to the settings dialog shown, and with --demo to the query window ready
// (offscreen). The program ends itself at that point when FAQUERY_STARTUP_PROBE names it.
#include <sys/wait.h>
#include <unistd.h>

#include "bench_util.h"

using namespace faq::bench;

namespace {
double runMs(const std::string& program, const char* probe, bool demo) {
    const double t = nowMs();
    pid_t pid = fork();
    if (pid == 0) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("FAQUERY_STARTUP_PROBE", probe, 1);
        if (demo)
            execl(program.c_str(), program.c_str(), "--demo", static_cast<char*>(nullptr));
        else
            execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::fprintf(stderr, "%s: probe %s failed\n", program.c_str(), probe);
    return nowMs() - t;
}
}  // namespace

int main(int argc, char** argv) {
    const std::string program = argc > 1 ? argv[1] : "build/src/faquery";
    std::vector<double> settings, query;
    for (int i = 0; i < 7; ++i) {
        settings.push_back(runMs(program, "settings", false));
        query.push_back(runMs(program, "query", true));
    }
    report("start-up to settings dialog", median(settings), 300, 0, "ms; baseline is the goal", "goal: under 300 ms");
    report("start-up --demo to query window", median(query), 800, 0, "ms; baseline is the goal", "goal: under 800 ms");
    return 0;
}
