// Folders a test process makes for itself, removed when it ends (by the process that made
// them only: a forked child that exits leaves its parent's folders alone).
#pragma once

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace faq::test {

inline int processId() {
#ifdef _WIN32
    return _getpid();
#else
    return getpid();
#endif
}

class TempCleanup {
public:
    static TempCleanup& instance() {
        static TempCleanup c;
        return c;
    }
    // Removes path, with all it holds, when the process ends.
    void add(const std::string& path) {
        std::lock_guard lock(mLock);
        mPaths.push_back(path);
    }
    ~TempCleanup() {
        if (processId() != mOwner) return;
        std::error_code ignored;
        for (const auto& p : mPaths) std::filesystem::remove_all(p, ignored);
    }

private:
    TempCleanup() = default;
    const int mOwner = processId();
    std::mutex mLock;
    std::vector<std::string> mPaths;
};

inline void removeAtExit(const std::string& path) {
    TempCleanup::instance().add(path);
}

}  // namespace faq::test
