#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "atomic_file.h"
#include "file_system.h"
#include "private_folder.h"

namespace faq::output::platform {

std::string lastError() {
    const int err = errno;
    const char* what = err == ENOSPC   ? "磁盘空间不足"
                       : err == EFBIG  ? "文件超过了允许的大小（文件大小限制）"
                       : err == EDQUOT ? "超出了磁盘配额"
                       : err == EACCES ? "没有权限"
                       : err == EROFS  ? "文件系统是只读的"
                       : err == EIO    ? "磁盘读写出错"
                                       : nullptr;
    return what ? std::string(what) + "（" + std::strerror(err) + "）" : std::string(std::strerror(err));
}

Entry inspect(const std::string& path) {
    Entry e;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return e;
        throw OutputError("无法检查文件 " + path + "：" + lastError());
    }
    e.exists = true;
    e.link = S_ISLNK(st.st_mode);
    e.regular = S_ISREG(st.st_mode);
    e.mode = st.st_mode & 0777;
    // As the user would find it: no write permission, or write-protected for everyone
    // (which even the superuser's tools ask about).
    e.writable = faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0 && (st.st_mode & 0222) != 0;
    return e;
}

std::string readLink(const std::string& path) {
    std::string link(4096, '\0');
    const ssize_t n = readlink(path.c_str(), link.data(), link.size());
    if (n < 0) throw OutputError("无法读取符号链接 " + path + "：" + lastError());
    link.resize(static_cast<size_t>(n));
    return link;
}

bool isAbsolute(const std::string& path) {
    return !path.empty() && path[0] == '/';
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

int createExclusive(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) throw OutputError("无法创建临时文件 " + path + "：" + lastError());
    return fd;
}

void writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            throw OutputError("写入失败：" + lastError());
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
}

void finish(int fd, const unsigned* keepMode) {
    if (keepMode && fchmod(fd, *keepMode) != 0) throw OutputError("无法设置文件权限：" + lastError());
    if (fsync(fd) != 0) throw OutputError("写入失败：" + lastError());
    if (close(fd) != 0) throw OutputError("写入失败：" + lastError());
}

void closeQuietly(int fd) noexcept {
    close(fd);
}

void moveInto(const std::string& temp, const std::string& target, bool replace) {
    int rc = replace ? std::rename(temp.c_str(), target.c_str())
                     : renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
    if (rc != 0 && !replace && errno == EINVAL) {
        // A file system without no-replace renames: a hard link refuses an existing name too.
        rc = link(temp.c_str(), target.c_str());
        if (rc == 0) unlink(temp.c_str());
    }
    if (rc != 0 && errno == EEXIST) throw TargetExists(target);
    if (rc != 0) throw OutputError("无法把临时文件改名为 " + target + "：" + lastError());
    // The rename itself reaches the disk with the folder.
    const size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    const int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
}

std::string narrowPath(const std::string& path) {
    return path;  // names are bytes here
}

void removeFile(const std::string& path) noexcept {
    unlink(path.c_str());
}

FILE* openForReading(const std::string& path) {
    return std::fopen(path.c_str(), "rb");
}
bool seek(FILE* f, uint64_t offset) {
    return fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0;
}
uint64_t sizeOf(FILE* f) {
    return fseeko(f, 0, SEEK_END) == 0 ? static_cast<uint64_t>(ftello(f)) : 0;
}

}  // namespace faq::output::platform

namespace faq::output {

std::string privateTempFolder(const std::string& tempRoot) {
    const std::string path = tempRoot + "/faquery-" + std::to_string(geteuid());
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        throw OutputError("无法创建文件夹 " + path + "：" + platform::lastError());
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) throw OutputError("无法检查文件夹 " + path + "：" + platform::lastError());
    if (!S_ISDIR(st.st_mode)) throw OutputError("不是文件夹，为安全起见不使用：" + path);
    if (st.st_uid != geteuid()) throw OutputError("文件夹属于其他用户，为安全起见不使用：" + path);
    if ((st.st_mode & 0077) != 0 && chmod(path.c_str(), 0700) != 0)
        throw OutputError("无法设置文件夹权限 " + path + "：" + platform::lastError());
    return path;
}

}  // namespace faq::output
