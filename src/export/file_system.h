// What the file writer needs of the operating system, for POSIX and for Windows. Paths
// are UTF-8 (POSIX: bytes as given); each call throws OutputError with a Chinese message.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace faq::output::platform {

// What stands at a path, its last link not followed.
struct Entry {
    bool exists = false;
    bool link = false;
    bool regular = false;   // a plain file: no folder, device, FIFO or socket
    bool writable = false;  // as the user finds it; a write-protected file is not
    unsigned mode = 0;      // permission bits (POSIX)
};
Entry inspect(const std::string& path);
std::string readLink(const std::string& path);
bool isAbsolute(const std::string& path);
// Whether a and b name the same file (device and inode, volume and file index).
bool sameFile(const std::string& a, const std::string& b);

// Creates path, never through an existing name or link, for writing; mode 0666 less the
// umask. Returns -1 when the name is taken.
int createExclusive(const std::string& path);
void writeAll(int fd, std::string_view bytes);
// Gives the file the permission bits of the one it replaces (keepMode), flushes it to the
// disk and closes it.
void finish(int fd, const unsigned* keepMode);
void closeQuietly(int fd) noexcept;
// Moves temp to target: over an existing file when replace, else never over one.
void moveInto(const std::string& temp, const std::string& target, bool replace);
void removeFile(const std::string& path) noexcept;
// The text of the last failure of the operating system.
std::string lastError();

// A name of an existing file or folder that a library opening files through the narrow C
// API (fopen) can take, whatever the process's ANSI code page: on Windows the short (8.3)
// form when the long one is not ASCII and the volume keeps short names, else path itself.
std::string narrowPath(const std::string& path);

// Opens path for reading bytes; nullptr when it cannot.
FILE* openForReading(const std::string& path);
bool seek(FILE* f, uint64_t offset);
uint64_t sizeOf(FILE* f);

}  // namespace faq::output::platform
