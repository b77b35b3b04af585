// Process start to the settings dialog shown, and with --demo to the query window ready
// (shown, its lists loaded from the generated sample; offscreen), against a bare Qt
// Widgets program that shows one dialog. The program ends itself at that point when
// FAQUERY_STARTUP_PROBE names it.
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "bench_util.h"

using namespace faq::bench;

namespace {
// args: the program's arguments (the bare program takes none).
double runMs(const std::string& program, const char* probe, const std::vector<std::string>& args = {}) {
    const double t = nowMs();
    pid_t pid = fork();
    if (pid == 0) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("FAQUERY_STARTUP_PROBE", probe, 1);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
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
    const std::string bare = argc > 2 ? argv[2] : "build/bench/bench_bare_dialog";
    // The 100,000-card sample, as bench_summary writes it.
    const std::string sample = benchDir() + "/sample-100000.db";
    if (!std::filesystem::exists(sample))
        std::system((program + " sample-db " + sample + " --cards 100000 --seed 20261207 > /dev/null").c_str());
    std::vector<double> base, settings, query, demo, toSettings, toQuery, toDemo;
    for (int i = 0; i < 9; ++i) {
        // Side by side, so that a pair shares the machine's speed of the moment.
        const double b = runMs(bare, "settings");
        base.push_back(b);
        settings.push_back(runMs(program, "settings"));
        query.push_back(runMs(program, "query", {"--sqlite", sample}));
        demo.push_back(runMs(program, "query", {"--demo"}));
        toSettings.push_back(settings.back() / b);
        toQuery.push_back(query.back() / b);
        toDemo.push_back(demo.back() / b);
    }
    constexpr const char* kUnit = "ms; baseline a bare Qt Widgets program showing one dialog";
    report("start-up to settings dialog", median(settings), median(base), 0, kUnit, "goal: ratio <= 1.30",
           median(toSettings));
    report("  to query window, 100k-card file", median(query), median(base), 0,
           "ms; baseline as above; the lists loaded", "goal: ratio <= 1.30", median(toQuery));
    report("  to query window, --demo", median(demo), median(base), 0,
           "ms; baseline as above; 5,000 cards generated in memory first", "information", median(toDemo));
    return 0;
}
