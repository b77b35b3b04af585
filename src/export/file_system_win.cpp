#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "atomic_file.h"
#include "data/utf.h"
#include "file_system.h"
#include "private_folder.h"

namespace faq::output::platform {

namespace {

std::wstring wide(const std::string& utf8) {
    const std::u16string w = data::toUtf16(utf8);
    return std::wstring(w.begin(), w.end());
}

std::string narrow(const std::wstring& w) {
    return data::toUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(w.data()), w.size()));
}

// A handle that reads nothing: for what stands at a path, links not followed.
HANDLE openForQuery(const std::string& path) {
    return CreateFileW(wide(path).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

}  // namespace

std::string narrowPath(const std::string& path) {
    const bool ascii =
        std::all_of(path.begin(), path.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) return path;
    const std::wstring w = wide(path);
    const DWORD n = GetShortPathNameW(w.c_str(), nullptr, 0);
    if (n == 0) return path;
    std::wstring shortName(n, L'\0');
    const DWORD got = GetShortPathNameW(w.c_str(), shortName.data(), n);
    if (got == 0 || got >= n) return path;
    shortName.resize(got);
    const std::string out = narrow(shortName);
    // Without short names on that volume the long form comes back: it is all there is.
    return std::all_of(out.begin(), out.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }) ? out
                                                                                                            : path;
}

std::string lastError() {
    const DWORD code = GetLastError();
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out = text ? narrow(text) : "Windows 错误 " + std::to_string(code);
    LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

Entry inspect(const std::string& path) {
    Entry e;
    const DWORD attrs = GetFileAttributesW(wide(path).c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES) {
        const DWORD err = GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) return e;
        throw OutputError("无法检查文件 " + path + "：" + lastError());
    }
    e.exists = true;
    e.link = attrs & FILE_ATTRIBUTE_REPARSE_POINT;
    // Devices such as NUL and CON answer with attributes too: only a disk file is plain.
    HANDLE h = openForQuery(path);
    const bool disk = h != INVALID_HANDLE_VALUE && GetFileType(h) == FILE_TYPE_DISK;
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    e.regular = disk && !(attrs & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
    // As the user finds it: the read-only attribute, or no right to write.
    if (e.regular && !(attrs & FILE_ATTRIBUTE_READONLY)) {
        HANDLE w =
            CreateFileW(wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        e.writable = w != INVALID_HANDLE_VALUE || GetLastError() == ERROR_SHARING_VIOLATION;
        if (w != INVALID_HANDLE_VALUE) CloseHandle(w);
    }
    return e;
}

std::string readLink(const std::string& path) {
    HANDLE h = CreateFileW(wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw OutputError("无法读取符号链接 " + path + "：" + lastError());
    std::wstring target(32768, L'\0');
    const DWORD n =
        GetFinalPathNameByHandleW(h, target.data(), static_cast<DWORD>(target.size()), FILE_NAME_NORMALIZED);
    CloseHandle(h);
    if (n == 0 || n >= target.size()) throw OutputError("无法读取符号链接 " + path + "：" + lastError());
    target.resize(n);
    if (target.rfind(L"\\\\?\\", 0) == 0) target.erase(0, 4);
    return narrow(target);
}

bool isAbsolute(const std::string& path) {
    return path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
}

bool sameFile(const std::string& a, const std::string& b) {
    BY_HANDLE_FILE_INFORMATION ia{}, ib{};
    HANDLE ha = openForQuery(a), hb = openForQuery(b);
    const bool ok = ha != INVALID_HANDLE_VALUE && hb != INVALID_HANDLE_VALUE && GetFileInformationByHandle(ha, &ia) &&
                    GetFileInformationByHandle(hb, &ib);
    if (ha != INVALID_HANDLE_VALUE) CloseHandle(ha);
    if (hb != INVALID_HANDLE_VALUE) CloseHandle(hb);
    return ok && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
           ia.nFileIndexLow == ib.nFileIndexLow;
}

int createExclusive(const std::string& path) {
    int fd = -1;
    // Shared, so that the libraries writing into it can open it by its name too.
    const errno_t err = _wsopen_s(&fd, wide(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                                  _SH_DENYNO, _S_IREAD | _S_IWRITE);
    if (err == EEXIST) return -1;
    if (err != 0) throw OutputError("无法创建临时文件 " + path + "：" + std::strerror(err));
    return fd;
}

void writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const unsigned chunk = static_cast<unsigned>(std::min<size_t>(bytes.size(), 1u << 30));
        const int n = _write(fd, bytes.data(), chunk);
        if (n <= 0) throw OutputError(std::string("写入失败：") + std::strerror(n < 0 ? errno : ENOSPC));
        bytes.remove_prefix(static_cast<size_t>(n));
    }
}

void finish(int fd, const unsigned*) {
    // The replaced file's attributes and rights go over with ReplaceFileW.
    if (_commit(fd) != 0) throw OutputError(std::string("写入失败：") + std::strerror(errno));
    if (_close(fd) != 0) throw OutputError(std::string("写入失败：") + std::strerror(errno));
}

void closeQuietly(int fd) noexcept {
    _close(fd);
}

void moveInto(const std::string& temp, const std::string& target, bool replace) {
    const std::wstring t = wide(temp), d = wide(target);
    BOOL ok;
    if (replace && GetFileAttributesW(d.c_str()) != INVALID_FILE_ATTRIBUTES)
        ok = ReplaceFileW(d.c_str(), t.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr);
    else
        ok = MoveFileExW(t.c_str(), d.c_str(), MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0));
    if (!ok) {
        const DWORD err = GetLastError();
        if (err == ERROR_ALREADY_EXISTS || err == ERROR_FILE_EXISTS) throw TargetExists(target);
        throw OutputError("无法把临时文件改名为 " + target + "：" + lastError());
    }
}

void removeFile(const std::string& path) noexcept {
    _wunlink(wide(path).c_str());
}

FILE* openForReading(const std::string& path) {
    return _wfopen(wide(path).c_str(), L"rb");
}
bool seek(FILE* f, uint64_t offset) {
    return _fseeki64(f, static_cast<__int64>(offset), SEEK_SET) == 0;
}
uint64_t sizeOf(FILE* f) {
    return _fseeki64(f, 0, SEEK_END) == 0 ? static_cast<uint64_t>(_ftelli64(f)) : 0;
}

}  // namespace faq::output::platform

namespace faq::output {

std::string privateTempFolder(const std::string& tempRoot) {
    const std::string path = tempRoot + "\\faquery";
    if (!CreateDirectoryW(platform::wide(path).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        throw OutputError("无法创建文件夹 " + path + "：" + platform::lastError());
    const DWORD attrs = GetFileAttributesW(platform::wide(path).c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_DIRECTORY) ||
        (attrs & FILE_ATTRIBUTE_REPARSE_POINT))
        throw OutputError("不是文件夹，为安全起见不使用：" + path);
    return path;
}

}  // namespace faq::output
