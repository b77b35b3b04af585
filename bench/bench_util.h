// Timing and counting helpers. Every comparison is measured twice:
// - wall clock: ours and the baseline alternate, several repetitions; each side's median is
//   printed, and the ratio is the median of the ratios of the runs taken side by side (the
//   machine's speed drifts from second to second on a shared host; a pair shares it);
// - instructions: the bench first runs itself once more under callgrind on a smaller sample
//   (FAQ_BENCH_COUNT set), where each side of each comparison is counted between a reset
//   and a dump of callgrind's counters, on the calling thread only (a test server's thread
//   in the same process is not counted). Instructions do not depend on the machine's load,
//   so that ratio is the one a regression check looks at.
#pragma once

#include <sys/wait.h>
#include <unistd.h>
#include <valgrind/callgrind.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace faq::bench {

inline double nowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Timing {
    double ours, base;  // medians, in milliseconds
    double ratio;       // the median of ours / base over the runs taken side by side
};

// Runs ours and base alternately `reps` times (FAQ_BENCH_REPS overrides it).
inline Timing compare(int reps, const std::function<void()>& ours, const std::function<void()>& base) {
    if (const char* set = std::getenv("FAQ_BENCH_REPS")) reps = std::max(1, std::atoi(set));
    std::vector<double> a, b, r;
    for (int i = 0; i < reps; ++i) {
        double t = nowMs();
        ours();
        a.push_back(nowMs() - t);
        t = nowMs();
        base();
        b.push_back(nowMs() - t);
        r.push_back(b.back() > 0 ? a.back() / b.back() : 0);
    }
    return {median(a), median(b), median(r)};
}

inline std::string benchDir() {
    std::string dir = "/tmp/faq-bench";
    std::filesystem::create_directories(dir);
    return dir;
}

// One figure: name, ours, baseline (or goal), wall-clock ratio (negative: ours / base),
// instruction ratio (0: not counted), and the goal it must meet.
inline void report(const std::string& name, double ours, double base, double instrRatio, const std::string& unit,
                   const std::string& goal, double ratio = -1) {
    char instr[16] = "-";
    if (instrRatio > 0) std::snprintf(instr, sizeof instr, "%.2f", instrRatio);
    if (ratio < 0) ratio = base > 0 ? ours / base : 0.0;
    std::printf("%-36s %10.1f %10.1f %7.2f %7s  %s (%s)\n", name.c_str(), ours, base, ratio, instr, goal.c_str(),
                unit.c_str());
    std::fflush(stdout);
}

// The instructions a callgrind output file counted in all.
inline double callgrindTotal(const std::string& file) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("totals: ", 0) == 0 || line.rfind("summary: ", 0) == 0) return std::atof(line.c_str() + 8);
    return 0;
}

class Bench {
public:
    // Unless this is the counting run, runs the program once more under callgrind with the
    // same arguments and reads what it counted.
    Bench(int argc, char** argv) : mCounting(RUNNING_ON_VALGRIND && std::getenv("FAQ_BENCH_COUNT")) {
        mDir = benchDir() + "/callgrind";
        if (mCounting || std::getenv("FAQ_BENCH_NO_COUNT")) return;
        std::filesystem::remove_all(mDir);
        std::filesystem::create_directories(mDir);
        const pid_t pid = fork();
        if (pid == 0) {
            setenv("FAQ_BENCH_COUNT", "1", 1);
            std::vector<std::string> args = {"valgrind", "--tool=callgrind", "--separate-threads=yes",
                                             "--callgrind-out-file=" + mDir + "/run", "--quiet"};
            for (int i = 0; i < argc; ++i) args.emplace_back(argv[i]);
            std::vector<char*> raw;
            for (auto& a : args) raw.push_back(a.data());
            raw.push_back(nullptr);
            execvp("valgrind", raw.data());
            std::perror("valgrind");
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            std::fprintf(stderr, "the counting run under callgrind failed: no instruction ratios\n");
        readCounts();
    }

    bool counting() const { return mCounting; }
    // The sample size: full when timing, the smaller one when counting.
    int rows(int full, int counted) const { return mCounting ? counted : full; }

    // In the counting run: a command prefix that runs a child program under callgrind, whose
    // count then stands for the baseline of the comparison in progress.
    std::string childPrefix() {
        if (!mCounting) return {};
        mChildFile = mDir + "/child." + std::to_string(++mChildren);
        return "valgrind --tool=callgrind --quiet --callgrind-out-file=" + mChildFile + " ";
    }

    // One comparison: counted in the counting run, timed and reported otherwise. counted:
    // whether the counting run measures it (too slow under callgrind: not).
    void run(const std::string& name, int reps, const std::function<void()>& ours, const std::function<void()>& base,
             const std::string& unit, const std::string& goal, bool counted = true) {
        if (mCounting) {
            if (!counted) return;
            count(name + "|ours", ours);
            mChildFile.clear();
            count(name + "|base", base);
            if (!mChildFile.empty())
                std::ofstream(mDir + "/child-of", std::ios::app) << name << "\t" << mChildFile << "\n";
            return;
        }
        const Timing t = compare(reps, ours, base);
        report(name, t.ours, t.base, instructionRatio(name), unit, goal, t.ratio);
    }

    // A figure without a baseline program (its goal stands in for it).
    void figure(const std::string& name, double value, double goal, const std::string& unit,
                const std::string& goalText) const {
        if (!mCounting) report(name, value, goal, 0, unit, goalText);
    }

    double instructionRatio(const std::string& name) const {
        auto o = mCounts.find(name + "|ours"), b = mCounts.find(name + "|base");
        return o != mCounts.end() && b != mCounts.end() && b->second > 0 ? o->second / b->second : 0;
    }

private:
    void count(const std::string& label, const std::function<void()>& fn) {
        CALLGRIND_ZERO_STATS;
        fn();
        CALLGRIND_DUMP_STATS_AT(label.c_str());
    }

    // Each dump of the main thread is a file run.<pid>.<n>-01 whose description names it.
    void readCounts() {
        for (const auto& entry : std::filesystem::directory_iterator(mDir)) {
            const std::string file = entry.path().string();
            if (file.size() < 3 || file.compare(file.size() - 3, 3, "-01") != 0) continue;
            std::ifstream in(file);
            std::string line, label;
            while (std::getline(in, line)) {
                constexpr std::string_view kDesc = "desc: Trigger: Client Request: ";
                if (line.rfind(kDesc, 0) == 0) label = line.substr(kDesc.size());
                if (!label.empty() && (line.rfind("totals: ", 0) == 0 || line.rfind("summary: ", 0) == 0)) {
                    mCounts[label] = std::atof(line.c_str() + line.find(' ') + 1);
                    break;
                }
            }
        }
        // Baselines that are programs of their own: their whole count.
        std::ifstream children(mDir + "/child-of");
        std::string line;
        while (std::getline(children, line)) {
            const size_t tab = line.find('\t');
            if (tab != std::string::npos) mCounts[line.substr(0, tab) + "|base"] = callgrindTotal(line.substr(tab + 1));
        }
    }

    bool mCounting;
    std::string mDir;
    std::string mChildFile;
    int mChildren = 0;
    std::map<std::string, double> mCounts;
};

}  // namespace faq::bench
