#include "atomic_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>

namespace faq::output {

namespace {

std::mutex& registryLock() {
    static std::mutex m;
    return m;
}
std::set<std::string>& pending() {
    static auto* s = new std::set<std::string>();  // outlives every static destructor
    return *s;
}

std::string dirName(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string baseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a chain of symbolic links ends at, as cp writes to it.
std::string followLinks(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
        const ssize_t n = readlink(path.c_str(), link.data(), link.size());
        if (n < 0) throw OutputError("无法读取符号链接 " + path + "：" + errnoText(errno));
        link.resize(static_cast<size_t>(n));
        path = !link.empty() && link[0] == '/' ? link : dirName(path) + "/" + link;
    }
    throw OutputError("符号链接层数过多：" + path);
}

std::string randomSuffix() {
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char bytes[12];
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        // No entropy source: the exclusive create still refuses any existing name.
        for (auto& b : bytes) b = static_cast<unsigned char>(std::rand());
    }
    std::string s;
    for (unsigned char b : bytes) s += kChars[b % (sizeof kChars - 1)];
    return s;
}

bool sameFile(const struct stat& a, const std::string& other) {
    struct stat b {};
    return stat(other.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

std::string errnoText(int err) {
    return std::strerror(err);
}

AtomicFile::AtomicFile(const std::string& target, const TargetRules& rules) : mMayReplace(rules.mayReplace) {
    if (target.empty()) throw OutputError("没有给出文件名");
    mTarget = followLinks(target);
    struct stat st {};
    if (lstat(mTarget.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) throw OutputError("不是普通文件，不会覆盖：" + target);
        for (const std::string& keep : rules.keepIntact)
            if (!keep.empty() && sameFile(st, keep)) throw OutputError("这是正在读取的数据库，不会覆盖：" + target);
        if (!rules.mayReplace) throw OutputError("文件已存在，不会覆盖：" + target);
        // As the user would find it: no write permission, or write-protected for everyone
        // (which even the superuser's tools ask about).
        if (faccessat(AT_FDCWD, mTarget.c_str(), W_OK, AT_EACCESS) != 0 || (st.st_mode & 0222) == 0)
            throw OutputError("文件是只读的，不会覆盖：" + target);
        mReplacing = true;
        mKeepMode = st.st_mode & 0777;
    } else if (errno != ENOENT) {
        throw OutputError("无法检查文件 " + target + "：" + errnoText(errno));
    }

    const std::string dir = dirName(mTarget), base = baseName(mTarget);
    std::lock_guard lock(registryLock());
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = dir + "/." + base.substr(0, 180) + "." + randomSuffix() + ".tmp";
        // Mode 0666 less the umask, as for any new file of the user's.
        mFd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (mFd >= 0) {
            mTemp = std::move(name);
            pending().insert(mTemp);
            return;
        }
        if (errno != EEXIST) break;
    }
    throw OutputError("无法在 " + dir + " 中创建临时文件：" + errnoText(errno));
}

AtomicFile::~AtomicFile() {
    discard();
}

void AtomicFile::discard() noexcept {
    if (mFd >= 0) close(mFd);
    mFd = -1;
    if (mCommitted || mTemp.empty()) return;
    std::lock_guard lock(registryLock());
    unlink(mTemp.c_str());
    pending().erase(mTemp);
    mTemp.clear();
}

std::string AtomicFile::openablePath() const {
    const std::string proc = "/proc/self/fd/" + std::to_string(mFd);
    return access(proc.c_str(), F_OK) == 0 ? proc : mTemp;
}

void AtomicFile::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(mFd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw OutputError("写入文件 " + mTarget + " 失败：" + errnoText(n < 0 ? errno : ENOSPC));
        bytes.remove_prefix(static_cast<size_t>(n));
    }
}

void AtomicFile::commit() {
    if (mReplacing && fchmod(mFd, mKeepMode) != 0)
        throw OutputError("无法设置文件权限 " + mTarget + "：" + errnoText(errno));
    if (fsync(mFd) != 0) throw OutputError("写入文件 " + mTarget + " 失败：" + errnoText(errno));
    const int fd = mFd;
    mFd = -1;
    if (close(fd) != 0) throw OutputError("写入文件 " + mTarget + " 失败：" + errnoText(errno));
    {
        std::lock_guard lock(registryLock());
        int rc = mMayReplace ? std::rename(mTemp.c_str(), mTarget.c_str())
                             : renameat2(AT_FDCWD, mTemp.c_str(), AT_FDCWD, mTarget.c_str(), RENAME_NOREPLACE);
        if (rc != 0 && !mMayReplace && errno == EINVAL) {
            // A file system without no-replace renames: a hard link refuses an existing name too.
            rc = link(mTemp.c_str(), mTarget.c_str());
            if (rc == 0) unlink(mTemp.c_str());
        }
        if (rc != 0) {
            const int err = errno;
            throw OutputError(err == EEXIST ? "文件已存在，不会覆盖：" + mTarget
                                            : "无法把临时文件改名为 " + mTarget + "：" + errnoText(err));
        }
        pending().erase(mTemp);
        mCommitted = true;
    }
    // The rename itself reaches the disk with the folder.
    const int dirFd = open(dirName(mTarget).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
}

void writeFileAtomically(const std::string& target, std::string_view bytes, const TargetRules& rules) {
    AtomicFile f(target, rules);
    f.write(bytes);
    f.commit();
}

void removePendingTempsBeforeExit() noexcept {
    registryLock().lock();  // held until the process ends
    for (const std::string& t : pending()) unlink(t.c_str());
    pending().clear();
}

}  // namespace faq::output
