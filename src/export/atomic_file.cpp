#include "atomic_file.h"

#include <mutex>
#include <random>
#include <set>

#include "file_system.h"

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

size_t lastSeparator(const std::string& path) {
#ifdef _WIN32
    return path.find_last_of("/\\");
#else
    return path.rfind('/');
#endif
}

std::string dirName(const std::string& path) {
    const size_t slash = lastSeparator(path);
    if (slash == std::string::npos) return ".";
    if (slash == 0) return path.substr(0, 1);
    return path.substr(0, slash);
}

std::string baseName(const std::string& path) {
    const size_t slash = lastSeparator(path);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a chain of symbolic links ends at, as cp writes to it.
std::string followLinks(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        if (!platform::inspect(path).link) return path;
        const std::string link = platform::readLink(path);
        path = platform::isAbsolute(link) ? link : dirName(path) + "/" + link;
    }
    throw OutputError("符号链接层数过多：" + path);
}

std::string randomSuffix() {
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static std::random_device entropy;  // getrandom() on Linux, the system's generator on Windows
    std::string s;
    for (int i = 0; i < 12; ++i) s += kChars[entropy() % (sizeof kChars - 1)];
    return s;
}

}  // namespace

AtomicFile::AtomicFile(const std::string& target, const TargetRules& rules) : mMayReplace(rules.mayReplace) {
    if (target.empty()) throw OutputError("没有给出文件名");
    mTarget = followLinks(target);
    const platform::Entry e = platform::inspect(mTarget);
    if (e.exists) {
        if (!e.regular) throw OutputError("不是普通文件，不会覆盖：" + target);
        for (const std::string& keep : rules.keepIntact)
            if (!keep.empty() && platform::sameFile(mTarget, keep))
                throw OutputError("这是正在读取的数据库，不会覆盖：" + target);
        if (!rules.mayReplace) throw TargetExists(target);
        if (!e.writable) throw OutputError("文件是只读的，不会覆盖：" + target);
        mReplacing = true;
        mKeepMode = e.mode;
    }

    const std::string dir = dirName(mTarget), base = baseName(mTarget);
    std::lock_guard lock(registryLock());
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = dir + "/." + base.substr(0, 180) + "." + randomSuffix() + ".tmp";
        try {
            mFd = platform::createExclusive(name);
        } catch (const OutputError& err) {
            throw OutputError("无法在 " + dir + " 中创建临时文件：" + err.what());
        }
        if (mFd >= 0) {
            mTemp = std::move(name);
            pending().insert(mTemp);
            return;
        }
    }
    throw OutputError("无法在 " + dir + " 中创建临时文件：名称都已被占用");
}

AtomicFile::~AtomicFile() {
    discard();
}

void AtomicFile::discard() noexcept {
    if (mFd >= 0) platform::closeQuietly(mFd);
    mFd = -1;
    if (mCommitted || mTemp.empty()) return;
    std::lock_guard lock(registryLock());
    platform::removeFile(mTemp);
    pending().erase(mTemp);
    mTemp.clear();
}

std::string AtomicFile::openablePath() const {
#ifdef __linux__
    const std::string proc = "/proc/self/fd/" + std::to_string(mFd);
    if (platform::inspect(proc).exists) return proc;
#endif
    return platform::narrowPath(mTemp);
}

void AtomicFile::write(std::string_view bytes) {
    try {
        platform::writeAll(mFd, bytes);
    } catch (const OutputError& e) {
        throw OutputError("写入文件 " + mTarget + " 失败：" + e.what());
    }
}

AtomicFileStream::Buffer::Buffer(AtomicFile& file) : mFile(file) {
    setp(mBytes, mBytes + sizeof mBytes);
}

AtomicFileStream::Buffer::int_type AtomicFileStream::Buffer::overflow(int_type c) {
    sync();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

int AtomicFileStream::Buffer::sync() {
    mFile.write(std::string_view(pbase(), static_cast<size_t>(pptr() - pbase())));
    setp(mBytes, mBytes + sizeof mBytes);
    return 0;
}

AtomicFileStream::AtomicFileStream(AtomicFile& file) : std::ostream(nullptr), mBuffer(file) {
    rdbuf(&mBuffer);
    exceptions(std::ios::badbit);
}

void AtomicFile::commit() {
    const int fd = mFd;
    mFd = -1;
    try {
        platform::finish(fd, mReplacing ? &mKeepMode : nullptr);
    } catch (const OutputError& e) {
        throw OutputError("写入文件 " + mTarget + " 失败：" + e.what());
    }
    std::lock_guard lock(registryLock());
    platform::moveInto(mTemp, mTarget, mMayReplace);
    pending().erase(mTemp);
    mCommitted = true;
}

void removePendingTempsBeforeExit() noexcept {
    registryLock().lock();  // held until the process ends
    for (const std::string& t : pending()) platform::removeFile(t);
    pending().clear();
}

}  // namespace faq::output
