// Timing helpers: ours and the baseline alternate, several repetitions, the median wins.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
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

// Runs ours and base alternately `reps` times; returns their medians in milliseconds.
inline std::pair<double, double> compare(int reps, const std::function<void()>& ours,
                                         const std::function<void()>& base) {
    std::vector<double> a, b;
    for (int i = 0; i < reps; ++i) {
        double t = nowMs();
        ours();
        a.push_back(nowMs() - t);
        t = nowMs();
        base();
        b.push_back(nowMs() - t);
    }
    return {median(a), median(b)};
}

// One figure: name, ours, baseline (or goal), ratio, and the goal it must meet.
inline void report(const std::string& name, double ours, double base, const std::string& unit,
                   const std::string& goal) {
    std::printf("%-34s %12.1f %12.1f %8.2f  %s (%s)\n", name.c_str(), ours, base, base > 0 ? ours / base : 0.0,
                goal.c_str(), unit.c_str());
    std::fflush(stdout);
}

inline std::string benchDir() {
    std::string dir = "/tmp/faq-bench";
    std::system(("mkdir -p " + dir).c_str());
    return dir;
}

}  // namespace faq::bench
